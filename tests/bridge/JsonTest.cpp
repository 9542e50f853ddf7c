// The JSON reader and escaper of the native-messaging bridge: the grammar,
// escapes, limits and numbers; and generated and mutated documents, each
// placed flush against a page the process may not read.
#include "bridge/Json.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "support/GuardedBuffer.h"

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

TEST(Json, StructureEscapesNestingNumbersTheFirstOfTwoKeysAndTheEscapersRoundTrip) {
    // (Whole documents of every kind are read in the robustness case below.)
    for (const char* bad : {"{,}", "[1,]", "[1 2]", "{a:1}", "{\"a\":1,}", "[", "", "tru", "\"open", "[1,,2]"})
        EXPECT_FALSE(Parses(bad)) << bad;
    // A message is exactly one object, white space around it allowed.
    JsonValue v;
    EXPECT_TRUE(ParseJsonDocument("{\"type\":\"ping\"}\r\n ", 17, v));
    for (const std::string bad : {"[1]", "{} {}", "{\"a\":trueX}"}) EXPECT_FALSE(ParseJsonDocument(bad.data(), bad.size(), v)) << bad;
    const std::pair<const char*, std::string> escapes[] = {
        {"\"\\ud83d\\ude00\"", "\xF0\x9F\x98\x80"}, {"\"\\ud83dx\"", "\xEF\xBF\xBDx"},
        {"\"\\ud83d\\u0041\"", "\xEF\xBF\xBD"},  // a high surrogate and a non-low: one U+FFFD for both
        {"\"\\u0000\"", std::string("\0", 1)}, {"\"a\\\"b\\\\c\\/d\"", "a\"b\\c/d"}, {"\"\xC3\xA9\xFF\"", "\xC3\xA9\xFF"}};
    for (const auto& [literal, bytes] : escapes) EXPECT_EQ(StringValue(literal), bytes) << literal;
    for (const char* bad : {"\"\\x\"", "\"\\u12\"", "\"\\", "\"\\ud83d\\u12\""}) EXPECT_EQ(StringValue(bad), "<fail>") << bad;
    EXPECT_TRUE(Parses(std::string(32, '[') + "1" + std::string(32, ']')));
    EXPECT_FALSE(Parses(std::string(33, '[') + "1" + std::string(33, ']')));
    for (const auto& [text, value] : {std::pair{"1e3", 1000.0}, {"+5", 5.0}, {"1-2", 1.0}, {"1e999", HUGE_VAL}}) {
        size_t used = 0;
        ASSERT_TRUE(Parses(text, &v, &used)) << text;
        EXPECT_EQ(std::make_pair(v.number, used), std::make_pair(value, strlen(text))) << text;  // the whole run is consumed
    }
    const std::string doc = "{\"url\":\"https://a/\",\"url\":\"https://b/\",\"n\":1,\"t\":\"T\\u1ea3i\"}";
    ASSERT_TRUE(ParseJsonDocument(doc.data(), doc.size(), v));
    EXPECT_EQ(JsonGetString(v, "url") + JsonGetString(v, "t"), L"https://a/Tải");
    EXPECT_EQ(JsonGetString(v, "T") + JsonGetString(v, "missing") + JsonGetString(v, "n"), L"");  // byte-exact keys, strings only
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(StringValue('"' + JsonEscape(all) + '"'), all);
}

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
    GuardedBuffer guarded;
    // Parses the document with its last byte right before the guard page; true when accepted.
    const auto parse = [&](const std::string& doc) {
        JsonValue v;
        return ParseJsonDocument(guarded.Place(doc.data(), doc.size()), doc.size(), v);  // all under 128 KiB
    };
    std::mt19937 rng(20261206);
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string doc = "{\"type\":\"download\",\"items\":";
        doc += Value(rng, 0);
        doc += '}';
        accepted += parse(doc);
        // A few bytes changed to ones that open, close or escape something; then every prefix of it.
        for (unsigned n = rng() % 4; n > 0; --n) doc[rng() % doc.size()] = "\"\\[]{}:,0-eEu\0\xFF"[rng() % 15];
        for (size_t end = 0; end <= std::min<size_t>(doc.size(), 120); ++end) parse(doc.substr(0, end));
        parse(doc);
    }
    EXPECT_GT(accepted, 15000);  // most generated documents are whole and valid: the reader went all the way
    // Nesting far past the limit, open to the end.
    for (const std::string& deep : {std::string(100000, '['), [] { std::string s; while (s.size() < 100000) s += "{\"k\":"; return s; }()})
        EXPECT_FALSE(parse(deep));
}
}  // namespace
