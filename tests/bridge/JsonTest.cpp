// The JSON reader and escaper of the native-messaging bridge.
#include "bridge/Json.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
// Parses one value; `used` gets how many bytes it took.
bool Parses(const std::string& text, JsonValue* out = nullptr, size_t* used = nullptr) {
    JsonValue v;
    JsonCursor c{text.data(), text.data() + text.size()};
    const bool ok = ParseJson(c, out ? *out : v, 0);
    if (used) *used = static_cast<size_t>(c.pos - text.data());
    return ok;
}

std::string StringValue(const std::string& literal) {
    JsonValue v;
    return Parses(literal, &v) && v.kind == JsonKind::String ? v.text : "<fail>";
}

TEST(Json, StructureAndWholeDocuments) {
    for (const char* ok : {"{}", "[]", " { \"a\" : [1, 2, {\"b\": null}] } ", "[true,false,null]", "\"s\"", "[[]]"})
        EXPECT_TRUE(Parses(ok)) << ok;
    for (const char* bad : {"{,}", "[1,]", "[1 2]", "{a:1}", "{\"a\" 1}", "{\"a\":1,}", "[", "{", "", "  ", "]",
                            "{\"a\":}", "tru", "nul", "fals", "\"open", "[1,,2]"})
        EXPECT_FALSE(Parses(bad)) << bad;
    // A message is exactly one object, white space around it allowed.
    JsonValue v;
    EXPECT_TRUE(ParseJsonDocument("{\"type\":\"ping\"}\r\n ", 17, v));
    for (const std::string bad : {"[1]", "\"text\"", "{} {}", "{}x", "{\"a\":trueX}"})
        EXPECT_FALSE(ParseJsonDocument(bad.data(), bad.size(), v)) << bad;
    // A literal inside a value needs no delimiter after it.
    size_t used = 0;
    ASSERT_TRUE(Parses("trueX", &v, &used));
    EXPECT_TRUE(v.kind == JsonKind::Bool && v.boolean);
    EXPECT_EQ(used, 4u);
}

TEST(Json, EscapesGiveTheseUtf8Bytes) {
    const std::pair<const char*, std::string> cases[] = {
        {"\"\\ud83d\\ude00\"", "\xF0\x9F\x98\x80"}, {"\"\\ud83dx\"", "\xEF\xBF\xBDx"}, {"\"\\ude00\"", "\xEF\xBF\xBD"},
        {"\"\\ud83d\\u0041\"", "\xEF\xBF\xBD"},  // a high surrogate and a non-low: one U+FFFD for both
        {"\"\\u00e9\"", "\xC3\xA9"}, {"\"\\u00E9\"", "\xC3\xA9"}, {"\"\\u0000\"", std::string("\0", 1)},
        {"\"\\u20ac\"", "\xE2\x82\xAC"}, {"\"a\\\"b\\\\c\\/d\"", "a\"b\\c/d"}, {"\"\\b\\f\\n\\r\\t\"", "\b\f\n\r\t"},
        {"\"raw\ttab\"", "raw\ttab"}, {"\"\xC3\xA9\xFF\"", "\xC3\xA9\xFF"}};  // bytes are not validated
    for (const auto& [literal, bytes] : cases) EXPECT_EQ(StringValue(literal), bytes) << literal;
    for (const char* bad : {"\"\\x\"", "\"\\u12\"", "\"\\u12g4\"", "\"\\", "\"\\ud83d\\u12\"", "\"\\ud83d\\uzzzz\""})
        EXPECT_EQ(StringValue(bad), "<fail>") << bad;
}

TEST(Json, NestingLimitAndNumbers) {
    EXPECT_TRUE(Parses(std::string(33, '[') + std::string(33, ']')));
    EXPECT_TRUE(Parses(std::string(32, '[') + "1" + std::string(32, ']')));
    EXPECT_FALSE(Parses(std::string(33, '[') + "1" + std::string(33, ']')));
    EXPECT_FALSE(Parses(std::string(100000, '[')));
    std::string objects;
    for (int i = 0; i < 33; ++i) objects += "{\"k\":";
    EXPECT_FALSE(Parses(objects + "1" + std::string(33, '}')));
    const std::pair<const char*, double> numbers[] = {
        {"1e3", 1000}, {"-0.5", -0.5}, {"+5", 5}, {"1-2", 1}, {"-", 0}, {"0.25E+2", 25}, {"1e999", HUGE_VAL}};
    for (const auto& [text, value] : numbers) {
        JsonValue v;
        size_t used = 0;
        ASSERT_TRUE(Parses(text, &v, &used)) << text;
        EXPECT_EQ(v.kind, JsonKind::Number);
        EXPECT_EQ(v.number, value) << text;
        EXPECT_EQ(used, strlen(text)) << text;  // the whole run is consumed
    }
    // Digits up to the end of the range, and more digits behind it: only the range is read.
    const char buffer[] = "12345678";
    JsonValue v;
    JsonCursor c{buffer, buffer + 3};
    ASSERT_TRUE(ParseJson(c, v, 0));
    EXPECT_EQ(v.number, 123);
}

TEST(Json, MembersInOrderAndFirstKeyWins) {
    JsonValue v;
    const std::string doc = "{\"url\":\"https://a/\",\"url\":\"https://b/\",\"n\":1,\"t\":\"T\\u1ea3i\"}";
    ASSERT_TRUE(ParseJsonDocument(doc.data(), doc.size(), v));
    ASSERT_EQ(v.members.size(), 4u);
    EXPECT_EQ(v.members[1].second.text, "https://b/");
    EXPECT_EQ(JsonGetString(v, "url"), L"https://a/");
    EXPECT_EQ(JsonGetString(v, "t"), L"Tải");
    EXPECT_EQ(JsonGetString(v, "T") + JsonGetString(v, "missing") + JsonGetString(v, "n"), L"");  // byte-exact keys, strings only
}

TEST(JsonEscape, ControlBytesQuotesBackslashesAndTheWayBack) {
    EXPECT_EQ(JsonEscape("\"\\\n\x01"), "\\\"\\\\\\n\\u0001");
    EXPECT_EQ(JsonEscape("\t\r\b\f\x1f"), "\\t\\r\\u0008\\u000c\\u001f");
    EXPECT_EQ(JsonEscape("a/b\x7F\xC3\xA9"), "a/b\x7F\xC3\xA9");
    EXPECT_EQ(JsonEscape(std::string("\0", 1)), "\\u0000");
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    std::string literal = "\"";
    literal += JsonEscape(all);
    EXPECT_EQ(StringValue(literal + '"'), all);
}
}  // namespace
