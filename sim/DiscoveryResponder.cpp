#include "sim/DiscoveryResponder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/Camera.h"
#include "sim/EventLog.h"

namespace qrv::sim {
namespace {

constexpr std::string_view kRequest{"\x02" "ENQ:allinfo" "\xff\x03", 14};

std::string Field(std::string_view key, std::string_view value) {
    std::string field(key);
    field += value;
    field += '\xff';
    return field;
}

std::string Framed(std::string_view fields) {
    std::string datagram = "\x02";
    datagram += fields;
    datagram += '\x03';
    return datagram;
}

std::string SenderText(const sockaddr_in& sender) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(sender.sin_port));
}

std::string AddressOnly(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

}  // namespace

bool IsAllInfoRequest(std::string_view datagram) { return datagram == kRequest; }

std::vector<std::string> DiscoveryReplies(const Camera& camera) {
    const DiscoveryFacts facts = camera.Discovery();
    if (!facts.up) return {};
    const CameraSetup& setup = camera.Setup();
    const Faults& faults = setup.faults;
    if (faults.discSilent) return {};
    std::string fields = Field("MODEL:", faults.discModel.value_or(setup.model)) +
                         Field("SERIAL:", faults.discSerial.value_or(facts.serial)) + Field("MAC:", setup.mac) +
                         Field("DHCP:", faults.discDhcp.value_or(facts.dhcp ? "ON" : "OFF")) +
                         Field("DNSAUTO:", facts.dnsAuto ? "ON" : "OFF") +
                         Field("IPADR:", faults.discIpadr.value_or(setup.AddressText())) +
                         Field("WEBPORT:", faults.discWebport.value_or(std::to_string(setup.port))) +
                         Field("SOFTVERSION:", facts.version);
    if (faults.discAckInReply) fields += Field("ACK:", "allinfo");
    std::vector<std::string> replies{Framed(fields)};
    if (faults.discDuplicate) replies.push_back(replies.front());
    if (faults.discAck) replies.push_back(Framed(Field("ACK:", "allinfo")));
    if (faults.discNak) replies.push_back(Framed(Field("NAK:", "allinfo")));
    return replies;
}

DiscoveryResponder::DiscoveryResponder(std::vector<Camera*> cameras, EventLog& log, CaptureStore& capture,
                                       LocalNetwork network)
    : cameras_(std::move(cameras)), network_(std::move(network)), log_(log), capture_(capture) {
    for (const Camera* camera : cameras_) cameraInterfaces_.push_back(network_.InterfaceOf(camera->Setup().address));
}

DiscoveryResponder::~DiscoveryResponder() {
    Stop();
    if (socket_ >= 0) ::close(socket_);
    if (wake_ >= 0) ::close(wake_);
}

bool DiscoveryResponder::Start(std::string& error) {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (socket_ < 0 || wake_ < 0) {
        error = std::string("discovery socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    // Each request tells the interface it came in on and where it was sent.
    if (::setsockopt(socket_, IPPROTO_IP, IP_PKTINFO, &one, sizeof one) != 0) {
        error = std::string("discovery socket: IP_PKTINFO: ") + std::strerror(errno);
        return false;
    }
    const int buffer = 4 << 20;  // a burst of requests must not be lost while a burst of replies goes out
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    ::setsockopt(socket_, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kDiscoveryPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = std::string("cannot bind UDP port 2380: ") + std::strerror(errno);
        return false;
    }
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
    return true;
}

void DiscoveryResponder::Stop() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    const uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wake_, &one, sizeof one);
    thread_.join();
}

void DiscoveryResponder::Run(std::stop_token stop) {
    std::string datagram(2048, '\0');
    while (!stop.stop_requested()) {
        pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (stop.stop_requested()) break;
        if (!(fds[0].revents & POLLIN)) continue;
        sockaddr_in sender{};
        datagram.resize(2048);
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        iovec part{datagram.data(), datagram.size()};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(socket_, &message, MSG_DONTWAIT);
        if (n < 0) continue;
        datagram.resize(static_cast<size_t>(n));
        in_pktinfo info{};
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
                std::memcpy(&info, CMSG_DATA(header), sizeof info);
            }
        }
        Answer(datagram, sender, static_cast<unsigned>(info.ipi_ifindex), info.ipi_addr);
    }
}

void DiscoveryResponder::Answer(const std::string& datagram, const sockaddr_in& sender, unsigned arrival,
                                const in_addr& destination) {
    const std::string file = capture_.Save("discovery", datagram);
    JsonFields fields;
    fields.Str("from", SenderText(sender))
        .Str("to", arrival != 0 ? AddressOnly(destination) : std::string())
        .Str("interface", network_.NameOf(arrival))
        .Int("length", int64_t(datagram.size()))
        .Str("sha256", Sha256Hex(datagram));
    if (!file.empty()) fields.Str("capture", file);
    if (!IsAllInfoRequest(datagram)) {
        log_.Emit("discovery", "", fields.Bool("ok", false).Str("reason", "not the ENQ:allinfo request").Int("replies", 0));
        return;
    }
    // Replies go only to this host or to the segments of this namespace's
    // own interfaces (see LocalNetwork).
    if (!network_.IsAnsweredSender(ntohl(sender.sin_addr.s_addr))) {
        log_.Emit("discovery", "",
                  fields.Bool("ok", false).Str("reason", "sender outside this host and its segments").Int("replies", 0));
        return;
    }
    int sent = 0, failed = 0;
    for (size_t i = 0; i < cameras_.size(); ++i) {
        const Camera* camera = cameras_[i];
        // A camera hears only the requests that reach its own segment.
        // (Where either interface is unknown, every camera answers.)
        if (arrival != 0 && cameraInterfaces_[i] != 0 && cameraInterfaces_[i] != arrival) continue;
        for (const std::string& reply : DiscoveryReplies(*camera)) {
            // Each reply leaves from its camera's own address.
            char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
            iovec part{const_cast<char*>(reply.data()), reply.size()};
            msghdr message{};
            message.msg_name = const_cast<sockaddr_in*>(&sender);
            message.msg_namelen = sizeof sender;
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            cmsghdr* header = CMSG_FIRSTHDR(&message);
            header->cmsg_level = IPPROTO_IP;
            header->cmsg_type = IP_PKTINFO;
            header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
            in_pktinfo info{};
            info.ipi_spec_dst.s_addr = htonl(camera->Setup().address);
            std::memcpy(CMSG_DATA(header), &info, sizeof info);
            if (::sendmsg(socket_, &message, 0) == static_cast<ssize_t>(reply.size()))
                ++sent;
            else
                ++failed;
        }
    }
    log_.Emit("discovery", "", fields.Bool("ok", true).Str("reason", "").Int("replies", sent).Int("failed", failed));
}

}  // namespace qrv::sim
