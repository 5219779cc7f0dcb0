// Files, the environment and the clock on Windows: wide-character paths,
// owner-only access lists in place of modes 0700 and 0600, the system's error
// texts, and local time.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/ConfigBackupStore.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "report/BatchReport.h"
#include "report/ReportFiles.h"
#include "tests/support/TestFolder.h"

namespace qrv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Lets everyone read `path`, as a file copied from a share might.
void GrantEveryoneRead(const fs::path& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;FA;;;WD)", SDDL_REVISION_1, &descriptor,
                                                                      nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    std::wstring wide = path.wstring();
    EXPECT_EQ(SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl,
                                    nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    LocalFree(descriptor);
}

struct WindowsFiles : ::testing::Test {
    fs::path dir;
    void SetUp() override { dir = test::FreshTestFolder("qrv-win-files"); }
    void TearDown() override { fs::remove_all(dir); }
};

TEST_F(WindowsFiles, FoldersAndFilesAreMadeOwnerOnlyUnderWideNames) {
    // A folder name no 8-bit code page holds whole: the calls must be the wide ones.
    const fs::path folder = dir / fs::path(u8"Konfigurationen-\u00e4\u20ac\u6f22");
    ASSERT_TRUE(MakeFolder(Utf8(folder)));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(MakeFolder(Utf8(folder))) << "an existing folder is not made again";

    const fs::path file = folder / fs::path(u8"qrv-k7.100501-\u00fc.cfg");
    {
        OutputFile out(Utf8(file));
        ASSERT_TRUE(out.IsOpen()) << LastFileError();
        EXPECT_TRUE(out.Write(std::string_view("Password=secret\n")));
        EXPECT_TRUE(out.Sync());
        EXPECT_TRUE(out.Close());
    }
    EXPECT_TRUE(PathExists(Utf8(file)));
    EXPECT_EQ(ReadFileBytes(Utf8(file)), (std::vector<std::uint8_t>{'P', 'a', 's', 's', 'w', 'o', 'r', 'd', '=', 's',
                                                                    'e', 'c', 'r', 'e', 't', '\n'}));

    const std::optional<FileKind> folderKind = FileKindOf(Utf8(folder));
    ASSERT_TRUE(folderKind);
    EXPECT_EQ(folderKind->type, FileKind::Type::Folder);
    EXPECT_EQ(folderKind->permissions, 0700u);
    const std::optional<FileKind> fileKind = FileKindOf(Utf8(file));
    ASSERT_TRUE(fileKind);
    EXPECT_EQ(fileKind->type, FileKind::Type::Regular);
    EXPECT_EQ(fileKind->size, 16u);
    EXPECT_EQ(fileKind->permissions, 0600u);
    EXPECT_FALSE(fileKind->ReadableByOthers());
}

TEST_F(WindowsFiles, ReplacingAFileOthersCouldReadLeavesItOwnerOnlyWithTheNewTextOnly) {
    const fs::path file = dir / "a.cfg";
    std::ofstream(file) << "old text that is longer";
    GrantEveryoneRead(file);
    ASSERT_TRUE(FileKindOf(Utf8(file))->ReadableByOthers());
    {
        OutputFile out(Utf8(file));
        ASSERT_TRUE(out.IsOpen()) << LastFileError();
        EXPECT_TRUE(out.Write(std::string_view("new")));
    }
    EXPECT_EQ(ReadFileBytes(Utf8(file)), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
    EXPECT_FALSE(FileKindOf(Utf8(file))->ReadableByOthers());
}

TEST_F(WindowsFiles, CreateNewRenameAndRemove) {
    const fs::path first = dir / "first.json";
    const fs::path second = dir / "second.json";
    bool existed = true;
    {
        OutputFile out = OutputFile::CreateNew(Utf8(first), existed);
        EXPECT_TRUE(out.IsOpen());
        EXPECT_FALSE(existed);
        EXPECT_TRUE(out.Write(std::string_view("1")));
    }
    EXPECT_FALSE(OutputFile::CreateNew(Utf8(first), existed).IsOpen());
    EXPECT_TRUE(existed) << "the name was taken";
    EXPECT_FALSE(OutputFile::CreateNew(Utf8(dir / "missing" / "x.json"), existed).IsOpen());
    EXPECT_FALSE(existed) << "a missing folder is another failure";

    std::ofstream(second) << "22";
    EXPECT_TRUE(RenameFile(Utf8(first), Utf8(second))) << "the rename replaces the older file";
    EXPECT_EQ(ReadFileBytes(Utf8(second)), (std::vector<std::uint8_t>{'1'}));
    EXPECT_FALSE(PathExists(Utf8(first)));
    EXPECT_TRUE(RemoveFile(Utf8(second)));
    EXPECT_FALSE(RemoveFile(Utf8(second)));
}

TEST_F(WindowsFiles, AFailureIsToldInTheSystemsWordsReadyForASentence) {
    EXPECT_FALSE(ReadFileBytes(Utf8(dir / "missing.cfg")));
    const std::string text = LastFileError();
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '.');
    EXPECT_NE(text.back(), '\n');
    EXPECT_FALSE(FileKindOf(Utf8(dir / "missing.cfg")));
}

TEST_F(WindowsFiles, ConfigurationsAndReportsGoBelowProgramFilesWithBackslashesAndEveryLevelIsMade) {
    _putenv_s("TZ", "UTC0");
    _tzset();
    const std::string root = Utf8(dir);  // C:\users\...\Temp\qrv-win-files-...
    ASSERT_EQ(root.find('/'), std::string::npos);
    ASSERT_TRUE(SetEnvironmentVariableW(L"ProgramFiles", (dir.wstring() + L"\\").c_str()));
    EXPECT_EQ(ConfigurationRoot(), root) << "a trailing separator is dropped";
    EXPECT_EQ(ProgramFolder(), root + "\\VEXA\\QRV FirmwareUpgrade");
    ConfigBackupStore store("127.0.0.2", "/system/qrv-k7.cfg", "x", std::chrono::system_clock::from_time_t(1718022345),
                            "QRV-K7", u"A1234", true);
    EXPECT_EQ(store.LocalPath(), root + "\\VEXA\\QRV FirmwareUpgrade\\Configurations\\2406101225\\qrv-k7.A1234.cfg");
    // VEXA is the first level below the root that may be missing.
    ASSERT_TRUE(EnsureFolders(store.LocalPath())) << LastFileError();
    EXPECT_TRUE(fs::is_directory(dir / "VEXA" / "QRV FirmwareUpgrade" / "Configurations" / "2406101225"));
    EXPECT_EQ(FileKindOf(Utf8(dir / "VEXA"))->permissions, 0700u);
    // Either separator counts towards the limit of 20.
    std::string deep = "C:";
    for (int i = 0; i < 19; ++i) deep += i % 2 ? "\\d" : "/d";
    EXPECT_FALSE(EnsureFolders(deep + "\\f.cfg"));
    // Reports go beside the configurations, their folders made as well.
    EXPECT_EQ(ReportsFolder(), root + "\\VEXA\\QRV FirmwareUpgrade\\Reports");
    std::string error;
    const std::string report = ReportsFolder() + "\\more\\r.json";
    EXPECT_TRUE(WriteReport(report, BatchReport{}, error)) << error;
    EXPECT_TRUE(fs::is_regular_file(dir / "VEXA" / "QRV FirmwareUpgrade" / "Reports" / "more" / "r.json"));
    ASSERT_TRUE(SetEnvironmentVariableW(L"ProgramFiles", nullptr));
}

TEST(WindowsEnvironment, ValuesComeBackAsUtf8AndEmptyIsNotUnset) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"QRV_TEST_VALUE", L"C:\\Programme\\Kamera \u00e4\u20ac"));
    EXPECT_EQ(EnvironmentValue("QRV_TEST_VALUE"), std::optional<std::string>("C:\\Programme\\Kamera \xc3\xa4\xe2\x82\xac"));
    ASSERT_TRUE(SetEnvironmentVariableW(L"QRV_TEST_VALUE", L""));
    EXPECT_EQ(EnvironmentValue("QRV_TEST_VALUE"), std::optional<std::string>(""));
    ASSERT_TRUE(SetEnvironmentVariableW(L"QRV_TEST_VALUE", nullptr));
    EXPECT_EQ(EnvironmentValue("QRV_TEST_VALUE"), std::nullopt);
}

TEST(WindowsClock, LocalTimeFollowsTheTimeZoneAndSleepsEndOnAStop) {
    _putenv_s("TZ", "UTC0");
    _tzset();
    EXPECT_EQ(FormatLocalTime(std::chrono::system_clock::from_time_t(946684799), "%y%m%d%H%M"), "9912312359");
    EXPECT_EQ(FormatLocalTime(std::chrono::system_clock::from_time_t(1718022345), "%y%m%d%H%M"), "2406101225");
    _putenv_s("TZ", "CET-1");
    _tzset();
    EXPECT_EQ(FormatLocalTime(std::chrono::system_clock::from_time_t(946684799), "%y%m%d%H%M"), "0001010059");
    // Reports write the offset as POSIX's %z does, not the zone's name.
    EXPECT_EQ(FormatLocalTime(std::chrono::system_clock::from_time_t(946684799), "%H:%M%z"), "00:59+0100");
    _putenv_s("TZ", "EST5");
    _tzset();
    EXPECT_EQ(FormatLocalTime(std::chrono::system_clock::from_time_t(946684799), "%H:%M%z"), "18:59-0500");

    std::stop_source source;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(20ms);
        source.request_stop();
    });
    EXPECT_FALSE(SleepFor(std::chrono::hours(1), source.get_token()));
    EXPECT_TRUE(SleepFor(1ms));
}

}  // namespace
}  // namespace qrv
