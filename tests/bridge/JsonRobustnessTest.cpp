// Generated and mutated documents, each placed flush against a page the
// process may not read: a parser that reads one byte past its range faults
// here instead of passing unseen.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "bridge/Json.h"

namespace {
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
