// The report of batch and upgrade, run as a user runs them against simulated
// cameras: every record must say what the simulator's own log says happened
// to that camera (the version it came back with, whether a restore was
// applied), and --skip-current must leave the current cameras alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/integration/engine/SimTestSupport.h"
#include "tests/support/CommandRun.h"

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

// One record as a real JSON or CSV parser reads it back.
struct Record {
    std::string stage, finished, upgraded, versionAfter, config, mac, configFile, result, started, ended;
};

// Reads a report with Python's json and csv modules, so that the test does
// not trust the program's own idea of the format (a Linux program, which the
// Windows build starts through wine too).
const char* const kReader = R"(import csv, json, sys
path = sys.argv[1]
text = sys.stdin.read() if path == '-' else open(path, newline='').read()
if path.endswith('.csv'):
    rows = list(csv.DictReader(text.splitlines(True)))
    assert all(r['format'] == '1' for r in rows), rows
else:
    doc = json.loads(text)
    assert doc['format'] == 1 and doc['program_version'] and doc['batch_time'] and doc['carried_version'] == '1.30', doc
    rows = [{k: (str(v).lower() if isinstance(v, bool) else str(v)) for k, v in r.items()} for r in doc['records']]
for r in rows:
    print('\t'.join([r['address'] + ':' + r['port'], r['stage'], r['finished'], r['upgraded'], r['version_after'],
                     r['config'], r['mac'], r['config_file'], r['result'], r['started'], r['ended']]))
)";

class BatchReportCommand : public ::testing::Test {
protected:
    CommandRun Run(const std::string& args) const { return RunCommand(QRV_CLI_PATH, args, folder.root); }

    // The records by "address:port"; empty when the report does not parse.
    std::map<std::string, Record> Read(const std::string& report, const std::string& stdinText = "") const {
        const fs::path input = folder.root / "stdin.json";
        if (report == "-") std::ofstream(input, std::ios::binary) << stdinText;
        const fs::path script = folder.root / "read-report.py";
        std::ofstream(script, std::ios::binary) << kReader;
        const std::string path = report == "-" ? report : ShellPath(report);
        const CommandRun run = RunCommand("/usr/bin/python3", "'" + ShellPath(script) + "' '" + path + "'",
                                          folder.root, report == "-" ? input : fs::path());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        std::map<std::string, Record> records;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> f;
            std::istringstream cells(line);
            for (std::string cell; std::getline(cells, cell, '\t');) f.push_back(cell);
            f.resize(11);
            records[f[0]] = Record{f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10]};
        }
        return records;
    }

    // What the simulator saw: the version of its last "up" after a reboot
    // (empty when it never came back), and whether a restore was applied.
    static std::pair<std::string, bool> Observed(const SimProcess& sim, const std::string& camera) {
        std::string back;
        bool rebooted = false;
        for (const SimEvent& e : EventsOf(sim, "state", camera)) {
            if (e.state == "rebooting") rebooted = true;
            if (e.state == "up" && rebooted) back = e.version;
        }
        bool restored = false;
        for (const SimEvent& e : Verdicts(sim, camera, "restore")) restored = restored || e.ok;
        return {back, restored};
    }

    // The access mode as the program sees it (on Windows: 0600 or 0700 for
    // what only the current user may open).
    static unsigned ModeOf(const fs::path& path) {
        const std::optional<FileKind> kind = FileKindOf(path.string());
        return kind ? kind->permissions : 0u;
    }

    CommandFolder folder;
};

TEST_F(BatchReportCommand, MixedOutcomesAreReportedAsTheCamerasSawThem) {
    const std::string fleet = Camera("127.0.0.2", "serial=100501 mac=08:00:23:00:05:01") +
                              Camera("127.0.0.3", "serial=100502 mac=08:00:23:00:05:02 fault=reboot-old") +
                              Camera("127.0.0.4", "serial=100503 mac=08:00:23:00:05:03 fault=never-back") +
                              Camera("127.0.0.5", "serial=100504 mac=08:00:23:00:05:04 fault=always401") +
                              Camera("127.0.0.6", "serial=100505 mac=08:00:23:00:05:05 fault=restore-reject:4");
    // What the job's outcome must be, beside what the simulator saw.
    const struct {
        std::string camera;
        std::string stage;
        std::string upgraded;
        std::string config;
    } expected[] = {
        {"127.0.0.2:80", "9", "true", "restored, deleted"},
        {"127.0.0.3:80", "11", "false", "not restored, kept"},
        {"127.0.0.4:80", "10", "false", "not restored, kept"},
        {"127.0.0.5:80", "12", "false", "none"},
        {"127.0.0.6:80", "16", "true", "not restored, kept"},
    };
    for (const std::string name : {"report.json", "sub/report.csv"}) {
        SCOPED_TRACE(name);
        SimProcess sim(fleet, kScale);
        const fs::path report = folder.root / "reports" / name;
        const CommandRun run = Run("batch --user admin --password admin --seconds 0.4 --retain --yes "
                                   "--time-scale 0.01 --report " + report.string());
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_EQ(ModeOf(report), 0600u);
        EXPECT_EQ(ModeOf(report.parent_path()), 0700u);
        const std::map<std::string, Record> records = Read(report.string());
        ASSERT_EQ(records.size(), 5u) << run.out;
        for (const auto& e : expected) {
            SCOPED_TRACE(e.camera);
            const Record& r = records.at(e.camera);
            const auto [back, restored] = Observed(sim, e.camera);
            EXPECT_EQ(r.stage, e.stage) << r.result;
            EXPECT_EQ(r.finished, "true");
            EXPECT_EQ(r.upgraded, e.upgraded);
            EXPECT_EQ(r.versionAfter, back) << "the version the camera came back with";
            EXPECT_EQ(r.config.starts_with("restored"), restored) << r.config;
            EXPECT_EQ(r.config, e.config);
            EXPECT_EQ(r.configFile.empty(), e.config == "none");
            EXPECT_EQ(fs::exists(r.configFile), e.config.ends_with("kept")) << r.configFile;
            EXPECT_EQ(r.mac, "08:00:23:00:05:0" + std::string(1, e.camera[8] - 1));
            EXPECT_NE(run.out.find(r.result + "\n"), std::string::npos) << "the report's line is the log's";
            EXPECT_FALSE(r.started.empty());
            EXPECT_LE(r.started, r.ended);
        }
    }
}

// A Configurations folder this computer cannot write (here a file in its
// place, which stops root too): the camera is left alone, and the report
// says which folder, not only "Cannot save config.".
TEST_F(BatchReportCommand, ASaveThisComputerCannotWriteNamesItsFolder) {
    const fs::path configurations = folder.programFiles / "VEXA" / "QRV FirmwareUpgrade" / "Configurations";
    fs::create_directories(configurations.parent_path());
    std::ofstream(configurations, std::ios::binary) << "in the folder's place";
    SimProcess sim(Camera("127.0.0.2", "serial=100501 mac=08:00:23:00:05:01"), kScale);
    const fs::path report = folder.root / "report.json";
    const CommandRun run = Run("batch 127.0.0.2 --user admin --password admin --retain --yes --time-scale 0.01 "
                               "--report " + report.string());
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    const std::map<std::string, Record> records = Read(report.string());
    ASSERT_EQ(records.count("127.0.0.2:80"), 1u) << run.out;
    const Record& r = records.at("127.0.0.2:80");
    EXPECT_EQ(r.stage, "15");
    EXPECT_EQ(r.upgraded, "false");
    EXPECT_EQ(r.config, "none");
    EXPECT_TRUE(r.result.starts_with("QRV-K7(127.0.0.2) Cannot save config. (Cannot create the folder of ")) << r.result;
    EXPECT_NE(r.result.find("Configurations"), std::string::npos) << r.result;
    for (const SimEvent& event : sim.Events()) EXPECT_NE(event.path, "/command/versionup.cgi");
}

TEST_F(BatchReportCommand, SkipCurrentLeavesCamerasOnTheCarriedVersionAlone) {
    const std::string fleet = Camera("127.0.0.2", "serial=100501 mac=08:00:23:00:05:01 version=1.30") +
                              Camera("127.0.0.3:8080", "serial=100502 mac=08:00:23:00:05:02") +
                              Camera("127.0.0.4", "serial=100503 mac=08:00:23:00:05:03 version=1.30");
    const struct {
        std::string flag;
        bool skips;
    } cases[] = {{" --skip-current", true}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flag);
        SimProcess sim(fleet, kScale);
        const CommandRun run = Run("batch 127.0.0.2 127.0.0.3:8080 127.0.0.4 --user admin --password admin --yes "
                                   "--time-scale 0.01 --report " + (folder.root / "r.csv").string() + c.flag);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        const std::map<std::string, Record> records = Read((folder.root / "r.csv").string());
        ASSERT_EQ(records.size(), 3u);
        for (const std::string camera : {"127.0.0.2:80", "127.0.0.4:80"}) {
            const std::string address = camera.substr(0, camera.size() - 3);
            const bool skipLine = run.out.find("skipped " + address + ": already 1.30\n") != std::string::npos;
            EXPECT_EQ(skipLine, c.skips) << run.out;
            EXPECT_EQ(RequestsTo(sim, camera, "/command/versionup.cgi").empty(), c.skips) << camera;
            EXPECT_EQ(records.at(camera).upgraded, c.skips ? "false" : "true");
            EXPECT_EQ(records.at(camera).result, c.skips ? "skipped " + address + ": already 1.30"
                                                         : "QRV-K7(" + address + ") Completed successfully.");
        }
        EXPECT_EQ(records.at("127.0.0.3:8080").upgraded, "true");
        EXPECT_EQ(RequestsTo(sim, "127.0.0.3:8080", "/command/versionup.cgi").size(), 1u);
    }
}

TEST_F(BatchReportCommand, SkipCurrentWithEveryCameraCurrentUploadsNothingAndSucceeds) {
    SimProcess sim(Camera("127.0.0.2", "serial=100501 mac=08:00:23:00:05:01 version=1.30"), kScale);
    const CommandRun run = Run("batch --user admin --password admin --seconds 0.4 --yes --skip-current "
                               "--time-scale 0.01 --report -");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.err.find("skipped 127.0.0.2: already 1.30\n"), std::string::npos) << "other output goes to stderr";
    const std::map<std::string, Record> records = Read("-", run.out);
    ASSERT_EQ(records.size(), 1u) << run.out;
    EXPECT_EQ(records.begin()->second.mac, "08:00:23:00:05:01");
    EXPECT_TRUE(RequestsTo(sim, "127.0.0.2:80", "/command/versionup.cgi").empty());
}

TEST_F(BatchReportCommand, AnInterruptedBatchStillLeavesAValidReport) {
    const std::string fleet = Camera("127.0.0.2", "serial=100501 mac=08:00:23:00:05:01") +
                              Camera("127.0.0.3", "serial=100502 mac=08:00:23:00:05:02") +
                              Camera("127.0.0.4", "serial=100503 mac=08:00:23:00:05:03");
    const struct {
        std::string command;
        std::string signal;
        std::size_t cameras;
    } cases[] = {
#ifndef _WIN32  // wine ends a Windows program on SIGTERM without a console event
        {"batch 127.0.0.2 127.0.0.3 127.0.0.4", "TERM", 3},
#endif
        {"batch 127.0.0.2 127.0.0.3 127.0.0.4", "INT", 3},
        {"upgrade 127.0.0.2", "INT", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command + " " + c.signal);
        SimProcess sim(fleet, kScale);
        const std::string name = c.command.substr(0, c.command.find(' ')) + "-" + c.signal;
        const fs::path report = folder.root / ("interrupted-" + name + ".json");
        const fs::path out = folder.root / (name + ".out");
        // The signal comes once the first upload is under way, as a user's
        // Ctrl+C would. Wine hands SIGINT to a Windows program as the
        // console's Ctrl+C.
        const fs::path script = folder.root / "interrupt.sh";
#ifdef _WIN32
        const std::string launcher = "wine ";
#else
        const std::string launcher;
#endif
        std::ofstream(script, std::ios::binary)
            << launcher << "'" QRV_CLI_PATH "' " << c.command << " --user admin --password admin"
            << " --retain --yes --time-scale 0.01 --report '" << report.string() << "' >'" << ShellPath(out)
            << "' 2>&1 &\npid=$!\nwhile ! grep -q Uploading '" << ShellPath(out) << "'; do sleep 0.02; done\nkill -"
            << c.signal << " $pid\nwait $pid\necho exit=$?\n";
        const CommandRun run = RunCommand("/bin/sh", "'" + ShellPath(script) + "'", folder.root);
        const std::string printed = ReadWholeFile(out);
        EXPECT_NE(run.out.find("exit=130"), std::string::npos) << run.out << run.err << printed;
        EXPECT_NE(printed.find("Interrupted."), std::string::npos) << printed;  // CR LF on Windows
        const std::map<std::string, Record> records = Read(report.string());
        ASSERT_EQ(records.size(), c.cameras) << printed;
        for (const auto& [camera, r] : records) {
            SCOPED_TRACE(camera);
            EXPECT_EQ(r.finished, "false");
            EXPECT_EQ(r.upgraded, "false");
            EXPECT_EQ(r.ended, "");
            EXPECT_TRUE(r.versionAfter.empty()) << "nothing came back before the interrupt";
        }
        EXPECT_FALSE(records.at("127.0.0.2:80").started.empty()) << "the first camera had started";
    }
}

TEST_F(BatchReportCommand, AManualUpgradeReportsItsOneCameraOnStandardOutput) {
    const struct {
        std::string fault;
        std::string upgraded;
        std::string config;
        int exitCode;
    } cases[] = {
        {"", "true", "restored, kept", 0},
        // Back on the old version: that version is on record, not an empty one.
        {" fault=reboot-old", "false", "not restored, kept", 1},
        // Refused at the probe: on record all the same, with the refusal.
        {" fault=always401", "false", "none", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        SimProcess sim(Camera("127.0.0.2", "serial=100501" + c.fault), kScale);
        const CommandRun run =
            Run("upgrade 127.0.0.2 --user admin --password admin --backup --yes --time-scale 0.01 --report -");
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        const std::map<std::string, Record> records = Read("-", run.out);
        ASSERT_EQ(records.size(), 1u) << run.out;
        const Record& r = records.at("127.0.0.2:80");
        EXPECT_EQ(r.upgraded, c.upgraded);
        // The version the camera came back with, as the simulator saw it.
        EXPECT_EQ(r.versionAfter, Observed(sim, "127.0.0.2:80").first);
        EXPECT_EQ(r.config, c.config);
        EXPECT_EQ(r.finished, "true");
        EXPECT_FALSE(r.result.empty());
    }
}

}  // namespace
}  // namespace qrv::test
