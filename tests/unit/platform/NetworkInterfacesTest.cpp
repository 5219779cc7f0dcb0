// The address arithmetic of platform/NetworkInterfaces and the camera
// addresses the HTTP clients take: pure, no system call.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/HttpClient.h"
#include "platform/NetworkInterfaces.h"

namespace qrv {
namespace {

TEST(HttpEndpoint, OnlyDottedAddressesAndPortsInRangeAreTaken) {
    struct Case {
        const char* text;
        std::optional<int> port;  // nothing when refused
    };
    for (const Case& c : std::initializer_list<Case>{
             {"10.0.0.7", 80}, {"10.0.0.7:8080", 8080}, {"0.0.0.0:65535", 65535}, {"255.255.255.255:1", 1},
             {"192.168.0.10:80x", 80},  // the digits after the colon count, as the port field reads them
             {"camera.local", std::nullopt}, {"10.0.0.7:0", std::nullopt}, {"10.0.0.7:65536", std::nullopt},
             {"10.0.0.7:", std::nullopt}, {"10.0.0.256", std::nullopt}, {"10.0.0", std::nullopt},
             {"10.0.0.7.1", std::nullopt}, {"10.0.0.07", std::nullopt}, {"10.0.0.7.", std::nullopt},
             {"10..0.7", std::nullopt}, {" 10.0.0.7", std::nullopt}, {"1000.0.0.7", std::nullopt},
             {"", std::nullopt}}) {
        const std::optional<HttpEndpoint> endpoint = SplitAddress(c.text);
        ASSERT_EQ(endpoint.has_value(), c.port.has_value()) << c.text;
        if (!endpoint) continue;
        EXPECT_EQ(endpoint->port, *c.port) << c.text;
        EXPECT_EQ(endpoint->host, std::string(c.text).substr(0, std::string(c.text).find(':'))) << c.text;
    }
}

TEST(NetworkAddresses, DirectedBroadcastSetsTheHostBits) {
    struct Case {
        Ipv4Address address, netmask, broadcast;
    };
    const Case cases[] = {
        {{192, 168, 1, 10}, {255, 255, 255, 0}, {192, 168, 1, 255}},
        {{10, 201, 1, 1}, {255, 255, 255, 0}, {10, 201, 1, 255}},
        {{10, 1, 2, 3}, {255, 0, 0, 0}, {10, 255, 255, 255}},
        {{172, 16, 5, 4}, {255, 255, 240, 0}, {172, 16, 15, 255}},
        {{192, 168, 1, 129}, {255, 255, 255, 128}, {192, 168, 1, 255}},
        {{192, 168, 1, 5}, {255, 255, 255, 252}, {192, 168, 1, 7}},
        {{192, 168, 1, 5}, {255, 255, 255, 255}, {192, 168, 1, 5}},
        {{192, 168, 1, 5}, {0, 0, 0, 0}, {255, 255, 255, 255}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DirectedBroadcast(c.address, c.netmask), c.broadcast)
            << DottedText(c.address) << "/" << DottedText(c.netmask);
    }
}

TEST(NetworkAddresses, SubnetMembershipAndPrefixLength) {
    struct Case {
        Ipv4Address candidate, address, netmask;
        bool inside;
    };
    const Case cases[] = {
        {{10, 201, 1, 5}, {10, 201, 1, 1}, {255, 255, 255, 0}, true},
        {{10, 201, 2, 5}, {10, 201, 1, 1}, {255, 255, 255, 0}, false},
        {{10, 201, 2, 5}, {10, 201, 1, 1}, {255, 255, 0, 0}, true},
        {{127, 0, 0, 2}, {127, 0, 0, 1}, {255, 0, 0, 0}, true},
        {{128, 0, 0, 2}, {127, 0, 0, 1}, {255, 0, 0, 0}, false},
        {{1, 2, 3, 4}, {10, 0, 0, 1}, {0, 0, 0, 0}, true},
        {{10, 0, 0, 2}, {10, 0, 0, 1}, {255, 255, 255, 255}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InSubnet(c.candidate, c.address, c.netmask), c.inside)
            << DottedText(c.candidate) << " in " << DottedText(c.address) << "/" << DottedText(c.netmask);
    }
    const std::pair<Ipv4Address, int> prefixes[] = {
        {{0, 0, 0, 0}, 0},      {{255, 0, 0, 0}, 8},         {{255, 255, 240, 0}, 20},
        {{255, 255, 255, 0}, 24}, {{255, 255, 255, 254}, 31}, {{255, 255, 255, 255}, 32},
    };
    for (const auto& [netmask, length] : prefixes) EXPECT_EQ(PrefixLength(netmask), length) << DottedText(netmask);
}

TEST(NetworkAddresses, BroadcastTargetPrefersTheConfiguredAddress) {
    auto entry = [](Ipv4Address netmask, std::optional<Ipv4Address> broadcast, bool canBroadcast = true) {
        NetworkInterface item;
        item.name = "eth0";
        item.address = {192, 168, 1, 10};
        item.netmask = netmask;
        item.broadcast = broadcast;
        item.up = true;
        item.canBroadcast = canBroadcast;
        return item;
    };
    struct Case {
        const char* what;
        NetworkInterface entry;
        std::optional<Ipv4Address> target;
    };
    const Case cases[] = {
        {"configured", entry({255, 255, 255, 0}, Ipv4Address{192, 168, 1, 255}), Ipv4Address{192, 168, 1, 255}},
        {"configured otherwise than the mask says", entry({255, 255, 255, 0}, Ipv4Address{192, 168, 1, 127}),
         Ipv4Address{192, 168, 1, 127}},
        {"none configured: computed", entry({255, 255, 255, 0}, std::nullopt), Ipv4Address{192, 168, 1, 255}},
        {"configured 0.0.0.0: computed", entry({255, 255, 0, 0}, Ipv4Address{0, 0, 0, 0}),
         Ipv4Address{192, 168, 255, 255}},
        {"/30 computed", entry({255, 255, 255, 252}, std::nullopt), Ipv4Address{192, 168, 1, 11}},
        {"/31 has none", entry({255, 255, 255, 254}, std::nullopt), std::nullopt},
        {"/32 has none", entry({255, 255, 255, 255}, std::nullopt), std::nullopt},
        {"/32 configured as its own address", entry({255, 255, 255, 255}, Ipv4Address{192, 168, 1, 10}),
         std::nullopt},
        {"/0 has none", entry({0, 0, 0, 0}, std::nullopt), std::nullopt},
        {"cannot broadcast", entry({255, 255, 255, 0}, Ipv4Address{192, 168, 1, 255}, false), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(BroadcastTarget(c.entry), c.target) << c.what;
}

TEST(NetworkAddresses, DeviceNamesAndDottedText) {
    const std::pair<const char*, const char*> labels[] = {
        {"eth0", "eth0"}, {"eth0:1", "eth0"}, {"eth0:backup", "eth0"}, {"lo", "lo"}, {"", ""}};
    for (const auto& [label, device] : labels) EXPECT_EQ(DeviceName(label), device) << label;
    EXPECT_EQ(DottedText({0, 0, 0, 0}), "0.0.0.0");
    EXPECT_EQ(DottedText({10, 201, 1, 255}), "10.201.1.255");
    EXPECT_EQ(DottedText({255, 255, 255, 255}), "255.255.255.255");
}

}  // namespace
}  // namespace qrv
