// The small JSON reader of the browser bridge (one native message, one
// manifest) and the escaper for the JSON the program composes. Text is
// UTF-8 bytes; nothing is read past the cursor's end.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum class JsonKind : int32_t { Null = 0, Bool = 1, Number = 2, String = 3, Array = 4, Object = 5 };

struct JsonValue {
    JsonKind kind = JsonKind::Null;
    bool boolean = false;
    double number = 0.0;
    std::string text;                                         // UTF-8, escapes resolved
    std::vector<JsonValue> elements;                          // document order
    std::vector<std::pair<std::string, JsonValue>> members;  // document order, duplicates kept
};

// A position in a byte range; the parser advances `pos` past what it read.
struct JsonCursor {
    const char* pos;
    const char* end;
};

// One value at the cursor; callers pass depth 0. More than 32 nested arrays
// or objects are refused. On failure the value must not be used.
bool ParseJson(JsonCursor& cursor, JsonValue& value, int depth);
bool ParseJsonString(JsonCursor& cursor, std::string& text);

// A whole document: one object and nothing after it but white space.
bool ParseJsonDocument(const char* data, size_t size, JsonValue& value);

// The escaped form of UTF-8 text, without the surrounding quotes.
std::string JsonEscape(const std::string& text);

// The first member named `key` when it is a string, as UTF-16; else empty.
std::wstring JsonGetString(const JsonValue& object, const std::string& key);

// The first member named `key`, or null when there is none; callers check the kind.
const JsonValue* JsonFirstMember(const JsonValue& object, const std::string& key);
