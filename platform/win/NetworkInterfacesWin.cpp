#include "platform/NetworkInterfaces.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <cstring>
#include <vector>

#include "platform/win/Winsock.h"

// The interfaces as GetAdaptersAddresses lists them. Each is named by its
// system name ("ethernet_32768"), the name if_nametoindex knows, so that
// UdpSocket::BindToDevice takes what this list reports. Windows keeps no
// broadcast address with an interface address: the subnet's is used.

namespace qrv {
namespace {

Ipv4Address FromSockaddr(const sockaddr* address) {
    Ipv4Address bytes{};
    if (address != nullptr && address->sa_family == AF_INET) {
        std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr, 4);
    }
    return bytes;
}

Ipv4Address MaskOf(unsigned prefix) {
    const std::uint32_t mask = prefix == 0 ? 0 : prefix >= 32 ? 0xFFFFFFFFu : ~((1u << (32 - prefix)) - 1);
    return {static_cast<std::uint8_t>(mask >> 24), static_cast<std::uint8_t>(mask >> 16),
            static_cast<std::uint8_t>(mask >> 8), static_cast<std::uint8_t>(mask)};
}

std::string NameOf(const NET_LUID& luid) {
    char name[NDIS_IF_MAX_STRING_SIZE + 1] = {};
    if (::ConvertInterfaceLuidToNameA(&luid, name, sizeof name) != NO_ERROR) return {};
    return name;
}

}  // namespace

std::vector<NetworkInterface> ListIpv4Interfaces() {
    std::vector<NetworkInterface> list;
    constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    // The list can grow between the size query and the call: try a few times.
    std::vector<unsigned char> buffer(16 * 1024);
    ULONG size = static_cast<ULONG>(buffer.size());
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = ::GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                        reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) return list;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter; adapter = adapter->Next) {
        const bool loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        const bool pointToPoint = adapter->IfType == IF_TYPE_PPP || adapter->IfType == IF_TYPE_TUNNEL;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            if (unicast->Address.lpSockaddr == nullptr || unicast->Address.lpSockaddr->sa_family != AF_INET) continue;
            NetworkInterface item;
            item.name = NameOf(adapter->Luid);
            item.index = adapter->IfIndex;
            item.address = FromSockaddr(unicast->Address.lpSockaddr);
            item.netmask = MaskOf(unicast->OnLinkPrefixLength);
            item.up = adapter->OperStatus == IfOperStatusUp;
            item.loopback = loopback;
            item.canBroadcast = !loopback && !pointToPoint;
            list.push_back(std::move(item));
        }
    }
    return list;
}

std::string InterfaceNameOf(unsigned index) {
    NET_LUID luid{};
    if (index == 0 || ::ConvertInterfaceIndexToLuid(index, &luid) != NO_ERROR) return {};
    return NameOf(luid);
}

}  // namespace qrv
