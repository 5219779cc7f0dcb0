#pragma once
// One IPv4 UDP socket (RAII): the few calls discovery needs, each reporting
// success or failure so that callers decide what a failure means.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace qrv {

// An IPv4 address (four bytes in dotted order) and a port.
struct Ipv4Endpoint {
    std::uint8_t address[4] = {0, 0, 0, 0};
    std::uint16_t port = 0;

    static Ipv4Endpoint Broadcast(std::uint16_t port) { return {{255, 255, 255, 255}, port}; }
    static Ipv4Endpoint Loopback(std::uint16_t port) { return {{127, 0, 0, 1}, port}; }
};

class UdpSocket {
public:
    enum class ReceiveStatus { Data, TimedOut, Failed };
    struct Received {
        ReceiveStatus status = ReceiveStatus::Failed;
        std::size_t size = 0;
        Ipv4Endpoint from;
        // The index of the interface the datagram came in on; 0 when the
        // system did not say (see EnablePacketInfo).
        unsigned interfaceIndex = 0;
    };

    UdpSocket() = default;  // not open
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // socket(AF_INET, SOCK_DGRAM, 0). False when the system refuses.
    bool Open();
    bool IsOpen() const { return fd_ >= 0; }

    bool EnableBroadcast();
    // Each receive gives up after `timeout` without data.
    bool SetReceiveTimeout(std::chrono::microseconds timeout);
    // Asks for a receive buffer of `bytes`; the system may grant less.
    bool SetReceiveBuffer(int bytes);
    // The receive buffer size the system reports.
    int ReceiveBufferSize() const;
    // Each received datagram then tells the interface it came in on.
    bool EnablePacketInfo();
    // Sends and receives only through the device `name` (SO_BINDTODEVICE);
    // the system may refuse it to a program without the privilege.
    bool BindToDevice(std::string_view name);
    // Any interface, the given port (0: an ephemeral port).
    bool BindAny(std::uint16_t port = 0);
    bool Bind(const Ipv4Endpoint& local);
    // The bound port, 0 when unknown.
    std::uint16_t LocalPort() const;

    // One datagram; true when the system took all of it.
    bool SendTo(const Ipv4Endpoint& to, std::span<const std::uint8_t> bytes);
    // One datagram into `buffer` (a longer one is cut). A time-out is told
    // apart from a failure; an interrupted call is retried.
    Received ReceiveFrom(std::span<std::uint8_t> buffer);

    // Waits at most `timeout` until one of `sockets` has a datagram to read;
    // `ready[i]` is then set for each such socket. Data: at least one is
    // ready; TimedOut: none within the time; Failed: the wait itself failed.
    // A socket that is not open is skipped; an interrupted wait is resumed.
    static ReceiveStatus WaitReadable(std::span<const UdpSocket* const> sockets, std::chrono::microseconds timeout,
                                      std::vector<bool>& ready);

    // Closes the socket; false when the system reports a failure (the
    // descriptor is released either way).
    bool Close();

private:
    int fd_ = -1;
};

}  // namespace qrv
