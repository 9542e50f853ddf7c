#include "bridge/Json.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "store/FileServices.h"
#include "store/Text.h"

namespace {
constexpr int kMaxDepth = 32;

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void SkipWhite(JsonCursor& c) {
    while (c.pos < c.end && IsWhite(*c.pos)) ++c.pos;
}

// Four hex digits at p (the caller made sure they are there).
bool ReadHex4(const char* p, unsigned& unit) {
    unit = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = HexValue(static_cast<unsigned char>(p[i]));
        if (d < 0) return false;
        unit = unit * 16 + static_cast<unsigned>(d);
    }
    return true;
}

void AppendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool Literal(JsonCursor& c, const char* word) {
    const size_t n = std::strlen(word);
    if (static_cast<size_t>(c.end - c.pos) < n || std::memcmp(c.pos, word, n) != 0) return false;
    c.pos += n;
    return true;
}

bool IsNumberByte(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E'; }
}  // namespace

bool ParseJsonString(JsonCursor& c, std::string& text) {
    if (c.pos >= c.end || *c.pos != '"') return false;
    ++c.pos;
    text.clear();
    for (;;) {
        if (c.pos >= c.end) return false;
        const char b = *c.pos++;
        if (b == '"') return true;
        if (b != '\\') {
            text.push_back(b);
            continue;
        }
        if (c.pos >= c.end) return false;
        const char e = *c.pos++;
        switch (e) {
            case '"': case '\\': case '/': text.push_back(e); break;
            case 'b': text.push_back('\b'); break;
            case 'f': text.push_back('\f'); break;
            case 'n': text.push_back('\n'); break;
            case 'r': text.push_back('\r'); break;
            case 't': text.push_back('\t'); break;
            case 'u': {
                unsigned u;
                if (c.end - c.pos < 4 || !ReadHex4(c.pos, u)) return false;
                c.pos += 4;
                if (u >= 0xD800 && u <= 0xDBFF) {
                    if (c.end - c.pos >= 6 && c.pos[0] == '\\' && c.pos[1] == 'u') {
                        unsigned low;
                        if (!ReadHex4(c.pos + 2, low)) return false;
                        c.pos += 6;
                        if (low >= 0xDC00 && low <= 0xDFFF) AppendUtf8(text, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                        else AppendUtf8(text, 0xFFFD);
                    } else {
                        AppendUtf8(text, 0xFFFD);
                    }
                } else if (u >= 0xDC00 && u <= 0xDFFF) {
                    AppendUtf8(text, 0xFFFD);
                } else {
                    AppendUtf8(text, u);
                }
                break;
            }
            default: return false;
        }
    }
}

bool ParseJson(JsonCursor& c, JsonValue& value, int depth) {
    if (depth > kMaxDepth) return false;
    SkipWhite(c);
    if (c.pos >= c.end) return false;
    value = JsonValue();
    switch (*c.pos) {
        case '"':
            value.kind = JsonKind::String;
            return ParseJsonString(c, value.text);
        case '[': {
            value.kind = JsonKind::Array;
            ++c.pos;
            SkipWhite(c);
            if (c.pos < c.end && *c.pos == ']') {
                ++c.pos;
                return true;
            }
            for (;;) {
                JsonValue element;
                if (!ParseJson(c, element, depth + 1)) return false;
                value.elements.push_back(std::move(element));
                SkipWhite(c);
                if (c.pos >= c.end) return false;
                const char b = *c.pos++;
                if (b == ']') return true;
                if (b != ',') return false;
            }
        }
        case '{': {
            value.kind = JsonKind::Object;
            ++c.pos;
            SkipWhite(c);
            if (c.pos < c.end && *c.pos == '}') {
                ++c.pos;
                return true;
            }
            for (;;) {
                SkipWhite(c);
                std::string key;
                if (!ParseJsonString(c, key)) return false;
                SkipWhite(c);
                if (c.pos >= c.end || *c.pos != ':') return false;
                ++c.pos;
                JsonValue member;
                if (!ParseJson(c, member, depth + 1)) return false;
                value.members.emplace_back(std::move(key), std::move(member));
                SkipWhite(c);
                if (c.pos >= c.end) return false;
                const char b = *c.pos++;
                if (b == '}') return true;
                if (b != ',') return false;
            }
        }
        case 't':
            value.kind = JsonKind::Bool;
            value.boolean = true;
            return Literal(c, "true");
        case 'f':
            value.kind = JsonKind::Bool;
            return Literal(c, "false");
        case 'n':
            return Literal(c, "null");
        default: {
            const char* start = c.pos;
            while (c.pos < c.end && IsNumberByte(*c.pos)) ++c.pos;
            if (c.pos == start) return false;
            // strtod needs a terminated string; the message buffer has no
            // terminator, so the run is copied first.
            const std::string run(start, c.pos);
            value.kind = JsonKind::Number;
            value.number = std::strtod(run.c_str(), nullptr);
            return true;
        }
    }
}

bool ParseJsonDocument(const char* data, size_t size, JsonValue& value) {
    JsonCursor c{data, data + size};
    if (!ParseJson(c, value, 0)) return false;
    SkipWhite(c);
    return c.pos == c.end && value.kind == JsonKind::Object;
}

std::string JsonEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char ch : text) {
        const unsigned char b = static_cast<unsigned char>(ch);
        switch (b) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            default:
                if (b < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", b);
                    out += buffer;
                } else {
                    out.push_back(ch);
                }
        }
    }
    return out;
}

const JsonValue* JsonFirstMember(const JsonValue& object, const std::string& key) {
    for (const auto& member : object.members)
        if (member.first == key) return &member.second;
    return nullptr;
}

std::wstring JsonGetString(const JsonValue& object, const std::string& key) {
    const JsonValue* v = JsonFirstMember(object, key);
    if (!v || v->kind != JsonKind::String) return {};
    return Utf8ToUtf16(v->text);
}
