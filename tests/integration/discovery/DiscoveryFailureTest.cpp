// Socket failures end the program with their line on standard output and an
// exit status of their own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "discovery/DiscoveryService.h"
#include "platform/UdpSocket.h"

namespace qrv {
namespace {

const char* const kPortRange = "/proc/sys/net/ipv4/ip_local_port_range";

std::string ReadPortRange() {
    std::ifstream in(kPortRange);
    std::string low, high;
    in >> low >> high;
    return low + " " + high;
}

bool WritePortRange(const std::string& range) {
    std::ofstream out(kPortRange);
    out << range << "\n";
    out.flush();
    return static_cast<bool>(out);
}

// Standard output goes to the death test's captured standard error.
void StdoutToStderr() {
    std::fflush(stdout);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

// Leaves no descriptor free beyond the lowest one, so the next socket fails.
void ExhaustDescriptors() {
    const int lowest = ::open("/dev/null", O_RDONLY);
    ::close(lowest);
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(lowest);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

class DiscoveryFailure : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    DiscoveryTable table{{"QRV-K7"}};
};

TEST_F(DiscoveryFailure, NoSocketEndsWithStatusOne) {
    EXPECT_EXIT(
        {
            StdoutToStderr();
            ExhaustDescriptors();
            DiscoveryService service(table, nullptr);
            service.Start();
        },
        ::testing::ExitedWithCode(1), ::testing::StrEq("Error : Create Socket\n"));
}

TEST_F(DiscoveryFailure, NoFreePortToBindEndsWithStatusThree) {
    const std::string range = ReadPortRange();
    EXPECT_EXIT(
        {
            StdoutToStderr();
            // The only ephemeral port left is taken by another socket.
            if (!WritePortRange("40000 40000")) std::_Exit(100);
            UdpSocket holder;
            if (!holder.Open() || !holder.BindAny(40000)) std::_Exit(101);
            DiscoveryService service(table, nullptr);
            service.Start();
        },
        ::testing::ExitedWithCode(3), ::testing::StrEq("Error : Bind\n"));
    EXPECT_TRUE(WritePortRange(range));
}

}  // namespace
}  // namespace qrv
