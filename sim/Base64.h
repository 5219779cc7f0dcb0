#pragma once
// The camera's own Base64 (standard alphabet, padded). The camera reports its
// administrator in this form and reads Basic credentials with it.
#include <optional>
#include <string>
#include <string_view>

namespace qrv::sim {

std::string Base64Encode(std::string_view bytes);

// Strict decoding: a multiple of four characters from the standard alphabet,
// "=" only as the last one or two characters, unused bits zero. Anything else
// gives no value, because a camera must not accept a mangled credential.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace qrv::sim
