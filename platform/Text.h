#pragma once
// Conversions between the 8-bit texts of the network and the wide (UTF-16)
// texts shown to the user. Camera texts are taken as Latin-1, the 8-bit code
// page in which every byte maps to one character and back.

#include <optional>
#include <string>
#include <string_view>

namespace qrv {

// 8-bit network text to wide text, one character per byte.
std::u16string ToWide(std::string_view narrow);
// Wide text to 8-bit text; a character that has no 8-bit form becomes '?'.
std::string ToNarrow(std::u16string_view wide);
// For terminals and files: UTF-16 <-> UTF-8 (unpaired surrogates and
// malformed sequences become U+FFFD).
std::string ToUtf8(std::u16string_view wide);
std::u16string FromUtf8(std::string_view utf8);
// Strict UTF-8: nothing when any sequence is malformed, overlong, a
// surrogate or beyond U+10FFFF. For what a user typed or a file holds.
std::optional<std::u16string> DecodeUtf8(std::string_view utf8);
// The length of the strictly valid UTF-8 sequence at the start of `text`; 0
// when there is none.
std::size_t Utf8SequenceLength(std::string_view text);

// Text for a terminal, in UTF-8: control characters (C0, DEL, C1, the
// Unicode line and paragraph separators), which could drive the terminal or
// forge lines, shown as '?'. With `keepLineBreaks` a line end ("\n" or
// "\r\n") stays as "\n".
std::string TerminalSafe(std::u16string_view text, bool keepLineBreaks = false);

// Overwrites a secret's bytes before it is let go.
void Wipe(std::string& secret);

}  // namespace qrv
