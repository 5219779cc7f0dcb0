#include "platform/UdpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <chrono>
#include <utility>

#include "platform/Ipv4Sockaddr.h"

namespace qrv {

UdpSocket::~UdpSocket() {
    Close();
}

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
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return fd_ >= 0;
}

bool UdpSocket::EnableBroadcast() {
    const int on = 1;
    return ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

bool UdpSocket::SetReceiveTimeout(std::chrono::microseconds timeout) {
    timeval value{};
    value.tv_sec = static_cast<time_t>(timeout.count() / 1000000);
    value.tv_usec = static_cast<suseconds_t>(timeout.count() % 1000000);
    return ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value) == 0;
}

bool UdpSocket::SetReceiveBuffer(int bytes) {
    return ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
}

int UdpSocket::ReceiveBufferSize() const {
    int bytes = 0;
    socklen_t length = sizeof bytes;
    if (::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, &length) != 0) return 0;
    return bytes;
}

bool UdpSocket::EnablePacketInfo() {
    const int on = 1;
    return ::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0;
}

bool UdpSocket::BindToDevice(std::string_view name) {
    const std::string device(name);
    return ::setsockopt(fd_, SOL_SOCKET, SO_BINDTODEVICE, device.c_str(), static_cast<socklen_t>(device.size() + 1)) == 0;
}

bool UdpSocket::BindAny(std::uint16_t port) {
    return Bind(Ipv4Endpoint{{0, 0, 0, 0}, port});
}

bool UdpSocket::Bind(const Ipv4Endpoint& local) {
    const sockaddr_in address = ToSockaddr(local);
    return ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

std::uint16_t UdpSocket::LocalPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

bool UdpSocket::SendTo(const Ipv4Endpoint& to, std::span<const std::uint8_t> bytes) {
    const sockaddr_in address = ToSockaddr(to);
    ssize_t sent;
    do {
        sent = ::sendto(fd_, bytes.data(), bytes.size(), 0,
                        reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0 && static_cast<std::size_t>(sent) == bytes.size();
}

UdpSocket::Received UdpSocket::ReceiveFrom(std::span<std::uint8_t> buffer) {
    Received result;
    sockaddr_in from{};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    for (;;) {
        iovec part{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(fd_, &message, 0);
        if (got >= 0) {
            result.status = ReceiveStatus::Data;
            // A longer datagram is cut: recvmsg reports what it stored.
            result.size = static_cast<std::size_t>(got);
            result.from = FromSockaddr(from);
            for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
                 header = CMSG_NXTHDR(&message, header)) {
                if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info{};
                    std::memcpy(&info, CMSG_DATA(header), sizeof info);
                    result.interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
                }
            }
            return result;
        }
        if (errno == EINTR) continue;
        result.status = (errno == EAGAIN || errno == EWOULDBLOCK) ? ReceiveStatus::TimedOut
                                                                  : ReceiveStatus::Failed;
        return result;
    }
}

UdpSocket::ReceiveStatus UdpSocket::WaitReadable(std::span<const UdpSocket* const> sockets,
                                                 std::chrono::microseconds timeout, std::vector<bool>& ready) {
    ready.assign(sockets.size(), false);
    std::vector<pollfd> fds(sockets.size());
    for (std::size_t i = 0; i < sockets.size(); ++i) fds[i] = {sockets[i] ? sockets[i]->fd_ : -1, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now());
        timespec wait{};
        if (left.count() > 0) {
            wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
            wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
        }
        const int count = ::ppoll(fds.data(), fds.size(), &wait, nullptr);
        if (count < 0) {
            if (errno == EINTR) continue;
            return ReceiveStatus::Failed;
        }
        if (count == 0) return ReceiveStatus::TimedOut;
        // An error or hang-up on a socket is ready too: its receive reports it.
        for (std::size_t i = 0; i < fds.size(); ++i) ready[i] = fds[i].revents != 0;
        return ReceiveStatus::Data;
    }
}

bool UdpSocket::Close() {
    if (fd_ < 0) return true;
    // The descriptor is gone after close() whatever it reports, so it is never
    // closed twice (a second close could hit a descriptor reused elsewhere).
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0;
}

}  // namespace qrv
