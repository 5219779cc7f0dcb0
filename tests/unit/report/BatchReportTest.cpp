// The batch report as a file: its JSON and CSV texts, the time stamps, the
// record of a row that never ran, and how the file reaches the disk.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "batch/BatchRun.h"
#include "engine/FirmwarePackage.h"
#include "platform/HeadlessOwner.h"
#include "report/BatchReport.h"
#include "tests/support/TestFolder.h"
#include "tests/unit/report/SampleRecord.h"

namespace qrv {
namespace {

namespace fs = std::filesystem;

ReportRecord Sample() { return test::SampleRecord(); }

BatchReport SampleReport() { return BatchReport{"1.30.0", "2026-12-07T11:12:00+01:00", "1.30", {Sample()}}; }

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

unsigned ModeOf(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777u) : 0u;
}

TEST(BatchReportText, JsonHoldsTheHeaderAndOneRecordPerLine) {
    EXPECT_EQ(ReportJson(SampleReport()),
              "{\"format\":1,\"program_version\":\"1.30.0\",\"batch_time\":\"2026-12-07T11:12:00+01:00\",\"carried_version\":"
              "\"1.30\",\"records\":[\n"
              "{\"address\":\"127.0.0.2\",\"port\":8080,\"mac\":\"08:00:23:00:05:01\",\"model\":\"QRV-K7\","
              "\"serial\":\"100501\",\"version_before\":\"1.20\",\"version_after\":\"1.30\",\"stage\":9,"
              "\"status\":\"Completed\",\"result\":\"QRV-K7(127.0.0.2:8080) Completed successfully.\","
              "\"finished\":true,\"upgraded\":true,\"settings\":\"backup\","
              "\"config_file\":\"/tmp/c/qrv-k7.100501.cfg\",\"config\":\"restored, kept\","
              "\"started\":\"2026-12-07T11:12:13+01:00\",\"ended\":\"2026-12-07T11:14:00+01:00\"}\n"
              "]}\n");
    EXPECT_EQ(ReportJson(BatchReport{"1", "", "1.30", {}}),
              "{\"format\":1,\"program_version\":\"1\",\"batch_time\":\"\",\"carried_version\":\"1.30\",\"records\":[\n]}\n");
}

TEST(BatchReportText, CameraTextIsEscapedInJsonAndQuotedInCsv) {
    const struct {
        std::string serial;
        std::string json;
        std::string csv;
    } cases[] = {
        {"plain", "\"serial\":\"plain\"", ",plain,"},
        {"a,b", "\"serial\":\"a,b\"", ",\"a,b\","},
        {"say \"hi\"", "\"serial\":\"say \\\"hi\\\"\"", ",\"say \"\"hi\"\"\","},
        {"two\r\nlines", "\"serial\":\"two\\r\\nlines\"", ",\"two\r\nlines\","},
        {"bell\x07", "\"serial\":\"bell\\u0007\"", ",bell\x07,"},
        {"back\\slash\x7f", "\"serial\":\"back\\\\slash\x7f\"", ",back\\slash\x7f,"},
        // Bytes that are no UTF-8 (a folder name in another encoding) become U+FFFD.
        {"caf\xE9 \xE2\x82\xAC", "\"serial\":\"caf\xEF\xBF\xBD \xE2\x82\xAC\"", ",caf\xEF\xBF\xBD \xE2\x82\xAC,"},
    };
    for (const auto& c : cases) {
        BatchReport report = SampleReport();
        report.records[0].serial = c.serial;
        EXPECT_NE(ReportJson(report).find(c.json), std::string::npos) << c.serial;
        EXPECT_NE(ReportCsv(report).find("QRV-K7" + c.csv + "1.20,"), std::string::npos) << ReportCsv(report);
    }
}

TEST(BatchReportText, CsvHasOneHeaderLineAndOneLinePerCamera) {
    BatchReport report = SampleReport();
    ReportRecord waiting;
    waiting.address = "127.0.0.3";
    waiting.model = "QRV-K7";
    report.records.push_back(waiting);
    EXPECT_EQ(ReportCsv(report),
              "format,address,port,mac,model,serial,version_before,version_after,stage,status,result,finished,"
              "upgraded,settings,config_file,config,started,ended\r\n"
              "1,127.0.0.2,8080,08:00:23:00:05:01,QRV-K7,100501,1.20,1.30,9,Completed,"
              "QRV-K7(127.0.0.2:8080) Completed successfully.,true,true,backup,/tmp/c/qrv-k7.100501.cfg,"
              "\"restored, kept\",2026-12-07T11:12:13+01:00,2026-12-07T11:14:00+01:00\r\n"
              "1,127.0.0.3,80,,QRV-K7,,,,0,,,false,false,discard,,none,,\r\n");
}

TEST(BatchReportText, LocalTimesCarryTheirOffsetWithAColon) {
    const char* saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
    const WallTime when = std::chrono::system_clock::from_time_t(1796642400);  // 2026-12-07 11:20:00 UTC
    const struct {
        const char* zone;
        std::string text;
    } cases[] = {
        {"UTC0", "2026-12-07T11:20:00+00:00"},
        {"<+0530>-5:30", "2026-12-07T16:50:00+05:30"},
        {"<-03>3", "2026-12-07T08:20:00-03:00"},
    };
    for (const auto& c : cases) {
        ::setenv("TZ", c.zone, 1);
        ::tzset();
        EXPECT_EQ(IsoLocalTime(when), c.text) << c.zone;
    }
    if (saved) ::setenv("TZ", before.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ(IsoLocalTime(WallTime{}), "") << "a time that never came is left empty";
}

TEST(BatchReportRecord, ARowWhoseJobNeverRanIsNotFinishedNorUpgraded) {
    HeadlessOwner owner;
    FirmwarePackage package;
    BatchRun list(owner, package);
    UpgradeTarget target{u"admin", u"admin", u"QRV-K7", u"1.30", u"100501", {127, 0, 0, 2}, 8080, false,
                         u"08:00:23:00:05:01"};
    ASSERT_EQ(list.AddRow(target), 0);
    const ReportRecord r = RecordOfRow(list, 0, SetupDataMode::Retain, "1.30");
    EXPECT_EQ(r.address, "127.0.0.2");
    EXPECT_EQ(r.port, 8080);
    EXPECT_EQ(r.mac, "08:00:23:00:05:01");
    EXPECT_EQ(r.serial, "100501");
    EXPECT_EQ(r.versionBefore, "1.30");
    EXPECT_EQ(r.versionAfter, "") << "the version it ran before is not what it reported after";
    EXPECT_FALSE(r.finished);
    EXPECT_FALSE(r.upgraded) << "running the carried version already is no upgrade";
    EXPECT_EQ(r.stage, 0);
    EXPECT_EQ(r.resultLine, "");
    EXPECT_EQ(r.config, ConfigOutcome::None);
    EXPECT_EQ(r.started, "");
    EXPECT_EQ(r.settings, SetupDataMode::Retain);
}

class BatchReportFile : public ::testing::Test {
protected:
    fs::path root = test::FreshTestFolder("qrv-report");
    ~BatchReportFile() override { fs::remove_all(root); }
};

TEST_F(BatchReportFile, TheExtensionPicksTheFormatAndTheFileIsPrivate) {
    const struct {
        std::string name;
        bool csv;
    } cases[] = {{"r.json", false}, {"r.csv", true}, {"R.CSV", true}, {"r.txt", false}, {"csv", false}};
    for (const auto& c : cases) {
        const fs::path path = root / "new" / "deeper" / c.name;
        std::string error;
        ASSERT_TRUE(WriteReport(path.string(), SampleReport(), error)) << c.name << ": " << error;
        EXPECT_EQ(Slurp(path), c.csv ? ReportCsv(SampleReport()) : ReportJson(SampleReport())) << c.name;
        EXPECT_EQ(ModeOf(path), 0600u) << c.name;
    }
    EXPECT_EQ(ModeOf(root / "new"), 0700u);
    EXPECT_EQ(ModeOf(root / "new" / "deeper"), 0700u);
}

TEST_F(BatchReportFile, AnOlderFileIsReplacedWholeAndNoTemporaryStays) {
    const fs::path path = root / "report.json";
    std::ofstream(path) << "old report";
    fs::permissions(path, fs::perms::all);
    std::string error;
    ASSERT_TRUE(WriteReport(path.string(), SampleReport(), error)) << error;
    EXPECT_EQ(Slurp(path), ReportJson(SampleReport()));
    EXPECT_EQ(ModeOf(path), 0600u) << "the report names the saved configurations: not for other users";
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(root)) ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(BatchReportFile, AFailedWriteLeavesTheOlderFileAndSaysWhy) {
    const fs::path blocker = root / "plain-file";
    std::ofstream(blocker) << "x";
    const fs::path existing = root / "locked" / "report.csv";
    fs::create_directories(existing.parent_path());
    std::ofstream(existing) << "old report";
    fs::permissions(existing.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    const bool root_user = ::geteuid() == 0;
    const struct {
        fs::path path;
        bool skipAsRoot;
    } cases[] = {{blocker / "report.json", false}, {existing, true}, {root / "", false}};
    for (const auto& c : cases) {
        if (c.skipAsRoot && root_user) continue;  // root writes into a read-only folder
        std::string error;
        EXPECT_FALSE(WriteReport(c.path.string(), SampleReport(), error)) << c.path;
        EXPECT_FALSE(error.empty()) << c.path;
    }
    fs::permissions(existing.parent_path(), fs::perms::owner_all);
    EXPECT_EQ(Slurp(existing), "old report");
    EXPECT_EQ(std::distance(fs::directory_iterator(existing.parent_path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace qrv
