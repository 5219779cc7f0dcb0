// Address texts, private files and folders, local time stamps and sleeps that
// a stop request ends.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/TestFolder.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/HttpClient.h"

namespace qrv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(SplitAddress, PortEightyUnlessAColonGivesAnother) {
    const auto plain = SplitAddress("192.168.0.100");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host, "192.168.0.100");
    EXPECT_EQ(plain->port, 80);
    const auto custom = SplitAddress("10.1.2.3:1024");
    ASSERT_TRUE(custom);
    EXPECT_EQ(custom->host, "10.1.2.3");
    EXPECT_EQ(custom->port, 1024);
    EXPECT_EQ(SplitAddress("10.1.2.3:65535")->port, 65535);
    // The digits after the colon count, as a decimal reader takes them.
    EXPECT_EQ(SplitAddress("10.1.2.3:8080x")->port, 8080);
}

TEST(SplitAddress, RefusesNamesAndPortsOutsideTheRange) {
    EXPECT_FALSE(SplitAddress("camera.local"));
    EXPECT_FALSE(SplitAddress("10.1.2"));
    EXPECT_FALSE(SplitAddress("10.1.2.3:"));
    EXPECT_FALSE(SplitAddress("10.1.2.3:0"));
    EXPECT_FALSE(SplitAddress("10.1.2.3:65536"));
    EXPECT_FALSE(SplitAddress("10.1.2.3:abc"));
    EXPECT_FALSE(SplitAddress(""));
}

struct PrivateFiles : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        dir = test::FreshTestFolder("qrv-files");
    }
    void TearDown() override { fs::remove_all(dir); }
    static int Mode(const fs::path& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 0777) : -1;
    }
};

TEST_F(PrivateFiles, NewAndReplacedFilesAreOwnerOnly) {
    const fs::path path = dir / "a.cfg";
    std::ofstream(path) << "old text that is longer";
    fs::permissions(path, fs::perms(0644));
    {
        OutputFile file(path.string());
        ASSERT_TRUE(file.IsOpen());
        EXPECT_TRUE(file.Write(std::string_view("new")));
        EXPECT_TRUE(file.Close());
    }
    EXPECT_EQ(Mode(path), 0600);
    EXPECT_EQ(ReadFileBytes(path.string()), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
}

TEST_F(PrivateFiles, SymbolicLinkIsNotFollowed) {
    const fs::path target = dir / "target";
    std::ofstream(target) << "keep";
    fs::create_symlink(target, dir / "link.cfg");
    OutputFile file((dir / "link.cfg").string());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadFileBytes(target.string()), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
}

TEST_F(PrivateFiles, FoldersAreOwnerOnlyAndRemovalReportsFailure) {
    ASSERT_TRUE(MakeFolder((dir / "sub").string()));
    EXPECT_EQ(Mode(dir / "sub"), 0700);
    EXPECT_FALSE(MakeFolder((dir / "sub").string()));
    EXPECT_TRUE(PathExists((dir / "sub").string()));
    EXPECT_FALSE(RemoveFile((dir / "missing").string()));
    EXPECT_FALSE(ReadFileBytes((dir / "missing").string()));
}

TEST(LocalTime, StampHasTwoDigitYearMonthDayHourMinute) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(FormatLocalTime(std::chrono::system_clock::from_time_t(946684799), "%y%m%d%H%M"), "9912312359");
    EXPECT_EQ(FormatLocalTime(std::chrono::system_clock::from_time_t(1718022345), "%y%m%d%H%M"), "2406101225");
}

TEST(StoppableSleep, RunsItsCourseWithoutAStopAndEndsEarlyOnOne) {
    EXPECT_TRUE(SleepFor(5ms));
    std::stop_source source;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(20ms);
        source.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SleepFor(60s, source.get_token()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_FALSE(SleepFor(1s, source.get_token())) << "an already stopped token does not sleep";
}

}  // namespace
}  // namespace qrv
