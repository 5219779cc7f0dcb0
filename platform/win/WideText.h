#pragma once
// UTF-8 <-> UTF-16 for the wide-character system calls of Windows. The
// program's paths and environment values are UTF-8 inside; only the calls
// themselves see wide text.

#include <string>
#include <string_view>

namespace qrv::win {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// The system's text for an error code (GetLastError), without the trailing
// full stop and line end, so that callers can put it into their own sentence.
std::string ErrorText(unsigned long code);

}  // namespace qrv::win
