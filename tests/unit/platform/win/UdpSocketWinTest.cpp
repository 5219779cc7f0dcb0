// UDP over Winsock on 127.0.0.1 (unicast only; nothing is broadcast here):
// datagrams and their sender, cut datagrams, time-outs, waiting on several
// sockets, and the interface list.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/NetworkInterfaces.h"
#include "platform/UdpSocket.h"

namespace qrv {
namespace {

using namespace std::chrono_literals;

UdpSocket BoundToLoopback() {
    UdpSocket socket;
    EXPECT_TRUE(socket.Open());
    EXPECT_TRUE(socket.Bind(Ipv4Endpoint::Loopback(0)));
    EXPECT_NE(socket.LocalPort(), 0);
    return socket;
}

TEST(WinsockUdp, DatagramsArriveWithTheirSenderCutToTheBufferOrTimeOut) {
    UdpSocket receiver = BoundToLoopback();
    UdpSocket sender = BoundToLoopback();
    ASSERT_TRUE(receiver.SetReceiveTimeout(50ms));
    ASSERT_TRUE(receiver.SetReceiveBuffer(1 << 20));
    EXPECT_GT(receiver.ReceiveBufferSize(), 0);
    EXPECT_TRUE(sender.EnableBroadcast());
    receiver.EnablePacketInfo();

    const std::vector<std::uint8_t> datagram = {'Q', 'R', 'V', 0, 1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(sender.SendTo(Ipv4Endpoint::Loopback(receiver.LocalPort()), datagram));
    std::vector<std::uint8_t> buffer(64);
    UdpSocket::Received got = receiver.ReceiveFrom(buffer);
    ASSERT_EQ(got.status, UdpSocket::ReceiveStatus::Data);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + got.size), datagram);
    EXPECT_EQ(got.from.port, sender.LocalPort());
    EXPECT_EQ(std::vector<std::uint8_t>(got.from.address, got.from.address + 4), (std::vector<std::uint8_t>{127, 0, 0, 1}));

    ASSERT_TRUE(sender.SendTo(Ipv4Endpoint::Loopback(receiver.LocalPort()), datagram));
    std::vector<std::uint8_t> small(5);
    got = receiver.ReceiveFrom(small);
    ASSERT_EQ(got.status, UdpSocket::ReceiveStatus::Data) << "a longer datagram is cut, not lost";
    EXPECT_EQ(got.size, 5u);
    EXPECT_EQ(small, (std::vector<std::uint8_t>{'Q', 'R', 'V', 0, 1}));

    EXPECT_EQ(receiver.ReceiveFrom(buffer).status, UdpSocket::ReceiveStatus::TimedOut);
    EXPECT_TRUE(receiver.Close());
    EXPECT_FALSE(receiver.IsOpen());
}

TEST(WinsockUdp, WaitReadableTellsWhichSocketHasData) {
    UdpSocket first = BoundToLoopback();
    UdpSocket second = BoundToLoopback();
    UdpSocket closed;
    const std::vector<const UdpSocket*> sockets = {&first, &closed, &second};
    std::vector<bool> ready;
    EXPECT_EQ(UdpSocket::WaitReadable(sockets, 20ms, ready), UdpSocket::ReceiveStatus::TimedOut);

    UdpSocket sender = BoundToLoopback();
    const std::vector<std::uint8_t> datagram = {1, 2, 3};
    ASSERT_TRUE(sender.SendTo(Ipv4Endpoint::Loopback(second.LocalPort()), datagram));
    ASSERT_EQ(UdpSocket::WaitReadable(sockets, 5s, ready), UdpSocket::ReceiveStatus::Data);
    EXPECT_EQ(ready, (std::vector<bool>{false, false, true}));
}

TEST(WindowsInterfaces, TheListNamesEachInterfaceAsItsIndexDoes) {
    const std::vector<NetworkInterface> list = ListIpv4Interfaces();
    for (const NetworkInterface& entry : list) {
        SCOPED_TRACE(entry.name);
        EXPECT_FALSE(entry.name.empty());
        if (entry.index != 0) {
            EXPECT_EQ(InterfaceNameOf(entry.index), entry.name);
        }
        if (entry.loopback) {
            EXPECT_FALSE(BroadcastTarget(entry));
        }
    }
    EXPECT_EQ(InterfaceNameOf(0), "");
}

}  // namespace
}  // namespace qrv
