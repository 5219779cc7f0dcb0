// A batch of the largest size the program takes, 256 cameras, in one run of
// the command line with the settings retained: every camera must come back
// on the carried version with its settings restored, as the simulator saw it,
// and no saved configuration may be left behind. The run's peak memory and
// CPU time are printed as a benchmark line (not asserted).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "tests/integration/load/LoadSupport.h"
#include "tests/support/SimProcess.h"

namespace qrv::test {
namespace {

constexpr int kCameras = 256;
// At this scale a camera writes for 0.4 s, reboots for 1.2 s and reconfigures
// for 0.6 s; the program pauses 2.4 s after a restore. With 32 jobs at once
// the batch takes about a minute on two cores, and a loaded machine still
// answers well inside the scaled time-outs (0.4 s for an inquiry).
constexpr double kScale = 0.02;
constexpr const char* kParallel = "32";

// 127.0.1.2 ... 127.0.1.129, 127.0.2.2 ...: no address ends in .0, .1 or .255.
std::string AddressOf(int n) { return "127.0." + std::to_string(1 + n / 128) + "." + std::to_string(2 + n % 128); }

TEST(BatchLoad, TwoHundredFiftySixCamerasComeBackUpgradedWithTheirSettings) {
    LoadFolder folder;
    std::string fleet;
    std::string list;
    for (int n = 0; n < kCameras; ++n) {
        fleet += CameraLine(AddressOf(n), n);
        list += AddressOf(n) + "\n";
    }
    const auto listFile = folder.scratch / "cameras.txt";
    std::ofstream(listFile) << list;
    const auto reportFile = folder.scratch / "report.json";
    SimProcess sim(fleet, kScale);

    CliProcess cli({"batch", "--list", listFile.string(), "--user", "admin", "--password", "admin", "--retain", "--yes",
                    "--time-scale", std::to_string(kScale), "--parallel", kParallel, "--report", reportFile.string()},
                   folder.scratch);
    const auto started = std::chrono::steady_clock::now();
    const CliProcess::Ending ending = cli.Wait(std::chrono::seconds(280));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    std::printf("bench: batch of %d cameras, --parallel %s, --time-scale %g: peak resident %.1f MiB, "
                "CPU %.2f s user + %.2f s system, %.1f s wall\n",
                kCameras, kParallel, kScale, static_cast<double>(ending.usage.ru_maxrss) / 1024.0,
                seconds(ending.usage.ru_utime), seconds(ending.usage.ru_stime), wall);
    const std::string output = cli.Output();
    ASSERT_EQ(ending.exitCode, 0) << "signal " << ending.signal << "\n" << output.substr(0, 4000) << cli.Errors();
    EXPECT_NE(output.find("Proceeded: 256/256\n"), std::string::npos);

    const std::map<std::string, CameraStory> stories = StoriesOf(sim.Events());
    const std::map<std::string, ReportRow> report = ReadJsonReport(reportFile, folder.scratch);
    EXPECT_EQ(report.size(), static_cast<std::size_t>(kCameras));
    int upgraded = 0;
    for (int n = 0; n < kCameras; ++n) {
        const std::string camera = AddressOf(n) + ":80";
        SCOPED_TRACE(camera);
        const auto story = stories.find(camera);
        ASSERT_NE(story, stories.end());
        EXPECT_EQ(story->second.backVersion, "1.30") << "the camera's last start after its reboot";
        EXPECT_TRUE(story->second.restoreConfirmed) << "a restore applied and answered";
        EXPECT_EQ(story->second.configsSent.size(), 1u) << "one save per camera";
        const auto row = report.find(camera);
        ASSERT_NE(row, report.end());
        EXPECT_EQ(row->second.upgraded, "true");
        EXPECT_EQ(row->second.versionAfter, "1.30");
        EXPECT_EQ(row->second.config, "restored, deleted");
        EXPECT_NE(output.find(row->second.result + "\n"), std::string::npos) << row->second.result;
        upgraded += story->second.backVersion == "1.30" && story->second.restoreConfirmed ? 1 : 0;
    }
    EXPECT_EQ(upgraded, kCameras);
    EXPECT_TRUE(folder.SavedConfigurations().empty()) << "Retain deletes every restored .cfg";
}

}  // namespace
}  // namespace qrv::test
