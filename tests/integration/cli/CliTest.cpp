// qrv-firmware-upgrade-cli against simulated cameras: what it prints, what it
// answers with, and what the camera ends up with. The commands run in-process
// (qrv_cli); the program itself is started for its exit codes.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/TestFolder.h"
#include "tests/support/CommandRun.h"
#include "tests/integration/cli/InProcessCli.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestEnvironment.h"

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

using CliRun = CommandRun;

std::string Camera(const std::string& address, const std::string& extra = "") {
    return address + " model=QRV-K7 serial=100200 mac=08:00:23:00:00:01 version=1.20 newversion=1.30 " +
           (extra.find("admin=") == std::string::npos ? "admin=admin:admin " : "") + extra + "\n";
}

struct Cli : ::testing::Test {
    CommandFolder folder;
    const fs::path& dir = folder.root;

    // Runs the command line with `args` (no terminal on stdin): in-process,
    // or the program itself.
    CliRun RunCli(const std::string& args) const { return RunInProcess(args); }
    CliRun RunProgram(const std::string& args) const { return RunCommand(QRV_CLI_PATH, args, dir); }
    std::vector<fs::path> SavedFiles() const { return folder.Files(); }
};

size_t Count(const SimProcess& sim, const std::string& kind, const std::string& what, bool ok) {
    size_t n = 0;
    for (const SimEvent& event : sim.Events()) {
        if (event.kind == kind && event.what == what && event.ok == ok) ++n;
    }
    return n;
}

TEST_F(Cli, ProbePrintsWhatTheCameraIsAndMayBeUpgraded) {
    SimProcess sim(Camera("127.0.0.2", "doctype=g3") + Camera("127.0.0.3:8080"), 0.01);
    const CliRun run = RunCli("probe 127.0.0.2 --user admin --password admin");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "model=QRV-K7\nserial=100200\nversion=ver1.20\ndoctype=g3\nslot=1\nemergency=no\nadmin=ok\n");
    EXPECT_EQ(run.err, "");
    const CliRun custom = RunCli("probe 127.0.0.3:8080 --user admin --password admin");
    EXPECT_EQ(custom.exitCode, 0) << custom.err;
    EXPECT_NE(custom.out.find("slot=0\n"), std::string::npos);
}

TEST_F(Cli, ProbeRefusalsExitOneWithTheBoxesOnStandardError) {
    SimProcess sim(Camera("127.0.0.2") + Camera("127.0.0.3", "version=emergency"), 0.01);
    const CliRun wrong = RunCli("probe 127.0.0.2 --user admin --password nope");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.out.find("admin=refused\n"), std::string::npos);
    EXPECT_EQ(wrong.err,
              "Information: Please enter correct user name and password for the administrator.\n"
              "Information: This firmware is not suitable for the target camera.\n");
    const CliRun missing = RunCli("probe 127.0.0.4 --user admin --password admin");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Information: This program works for the QRV-K7. Please select the correct camera.\n"),
              std::string::npos);
    const CliRun emergency = RunCli("probe 127.0.0.3 --user someone --password else");
    EXPECT_EQ(emergency.exitCode, 0) << emergency.err;
    EXPECT_NE(emergency.out.find("version=unknown\n"), std::string::npos);
    EXPECT_NE(emergency.out.find("emergency=yes\n"), std::string::npos);
    EXPECT_NE(emergency.out.find("admin=skipped\n"), std::string::npos);
}

// The program's exit codes for a usage error, help and version; the texts
// and every option's reading are tests/unit/cli's.
TEST_F(Cli, UsageErrorsExitTwoWithoutTouchingTheNetwork) {
    SimProcess sim(Camera("127.0.0.2"), 0.01);
    for (const std::string args : {"", "probe", "probe 127.0.0.2 --user admin", "probe 127.0.0.2:80x --user a --password b",
                                   "probe 127.0.0.2:1023 --user a --password b", "probe host.example --user a --password b",
                                   "upgrade 127.0.0.2 --user a --password b --retain --backup", "frobnicate",
                                   "upgrade 127.0.0.2 --user a --password b --time-scale -1",
                                   "probe 127.0.0.2 --user a --password b --bogus",
                                   "batch 127.0.0.2 --user a --password b --parallel=0"}) {
        const CliRun run = RunProgram(args);
        EXPECT_EQ(run.exitCode, 2) << args;
        EXPECT_EQ(run.out, "") << args;
        EXPECT_EQ(run.err.rfind("qrv-firmware-upgrade-cli: ", 0), 0u) << args << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << "\n" << run.err;
    }
    const std::vector<SimEvent> events = sim.Events();
    EXPECT_TRUE(std::none_of(events.begin(), events.end(), [](const SimEvent& e) { return e.kind == "request"; }));
}

TEST_F(Cli, HelpAndVersionExitZero) {
    for (const std::string args : {"--help", "-h", "upgrade --help", "batch -h", "--version"}) {
        const CliRun run = RunProgram(args);
        EXPECT_EQ(run.exitCode, 0) << args;
        EXPECT_NE(run.out, "") << args;
        EXPECT_EQ(run.err, "") << args;
    }
    EXPECT_NE(RunProgram("--version").out.find("ver1.30"), std::string::npos);
}

TEST_F(Cli, UpgradeWithRetainBringsTheCameraAndItsSettingsBack) {
    SimProcess sim(Camera("127.0.0.2", "admin=inst:secret user=op:op:3"), 0.01);
    const CliRun run = RunCli("upgrade 127.0.0.2 --user inst --password secret --retain --yes --time-scale 0.01");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "Information: Proceed to the firmware upgrade?\n");
    for (const char* line : {"Current version: ver1.20\n", "New version: ver1.30\n", "Retain the current settings.\n",
                             "Saving config file\n", "Uploading\n", "Overwriting\n", "Loading config file\n",
                             "Reconfiguring\n", "Target camera version is \"1.30\"."}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n---\n" << run.out;
    }
    EXPECT_LT(run.out.find("Uploading"), run.out.find("Loading config file"));
    EXPECT_EQ(Count(sim, "verdict", "restore", true), 1u);
    EXPECT_TRUE(SavedFiles().empty()) << "Retain deletes the saved file";
    // The camera answers with the installer's account again.
    const CliRun probe = RunCli("probe 127.0.0.2 --user inst --password secret");
    EXPECT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_NE(probe.out.find("version=ver1.30\n"), std::string::npos);
}

TEST_F(Cli, UpgradeWithBackupKeepsTheSavedFile) {
    SimProcess sim(Camera("127.0.0.2"), 0.01);
    const CliRun run = RunCli("upgrade 127.0.0.2 --user admin --password admin --backup --yes --time-scale 0.01");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(SavedFiles().size(), 1u);
    EXPECT_EQ(SavedFiles()[0].filename().string(), "qrv-k7.100200.cfg");
}

TEST_F(Cli, UpgradeThatIsNotConfirmedSendsNothing) {
    SimProcess sim(Camera("127.0.0.2"), 0.01);
    const CliRun run = RunCli("upgrade 127.0.0.2 --user admin --password admin --time-scale 0.01");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Information: Proceed to the firmware upgrade?\n");
    EXPECT_EQ(Count(sim, "verdict", "upload", true), 0u);
}

TEST_F(Cli, UpgradeIntoTheOldVersionFails) {
    SimProcess sim(Camera("127.0.0.2", "fault=reboot-old"), 0.01);
    const CliRun run = RunCli("upgrade 127.0.0.2 --user admin --password admin --yes --time-scale 0.01");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Information: Version up error.\n"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace qrv::test
