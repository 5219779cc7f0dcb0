// A dry run's lines and records: what each verdict prints with each settings
// mode, the record that carries the same line, the marks a dry run's report
// has in JSON and CSV, and that no reader of batch reports takes one for a
// report of cameras that ran.
#include <gtest/gtest.h>

#include <string>

#include "batch/DryRun.h"
#include "report/BatchReport.h"
#include "platform/Text.h"
#include "report/ReportReader.h"

namespace qrv {
namespace {

DryRunCamera Camera(DryRunVerdict verdict, const char* version, bool emergency = false, const char* reason = "") {
    DryRunCamera camera;
    camera.address = *CameraAddress::Parse("127.0.0.2:8080");
    camera.mac = u"08:00:23:00:05:01";
    camera.model = u"QRV-K7";
    camera.serial = u"100501";
    camera.version = ToWide(version);
    camera.emergency = emergency;
    camera.slot = emergency ? 1 : 0;
    camera.verdict = verdict;
    camera.reason = reason;
    return camera;
}

TEST(DryRunLine, SaysWhatWouldHappenWithTheVersionsAndTheSettings) {
    const struct {
        DryRunCamera camera;
        SetupDataMode settings;
        const char* line;
    } cases[] = {
        {Camera(DryRunVerdict::Upgrade, "ver1.20"), SetupDataMode::Retain,
         "would upgrade 127.0.0.2:8080: 1.20 -> 1.30, settings retained"},
        {Camera(DryRunVerdict::Upgrade, "ver1.20"), SetupDataMode::Backup,
         "would upgrade 127.0.0.2:8080: 1.20 -> 1.30, settings retained and backed up"},
        {Camera(DryRunVerdict::Upgrade, "1.20"), SetupDataMode::Discard,
         "would upgrade 127.0.0.2:8080: 1.20 -> 1.30, settings discarded"},
        {Camera(DryRunVerdict::Upgrade, "unknown", true), SetupDataMode::Retain,
         "would upgrade 127.0.0.2:8080: unknown (emergency state) -> 1.30, settings retained"},
        {Camera(DryRunVerdict::Skip, "ver1.30"), SetupDataMode::Retain, "would skip 127.0.0.2:8080: already 1.30"},
        {Camera(DryRunVerdict::Refuse, "ver1.20", false, "No response"), SetupDataMode::Backup,
         "would refuse 127.0.0.2:8080: No response"},
    };
    for (const auto& c : cases) EXPECT_EQ(DryRunLine(c.camera, "1.30", c.settings), c.line);
}

TEST(DryRunReport, RecordsSayWhatWouldHappenAndTheReportIsMarkedInBothFormats) {
    BatchReport report{"1.30.0", "2026-12-07T11:12:00+01:00", "1.30", {}};
    report.dryRun = true;
    const DryRunCamera cameras[] = {Camera(DryRunVerdict::Upgrade, "unknown", true),
                                    Camera(DryRunVerdict::Refuse, "ver1.20", false, "No response")};
    for (const DryRunCamera& camera : cameras) {
        report.records.push_back(
            DryRunRecord(camera, SetupDataMode::Retain, DryRunLine(camera, "1.30", SetupDataMode::Retain)));
    }
    const ReportRecord& upgrade = report.records[0];
    EXPECT_EQ(upgrade.address, "127.0.0.2");
    EXPECT_EQ(upgrade.port, 8080);
    EXPECT_EQ(upgrade.mac, "08:00:23:00:05:01");
    EXPECT_EQ(upgrade.versionBefore, "unknown");
    EXPECT_EQ(upgrade.would, "upgrade");
    EXPECT_EQ(upgrade.image, 1);
    // Nothing ran: no stage, no time, no version after, no saved file.
    EXPECT_FALSE(upgrade.finished || upgrade.upgraded);
    EXPECT_EQ(upgrade.stage, 0);
    EXPECT_TRUE(upgrade.versionAfter.empty() && upgrade.configPath.empty() && upgrade.started.empty() &&
                upgrade.ended.empty());
    EXPECT_EQ(upgrade.config, ConfigOutcome::None);
    EXPECT_EQ(report.records[1].would, "refuse");

    const std::string json = ReportJson(report);
    EXPECT_EQ(json.substr(0, json.find('\n')),
              "{\"format\":1,\"program_version\":\"1.30.0\",\"batch_time\":\"2026-12-07T11:12:00+01:00\","
              "\"carried_version\":\"1.30\",\"dry_run\":true,\"records\":[");
    EXPECT_NE(json.find("\"result\":\"would upgrade 127.0.0.2:8080: unknown (emergency state) -> 1.30, settings "
                        "retained\",\"finished\":false,\"upgraded\":false,\"settings\":\"retain\",\"config_file\":\"\","
                        "\"config\":\"none\",\"started\":\"\",\"ended\":\"\",\"would\":\"upgrade\",\"image\":1}"),
              std::string::npos)
        << json;
    const std::string csv = ReportCsv(report);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "format,address,port,mac,model,serial,version_before,version_after,stage,status,result,finished,"
              "upgraded,settings,config_file,config,started,ended,would,image");
    EXPECT_NE(csv.find(",would refuse 127.0.0.2:8080: No response,false,false,retain,,none,,,refuse,0\r\n"),
              std::string::npos)
        << csv;

    // A report of cameras that ran carries neither mark.
    report.dryRun = false;
    EXPECT_EQ(ReportJson(report).find("\"would\""), std::string::npos);
    EXPECT_EQ(ReportJson(report).find("dry_run"), std::string::npos);
    EXPECT_EQ(ReportCsv(report).find(",image"), std::string::npos);

    // --retry-failed must not take a dry run's cameras as failed ones.
    for (const std::string& text : {json, csv}) {
        std::string error;
        EXPECT_FALSE(ReadReport(text, error).has_value());
        EXPECT_EQ(error, "line 1: this is the report of a dry run, which changed no camera") << text;
    }
}

}  // namespace
}  // namespace qrv
