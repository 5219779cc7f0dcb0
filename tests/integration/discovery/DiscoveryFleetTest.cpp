// Discovery against the simulated camera fleet inside the private network:
// which cameras end up in the table, in which slots, with which values.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "discovery/DiscoveryWindow.h"
#include "engine/FirmwarePackage.h"
#include "platform/HeadlessOwner.h"
#include "serial_protect/SerialRules.h"
#include "tests/integration/discovery/UdpPeer.h"
#include "tests/support/SimProcess.h"
#include "tests/unit/discovery/DatagramBuilder.h"

namespace qrv {
namespace {

using namespace std::chrono_literals;
using test::SimProcess;

ModelList ProductModels() {
    FirmwarePackage package;
    package.LoadModelList();
    return package.Models();
}

// One discovery window run to its end by its timer, as the wizard runs it,
// only with a short tick.
class Discovery {
public:
    explicit Discovery(std::chrono::milliseconds tick = 250ms) : table_(ProductModels()) {
        Timing timing = Timing::Production();
        timing.discoveryTick = tick;
        window_ = std::make_unique<DiscoveryWindow>(table_, owner_, timing);
        owner_.SetTimerHandler([this](int id) { window_->OnTimer(id); });
    }
    void Begin() { window_->Begin(); }
    bool RunToEnd() { return owner_.RunUntil([this] { return window_->HasEnded(); }, 10s); }
    bool RunUntilCount(int count) {
        return owner_.RunUntil([&] { return table_.Count() >= count || window_->HasEnded(); }, 10s) &&
               table_.Count() == count;
    }
    std::vector<DiscoveredCamera> Run() {
        Begin();
        EXPECT_TRUE(RunToEnd());
        return table_.Snapshot();
    }
    DiscoveryTable& Table() { return table_; }
    DiscoveryWindow& Window() { return *window_; }

private:
    DiscoveryTable table_;
    HeadlessOwner owner_;
    std::unique_ptr<DiscoveryWindow> window_;
};

std::string Text(const DiscoveredCamera& camera) {
    return std::string(FieldText(camera.mac)) + " " + AddressText(camera) + " " +
           std::string(FieldText(camera.model)) + " " + std::string(FieldText(camera.serial)) + " " +
           std::string(FieldText(camera.version)) + " dhcp=" + std::to_string(camera.dhcp) +
           " dnsauto=" + std::to_string(camera.dnsauto);
}

std::vector<std::string> Texts(const std::vector<DiscoveredCamera>& cameras) {
    std::vector<std::string> texts;
    for (const auto& camera : cameras) texts.push_back(Text(camera));
    return texts;
}

std::vector<test::SimEvent> DiscoveryEvents(const SimProcess& sim) {
    std::vector<test::SimEvent> events;
    for (const auto& event : sim.Events()) {
        if (event.kind == "discovery") events.push_back(event);
    }
    return events;
}

class DiscoveryFleet : public ::testing::Test {
protected:
    void TearDown() override { ns_serial_protect::InitSerialRules(); }
};

TEST_F(DiscoveryFleet, EachWindowSendsTheFourteenByteRequestTwiceFromOnePort) {
    SimProcess sim("127.0.0.2 mac=02:00:00:00:00:01\n");
    Discovery discovery;
    EXPECT_EQ(discovery.Run().size(), 1u);
    const auto events = DiscoveryEvents(sim);
    ASSERT_EQ(events.size(), 2u) << "at the start and at the first tick, never after the window";
    for (const auto& event : events) {
        EXPECT_EQ(event.Field("length"), "14");
        EXPECT_EQ(event.Field("ok"), "true") << event.Field("reason");
        std::ifstream capture(sim.CaptureDir() + "/" + event.capture, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(capture), {}};
        EXPECT_EQ(bytes, std::string("\x02" "ENQ:allinfo\xFF\x03", 14));
    }
    EXPECT_EQ(events[0].Field("from"), events[1].Field("from"));
}

TEST_F(DiscoveryFleet, CamerasFillTheSlotsInTheOrderTheyAnswer) {
    SimProcess sim(
        "127.0.0.2 model=QRV-K7 serial=2000001 mac=02:00:00:00:00:01 version=1.20 dhcp=off dnsauto=off\n"
        "127.0.0.3:8080 model=QRV-K7N serial=2000002 mac=02:00:00:00:00:02 version=1.21 dhcp=on dnsauto=off\n"
        "127.0.0.4 model=QRV-K7P serial=2000003 mac=02:00:00:00:00:03 version=1.30 dhcp=off dnsauto=on\n");
    Discovery discovery;
    EXPECT_EQ(Texts(discovery.Run()),
              (std::vector<std::string>{
                  "02:00:00:00:00:01 127.0.0.2 QRV-K7 2000001 1.20 dhcp=0 dnsauto=0",
                  "02:00:00:00:00:02 127.0.0.3:8080 QRV-K7N 2000002 1.21 dhcp=1 dnsauto=0",
                  "02:00:00:00:00:03 127.0.0.4 QRV-K7P 2000003 1.30 dhcp=0 dnsauto=1",
              }));
}

TEST_F(DiscoveryFleet, OneMacTakesOneSlotAndTheLastReplyWins) {
    SimProcess sim(
        "127.0.0.2 serial=2000001 mac=02:00:00:00:00:01 version=1.10 fault=disc-duplicate\n"
        "127.0.0.3 serial=2000002 mac=02:00:00:00:00:02 version=1.20\n"
        "127.0.0.4 serial=2000003 mac=02:00:00:00:00:02 version=1.30 dhcp=on\n");
    Discovery discovery;
    EXPECT_EQ(Texts(discovery.Run()), (std::vector<std::string>{
                                          "02:00:00:00:00:01 127.0.0.2 QRV-K7 2000001 1.10 dhcp=0 dnsauto=0",
                                          "02:00:00:00:00:02 127.0.0.4 QRV-K7 2000003 1.30 dhcp=1 dnsauto=0",
                                      }));
}

TEST_F(DiscoveryFleet, UnsupportedModelsRefusedSerialsAndSilentCamerasStayOut) {
    ns_serial_protect::InitSerialRules("allow,deny", "all", "9999999");
    SimProcess sim(
        "127.0.0.2 serial=2000001 mac=02:00:00:00:00:01\n"
        "127.0.0.3 serial=2000002 mac=02:00:00:00:00:02 fault=disc-model:QRV-X9\n"
        "127.0.0.4 serial=9999999 mac=02:00:00:00:00:03\n"
        "127.0.0.5 serial=2000004 mac=02:00:00:00:00:04 fault=disc-serial:9999999\n"
        "127.0.0.6 serial=2000005 mac=02:00:00:00:00:05 fault=disc-silent\n"
        "127.0.0.7 serial=2000006 mac=02:00:00:00:00:06 fault=disc-model:qrv-k7\n");
    Discovery discovery;
    EXPECT_EQ(Texts(discovery.Run()),
              (std::vector<std::string>{"02:00:00:00:00:01 127.0.0.2 QRV-K7 2000001 1.20 dhcp=0 dnsauto=0"}));
}

TEST_F(DiscoveryFleet, OddFieldValuesAreReadAsTheCamerasSendThem) {
    const std::string forty(40, 'K');
    SimProcess sim(
        "127.0.0.2 mac=02:00:00:00:00:01 fault=disc-webport:\n"
        "127.0.0.3:8080 mac=02:00:00:00:00:02\n"
        "127.0.0.4 mac=02:00:00:00:00:03 fault=disc-dhcp:ON\n"
        "127.0.0.5 mac=02:00:00:00:00:04 fault=disc-dhcp:on\n"
        "127.0.0.6 mac=02:00:00:00:00:05 dhcp=on fault=disc-dhcp:OFF\n"
        "127.0.0.7 mac=02:00:00:00:00:06 fault=disc-ipadr:192.168.0.300\n"
        "127.0.0.8 mac=02:00:00:00:00:07 fault=disc-ipadr:10.0\n"
        "127.0.0.9 mac=02:00:00:00:00:08 fault=disc-model:" + forty + "\n"
        "127.0.0.10 mac=02:00:00:00:00:09 serial=123456789012345\n");
    Discovery discovery;
    EXPECT_EQ(Texts(discovery.Run()),
              (std::vector<std::string>{
                  "02:00:00:00:00:01 127.0.0.2 QRV-K7 1000001 1.20 dhcp=0 dnsauto=0",
                  "02:00:00:00:00:02 127.0.0.3:8080 QRV-K7 1000002 1.20 dhcp=0 dnsauto=0",
                  "02:00:00:00:00:03 127.0.0.4 QRV-K7 1000003 1.20 dhcp=1 dnsauto=0",
                  "02:00:00:00:00:04 127.0.0.5 QRV-K7 1000004 1.20 dhcp=0 dnsauto=0",
                  "02:00:00:00:00:05 127.0.0.6 QRV-K7 1000005 1.20 dhcp=0 dnsauto=0",
                  "02:00:00:00:00:06 192.168.0.44 QRV-K7 1000006 1.20 dhcp=0 dnsauto=0",
                  "02:00:00:00:00:07 10.0.0.0 QRV-K7 1000007 1.20 dhcp=0 dnsauto=0",
                  "02:00:00:00:00:09 127.0.0.10 QRV-K7 12345678901 1.20 dhcp=0 dnsauto=0",
              }))
        << "the 40-character model is cut to 31 and is then no listed model";
}

TEST_F(DiscoveryFleet, AcknowledgementsAddNothingAndAReplyCarryingAckStillCounts) {
    SimProcess sim(
        "127.0.0.2 mac=02:00:00:00:00:01 fault=disc-ack\n"
        "127.0.0.3 mac=02:00:00:00:00:02 fault=disc-nak\n"
        "127.0.0.4 mac=02:00:00:00:00:03 fault=disc-ack-in-reply\n");
    Discovery discovery;
    discovery.Begin();
    // An acknowledgement alone, which no camera of the fleet sends by itself.
    test::UdpPeer peer{Ipv4Endpoint{{127, 0, 0, 5}, 0}};
    ASSERT_TRUE(peer.Send(discovery.Window().Service().LocalPort(), "\x02" "ACK:allinfo\xFF\x03"));
    ASSERT_TRUE(discovery.RunToEnd());
    EXPECT_EQ(Texts(discovery.Table().Snapshot()),
              (std::vector<std::string>{
                  "02:00:00:00:00:01 127.0.0.2 QRV-K7 1000001 1.20 dhcp=0 dnsauto=0",
                  "02:00:00:00:00:02 127.0.0.3 QRV-K7 1000002 1.20 dhcp=0 dnsauto=0",
                  "02:00:00:00:00:03 127.0.0.4 QRV-K7 1000003 1.20 dhcp=0 dnsauto=0",
              }));
}

TEST_F(DiscoveryFleet, ABurstOf256RepliesIsNotLost) {
    auto sim = SimProcess::WithCameras(256);
    for (int round = 0; round < 5; ++round) {
        Discovery discovery(5s);  // only the first request: one burst
        discovery.Begin();
        EXPECT_TRUE(discovery.RunUntilCount(256)) << "round " << round << ": " << discovery.Table().Count();
        std::set<std::string> macs;
        for (const auto& camera : discovery.Table().Snapshot()) macs.insert(std::string(FieldText(camera.mac)));
        EXPECT_EQ(macs.size(), 256u);
        discovery.Window().StopAndWait();
    }
}

TEST_F(DiscoveryFleet, ABurstOf256FullSizeRepliesIsNotLost) {
    // Full-size datagrams take several times the receive buffer room of the
    // fleet's short replies; a default-sized buffer holds well under 256.
    Discovery discovery(5s);
    discovery.Begin();
    test::UdpPeer peer{Ipv4Endpoint{{127, 0, 0, 2}, 0}};
    const std::uint16_t port = discovery.Window().Service().LocalPort();
    for (int i = 0; i < 256; ++i) {
        char mac[18];
        std::snprintf(mac, sizeof mac, "02:00:00:00:01:%02x", i);
        std::string reply = test::CameraReply(mac, std::to_string(3000000 + i));
        reply.insert(1, "NOTE:" + std::string(DiscoveryService::kDatagramBuffer - reply.size() - 6, 'x') + "\xFF");
        ASSERT_EQ(reply.size(), DiscoveryService::kDatagramBuffer);
        ASSERT_TRUE(peer.Send(port, reply));
    }
    EXPECT_TRUE(discovery.RunUntilCount(256)) << discovery.Table().Count();
}

TEST_F(DiscoveryFleet, StoppingEarlyEndsTheThreadAndNothingIsSentAfterwards) {
    SimProcess sim("127.0.0.2 mac=02:00:00:00:00:01\n");
    Discovery discovery(5s);
    discovery.Begin();
    ASSERT_TRUE(discovery.RunUntilCount(1));
    discovery.Window().StopAndWait();
    EXPECT_FALSE(discovery.Window().IsRunning());
    EXPECT_EQ(discovery.Window().Service().SendRequest(), -1);
    EXPECT_EQ(DiscoveryEvents(sim).size(), 1u);
    EXPECT_EQ(discovery.Table().Count(), 1);
}

}  // namespace
}  // namespace qrv
