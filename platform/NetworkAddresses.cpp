#include "platform/NetworkInterfaces.h"

// The address arithmetic of NetworkInterfaces.h: pure, the same on every
// system (the listing itself is NetworkInterfaces.cpp or win/).

namespace qrv {
namespace {

std::uint32_t ToNumber(const Ipv4Address& address) {
    return (std::uint32_t{address[0]} << 24) | (std::uint32_t{address[1]} << 16) | (std::uint32_t{address[2]} << 8) |
           std::uint32_t{address[3]};
}

Ipv4Address FromNumber(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

}  // namespace

std::string_view DeviceName(std::string_view label) {
    return label.substr(0, label.find(':'));
}

Ipv4Address DirectedBroadcast(const Ipv4Address& address, const Ipv4Address& netmask) {
    return FromNumber(ToNumber(address) | ~ToNumber(netmask));
}

bool InSubnet(const Ipv4Address& candidate, const Ipv4Address& address, const Ipv4Address& netmask) {
    const std::uint32_t mask = ToNumber(netmask);
    return (ToNumber(candidate) & mask) == (ToNumber(address) & mask);
}

int PrefixLength(const Ipv4Address& netmask) {
    int length = 0;
    for (std::uint32_t mask = ToNumber(netmask); mask & 0x80000000u; mask <<= 1) ++length;
    return length;
}

std::optional<Ipv4Address> BroadcastTarget(const NetworkInterface& entry) {
    if (!entry.canBroadcast) return std::nullopt;
    if (entry.broadcast && *entry.broadcast != Ipv4Address{} && *entry.broadcast != entry.address) {
        return entry.broadcast;
    }
    const int prefix = PrefixLength(entry.netmask);
    if (prefix < 1 || prefix > 30) return std::nullopt;
    return DirectedBroadcast(entry.address, entry.netmask);
}

std::string DottedText(const Ipv4Address& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
           std::to_string(address[3]);
}

}  // namespace qrv
