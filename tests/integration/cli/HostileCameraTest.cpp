// The command line against cameras that answer badly on purpose: saves that
// are empty, web pages, redirects, cut short, dripped or endless; restores
// that are always refused; texts with control characters and formulas; and
// the program itself stopped by SIGKILL, SIGINT or SIGTERM in the middle of
// a save. Every run is a child the test can signal and wait for with a
// limit, so a save that never ends fails the test instead of hanging it
// (POSIX only: a spawned child and signals).

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/CommandRun.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestFolder.h"

namespace qrv::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr double kScale = 0.01;
const std::string kScaleOption = "0.01";
const std::string kVersionUp = "/command/versionup.cgi";
const std::string kRestorePath = "/command/all-configuration.cgi";

// At --time-scale 0.01 a save is cut at 1.2 s; probe and save of one camera
// end well inside this. A config-drip:500 file alone takes 20 s to drip.
constexpr milliseconds kOneCameraLimit{10000};
constexpr milliseconds kBatchLimit{20000};

// The command line as a child the test can signal, waited for at most a given
// time (then killed), with what it printed.
class Cli {
public:
    Cli(const std::vector<std::string>& args, const fs::path& scratch, const std::string& name)
        : process_(QRV_CLI_PATH, args, scratch, name) {}
    void Signal(int signal) { process_.Kill(signal); }

    struct Ending : ChildProcess::Ending {
        std::string out, err;
    };
    Ending Wait(milliseconds limit) {
        Ending ending{process_.Wait(limit), {}, {}};
        ending.out = process_.Output();
        ending.err = process_.Errors();
        return ending;
    }

private:
    ChildProcess process_;
};

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string CameraLine(const std::string& address, int serial, const std::string& faults = "") {
    const std::string last = std::to_string(serial % 100);
    return address + " serial=" + std::to_string(serial) + " mac=08:00:23:00:07:" + (last.size() < 2 ? "0" : "") +
           last + " admin=admin:admin " + faults + "\n";
}

std::vector<SimEvent> EventsOf(const SimProcess& sim, const std::string& camera, const std::string& kind) {
    std::vector<SimEvent> out;
    for (const SimEvent& e : sim.Events()) {
        if (e.camera == camera && e.kind == kind) out.push_back(e);
    }
    return out;
}

size_t RequestsTo(const SimProcess& sim, const std::string& camera, const std::string& path) {
    const std::vector<SimEvent> requests = EventsOf(sim, camera, "request");
    return static_cast<size_t>(
        std::count_if(requests.begin(), requests.end(), [&](const SimEvent& e) { return e.path == path; }));
}

// The fault names the camera's configuration answers went out with.
std::vector<std::string> ConfigFaults(const SimProcess& sim, const std::string& camera) {
    std::vector<std::string> faults;
    for (const SimEvent& e : EventsOf(sim, camera, "verdict")) {
        if (e.what == "config") faults.push_back(e.Field("fault"));
    }
    return faults;
}

// Bytes a terminal would act on: any below 0x20 but LF and tab, and DEL.
std::string ControlBytesIn(const std::string& text) {
    std::string found;
    for (const unsigned char c : text) {
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            found += hex;
        }
    }
    return found;
}

// The raw cells of a CSV text (quotes kept off, a doubled quote read as one).
std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                rows.back().back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                rows.back().back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        } else if (c == '\n') {
            rows.emplace_back(1);
        } else {
            rows.back().back() += c;
        }
    }
    if (rows.back().size() == 1 && rows.back().front().empty()) rows.pop_back();
    return rows;
}

// One record of a JSON report as Python's json module reads it.
struct Record {
    std::string stage, upgraded, config, configFile;
};

class HostileCamera : public ::testing::Test {
protected:
    // `words` split at blanks, then `more` as they are (paths may hold blanks).
    Cli::Ending Run(const std::string& words, milliseconds limit, const std::string& name = "cli",
                    const std::vector<std::string>& more = {}) const {
        std::vector<std::string> args = Words(words);
        args.insert(args.end(), more.begin(), more.end());
        Cli cli(args, folder.root, name);
        return cli.Wait(limit);
    }

    // Every file below the program's folder in ProgramFiles, by name.
    std::vector<std::string> LeftFiles() const {
        std::vector<std::string> names;
        for (const fs::path& file : folder.Files()) names.push_back(file.filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<fs::path> FilesEndingIn(const std::string& tail) const {
        std::vector<fs::path> files;
        for (const fs::path& file : folder.Files()) {
            if (file.filename().string().ends_with(tail)) files.push_back(file);
        }
        return files;
    }
    void ForgetSavedFiles() const { fs::remove_all(folder.programFiles / "VEXA"); }

    // The records of a JSON report by "address:port"; empty when it does not parse.
    std::map<std::string, Record> ReadJson(const fs::path& report) const {
        const fs::path script = folder.root / "read-report.py";
        std::ofstream(script, std::ios::binary)
            << "import json, sys\n"
               "doc = json.load(open(sys.argv[1]))\n"
               "for r in doc['records']:\n"
               "    print('\\t'.join([r['address'] + ':' + str(r['port']), str(r['stage']), str(r['upgraded']).lower(),\n"
               "                     r['config'], r['config_file']]))\n";
        const CommandRun run =
            RunCommand("/usr/bin/python3", "'" + script.string() + "' '" + report.string() + "'", folder.root);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        std::map<std::string, Record> records;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> f;
            std::istringstream cells(line);
            for (std::string cell; std::getline(cells, cell, '\t');) f.push_back(cell);
            f.resize(5);
            records[f[0]] = Record{f[1], f[2], f[3], f[4]};
        }
        return records;
    }

    // Waits until the save's .part file exists; its path, or empty.
    fs::path WaitForPart(milliseconds limit) const {
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline) {
            std::error_code none;
            for (const auto& entry : fs::recursive_directory_iterator(folder.programFiles / "VEXA", none)) {
                if (entry.path().filename().string().ends_with(".cfg.part")) return entry.path();
            }
            std::this_thread::sleep_for(milliseconds(2));
        }
        return {};
    }

    CommandFolder folder;
};

std::string Log(const Cli::Ending& run) {
    return "exit " + std::to_string(run.exitCode) + " signal " + std::to_string(run.signal) + " after " +
           std::to_string(run.took.count()) + " ms\n--- stdout\n" + run.out + "--- stderr\n" + run.err;
}

// ---- configuration saves that are no configuration -------------------------------

struct BadSave {
    std::string fault;    // as in the fleet file
    std::string address;  // its camera
    int serial;
};

const std::vector<BadSave> kBadSaves = {
    {"config-empty", "127.0.0.3", 100703},     {"config-html-lower", "127.0.0.4", 100704},
    {"config-redirect", "127.0.0.5", 100705},  {"config-cut", "127.0.0.6", 100706},
    {"config-drip:500", "127.0.0.7", 100707},  {"config-endless", "127.0.0.8", 100708},
};

TEST_F(HostileCamera, ABadConfigurationAnswerSavesNothingAndSendsNoFirmware) {
    // Two good cameras, one for each batch, and one camera per fault.
    std::string fleet = CameraLine("127.0.0.2", 100702) + CameraLine("127.0.0.9", 100709);
    for (const BadSave& bad : kBadSaves) fleet += CameraLine(bad.address, bad.serial, "fault=" + bad.fault);
    SimProcess sim(fleet, kScale);
    const std::string account = " --user admin --password admin --time-scale " + kScaleOption;

    // One camera at a time: backup, then an upgrade that was to keep the settings.
    for (const BadSave& bad : kBadSaves) {
        SCOPED_TRACE(bad.fault);
        const std::string camera = bad.address + ":80";
        const std::string faultName = bad.fault.substr(0, bad.fault.find(':'));
        struct Command {
            std::string args;
            std::vector<std::string> err;  // parts of standard error
        };
        const Command commands[] = {
            {"backup " + bad.address + account, {"Information: Cannot save camera's configuration!\n"}},
            {"upgrade " + bad.address + account + " --retain --yes",
             {"Information: Cannot save camera's configuration!\n", " No firmware was sent.\n"}},
        };
        for (const Command& command : commands) {
            SCOPED_TRACE(command.args);
            const size_t savesBefore = ConfigFaults(sim, camera).size();
            const Cli::Ending run = Run(command.args, kOneCameraLimit);
            EXPECT_FALSE(run.overran) << "the save was not bounded\n" << Log(run);
            EXPECT_EQ(run.exitCode, 1) << Log(run);
            for (const std::string& part : command.err) {
                EXPECT_NE(run.err.find(part), std::string::npos) << Log(run);
            }
            // The reason follows the message on a line of its own.
            const std::string message = "configuration!\n";
            const size_t at = run.err.find(message);
            EXPECT_TRUE(at != std::string::npos && run.err.size() > at + message.size() &&
                        run.err[at + message.size()] != '\n')
                << "no reason given\n" << Log(run);
            EXPECT_EQ(LeftFiles(), std::vector<std::string>{}) << "neither .cfg nor .part may be left";
            // The camera really answered with its fault, and got no firmware.
            const std::vector<std::string> faults = ConfigFaults(sim, camera);
            ASSERT_GT(faults.size(), savesBefore) << "no configuration request reached the camera";
            EXPECT_EQ(faults.back(), faultName);
            EXPECT_EQ(RequestsTo(sim, camera, kVersionUp), 0u);
        }
    }

    // Batches of four: one good camera and three faulty ones each.
    const std::vector<std::string> goodCameras = {"127.0.0.2", "127.0.0.9"};
    for (size_t b = 0; b < goodCameras.size(); ++b) {
        const std::vector<BadSave> bad(kBadSaves.begin() + static_cast<long>(3 * b),
                                       kBadSaves.begin() + static_cast<long>(3 * b + 3));
        std::string args = "batch " + goodCameras[b];
        for (const BadSave& camera : bad) args += " " + camera.address;
        const fs::path report = folder.root / ("batch" + std::to_string(b) + ".json");
        SCOPED_TRACE(args);
        const Cli::Ending run =
            Run(args + account + " --retain --yes", kBatchLimit, "batch", {"--report", report.string()});
        EXPECT_FALSE(run.overran) << "the batch's saves were not bounded\n" << Log(run);
        EXPECT_EQ(run.exitCode, 1) << Log(run);
        const std::map<std::string, Record> records = ReadJson(report);
        ASSERT_EQ(records.size(), 4u) << Log(run);
        const std::string good = goodCameras[b] + ":80";
        EXPECT_EQ(records.at(good).stage, "9") << Log(run);
        EXPECT_EQ(records.at(good).upgraded, "true");
        EXPECT_EQ(records.at(good).config, "restored, deleted");
        EXPECT_EQ(RequestsTo(sim, good, kVersionUp), 1u);
        for (const BadSave& camera : bad) {
            SCOPED_TRACE(camera.fault);
            const std::string key = camera.address + ":80";
            EXPECT_EQ(records.at(key).stage, "15") << Log(run);
            EXPECT_EQ(records.at(key).upgraded, "false");
            EXPECT_EQ(records.at(key).config, "none");
            EXPECT_EQ(records.at(key).configFile, "");
            EXPECT_EQ(RequestsTo(sim, key, kVersionUp), 0u);
            for (const std::string& name : LeftFiles()) {
                EXPECT_EQ(name.find(std::to_string(camera.serial)), std::string::npos) << name << " was left";
            }
        }
        // The good camera's file went once its settings were back.
        EXPECT_EQ(LeftFiles(), std::vector<std::string>{});
    }
}

// ---- settings the camera never takes back ------------------------------------------

TEST_F(HostileCamera, SettingsNeverRestoredFailTheRunAndTheFileIsKept) {
    SimProcess sim(CameraLine("127.0.0.2", 100712, "fault=restore-reject:4") +
                       CameraLine("127.0.0.3", 100713, "fault=restore-reject:4"),
                   kScale);
    const std::string account = " --user admin --password admin --retain --yes --time-scale " + kScaleOption;

    // upgrade: says so and names the kept file.
    {
        const Cli::Ending run = Run("upgrade 127.0.0.2" + account, kBatchLimit);
        EXPECT_FALSE(run.overran) << Log(run);
        EXPECT_EQ(run.exitCode, 1) << Log(run);
        const std::string lead = "The settings were not restored; they are kept in ";
        const size_t at = run.err.find(lead);
        ASSERT_NE(at, std::string::npos) << Log(run);
        const size_t end = run.err.find(" for the restore command.", at);
        ASSERT_NE(end, std::string::npos) << Log(run);
        const fs::path kept = run.err.substr(at + lead.size(), end - at - lead.size());
        EXPECT_EQ(kept.filename().string(), "qrv-k7.100712.cfg");
        ASSERT_TRUE(fs::is_regular_file(kept)) << kept;
        EXPECT_EQ(fs::file_size(kept), 4096u);
        EXPECT_EQ(RequestsTo(sim, "127.0.0.2:80", kVersionUp), 1u);
        EXPECT_EQ(RequestsTo(sim, "127.0.0.2:80", kRestorePath), 4u) << "every try was made";
    }
    // batch: the same camera's fate fails the batch, and the record names the file.
    {
        const fs::path report = folder.root / "reject.json";
        const Cli::Ending run = Run("batch 127.0.0.3" + account, kBatchLimit, "batch", {"--report", report.string()});
        EXPECT_FALSE(run.overran) << Log(run);
        EXPECT_EQ(run.exitCode, 1) << Log(run);
        const std::map<std::string, Record> records = ReadJson(report);
        ASSERT_EQ(records.count("127.0.0.3:80"), 1u) << Log(run);
        const Record& r = records.at("127.0.0.3:80");
        EXPECT_EQ(r.stage, "16");
        EXPECT_EQ(r.upgraded, "true");
        EXPECT_EQ(r.config, "not restored, kept");
        EXPECT_TRUE(fs::is_regular_file(r.configFile)) << r.configFile;
    }
}

// ---- the program stopped during a save -----------------------------------------------

TEST_F(HostileCamera, AStoppedSaveLeavesNoWholeLookingFile) {
    // The camera drips its 4096 bytes 5 ms apart: 20 s. The program runs at
    // its own time scale (1), so its save limit (2 minutes) does not end the
    // save first: whatever ends it here is the signal.
    SimProcess sim(CameraLine("127.0.0.2", 100722, "fault=config-drip:500"), kScale);
    const std::string account = " --user admin --password admin";
    struct Case {
        std::string args;
        int signal;
    };
    const Case cases[] = {
        {"backup 127.0.0.2" + account, SIGKILL},
        {"batch 127.0.0.2" + account + " --retain --yes", SIGKILL},
        {"backup 127.0.0.2" + account, SIGINT},
        {"backup 127.0.0.2" + account, SIGTERM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args + " / signal " + std::to_string(c.signal));
        ForgetSavedFiles();
        Cli cli(Words(c.args), folder.root, "stopped");
        const fs::path part = WaitForPart(milliseconds(10000));
        ASSERT_FALSE(part.empty()) << "the save never began";
        std::this_thread::sleep_for(milliseconds(100));  // some bytes are in
        const auto signalled = Clock::now();
        cli.Signal(c.signal);
        const Cli::Ending run = cli.Wait(milliseconds(5000));
        const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - signalled);
        EXPECT_EQ(RequestsTo(sim, "127.0.0.2:80", kVersionUp), 0u);
        EXPECT_TRUE(FilesEndingIn(".cfg").empty()) << "a file named as a whole save exists";
        if (c.signal == SIGKILL) {
            EXPECT_EQ(run.signal, SIGKILL) << Log(run);
            // Only the partial file is there, and restore will not send it.
            const std::vector<fs::path> parts = FilesEndingIn(".cfg.part");
            ASSERT_EQ(parts.size(), 1u);
            EXPECT_EQ(parts.front().string(), part.string());
            EXPECT_LT(fs::file_size(part), 4096u);
            EXPECT_EQ(fs::status(part).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
            const Cli::Ending restore = Run("restore 127.0.0.2 --yes --time-scale " + kScaleOption, kOneCameraLimit,
                                            "restore", {"--file", part.string()});
            EXPECT_EQ(restore.exitCode, 2) << Log(restore);
            EXPECT_NE(restore.err.find("a save that never finished"), std::string::npos) << Log(restore);
            EXPECT_EQ(RequestsTo(sim, "127.0.0.2:80", kRestorePath), 0u);
        } else {
            EXPECT_EQ(run.exitCode, 130) << Log(run);
            EXPECT_LT(took.count(), 2000) << Log(run);
            EXPECT_NE(run.out.find("Interrupted.\n"), std::string::npos) << Log(run);
            EXPECT_EQ(LeftFiles(), std::vector<std::string>{}) << "the .part must go with the save";
        }
    }
}

// ---- texts that a terminal or a spreadsheet would act on -----------------------------

TEST_F(HostileCamera, ControlCharactersAndFormulasFromCamerasStayInert) {
    SimProcess sim(CameraLine("127.0.0.2", 100732, "fault=text-control") +
                       CameraLine("127.0.0.3", 100733, "fault=version-formula"),
                   kScale);
    const std::string account = " --user admin --password admin --time-scale " + kScaleOption;
    const auto expectClean = [](const Cli::Ending& run) {
        EXPECT_EQ(ControlBytesIn(run.out), "") << Log(run);
        EXPECT_EQ(ControlBytesIn(run.err), "") << Log(run);
    };
    for (const std::string address : {"127.0.0.2", "127.0.0.3"}) {
        SCOPED_TRACE(address);
        const Cli::Ending probe = Run("probe " + address + account, kOneCameraLimit);
        EXPECT_EQ(probe.exitCode, 0) << Log(probe);
        expectClean(probe);
    }
    // The faults did reach the program.
    size_t marked = 0;
    for (const SimEvent& e : sim.Events()) {
        marked += e.kind == "verdict" && e.what == "inquiry" && !e.Field("fault").empty() ? 1 : 0;
    }
    EXPECT_GE(marked, 2u);

    const fs::path report = folder.root / "r.csv";
    const Cli::Ending batch =
        Run("batch 127.0.0.2 127.0.0.3" + account + " --yes", kBatchLimit, "batch", {"--report", report.string()});
    EXPECT_FALSE(batch.overran) << Log(batch);
    EXPECT_EQ(batch.exitCode, 1) << "the formula camera never reports the carried version\n" << Log(batch);
    expectClean(batch);
    const std::vector<std::vector<std::string>> rows = CsvRows(ReadWholeFile(report));
    ASSERT_EQ(rows.size(), 3u) << ReadWholeFile(report);
    const std::vector<std::string>& header = rows.front();
    const auto column = [&](const std::string& name) {
        return static_cast<size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    };
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), header.size());
        for (const std::string& cell : rows[i]) {
            EXPECT_TRUE(cell.empty() || std::string("=+-@\t\r").find(cell.front()) == std::string::npos)
                << "a cell a spreadsheet would run: " << cell;
        }
        if (rows[i][column("address")] == "127.0.0.3") {
            EXPECT_EQ(rows[i][column("version_before")], "'=1+2");
            EXPECT_EQ(rows[i][column("version_after")], "'=1+2");
        }
    }
    // The report is read back: the formula camera failed and is retried.
    const Cli::Ending retry = Run("batch" + account + " --yes", kBatchLimit, "retry", {"--retry-failed", report.string()});
    EXPECT_FALSE(retry.overran) << Log(retry);
    EXPECT_NE(retry.exitCode, 2) << Log(retry);
    EXPECT_EQ(retry.err.find("Cannot retry"), std::string::npos) << Log(retry);
    EXPECT_NE(retry.out.find("Retrying 1 of the 2 cameras of the report.\n"), std::string::npos) << Log(retry);
    EXPECT_NE(retry.out.find("127.0.0.3\t"), std::string::npos) << Log(retry);
    EXPECT_EQ(retry.out.find("127.0.0.2\t"), std::string::npos) << "the upgraded camera is left alone\n" << Log(retry);
    expectClean(retry);
}

}  // namespace
}  // namespace qrv::test

#endif  // the runs need posix_spawn and signals
