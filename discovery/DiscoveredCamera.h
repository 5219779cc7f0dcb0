#pragma once
// One slot of the discovery table: what one camera said about itself in its
// latest allinfo reply. Texts are 8-bit, NUL-terminated, cut to the width less one.

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qrv {

struct DiscoveredCamera {
    std::array<char, 32> model{};
    std::array<char, 12> serial{};
    std::array<char, 16> version{};
    std::array<char, 18> mac{};       // identifies the camera; empty marks a free slot
    std::array<std::uint8_t, 4> ip{};  // a.b.c.d in order
    std::int32_t dhcp = 0;
    std::int32_t dnsauto = 0;
    std::int32_t port = 80;
    // The interface the latest reply came in on ("eth0"); empty when unknown.
    std::array<char, 16> interfaceName{};

    bool operator==(const DiscoveredCamera&) const = default;
};

// The text of a fixed-width field, up to its first NUL.
template <std::size_t N>
std::string_view FieldText(const std::array<char, N>& field) {
    const void* nul = std::memchr(field.data(), '\0', N);
    const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field.data()) : N;
    return {field.data(), length};
}

// "a.b.c.d" of the four address bytes.
std::string DottedAddress(const std::array<std::uint8_t, 4>& ip);
// "a.b.c.d" when the port is 80, else "a.b.c.d:port".
std::string AddressText(const DiscoveredCamera& camera);

}  // namespace qrv
