#include "tests/integration/load/LoadSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/CommandRun.h"
#include "tests/support/TestFolder.h"

namespace qrv::test {

namespace fs = std::filesystem;

// ---- waiting ---------------------------------------------------------------------

bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// ---- the simulator's side ----------------------------------------------------------

std::map<std::string, CameraStory> StoriesOf(const std::vector<SimEvent>& events) {
    std::map<std::string, CameraStory> stories;
    // Verdicts that an answer confirms: exchange -> (what, configuration digest).
    std::map<std::uint64_t, std::pair<std::string, std::string>> pending;
    std::map<std::string, double> restoreAnswered;  // camera -> when its applied restore was answered
    for (const SimEvent& e : events) {
        if (e.camera.empty()) continue;
        CameraStory& story = stories[e.camera];
        if (e.kind == "request" && e.path == "/command/versionup.cgi") story.uploadArrived = true;
        if (e.kind == "verdict" && e.ok && (e.what == "config" || e.what == "restore")) {
            pending[e.exchange] = {e.what, e.Field("config_sha256")};
        }
        if (e.kind == "response") {
            const auto verdict = pending.find(e.exchange);
            if (verdict == pending.end()) continue;
            const bool delivered = e.status == 200 && e.Field("sent") == "true";
            if (delivered && verdict->second.first == "config") story.configsSent.push_back(verdict->second.second);
            if (delivered && verdict->second.first == "restore") {
                story.restoreConfirmed = true;
                restoreAnswered[e.camera] = e.time;
            }
            pending.erase(verdict);
        }
        if (e.kind == "state") {
            if (e.state == "rebooting") story.rebooted = true;
            if (e.state == "up" && story.rebooted) story.backVersion = e.version;
            if (e.state == "up" && restoreAnswered.count(e.camera)) story.upAfterRestore = true;
        }
    }
    return stories;
}

// ---- what the tool left --------------------------------------------------------------

namespace {

// Python's own json and hashlib read what the tool wrote, so that the test
// does not trust the program's idea of either.
const char* const kReportReader = R"(import json, sys
doc = json.load(open(sys.argv[1]))
assert doc['format'] == 1 and doc['carried_version'] == '1.30', doc
for r in doc['records']:
    row = {k: (str(v).lower() if isinstance(v, bool) else str(v)) for k, v in r.items()}
    print('\t'.join([row['address'] + ':' + row['port'], row['stage'], row['finished'], row['upgraded'],
                     row['version_after'], row['config'], row['config_file'], row['result']]))
)";

const char* const kDigester = R"(import hashlib, os, sys
for folder, _, names in os.walk(sys.argv[1]):
    for name in names:
        path = os.path.join(folder, name)
        if os.path.isfile(path) and not os.path.islink(path):
            print(path + '\t' + hashlib.sha256(open(path, 'rb').read()).hexdigest())
)";

std::vector<std::vector<std::string>> RunPython(const char* script, const fs::path& argument, const fs::path& scratch,
                                                std::size_t columns) {
    const fs::path file = scratch / "helper.py";
    std::ofstream(file) << script;
    const CommandRun run = RunCommand("python3", "'" + file.string() + "' '" + argument.string() + "'", scratch);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::vector<std::string>> lines;
    std::istringstream text(run.out);
    for (std::string line; std::getline(text, line);) {
        std::vector<std::string> cells;
        std::istringstream split(line);
        for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
        cells.resize(columns);
        lines.push_back(std::move(cells));
    }
    return lines;
}

}  // namespace

std::map<std::string, ReportRow> ReadJsonReport(const fs::path& report, const fs::path& scratch) {
    std::map<std::string, ReportRow> rows;
    for (const auto& f : RunPython(kReportReader, report, scratch, 8)) {
        EXPECT_TRUE(rows.emplace(f[0], ReportRow{f[1], f[2], f[3], f[4], f[5], f[6], f[7]}).second)
            << "two records for " << f[0];
    }
    return rows;
}

std::map<std::string, std::string> DigestsBelow(const fs::path& root, const fs::path& scratch) {
    std::map<std::string, std::string> digests;
    for (const auto& f : RunPython(kDigester, root, scratch, 2)) digests[f[0]] = f[1];
    return digests;
}

LoadFolder::LoadFolder() : scratch(FreshTestFolder("qrv-load")), configRoot(scratch / "programs") {
    fs::create_directories(configRoot);
    ::setenv("ProgramFiles", configRoot.c_str(), 1);
}

LoadFolder::~LoadFolder() {
    // A failed run leaves its files for a look.
    if (!::testing::Test::HasFailure()) fs::remove_all(scratch);
}

std::map<std::string, std::string> LoadFolder::SavedConfigurations() const {
    std::map<std::string, std::string> saved;
    for (const auto& [path, digest] : DigestsBelow(configRoot, scratch)) {
        if (fs::path(path).extension() == ".cfg") saved[path] = digest;
    }
    return saved;
}

std::string CameraLine(const std::string& address, int n, const std::string& extra) {
    char mac[32];
    std::snprintf(mac, sizeof mac, "02:71:73:00:%02x:%02x", (n >> 8) & 0xff, n & 0xff);
    return address + " serial=" + std::to_string(2000000 + n) + " mac=" + mac + (extra.empty() ? "" : " " + extra) +
           "\n";
}

}  // namespace qrv::test
