#pragma once
// Where the discovery request goes: which sockets discovery opens, what each
// is bound to and which broadcast addresses it sends to, chosen from the list
// of the machine's IPv4 interfaces. Pure: the list comes from the caller.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/NetworkInterfaces.h"

namespace qrv {

// Which interfaces discovery uses.
struct DiscoveryScope {
    // Empty: every interface. Else only the interface of this name (a device
    // name such as "eth0", or an address label such as "eth0:1").
    std::string onlyInterface;
};

// One socket of discovery and the datagrams each request sends from it.
struct DiscoveryRoute {
    // The interface the socket belongs to; empty for the main socket, which
    // is bound to any address.
    std::string interfaceName;
    // The device the socket is bound to (SO_BINDTODEVICE), when permitted;
    // empty: none.
    std::string device;
    Ipv4Address local{};  // the bound address (0.0.0.0: any), ephemeral port
    Ipv4Address netmask{};
    std::vector<Ipv4Address> targets;  // each request goes to each, port 2380, in this order
    // A failure to open this socket ends the program, as it always did for
    // the main socket; a socket that is not essential is left out instead.
    bool essential = false;

    bool operator==(const DiscoveryRoute&) const = default;
};

struct DiscoveryRoutePlan {
    std::vector<DiscoveryRoute> routes;
    std::string error;  // why the scope cannot be used (unknown or down interface); empty when it can
};

inline constexpr Ipv4Address kLimitedBroadcast{255, 255, 255, 255};

// Every interface: first the main socket (any address, 255.255.255.255,
// essential), then one socket per address of every interface that is up, is
// not loopback and can broadcast, bound to that address and sending to its
// subnet's broadcast address.
// One interface: one socket per address of it, bound to that address and to
// the device, sending to the subnet's broadcast address (when the interface
// can broadcast) and to 255.255.255.255 (which leaves by the device that holds
// the bound address), all essential. An unknown name, or an interface whose
// addresses are all down, is an error.
DiscoveryRoutePlan PlanDiscoveryRoutes(std::span<const NetworkInterface> interfaces, const DiscoveryScope& scope);

// The interface a reply is credited to: the device it came in on when the
// system said (`arrivalDevice`); else, and also for a reply from this host
// itself (a sender in 127.0.0.0/8 or at one of the host's addresses, which the
// system credits to the device holding the address it was sent to), the first
// interface that is up and whose subnet holds the sender; else the arrival
// device; else the device of the socket that took it (empty for the main
// socket).
std::string ReplyInterface(std::span<const NetworkInterface> interfaces, std::string_view arrivalDevice,
                           const Ipv4Address& sender, std::string_view socketInterface);

}  // namespace qrv
