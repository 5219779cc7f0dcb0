// qrv-firmware-upgrade-cli discover, run as a user runs it, against the
// simulated fleet inside the private network.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/NetworkInterfaces.h"
#include "tests/support/CommandRun.h"
#include "tests/integration/cli/InProcessCli.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestFolder.h"

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

using CliRun = CommandRun;

int Requests(const SimProcess& sim) {
    int requests = 0;
    for (const SimEvent& event : sim.Events()) requests += event.kind == "discovery" ? 1 : 0;
    return requests;
}

const char* const kFleet =
    "127.0.0.2 model=QRV-K7 serial=2000001 mac=02:00:00:00:00:01 version=1.20\n"
    "127.0.0.3:8080 model=QRV-K7N serial=2000002 mac=02:00:00:00:00:02 version=1.21 dhcp=on\n"
    "127.0.0.4 model=QRV-K7P mac=02:00:00:00:00:03 version=1.30 dnsauto=on fault=disc-serial:a\"b\\c\n"
    "127.0.0.5 mac=02:00:00:00:00:04 fault=disc-model:QRV-X9\n";

// The loopback device's name as the system gives it ("lo"; "loopback_0" on
// Windows), which the program reports for cameras found there.
std::string LoopbackName() {
    for (const NetworkInterface& entry : ListIpv4Interfaces()) {
        if (entry.loopback) return entry.name;
    }
    return "lo";
}

class DiscoverCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = FreshTestFolder("qrv-discover");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The program itself, and the command in-process.
    CliRun Run(const std::string& args) const { return RunCommand(QRV_CLI_PATH, "discover " + args, dir_); }
    static CliRun RunHere(const std::string& args) { return RunInProcess("discover " + args); }

private:
    fs::path dir_;
};

TEST_F(DiscoverCommand, JsonListsTheFleetInSlotOrder) {
    SimProcess sim(kFleet);
    const CliRun run = RunHere("--json --seconds 0.4");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // Compared as Linux names the device.
    std::string out = run.out;
    const std::string shown = "\"interface\":\"" + LoopbackName() + "\"";
    for (size_t at = 0; (at = out.find(shown, at)) != std::string::npos; ++at) {
        out.replace(at, shown.size(), "\"interface\":\"lo\"");
    }
    EXPECT_EQ(out,
              "[\n"
              "  {\"mac\":\"02:00:00:00:00:01\",\"ip\":\"127.0.0.2\",\"port\":80,\"model\":\"QRV-K7\","
              "\"serial\":\"2000001\",\"version\":\"1.20\",\"dhcp\":false,\"dnsauto\":false,\"interface\":\"lo\"},\n"
              "  {\"mac\":\"02:00:00:00:00:02\",\"ip\":\"127.0.0.3\",\"port\":8080,\"model\":\"QRV-K7N\","
              "\"serial\":\"2000002\",\"version\":\"1.21\",\"dhcp\":true,\"dnsauto\":false,\"interface\":\"lo\"},\n"
              "  {\"mac\":\"02:00:00:00:00:03\",\"ip\":\"127.0.0.4\",\"port\":80,\"model\":\"QRV-K7P\","
              "\"serial\":\"a\\\"b\\\\c\",\"version\":\"1.30\",\"dhcp\":false,\"dnsauto\":true,\"interface\":\"lo\"}\n"
              "]\n");
    EXPECT_EQ(Requests(sim), 2) << "the request at the start and at half time";
}

TEST_F(DiscoverCommand, TextIsOneTabSeparatedLinePerCamera) {
    SimProcess sim(kFleet);
    const CliRun run = RunHere("--seconds 0.2");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "02:00:00:00:00:01\t127.0.0.2\tQRV-K7\t2000001\t1.20\toff\toff\n"
              "02:00:00:00:00:02\t127.0.0.3:8080\tQRV-K7N\t2000002\t1.21\ton\toff\n"
              "02:00:00:00:00:03\t127.0.0.4\tQRV-K7P\ta\"b\\c\t1.30\toff\ton\n");
}

TEST_F(DiscoverCommand, NoCameraGivesAnEmptyList) {
    EXPECT_EQ(RunHere("--json --seconds 0.1").out, "[]\n");
    EXPECT_EQ(RunHere("--seconds 0.1").out, "");
}

TEST_F(DiscoverCommand, UsageErrorsSendNothing) {
    SimProcess sim(kFleet);
    for (const char* args : {"--seconds 0", "--seconds x", "--seconds", "--seconds 3601", "--bogus", "127.0.0.2",
                             "--interface", "--interface ''", "--interface nosuch0 --seconds 0.1"}) {
        const CliRun run = Run(args);
        EXPECT_EQ(run.exitCode, 2) << args;
        EXPECT_EQ(run.out, "") << args;
        EXPECT_NE(run.err, "") << args;
    }
    EXPECT_EQ(Requests(sim), 0);
    const CliRun unknown = Run("--interface nosuch0 --seconds 0.1");
    EXPECT_EQ(unknown.err,
              "no network interface with an IPv4 address is named 'nosuch0' (there are: " + LoopbackName() + ")\n");
}

// Loopback cannot broadcast, so only 255.255.255.255 goes out, from
// 127.0.0.1 on lo; the other segments of DiscoveryInterfacesTest are not here.
TEST_F(DiscoverCommand, OneInterfaceByName) {
    SimProcess sim(kFleet);
    const CliRun run = Run("--json --seconds 0.4 --interface " + LoopbackName());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("\"ip\":\"127.0.0.3\""), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\"interface\":\"\""), std::string::npos) << run.out;
    int requests = 0;
    for (const SimEvent& event : sim.Events()) {
        if (event.kind != "discovery") continue;
        ++requests;
        EXPECT_EQ(event.Field("from").rfind("127.0.0.1:", 0), 0u) << event.Field("from");
    }
    EXPECT_EQ(requests, 2);
}

}  // namespace
}  // namespace qrv::test
