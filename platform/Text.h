#pragma once
// Conversions between the 8-bit texts of the network and the wide (UTF-16)
// texts shown to the user. Camera texts are taken as Latin-1, the 8-bit code
// page in which every byte maps to one character and back.

#include <string>
#include <string_view>

namespace qrv {

// 8-bit network text to wide text, one character per byte.
std::u16string ToWide(std::string_view narrow);
// Wide text to 8-bit text; a character that has no 8-bit form becomes '?'.
std::string ToNarrow(std::u16string_view wide);
// For terminals and files: UTF-16 <-> UTF-8 (unpaired surrogates become U+FFFD).
std::string ToUtf8(std::u16string_view wide);
std::u16string FromUtf8(std::string_view utf8);

}  // namespace qrv
