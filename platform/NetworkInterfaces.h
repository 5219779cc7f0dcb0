#pragma once
// The machine's IPv4 interfaces as the system lists them (getifaddrs), and the
// address arithmetic discovery needs to broadcast on each of them. Only
// ListIpv4Interfaces and InterfaceNameOf ask the system; the rest is pure.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrv {

using Ipv4Address = std::array<std::uint8_t, 4>;  // a.b.c.d in order

// One IPv4 address of one interface. An interface with two addresses is two
// entries; a labelled alias ("eth0:1") carries its label as the name.
struct NetworkInterface {
    std::string name;
    unsigned index = 0;  // the system's index of the device; 0 when unknown
    Ipv4Address address{};
    Ipv4Address netmask{};
    // The broadcast address configured with the address; none when the system
    // reports none (an address added without one, a point-to-point link).
    std::optional<Ipv4Address> broadcast;
    bool up = false;            // IFF_UP
    bool loopback = false;      // IFF_LOOPBACK
    bool canBroadcast = false;  // IFF_BROADCAST

    bool operator==(const NetworkInterface&) const = default;
};

// Every IPv4 address of every interface, in the system's order. Empty when
// the system refuses the listing.
std::vector<NetworkInterface> ListIpv4Interfaces();
// The name of the device with this index ("eth0"); empty when there is none.
std::string InterfaceNameOf(unsigned index);

// The device an address label belongs to: "eth0" for "eth0" and "eth0:1".
std::string_view DeviceName(std::string_view label);
// address | ~netmask.
Ipv4Address DirectedBroadcast(const Ipv4Address& address, const Ipv4Address& netmask);
// Whether `candidate` lies in the subnet of `address`/`netmask`.
bool InSubnet(const Ipv4Address& candidate, const Ipv4Address& address, const Ipv4Address& netmask);
// The number of leading one bits of a netmask (24 for 255.255.255.0).
int PrefixLength(const Ipv4Address& netmask);
// The broadcast address a request for the subnet goes to: the configured one
// when there is one, else address | ~netmask; none for a /31 or /32 without
// a configured one (no broadcast address exists there), for a /0, or for an
// interface that cannot broadcast.
std::optional<Ipv4Address> BroadcastTarget(const NetworkInterface& entry);
// "a.b.c.d".
std::string DottedText(const Ipv4Address& address);

}  // namespace qrv
