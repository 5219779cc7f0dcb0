#include "discovery/DiscoveryService.h"

#include <algorithm>
#include <utility>

#include "discovery/ReplyFields.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "serial_protect/SerialRules.h"

namespace qrv {
namespace {

// Exit statuses of the socket failures that end the program.
constexpr int kExitCreateSocket = 1;
constexpr int kExitSetOption = 2;
constexpr int kExitBind = 3;
constexpr int kExitReceive = 4;
constexpr int kExitCloseSocket = 5;

[[noreturn]] void Fail(std::string_view line, int status) {
    WriteToStdout(line);
    EndProcess(status);
}

}  // namespace

DiscoveryService::DiscoveryService(DiscoveryTable& table, OwnerPort* owner, const Timing& timing,
                                   DiscoveryScope scope)
    : table_(table), owner_(owner), timing_(timing), scope_(std::move(scope)) {}

DiscoveryService::~DiscoveryService() {
    StopAndWait();
}

std::array<std::uint8_t, DiscoveryService::kRequestSize> DiscoveryService::AllInfoRequest() {
    constexpr std::string_view kText = "ENQ:allinfo";
    std::array<std::uint8_t, kRequestSize> request{};
    request[0] = 0x02;
    std::copy(kText.begin(), kText.end(), request.begin() + 1);
    request[kRequestSize - 2] = 0xFF;
    request[kRequestSize - 1] = 0x03;
    return request;
}

void DiscoveryService::Start() {
    const std::vector<NetworkInterface> interfaces = ListIpv4Interfaces();
    Start(interfaces);
}

void DiscoveryService::Start(std::span<const NetworkInterface> interfaces) {
    std::lock_guard lock(socketMutex_);
    // One discovery per service at a time.
    if (thread_.joinable()) return;
    for (const Channel& channel : channels_) {
        if (channel.socket.IsOpen()) return;
    }
    channels_.clear();
    notes_.clear();
    interfaces_.assign(interfaces.begin(), interfaces.end());
    DiscoveryRoutePlan plan = PlanDiscoveryRoutes(interfaces_, scope_);
    if (!plan.error.empty()) notes_.push_back(plan.error);
    channels_.reserve(plan.routes.size());
    for (DiscoveryRoute& route : plan.routes) {
        Channel channel{std::move(route), UdpSocket()};
        if (OpenChannel(channel)) channels_.push_back(std::move(channel));
    }
    table_.MarkReceiving();
    thread_ = std::jthread([this](std::stop_token token) { ReceiveLoop(std::move(token)); });
}

bool DiscoveryService::OpenChannel(Channel& channel) {
    const DiscoveryRoute& route = channel.route;
    UdpSocket& socket = channel.socket;
    const std::string where = route.interfaceName + " (" + DottedText(route.local) + ")";
    if (!socket.Open()) {
        if (route.essential) Fail("Error : Create Socket\n", kExitCreateSocket);
        Note("discovery leaves out " + where + ": no socket");
        return false;
    }
    socket.EnableBroadcast();  // without it only the send fails, and says so
    if (!socket.SetReceiveTimeout(timing_.discoveryReceiveTimeout)) {
        socket.Close();
        if (route.essential) Fail("Error : Set Socket Option\n", kExitSetOption);
        Note("discovery leaves out " + where + ": the socket refused its receive time-out");
        return false;
    }
    // Best effort: the system caps it, and a smaller buffer only risks losing
    // replies of a very large burst.
    socket.SetReceiveBuffer(kReceiveBufferBytes);
    // Best effort: without it a reply is credited by its sender's subnet.
    socket.EnablePacketInfo();
    // Best effort: the bound address already sends 255.255.255.255 by the
    // device that holds it; the device binding also keeps out replies that
    // come in on another interface.
    if (!route.device.empty() && !socket.BindToDevice(route.device)) {
        Note("discovery on " + where + ": the socket could not be bound to the device " + route.device +
             " (not permitted?); replies that come in on another interface are taken too");
    }
    if (!socket.Bind(Ipv4Endpoint{{route.local[0], route.local[1], route.local[2], route.local[3]}, 0})) {
        socket.Close();
        if (route.essential) Fail("Error : Bind\n", kExitBind);
        Note("discovery leaves out " + where + ": cannot bind to its address");
        return false;
    }
    return true;
}

void DiscoveryService::Note(std::string line) {
    if (std::find(notes_.begin(), notes_.end(), line) == notes_.end()) notes_.push_back(std::move(line));
}

int DiscoveryService::SendRequest(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(socketMutex_);
    int result = -1;  // stays -1 when no socket is open: never started, or discovery has ended
    for (Channel& channel : channels_) {
        if (!channel.socket.IsOpen()) continue;
        if (result < 0) result = 0;
        for (const Ipv4Address& target : channel.route.targets) {
            const Ipv4Endpoint to{{target[0], target[1], target[2], target[3]}, kPort};
            if (channel.socket.SendTo(to, bytes)) continue;
            // The socket stays open: closing it under the running receive thread
            // could let it read a descriptor the system hands to someone else.
            if (channel.route.essential) {
                WriteToStdout("Error : sendto\n");
                result = -1;
            } else {
                Note("discovery on " + channel.route.interfaceName + ": the request to " + DottedText(target) +
                     " was not sent");
            }
        }
    }
    return result;
}

std::uint16_t DiscoveryService::LocalPort() const {
    std::lock_guard lock(socketMutex_);
    if (channels_.empty() || !channels_.front().socket.IsOpen()) return 0;
    return channels_.front().socket.LocalPort();
}

std::vector<DiscoveryRoute> DiscoveryService::OpenRoutes() const {
    std::lock_guard lock(socketMutex_);
    std::vector<DiscoveryRoute> routes;
    for (const Channel& channel : channels_) routes.push_back(channel.route);
    return routes;
}

std::vector<std::string> DiscoveryService::Notes() const {
    std::lock_guard lock(socketMutex_);
    return notes_;
}

void DiscoveryService::StopAndWait() {
    table_.RequestStop();
    while (table_.IsReceiving()) std::this_thread::sleep_for(timing_.discoveryStopPoll);
    if (thread_.joinable()) thread_.join();
}

void DiscoveryService::ReceiveLoop(std::stop_token stopToken) {
    std::array<std::uint8_t, kDatagramBuffer> buffer;
    // The channels stay as Start made them while this thread runs.
    std::vector<const UdpSocket*> sockets;
    for (const Channel& channel : channels_) sockets.push_back(&channel.socket);
    std::vector<bool> ready;
    for (;;) {
        if (table_.StopRequested() || stopToken.stop_requested()) break;
        // Only this thread closes the sockets, so it may receive without the lock.
        const UdpSocket::ReceiveStatus waited =
            UdpSocket::WaitReadable(sockets, timing_.discoveryReceiveTimeout, ready);
        if (waited == UdpSocket::ReceiveStatus::Failed) FailReceive();
        if (waited != UdpSocket::ReceiveStatus::Data) continue;
        for (std::size_t i = 0; i < channels_.size(); ++i) {
            if (!ready[i]) continue;
            buffer.fill(0);
            const UdpSocket::Received received = channels_[i].socket.ReceiveFrom(buffer);
            if (received.status == UdpSocket::ReceiveStatus::Data) {
                HandleDatagram(std::span(buffer).first(received.size), ArrivalInterface(channels_[i], received));
            } else if (received.status == UdpSocket::ReceiveStatus::Failed) {
                if (channels_[i].route.essential) FailReceive();
                // A further interface's socket is left out from here on.
                std::lock_guard lock(socketMutex_);
                channels_[i].socket.Close();
                Note("discovery stops listening on " + channels_[i].route.interfaceName + ": a receive failed");
            }
        }
    }
    CloseAtEnd();
    table_.MarkStopped();
}

std::string DiscoveryService::ArrivalInterface(const Channel& channel, const UdpSocket::Received& received) const {
    std::string device;
    if (received.interfaceIndex != 0) {
        for (const NetworkInterface& entry : interfaces_) {
            if (entry.index == received.interfaceIndex) {
                device = std::string(DeviceName(entry.name));
                break;
            }
        }
        // A device that came up after Start: the system still knows its name.
        if (device.empty()) device = InterfaceNameOf(received.interfaceIndex);
    }
    const Ipv4Address sender{received.from.address[0], received.from.address[1], received.from.address[2],
                             received.from.address[3]};
    return ReplyInterface(interfaces_, device, sender, channel.route.interfaceName);
}

void DiscoveryService::FailReceive() {
    WriteToStdout("Error : recvfrom\n");
    {
        std::lock_guard lock(socketMutex_);
        for (Channel& channel : channels_) channel.socket.Close();
    }
    if (owner_ != nullptr) {
        owner_->ShowMessageBox({u"Network NG", u"Information", BoxIcon::Stop, BoxButtons::Ok});
    }
    EndProcess(kExitReceive);
}

void DiscoveryService::CloseAtEnd() {
    std::lock_guard lock(socketMutex_);
    bool closed = true;
    for (Channel& channel : channels_) closed = channel.socket.Close() && closed;
    if (!closed) Fail("Error : Close Socket\n", kExitCloseSocket);
}

DiscoveryService::DatagramKind DiscoveryService::HandleDatagram(std::span<const std::uint8_t> datagram,
                                                               std::string_view interfaceName) {
    const auto end = std::find(datagram.begin(), datagram.end(), std::uint8_t{0});
    const std::string_view text(reinterpret_cast<const char*>(datagram.data()),
                                static_cast<std::size_t>(end - datagram.begin()));
    if (text.find("MODEL:") != std::string_view::npos) {
        ParseAllInfo(text, interfaceName);
        return DatagramKind::AllInfo;
    }
    // Nothing this program sends is acknowledged: ACK and NAK are ignored.
    if (text.find("ACK:") != std::string_view::npos || text.find("NAK:") != std::string_view::npos) {
        return DatagramKind::Acknowledgement;
    }
    return DatagramKind::Other;
}

void DiscoveryService::ParseAllInfo(std::string_view text, std::string_view interfaceName) {
    DiscoveredCamera camera;
    ExtractField(text, "MODEL:", camera.model);
    if (!table_.IsSupportedModel(FieldText(camera.model))) return;

    // The rule set sees up to 31 characters of the serial; the slot keeps 11.
    std::array<char, 32> fullSerial{};
    ExtractField(text, "SERIAL:", fullSerial);
    if (!ns_serial_protect::IsSerialAllowed(ToWide(FieldText(fullSerial)))) return;

    ExtractField(text, "MAC:", camera.mac);
    ExtractField(text, "SERIAL:", camera.serial);
    camera.dhcp = IsFlagOn(text, "DHCP:");
    camera.dnsauto = IsFlagOn(text, "DNSAUTO:");
    std::array<char, 16> field{};
    ExtractField(text, "IPADR:", field);
    camera.ip = ParseAddressBytes(FieldText(field));
    ExtractField(text, "WEBPORT:", field);
    camera.port = ParseWebPort(FieldText(field));
    ExtractField(text, "SOFTVERSION:", camera.version);
    const std::size_t length = std::min(interfaceName.size(), camera.interfaceName.size() - 1);
    std::copy_n(interfaceName.begin(), length, camera.interfaceName.begin());

    // The slot is written whole under the table's lock; a 257th camera and a
    // reply without a MAC are dropped there.
    table_.Store(camera);
}

}  // namespace qrv
