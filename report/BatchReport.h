#pragma once
// The record an installer keeps of a batch or a manual upgrade: one line per
// camera saying what it ran before, what it reported at the end and whether
// its settings came back. Written as JSON or CSV (by the file's extension),
// atomically: a temporary file in the same folder renamed into place.

#include <string>
#include <string_view>
#include <vector>

#include "engine/CameraAddress.h"
#include "engine/SetupDataMode.h"
#include "platform/Clock.h"

namespace qrv {

struct DryRunCamera;
struct ProgressItem;
class BatchRun;
class ManualUpgradeSession;

// What happened to the saved configuration of a camera.
enum class ConfigOutcome {
    None,         // nothing was to be saved (discard), or nothing got saved
    Restored,     // restored, the file deleted afterwards
    RestoredKept, // restored, the file kept (backup)
    Kept,         // not restored; the file stays for a restore by hand
};

struct ReportRecord {
    std::string address;  // a.b.c.d
    int port = 80;
    std::string mac;      // empty when the camera was not discovered
    std::string model;
    std::string serial;
    std::string versionBefore;
    std::string versionAfter;  // reported by the camera after its reboot, else empty
    int stage = 0;             // the final JobStage code
    std::string statusText;    // the status column's text for that code
    std::string resultLine;    // the upgrade log's line, without its line end
    bool finished = false;     // false for a camera whose job never ended
    bool upgraded = false;     // came back reporting the carried version
    SetupDataMode settings = SetupDataMode::Discard;
    std::string configPath;    // empty when nothing was saved
    ConfigOutcome config = ConfigOutcome::None;
    std::string started;       // ISO 8601 local time with offset; empty when it never started
    std::string ended;
    // A dry run's records only: what a run would do with the camera
    // ("upgrade", "skip", "refuse") and the firmware image it would send.
    std::string would;
    int image = 0;
};

struct BatchReport {
    std::string programVersion;
    std::string batchTime;      // ISO 8601 local time with offset
    std::string carriedVersion; // without "ver"
    std::vector<ReportRecord> records;
    // A dry run: nothing was changed on any camera. Its JSON has "dry_run":
    // true and its records "would" and "image"; its CSV the columns "would"
    // and "image" at the end. No reader of batch reports takes it.
    bool dryRun = false;
};

enum class ReportFormat { Json, Csv };

// The version of the report's layout, written as the JSON field "format" and
// the CSV column "format"; a reader refuses any other. A new field, a renamed
// one or a changed meaning makes a new version.
inline constexpr int kReportFormatVersion = 1;

// "2026-12-07T11:12:13+01:00"; empty for the zero time point.
std::string IsoLocalTime(WallTime when);
const char* SettingsModeName(SetupDataMode mode);
const char* ConfigOutcomeName(ConfigOutcome outcome);

// The record of one row of a batch. `settings` and `carriedVersion` belong
// to the whole batch; a row whose job has not left the queue is not finished.
ReportRecord RecordOfRow(const BatchRun& list, int row, SetupDataMode settings,
                         const std::string& carriedVersion);

// The record of a camera left out before its job was made: not upgraded,
// finished, with `result` as its result line.
ReportRecord SkippedRecord(const CameraAddress& address, const std::u16string& model, const std::u16string& serial,
                           const std::u16string& version, std::string result);

// The record of a camera in a dry run; `result` is its DryRunLine.
ReportRecord DryRunRecord(const DryRunCamera& camera, SetupDataMode settings, std::string result);

// The record of a manual upgrade once its session has ended (or was given
// up). `failure` is the text the user was shown when it failed.
ReportRecord RecordOfManualSession(ManualUpgradeSession& session, const std::string& address,
                                   SetupDataMode settings, WallTime started, WallTime ended,
                                   const std::string& carriedVersion, const std::string& failure);

// A CSV cell that starts with one of these is a formula to a spreadsheet:
// '=', '+', '-', '@', tab, CR, and the quote that marks such a cell.
inline constexpr char kCsvFormulaStarts[] = "=+-@\t\r'";
// The cell as written: a leading "'" when it starts with one of those, so
// that a camera's text can never run as a formula.
std::string InertCsvCell(const std::string& text);
// The text a written cell stands for: ReadCsvCell(InertCsvCell(t)) == t.
std::string ReadCsvCell(std::string_view cell);

// CSV for a path ending in ".csv" (any case), JSON otherwise.
ReportFormat ReportFormatFor(const std::string& path);
std::string ReportJson(const BatchReport& report);
std::string ReportCsv(const BatchReport& report);

// Writes the report to `path` in the format its extension names: missing
// folders are made (0700), the file is 0600, and it replaces an older file
// only once it has been written whole. False with `error` set on failure.
bool WriteReport(const std::string& path, const BatchReport& report, std::string& error);

}  // namespace qrv
