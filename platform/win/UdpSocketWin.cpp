#include "platform/UdpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "platform/Ipv4Sockaddr.h"
#include "platform/win/Winsock.h"

// Winsock's form of the socket. The descriptor is kept in the int the header
// declares: a SOCKET is a kernel handle, and Windows keeps handle values
// within 32 bits so that 32- and 64-bit processes can share them.

namespace qrv {
namespace {

SOCKET AsSocket(int fd) { return static_cast<SOCKET>(static_cast<unsigned>(fd)); }

// WSARecvMsg is reached through a function pointer the socket hands out.
LPFN_WSARECVMSG RecvMsgOf(SOCKET socket) {
    GUID id = WSAID_WSARECVMSG;
    LPFN_WSARECVMSG function = nullptr;
    DWORD bytes = 0;
    if (::WSAIoctl(socket, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &function, sizeof function, &bytes,
                   nullptr, nullptr) != 0) {
        return nullptr;
    }
    return function;
}

}  // namespace

UdpSocket::~UdpSocket() { Close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool UdpSocket::Open() {
    Close();
    if (!win::StartWinsock()) return false;
    const SOCKET socket = ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) return false;
    // Windows reports an ICMP "port unreachable" for an earlier datagram as a
    // failed receive; a camera that went away must not end the listening.
    BOOL report = FALSE;
    DWORD bytes = 0;
    ::WSAIoctl(socket, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &bytes, nullptr, nullptr);
    fd_ = static_cast<int>(socket);
    return true;
}

bool UdpSocket::EnableBroadcast() {
    const BOOL on = TRUE;
    return ::setsockopt(AsSocket(fd_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool UdpSocket::SetReceiveTimeout(std::chrono::microseconds timeout) {
    // Whole milliseconds, rounded up so that a short wait does not become
    // "wait for ever" (0).
    const DWORD ms = static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(timeout).count());
    return ::setsockopt(AsSocket(fd_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms) == 0;
}

bool UdpSocket::SetReceiveBuffer(int bytes) {
    return ::setsockopt(AsSocket(fd_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes) == 0;
}

int UdpSocket::ReceiveBufferSize() const {
    int bytes = 0;
    int length = sizeof bytes;
    if (::getsockopt(AsSocket(fd_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&bytes), &length) != 0) return 0;
    return bytes;
}

bool UdpSocket::EnablePacketInfo() {
    const DWORD on = 1;
    return ::setsockopt(AsSocket(fd_), IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool UdpSocket::BindToDevice(std::string_view name) {
    // Windows has no binding to a device: IP_UNICAST_IF sends through the
    // interface of that name (what ListIpv4Interfaces reports); datagrams
    // from other interfaces still arrive.
    const NET_IFINDEX index = ::if_nametoindex(std::string(name).c_str());
    if (index == 0) return false;
    const DWORD value = htonl(index);
    return ::setsockopt(AsSocket(fd_), IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&value), sizeof value) ==
           0;
}

bool UdpSocket::BindAny(std::uint16_t port) { return Bind(Ipv4Endpoint{{0, 0, 0, 0}, port}); }

bool UdpSocket::Bind(const Ipv4Endpoint& local) {
    const sockaddr_in address = ToSockaddr(local);
    return ::bind(AsSocket(fd_), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

std::uint16_t UdpSocket::LocalPort() const {
    sockaddr_in address{};
    int length = sizeof address;
    if (::getsockname(AsSocket(fd_), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

bool UdpSocket::SendTo(const Ipv4Endpoint& to, std::span<const std::uint8_t> bytes) {
    const sockaddr_in address = ToSockaddr(to);
    const int sent = ::sendto(AsSocket(fd_), reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                              0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent >= 0 && static_cast<std::size_t>(sent) == bytes.size();
}

UdpSocket::Received UdpSocket::ReceiveFrom(std::span<std::uint8_t> buffer) {
    Received result;
    const SOCKET socket = AsSocket(fd_);
    const LPFN_WSARECVMSG recvMsg = RecvMsgOf(socket);
    if (!recvMsg) return result;
    // WSARecvMsg does not honour SO_RCVTIMEO everywhere (wine ignores it):
    // wait for the datagram with the socket's own receive time-out first.
    DWORD timeoutMs = 0;
    int length = sizeof timeoutMs;
    if (::getsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&timeoutMs), &length) == 0 && timeoutMs > 0) {
        WSAPOLLFD watch{socket, POLLRDNORM, 0};
        const int ready = ::WSAPoll(&watch, 1, static_cast<INT>(timeoutMs));
        if (ready <= 0) {
            result.status = ready == 0 ? ReceiveStatus::TimedOut : ReceiveStatus::Failed;
            return result;
        }
    }
    sockaddr_in from{};
    char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    WSABUF part{static_cast<ULONG>(buffer.size()), reinterpret_cast<char*>(buffer.data())};
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(&from);
    message.namelen = sizeof from;
    message.lpBuffers = &part;
    message.dwBufferCount = 1;
    message.Control = WSABUF{sizeof control, control};
    DWORD got = 0;
    if (recvMsg(socket, &message, &got, nullptr, nullptr) != 0) {
        const int error = ::WSAGetLastError();
        // A longer datagram is cut: the buffer holds its first bytes.
        if (error == WSAEMSGSIZE) {
            got = static_cast<DWORD>(buffer.size());
        } else {
            result.status = error == WSAETIMEDOUT ? ReceiveStatus::TimedOut : ReceiveStatus::Failed;
            return result;
        }
    }
    result.status = ReceiveStatus::Data;
    result.size = got;
    result.from = FromSockaddr(from);
    for (WSACMSGHDR* header = WSA_CMSG_FIRSTHDR(&message); header != nullptr;
         header = WSA_CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            IN_PKTINFO info{};
            std::memcpy(&info, WSA_CMSG_DATA(header), sizeof info);
            result.interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
        }
    }
    return result;
}

UdpSocket::ReceiveStatus UdpSocket::WaitReadable(std::span<const UdpSocket* const> sockets,
                                                 std::chrono::microseconds timeout, std::vector<bool>& ready) {
    ready.assign(sockets.size(), false);
    std::vector<WSAPOLLFD> fds;
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        if (!sockets[i] || !sockets[i]->IsOpen()) continue;
        fds.push_back(WSAPOLLFD{AsSocket(sockets[i]->fd_), POLLRDNORM, 0});
        positions.push_back(i);
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(timeout);
    if (fds.empty()) {
        // Nothing to watch: the wait still takes its time, as poll() does.
        std::this_thread::sleep_for(ms);
        return ReceiveStatus::TimedOut;
    }
    const int count = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), static_cast<INT>(ms.count()));
    if (count < 0) return ReceiveStatus::Failed;
    if (count == 0) return ReceiveStatus::TimedOut;
    // An error or hang-up on a socket is ready too: its receive reports it.
    for (std::size_t k = 0; k < fds.size(); ++k) ready[positions[k]] = fds[k].revents != 0;
    return ReceiveStatus::Data;
}

bool UdpSocket::Close() {
    if (fd_ < 0) return true;
    const int fd = std::exchange(fd_, -1);
    return ::closesocket(AsSocket(fd)) == 0;
}

}  // namespace qrv
