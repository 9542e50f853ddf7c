#include "bridge/Json.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
bool Document(const std::string& text, JsonValue& v) { return ParseJsonDocument(text.data(), text.size(), v); }

bool Parses(const std::string& text) {
    JsonValue v;
    JsonCursor c{text.data(), text.data() + text.size()};
    return ParseJson(c, v, 0);
}

std::string StringValue(const std::string& literal) {
    JsonValue v;
    JsonCursor c{literal.data(), literal.data() + literal.size()};
    if (!ParseJson(c, v, 0) || v.kind != JsonKind::String) return "<fail>";
    return v.text;
}

TEST(Json, StructureAcceptsAndRejects) {
    for (const char* ok : {"{}", "[]", " { \"a\" : [1, 2, {\"b\": null}] } ", "[true,false,null]", "\"s\"", "[[]]"})
        EXPECT_TRUE(Parses(ok)) << ok;
    for (const char* bad : {"{,}", "[1,]", "[1 2]", "{a:1}", "{\"a\" 1}", "{\"a\":1,}", "[", "{", "", "  ", "]",
                            "{\"a\":}", "tru", "nul", "fals", "\"open", "[1,,2]"})
        EXPECT_FALSE(Parses(bad)) << bad;
}

TEST(Json, WholeDocumentMustBeOneObject) {
    JsonValue v;
    EXPECT_TRUE(Document("{\"type\":\"ping\"}\r\n ", v));
    EXPECT_FALSE(Document("[1]", v));
    EXPECT_FALSE(Document("\"text\"", v));
    EXPECT_FALSE(Document("{} {}", v));
    EXPECT_FALSE(Document("{}x", v));
    EXPECT_FALSE(Document("{\"a\":trueX}", v));
}

TEST(Json, LiteralsNeedNoDelimiter) {
    const std::string text = "trueX";
    JsonValue v;
    JsonCursor c{text.data(), text.data() + text.size()};
    ASSERT_TRUE(ParseJson(c, v, 0));
    EXPECT_EQ(v.kind, JsonKind::Bool);
    EXPECT_TRUE(v.boolean);
    EXPECT_EQ(c.pos, text.data() + 4);
}

TEST(Json, EscapesGiveTheseUtf8Bytes) {
    const struct {
        const char* literal;
        std::string bytes;
    } cases[] = {
        {"\"\\ud83d\\ude00\"", "\xF0\x9F\x98\x80"},
        {"\"\\ud83dx\"", "\xEF\xBF\xBDx"},
        {"\"\\ude00\"", "\xEF\xBF\xBD"},
        {"\"\\ud83d\\u0041\"", "\xEF\xBF\xBD"},  // a high surrogate and a non-low: one U+FFFD for both
        {"\"\\u00e9\"", "\xC3\xA9"},
        {"\"\\u00E9\"", "\xC3\xA9"},
        {"\"\\u0000\"", std::string("\0", 1)},
        {"\"\\u20ac\"", "\xE2\x82\xAC"},
        {"\"a\\\"b\\\\c\\/d\"", "a\"b\\c/d"},
        {"\"\\b\\f\\n\\r\\t\"", "\b\f\n\r\t"},
        {"\"raw\ttab\"", "raw\ttab"},
        {"\"\xC3\xA9\xFF\"", "\xC3\xA9\xFF"},  // bytes are not validated
    };
    for (const auto& c : cases) EXPECT_EQ(StringValue(c.literal), c.bytes) << c.literal;
    for (const char* bad : {"\"\\x\"", "\"\\u12\"", "\"\\u12g4\"", "\"\\", "\"\\ud83d\\u12\"", "\"\\ud83d\\uzzzz\""})
        EXPECT_EQ(StringValue(bad), "<fail>") << bad;
}

TEST(Json, NestingLimit) {
    const std::string empty33 = std::string(33, '[') + std::string(33, ']');
    const std::string number33 = std::string(33, '[') + "1" + std::string(33, ']');
    const std::string number32 = std::string(32, '[') + "1" + std::string(32, ']');
    EXPECT_TRUE(Parses(empty33));
    EXPECT_FALSE(Parses(number33));
    EXPECT_TRUE(Parses(number32));
    EXPECT_FALSE(Parses(std::string(100000, '[')));
    std::string objects;
    for (int i = 0; i < 33; ++i) objects += "{\"k\":";
    objects += "1" + std::string(33, '}');
    EXPECT_FALSE(Parses(objects));
}

TEST(Json, Numbers) {
    const struct {
        const char* text;
        double value;
    } cases[] = {{"1e3", 1000}, {"-0.5", -0.5}, {"+5", 5}, {"1-2", 1}, {"-", 0}, {"0.25E+2", 25}, {"1e999", HUGE_VAL}};
    for (const auto& c : cases) {
        JsonValue v;
        std::string t = c.text;
        JsonCursor cur{t.data(), t.data() + t.size()};
        ASSERT_TRUE(ParseJson(cur, v, 0)) << c.text;
        EXPECT_EQ(v.kind, JsonKind::Number);
        EXPECT_EQ(v.number, c.value) << c.text;
        EXPECT_EQ(cur.pos, cur.end) << c.text;  // the whole run is consumed
    }
    EXPECT_FALSE(Parses("x"));
}

TEST(Json, NumberAtTheEndOfAnUnterminatedBuffer) {
    // The digits run to the end of the range and the bytes behind it are
    // more digits: only the range may be read.
    const char buffer[] = "12345678";
    JsonValue v;
    JsonCursor c{buffer, buffer + 3};
    ASSERT_TRUE(ParseJson(c, v, 0));
    EXPECT_EQ(v.number, 123);
}

TEST(Json, MembersInOrderAndFirstKeyWins) {
    JsonValue v;
    ASSERT_TRUE(Document("{\"url\":\"https://a/\",\"url\":\"https://b/\",\"n\":1}", v));
    ASSERT_EQ(v.members.size(), 3u);
    EXPECT_EQ(v.members[1].second.text, "https://b/");
    EXPECT_EQ(JsonGetString(v, "url"), L"https://a/");
    ASSERT_TRUE(Document("{\"url\":5,\"url\":\"https://b/\"}", v));
    EXPECT_EQ(JsonGetString(v, "url"), L"");
    EXPECT_EQ(JsonGetString(v, "missing"), L"");
    ASSERT_TRUE(Document("{\"t\":\"T\\u1ea3i\"}", v));
    EXPECT_EQ(JsonGetString(v, "t"), L"Tải");
    EXPECT_EQ(JsonGetString(v, "T"), L"");  // keys compare byte for byte
}

TEST(JsonEscape, ControlBytesQuotesAndBackslashes) {
    EXPECT_EQ(JsonEscape("\"\\\n\x01"), "\\\"\\\\\\n\\u0001");
    EXPECT_EQ(JsonEscape("\t\r\b\f\x1f"), "\\t\\r\\u0008\\u000c\\u001f");
    EXPECT_EQ(JsonEscape("a/b\x7F\xC3\xA9"), "a/b\x7F\xC3\xA9");
    EXPECT_EQ(JsonEscape(std::string("\0", 1)), "\\u0000");
    EXPECT_EQ(JsonEscape(""), "");
}

TEST(JsonEscape, RoundTripsThroughTheParser) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(StringValue("\"" + JsonEscape(all) + "\""), all);
}
}  // namespace
