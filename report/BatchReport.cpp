#include "report/BatchReport.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <span>

#include <nlohmann/json.hpp>

#include "batch/BatchRun.h"
#include "batch/DryRun.h"
#include "batch/ListTexts.h"
#include "engine/JobStage.h"
#include "engine/ManualUpgradeSession.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace qrv {

namespace {

std::string Narrow(const std::u16string& text) { return ToUtf8(text); }

std::string WithoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string VersionText(const std::u16string& version) { return Narrow(WithoutVerPrefix(version)); }

// The saved file tells whether it was deleted: the job only knows whether
// its restore went through.
// The stage says Completed, but nobody saw the camera with its settings
// back: the result line says so and where the copy is.
void NoteNotSeenAfterRestore(ReportRecord& record) {
    record.resultLine += " (settings restored, but the camera did not answer again; kept in " + record.configPath + ")";
}

ConfigOutcome OutcomeOf(const std::string& path, bool restored) {
    if (path.empty()) return ConfigOutcome::None;
    const bool present = PathExists(path);
    if (restored) return present ? ConfigOutcome::RestoredKept : ConfigOutcome::Restored;
    return present ? ConfigOutcome::Kept : ConfigOutcome::None;
}


// Every byte that is no part of a valid UTF-8 sequence becomes U+FFFD, so
// that a report is always UTF-8 text: a path under a folder whose name is not
// UTF-8 reads back as text, in either format.
std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = Utf8SequenceLength(text);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return out;
}

const char* JsonBool(bool value) { return value ? "true" : "false"; }

// RFC 4180: a field holding a comma, a quote or a line break is quoted, its
// quotes doubled. A camera's text that a spreadsheet would run as a formula
// is made inert first (see InertCsvCell).
std::string CsvField(const std::string& cell) {
    const std::string text = InertCsvCell(ValidUtf8(cell));
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

using OrderedJson = nlohmann::ordered_json;

// Compact JSON, and valid UTF-8 whatever the texts hold.
std::string Dump(const OrderedJson& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

OrderedJson JsonRecord(const ReportRecord& r, bool dryRun) {
    OrderedJson record{
        {"address", ValidUtf8(r.address)},
        {"port", r.port},
        {"mac", ValidUtf8(r.mac)},
        {"model", ValidUtf8(r.model)},
        {"serial", ValidUtf8(r.serial)},
        {"version_before", ValidUtf8(r.versionBefore)},
        {"version_after", ValidUtf8(r.versionAfter)},
        {"stage", r.stage},
        {"status", ValidUtf8(r.statusText)},
        {"result", ValidUtf8(r.resultLine)},
        {"finished", r.finished},
        {"upgraded", r.upgraded},
        {"settings", SettingsModeName(r.settings)},
        {"config_file", ValidUtf8(r.configPath)},
        {"config", ConfigOutcomeName(r.config)},
        {"started", ValidUtf8(r.started)},
        {"ended", ValidUtf8(r.ended)},
    };
    if (dryRun) {
        record["would"] = r.would;
        record["image"] = r.image;
    }
    return record;
}

// Every folder of `path` up to its last separator that is missing is made,
// 0700. A drive (C:) and a network path's server and share are never made.
bool MakeParentFolders(const std::string& path) {
    const bool network = path.size() > 1 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]);
    int level = 0;
    for (std::size_t at = 1; at < path.size(); ++at) {
        if (!IsPathSeparator(path[at]) || IsPathSeparator(path[at - 1])) continue;
        const std::string folder = path.substr(0, at);
        if ((network && ++level <= 2) || folder.back() == ':') continue;
        if (!EnsureFolder(folder)) return false;
    }
    return true;
}

}  // namespace

std::string InertCsvCell(const std::string& text) {
    return !text.empty() && std::string_view(kCsvFormulaStarts).find(text.front()) != std::string_view::npos
               ? "'" + text
               : text;
}

std::string ReadCsvCell(std::string_view cell) {
    const bool quoted = cell.size() >= 2 && cell.front() == '\'' &&
                        std::string_view(kCsvFormulaStarts).find(cell[1]) != std::string_view::npos;
    return std::string(quoted ? cell.substr(1) : cell);
}

std::string IsoLocalTime(WallTime when) {
    if (when == WallTime{}) return {};
    std::string text = FormatLocalTime(when, "%Y-%m-%dT%H:%M:%S%z");
    // strftime writes the offset as +hhmm; ISO 8601's extended form has +hh:mm.
    if (text.size() >= 5) text.insert(text.size() - 2, ":");
    return text;
}

const char* SettingsModeName(SetupDataMode mode) {
    switch (mode) {
    case SetupDataMode::Discard:
        return "discard";
    case SetupDataMode::Retain:
        return "retain";
    case SetupDataMode::Backup:
        return "backup";
    }
    return "";
}

const char* ConfigOutcomeName(ConfigOutcome outcome) {
    switch (outcome) {
    case ConfigOutcome::None:
        return "none";
    case ConfigOutcome::Restored:
        return "restored, deleted";
    case ConfigOutcome::RestoredKept:
        return "restored, kept";
    case ConfigOutcome::Kept:
        return "not restored, kept";
    }
    return "";
}

ReportRecord RecordOfRow(const BatchRun& list, int row, SetupDataMode settings,
                         const std::string& carriedVersion) {
    const ProgressItem& item = list.Row(row);
    ReportRecord record;
    record.address = CameraAddress{item.address.ip, kDefaultHttpPort}.Text8();
    record.port = item.address.port;
    record.mac = Narrow(item.mac);
    record.model = Narrow(item.model);
    record.serial = Narrow(item.serial);
    record.versionBefore = VersionText(item.versionBefore);
    record.versionAfter = VersionText(item.versionAfter);
    record.finished = IsFinalStage(item.result);
    record.stage = record.finished ? item.result : item.stage;
    record.statusText = Narrow(ListStageText(record.stage));
    record.resultLine = WithoutLineEnd(Narrow(list.ResultLine(row)));
    // The job compared the version itself; an error after that comparison
    // (the restore) leaves the firmware upgraded all the same.
    const bool cameBack = item.result == kCompleted || item.result == kError7;
    record.upgraded = cameBack && !record.versionAfter.empty() &&
                      (carriedVersion.empty() || record.versionAfter == carriedVersion);
    record.settings = settings;
    // An unfinished job (an interrupted batch) may hold the only copy of the
    // camera's settings in its .cfg: the record names it all the same.
    const BatchRun::Backup backup = list.BackupOf(row);
    record.configPath = backup.path;
    record.config = OutcomeOf(backup.path, backup.restored);
    if (backup.notSeenAfterRestore) NoteNotSeenAfterRestore(record);
    // "Cannot save config." alone would leave the user guessing: a folder
    // this computer may not write is named.
    if (!backup.saveFailure.empty()) record.resultLine += " (" + backup.saveFailure + ")";
    record.started = IsoLocalTime(item.started);
    record.ended = IsoLocalTime(item.ended);
    return record;
}

ReportRecord SkippedRecord(const CameraAddress& address, const std::u16string& model, const std::u16string& serial,
                           const std::u16string& version, std::string result) {
    ReportRecord record;
    record.address = CameraAddress{address.ip, kDefaultHttpPort}.Text8();
    record.port = address.port;
    record.model = Narrow(model);
    record.serial = Narrow(serial);
    record.versionBefore = VersionText(version);
    record.finished = true;
    record.resultLine = std::move(result);
    return record;
}

ReportRecord DryRunRecord(const DryRunCamera& camera, SetupDataMode settings, std::string result) {
    ReportRecord record = SkippedRecord(camera.address, camera.model, camera.serial, camera.version, std::move(result));
    record.mac = Narrow(camera.mac);
    // Nothing ran: no stage, no end.
    record.finished = false;
    record.settings = settings;
    record.would = DryRunVerdictName(camera.verdict);
    record.image = camera.slot;
    return record;
}

ReportRecord RecordOfManualSession(ManualUpgradeSession& session, const std::string& address,
                                   SetupDataMode settings, WallTime started, WallTime ended,
                                   const std::string& carriedVersion, const std::string& failure) {
    const ProbeResult probe = session.LastProbe();
    const CameraAddress camera = CameraAddress::Parse(address).value_or(CameraAddress{});
    ReportRecord record;
    record.address = CameraAddress{camera.ip, kDefaultHttpPort}.Text8();
    record.port = camera.port;
    record.model = Narrow(probe.model);
    record.serial = Narrow(probe.serial);
    record.versionBefore = VersionText(probe.versionBefore);
    UpgradeJob* job = session.Job();
    const bool restoreWanted = settings != SetupDataMode::Discard;
    // A manual job shows its failures as boxes and keeps no final stage code;
    // the session knows whether the camera came back and was restored.
    // A camera that came back on another version reports that version too.
    if (job && job->AnsweredAfterReboot()) record.versionAfter = VersionText(job->Client().VersionNow());
    if (session.CameraCameBack()) {
        record.stage = !restoreWanted || session.ConfigurationRestored() ? kCompleted : kError7;
    } else {
        record.stage = job ? job->Stage() : session.ShownStage();
    }
    // A camera refused before its run started has finished too: with that refusal.
    const bool over = session.IsFinished() || session.Step() != ManualStep::Running;
    record.finished = over && (IsFinalStage(record.stage) || !failure.empty());
    record.statusText = Narrow(ListStageText(record.stage));
    const std::string prefix = record.model + "(" + address + ") ";
    if (IsFinalStage(record.stage)) {
        record.resultLine = prefix + WithoutLineEnd(Narrow(OutcomeText(record.stage)));
    } else if (!failure.empty()) {
        record.resultLine = prefix + failure;
    }
    record.upgraded = session.CameraCameBack() && !record.versionAfter.empty() &&
                      (carriedVersion.empty() || record.versionAfter == carriedVersion);
    record.settings = settings;
    record.configPath = restoreWanted ? session.BackupPath() : std::string();
    record.config = OutcomeOf(record.configPath, session.ConfigurationRestored());
    if (session.NotSeenAfterRestore()) NoteNotSeenAfterRestore(record);
    record.started = IsoLocalTime(started);
    // A run that was stopped has no end to report.
    record.ended = record.finished ? IsoLocalTime(ended) : std::string();
    return record;
}

ReportFormat ReportFormatFor(const std::string& path) {
    if (path.size() < 4) return ReportFormat::Json;
    std::string tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == ".csv" ? ReportFormat::Csv : ReportFormat::Json;
}

std::string ReportJson(const BatchReport& report) {
    // The header on the first line, each record on a line of its own: the
    // header object is written without its closing brace, then the records.
    const OrderedJson header{
        {"format", kReportFormatVersion},
        {"program_version", ValidUtf8(report.programVersion)},
        {"batch_time", ValidUtf8(report.batchTime)},
        {"carried_version", ValidUtf8(report.carriedVersion)},
    };
    std::string text = Dump(header);
    if (report.dryRun) text.insert(text.size() - 1, ",\"dry_run\":true");
    text.pop_back();
    text += ",\"records\":[";
    for (std::size_t i = 0; i < report.records.size(); ++i) {
        text += i == 0 ? "\n" : ",\n";
        text += Dump(JsonRecord(report.records[i], report.dryRun));
    }
    return text + "\n]}\n";
}

std::string ReportCsv(const BatchReport& report) {
    std::string text =
        "format,address,port,mac,model,serial,version_before,version_after,stage,status,result,finished,upgraded,"
        "settings,config_file,config,started,ended";
    text += report.dryRun ? ",would,image\r\n" : "\r\n";
    for (const ReportRecord& r : report.records) {
        const std::string fields[] = {std::to_string(kReportFormatVersion),
                                      r.address,
                                      std::to_string(r.port),
                                      r.mac,
                                      r.model,
                                      r.serial,
                                      r.versionBefore,
                                      r.versionAfter,
                                      std::to_string(r.stage),
                                      r.statusText,
                                      r.resultLine,
                                      JsonBool(r.finished),
                                      JsonBool(r.upgraded),
                                      SettingsModeName(r.settings),
                                      r.configPath,
                                      ConfigOutcomeName(r.config),
                                      r.started,
                                      r.ended};
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            if (i > 0) text += ',';
            text += CsvField(fields[i]);
        }
        if (report.dryRun) text += "," + CsvField(r.would) + "," + std::to_string(r.image);
        text += "\r\n";
    }
    return text;
}

bool WriteReport(const std::string& path, const BatchReport& report, std::string& error) {
    const std::string text = ReportFormatFor(path) == ReportFormat::Csv ? ReportCsv(report) : ReportJson(report);
    if (path.empty() || path.back() == '/') {
        error = "no file name";
        return false;
    }
    if (!MakeParentFolders(path)) {
        error = LastFileError();
        return false;
    }
    // A fresh name beside the target, so that the rename stays on one file system.
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    OutputFile file;
    for (int attempt = 0; attempt < 100 && !file.IsOpen(); ++attempt) {
        temporary = path + ".tmp" + std::to_string(SecondsSinceEpoch() % 100000) + "-" + std::to_string(counter++);
        bool existed = false;
        file = OutputFile::CreateNew(temporary, existed);
        if (!file.IsOpen() && !existed) break;
    }
    if (!file.IsOpen()) {
        error = LastFileError();
        return false;
    }
    const bool written = file.Write(std::span<const char>(text.data(), text.size())) && file.Sync();
    if (!written) error = LastFileError();
    const bool closed = file.Close();
    if (written && !closed) error = LastFileError();
    if (!written || !closed || !RenameFile(temporary, path)) {
        if (written && closed) error = LastFileError();
        RemoveFile(temporary);
        return false;
    }
    return true;
}

}  // namespace qrv
