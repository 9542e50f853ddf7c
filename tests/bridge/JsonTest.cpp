// The JSON reader and escaper of the native-messaging bridge: the grammar,
// escapes, limits and numbers; and generated and mutated documents, each
// placed flush against a page the process may not read, so that a read one
// byte past the range faults here instead of passing unseen.
#include "bridge/Json.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

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

constexpr size_t kPage = 4096, kDataPages = 32;  // documents up to 128 KiB

class GuardedBuffer {
public:
    GuardedBuffer() {
        base_ = static_cast<char*>(VirtualAlloc(nullptr, (kDataPages + 1) * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        ok_ = base_ && VirtualProtect(guard(), kPage, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    bool ok() const { return ok_; }
    char* guard() const { return base_ + kDataPages * kPage; }
    // Parses `doc` with its last byte right before the guard page; true when accepted.
    bool Parse(const std::string& doc) {
        const size_t n = std::min(doc.size(), kDataPages * kPage);
        char* at = guard() - n;
        std::memcpy(at, doc.data(), n);
        JsonValue v;
        return ParseJsonDocument(at, n, v);
    }

private:
    char* base_ = nullptr;
    bool ok_ = false;
};

// A random value: literals, numbers and strings the reader finds hard, in arrays and objects.
std::string Value(std::mt19937& rng, int depth) {
    static const std::string atoms[] = {
        "true", "false", "null", "0", "-0.5", "1e999", "+5", "1-2", "-", "9.9.9", "e", std::string(400, '7'), "\"\"",
        "\"a\\n\\\"\\\\\\/\"", "\"\\ud83d\\ude00\"", "\"\\ud800x\"", "\"\\udfff\"", "\"\\ud83d\\u0041\"", "\"\xC3\xA9\xFF\"",
        std::string("\"\0\"", 3), "\"\\u00e9\\u20ac\""};
    const unsigned kind = rng() % (depth > 8 ? 1 : 3);
    if (kind == 0) return atoms[rng() % std::size(atoms)];
    std::string s(1, kind == 1 ? '[' : '{');
    for (unsigned i = 0, n = rng() % 4; i < n; ++i) {
        s += i ? "," : "";
        s += kind == 1 ? "" : "\"k\":";
        s += Value(rng, depth + 1);
    }
    return s + (kind == 1 ? ']' : '}');
}

TEST(JsonRobustness, GeneratedAndMutatedDocumentsNeverReadPastTheEnd) {
    GuardedBuffer buffer;
    ASSERT_TRUE(buffer.ok());
    MEMORY_BASIC_INFORMATION info;  // a read past the end must fault, not pass unseen
    ASSERT_NE(VirtualQuery(buffer.guard(), &info, sizeof info), 0u);
    ASSERT_EQ(info.Protect, static_cast<DWORD>(PAGE_NOACCESS));
    std::mt19937 rng(20261206);
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string doc = "{\"type\":\"download\",\"items\":";
        doc += Value(rng, 0);
        doc += '}';
        accepted += buffer.Parse(doc);
        // A few bytes changed to ones that open, close or escape something; then every prefix of it.
        for (unsigned n = rng() % 4; n > 0; --n) doc[rng() % doc.size()] = "\"\\[]{}:,0-eEu\0\xFF"[rng() % 15];
        for (size_t end = 0; end <= std::min<size_t>(doc.size(), 120); ++end) buffer.Parse(doc.substr(0, end));
        buffer.Parse(doc);
    }
    EXPECT_GT(accepted, 15000);  // most generated documents are whole and valid: the reader went all the way
    // Nesting far past the limit, open to the end.
    for (const std::string& deep : {std::string(100000, '['), [] { std::string s; while (s.size() < 100000) s += "{\"k\":"; return s; }()})
        EXPECT_FALSE(buffer.Parse(deep));
}
}  // namespace
