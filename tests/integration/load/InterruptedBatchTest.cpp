// A batch with the settings retained, killed with SIGKILL (no handler runs, as
// after a crash or a power cut of the program alone) at chosen moments: once
// a save has ended, while an upload waits for its answer, while a camera
// reboots, while a restore is posted. Whatever the moment, nothing is lost:
// every configuration the program had saved is on disk whole (SHA-256 against
// the camera's own digest), and a camera whose restore was not confirmed
// still has its .cfg, from which the restore command then brings the
// camera's settings back.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/integration/load/LoadSupport.h"
#include "tests/support/CommandRun.h"
#include "tests/support/SimProcess.h"

namespace qrv::test {
namespace {

constexpr int kCameras = 6;
constexpr double kScale = 0.01;

std::string AddressOf(int n) { return "127.0.0." + std::to_string(2 + n); }

// The addresses whose printed status shows the save behind them: the job
// goes on to the upload only once the .cfg file is written and closed.
std::set<std::string> PastTheirSave(const std::string& output) {
    static const std::set<std::string> later = {"Uploading",     "Overwriting", "Searching",
                                                "Rebooting",     "Loading config file",
                                                "Reconfiguring", "Completed",   "Error2", "Error7"};
    std::set<std::string> cameras;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t first = line.find('\t');
        const std::size_t second = line.find('\t', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        if (later.count(line.substr(second + 1))) cameras.insert(line.substr(first + 1, second - first - 1) + ":80");
    }
    return cameras;
}

bool AnyEvent(const SimProcess& sim, const std::function<bool(const SimEvent&)>& match) {
    const std::vector<SimEvent> events = sim.Events();
    return std::any_of(events.begin(), events.end(), match);
}

struct Moment {
    const char* name;
    // True once the moment has come, from the simulator's log or the tool's output.
    std::function<bool(const SimProcess&, const std::string& output)> reached;
};

const std::vector<Moment>& Moments() {
    static const std::vector<Moment> moments = {
        {"after a save", [](const SimProcess&, const std::string& output) { return !PastTheirSave(output).empty(); }},
        {"during an upload",
         [](const SimProcess& sim, const std::string&) {
             return AnyEvent(sim, [](const SimEvent& e) { return e.kind == "state" && e.state == "writing"; });
         }},
        {"during a reboot",
         [](const SimProcess& sim, const std::string&) {
             return AnyEvent(sim, [](const SimEvent& e) { return e.kind == "state" && e.state == "rebooting"; });
         }},
        {"during a restore",
         [](const SimProcess& sim, const std::string&) {
             return AnyEvent(sim, [](const SimEvent& e) {
                 return e.kind == "request" && e.path == "/command/all-configuration.cgi";
             });
         }},
    };
    return moments;
}

// One camera turns its first restores away, so that a restore is still
// being retried when the others' have been answered.
std::string Fleet() {
    std::string fleet;
    for (int n = 0; n < kCameras; ++n) fleet += CameraLine(AddressOf(n), n, n == 1 ? "fault=restore-refuse:2" : "");
    return fleet;
}

std::vector<std::string> BatchArguments() {
    std::vector<std::string> args = {"batch"};
    for (int n = 0; n < kCameras; ++n) args.push_back(AddressOf(n));
    args.insert(args.end(), {"--user", "admin", "--password", "admin", "--retain", "--yes", "--time-scale",
                             std::to_string(kScale), "--parallel", "3"});
    return args;
}

TEST(InterruptedBatch, AKillAtAnyMomentLosesNoSavedConfiguration) {
    const std::string fleet = Fleet();
    const std::vector<std::string> args = BatchArguments();
    for (const Moment& moment : Moments()) {
        SCOPED_TRACE(moment.name);
        LoadFolder folder;
        SimProcess sim(fleet, kScale);
        CliProcess cli(args, folder.scratch);
        ASSERT_TRUE(WaitUntil([&] { return moment.reached(sim, cli.Output()); }, std::chrono::seconds(60)))
            << cli.Output() << cli.Errors();
        cli.Kill(SIGKILL);
        const CliProcess::Ending ending = cli.Wait(std::chrono::seconds(10));
        EXPECT_EQ(ending.signal, SIGKILL) << "the batch had ended before the kill";
        const std::string output = cli.Output();

        const std::map<std::string, CameraStory> stories = StoriesOf(sim.Events());
        const std::map<std::string, std::string> saved = folder.SavedConfigurations();
        const std::set<std::string> pastSave = PastTheirSave(output);
        int kept = 0;
        std::vector<std::pair<std::string, std::string>> toRestore;  // camera, its kept file
        for (int n = 0; n < kCameras; ++n) {
            const std::string camera = AddressOf(n) + ":80";
            SCOPED_TRACE(camera);
            const CameraStory story = stories.count(camera) ? stories.at(camera) : CameraStory{};
            // The file of this camera (model and serial name it), if any.
            const std::string name = "/qrv-k7." + std::to_string(2000000 + n) + ".cfg";
            std::vector<std::string> files;
            for (const auto& [path, digest] : saved) {
                if (path.ends_with(name)) files.push_back(path);
            }
            ASSERT_LE(files.size(), 1u) << "one save per camera";
            const bool saveDone = pastSave.count(camera) || story.uploadArrived;
            if (saveDone && !story.restoreConfirmed) {
                EXPECT_EQ(files.size(), 1u) << "a camera whose restore was not confirmed keeps its .cfg";
            }
            if (files.empty()) continue;
            if (!saveDone) continue;  // killed while it was being saved: the camera still holds its settings
            EXPECT_NE(std::find(story.configsSent.begin(), story.configsSent.end(), saved.at(files[0])),
                      story.configsSent.end())
                << files[0] << " is not whole";
            kept += 1;
            if (story.uploadArrived && !story.restoreConfirmed) toRestore.emplace_back(camera, files[0]);
        }
        EXPECT_GT(pastSave.size() + kept, 0u) << "the kill came after at least one save\n" << output;
        std::printf("killed %s: %zu cameras past their save, %d .cfg kept whole, %zu of them to restore by hand\n",
                    moment.name, pastSave.size(), kept, toRestore.size());

        // What was kept brings the settings back once the camera is up again.
        for (const auto& [camera, file] : toRestore) {
            SCOPED_TRACE("restore of " + camera);
            const std::string address = camera.substr(0, camera.size() - 3);
            const auto cameBack = [&, camera = camera] {
                const auto now = StoriesOf(sim.Events());
                return now.count(camera) && !now.at(camera).backVersion.empty();
            };
            if (!WaitUntil(cameBack, std::chrono::seconds(10))) continue;  // the upload never reached its end
            const CommandRun run = RunCommand(QRV_CLI_PATH, "restore " + address + " --file '" + file +
                                                                "' --yes --time-scale " + std::to_string(kScale),
                                              folder.scratch);
            EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
            EXPECT_TRUE(StoriesOf(sim.Events())[camera].restoreConfirmed) << "the camera applied the kept file";
        }
    }
}

// Ctrl+C or SIGTERM lets the program write its report: a camera whose job
// had not ended must still be on record with the .cfg that holds its
// settings, or a user reading the report would not know where they are.
TEST(InterruptedBatch, AnInterruptedReportNamesEveryKeptConfiguration) {
    const std::string fleet = Fleet();
    for (const Moment& moment : Moments()) {
        SCOPED_TRACE(moment.name);
        LoadFolder folder;
        SimProcess sim(fleet, kScale);
        std::vector<std::string> args = BatchArguments();
        const auto reportFile = folder.scratch / "report.json";
        args.insert(args.end(), {"--report", reportFile.string()});
        CliProcess cli(args, folder.scratch);
        ASSERT_TRUE(WaitUntil([&] { return moment.reached(sim, cli.Output()); }, std::chrono::seconds(60)))
            << cli.Output() << cli.Errors();
        cli.Kill(SIGTERM);
        const CliProcess::Ending ending = cli.Wait(std::chrono::seconds(30));
        ASSERT_EQ(ending.exitCode, 130) << cli.Output() << cli.Errors();

        const std::map<std::string, CameraStory> stories = StoriesOf(sim.Events());
        const std::map<std::string, std::string> saved = folder.SavedConfigurations();
        const std::map<std::string, ReportRow> report = ReadJsonReport(reportFile, folder.scratch);
        ASSERT_EQ(report.size(), static_cast<std::size_t>(kCameras));
        std::set<std::string> named;
        for (const auto& [camera, row] : report) {
            SCOPED_TRACE(camera + " stage " + row.stage);
            const CameraStory story = stories.count(camera) ? stories.at(camera) : CameraStory{};
            if (story.uploadArrived && !story.restoreConfirmed) {
                EXPECT_EQ(row.config, "not restored, kept") << "the settings are in a .cfg the record must name";
            }
            if (row.configFile.empty()) continue;
            named.insert(row.configFile);
            const auto file = saved.find(row.configFile);
            if (file == saved.end()) {
                // A restore that ended between the record and the jobs' stop
                // deleted the file: the camera has its settings back.
                EXPECT_TRUE(!row.config.ends_with("kept") || story.restoreConfirmed) << row.config;
                continue;
            }
            EXPECT_TRUE(row.config.ends_with("kept")) << row.config;
            EXPECT_NE(std::find(story.configsSent.begin(), story.configsSent.end(), file->second),
                      story.configsSent.end())
                << file->first << " is not whole";
        }
        for (const auto& [path, digest] : saved) EXPECT_TRUE(named.count(path)) << path << " is on no record";
    }
}

}  // namespace
}  // namespace qrv::test
