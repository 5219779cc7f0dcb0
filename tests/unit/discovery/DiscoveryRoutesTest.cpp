// Which sockets discovery opens and where each request goes, chosen from a
// list of interfaces; and which interface a reply is credited to. No network.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "discovery/DiscoveryRoutes.h"

namespace qrv {
namespace {

struct Flags {
    bool up = true;
    bool loopback = false;
    bool canBroadcast = true;
};

NetworkInterface Entry(const char* name, Ipv4Address address, Ipv4Address netmask,
                       std::optional<Ipv4Address> broadcast, Flags flags = {}) {
    NetworkInterface entry;
    entry.name = name;
    entry.address = address;
    entry.netmask = netmask;
    entry.broadcast = broadcast;
    entry.up = flags.up;
    entry.loopback = flags.loopback;
    entry.canBroadcast = flags.canBroadcast;
    return entry;
}

const NetworkInterface kLo = Entry("lo", {127, 0, 0, 1}, {255, 0, 0, 0}, std::nullopt, {true, true, false});
const NetworkInterface kEth0 = Entry("eth0", {192, 168, 1, 10}, {255, 255, 255, 0}, Ipv4Address{192, 168, 1, 255});
const NetworkInterface kEth0Alias =
    Entry("eth0:1", {10, 9, 0, 10}, {255, 255, 0, 0}, Ipv4Address{10, 9, 255, 255});
const NetworkInterface kEth1NoBroadcastConfigured =
    Entry("eth1", {172, 16, 5, 4}, {255, 255, 240, 0}, std::nullopt);
const NetworkInterface kEth2Down =
    Entry("eth2", {10, 201, 3, 1}, {255, 255, 255, 0}, Ipv4Address{10, 201, 3, 255}, {false, false, true});
const NetworkInterface kTun0 = Entry("tun0", {10, 8, 0, 2}, {255, 255, 255, 255}, std::nullopt, {true, false, false});
const NetworkInterface kPointToPoint31 = Entry("p2p0", {10, 7, 0, 0}, {255, 255, 255, 254}, std::nullopt);

const DiscoveryRoute kMain{"", "", {0, 0, 0, 0}, {0, 0, 0, 0}, {kLimitedBroadcast}, true};

DiscoveryRoute Directed(const NetworkInterface& entry, Ipv4Address target) {
    return DiscoveryRoute{entry.name, "", entry.address, entry.netmask, {target}, false};
}

DiscoveryRoute Only(const NetworkInterface& entry, const char* device, std::vector<Ipv4Address> targets) {
    return DiscoveryRoute{entry.name, device, entry.address, entry.netmask, std::move(targets), true};
}

TEST(DiscoveryRoutes, EveryInterfaceThatIsUpNotLoopbackAndCanBroadcastBesidesTheMainSocket) {
    struct Case {
        const char* what;
        std::vector<NetworkInterface> interfaces;
        std::vector<DiscoveryRoute> routes;
    };
    const Case cases[] = {
        {"no interface at all: the main socket alone", {}, {kMain}},
        {"only loopback", {kLo}, {kMain}},
        {"one Ethernet", {kLo, kEth0}, {kMain, Directed(kEth0, {192, 168, 1, 255})}},
        {"an alias is a socket of its own",
         {kLo, kEth0, kEth0Alias},
         {kMain, Directed(kEth0, {192, 168, 1, 255}), Directed(kEth0Alias, {10, 9, 255, 255})}},
        {"no broadcast address configured: computed from the mask",
         {kEth1NoBroadcastConfigured},
         {kMain, Directed(kEth1NoBroadcastConfigured, {172, 16, 15, 255})}},
        {"down: left out", {kLo, kEth2Down, kEth0}, {kMain, Directed(kEth0, {192, 168, 1, 255})}},
        {"cannot broadcast (tun): left out", {kTun0, kEth0}, {kMain, Directed(kEth0, {192, 168, 1, 255})}},
        {"a /31 has no broadcast address: left out", {kPointToPoint31}, {kMain}},
        {"an interface without an address yet: left out",
         {Entry("eth3", {0, 0, 0, 0}, {0, 0, 0, 0}, std::nullopt)},
         {kMain}},
    };
    for (const Case& c : cases) {
        const DiscoveryRoutePlan plan = PlanDiscoveryRoutes(c.interfaces, {});
        EXPECT_EQ(plan.error, "") << c.what;
        EXPECT_EQ(plan.routes, c.routes) << c.what;
    }
}

TEST(DiscoveryRoutes, OneInterfaceSendsBothBroadcastsFromItsAddressOnly) {
    const std::vector<NetworkInterface> all = {kLo, kEth0, kEth0Alias, kEth1NoBroadcastConfigured, kEth2Down, kTun0};
    struct Case {
        const char* name;
        std::vector<DiscoveryRoute> routes;
        std::string error;
    };
    const Case cases[] = {
        {"eth1", {Only(kEth1NoBroadcastConfigured, "eth1", {{172, 16, 15, 255}, kLimitedBroadcast})}, ""},
        {"eth0",
         {Only(kEth0, "eth0", {{192, 168, 1, 255}, kLimitedBroadcast}),
          Only(kEth0Alias, "eth0", {{10, 9, 255, 255}, kLimitedBroadcast})},
         ""},
        {"eth0:1", {Only(kEth0Alias, "eth0", {{10, 9, 255, 255}, kLimitedBroadcast})}, ""},
        {"lo", {Only(kLo, "lo", {kLimitedBroadcast})}, ""},
        {"tun0", {Only(kTun0, "tun0", {kLimitedBroadcast})}, ""},
        {"eth2", {}, "the network interface 'eth2' is down"},
        {"eth9", {},
         "no network interface with an IPv4 address is named 'eth9' (there are: lo, eth0, eth0:1, eth1, eth2, tun0)"},
        {"eth", {},
         "no network interface with an IPv4 address is named 'eth' (there are: lo, eth0, eth0:1, eth1, eth2, tun0)"},
    };
    for (const Case& c : cases) {
        const DiscoveryRoutePlan plan = PlanDiscoveryRoutes(all, DiscoveryScope{c.name});
        EXPECT_EQ(plan.error, c.error) << c.name;
        EXPECT_EQ(plan.routes, c.routes) << c.name;
    }
    EXPECT_EQ(PlanDiscoveryRoutes({}, DiscoveryScope{"eth0"}).error,
              "no network interface with an IPv4 address is named 'eth0' (there are: none)");
}

TEST(DiscoveryRoutes, AReplyIsCreditedToItsArrivalThenToTheSubnetOfItsSenderThenToItsSocket) {
    // eth2 (down) holds 10.201.3.1.
    const std::vector<NetworkInterface> all = {kLo, kEth0, kEth0Alias, kEth2Down};
    struct Case {
        const char* what;
        const char* arrival;
        Ipv4Address sender;
        const char* socket;
        const char* credited;
    };
    const Case cases[] = {
        {"the system said", "eth7", {192, 168, 1, 20}, "eth0", "eth7"},
        {"the system said, sender in no local subnet", "eth0", {8, 8, 8, 8}, "", "eth0"},
        {"from this host's loopback: credited to the sender's subnet", "eth0", {127, 0, 0, 2}, "", "lo"},
        {"from one of this host's addresses", "lo", {10, 9, 0, 10}, "", "eth0"},
        {"from this host, in no up subnet: the arrival", "eth0", {10, 201, 3, 1}, "", "eth0"},
        {"sender on eth0's subnet", "", {192, 168, 1, 20}, "", "eth0"},
        {"sender on the alias's subnet: its device", "", {10, 9, 3, 4}, "", "eth0"},
        {"sender on loopback", "", {127, 0, 0, 2}, "", "lo"},
        {"a subnet of an interface that is down does not count", "", {10, 201, 3, 5}, "eth0", "eth0"},
        {"sender elsewhere: the socket's interface", "", {8, 8, 8, 8}, "eth0:1", "eth0"},
        {"sender elsewhere on the main socket: unknown", "", {8, 8, 8, 8}, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReplyInterface(all, c.arrival, c.sender, c.socket), c.credited) << c.what;
    }
}

}  // namespace
}  // namespace qrv
