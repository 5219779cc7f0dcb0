#pragma once
// A camera answers an inquiry with one line of key=value items joined by "&".
// A key is found anywhere in the reply (case-sensitive); its value runs to the
// next "&" or to the end of the reply.

#include <optional>
#include <string>
#include <string_view>

namespace qrv {

// The value after the first occurrence of `key` (which includes its "=").
std::optional<std::u16string> FindItem(std::u16string_view reply, std::u16string_view key);

// "MacAddress=" in the form discovery shows (colons, the camera's own letter
// case; a '-' becomes ':'), so grid, log and reports hold one form; nothing
// when that is empty.
std::optional<std::u16string> ReadMacAddress(std::u16string_view reply);
// "DocType=", or the empty text when the camera sent none.
std::u16string ReadDocType(std::u16string_view reply);

}  // namespace qrv
