#pragma once
// Finds the cameras on the local segments: broadcasts the allinfo request over
// UDP and, on a receive thread of its own, writes every acceptable reply into
// a DiscoveryTable. The request goes to 255.255.255.255 from the main socket
// and to the broadcast address of every other interface from a socket bound
// to it (see DiscoveryRoutes.h; a scope may name one interface instead); the
// one thread takes the replies of every socket. Failures of an essential
// socket end the program (see Start and the receive loop); a socket of a
// further interface that cannot be opened, or whose receive fails, is left
// out with a note; a reply that fails a check is dropped without a trace.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "discovery/DiscoveryRoutes.h"
#include "discovery/DiscoveryTable.h"
#include "engine/Timing.h"
#include "platform/NetworkInterfaces.h"
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
    // can see a box. `scope`: every interface (the default) or one.
    DiscoveryService(DiscoveryTable& table, OwnerPort* owner, const Timing& timing = Timing::Production(),
                     DiscoveryScope scope = {});
    ~DiscoveryService();
    DiscoveryService(const DiscoveryService&) = delete;
    DiscoveryService& operator=(const DiscoveryService&) = delete;

    // 0x02 "ENQ:allinfo" 0xFF 0x03.
    static std::array<std::uint8_t, kRequestSize> AllInfoRequest();

    // Lists the interfaces, opens the sockets of the scope's routes
    // (broadcast, short receive time-out, large receive buffer, the interface
    // each reply came in on, an ephemeral port on the route's address) and
    // starts the receive thread. On an essential socket (the main one; with
    // one interface, its own) a failure of socket, the time-out option or bind
    // writes its line and ends the process; any other socket is left out with
    // a note (see Notes).
    void Start();
    // Starts with this list of interfaces instead of the system's.
    void Start(std::span<const NetworkInterface> interfaces);
    // One datagram to each target of each open socket: to 255.255.255.255:2380
    // from the main socket, to each interface's broadcast address from its
    // own. 0 on success; -1 when nothing is open or a datagram of an essential
    // socket was not sent ("Error : sendto" is written when the system refused
    // it); a refused datagram of another socket is a note. A failed send
    // leaves the sockets and the receive thread as they were.
    int SendRequest(std::span<const std::uint8_t> bytes);
    int SendRequest() { return SendRequest(AllInfoRequest()); }

    // Asks the receive thread to end, waits (looking every discoveryStopPoll)
    // until it has, and joins it. Safe to call twice, or when never started.
    void StopAndWait();
    bool IsRunning() const { return table_.IsReceiving(); }
    // The ephemeral port the requests of the first socket (the main one, when
    // every interface is used) leave from; 0 before Start and after the end.
    std::uint16_t LocalPort() const;
    // The routes whose socket Start opened, in order.
    std::vector<DiscoveryRoute> OpenRoutes() const;
    // What discovery left out or could not do on a socket that is not
    // essential, one line each, without repeats.
    std::vector<std::string> Notes() const;

    // One received datagram: 8-bit text up to its first NUL or its end;
    // `interfaceName` is the interface it came in on (empty: unknown).
    DatagramKind HandleDatagram(std::span<const std::uint8_t> datagram, std::string_view interfaceName = {});
    // One allinfo reply: checks model and serial, then fills the camera's slot.
    void ParseAllInfo(std::string_view text, std::string_view interfaceName = {});

private:
    struct Channel {
        DiscoveryRoute route;
        UdpSocket socket;
    };

    bool OpenChannel(Channel& channel);
    void Note(std::string line);
    void ReceiveLoop(std::stop_token stopToken);
    std::string ArrivalInterface(const Channel& channel, const UdpSocket::Received& received) const;
    [[noreturn]] void FailReceive();
    void CloseAtEnd();

    DiscoveryTable& table_;
    OwnerPort* owner_;
    Timing timing_;
    DiscoveryScope scope_;
    // Guards the descriptors against a send racing the receive thread's close,
    // and the notes. Start fills the channels before the thread runs; nothing
    // adds or removes one while it runs, and only that thread closes them.
    mutable std::mutex socketMutex_;
    std::vector<Channel> channels_;
    std::vector<NetworkInterface> interfaces_;  // as listed at Start
    std::vector<std::string> notes_;
    std::jthread thread_;
};

}  // namespace qrv
