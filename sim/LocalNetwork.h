#pragma once
// The network the simulator runs in, and whether it may run there at all.
// Simulated cameras answer broadcasts, so the simulator runs only where
// nothing it sends can leave the machine:
//   - a network namespace whose only interface is lo (as
//     scripts/run-in-private-network makes), or
//   - a network namespace that is known not to be the one of process 1 (the
//     machine's own network), whose every other interface is a veth link (the
//     pairs a test makes between namespaces of its own), and that has no
//     route through a gateway and no default route but on lo.
// In the second kind, cameras may also live on the addresses of those veth
// interfaces, and senders on their subnets are answered.
#include <cstdint>
#include <string>
#include <vector>

namespace qrv::sim {

// What the simulator reads of its network namespace.
struct NetworkFacts {
    struct Link {
        std::string name;
        bool loopback = false;
        std::string driver;  // as ethtool tells it ("veth"); empty when unknown
    };
    enum class Namespace { Unknown, MachineOwn, Separate };

    std::vector<Link> links;
    std::string routes;  // the text of /proc/net/route (this namespace's main table)
    Namespace space = Namespace::Unknown;
};

// Pure: whether the simulator may run on this network; when not, `reason`
// says why in one line.
bool JudgeNetwork(const NetworkFacts& facts, std::string& reason);

// One IPv4 address of one interface of the namespace.
struct LocalAddress {
    std::string interface;  // the device name
    unsigned index = 0;     // the device's index
    uint32_t address = 0;   // host byte order
    uint32_t netmask = 0;
    bool loopback = false;
};

class LocalNetwork {
public:
    // Reads the current namespace: links, routes, addresses, which namespace.
    static LocalNetwork Read();
    // Builds one from given facts (for tests).
    LocalNetwork(NetworkFacts facts, std::vector<LocalAddress> addresses);

    bool IsPrivate(std::string& reason) const { return JudgeNetwork(facts_, reason); }
    // The links' names separated by blanks.
    std::string LinkNames() const;
    const std::vector<LocalAddress>& Addresses() const { return addresses_; }

    // Whether a camera may live on `address`: any 127.x.y.z, or an address
    // that one of the namespace's other interfaces holds.
    bool MayHold(uint32_t address) const;
    // The index of the interface a camera on `address` is on: lo's for
    // 127.x.y.z, else the interface that holds it; 0 when none.
    unsigned InterfaceOf(uint32_t address) const;
    // Whether a discovery sender is answered: one on this host (127.0.0.0/8,
    // or 0.0.0.0 as a broadcast from an unbound socket shows), or one inside
    // the subnet of an address of the namespace's other interfaces.
    bool IsAnsweredSender(uint32_t sender) const;
    // The device name of an interface index; empty when unknown.
    std::string NameOf(unsigned index) const;

private:
    NetworkFacts facts_;
    std::vector<LocalAddress> addresses_;
};

}  // namespace qrv::sim
