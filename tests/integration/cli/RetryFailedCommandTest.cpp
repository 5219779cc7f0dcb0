// batch --retry-failed, run as a user runs it against simulated cameras: a
// first batch with a mix of outcomes leaves its report, and the retry over
// that report must upload to exactly the cameras that failed, as the
// simulator's own log shows; a report that cannot be trusted is refused
// before any camera is asked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "report/ReportReader.h"
#include "tests/integration/engine/SimTestSupport.h"
#include "tests/support/CommandRun.h"

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

const std::string kCameras[] = {"127.0.0.2:80", "127.0.0.3:80", "127.0.0.4:80", "127.0.0.5:80", "127.0.0.6:8080"};

class RetryFailedCommand : public ::testing::Test {
protected:
    CommandRun Run(const std::string& args) const { return RunCommand(QRV_CLI_PATH, "batch " + args, folder.root); }

    std::string Path(const std::string& name) const { return (folder.root / name).string(); }

    // Uploads each camera has received so far.
    static std::map<std::string, std::size_t> Uploads(const SimProcess& sim) {
        std::map<std::string, std::size_t> uploads;
        for (const std::string& camera : kCameras) {
            uploads[camera] = RequestsTo(sim, camera, "/command/versionup.cgi").size();
        }
        return uploads;
    }

    // The report the command wrote, read back; the test fails when it does not read.
    BatchReport Report(const std::string& name) const {
        std::string error;
        std::optional<BatchReport> report = ReadReportFile(Path(name), error);
        EXPECT_TRUE(report) << name << ": " << error;
        return report.value_or(BatchReport{});
    }

    static const ReportRecord* RecordOf(const BatchReport& report, const std::string& camera) {
        for (const ReportRecord& r : report.records) {
            if (r.address + ":" + std::to_string(r.port) == camera) return &r;
        }
        return nullptr;
    }

    CommandFolder folder;
};

TEST_F(RetryFailedCommand, OnlyTheCamerasThatFailedAreUploadedToAgain) {
    // Two cameras keep another password, one comes back on its old version,
    // one runs the carried version already, and 127.0.0.9 is no camera.
    SimProcess sim(Camera("127.0.0.2", "serial=100501") + Camera("127.0.0.3", "serial=100502 admin=admin:secret") +
                       Camera("127.0.0.4", "serial=100503 fault=reboot-old") +
                       Camera("127.0.0.5", "serial=100504 version=1.30") +
                       Camera("127.0.0.6:8080", "serial=100505 admin=admin:secret"),
                   kScale);
    const CommandRun first = Run("127.0.0.2 127.0.0.3 127.0.0.4 127.0.0.5 127.0.0.6:8080 127.0.0.9 --skip-current "
                                 "--user admin --password admin --yes --time-scale 0.01 --report " + Path("first.json"));
    EXPECT_EQ(first.exitCode, 1) << first.out << first.err;
    const std::map<std::string, std::size_t> afterFirst = Uploads(sim);
    EXPECT_EQ(afterFirst, (std::map<std::string, std::size_t>{
                              {"127.0.0.2:80", 1}, {"127.0.0.3:80", 0}, {"127.0.0.4:80", 1}, {"127.0.0.5:80", 0},
                              {"127.0.0.6:8080", 0}}))
        << first.out;
    const std::size_t askedBefore = EventsOf(sim, "request", "127.0.0.4:80").size();

    // The retry with the other password: the two refused cameras are
    // upgraded; the one on its old version is asked again and refuses that
    // password; the address without a camera stays without an answer.
    const CommandRun retry = Run("--retry-failed " + Path("first.json") +
                                 " --user admin --password secret --yes --time-scale 0.01 --report " +
                                 Path("retry.csv"));
    EXPECT_EQ(retry.exitCode, 1) << "cameras of the retry still failed\n" << retry.out << retry.err;
    EXPECT_NE(retry.out.find("Retrying 4 of the 6 cameras of the report.\n"), std::string::npos) << retry.out;
    EXPECT_NE(retry.out.find("skipped 127.0.0.9: No response\n"), std::string::npos) << retry.out;
    const std::map<std::string, std::size_t> afterRetry = Uploads(sim);
    for (const std::string& camera : kCameras) {
        const bool uploaded = camera == "127.0.0.3:80" || camera == "127.0.0.6:8080";
        EXPECT_EQ(afterRetry.at(camera) - afterFirst.at(camera), uploaded ? 1u : 0u) << camera;
    }
    EXPECT_GT(EventsOf(sim, "request", "127.0.0.4:80").size(), askedBefore) << "the failed camera was taken up";
    const BatchReport retried = Report("retry.csv");
    ASSERT_EQ(retried.records.size(), 4u) << retry.out;
    const struct {
        std::string camera;
        bool upgraded;
        int stage;
    } expected[] = {{"127.0.0.3:80", true, 9}, {"127.0.0.6:8080", true, 9}, {"127.0.0.4:80", false, 12},
                    {"127.0.0.9:80", false, 0}};
    for (const auto& e : expected) {
        const ReportRecord* record = RecordOf(retried, e.camera);
        ASSERT_TRUE(record) << e.camera;
        EXPECT_EQ(record->upgraded, e.upgraded) << e.camera << ": " << record->resultLine;
        EXPECT_EQ(record->stage, e.stage) << e.camera << ": " << record->resultLine;
    }

    // The retry's CSV report, with the first password: the camera on its old
    // version is uploaded to once more.
    const CommandRun again = Run("--retry-failed " + Path("retry.csv") +
                                 " --user admin --password admin --yes --time-scale 0.01");
    EXPECT_EQ(again.exitCode, 1) << again.out << again.err;
    EXPECT_NE(again.out.find("Retrying 2 of the 4 cameras of the report.\n"), std::string::npos) << again.out;
    std::map<std::string, std::size_t> afterAgain = afterRetry;
    ++afterAgain["127.0.0.4:80"];
    EXPECT_EQ(Uploads(sim), afterAgain);

    // A report whose cameras are all upgraded leaves nothing to do, which is no failure.
    BatchReport upgradedOnly = retried;
    std::erase_if(upgradedOnly.records, [](const ReportRecord& r) { return !r.upgraded; });
    std::string error;
    ASSERT_TRUE(WriteReport(Path("upgraded.json"), upgradedOnly, error)) << error;
    const CommandRun nothing =
        Run("--retry-failed " + Path("upgraded.json") + " --user admin --password admin --yes --time-scale 0.01");
    EXPECT_EQ(nothing.exitCode, 0) << nothing.out << nothing.err;
    EXPECT_NE(nothing.out.find("Retrying 0 of the 2 cameras of the report.\nNo camera to upgrade.\n"),
              std::string::npos)
        << nothing.out;
    EXPECT_EQ(Uploads(sim), afterAgain) << "nothing more was uploaded";
}

TEST_F(RetryFailedCommand, AReportThatCannotBeTrustedIsRefusedBeforeAnyCameraIsAsked) {
    SimProcess sim(Camera("127.0.0.2", "serial=100501"), kScale);
    ReportRecord failed;
    failed.address = "127.0.0.2";
    failed.stage = 12;
    failed.finished = true;
    const BatchReport report{"1.30.0", "2026-12-07T11:12:00+01:00", "1.30", {failed}};
    const std::string json = ReportJson(report);
    std::ofstream(Path("good.json")) << json;
    std::ofstream(Path("truncated.json")) << json.substr(0, json.size() - 4);
    std::ofstream(Path("format2.json")) << "{\"format\":2," << json.substr(json.find(',') + 1);
    std::ofstream(Path("old.csv")) << ReportCsv(report).substr(std::string("format,").size());
    std::ofstream(Path("empty.json")) << ReportJson(BatchReport{"1.30.0", "", "1.30", {}});
    const std::string login = " --user admin --password admin --yes --time-scale 0.01";
    const struct {
        std::string args;
        int exitCode;
        std::string message;  // on stderr, or stdout for the exit codes 0 and 1
    } cases[] = {
        {"--retry-failed " + Path("truncated.json") + login, 2,
         "Cannot retry from the report '" + Path("truncated.json") + "': line 2: not valid JSON: an array is not closed.\n"},
        {"--retry-failed " + Path("format2.json") + login, 2,
         "': line 1: the report is of format '2'; this program reads format 1.\n"},
        {"--retry-failed " + Path("old.csv") + login, 2, "': line 1: no column 'format'"},
        {"--retry-failed " + Path("missing.json") + login, 2, "': " + NoSuchFileText() + ".\n"},
        {"--retry-failed " + folder.root.string() + login, 2, "': not a regular file.\n"},
        {"--retry-failed " + Path("good.json") + " 127.0.0.2" + login, 2,
         "--retry-failed takes its cameras from the report: give no addresses or --list with it.\n"},
        {"--retry-failed " + Path("good.json") + " --list " + Path("good.json") + login, 2,
         "give no addresses or --list with it"},
        {"--retry-failed " + Path("good.json") + " --retry-failed " + Path("good.json") + login, 2,
         "Give --retry-failed once.\n"},
        {"--retry-failed " + Path("empty.json") + login, 1, "Retrying 0 of the 0 cameras of the report.\n"
                                                            "No camera to upgrade.\n"},
    };
    for (const auto& c : cases) {
        const CommandRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args << "\n" << run.out << run.err;
        const std::string& shown = c.exitCode == 2 ? run.err : run.out;
        EXPECT_NE(shown.find(c.message), std::string::npos) << c.args << "\n" << run.out << run.err;
    }
    EXPECT_TRUE(EventsOf(sim, "request", "127.0.0.2:80").empty()) << "no camera was asked";
    const CommandRun good = Run("--retry-failed " + Path("good.json") + login);
    EXPECT_EQ(good.exitCode, 0) << good.out << good.err;
    EXPECT_EQ(RequestsTo(sim, "127.0.0.2:80", "/command/versionup.cgi").size(), 1u);
}

}  // namespace
}  // namespace qrv::test
