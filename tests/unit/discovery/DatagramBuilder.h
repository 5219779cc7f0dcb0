#pragma once
// Crafted discovery replies for the tests: 0x02, then KEY:value items each
// ended by 0xFF, then 0x03, as the cameras frame them.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qrv::test {

using Field = std::pair<std::string_view, std::string_view>;

inline std::string Framed(std::initializer_list<Field> fields) {
    std::string text = "\x02";
    for (const auto& [key, value] : fields) {
        text += key;
        text += value;
        text += '\xFF';
    }
    text += '\x03';
    return text;
}

// A complete allinfo reply of a supported camera; `extra` items come after.
inline std::string CameraReply(std::string_view mac, std::string_view serial = "1000001",
                               std::string_view model = "QRV-K7") {
    return Framed({{"MODEL:", model},
                   {"SERIAL:", serial},
                   {"MAC:", mac},
                   {"DHCP:", "OFF"},
                   {"DNSAUTO:", "OFF"},
                   {"IPADR:", "192.168.0.10"},
                   {"WEBPORT:", "80"},
                   {"SOFTVERSION:", "1.20"}});
}

inline std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace qrv::test
