#include "platform/NetworkInterfaces.h"

// The listing on POSIX systems; the address arithmetic is in
// NetworkAddresses.cpp, shared by every system.

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace qrv {
namespace {

Ipv4Address FromSockaddr(const sockaddr* address) {
    Ipv4Address bytes{};
    if (address != nullptr && address->sa_family == AF_INET) {
        const auto* inet = reinterpret_cast<const sockaddr_in*>(address);
        std::memcpy(bytes.data(), &inet->sin_addr.s_addr, 4);
    }
    return bytes;
}

}  // namespace

std::vector<NetworkInterface> ListIpv4Interfaces() {
    std::vector<NetworkInterface> list;
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) return list;
    for (const ifaddrs* entry = all; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET || entry->ifa_name == nullptr) continue;
        NetworkInterface item;
        item.name = entry->ifa_name;
        item.index = ::if_nametoindex(std::string(DeviceName(item.name)).c_str());
        item.address = FromSockaddr(entry->ifa_addr);
        item.netmask = FromSockaddr(entry->ifa_netmask);
        item.up = (entry->ifa_flags & IFF_UP) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        item.canBroadcast = (entry->ifa_flags & IFF_BROADCAST) != 0;
        // ifa_broadaddr shares its storage with the point-to-point peer
        // address; it is the broadcast address only with IFF_BROADCAST.
        if (item.canBroadcast && entry->ifa_broadaddr != nullptr && entry->ifa_broadaddr->sa_family == AF_INET) {
            item.broadcast = FromSockaddr(entry->ifa_broadaddr);
        }
        list.push_back(std::move(item));
    }
    ::freeifaddrs(all);
    return list;
}

std::string InterfaceNameOf(unsigned index) {
    char name[IF_NAMESIZE] = {};
    if (index == 0 || ::if_indextoname(index, name) == nullptr) return {};
    return name;
}

}  // namespace qrv
