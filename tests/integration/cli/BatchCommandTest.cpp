// qrv-firmware-upgrade-cli batch against simulated cameras: discovered, given
// or listed cameras, the confirmation, the upgrade log and the exit code. The
// command runs in-process (qrv_cli); the program itself for a list on its
// standard input. Its options' reading is tests/unit/cli's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/integration/engine/SimTestSupport.h"
#include "tests/support/CommandRun.h"
#include "tests/integration/cli/InProcessCli.h"
#include "tests/support/SimSchedule.h"

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

using CliRun = CommandRun;

class BatchCommand : public ::testing::Test {
protected:
    CliRun Run(const std::string& args) const { return RunInProcess("batch " + args); }
    int SavedConfigurations() const {
        int count = 0;
        for (const fs::path& file : folder.Files()) count += file.extension() == ".cfg" ? 1 : 0;
        return count;
    }
    static bool EndsWith(const std::string& text, const std::string& tail) {
        return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    }

    // Writes a camera list into the test's folder and returns its path.
    std::string List(const std::string& name, const std::string& text) const {
        const fs::path path = folder.root / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    static std::string Lines(int count, int firstThirdOctet) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += "127.0." + std::to_string(firstThirdOctet + i / 200) + "." + std::to_string(1 + i % 200) + "\r\n";
        }
        return text;
    }

    // From the status lines a batch prints ("001\t127.0.0.2\tUploading"):
    // the most rows saving or uploading at one moment.
    static int MostTransferringAtOnce(const std::string& out) {
        std::map<std::string, std::string> status;
        std::istringstream lines(out);
        int most = 0;
        for (std::string line; std::getline(lines, line);) {
            const std::size_t tab = line.rfind('\t');
            if (line.size() < 4 || line[3] != '\t' || tab == 3) continue;
            status[line.substr(0, 3)] = line.substr(tab + 1);
            int now = 0;
            for (const auto& [row, text] : status) now += text == "Saving config file" || text == "Uploading" ? 1 : 0;
            most = std::max(most, now);
        }
        return most;
    }

    CommandFolder folder;  // the saved configurations go below its ProgramFiles
};

TEST_F(BatchCommand, DiscoveredCamerasAreUpgradedAndTheLogPrinted) {
    SimProcess sim(Camera("127.0.0.2", "serial=100501 mac=08:00:23:00:05:01") +
                       Camera("127.0.0.3", "serial=100502 mac=08:00:23:00:05:02 dhcp=on"),
                   kScale);
    const CliRun run = Run("--user admin --password admin --seconds 0.4 --backup --yes --time-scale 0.01");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.err.find("Information: Proceed to the firmware upgrade?"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("001\t127.0.0.2\tUploading\n"), std::string::npos) << run.out;
    EXPECT_TRUE(EndsWith(run.out, "Proceeded: 2/2\n"
                                  "QRV-K7(127.0.0.2) Completed successfully.\n"
                                  "QRV-K7(DHCP:127.0.0.3) Completed successfully.\n"))
        << run.out;
    EXPECT_EQ(SavedConfigurations(), 2) << "--backup keeps both saved configurations";
}

TEST_F(BatchCommand, GivenCamerasAreAskedFirstAndEveryFailureShows) {
    SimProcess sim(Camera("127.0.0.2", "serial=100501 mac=08:00:23:00:05:01") +
                       Camera("127.0.0.3:8080", "serial=100502 mac=08:00:23:00:05:02 admin=admin:other"),
                   kScale);
    const CliRun run = Run("127.0.0.2 127.0.0.3:8080 127.0.0.9 --user admin --password admin --yes --time-scale 0.01");
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("skipped 127.0.0.9: No response\n"), std::string::npos) << run.out;
    EXPECT_TRUE(EndsWith(run.out, "Proceeded: 2/2\n"
                                  "QRV-K7(127.0.0.2) Completed successfully.\n"
                                  "QRV-K7(127.0.0.3:8080) Login error.\n"))
        << run.out;
    EXPECT_EQ(SavedConfigurations(), 0) << "without --retain or --backup nothing is saved";
}

TEST_F(BatchCommand, WithoutConfirmationNothingIsUploaded) {
    SimProcess sim(Camera("127.0.0.2", "serial=100501 mac=08:00:23:00:05:01"), kScale);
    const CliRun run = Run("127.0.0.2 --user admin --password admin --time-scale 0.01");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(RequestsTo(sim, "127.0.0.2:80", "/command/versionup.cgi").empty());
}

TEST_F(BatchCommand, ParallelJobsRunUpToTheirNumberWithOneTransferAtATime) {
    // Slow writing and reboots keep jobs open while others transfer. A job
    // starts once the transfer before it has ended, so eight overlap only
    // when a job outlasts seven uploads: under wine an upload takes about
    // 0.4 s, and the cameras write longer there.
#ifdef _WIN32
    const std::string write = " write=150000";
#else
    const std::string write = " write=20000";
#endif
    std::string fleet;
    for (int i = 0; i < 12; ++i) {
        fleet += Camera("127.0.0." + std::to_string(2 + i), "serial=1006" + std::to_string(10 + i) + write);
    }
    struct Case {
        std::string parallel;  // "" for the default
        int most;
    };
    for (const Case& c : {Case{"", 2}, Case{" --parallel 8", 8}}) {
        SCOPED_TRACE(c.parallel);
        SimProcess sim(fleet, kScale);
        std::string cameras;
        for (int i = 0; i < 12; ++i) cameras += "127.0.0." + std::to_string(2 + i) + " ";
        const CliRun run = Run(cameras + "--user admin --password admin --retain --yes --time-scale 0.01" + c.parallel);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        const SimSchedule schedule = ScheduleOf(sim.Events());
        ASSERT_EQ(schedule.jobs.size(), 12u);
        EXPECT_EQ(schedule.transfers.size(), 24u) << "a save and an upload per camera";
        // The limit holds and is used: the cameras' long writing overlaps.
        EXPECT_EQ(MostAtOnce(schedule.jobs), c.most);
        // One save or upload at a time, by the stages the batch printed as
        // they changed, and by the cameras' log, where an upload ends when
        // its last bytes came in. (On Windows an upload counts as done when
        // its last piece was handed to WinHTTP, which may be before.)
        EXPECT_EQ(MostTransferringAtOnce(run.out), 1) << run.out;
#ifndef _WIN32
        EXPECT_EQ(MostAtOnce(schedule.transfers), 1);
#endif
    }
}

TEST_F(BatchCommand, ListedCamerasFromAFileOrStandardInputAreAskedAndUpgraded) {
    SimProcess sim(Camera("127.0.0.2", "serial=100501 mac=08:00:23:00:05:01") +
                       Camera("127.0.0.3:8080", "serial=100502 mac=08:00:23:00:05:02") +
                       Camera("127.0.0.4", "serial=100503 mac=08:00:23:00:05:03") +
                       Camera("127.0.0.5:8080", "serial=100504 mac=08:00:23:00:05:04"),
                   kScale);
    const std::string common = " --user admin --password admin --yes --time-scale 0.01";
    const std::string site = List("site.txt", "127.0.0.2\r\n\r\n127.0.0.3:8080\r\n");
    const std::string piped = List("piped.txt", "127.0.0.5,8080\n");
    const struct {
        CliRun run;
        std::string log;
    } cases[] = {
        {Run("--list " + site + common),
         "QRV-K7(127.0.0.2) Completed successfully.\nQRV-K7(127.0.0.3:8080) Completed successfully.\n"},
        {RunCommand(QRV_CLI_PATH, "batch 127.0.0.4 --list -" + common, folder.root, piped),
         "QRV-K7(127.0.0.4) Completed successfully.\nQRV-K7(127.0.0.5:8080) Completed successfully.\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.run.exitCode, 0) << c.run.out << c.run.err;
        EXPECT_TRUE(EndsWith(c.run.out, "Proceeded: 2/2\n" + c.log)) << c.run.out;
    }
}

TEST_F(BatchCommand, ARefusedUnreadableOrOversizedListStopsBeforeAnyCameraIsAsked) {
    SimProcess sim(Camera("127.0.0.2", "serial=100501 mac=08:00:23:00:05:01"), kScale);
    const std::string common = " --user admin --password admin --yes --time-scale 0.01";
    const std::string huge(1024 * 1024 + 1, '\n');  // a camera list is never this large
    const struct {
        std::string args;
        std::string err;
    } cases[] = {
        {"--list " + List("port.txt", "127.0.0.2\r\n\r\n127.0.0.2:1023\r\n"),
         "Information: Invalid address or port number.\nLine002:>127.0.0.2:1023\n"},
        {"--list " + List("space.txt", "127.0.0.2 \r\n"), "Information: Invalid format.\n"},
        {"--list " + List("mixed.txt", "127.0.0.2:8080\n127.0.0.3,8080\n"), "Information: Invalid format.\n"},
        {"--list " + (folder.root / "missing.txt").string(),
         "Cannot read the camera list '" + (folder.root / "missing.txt").string() + "': " + NoSuchFileText() + ".\n"},
        {"--list " + List("huge.txt", huge),
         "'" + (folder.root / "huge.txt").string() + "' is larger than 1 MiB: it is not a camera list.\n"},
#ifndef _WIN32
        // Refused before a byte is read: neither would ever end.
        {"--list /dev/zero", "'/dev/zero' is not a regular file.\n"},
        {"--list " + folder.root.string(), "'" + folder.root.string() + "' is not a regular file.\n"},
#endif
        {"127.0.0.2 --list " + List("250.txt", Lines(250, 1)) + " 127.0.9.1 127.0.9.2 127.0.9.3 127.0.9.4 127.0.9.5 "
         "127.0.9.6",
         "At most 256 cameras take part in one batch; 257 were given (7 on the command line, 250 in the camera "
         "lists).\n"},
    };
    for (const auto& c : cases) {
        const CliRun run = Run(c.args + common);
        EXPECT_EQ(run.exitCode, 2) << c.args;
        EXPECT_EQ(run.err, c.err) << c.args;
        EXPECT_EQ(run.out, "") << c.args;
    }
    const CliRun piped = RunCommand(QRV_CLI_PATH, "batch --list -" + common, folder.root, List("piped.txt", huge));
    EXPECT_EQ(piped.exitCode, 2);
    EXPECT_EQ(piped.err, "The standard input is larger than 1 MiB: it is not a camera list.\n");
    EXPECT_TRUE(EventsOf(sim, "request", "127.0.0.2:80").empty());
}

TEST_F(BatchCommand, AListOfMoreThan256CamerasAsksOnlyItsFirst256) {
    // Nothing listens at these addresses, so each is refused at once.
    const CliRun run = Run("--list " + List("300.txt", Lines(300, 1)) +
                           " --user admin --password admin --yes --time-scale 0.01");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    std::size_t asked = 0;
    for (std::size_t at = run.out.find("skipped "); at != std::string::npos; at = run.out.find("skipped ", at + 1)) {
        ++asked;
    }
    EXPECT_EQ(asked, 256u) << run.out;
    EXPECT_NE(run.out.find("skipped 127.0.2.56: No response\n"), std::string::npos) << "the 256th line";
    EXPECT_EQ(run.out.find("127.0.2.57"), std::string::npos) << "the 257th line is not read";
    EXPECT_TRUE(EndsWith(run.out, "No camera to upgrade.\n")) << run.out;
}

}  // namespace
}  // namespace qrv::test
