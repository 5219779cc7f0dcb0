// The automatic batch against simulated cameras: the job queue runs at most
// two jobs and one save-or-upload at a time (seen from the lists and from the
// cameras' own event log), abort before and after a start, the result line
// of every final state, and a whole run from discovery to the upgrade log.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>

#include "batch/BatchRun.h"
#include "batch/GridRefresh.h"
#include "discovery/DiscoveryWindow.h"
#include "engine/JobStage.h"
#include "platform/HeadlessOwner.h"
#include "tests/integration/engine/SimTestSupport.h"

namespace qrv {
namespace {

using namespace std::chrono_literals;
using test::Camera;
using test::SimEvent;
using test::SimProcess;

std::string Identity(int n) {
    return "serial=10040" + std::to_string(n) + " mac=08:00:23:00:04:0" + std::to_string(n);
}

// The camera at 127.0.0.(n+1) has serial 10040n; the serial names its saved
// configuration file.
UpgradeTarget Target(std::uint8_t last, const std::u16string& password = u"admin", int port = 80) {
    const std::u16string serial = u"10040" + std::u16string(1, static_cast<char16_t>(u'0' + last - 1));
    return UpgradeTarget{u"admin", password, u"QRV-K7", u"1.20", serial, {127, 0, 0, last}, port, false};
}

// The part of a camera's job that the camera sees for certain before the
// job could count as past its upload: from the configuration request's
// arrival to the opening of the upload's connection (seq numbers). The upload
// itself ends, for the job, when the camera's side has acknowledged every
// byte, which the camera's log shows only later, once it has read them all.
struct SaveWindow {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

std::map<std::string, SaveWindow> SaveWindows(const std::vector<SimEvent>& events) {
    std::map<std::string, SaveWindow> windows;
    std::map<std::pair<std::string, std::uint64_t>, std::uint64_t> connected;
    for (const SimEvent& e : events) {
        if (e.kind == "connect") connected[{e.camera, e.connection}] = e.seq;
        if (e.kind != "request") continue;
        if (e.path == "/system/qrv-k7.cfg") windows[e.camera].begin = e.seq;
        if (e.path == "/command/versionup.cgi") windows[e.camera].end = connected[{e.camera, e.connection}];
    }
    return windows;
}

class Batch : public ::testing::Test {
protected:
    Batch() {
        owner.SetTimerHandler([this](int id) {
            list.OnTimer(id);
            CheckQueueRules();
        });
    }
    void Start(bool retain) {
        list.SetRunParameters(retain, true, WallNow());
        list.StartScheduler();
    }
    bool RunToEnd(std::chrono::milliseconds limit = 90s) {
        return owner.RunUntil([this] { return list.QueuedCount() == 0; }, limit);
    }
    // After every tick: at most two jobs past Standby (a job checking its
    // camera before the start counts), at most one saving or uploading.
    void CheckQueueRules() {
        int running = 0;
        int transferring = 0;
        for (int row = 0; row < list.RowCount(); ++row) {
            UpgradeJob* job = list.FindJob(row);
            if (!job) continue;
            const int stage = job->Stage();
            if (stage != kStandby || list.IsStarting(row)) ++running;
            if (stage == kSavingConfig || stage == kUploading) ++transferring;
        }
        mostRunning = std::max(mostRunning, running);
        mostTransferring = std::max(mostTransferring, transferring);
    }

    test::ConfigFolder folder;
    HeadlessOwner owner;
    BatchRun list{owner, test::Package(), test::FastTiming()};
    int mostRunning = 0;
    int mostTransferring = 0;
};

TEST_F(Batch, ThreeTargetsRunAtMostTwoJobsAndNeverTwoTransfersAtOnce) {
    // The first camera answers slowly, so its configuration takes a while to
    // save: no other job may start meanwhile.
    SimProcess sim(Camera("127.0.0.2", Identity(1) + " fault=delay:10000") +
                       Camera("127.0.0.3", Identity(2) + " doctype=g3") + Camera("127.0.0.4", Identity(3)),
                   test::kScale);
    for (std::uint8_t last = 2; last <= 4; ++last) list.AddRow(Target(last));
    Start(true);
    // Job 3 waits in Standby until job 1 or job 2 has left the queue.
    bool thirdWaited = true;
    ASSERT_TRUE(owner.RunUntil(
        [&] {
            if (list.FindJob(0) && list.FindJob(1) && list.FindJob(2) &&
                (list.FindJob(2)->Stage() != kStandby || list.IsStarting(2))) {
                thirdWaited = false;
            }
            return list.QueuedCount() == 0;
        },
        90s));
    EXPECT_TRUE(thirdWaited);
    EXPECT_EQ(mostRunning, 2) << "two jobs ran side by side";
    EXPECT_EQ(mostTransferring, 1);
    EXPECT_FALSE(owner.IsTimerRunning(BatchRun::kSchedulerTimer));

    for (int row = 0; row < 3; ++row) {
        const ProgressItem& item = list.Row(row);
        EXPECT_EQ(item.result, kCompleted) << row;
        EXPECT_EQ(item.stage, kCompleted);
        EXPECT_EQ(item.version, u"1.30") << "the version the camera reports now";
        EXPECT_EQ(item.versionBefore, u"1.20");
        EXPECT_EQ(item.progress.load(), 6000);
    }
    EXPECT_EQ(list.Row(1).slot, 1) << "DocType g3 takes the second image";
    EXPECT_EQ(list.Row(0).slot, 0);
    EXPECT_EQ(list.UpgradeLog(), u"QRV-K7(127.0.0.2) Completed successfully.\r\n"
                                 u"QRV-K7(127.0.0.3) Completed successfully.\r\n"
                                 u"QRV-K7(127.0.0.4) Completed successfully.\r\n");

    const std::vector<SimEvent> events = sim.Events();
    const std::vector<SimEvent> images = test::Verdicts(sim, "127.0.0.3:80", "upload");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].Field("image_length"), std::to_string(test::Package().Image(1).size()));
    for (const char* camera : {"127.0.0.2:80", "127.0.0.3:80", "127.0.0.4:80"}) {
        const std::vector<SimEvent> image = test::Verdicts(sim, camera, "image");
        ASSERT_EQ(image.size(), 1u) << camera;
        EXPECT_TRUE(image[0].ok) << camera << ": " << image[0].reason;
    }

    // The cameras' view: while one camera's configuration was being saved,
    // up to the start of its upload, no other save ran and no camera whose job
    // had not started yet was contacted. (A job that started earlier may go on
    // asking its own camera whether it is back: that is no start.)
    const std::map<std::string, SaveWindow> windows = SaveWindows(events);
    ASSERT_EQ(windows.size(), 3u);
    for (const auto& [camera, window] : windows) {
        ASSERT_GT(window.begin, 0u) << camera;
        ASSERT_GT(window.end, window.begin) << camera;
        for (const auto& [other, otherWindow] : windows) {
            if (other == camera) continue;
            EXPECT_TRUE(otherWindow.end <= window.begin || otherWindow.begin >= window.end)
                << other << " saved its configuration while " << camera << " did";
        }
        for (const SimEvent& e : events) {
            // An upload's request is logged once its body has been read, which
            // may be after its job has moved on: its connection marks its start.
            const bool contact = e.kind == "connect" || (e.kind == "request" && e.path != "/command/versionup.cgi");
            const auto other = windows.find(e.camera);
            const bool startedLater = other != windows.end() && other->second.begin > window.begin;
            if (contact && e.camera != camera && startedLater) {
                EXPECT_FALSE(e.seq > window.begin && e.seq < window.end)
                    << e.camera << " " << e.kind << " " << e.path << " while " << camera << " saved its configuration";
            }
        }
    }

    // The third camera heard nothing before one of the first two was done.
    std::map<std::string, std::uint64_t> first;
    std::map<std::string, std::uint64_t> last;
    for (const SimEvent& e : events) {
        if (e.kind != "request") continue;
        first.emplace(e.camera, e.seq);
        last[e.camera] = e.seq;
    }
    EXPECT_GT(first["127.0.0.4:80"], std::min(last["127.0.0.2:80"], last["127.0.0.3:80"]));
}

TEST_F(Batch, EveryFinalStateEndsInItsResultLine) {
    SimProcess sim(Camera("127.0.0.2", Identity(1)) +                                     // completes
                       Camera("127.0.0.3", Identity(2) + " admin=admin:other") +          // login refused
                       Camera("127.0.0.4", Identity(3) + " fault=reboot-old") +           // comes back old
                       Camera("127.0.0.5", Identity(4) + " fault=html-config") +          // cannot save
                       Camera("127.0.0.6", Identity(5) + " fault=drop-upload:100000") +   // upload cut
                       Camera("127.0.0.7", Identity(6) + " fault=restore-refuse:4"),      // cannot restore
                   test::kScale);
    for (std::uint8_t last = 2; last <= 8; ++last) list.AddRow(Target(last));  // nobody at .8
    Start(true);
    ASSERT_TRUE(RunToEnd());
    const int expected[] = {kCompleted, kError3, kError2, kError6, kError1, kError7, kError1};
    for (int row = 0; row < 7; ++row) {
        EXPECT_EQ(list.Row(row).result, expected[row]) << "row " << row;
        EXPECT_EQ(list.Row(row).progress.load(), 6000);
    }
    EXPECT_EQ(list.Row(2).version, u"1.20") << "only a completed camera shows a new version";
    EXPECT_EQ(list.Row(1).stage, kError3);
    EXPECT_EQ(list.UpgradeLog(), u"QRV-K7(127.0.0.2) Completed successfully.\r\n"
                                 u"QRV-K7(127.0.0.3) Login error.\r\n"
                                 u"QRV-K7(127.0.0.4) Upgrade sequence error.\r\n"
                                 u"QRV-K7(127.0.0.5) Cannot save config.\r\n"
                                 u"QRV-K7(127.0.0.6) Network error (missing target).\r\n"
                                 u"QRV-K7(127.0.0.7) Cannot load config.\r\n"
                                 u"QRV-K7(127.0.0.8) Network error (missing target).\r\n");
    EXPECT_TRUE(test::RequestsTo(sim, "127.0.0.3:80", "/command/versionup.cgi").empty())
        << "a refused login never gets the firmware";
    EXPECT_TRUE(owner.Boxes().empty()) << "automatic jobs show no boxes";
    EXPECT_EQ(mostTransferring, 1);
}

TEST_F(Batch, AbortAfterAStartLetsStartedJobsFinishAndDropsTheRest) {
    SimProcess sim(Camera("127.0.0.2", Identity(1)) + Camera("127.0.0.3", Identity(2)) +
                       Camera("127.0.0.4", Identity(3)),
                   test::kScale);
    for (std::uint8_t last = 2; last <= 4; ++last) list.AddRow(Target(last));
    Start(false);
    std::set<int> started;
    ASSERT_TRUE(owner.RunUntil([&] { return list.FindJob(0) && list.FindJob(0)->Stage() != kStandby; }, 20s));
    for (int row = 0; row < 3; ++row) {
        if (list.FindJob(row) && list.FindJob(row)->Stage() != kStandby) started.insert(row);
    }
    list.SetCancel();
    ASSERT_TRUE(started.count(0));
    ASSERT_FALSE(started.count(2));

    // The unstarted jobs stay queued in Standby until the started ones are done.
    bool droppedEarly = false;
    ASSERT_TRUE(owner.RunUntil(
        [&] {
            const bool startedLeft = std::any_of(started.begin(), started.end(),
                                                 [&](int row) { return list.FindJob(row) != nullptr; });
            if (startedLeft && !list.FindJob(2)) droppedEarly = true;
            if (list.FindJob(2)) {
                EXPECT_EQ(list.FindJob(2)->Stage(), kStandby);
                EXPECT_FALSE(list.IsStarting(2));
            }
            return list.QueuedCount() == 0;
        },
        60s));
    EXPECT_FALSE(droppedEarly);
    EXPECT_FALSE(list.CancelRequested());
    EXPECT_FALSE(owner.IsTimerRunning(BatchRun::kSchedulerTimer));
    std::u16string log;
    for (int row = 0; row < 3; ++row) {
        const ProgressItem& item = list.Row(row);
        if (started.count(row)) {
            EXPECT_EQ(item.result, kCompleted) << row;
            log += u"QRV-K7(" + item.address.Text() + u") Completed successfully.\r\n";
        } else {
            EXPECT_EQ(item.result, 0) << row;
            EXPECT_EQ(item.progress.load(), 0);
            EXPECT_EQ(item.stage, kStandby);
            const std::string camera = "127.0.0." + std::to_string(row + 2) + ":80";
            EXPECT_TRUE(test::RequestsTo(sim, camera, "/command/versionup.cgi").empty()) << camera;
        }
    }
    EXPECT_EQ(list.UpgradeLog(), log);
    EXPECT_TRUE(test::EventsOf(sim, "request", "127.0.0.4:80").empty()) << "the third camera was never contacted";
}

TEST_F(Batch, AbortEndsASaveThatDripsAtOnceAndSendsItNoFirmware) {
    // One byte every 5 ms (scaled): the save would take 20 s, and no idle
    // timer ever fires.
    SimProcess sim(Camera("127.0.0.2", Identity(1) + " fault=config-drip:500") + Camera("127.0.0.3", Identity(2)),
                   test::kScale);
    // The bound on a whole save is out of reach here: only the abort can end it.
    Timing timing = test::FastTiming();
    timing.configSaveLimit = 60s;
    BatchRun list(owner, test::Package(), timing);
    owner.SetTimerHandler([&list](int id) { list.OnTimer(id); });
    list.AddRow(Target(2));
    list.AddRow(Target(3));
    list.SetRunParameters(true, true, WallNow());
    list.StartScheduler();
    ASSERT_TRUE(owner.RunUntil([&] { return list.FindJob(0) && list.FindJob(0)->Stage() == kSavingConfig; }, 20s));
    ASSERT_TRUE(sim.WaitForEvent(
        [](const SimEvent& e) { return e.kind == "request" && e.path == "/system/qrv-k7.cfg"; }, 10s));
    list.SetCancel();
    // Bounded well below the drip's 20 s: the abort, not the drip, ended it.
    ASSERT_TRUE(owner.RunUntil([&] { return list.QueuedCount() == 0; }, 5s));
    EXPECT_EQ(list.Row(0).result, kError6);
    EXPECT_EQ(list.Row(1).result, 0) << "the second camera never started";
    EXPECT_TRUE(list.Row(0).configPath.empty());
    EXPECT_TRUE(test::RequestsTo(sim, "127.0.0.2:80", "/command/versionup.cgi").empty());
    EXPECT_TRUE(test::EventsOf(sim, "request", "127.0.0.3:80").empty());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.root)) {
        EXPECT_FALSE(entry.is_regular_file()) << "left behind: " << entry.path();
    }
}

TEST_F(Batch, AbortWhileTheFirstCameraIsCheckedStartsNothing) {
    SimProcess sim(Camera("127.0.0.2", Identity(1) + " fault=delay:30000") + Camera("127.0.0.3", Identity(2)),
                   test::kScale);
    list.AddRow(Target(2));
    list.AddRow(Target(3));
    list.SetRunParameters(false, true, WallNow());
    list.SchedulerTick();
    ASSERT_TRUE(list.IsStarting(0)) << "the administrator check is on its way";
    EXPECT_FALSE(list.IsStarting(1)) << "one start at a time";
    EXPECT_EQ(list.Row(0).stage, kStandby);
    list.SetCancel();
    list.SchedulerTick();
    EXPECT_EQ(list.QueuedCount(), 0);
    EXPECT_EQ(list.UpgradeLog(), u"");
    owner.RunFor(500ms);  // the camera's late answer must not start anything
    EXPECT_TRUE(test::RequestsTo(sim, "127.0.0.2:80", "/command/versionup.cgi").empty());
    EXPECT_TRUE(test::EventsOf(sim, "request", "127.0.0.3:80").empty());
}

TEST_F(Batch, FromDiscoveryToTheUpgradeLog) {
    SimProcess sim(Camera("127.0.0.2", Identity(1)) + Camera("127.0.0.3", Identity(2) + " dhcp=on") +
                       Camera("127.0.0.4:8080", Identity(3)),
                   test::kScale);
    DiscoveryTable table(test::Package().Models());
    Timing timing = Timing::Production();
    timing.discoveryTick = 200ms;
    DiscoveryWindow window(table, owner, timing);
    owner.SetTimerHandler([&](int id) {
        if (!window.OnTimer(id)) list.OnTimer(id);
    });
    window.Begin();
    ASSERT_TRUE(owner.RunUntil([&] { return window.HasEnded(); }, 10s));

    TargetGrid grid;
    const GridRefresh refresh = RefreshGridFromTable(grid, table);
    ASSERT_EQ(refresh.added, 3);
    EXPECT_EQ(refresh.counter, u"3/256");
    for (int row = 0; row < grid.RowCount(); ++row) grid.SetCredentials(row, u"admin", u"admin");
    EXPECT_TRUE(RefreshGridFromTable(grid, table).targetsHaveCredentials);

    EXPECT_EQ(list.AddTargets(grid), 3);
    list.SetRunParameters(false, true, WallNow());
    list.StartScheduler();
    ASSERT_TRUE(RunToEnd());
    // Slot order follows the order of the replies, so compare as a set.
    std::multiset<std::u16string> lines;
    for (int row = 0; row < 3; ++row) lines.insert(list.ResultLine(row));
    EXPECT_EQ(lines, (std::multiset<std::u16string>{u"QRV-K7(127.0.0.2) Completed successfully.\r\n",
                                                    u"QRV-K7(DHCP:127.0.0.3) Completed successfully.\r\n",
                                                    u"QRV-K7(127.0.0.4:8080) Completed successfully.\r\n"}));
}

}  // namespace
}  // namespace qrv
