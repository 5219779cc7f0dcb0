#pragma once
// What the load and fault tests share: the command-line tool run as a child
// the test controls (its id for a SIGKILL, its resource use), each camera's
// story as the simulator's event log tells it, the batch report as Python's
// json module reads it, and the SHA-256 of every file left on disk.

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/SimEvent.h"

namespace qrv::test {

// The upgrade tool, started at once with its output in two files.
class CliProcess : public ChildProcess {
public:
    CliProcess(const std::vector<std::string>& args, const std::filesystem::path& scratch)
        : ChildProcess(QRV_CLI_PATH, args, scratch) {}
};

// Polls `ready` every 2 ms until it holds or `limit` passes.
bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit);

// One camera as the simulator saw it.
struct CameraStory {
    std::vector<std::string> configsSent;  // SHA-256 of each configuration answered 200 and sent whole
    bool uploadArrived = false;            // a firmware upload reached it (whole or not)
    bool rebooted = false;
    std::string backVersion;               // SoftVersion of its last "up" after a reboot; empty: never back
    bool restoreConfirmed = false;         // a restore applied and answered 200
    bool upAfterRestore = false;           // up again after that answer
};

// Every camera's story, by "address:port".
std::map<std::string, CameraStory> StoriesOf(const std::vector<SimEvent>& events);

// One record of a batch report, as Python's json module reads it.
struct ReportRow {
    std::string stage, finished, upgraded, versionAfter, config, configFile, result;
};

// The records of a JSON report by "address:port"; fails the test when the
// report does not parse.
std::map<std::string, ReportRow> ReadJsonReport(const std::filesystem::path& report,
                                                const std::filesystem::path& scratch);

// SHA-256 (hex) of every regular file below `root`, by path.
std::map<std::string, std::string> DigestsBelow(const std::filesystem::path& root,
                                                const std::filesystem::path& scratch);

// A fresh scratch folder for the running test and, below it, the root of its
// saved configurations ($ProgramFiles of every tool the test starts).
struct LoadFolder {
    LoadFolder();
    ~LoadFolder();
    std::filesystem::path scratch;
    std::filesystem::path configRoot;
    // The saved configuration files (*.cfg) below the root, with their SHA-256.
    std::map<std::string, std::string> SavedConfigurations() const;
};

// A fleet-file line with a distinct serial and MAC for camera number `n`.
std::string CameraLine(const std::string& address, int n, const std::string& extra = "");

}  // namespace qrv::test
