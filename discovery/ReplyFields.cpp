#include "discovery/ReplyFields.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace qrv {
namespace {

constexpr char kValueEnd = '\xFF';

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A leading decimal number as the C library reads one: blanks, an optional
// sign, digits. Wraps modulo 2^32 instead of overflowing (only the low 8 bits
// are kept anyway); false when no digit follows.
bool ReadNumber(std::string_view& text, std::uint32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !IsDigit(text[i])) return false;
    std::uint32_t result = 0;
    while (i < text.size() && IsDigit(text[i])) result = result * 10u + static_cast<std::uint32_t>(text[i++] - '0');
    value = negative ? 0u - result : result;
    text.remove_prefix(i);
    return true;
}

}  // namespace

std::string_view FieldValue(std::string_view text, std::string_view key) {
    const std::size_t at = text.find(key);
    if (at == std::string_view::npos) return {};
    std::string_view value = text.substr(at + key.size());
    return value.substr(0, value.find(kValueEnd));
}

void ExtractField(std::string_view text, std::string_view key, std::span<char> out) {
    if (out.empty()) return;
    std::fill(out.begin(), out.end(), '\0');
    const std::string_view value = FieldValue(text, key);
    const std::size_t length = std::min(value.size(), out.size() - 1);
    if (length > 0) std::memcpy(out.data(), value.data(), length);  // an absent value has no data at all
}

int IsFlagOn(std::string_view text, std::string_view key) {
    return FieldValue(text, key) == "ON" ? 1 : 0;
}

std::array<std::uint8_t, 4> ParseAddressBytes(std::string_view value) {
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t part = 0; part < bytes.size(); ++part) {
        if (part > 0) {
            if (value.empty() || value.front() != '.') break;
            value.remove_prefix(1);
        }
        std::uint32_t number = 0;
        if (!ReadNumber(value, number)) break;
        bytes[part] = static_cast<std::uint8_t>(number & 0xFFu);
    }
    return bytes;
}

std::int32_t ParseWebPort(std::string_view value) {
    if (value.empty()) return 80;
    // The C library's reading, without its overflow: clamp to the int range.
    std::size_t i = 0;
    while (i < value.size() && IsSpace(value[i])) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    std::int64_t result = 0;
    while (i < value.size() && IsDigit(value[i])) {
        result = std::min<std::int64_t>(result * 10 + (value[i++] - '0'), std::int64_t{1} << 32);
    }
    if (negative) result = -result;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(result, INT32_MIN, INT32_MAX));
}

}  // namespace qrv
