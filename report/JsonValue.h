#pragma once
// A strict reader of JSON text (RFC 8259) for the files this program reads
// back, such as its batch reports. It takes exactly the grammar: no comments,
// no trailing commas, no single quotes, valid UTF-8 only, escapes checked
// (paired surrogates), one value and nothing after it but blanks. Nesting
// depth and the number of values are bounded, so no input can exhaust the
// stack or the memory.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrv {

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };

    Kind kind = Kind::Null;
    int line = 1;              // where the value begins, counted from 1
    bool boolean = false;
    std::string text;          // a string's UTF-8 content, or a number as written
    std::vector<std::string> keys;  // an object's keys, in order (repeats are kept)
    std::vector<JsonValue> items;   // an array's items, or the values of an object's keys

    // The value of `key` in an object (the first, should it repeat); nothing
    // when it is absent or this is no object.
    const JsonValue* Member(std::string_view key) const;
};

// "string", "number", "array"... for messages.
const char* JsonKindName(JsonValue::Kind kind);

inline constexpr int kMaxJsonDepth = 16;
inline constexpr std::size_t kMaxJsonValues = 65536;

// The value of `text`; nothing with `error` set ("line 3: ...") when it is no
// valid JSON or exceeds the bounds.
std::optional<JsonValue> ParseJson(std::string_view text, std::string& error);

// Text from a file for a message: cut to 40 bytes ("..." when longer), every
// byte that could upset a terminal shown as '?', between `quote` marks.
std::string ShownInMessage(std::string_view text, char quote);

// Whether `text` is valid UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool IsValidUtf8(std::string_view text);

}  // namespace qrv
