// The table seen from two threads, and its stop handshake.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "discovery/DiscoveryTable.h"

namespace qrv {
namespace {

DiscoveredCamera Version(char fill, int port) {
    DiscoveredCamera camera;
    std::memset(camera.model.data(), fill, camera.model.size() - 1);
    std::memset(camera.serial.data(), fill, camera.serial.size() - 1);
    std::memset(camera.version.data(), fill, camera.version.size() - 1);
    std::strcpy(camera.mac.data(), "00:80:45:00:00:01");
    camera.ip = {static_cast<std::uint8_t>(fill), 1, 2, 3};
    camera.port = port;
    camera.dhcp = camera.dnsauto = fill == 'A' ? 1 : 0;
    return camera;
}

TEST(DiscoveryTableReaders, SeeEverySlotWholeWhileTheWriterRefreshesIt) {
    DiscoveryTable table;
    const DiscoveredCamera a = Version('A', 80);
    const DiscoveredCamera b = Version('B', 8080);
    table.Store(a);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) table.Store(i % 2 ? a : b);
        done = true;
    });
    int reads = 0;
    int torn = 0;
    while (!done || reads < 100) {
        const auto slots = table.Snapshot();
        ASSERT_EQ(slots.size(), 1u);
        if (slots[0] != a && slots[0] != b) ++torn;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}

TEST(DiscoveryTableStop, AStopRequestReachesOnlyARunningThreadAndIsClearedWithIt) {
    DiscoveryTable table;
    table.RequestStop();
    EXPECT_FALSE(table.StopRequested()) << "nobody would ever clear it";
    table.MarkReceiving();
    EXPECT_TRUE(table.IsReceiving());
    table.RequestStop();
    EXPECT_TRUE(table.StopRequested());
    table.MarkStopped();
    EXPECT_FALSE(table.StopRequested());
    EXPECT_FALSE(table.IsReceiving());
    table.RequestStop();
    EXPECT_FALSE(table.StopRequested());
}

}  // namespace
}  // namespace qrv
