#include "report/JsonValue.h"

#include "platform/Text.h"

#include <cstdint>
#include <cstdio>

namespace qrv {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string Describe(char c) {
    const auto byte = static_cast<unsigned char>(c);
    char text[16];
    if (byte > 0x20 && byte < 0x7F) {
        std::snprintf(text, sizeof text, "'%c'", c);
    } else {
        std::snprintf(text, sizeof text, "byte 0x%02X", byte);
    }
    return text;
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<JsonValue> Run(std::string& error) {
        JsonValue value;
        SkipBlanks();
        bool ok = Value(value, 1);
        if (ok) {
            SkipBlanks();
            if (pos_ < text_.size()) ok = Fail("text after the end of the value: " + Describe(text_[pos_]));
        }
        if (!ok) {
            error = error_;
            return std::nullopt;
        }
        return value;
    }

private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return text_[pos_]; }

    bool Fail(const std::string& why) { return FailAt(line_, why); }
    bool FailAt(int line, const std::string& why) {
        error_ = "line " + std::to_string(line) + ": not valid JSON: " + why;
        return false;
    }

    void SkipBlanks() {
        while (!AtEnd()) {
            const char c = Peek();
            if (c == '\n') {
                ++line_;
            } else if (c != ' ' && c != '\t' && c != '\r') {
                return;
            }
            ++pos_;
        }
    }

    bool Value(JsonValue& out, int depth) {
        if (depth > kMaxJsonDepth) return Fail("nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
        if (++values_ > kMaxJsonValues) return Fail("more than " + std::to_string(kMaxJsonValues) + " values");
        if (AtEnd()) return Fail("the text ends where a value should begin");
        out.line = line_;
        switch (Peek()) {
        case '{':
            out.kind = JsonValue::Kind::Object;
            return Object(out, depth);
        case '[':
            out.kind = JsonValue::Kind::Array;
            return Array(out, depth);
        case '"':
            out.kind = JsonValue::Kind::String;
            return String(out.text);
        case 't':
            out.kind = JsonValue::Kind::Bool;
            out.boolean = true;
            return Word("true");
        case 'f':
            out.kind = JsonValue::Kind::Bool;
            return Word("false");
        case 'n':
            return Word("null");
        default:
            if (Peek() == '-' || IsDigit(Peek())) {
                out.kind = JsonValue::Kind::Number;
                return Number(out.text);
            }
            return Fail("unexpected " + Describe(Peek()) + " where a value should begin");
        }
    }

    bool Word(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return Fail("expected " + std::string(word));
        pos_ += word.size();
        return true;
    }

    bool Object(JsonValue& out, int depth) {
        ++pos_;
        SkipBlanks();
        if (!AtEnd() && Peek() == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            if (AtEnd() || Peek() != '"') return Fail("expected a key in double quotes");
            std::string key;
            if (!String(key)) return false;
            SkipBlanks();
            if (AtEnd() || Peek() != ':') return Fail("expected ':' after the key " + ShownInMessage(key, '"'));
            ++pos_;
            SkipBlanks();
            JsonValue value;
            if (!Value(value, depth + 1)) return false;
            out.keys.push_back(std::move(key));
            out.items.push_back(std::move(value));
            SkipBlanks();
            if (AtEnd()) return Fail("an object is not closed");
            if (Peek() == '}') {
                ++pos_;
                return true;
            }
            if (Peek() != ',') return Fail("expected ',' or '}' after a value, not " + Describe(Peek()));
            ++pos_;
            SkipBlanks();
        }
    }

    bool Array(JsonValue& out, int depth) {
        ++pos_;
        SkipBlanks();
        if (!AtEnd() && Peek() == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            JsonValue value;
            if (!Value(value, depth + 1)) return false;
            out.items.push_back(std::move(value));
            SkipBlanks();
            if (AtEnd()) return Fail("an array is not closed");
            if (Peek() == ']') {
                ++pos_;
                return true;
            }
            if (Peek() != ',') return Fail("expected ',' or ']' after a value, not " + Describe(Peek()));
            ++pos_;
            SkipBlanks();
        }
    }

    // Four hex digits after "\u"; -1 when they are not there.
    long HexQuad() {
        if (text_.size() - pos_ < 4) return -1;
        long code = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = HexDigit(text_[pos_ + i]);
            if (digit < 0) return -1;
            code = code * 16 + digit;
        }
        pos_ += 4;
        return code;
    }

    bool Escape(std::string& out) {
        if (AtEnd()) return Fail("a string is not closed");
        const char c = text_[pos_++];
        switch (c) {
        case '"':
        case '\\':
        case '/':
            out += c;
            return true;
        case 'b':
            out += '\b';
            return true;
        case 'f':
            out += '\f';
            return true;
        case 'n':
            out += '\n';
            return true;
        case 'r':
            out += '\r';
            return true;
        case 't':
            out += '\t';
            return true;
        case 'u':
            break;
        default:
            return Fail("unknown escape: a backslash before " + Describe(c) + " in a string");
        }
        const long code = HexQuad();
        if (code < 0) return Fail("\\u must be followed by four hex digits");
        if (code >= 0xDC00 && code <= 0xDFFF) return Fail("a low surrogate \\u escape without its high one");
        if (code < 0xD800 || code > 0xDBFF) {
            AppendUtf8(out, static_cast<std::uint32_t>(code));
            return true;
        }
        if (text_.substr(pos_, 2) != "\\u") return Fail("a high surrogate \\u escape without its low one");
        pos_ += 2;
        const long low = HexQuad();
        if (low < 0xDC00 || low > 0xDFFF) return Fail("a high surrogate \\u escape without its low one");
        AppendUtf8(out, 0x10000 + ((static_cast<std::uint32_t>(code) - 0xD800) << 10) +
                            (static_cast<std::uint32_t>(low) - 0xDC00));
        return true;
    }

    bool String(std::string& out) {
        const int line = line_;
        ++pos_;
        for (;;) {
            if (AtEnd()) return FailAt(line, "a string is not closed");
            const char c = Peek();
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (byte < 0x20) return Fail("a control character (" + Describe(c) + ") inside a string");
            if (c == '\\') {
                ++pos_;
                if (!Escape(out)) return false;
                continue;
            }
            const std::size_t length = Utf8SequenceLength(text_.substr(pos_));
            if (length == 0) return Fail("a string is not valid UTF-8");
            out.append(text_.substr(pos_, length));
            pos_ += length;
        }
    }

    bool Digits() {
        const std::size_t start = pos_;
        while (!AtEnd() && IsDigit(Peek())) ++pos_;
        return pos_ > start;
    }

    bool Number(std::string& out) {
        const std::size_t start = pos_;
        if (Peek() == '-') ++pos_;
        if (AtEnd() || !IsDigit(Peek())) return Fail("a number without digits");
        if (Peek() == '0') {
            ++pos_;
        } else {
            Digits();
        }
        if (!AtEnd() && Peek() == '.') {
            ++pos_;
            if (!Digits()) return Fail("a number without digits after its '.'");
        }
        if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
            ++pos_;
            if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++pos_;
            if (!Digits()) return Fail("a number without digits in its exponent");
        }
        out.assign(text_.substr(start, pos_ - start));
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    std::size_t values_ = 0;
    std::string error_;
};

}  // namespace

const JsonValue* JsonValue::Member(std::string_view key) const {
    if (kind != Kind::Object) return nullptr;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] == key) return &items[i];
    }
    return nullptr;
}

const char* JsonKindName(JsonValue::Kind kind) {
    switch (kind) {
    case JsonValue::Kind::Null:
        return "null";
    case JsonValue::Kind::Bool:
        return "true or false";
    case JsonValue::Kind::Number:
        return "a number";
    case JsonValue::Kind::String:
        return "a string";
    case JsonValue::Kind::Array:
        return "an array";
    case JsonValue::Kind::Object:
        return "an object";
    }
    return "";
}

std::optional<JsonValue> ParseJson(std::string_view text, std::string& error) {
    return Parser(text).Run(error);
}

bool IsValidUtf8(std::string_view text) { return DecodeUtf8(text).has_value(); }

std::string ShownInMessage(std::string_view text, char quote) {
    constexpr std::size_t kLongest = 40;
    std::string out(1, quote);
    for (const char c : text.substr(0, kLongest)) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    if (text.size() > kLongest) out += "...";
    return out + quote;
}

}  // namespace qrv
