#include "sim/LocalNetwork.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/nsfs.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace qrv::sim {
namespace {

constexpr unsigned kRouteGateway = 0x0002;  // RTF_GATEWAY

std::string ReadText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string LinkTarget(const char* path) {
    char target[256] = {};
    const ssize_t n = ::readlink(path, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// Since Linux 6.x the first network namespace has this fixed number
// (PROC_NET_INIT_INO); on older kernels no namespace has it.
constexpr const char* kFirstNetworkNamespace = "net:[4026531833]";

int ParentOf(int pid) {
    const std::string stat = ReadText(("/proc/" + std::to_string(pid) + "/stat").c_str());
    const auto close = stat.rfind(')');  // the command name may hold blanks and parentheses
    if (close == std::string::npos) return 0;
    std::istringstream rest(stat.substr(close + 1));
    std::string state;
    int parent = 0;
    rest >> state >> parent;
    return parent;
}

// Whether a process this one descends from is in another network namespace:
// this namespace was then made below it (entering the machine's own network
// again would take the privilege over it, and a deliberate nsenter).
bool AncestorElsewhere(const std::string& own) {
    int pid = ::getppid();
    for (int step = 0; pid > 1 && step < 64; ++step) {
        const std::string theirs = LinkTarget(("/proc/" + std::to_string(pid) + "/ns/net").c_str());
        if (theirs.empty()) return false;
        if (theirs != own) return true;
        pid = ParentOf(pid);
    }
    return false;
}

// Whether the namespace is owned by a user namespace other than the first
// one: it was then made inside that user namespace, so it is not the
// machine's own network.
bool OwnedByLaterUserNamespace() {
    const int net = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    if (net < 0) return false;
    const int owner = ::ioctl(net, NS_GET_USERNS);
    ::close(net);
    if (owner < 0) return false;
    struct stat ownerInfo {}, userInfo {};
    const bool known = ::fstat(owner, &ownerInfo) == 0 && ::stat("/proc/self/ns/user", &userInfo) == 0;
    ::close(owner);
    if (!known || ownerInfo.st_ino != userInfo.st_ino || ownerInfo.st_dev != userInfo.st_dev) return false;
    std::istringstream map(ReadText("/proc/self/uid_map"));
    std::string inside, outside, count;
    map >> inside >> outside >> count;
    const bool firstUserNamespace = inside == "0" && outside == "0" && count == "4294967295";
    return !count.empty() && !firstUserNamespace;
}

// Whether this network namespace is the machine's own (the first one, or the
// one process 1 is in) or one apart from it.
NetworkFacts::Namespace WhichNamespace() {
    const std::string own = LinkTarget("/proc/self/ns/net");
    if (own.empty()) return NetworkFacts::Namespace::Unknown;
    if (own == kFirstNetworkNamespace) return NetworkFacts::Namespace::MachineOwn;
    const std::string first = LinkTarget("/proc/1/ns/net");
    if (!first.empty()) {
        return own == first ? NetworkFacts::Namespace::MachineOwn : NetworkFacts::Namespace::Separate;
    }
    // Process 1 cannot be looked at (no privilege over it).
    if (OwnedByLaterUserNamespace() || AncestorElsewhere(own)) return NetworkFacts::Namespace::Separate;
    return NetworkFacts::Namespace::Unknown;
}

NetworkFacts::Link ReadLink(int probe, const std::string& name) {
    NetworkFacts::Link link;
    link.name = name;
    ifreq request{};
    std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    if (::ioctl(probe, SIOCGIFFLAGS, &request) == 0) link.loopback = (request.ifr_flags & IFF_LOOPBACK) != 0;
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    request.ifr_data = reinterpret_cast<char*>(&info);
    if (::ioctl(probe, SIOCETHTOOL, &request) == 0) {
        link.driver.assign(info.driver, ::strnlen(info.driver, sizeof info.driver));
    }
    return link;
}

uint32_t HostOrder(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET) return 0;
    return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

bool IsLoopbackAddress(uint32_t address) { return (address >> 24) == 127; }

}  // namespace

bool JudgeNetwork(const NetworkFacts& facts, std::string& reason) {
    std::string names;
    bool onlyLo = true;
    for (const auto& link : facts.links) {
        names += (names.empty() ? "" : " ") + link.name;
        if (link.name != "lo") onlyLo = false;
    }
    if (facts.links.empty()) {
        reason = "the network interfaces cannot be listed";
        return false;
    }
    if (onlyLo) return true;
    if (facts.space != NetworkFacts::Namespace::Separate) {
        reason = "this network has interfaces other than lo (" + names + ") and " +
                 (facts.space == NetworkFacts::Namespace::MachineOwn
                      ? std::string("is the machine's own network")
                      : std::string("is not known to be a namespace apart from the machine's own network"));
        return false;
    }
    for (const auto& link : facts.links) {
        if (link.name == "lo" && link.loopback) continue;
        if (link.driver != "veth") {
            reason = "this network has interfaces other than lo (" + names + ") and " + link.name +
                     " is not a veth link (driver '" + link.driver + "')";
            return false;
        }
    }
    std::istringstream lines(facts.routes);
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device, destination, gateway, flags, refs, use, metric, mask;
        if (!(fields >> device >> destination >> gateway >> flags >> refs >> use >> metric >> mask)) continue;
        const unsigned long flagBits = std::strtoul(flags.c_str(), nullptr, 16);
        if (flagBits & kRouteGateway) {
            reason = "this network has a route through a gateway (on " + device + ")";
            return false;
        }
        const bool isDefault = std::strtoul(destination.c_str(), nullptr, 16) == 0 &&
                               std::strtoul(mask.c_str(), nullptr, 16) == 0;
        if (isDefault && device != "lo") {
            reason = "this network has a default route off lo (on " + device + ")";
            return false;
        }
    }
    return true;
}

LocalNetwork::LocalNetwork(NetworkFacts facts, std::vector<LocalAddress> addresses)
    : facts_(std::move(facts)), addresses_(std::move(addresses)) {}

LocalNetwork LocalNetwork::Read() {
    NetworkFacts facts;
    if (struct if_nameindex* list = ::if_nameindex()) {
        const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        for (const struct if_nameindex* entry = list; entry->if_index != 0; ++entry) {
            facts.links.push_back(ReadLink(probe, entry->if_name));
        }
        if (probe >= 0) ::close(probe);
        ::if_freenameindex(list);
    }
    facts.routes = ReadText("/proc/self/net/route");
    facts.space = WhichNamespace();

    std::vector<LocalAddress> addresses;
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) == 0) {
        for (const ifaddrs* entry = all; entry != nullptr; entry = entry->ifa_next) {
            if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
            LocalAddress item;
            item.interface = entry->ifa_name;
            item.interface = item.interface.substr(0, item.interface.find(':'));  // a label's device
            item.index = ::if_nametoindex(item.interface.c_str());
            item.address = HostOrder(entry->ifa_addr);
            item.netmask = HostOrder(entry->ifa_netmask);
            item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
            addresses.push_back(std::move(item));
        }
        ::freeifaddrs(all);
    }
    return LocalNetwork(std::move(facts), std::move(addresses));
}

std::string LocalNetwork::LinkNames() const {
    std::string names;
    for (const auto& link : facts_.links) names += (names.empty() ? "" : " ") + link.name;
    return names;
}

bool LocalNetwork::MayHold(uint32_t address) const {
    if (IsLoopbackAddress(address)) return true;
    for (const auto& entry : addresses_) {
        if (!entry.loopback && entry.address == address) return true;
    }
    return false;
}

unsigned LocalNetwork::InterfaceOf(uint32_t address) const {
    for (const auto& entry : addresses_) {
        if (IsLoopbackAddress(address) ? entry.loopback : (!entry.loopback && entry.address == address)) {
            return entry.index;
        }
    }
    return 0;
}

bool LocalNetwork::IsAnsweredSender(uint32_t sender) const {
    if (sender == 0 || IsLoopbackAddress(sender)) return true;
    for (const auto& entry : addresses_) {
        if (!entry.loopback && entry.netmask != 0 && (sender & entry.netmask) == (entry.address & entry.netmask)) {
            return true;
        }
    }
    return false;
}

std::string LocalNetwork::NameOf(unsigned index) const {
    for (const auto& entry : addresses_) {
        if (entry.index == index) return entry.interface;
    }
    char name[IF_NAMESIZE] = {};
    if (index != 0 && ::if_indextoname(index, name) != nullptr) return name;
    return {};
}

}  // namespace qrv::sim
