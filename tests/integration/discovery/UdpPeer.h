#pragma once
// A plain UDP socket on the test's side, inside the private network: it
// watches what the program sends to port 2380, and sends the replies the
// simulated cameras never send.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UdpSocket.h"

namespace qrv::test {

class UdpPeer {
public:
    struct Datagram {
        std::vector<std::uint8_t> bytes;
        Ipv4Endpoint from;
    };

    explicit UdpPeer(const Ipv4Endpoint& local) {
        ok_ = socket_.Open() && socket_.SetReceiveTimeout(std::chrono::milliseconds(50)) && socket_.Bind(local);
    }
    bool Ok() const { return ok_; }

    // The next datagram within `limit`, if any.
    std::optional<Datagram> Receive(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::vector<std::uint8_t> buffer(65536);
        while (std::chrono::steady_clock::now() < deadline) {
            const auto got = socket_.ReceiveFrom(buffer);
            if (got.status == UdpSocket::ReceiveStatus::Data) {
                buffer.resize(got.size);
                return Datagram{buffer, got.from};
            }
            if (got.status == UdpSocket::ReceiveStatus::Failed) return std::nullopt;
        }
        return std::nullopt;
    }

    bool Send(std::uint16_t toPort, std::string_view bytes) {
        return socket_.SendTo(Ipv4Endpoint::Loopback(toPort),
                              {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    }

private:
    UdpSocket socket_;
    bool ok_ = false;
};

}  // namespace qrv::test
