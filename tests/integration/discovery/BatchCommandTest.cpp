// qrv-firmware-upgrade-cli batch, run as a user runs it, against simulated
// cameras: discovered or given cameras, the confirmation, the upgrade log and
// the exit code.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/integration/engine/SimTestSupport.h"
#include "tests/support/CommandRun.h"

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

using CliRun = CommandRun;

class BatchCommand : public ::testing::Test {
protected:
    CliRun Run(const std::string& args) const { return RunCommand(QRV_CLI_PATH, "batch " + args, folder.root); }
    int SavedConfigurations() const {
        int count = 0;
        for (const fs::path& file : folder.Files()) count += file.extension() == ".cfg" ? 1 : 0;
        return count;
    }
    static bool EndsWith(const std::string& text, const std::string& tail) {
        return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    }

    ConfigFolder folder;  // the saved configurations go below it
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
    EXPECT_EQ(Run("127.0.0.2 --user admin --password admin --retain --backup").exitCode, 2);
    EXPECT_EQ(Run("127.0.0.2 --user admin").exitCode, 2);
    EXPECT_EQ(Run("127.0.0.2:80800 --user admin --password admin").exitCode, 2);
}

}  // namespace
}  // namespace qrv::test
