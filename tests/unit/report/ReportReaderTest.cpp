// Reading a batch report back: what the program wrote comes back unchanged,
// in either format and as a spreadsheet may re-save it; anything damaged or
// of another format version is refused with the line and field named; and
// which cameras a retry takes up.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "report/ReportReader.h"
#include "tests/support/TestFolder.h"
#include "tests/unit/report/SampleRecord.h"

namespace qrv {
namespace {

namespace fs = std::filesystem;

ReportRecord Upgraded() {
    ReportRecord r = test::SampleRecord();
    r.ended = "2026-12-07T11:14:00-03:30";
    return r;
}

// A camera whose text needs every kind of quoting and escaping.
ReportRecord Refused() {
    ReportRecord r;
    r.address = "10.1.2.3";
    r.port = 80;
    r.model = "QRV-K7, \"new\"";
    r.serial = "two\r\nlines\\\x7f\t";
    r.versionBefore = "1.20";
    r.stage = 12;
    r.statusText = "Error3";
    r.resultLine = "Caméra 10.1.2.3 \xF0\x9F\x93\xB7 refused";
    r.finished = true;
    r.settings = SetupDataMode::Retain;
    r.config = ConfigOutcome::Kept;
    r.configPath = "/tmp/c/a,b.cfg";
    r.started = "2026-12-07T11:12:13+00:00";
    return r;
}

BatchReport Sample() { return BatchReport{"1.30.0", "2026-12-07T11:12:00+01:00", "1.30", {Upgraded(), Refused()}}; }

// `text` with its first `from` replaced by `to`.
std::string With(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(ReportReader, WhatTheProgramWroteComesBackUnchanged) {
    std::string error;
    const std::optional<BatchReport> json = ReadReport(ReportJson(Sample()), error);
    ASSERT_TRUE(json) << error;
    EXPECT_EQ(ReportJson(*json), ReportJson(Sample()));
    const std::optional<BatchReport> csv = ReadReport(ReportCsv(Sample()), error);
    ASSERT_TRUE(csv) << error;
    EXPECT_EQ(ReportCsv(*csv), ReportCsv(Sample()));
    EXPECT_EQ(csv->carriedVersion, "") << "a CSV report does not record it";
    const std::optional<BatchReport> empty = ReadReport(ReportCsv(BatchReport{}), error);
    ASSERT_TRUE(empty) << error;
    EXPECT_TRUE(empty->records.empty());
}

// A camera's text that a spreadsheet would run as a formula is written
// inert, and the reader gives back what the camera sent.
TEST(ReportReader, FormulaCellsAreWrittenInertAndReadBackUnchanged) {
    struct Case {
        std::string text;
        std::string written;  // the cell's start in the CSV
    };
    const std::vector<Case> cases = {
        {"=1+2", "'=1+2"},           {"+SUM(A1)", "'+SUM(A1)"}, {"-2", "'-2"},
        {"@cmd", "'@cmd"},           {"\tx", "'\tx"},          {"'=already", "''=already"},
        {"'", "''"},                 {"1.20", "1.20"},          {"a=b", "a=b"},
        {"=HYPERLINK(\"x\",\"y\")", "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadCsvCell(InertCsvCell(c.text)), c.text) << c.text;
        ReportRecord record = Upgraded();
        record.versionBefore = c.text;
        record.model = c.text;
        const std::string csv = ReportCsv(BatchReport{"", "", "", {record}});
        EXPECT_NE(csv.find("," + c.written), std::string::npos) << c.text << "\n" << csv;
        std::string error;
        const std::optional<BatchReport> back = ReadReport(csv, error);
        ASSERT_TRUE(back) << c.text << ": " << error;
        EXPECT_EQ(back->records.at(0).versionBefore, c.text);
        EXPECT_EQ(back->records.at(0).model, c.text);
    }
}

TEST(ReportReader, ReadsTheSameReportAsOtherToolsRewriteIt) {
    BatchReport lfSample = Sample();
    lfSample.records[1].serial = "two\nlines";
    const std::string lfCsv = ReportCsv(lfSample);
    std::string lfOnly = lfCsv;
    for (std::size_t at; (at = lfOnly.find("\r\n")) != std::string::npos;) lfOnly.erase(at, 1);
    const std::string head = "format,address,port,mac,model,serial,version_before,version_after,stage,status,"
                             "result,finished,upgraded,settings,config_file,config,started,ended";
    // Every field quoted, no line end after the last line, and a blank line.
    const std::string quotedCsv = head + "\r\n\r\n\"1\",\"127.0.0.2\",\"8080\",\"08:00:23:00:05:01\",\"QRV-K7\","
                                         "\"100501\",\"1.20\",\"1.30\",\"9\",\"Completed\",\"QRV-K7(127.0.0.2:8080) "
                                         "Completed successfully.\",\"true\",\"true\",\"backup\","
                                         "\"/tmp/c/qrv-k7.100501.cfg\",\"restored, kept\","
                                         "\"2026-12-07T11:12:13+01:00\",\"2026-12-07T11:14:00-03:30\"";
    const std::string json = ReportJson(Sample());
    // Indented, escapes where the program writes plain text, keys in another order.
    const std::string pretty =
        With(With(With(json, "{\"format\":1,", "\xEF\xBB\xBF\n  {\r\n\t\"batch_time\" : \"2026-12-07T11:12:00+01:00\",\n"
                                              "  \"format\" : 1 ,"),
                  ",\"batch_time\":\"2026-12-07T11:12:00+01:00\"", ""),
             "Completed successfully.\"", "Completed success\\u0066ully\\u002E\"");
    const struct {
        const char* what;
        std::string text;
        std::string same;  // the report it must equal, in the writer's own form
    } cases[] = {
        {"CSV with LF line ends", lfOnly, lfCsv},
        {"CSV quoted throughout", quotedCsv, ReportCsv(BatchReport{"", "", "", {Upgraded()}})},
        {"JSON re-indented", pretty, json},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::optional<BatchReport> report = ReadReport(c.text, error);
        ASSERT_TRUE(report) << c.what << ": " << error;
        EXPECT_EQ(c.same.front() == '{' ? ReportJson(*report) : ReportCsv(*report), c.same) << c.what;
    }
}

TEST(ReportReader, RefusesDamageAndOtherFormatsNamingLineAndField) {
    const std::string json = ReportJson(Sample());  // line 2: record 1, line 3: record 2
    const std::string csv = ReportCsv(Sample());    // line 2: record 1, line 3: record 2 (two lines)
    // 257 copies of the first record.
    const std::string oneJson = ReportJson(BatchReport{"", "", "", {Upgraded()}});
    const std::string oneCsv = ReportCsv(BatchReport{"", "", "", {Upgraded()}});
    const std::size_t jsonFrom = oneJson.find("[\n") + 2;
    const std::size_t csvFrom = oneCsv.find("\r\n") + 2;
    std::string manyJson = oneJson.substr(0, jsonFrom);
    std::string manyCsv = oneCsv.substr(0, csvFrom);
    for (int i = 0; i < 257; ++i) {
        manyJson += (i ? ",\n" : "") + oneJson.substr(jsonFrom, oneJson.find("\n]") - jsonFrom);
        manyCsv += oneCsv.substr(csvFrom);
    }
    manyJson += "\n]}";
    const struct {
        const char* what;
        std::string text;
        std::string error;  // what the message must say
    } cases[] = {
        // JSON that is no JSON.
        {"truncated", json.substr(0, json.size() - 4), "line 3: not valid JSON: an array is not closed"},
        {"cut inside a string", json.substr(0, json.find("100501") + 3), "line 2: not valid JSON: a string is not closed"},
        {"trailing comma", With(json, "\"1.30\",\"records\"", "\"1.30\",}"), "line 1: not valid JSON: expected a key"},
        {"single quotes", With(json, "\"program_version\"", "'program_version'"), "line 1: not valid JSON: expected a key"},
        {"raw line end in a string", With(json, "100501", "1005\n01"), "line 2: not valid JSON: a control character"},
        {"bad UTF-8", With(json, "100501", "1005\xC0\xAF"), "line 2: not valid JSON: a string is not valid UTF-8"},
        {"lone surrogate", With(json, "100501", "\\ud83d01"), "line 2: not valid JSON: a high surrogate"},
        {"unknown escape", With(json, "100501", "\\\x1b"), "line 2: not valid JSON: unknown escape: a backslash before byte 0x1B"},
        {"key without colon", With(json, "\"mac\":", "\"m\\u001b[31m" + std::string(50, 'c') + "\" "), "line 2: not valid JSON: expected ':' after the key \"m?[31mcccc"},
        {"leading zero", With(json, "\"port\":8080", "\"port\":08080"), "line 2: not valid JSON: expected ','"},
        {"text after the report", json + "{}", "line 5: not valid JSON: text after the end of the value"},
        {"nested too deep", "{\"x\":" + std::string(40, '[') + std::string(40, ']') + "}", "line 1: not valid JSON: nested deeper than 16 levels"},
        {"an array", "[" + json + "]", "line 1: a report is a JSON object, not an array"},
        // JSON of another version, or no report at all.
        {"format 2", With(json, "\"format\":1", "\"format\":2"), "line 1: the report is of format '2'; this program reads format 1"},
        {"format as text", With(json, "\"format\":1", "\"format\":\"1\""), "line 1: field 'format' must be a number, not a string"},
        {"no format", With(json, "\"format\":1,", ""), "line 1: no field 'format'"},
        {"unknown field", With(json, "\"carried_version\"", "\"tool\":1,\"carried_version\""), "line 1: unknown field 'tool'"},
        {"header field twice", With(json, "\"records\"", "\"batch_time\":\"\",\"records\""), "line 1: field 'batch_time' appears twice"},
        {"header field missing", With(json, "\"carried_version\":\"1.30\",", ""), "line 1: field 'carried_version' is missing"},
        {"records no array", "{\"format\":1,\"program_version\":\"\",\"batch_time\":\"\",\"carried_version\":\"\",\n\"records\":{}}", "line 2: field 'records' must be an array, not an object"},
        {"batch time no time", With(json, "2026-12-07T11:12:00+01:00", "today"), "line 1: field 'batch_time': 'today' is not a time"},
        // Records with the wrong fields or values.
        {"record no object", With(json, "{\"address\":\"10.1.2.3\"", "[\"address\",\"10.1.2.3\""), "line 3: not valid JSON: expected ',' or ']'"},
        {"record a string", With(json, "[\n{", "[\n\"x\",{"), "line 2: record 1: must be an object, not a string"},
        {"port as text", With(json, "\"port\":8080", "\"port\":\"8080\""), "line 2: record 1: field 'port' must be a number, not a string"},
        {"port zero", With(json, "\"port\":8080", "\"port\":0"), "line 2: record 1: field 'port': '0' is not a port"},
        {"port too high", With(json, "\"port\":80,", "\"port\":65536,"), "line 3: record 2: field 'port': '65536' is not a port"},
        {"port a fraction", With(json, "\"port\":8080", "\"port\":8080.5"), "field 'port': '8080.5' is not a port"},
        {"field missing", With(json, "\"mac\":\"08:00:23:00:05:01\",", ""), "line 2: record 1: field 'mac' is missing"},
        {"field twice", With(json, "\"mac\":\"\"", "\"mac\":\"\",\"mac\":\"\""), "line 3: record 2: field 'mac' appears twice"},
        {"unknown record field", With(json, "\"mac\":\"\"", "\"colour\":\"\""), "line 3: record 2: unknown field 'colour'"},
        {"address of a name", With(json, "127.0.0.2", "camera.local"), "line 2: record 1: field 'address': 'camera.local' is not an address"},
        {"address with port", With(json, "\"127.0.0.2\"", "\"127.0.0.2:8080\""), "field 'address': '127.0.0.2:8080' is not an address"},
        {"address out of range", With(json, "127.0.0.2", "127.0.0.256"), "field 'address': '127.0.0.256' is not an address"},
        {"stage unknown", With(json, "\"stage\":12", "\"stage\":17"), "line 3: record 2: field 'stage': '17' is not a stage code"},
        {"stage negative", With(json, "\"stage\":12", "\"stage\":-1"), "field 'stage': '-1' is not a stage code"},
        {"flag as text", With(json, "\"upgraded\":true", "\"upgraded\":\"true\""), "field 'upgraded' must be true or false, not a string"},
        {"flag as null", With(json, "\"finished\":true", "\"finished\":null"), "field 'finished' must be true or false, not null"},
        {"settings unknown", With(json, "\"settings\":\"backup\"", "\"settings\":\"keep\""), "line 2: record 1: field 'settings': unknown settings 'keep'"},
        {"config unknown", With(json, "\"restored, kept\"", "\"restored\""), "line 2: record 1: field 'config': unknown config outcome 'restored'"},
        {"time unknown", With(json, "2026-12-07T11:14:00-03:30", "2026-12-07 11:14"), "field 'ended': '2026-12-07 11:14' is not a time"},
        {"257 records", manyJson, "line 1: more than 256 records (257)"},
        // CSV that is damaged or of another version.
        {"CSV before the format column", csv.substr(7), "line 1: no column 'format'"},
        {"CSV of format 2", With(csv, "\r\n1,10.1.2.3", "\r\n2,10.1.2.3"), "line 3: the report is of format '2'; this program reads format 1"},
        {"CSV column renamed", With(csv, ",port,", ",prt,"), "line 1: column 3 is 'prt'; a report of format 1 has 'port' there"},
        {"CSV column missing", With(csv, ",status,", ","), "line 1: the header names 17 columns; a report of format 1 has 18"},
        {"CSV field missing", With(csv, ",08:00:23:00:05:01,", ","), "line 2: 17 fields; a report line has 18"},
        {"CSV field too many", With(csv, ",08:00:23:00:05:01,", ",08:00:23:00:05:01,x,"), "line 2: 19 fields; a report line has 18"},
        {"CSV quote not closed", csv.substr(0, csv.find("lines")), "line 3: column 6: a quoted field is not closed"},
        {"CSV quote inside", With(csv, "100501", "100\"501"), "line 2: column 6: a quote inside a field"},
        {"CSV text after quote", With(csv, "\"restored, kept\"", "\"restored, kept\"x"), "line 2: column 16: text after the closing quote"},
        {"CSV flag", With(csv, ",true,true,", ",true,yes,"), "line 2: field 'upgraded': 'yes' is neither true nor false"},
        {"CSV port", With(csv, ",8080,", ",80a,"), "line 2: field 'port': '80a' is not a port"},
        {"CSV bad UTF-8", With(csv, "100501", "100\xFF" "501"), "line 2: field 'serial': not UTF-8 text"},
        {"CSV after a field of two lines", With(csv, ",retain,", ",Retain,"), "line 4: field 'settings': unknown settings 'Retain'"},
        {"CSV 257 records", manyCsv, "line 258: more than 256 records"},
        // No report at all.
        {"empty", " \r\n\t", "the file is empty"},
        {"too large", std::string(kMaxReportBytes + 1, ' '), "larger than 4 MiB"},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::optional<BatchReport> report = ReadReport(c.text, error);
        EXPECT_FALSE(report) << c.what;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
        // Text from the file is shown cut short and without control characters.
        EXPECT_LT(error.size(), 200u) << c.what;
        EXPECT_TRUE(std::all_of(error.begin(), error.end(), [](char ch) { return ch >= 0x20 && ch < 0x7F; }))
            << c.what << ": " << error;
    }
}

// The system's own words for a file that is not there ("No such file or
// directory" on Linux), which a refusal passes on.
std::string MissingFileText(const fs::path& path) {
    ReadFileBytes(path.string());
    return LastFileError();
}

TEST(ReportReader, AFileIsReadOnlyWhenItIsARegularFileOfAReportsSize) {
    const fs::path root = test::FreshTestFolder("qrv-report-reader");
    std::ofstream(root / "report.csv", std::ios::binary) << ReportCsv(Sample());
    std::ofstream(root / "huge.json");
    fs::resize_file(root / "huge.json", kMaxReportBytes + 1);
    const struct {
        fs::path path;
        std::string error;  // empty: read
    } cases[] = {
        {root / "report.csv", ""},
        {root / "missing.json", MissingFileText(root / "missing.json")},
        {root, "not a regular file"},
        {root / "huge.json", "larger than 4 MiB"},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::optional<BatchReport> report = ReadReportFile(c.path.string(), error);
        EXPECT_EQ(report.has_value(), c.error.empty()) << c.path << ": " << error;
        if (!c.error.empty()) {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.path << ": " << error;
        }
    }
    fs::remove_all(root);
}

TEST(ReportReader, ARetryTakesUpTheFailedCamerasOnce) {
    const auto record = [](std::string address, int port, bool upgraded, bool finished, std::string started,
                           std::string versionBefore) {
        ReportRecord r;
        r.address = std::move(address);
        r.port = port;
        r.upgraded = upgraded;
        r.finished = finished;
        r.started = std::move(started);
        r.versionBefore = std::move(versionBefore);
        return r;
    };
    const std::string t = "2026-12-07T11:12:13+01:00";
    BatchReport report;
    report.records = {
        record("10.0.0.1", 80, true, true, t, "1.20"),      // upgraded
        record("10.0.0.2", 80, false, true, t, "1.20"),     // failed
        record("10.0.0.3", 80, false, true, "", "1.30"),    // left out: already 1.30
        record("10.0.0.4", 80, false, true, "", ""),        // left out: did not answer
        record("10.0.0.5", 80, false, false, "", "1.30"),   // still queued when interrupted
        record("10.0.0.2", 80, false, true, "", "1.20"),    // given twice
        record("10.0.0.1", 80, false, true, "", "1.20"),    // given twice, and upgraded above
        record("10.0.0.1", 8080, false, true, t, "1.30"),   // another camera behind the same address
        record("10.0.0.6", 1024, false, true, t, "1.30"),   // failed although it had run 1.30
    };
    const auto texts = [](const std::vector<CameraAddress>& cameras) {
        std::vector<std::string> out;
        for (const CameraAddress& camera : cameras) out.push_back(camera.Text8());
        return out;
    };
    EXPECT_EQ(texts(CamerasToRetry(report, "1.30")),
              (std::vector<std::string>{"10.0.0.2", "10.0.0.4", "10.0.0.5", "10.0.0.1:8080", "10.0.0.6:1024"}));
    EXPECT_EQ(texts(CamerasToRetry(report, "1.40")),
              (std::vector<std::string>{"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5", "10.0.0.1:8080",
                                        "10.0.0.6:1024"}))
        << "a camera left out on an older version is taken up by a program that carries a newer one";
}

// The JSON library reads the texts: every escape decodes, and anything
// outside the grammar is refused with the line, never taken in part.
TEST(ReportReader, DecodesEveryJsonEscapeAndRefusesWhatIsNoJson) {
    const std::string json = ReportJson(Sample());
    const struct {
        std::string written;  // the program version as it stands in the file
        std::string text;     // what it reads back as
    } cases[] = {
        {R"("a\"b\\c\/d\b\f\n\r\t")", "a\"b\\c/d\b\f\n\r\t"},
        {R"("\u00e9\u20AC\ud83d\udcf7\u0000")", std::string("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xB7\0", 10)},
        {"\"\xE2\x82\xAC\"", "\xE2\x82\xAC"},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::optional<BatchReport> report = ReadReport(With(json, "\"1.30.0\"", c.written), error);
        ASSERT_TRUE(report) << c.written << ": " << error;
        EXPECT_EQ(report->programVersion, c.text) << c.written;
    }
    for (const std::string bad : {"-", "1.", "1e", "\"\\x\"", "\"\\u12\"", "\"\xED\xA0\x80\"", "\"\xE0\x80\xAF\"",
                                  "tru", "nul", "", "{\"a\" 1}", "[1 2]", "\"\\udc00\"", "1e999", "'x'"}) {
        std::string error;
        EXPECT_FALSE(ReadReport("{\"format\":" + bad + "}", error)) << bad;
        EXPECT_TRUE(error.starts_with("line 1: not valid JSON: ")) << bad << ": " << error;
        EXPECT_TRUE(std::all_of(error.begin(), error.end(), [](char ch) { return ch >= 0x20 && ch < 0x7F; }))
            << bad << ": " << error;
    }
}

// Shapes that could cost the reader dear: a long key above many values, many
// keys in one object, a repeated key deep inside. Each is refused, quickly.
TEST(ReportReader, RefusesHostileShapesWithoutTrouble) {
    std::string manyValues = "[[";
    for (int i = 0; i < 60000; ++i) manyValues += i ? ",0" : "0";
    manyValues += "]]";
    std::string manyKeys = "{";
    for (int i = 0; i < 60000; ++i) manyKeys += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":0";
    manyKeys += "}";
    const struct {
        const char* what;
        std::string text;
        std::string error;
    } cases[] = {
        {"long key above many values", "{\"format\":1,\"" + std::string(1 << 20, 'k') + "\":" + manyValues + "}", "unknown field 'kkkk"},
        {"many keys", "{\"format\":1,\"x\":" + manyKeys + "}", "unknown field 'x'"},
        {"too many values", "{\"x\":[" + manyValues + "," + manyValues + "]}", "more than 65536 values"},
        {"key repeated deep inside", "{\"x\":[[{\"a\":1,\n\"a\":2}]]}", "line 2: field 'a' appears twice"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ReadReport(c.text, error)) << c.what;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    }
}

// A configuration saved under a home folder whose name is no UTF-8 (Latin-1
// here): the report holds U+FFFD for each such byte, and a retry reads it.
TEST(ReportReader, AReportWithAPathThatIsNoUtf8ReadsBack) {
    const fs::path root = test::FreshTestFolder("qrv-report-latin1");
    BatchReport report = Sample();
    report.records[0].configPath = "/home/j\xF6rg/.config/qrv/qrv-k7.100501.cfg";
    report.records[1].resultLine = "QRV-K7(10.1.2.3) kept in /home/j\xF6rg/x.cfg \xE2\x82";
    for (const char* name : {"report.json", "report.csv"}) {
        const std::string path = (root / name).string();
        std::string error;
        ASSERT_TRUE(WriteReport(path, report, error)) << error;
        const std::optional<BatchReport> back = ReadReportFile(path, error);
        ASSERT_TRUE(back) << name << ": " << error;
        ASSERT_EQ(back->records.size(), 2u);
        EXPECT_EQ(back->records[0].configPath, "/home/j\xEF\xBF\xBDrg/.config/qrv/qrv-k7.100501.cfg") << name;
        EXPECT_EQ(back->records[1].resultLine, "QRV-K7(10.1.2.3) kept in /home/j\xEF\xBF\xBDrg/x.cfg \xEF\xBF\xBD\xEF\xBF\xBD")
            << name;
        EXPECT_EQ(back->records[0].serial, "100501") << name;
    }
    fs::remove_all(root);
}

}  // namespace
}  // namespace qrv
