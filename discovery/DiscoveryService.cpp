#include "discovery/DiscoveryService.h"

#include <algorithm>

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

DiscoveryService::DiscoveryService(DiscoveryTable& table, OwnerPort* owner, const Timing& timing)
    : table_(table), owner_(owner), timing_(timing) {}

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
    std::lock_guard lock(socketMutex_);
    if (thread_.joinable() || socket_.IsOpen()) return;  // one discovery per service
    if (!socket_.Open()) Fail("Error : Create Socket\n", kExitCreateSocket);
    socket_.EnableBroadcast();  // without it only the send fails, and says so
    if (!socket_.SetReceiveTimeout(timing_.discoveryReceiveTimeout)) {
        socket_.Close();
        Fail("Error : Set Socket Option\n", kExitSetOption);
    }
    // Best effort: the system caps it, and a smaller buffer only risks losing
    // replies of a very large burst.
    socket_.SetReceiveBuffer(kReceiveBufferBytes);
    if (!socket_.BindAny(0)) {
        socket_.Close();
        Fail("Error : Bind\n", kExitBind);
    }
    table_.MarkReceiving();
    thread_ = std::jthread([this](std::stop_token token) { ReceiveLoop(std::move(token)); });
}

int DiscoveryService::SendRequest(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(socketMutex_);
    if (!socket_.IsOpen()) return -1;  // never started, or discovery has ended
    if (!socket_.SendTo(Ipv4Endpoint::Broadcast(kPort), bytes)) {
        // The socket stays open: closing it under the running receive thread
        // could let it read a descriptor the system hands to someone else.
        WriteToStdout("Error : sendto\n");
        return -1;
    }
    return 0;
}

std::uint16_t DiscoveryService::LocalPort() const {
    std::lock_guard lock(socketMutex_);
    return socket_.IsOpen() ? socket_.LocalPort() : 0;
}

void DiscoveryService::StopAndWait() {
    table_.RequestStop();
    while (table_.IsReceiving()) std::this_thread::sleep_for(timing_.discoveryStopPoll);
    if (thread_.joinable()) thread_.join();
}

void DiscoveryService::ReceiveLoop(std::stop_token stopToken) {
    std::array<std::uint8_t, kDatagramBuffer> buffer;
    for (;;) {
        buffer.fill(0);
        if (table_.StopRequested() || stopToken.stop_requested()) break;
        // Only this thread closes the socket, so it may receive without the lock.
        const UdpSocket::Received received = socket_.ReceiveFrom(buffer);
        if (received.status == UdpSocket::ReceiveStatus::Data) {
            HandleDatagram(std::span(buffer).first(received.size));
        } else if (received.status == UdpSocket::ReceiveStatus::Failed) {
            FailReceive();
        }
    }
    CloseAtEnd();
    table_.MarkStopped();
}

void DiscoveryService::FailReceive() {
    WriteToStdout("Error : recvfrom\n");
    {
        std::lock_guard lock(socketMutex_);
        socket_.Close();
    }
    if (owner_ != nullptr) {
        owner_->ShowMessageBox({u"Network NG", u"Information", BoxIcon::Stop, BoxButtons::Ok});
    }
    EndProcess(kExitReceive);
}

void DiscoveryService::CloseAtEnd() {
    std::lock_guard lock(socketMutex_);
    if (!socket_.Close()) Fail("Error : Close Socket\n", kExitCloseSocket);
}

DiscoveryService::DatagramKind DiscoveryService::HandleDatagram(std::span<const std::uint8_t> datagram) {
    const auto end = std::find(datagram.begin(), datagram.end(), std::uint8_t{0});
    const std::string_view text(reinterpret_cast<const char*>(datagram.data()),
                                static_cast<std::size_t>(end - datagram.begin()));
    if (text.find("MODEL:") != std::string_view::npos) {
        ParseAllInfo(text);
        return DatagramKind::AllInfo;
    }
    // Nothing this program sends is acknowledged: ACK and NAK are ignored.
    if (text.find("ACK:") != std::string_view::npos || text.find("NAK:") != std::string_view::npos) {
        return DatagramKind::Acknowledgement;
    }
    return DatagramKind::Other;
}

void DiscoveryService::ParseAllInfo(std::string_view text) {
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

    // The slot is written whole under the table's lock; a 257th camera and a
    // reply without a MAC are dropped there.
    table_.Store(camera);
}

}  // namespace qrv
