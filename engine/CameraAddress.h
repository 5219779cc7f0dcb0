#pragma once
// A camera's address: four address bytes and the port of its web server. The
// one place where an address is read from text and written as text.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qrv {

using AddressBytes = std::array<std::uint8_t, 4>;

inline constexpr int kDefaultHttpPort = 80;
// An explicit port other than 80 lies in this range.
inline constexpr int kLowestCustomPort = 1024;
inline constexpr int kHighestPort = 65535;

// 80, or kLowestCustomPort..kHighestPort.
bool IsValidPort(int port);

struct CameraAddress {
    AddressBytes ip{};
    int port = kDefaultHttpPort;

    // "a.b.c.d" or "a.b.c.d:port": four decimal fields of 0..255 without
    // leading zeros, and a port of one to five digits that IsValidPort
    // accepts. Nothing for anything else (names included).
    static std::optional<CameraAddress> Parse(std::string_view text);

    // "a.b.c.d" for port 80, else "a.b.c.d:port".
    std::string Text8() const;
    std::u16string Text() const;

    bool operator==(const CameraAddress&) const = default;
};

}  // namespace qrv
