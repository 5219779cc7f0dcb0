#pragma once
// Finds the cameras on the local segment: broadcasts the allinfo request over
// UDP and, on a receive thread of its own, writes every acceptable reply into
// a DiscoveryTable. Socket failures end the program (see Start and the
// receive loop); a reply that fails a check is dropped without a trace.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <stop_token>
#include <string_view>
#include <thread>

#include "discovery/DiscoveryTable.h"
#include "engine/Timing.h"
#include "platform/OwnerPort.h"
#include "platform/UdpSocket.h"

namespace qrv {

class DiscoveryService {
public:
    static constexpr std::uint16_t kPort = 2380;
    static constexpr std::size_t kDatagramBuffer = 1072;
    static constexpr std::size_t kRequestSize = 14;
    // Enough room for a burst of replies from every slot's camera at once.
    static constexpr int kReceiveBufferBytes = 1 << 20;

    enum class DatagramKind { AllInfo, Acknowledgement, Other };

    // `owner` shows the box of a failed receive; it may be null where no one
    // can see a box.
    DiscoveryService(DiscoveryTable& table, OwnerPort* owner, const Timing& timing = Timing::Production());
    ~DiscoveryService();
    DiscoveryService(const DiscoveryService&) = delete;
    DiscoveryService& operator=(const DiscoveryService&) = delete;

    // 0x02 "ENQ:allinfo" 0xFF 0x03.
    static std::array<std::uint8_t, kRequestSize> AllInfoRequest();

    // Opens the socket (broadcast, short receive time-out, large receive
    // buffer, an ephemeral port) and starts the receive thread. A failure of
    // socket, the time-out option or bind writes its line and ends the process.
    void Start();
    // One datagram to 255.255.255.255:2380. 0 on success; -1 when it was not
    // sent ("Error : sendto" is written when the system refused it). A failed
    // send leaves the socket and the receive thread as they were.
    int SendRequest(std::span<const std::uint8_t> bytes);
    int SendRequest() { return SendRequest(AllInfoRequest()); }

    // Asks the receive thread to end, waits (looking every discoveryStopPoll)
    // until it has, and joins it. Safe to call twice, or when never started.
    void StopAndWait();
    bool IsRunning() const { return table_.IsReceiving(); }
    // The ephemeral port the requests leave from; 0 before Start.
    std::uint16_t LocalPort() const;

    // One received datagram: 8-bit text up to its first NUL or its end.
    DatagramKind HandleDatagram(std::span<const std::uint8_t> datagram);
    // One allinfo reply: checks model and serial, then fills the camera's slot.
    void ParseAllInfo(std::string_view text);

private:
    void ReceiveLoop(std::stop_token stopToken);
    [[noreturn]] void FailReceive();
    void CloseAtEnd();

    DiscoveryTable& table_;
    OwnerPort* owner_;
    Timing timing_;
    // Guards the descriptor against a send racing the receive thread's close.
    mutable std::mutex socketMutex_;
    UdpSocket socket_;
    std::jthread thread_;
};

}  // namespace qrv
