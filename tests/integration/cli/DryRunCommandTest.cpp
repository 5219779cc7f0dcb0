// batch --dry-run and upgrade --dry-run against simulated cameras: each camera
// is asked what a run would ask before its job starts, the lines and the
// report say what would happen, and the simulator's log shows that nothing
// but inquiries reached any camera: no configuration save, no upload, no
// restore.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/integration/cli/InProcessCli.h"
#include "tests/integration/engine/SimTestSupport.h"
#include "tests/support/CommandRun.h"

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

class DryRunCommand : public ::testing::Test {
protected:
    CommandRun Run(const std::string& args) const { return RunInProcess(args); }

    // The records of a JSON report by address, and its header.
    static nlohmann::json Parse(const std::string& text) {
        nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
        EXPECT_FALSE(doc.is_discarded()) << text;
        return doc;
    }
    static std::map<std::string, nlohmann::json> ByAddress(const nlohmann::json& doc) {
        std::map<std::string, nlohmann::json> records;
        for (const nlohmann::json& record : doc.value("records", nlohmann::json::array())) {
            records[record.value("address", std::string())] = record;
        }
        return records;
    }
    std::string Slurp(const fs::path& path) const {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Every request the cameras received was an inquiry, and nothing was
    // written: no save (GET of a .cfg), no upload, no restore, no state
    // change.
    static void ExpectOnlyInquiries(const SimProcess& sim) {
        int inquiries = 0;
        for (const SimEvent& event : sim.Events()) {
            if (event.kind == "request") {
                EXPECT_EQ(event.path, "/command/inquiry.cgi") << event.camera << " got " << event.target;
                inquiries += event.path == "/command/inquiry.cgi" ? 1 : 0;
            }
            if (event.kind == "state") {
                EXPECT_EQ(event.state, "up") << event.camera;
            }
        }
        EXPECT_GT(inquiries, 0);
    }

    bool NoConfigurationSaved() const {
        for (const auto& entry : fs::recursive_directory_iterator(folder.root)) {
            if (entry.path().extension() == ".cfg") return false;
        }
        return true;
    }

    CommandFolder folder;
};

// A discovered fleet with one camera of each kind: one to upgrade, one already
// current, one whose account is not the administrator's, one in its emergency
// state (with the other image), and one that refuses every request.
TEST_F(DryRunCommand, BatchSaysPerCameraWhatWouldHappenAndChangesNothing) {
    SimProcess sim(Camera("127.0.0.2", "serial=100601 mac=08:00:23:00:06:01") +
                       Camera("127.0.0.3", "serial=100602 mac=08:00:23:00:06:02 version=1.30") +
                       Camera("127.0.0.4", "serial=100603 mac=08:00:23:00:06:03 admin=root:other") +
                       Camera("127.0.0.5", "serial=100604 mac=08:00:23:00:06:04 version=emergency doctype=g3") +
                       Camera("127.0.0.6", "serial=100605 mac=08:00:23:00:06:05 fault=always401"),
                   kScale);
    const fs::path report = folder.root / "dry.json";
    const CommandRun run = Run("batch --dry-run --user admin --password admin --seconds 0.4 --retain --skip-current "
                               "--report '" + report.string() + "' --time-scale 0.01");
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    for (const char* line : {"would upgrade 127.0.0.2: 1.20 -> 1.30, settings retained\n",
                             "would skip 127.0.0.3: already 1.30\n",
                             "would refuse 127.0.0.4: Please enter correct user name and password for the "
                             "administrator.\n",
                             "would upgrade 127.0.0.5: unknown (emergency state) -> 1.30, settings retained\n",
                             "would refuse 127.0.0.6: "}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    }
    // A dry run asks for no confirmation and starts no job.
    EXPECT_EQ(run.err.find("Proceed"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Proceeded"), std::string::npos) << run.out;

    const nlohmann::json doc = Parse(Slurp(report));
    EXPECT_EQ(doc.value("dry_run", false), true);
    const auto records = ByAddress(doc);
    ASSERT_EQ(records.size(), 5u) << doc.dump();
    const struct {
        const char* address;
        const char* would;
        const char* versionBefore;
        int image;
    } expected[] = {
        {"127.0.0.2", "upgrade", "1.20", 0}, {"127.0.0.3", "skip", "1.30", 0}, {"127.0.0.4", "refuse", "1.20", 0},
        {"127.0.0.5", "upgrade", "unknown", 1}, {"127.0.0.6", "refuse", "", 0},
    };
    for (const auto& e : expected) {
        const nlohmann::json& r = records.at(e.address);
        EXPECT_EQ(r.value("would", ""), e.would) << r.dump();
        EXPECT_EQ(r.value("version_before", "?"), e.versionBefore) << r.dump();
        EXPECT_EQ(r.value("image", -1), e.image) << r.dump();
        EXPECT_EQ(r.value("settings", ""), "retain") << r.dump();
        EXPECT_FALSE(r.value("upgraded", true)) << r.dump();
        EXPECT_EQ(r.value("version_after", "?"), "") << r.dump();
        EXPECT_EQ(r.value("config_file", "?"), "") << r.dump();
        // The printed line is the record's result.
        EXPECT_NE(run.out.find(r.value("result", "?") + "\n"), std::string::npos) << r.dump();
    }
    EXPECT_EQ(records.at("127.0.0.2").value("mac", ""), "08:00:23:00:06:01");
    ExpectOnlyInquiries(sim);
    EXPECT_TRUE(NoConfigurationSaved());

    // A dry run's report names no camera to retry: it changed none.
    const CommandRun retry = Run("batch --retry-failed '" + report.string() +
                                 "' --user admin --password admin --yes --time-scale 0.01");
    EXPECT_EQ(retry.exitCode, 2) << retry.out << retry.err;
    EXPECT_NE(retry.err.find("this is the report of a dry run, which changed no camera"), std::string::npos)
        << retry.err;
}

// Given cameras, a CSV report: every camera would be upgraded or skipped, so
// the dry run succeeds; an address where nothing answers makes it fail.
TEST_F(DryRunCommand, BatchSucceedsOnlyWhenEveryCameraWouldBeUpgradedOrSkipped) {
    SimProcess sim(Camera("127.0.0.2", "serial=100611") + Camera("127.0.0.3", "serial=100612 version=1.30") +
                       Camera("127.0.0.4:8080", "serial=100613"),
                   kScale);
    const fs::path csv = folder.root / "dry.csv";
    const CommandRun good = Run("batch --dry-run 127.0.0.2 127.0.0.3 127.0.0.4:8080 --skip-current --user admin "
                                "--password admin --report '" + csv.string() + "' --time-scale 0.01");
    EXPECT_EQ(good.exitCode, 0) << good.out << good.err;
    EXPECT_NE(good.out.find("would upgrade 127.0.0.4:8080: 1.20 -> 1.30, settings discarded\n"), std::string::npos)
        << good.out;
    const std::string text = Slurp(csv);
    EXPECT_EQ(text.substr(0, text.find("\r\n")),
              "format,address,port,mac,model,serial,version_before,version_after,stage,status,result,finished,"
              "upgraded,settings,config_file,config,started,ended,would,image");
    EXPECT_NE(text.find("\r\n1,127.0.0.3,80,,QRV-K7,100612,1.30,,0,,would skip 127.0.0.3: already 1.30,false,false,"
                        "discard,,none,,,skip,0\r\n"),
              std::string::npos)
        << text;

    const CommandRun missing = Run("batch --dry-run 127.0.0.2 127.0.0.9 --user admin --password admin "
                                   "--report - --time-scale 0.01");
    EXPECT_EQ(missing.exitCode, 1) << missing.out << missing.err;
    const auto records = ByAddress(Parse(missing.out));
    ASSERT_EQ(records.size(), 2u) << missing.out;
    EXPECT_EQ(records.at("127.0.0.9").value("would", ""), "refuse");
    EXPECT_EQ(records.at("127.0.0.2").value("would", ""), "upgrade");
    ExpectOnlyInquiries(sim);
}

// upgrade --dry-run: the one camera's line and record, the exit code by the
// verdict, and no confirmation asked.
TEST_F(DryRunCommand, UpgradeSaysWhetherTheCameraWouldBeUpgraded) {
    SimProcess sim(Camera("127.0.0.2", "serial=100621") + Camera("127.0.0.3", "serial=100622 model=QRV-X1"), kScale);
    const struct {
        const char* args;
        int exitCode;
        const char* line;
        const char* would;
    } cases[] = {
        {"127.0.0.2 --backup", 0, "would upgrade 127.0.0.2: 1.20 -> 1.30, settings retained and backed up", "upgrade"},
        {"127.0.0.3", 1, "would refuse 127.0.0.3: This program works for the QRV-K7. Please select the correct camera.",
         "refuse"},
    };
    for (const auto& c : cases) {
        const CommandRun run = Run(std::string("upgrade --dry-run ") + c.args +
                                   " --user admin --password admin --report - --time-scale 0.01");
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args << run.out << run.err;
        EXPECT_NE(run.err.find(std::string(c.line) + "\n"), std::string::npos) << c.args << run.err;
        EXPECT_EQ(run.err.find("Proceed"), std::string::npos) << run.err;
        const nlohmann::json doc = Parse(run.out);
        EXPECT_TRUE(doc.value("dry_run", false));
        ASSERT_EQ(doc["records"].size(), 1u) << run.out;
        EXPECT_EQ(doc["records"][0].value("would", ""), c.would);
        EXPECT_EQ(doc["records"][0].value("result", ""), c.line);
    }
    const CommandRun refused = Run("upgrade --dry-run 127.0.0.2 --user admin --password wrong --time-scale 0.01");
    EXPECT_EQ(refused.exitCode, 1) << refused.out << refused.err;
    EXPECT_NE(refused.out.find("would refuse 127.0.0.2: "), std::string::npos) << refused.out;
    ExpectOnlyInquiries(sim);
    EXPECT_TRUE(NoConfigurationSaved());
}

}  // namespace
}  // namespace qrv::test
