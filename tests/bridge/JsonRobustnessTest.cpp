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
constexpr size_t kPage = 4096;
constexpr size_t kDataPages = 32;  // documents up to 128 KiB

class GuardedBuffer {
public:
    GuardedBuffer() {
        base_ = static_cast<char*>(VirtualAlloc(nullptr, (kDataPages + 1) * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        if (base_) guardOk_ = VirtualProtect(base_ + kDataPages * kPage, kPage, PAGE_NOACCESS, &old) != 0;
    }
    ~GuardedBuffer() {
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    }
    bool ok() const { return base_ && guardOk_; }
    char* guard() const { return base_ + kDataPages * kPage; }
    // The document's bytes end exactly where the guard page begins.
    const char* place(const std::string& doc) {
        char* at = guard() - doc.size();
        std::memcpy(at, doc.data(), doc.size());
        return at;
    }

private:
    char* base_ = nullptr;
    bool guardOk_ = false;
};

class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    std::string value(int depth) {
        switch (pick(depth > 40 ? 5 : 8)) {
            case 0: return pick(2) ? "true" : "false";
            case 1: return "null";
            case 2: return number();
            case 3: case 4: return string();
            case 5: {
                std::string s = "[";
                for (int i = 0, n = pick(4); i < n; ++i) {
                    if (i) s += ',';
                    s += value(depth + 1);
                }
                return s + "]";
            }
            default: {
                std::string s = "{";
                for (int i = 0, n = pick(4); i < n; ++i) {
                    if (i) s += ',';
                    s += string();
                    s += ':';
                    s += value(depth + 1);
                }
                return s + "}";
            }
        }
    }

    std::string mutate(std::string doc) {
        for (int i = 0, n = 1 + pick(3); i < n; ++i) {
            switch (pick(7)) {
                case 0: doc.resize(doc.empty() ? 0 : pick(static_cast<int>(doc.size()))); break;  // truncate
                case 1: if (!doc.empty()) doc[pick(static_cast<int>(doc.size()))] = static_cast<char>(pick(256)); break;
                case 2: doc.insert(doc.empty() ? 0 : pick(static_cast<int>(doc.size())), 1, "\"\\[]{}:,0-eE\0u"[pick(14)]); break;
                case 3: doc += "\\u" + std::string(pick(5), "0123456789abcdefDdx"[pick(19)]); break;
                case 4: doc.insert(doc.size() / 2, std::string(pick(3000), '[')); break;
                case 5: doc += std::string(pick(5000), '9'); break;
                default: doc.push_back(static_cast<char>(pick(256))); break;
            }
        }
        return doc;
    }

    int pick(int n) { return n <= 0 ? 0 : static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

private:
    std::string number() {
        static const char* const forms[] = {"0", "-1", "1e3", "+5", "-0.5", "1e999", "-", "1-2", "9.9.9", "e", "."};
        if (pick(4) == 0) return std::string(1 + pick(400), '7');
        return forms[pick(11)];
    }
    std::string string() {
        std::string s = "\"";
        for (int i = 0, n = pick(12); i < n; ++i) {
            switch (pick(6)) {
                case 0: s += "\\ud83d\\ude00"; break;
                case 1: s += pick(2) ? "\\ud800" : "\\udfff"; break;
                case 2: s += "\\n\\\"\\\\\\/"; break;
                case 3: s.push_back('\0'); break;
                case 4: s += "\xC3\xA9\xFF"; break;
                default: s.push_back(static_cast<char>('a' + pick(26))); break;
            }
        }
        return s + "\"";
    }

    std::mt19937 rng_;
};

TEST(JsonRobustness, GeneratedAndMutatedDocumentsNeverReadPastTheEnd) {
    GuardedBuffer buffer;
    ASSERT_TRUE(buffer.ok());
    MEMORY_BASIC_INFORMATION info;  // a read past the end must fault, not pass unseen
    ASSERT_NE(VirtualQuery(buffer.guard(), &info, sizeof info), 0u);
    ASSERT_EQ(info.Protect, static_cast<DWORD>(PAGE_NOACCESS));
    Generator gen(20261206);
    int accepted = 0;
    for (int i = 0; i < 200000; ++i) {
        std::string doc = "{\"type\":\"download\",\"items\":";
        doc += gen.value(0);
        doc += '}';
        if (i % 4 != 0) doc = gen.mutate(std::move(doc));
        if (i % 97 == 0) doc = std::string(gen.pick(200), static_cast<char>(gen.pick(256)));  // pure noise
        if (doc.size() > kDataPages * kPage) doc.resize(kDataPages * kPage);
        const char* at = buffer.place(doc);
        JsonValue value;
        if (ParseJsonDocument(at, doc.size(), value)) ++accepted;
        // Every prefix of a short document as well: each ends at the guard.
        if (doc.size() < 64) {
            for (size_t n = 0; n < doc.size(); ++n) {
                JsonCursor c{buffer.place(doc.substr(0, n)), buffer.guard()};
                JsonValue v;
                ParseJson(c, v, 0);
                EXPECT_LE(c.pos, buffer.guard());
            }
        }
    }
    EXPECT_GT(accepted, 30000);  // the generator produces valid documents too
}
}  // namespace
