#pragma once
// An Ipv4Endpoint as the socket calls of every system take it. Internal to
// platform/: the UDP sockets of both systems share it.

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstring>

#include "platform/UdpSocket.h"

namespace qrv {

inline sockaddr_in ToSockaddr(const Ipv4Endpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    std::memcpy(&address.sin_addr.s_addr, endpoint.address, 4);
    return address;
}

inline Ipv4Endpoint FromSockaddr(const sockaddr_in& address) {
    Ipv4Endpoint endpoint;
    std::memcpy(endpoint.address, &address.sin_addr.s_addr, 4);
    endpoint.port = ntohs(address.sin_port);
    return endpoint;
}

}  // namespace qrv
