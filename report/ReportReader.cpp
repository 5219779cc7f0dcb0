#include "report/ReportReader.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "engine/JobStage.h"
#include "platform/Files.h"
#include "report/JsonValue.h"

namespace qrv {

namespace {

using Kind = JsonValue::Kind;

const std::string kFormatText = std::to_string(kReportFormatVersion);

// A value from the file inside a message.
std::string Shown(std::string_view text) { return ShownInMessage(text, '\''); }

std::string AtLine(int line) { return "line " + std::to_string(line) + ": "; }

// Digits without a sign or a leading zero, as the program writes a number.
std::optional<int> WholeNumber(std::string_view text) {
    if (text.empty() || text.size() > 9 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool ReadNumberIn(std::string_view text, int lowest, int highest, int& out) {
    const std::optional<int> value = WholeNumber(text);
    if (!value || *value < lowest || *value > highest) return false;
    out = *value;
    return true;
}

bool ReadText(std::string_view text, std::string& out, std::string& why) {
    if (!IsValidUtf8(text)) {
        why = "not UTF-8 text";
        return false;
    }
    out.assign(text);
    return true;
}

// Empty, or "2026-12-07T11:12:13+01:00" as IsoLocalTime writes it.
bool ReadTime(std::string_view text, std::string& out, std::string& why) {
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd+dd:dd";
    bool fits = text.empty() || text.size() == kShape.size();
    for (std::size_t i = 0; fits && i < text.size(); ++i) {
        const char c = text[i];
        const char want = kShape[i];
        fits = want == 'd' ? c >= '0' && c <= '9' : want == '+' ? c == '+' || c == '-' : c == want;
    }
    if (!fits) {
        why = Shown(text) + " is not a time like 2026-12-07T11:12:13+01:00";
        return false;
    }
    out.assign(text);
    return true;
}

bool ReadAddress(std::string_view text, std::string& out, std::string& why) {
    // The port has a field of its own.
    if (!CameraAddress::Parse(text) || text.find(':') != std::string_view::npos) {
        why = Shown(text) + " is not an address a.b.c.d";
        return false;
    }
    out.assign(text);
    return true;
}

bool ReadPort(std::string_view text, int& out, std::string& why) {
    if (ReadNumberIn(text, 1, kHighestPort, out)) return true;
    why = Shown(text) + " is not a port (1 to 65535)";
    return false;
}

bool ReadStage(std::string_view text, int& out, std::string& why) {
    if (ReadNumberIn(text, kStandby, kError7, out)) return true;
    why = Shown(text) + " is not a stage code (0 to 16)";
    return false;
}

bool ReadFlag(std::string_view text, bool& out, std::string& why) {
    if (text != "true" && text != "false") {
        why = Shown(text) + " is neither true nor false";
        return false;
    }
    out = text == "true";
    return true;
}

bool ReadSettings(std::string_view text, SetupDataMode& out, std::string& why) {
    for (const SetupDataMode mode : {SetupDataMode::Discard, SetupDataMode::Retain, SetupDataMode::Backup}) {
        if (text == SettingsModeName(mode)) {
            out = mode;
            return true;
        }
    }
    why = "unknown settings " + Shown(text) + " (discard, retain or backup)";
    return false;
}

bool ReadConfig(std::string_view text, ConfigOutcome& out, std::string& why) {
    for (const ConfigOutcome outcome :
         {ConfigOutcome::None, ConfigOutcome::Restored, ConfigOutcome::RestoredKept, ConfigOutcome::Kept}) {
        if (text == ConfigOutcomeName(outcome)) {
            out = outcome;
            return true;
        }
    }
    why = "unknown config outcome " + Shown(text);
    return false;
}

// One field of a record: its name (JSON key and CSV column), the JSON kind it
// is written as, and how its text goes into the record.
struct RecordField {
    const char* name;
    Kind kind;
    bool (*read)(std::string_view text, ReportRecord& record, std::string& why);
};

// In the order of the CSV columns after "format".
constexpr std::array<RecordField, 17> kRecordFields{{
    {"address", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadAddress(t, r.address, w); }},
    {"port", Kind::Number, [](auto t, ReportRecord& r, std::string& w) { return ReadPort(t, r.port, w); }},
    {"mac", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.mac, w); }},
    {"model", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.model, w); }},
    {"serial", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.serial, w); }},
    {"version_before", Kind::String,
     [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.versionBefore, w); }},
    {"version_after", Kind::String,
     [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.versionAfter, w); }},
    {"stage", Kind::Number, [](auto t, ReportRecord& r, std::string& w) { return ReadStage(t, r.stage, w); }},
    {"status", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.statusText, w); }},
    {"result", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.resultLine, w); }},
    {"finished", Kind::Bool, [](auto t, ReportRecord& r, std::string& w) { return ReadFlag(t, r.finished, w); }},
    {"upgraded", Kind::Bool, [](auto t, ReportRecord& r, std::string& w) { return ReadFlag(t, r.upgraded, w); }},
    {"settings", Kind::String,
     [](auto t, ReportRecord& r, std::string& w) { return ReadSettings(t, r.settings, w); }},
    {"config_file", Kind::String,
     [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.configPath, w); }},
    {"config", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadConfig(t, r.config, w); }},
    {"started", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadTime(t, r.started, w); }},
    {"ended", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadTime(t, r.ended, w); }},
}};

std::string OtherFormat(std::string_view written) {
    return "the report is of format " + Shown(written) + "; this program reads format " + kFormatText;
}

std::string NoFormat(const char* where) {
    return std::string("no ") + where + " 'format': this is no batch report, or one written before format " +
           kFormatText;
}

// ---- JSON ----

// The keys of `object` are all among `names`, each once; otherwise `error`.
template <std::size_t N>
bool CheckKeys(const JsonValue& object, const std::array<const char*, N>& names, const std::string& context,
               std::string& error) {
    std::array<bool, N> seen{};
    for (std::size_t i = 0; i < object.keys.size(); ++i) {
        const std::string& key = object.keys[i];
        const auto known = std::find_if(names.begin(), names.end(), [&](const char* name) { return key == name; });
        const std::string where = AtLine(object.items[i].line) + context;
        if (known == names.end()) {
            error = where + "unknown field " + Shown(key);
            return false;
        }
        bool& once = seen[static_cast<std::size_t>(known - names.begin())];
        if (once) {
            error = where + "field '" + key + "' appears twice";
            return false;
        }
        once = true;
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (!seen[i]) {
            error = AtLine(object.line) + context + "field '" + names[i] + "' is missing";
            return false;
        }
    }
    return true;
}

bool CheckKind(const JsonValue& value, Kind kind, const std::string& where, const char* name, std::string& error) {
    if (value.kind == kind) return true;
    error = where + "field '" + name + "' must be " + JsonKindName(kind) + ", not " + JsonKindName(value.kind);
    return false;
}

bool ReadJsonRecord(const JsonValue& value, std::size_t index, ReportRecord& record, std::string& error) {
    const std::string context = "record " + std::to_string(index + 1) + ": ";
    if (value.kind != Kind::Object) {
        error = AtLine(value.line) + context + "must be an object, not " + JsonKindName(value.kind);
        return false;
    }
    static constexpr std::array<const char*, kRecordFields.size()> kNames = [] {
        std::array<const char*, kRecordFields.size()> names{};
        for (std::size_t i = 0; i < names.size(); ++i) names[i] = kRecordFields[i].name;
        return names;
    }();
    if (!CheckKeys(value, kNames, context, error)) return false;
    for (const RecordField& field : kRecordFields) {
        const JsonValue& item = *value.Member(field.name);
        const std::string where = AtLine(item.line) + context;
        if (!CheckKind(item, field.kind, where, field.name, error)) return false;
        const std::string_view text =
            item.kind == Kind::Bool ? std::string_view(item.boolean ? "true" : "false") : std::string_view(item.text);
        std::string why;
        if (!field.read(text, record, why)) {
            error = where + "field '" + field.name + "': " + why;
            return false;
        }
    }
    return true;
}

std::optional<BatchReport> ReadJson(std::string_view text, std::string& error) {
    const std::optional<JsonValue> document = ParseJson(text, error);
    if (!document) return std::nullopt;
    if (document->kind != Kind::Object) {
        error = AtLine(document->line) + "a report is a JSON object, not " + JsonKindName(document->kind);
        return std::nullopt;
    }
    // The format first: a report of another version may differ in anything else.
    const JsonValue* format = document->Member("format");
    if (!format) {
        error = AtLine(document->line) + NoFormat("field");
        return std::nullopt;
    }
    if (!CheckKind(*format, Kind::Number, AtLine(format->line), "format", error)) return std::nullopt;
    if (format->text != kFormatText) {
        error = AtLine(format->line) + OtherFormat(format->text);
        return std::nullopt;
    }
    static constexpr std::array<const char*, 5> kNames = {"format", "program_version", "batch_time",
                                                          "carried_version", "records"};
    if (!CheckKeys(*document, kNames, "", error)) return std::nullopt;
    BatchReport report;
    const auto textField = [&](const char* name, std::string& out, bool time) {
        const JsonValue& value = *document->Member(name);
        if (!CheckKind(value, Kind::String, AtLine(value.line), name, error)) return false;
        std::string why;
        if (time ? ReadTime(value.text, out, why) : ReadText(value.text, out, why)) return true;
        error = AtLine(value.line) + "field '" + name + "': " + why;
        return false;
    };
    if (!textField("program_version", report.programVersion, false) ||
        !textField("batch_time", report.batchTime, true) ||
        !textField("carried_version", report.carriedVersion, false)) {
        return std::nullopt;
    }
    const JsonValue& records = *document->Member("records");
    if (!CheckKind(records, Kind::Array, AtLine(records.line), "records", error)) return std::nullopt;
    if (records.items.size() > kMaxReportRecords) {
        error = AtLine(records.line) + "more than " + std::to_string(kMaxReportRecords) + " records (" +
                std::to_string(records.items.size()) + ")";
        return std::nullopt;
    }
    report.records.resize(records.items.size());
    for (std::size_t i = 0; i < records.items.size(); ++i) {
        if (!ReadJsonRecord(records.items[i], i, report.records[i], error)) return std::nullopt;
    }
    return report;
}

// ---- CSV ----

struct CsvRow {
    int line = 1;
    std::vector<std::string> fields;
    std::vector<int> lines;  // where each field begins
};

constexpr std::size_t kMaxCsvFields = 64;

// RFC 4180 fields: a field that begins with a quote runs to the next lone
// quote, "" inside it being one quote. Lines end with CR LF, LF or a lone CR;
// empty lines are skipped. At most one header and kMaxReportRecords lines.
class CsvSplitter {
public:
    explicit CsvSplitter(std::string_view text) : text_(text) {}

    bool Split(std::vector<CsvRow>& rows, std::string& error) {
        while (pos_ < text_.size()) {
            if (AtLineEnd()) {
                SkipLineEnd();
                continue;
            }
            if (rows.size() > kMaxReportRecords) {
                error = AtLine(line_) + "more than " + std::to_string(kMaxReportRecords) + " records";
                return false;
            }
            rows.emplace_back();
            if (!Row(rows.back(), error)) return false;
        }
        return true;
    }

private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    bool AtLineEnd() const { return !AtEnd() && (text_[pos_] == '\r' || text_[pos_] == '\n'); }
    void SkipLineEnd() {
        if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
        ++pos_;
        ++line_;
    }

    bool Row(CsvRow& row, std::string& error) {
        row.line = line_;
        for (;;) {
            if (row.fields.size() == kMaxCsvFields) {
                error = AtLine(row.line) + "more than " + std::to_string(kMaxCsvFields) + " fields";
                return false;
            }
            row.fields.emplace_back();
            row.lines.push_back(line_);
            if (!Field(row.fields.back(), row.fields.size(), error)) return false;
            if (AtEnd()) return true;
            if (AtLineEnd()) {
                SkipLineEnd();
                return true;
            }
            ++pos_;  // the comma
        }
    }

    bool Field(std::string& out, std::size_t column, std::string& error) {
        const std::string where = AtLine(line_) + "column " + std::to_string(column) + ": ";
        if (AtEnd() || text_[pos_] != '"') {
            while (!AtEnd() && text_[pos_] != ',' && !AtLineEnd()) {
                if (text_[pos_] == '"') {
                    error = where + "a quote inside a field that does not begin with one";
                    return false;
                }
                out += text_[pos_++];
            }
            return true;
        }
        ++pos_;
        for (;;) {
            if (AtEnd()) {
                error = where + "a quoted field is not closed";
                return false;
            }
            const char c = text_[pos_];
            if (c == '"') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
                    out += '"';
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                break;
            }
            // Line ends inside a field are its text, but still lines of the file.
            if (c == '\n' || (c == '\r' && (pos_ + 1 == text_.size() || text_[pos_ + 1] != '\n'))) ++line_;
            out += c;
            ++pos_;
        }
        if (!AtEnd() && text_[pos_] != ',' && !AtLineEnd()) {
            error = AtLine(line_) + "column " + std::to_string(column) + ": text after the closing quote";
            return false;
        }
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

const std::size_t kCsvColumns = kRecordFields.size() + 1;

bool CheckCsvHeader(const CsvRow& header, std::string& error) {
    if (header.fields.size() != kCsvColumns) {
        error = AtLine(header.line) + "the header names " + std::to_string(header.fields.size()) +
                " columns; a report of format " + kFormatText + " has " + std::to_string(kCsvColumns);
        return false;
    }
    for (std::size_t i = 1; i < kCsvColumns; ++i) {
        const std::string& name = header.fields[i];
        if (name != kRecordFields[i - 1].name) {
            error = AtLine(header.line) + "column " + std::to_string(i + 1) + " is " + Shown(name) +
                    "; a report of format " + kFormatText + " has '" + kRecordFields[i - 1].name + "' there";
            return false;
        }
    }
    return true;
}

bool ReadCsvRecord(const CsvRow& row, ReportRecord& record, std::string& error) {
    if (row.fields.size() != kCsvColumns) {
        error = AtLine(row.line) + std::to_string(row.fields.size()) + " fields; a report line has " +
                std::to_string(kCsvColumns);
        return false;
    }
    for (std::size_t i = 0; i < kRecordFields.size(); ++i) {
        std::string why;
        if (!kRecordFields[i].read(ReadCsvCell(row.fields[i + 1]), record, why)) {
            error = AtLine(row.lines[i + 1]) + "field '" + kRecordFields[i].name + "': " + why;
            return false;
        }
    }
    return true;
}

std::optional<BatchReport> ReadCsv(std::string_view text, std::string& error) {
    std::vector<CsvRow> rows;
    if (!CsvSplitter(text).Split(rows, error)) return std::nullopt;
    if (rows.empty()) {
        error = "the file holds no report";
        return std::nullopt;
    }
    const CsvRow& header = rows.front();
    if (header.fields.front() != "format") {
        error = AtLine(header.line) + NoFormat("column");
        return std::nullopt;
    }
    // The format of every line first: a report of another version may differ in anything else.
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].fields.front() != kFormatText) {
            error = AtLine(rows[i].line) + OtherFormat(rows[i].fields.front());
            return std::nullopt;
        }
    }
    if (!CheckCsvHeader(header, error)) return std::nullopt;
    BatchReport report;
    report.records.resize(rows.size() - 1);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (!ReadCsvRecord(rows[i], report.records[i - 1], error)) return std::nullopt;
    }
    return report;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string TooLarge() {
    return "larger than " + std::to_string(kMaxReportBytes >> 20) + " MiB, more than a report of " +
           std::to_string(kMaxReportRecords) + " cameras can be";
}

}  // namespace

std::optional<BatchReport> ReadReport(std::string_view text, std::string& error) {
    if (text.size() > kMaxReportBytes) {
        error = TooLarge();
        return std::nullopt;
    }
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
    if (first == text.end()) {
        error = "the file is empty";
        return std::nullopt;
    }
    // A CSV report begins with its "format" column.
    return *first == '{' || *first == '[' ? ReadJson(text, error) : ReadCsv(text, error);
}

std::optional<BatchReport> ReadReportFile(const std::string& path, std::string& error) {
    const std::optional<FileKind> kind = FileKindOf(path);
    if (!kind) {
        error = LastFileError();
        return std::nullopt;
    }
    if (kind->type != FileKind::Type::Regular) {
        error = "not a regular file";
        return std::nullopt;
    }
    // Checked before reading, so that a huge file is not read whole.
    if (kind->size > kMaxReportBytes) {
        error = TooLarge();
        return std::nullopt;
    }
    const std::optional<std::vector<std::uint8_t>> bytes = ReadFileBytes(path);
    if (!bytes) {
        error = LastFileError();
        return std::nullopt;
    }
    return ReadReport(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), error);
}

std::vector<CameraAddress> CamerasToRetry(const BatchReport& report, const std::string& carriedVersion) {
    const auto addressOf = [](const ReportRecord& record) -> std::optional<CameraAddress> {
        const std::optional<CameraAddress> parsed = CameraAddress::Parse(record.address);
        if (!parsed) return std::nullopt;
        return CameraAddress{parsed->ip, record.port};
    };
    const auto contains = [](const std::vector<CameraAddress>& list, const CameraAddress& address) {
        return std::find(list.begin(), list.end(), address) != list.end();
    };
    std::vector<CameraAddress> upgraded;
    for (const ReportRecord& record : report.records) {
        if (record.upgraded) {
            if (const auto address = addressOf(record)) upgraded.push_back(*address);
        }
    }
    std::vector<CameraAddress> cameras;
    for (const ReportRecord& record : report.records) {
        if (record.upgraded) continue;
        // A camera that --skip-current left out was no failure.
        const bool leftOutAsCurrent = record.finished && record.started.empty() && !carriedVersion.empty() &&
                                      record.versionBefore == carriedVersion;
        const std::optional<CameraAddress> address = addressOf(record);
        if (leftOutAsCurrent || !address || contains(upgraded, *address) || contains(cameras, *address)) continue;
        cameras.push_back(*address);
    }
    return cameras;
}

}  // namespace qrv
