// The discovery window on a real socket inside the private network: what goes
// on the wire, how the window ends, and what a failed send leaves behind.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "discovery/DiscoveryWindow.h"
#include "platform/HeadlessOwner.h"
#include "tests/integration/discovery/UdpPeer.h"
#include "tests/unit/discovery/DatagramBuilder.h"

namespace qrv {
namespace {

using namespace std::chrono_literals;

const std::vector<std::uint8_t> kRequest = {0x02, 0x45, 0x4E, 0x51, 0x3A, 0x61, 0x6C,
                                            0x6C, 0x69, 0x6E, 0x66, 0x6F, 0xFF, 0x03};

Timing FastWindow() {
    Timing timing = Timing::Production();
    timing.discoveryTick = 300ms;
    return timing;
}

class DiscoveryWire : public ::testing::Test {
protected:
    void SetUp() override {
        owner.SetTimerHandler([this](int id) { window.OnTimer(id); });
        ASSERT_TRUE(listener.Ok()) << "nothing else may listen on port 2380 here";
    }

    DiscoveryTable table{{"QRV-K7", "QRV-K7N", "QRV-K7P"}};
    HeadlessOwner owner;
    DiscoveryWindow window{table, owner, FastWindow()};
    // Stands where the cameras' responders listen.
    test::UdpPeer listener{Ipv4Endpoint{{0, 0, 0, 0}, 2380}};
};

TEST_F(DiscoveryWire, TheRequestGoesOutAtTheStartAndOnTheFirstTickOnly) {
    window.Begin();
    const auto first = listener.Receive(2s);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->bytes, kRequest);
    EXPECT_EQ(first->from.port, window.Service().LocalPort());
    EXPECT_NE(first->from.port, 2380) << "sent from an ephemeral port";
    EXPECT_EQ(owner.RunningTimers(), (std::map<int, int>{{DiscoveryWindow::kTimerId, 300}}));

    ASSERT_TRUE(owner.RunUntil([&] { return window.Ticks() == 1; }, 5s));
    const auto second = listener.Receive(2s);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->bytes, kRequest);
    EXPECT_EQ(second->from.port, first->from.port);

    ASSERT_TRUE(owner.RunUntil([&] { return window.HasEnded(); }, 5s));
    EXPECT_EQ(window.Ticks(), 2);
    EXPECT_FALSE(owner.IsTimerRunning(DiscoveryWindow::kTimerId));
    EXPECT_FALSE(table.StopRequested()) << "the thread clears the flag on its way out";
    EXPECT_FALSE(listener.Receive(500ms).has_value()) << "no request after the window";
    EXPECT_EQ(window.Service().SendRequest(), -1) << "the socket is closed once discovery ended";
}

TEST_F(DiscoveryWire, RepliesLandWhileTheWindowRunsAndNotAfterIt) {
    window.Begin();
    const auto request = listener.Receive(2s);
    ASSERT_TRUE(request.has_value());
    test::UdpPeer camera{Ipv4Endpoint{{127, 0, 0, 2}, 0}};
    ASSERT_TRUE(camera.Send(request->from.port, test::CameraReply("00:80:45:00:00:01")));
    ASSERT_TRUE(owner.RunUntil([&] { return table.Count() == 1; }, 5s));
    // A refresh from the same camera, carrying other values: one slot, the last reply wins.
    ASSERT_TRUE(camera.Send(request->from.port, test::Framed({{"MODEL:", "QRV-K7P"},
                                                              {"SERIAL:", "2000002"},
                                                              {"MAC:", "00:80:45:00:00:01"},
                                                              {"SOFTVERSION:", "1.30"}})));
    ASSERT_TRUE(owner.RunUntil([&] { return FieldText(table.Snapshot()[0].version) == "1.30"; }, 5s));
    EXPECT_EQ(table.Count(), 1);
    EXPECT_EQ(FieldText(table.Snapshot()[0].model), "QRV-K7P");

    window.StopAndWait();
    ASSERT_TRUE(camera.Send(request->from.port, test::CameraReply("00:80:45:00:00:02")));
    owner.RunFor(100ms);
    EXPECT_EQ(table.Count(), 1);
}

TEST_F(DiscoveryWire, StoppingEarlyEndsTheThreadAndIsSafeToRepeat) {
    window.StopAndWait();  // before Begin: nothing to stop
    EXPECT_FALSE(window.IsRunning());
    window.Begin();
    EXPECT_TRUE(window.IsRunning());
    window.StopAndWait();
    EXPECT_FALSE(window.IsRunning());
    EXPECT_TRUE(window.HasEnded());
    EXPECT_FALSE(owner.IsTimerRunning(DiscoveryWindow::kTimerId));
    EXPECT_FALSE(table.StopRequested());
    window.StopAndWait();
    EXPECT_FALSE(window.IsRunning());
}

TEST_F(DiscoveryWire, AFailedSendIsReportedAndDiscoveryGoesOn) {
    window.Begin();
    ASSERT_TRUE(listener.Receive(2s).has_value());
    const std::vector<std::uint8_t> tooLarge(70000, 0x41);  // more than one UDP datagram holds
    testing::internal::CaptureStdout();
    const int result = window.Service().SendRequest(tooLarge);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error : sendto\n");
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(window.IsRunning());

    // The same socket still sends and receives.
    ASSERT_EQ(window.Service().SendRequest(), 0);
    const auto request = listener.Receive(2s);
    ASSERT_TRUE(request.has_value());
    test::UdpPeer camera{Ipv4Endpoint{{127, 0, 0, 3}, 0}};
    ASSERT_TRUE(camera.Send(request->from.port, test::CameraReply("00:80:45:00:00:03")));
    ASSERT_TRUE(owner.RunUntil([&] { return table.Count() == 1; }, 5s));
    ASSERT_TRUE(owner.RunUntil([&] { return window.HasEnded(); }, 5s));
}

}  // namespace
}  // namespace qrv
