#pragma once
// Reading the KEY:value fields of a camera's discovery reply. A reply is 8-bit
// text; a key is found by plain substring search and its value runs to the
// next 0xFF byte, or to the end of the text when no 0xFF follows.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace qrv {

// The value of the first occurrence of `key`; empty when the key is absent.
std::string_view FieldValue(std::string_view text, std::string_view key);

// Fills `out` (its size is the field width) with the value of `key`, cut to
// width - 1 bytes and NUL-terminated; all zero when the key is absent.
void ExtractField(std::string_view text, std::string_view key, std::span<char> out);

// 1 when the value of `key` is exactly "ON", else 0.
int IsFlagOn(std::string_view text, std::string_view key);

// Up to four decimal numbers separated by dots, each kept as its low 8 bits;
// reading stops at the first part that is not a number, and the missing parts
// stay 0 ("10.0" gives 10.0.0.0, "192.168.0.300" gives 192.168.0.44).
std::array<std::uint8_t, 4> ParseAddressBytes(std::string_view value);

// The HTTP port of a "WEBPORT:" value: 80 when the value is empty, else its
// leading decimal number (0 when it does not start with one).
std::int32_t ParseWebPort(std::string_view value);

}  // namespace qrv
