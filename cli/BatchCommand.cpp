// batch [ADDRESS[:PORT]...] [--list FILE...] [--retry-failed REPORT] --user NAME
// --password PASS [--retain | --backup] [--seconds N] [--yes] [--skip-current]
// [--report FILE] [--time-scale S]: the automatic
// mode without windows. The cameras come from discovery, from the addresses
// given and the site's camera lists, or from the failed records of an earlier
// report (each asked what it is first); all of them get one administrator
// account; the progress list runs the batch, and the upgrade log is printed at
// the end.

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "batch/AddCameraList.h"
#include "batch/BatchRun.h"
#include "batch/CameraListImporter.h"
#include "batch/DuplicateAddressCheck.h"
#include "batch/GridRefresh.h"
#include "batch/ListTexts.h"
#include "cli/CliCommand.h"
#include "cli/CliOptions.h"
#include "cli/CliProgram.h"
#include "cli/PasswordSource.h"
#include "cli/ReportOutput.h"
#include "engine/CameraAddress.h"
#include "engine/EngineMessages.h"
#include "engine/JobStage.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "report/BatchReport.h"
#include "report/ReportReader.h"

namespace qrv::cli {

namespace {

constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as a shell reports Ctrl+C

struct BatchOptions {
    std::vector<CameraAddress> cameras;
    std::vector<std::string> lists;  // camera-list files; "-" is standard input
    std::string user;
    std::string password;
    bool retain = false;
    bool backup = false;
    bool yes = false;
    bool skipCurrent = false;
    std::string report;  // --report FILE; "-" is standard output
    std::optional<std::string> retryPath;  // --retry-failed REPORT
    BatchReport retryFrom;                 // that report, once read
    double seconds = 10.0;
    int parallel = BatchRun::kDefaultParallelJobs;
    Timing timing = Timing::Production();
};

void Complain(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

std::optional<double> ReadSeconds(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value) || value <= 0 || value > 3600) return std::nullopt;
    return value;
}

std::optional<BatchOptions> ReadOptions(std::span<const std::string> args) {
    BatchOptions options;
    std::optional<std::string> user;
    PasswordSources passwords;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--retain") {
            options.retain = true;
        } else if (arg == "--backup") {
            options.backup = true;
        } else if (arg == "--yes") {
            options.yes = true;
        } else if (arg == "--skip-current") {
            options.skipCurrent = true;
        } else if (arg == "--report" && hasValue) {
            options.report = args[++i];
        } else if (arg == "--user" && hasValue) {
            user = args[++i];
        } else if (arg == "--list" && hasValue) {
            options.lists.push_back(args[++i]);
        } else if (arg == "--retry-failed" && hasValue) {
            if (options.retryPath) {
                Complain("Give --retry-failed once.");
                return std::nullopt;
            }
            options.retryPath = args[++i];
        } else if (arg == "--password" && hasValue) {
            passwords.option = args[++i];
        } else if (arg == "--password-file" && hasValue) {
            passwords.file = args[++i];
        } else if (arg == "--seconds" && hasValue) {
            const std::optional<double> seconds = ReadSeconds(args[++i]);
            if (!seconds) {
                Complain("--seconds needs a number of seconds above 0 (at most 3600).");
                return std::nullopt;
            }
            options.seconds = *seconds;
        } else if (arg == "--parallel" && hasValue) {
            const std::optional<int> jobs = ParseParallelJobs(args[++i]);
            if (!jobs) {
                Complain("--parallel needs a number of jobs from 1 to 256.");
                return std::nullopt;
            }
            options.parallel = *jobs;
        } else if (arg == "--time-scale" && hasValue) {
            const std::optional<double> scale = ParseTimeScale(args[++i]);
            if (!scale) {
                Complain("--time-scale needs a positive number.");
                return std::nullopt;
            }
            options.timing = Timing::Production().Scaled(*scale);
        } else if (arg.starts_with("-")) {
            Complain("Unknown or incomplete option " + (MayBeSecret(args, i) ? WordForError(args, i) : arg) + ".");
            return std::nullopt;
        } else if (const auto camera = CameraAddress::Parse(arg)) {
            options.cameras.push_back(*camera);
        } else {
            Complain("Input the correct IP address of the target camera (a.b.c.d or a.b.c.d:port, port 1024 to "
                     "65535), not " + WordForError(args, i) + ".");
            return std::nullopt;
        }
    }
    if (options.retain && options.backup) {
        Complain("Give --retain or --backup, not both (--backup retains the settings too).");
        return std::nullopt;
    }
    if (options.cameras.size() > static_cast<std::size_t>(kMaxListedCameras)) {
        Complain("At most 256 cameras take part in one batch.");
        return std::nullopt;
    }
    if (options.retryPath) {
        if (!options.cameras.empty() || !options.lists.empty()) {
            Complain("--retry-failed takes its cameras from the report: give no addresses or --list with it.");
            return std::nullopt;
        }
        std::string error;
        std::optional<BatchReport> report = ReadReportFile(*options.retryPath, error);
        if (!report) {
            Complain("Cannot retry from the report '" + *options.retryPath + "': " + error + ".");
            return std::nullopt;
        }
        options.retryFrom = std::move(*report);
    }
    // The password is read (and asked for) only once the rest is right.
    const PasswordResult read = user && !user->empty() ? ReadPassword(passwords) : PasswordResult{};
    if (!read.error.empty()) {
        Complain(read.error);
        return std::nullopt;
    }
    const std::optional<std::string>& password = read.password;
    if (!user || !password || user->empty() || password->empty()) {
        Complain("Input the correct name and password (--user NAME --password PASS, at most 16 characters each).");
        return std::nullopt;
    }
    if (!CheckLoginTexts(*user, *password)) return std::nullopt;
    options.user = *user;
    options.password = *password;
    return options;
}

// Standard input as bytes, up to the size of a camera list; nothing when more comes.
std::optional<std::string> ReadStandardInput() {
    std::string text;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) {
        text.append(chunk, got);
        if (text.size() > kMaxListFileBytes) return std::nullopt;
    }
    return text;
}

// Adds the cameras of every --list to those given on the command line. A list
// that cannot be read or is refused (its box already shown), or a total above
// the batch's limit, is a usage error.
bool AddListedCameras(CliProgram& program, BatchOptions& options) {
    const std::size_t given = options.cameras.size();
    for (const std::string& list : options.lists) {
        std::optional<std::string> text;
        std::string error;
        if (list == "-") {
            text = ReadStandardInput();
            if (!text) error = "The standard input is larger than 1 MiB: it is not a camera list.";
        } else {
            text = ReadListFile(list, error);
        }
        if (!text) {
            Complain(error);
            return false;
        }
        CameraListImporter importer(program.owner);
        if (!importer.LoadFromBytes(*text)) return false;
        for (int i = 0; i < importer.EntryCount(); ++i) options.cameras.push_back(*importer.EntryAt(i));
    }
    if (options.cameras.size() > static_cast<std::size_t>(kMaxListedCameras)) {
        Complain("At most 256 cameras take part in one batch; " + std::to_string(options.cameras.size()) +
                 " were given (" + std::to_string(given) + " on the command line, " +
                 std::to_string(options.cameras.size() - given) + " in the camera lists).");
        return false;
    }
    return true;
}

// The cameras that answered the broadcast within the window.
void Discover(CliProgram& program, TargetGrid& grid, double seconds) {
    DiscoveryTable table(program.package.Models());
    RunDiscoveryWindow(program, table, seconds);
    RefreshGridFromTable(grid, table);
}

// The given cameras, each asked what it is as the Add other cameras dialog
// asks; the unsuitable ones are named and left out. Returns how many.
int AskCameras(CliProgram& program, TargetGrid& grid, const BatchOptions& options,
               std::vector<ReportRecord>& skippedRecords) {
    AddCameraList list(program.owner, program.package.Models(), options.timing);
    for (const CameraAddress& camera : options.cameras) list.SetAddress(list.AppendRow(), camera.ip, camera.port, true);
    program.owner.SetTimerHandler([&list](int id) { list.OnTimer(id); });
    program.owner.RunUntil([&list] { return list.PendingCount() == 0; }, std::chrono::hours(1));
    program.owner.SetTimerHandler(nullptr);
    int skipped = 0;
    for (int row = 0; row < list.RowCount(); ++row) {
        const AddCameraItem& item = list.Row(row);
        if (list.IsRowAcceptable(row)) continue;
        ++skipped;
        std::string why = TerminalSafe(AddCameraColumnText(item, AddCameraColumn::Model));
        if (item.conflict == AddCameraItem::Conflict::InList) why = "the address is given twice";
        if (item.conflict == AddCameraItem::Conflict::InGrid) why = "already listed";
        const std::string address = TerminalSafe(AddCameraColumnText(item, AddCameraColumn::Address));
        PrintLine("skipped " + address + ": " + why);
        skippedRecords.push_back(SkippedRecord(item.address, item.model, item.serial, item.version,
                                               "skipped " + address + ": " + why));
    }
    list.TransferAcceptableRows(grid);
    return skipped;
}

int TargetCount(const TargetGrid& grid) {
    int count = 0;
    for (int row = 0; row < grid.RowCount(); ++row) count += grid.Row(row).target != 0 ? 1 : 0;
    return count;
}

// Cameras that already run the carried version are named and left out; they
// are no failure.
void SkipCurrentCameras(TargetGrid& grid, const std::string& carried, std::vector<ReportRecord>& records) {
    for (int row = 0; row < grid.RowCount(); ++row) {
        const GridRow& r = grid.Row(row);
        const std::string version = TerminalSafe(WithoutVerPrefix(r.version));
        if (version != carried) continue;
        grid.SetTarget(row, false);
        const std::string line = "skipped " + ToUtf8(r.addressText == u"DHCP" ? CameraAddress{r.ip, r.port}.Text()
                                                                                : r.addressText) +
                                 ": already " + version;
        PrintLine(line);
        ReportRecord record = SkippedRecord(CameraAddress{r.ip, r.port}, r.model, r.serial, r.version, line);
        record.mac = ToUtf8(r.mac);
        records.push_back(std::move(record));
    }
}

class StatusPrinter : public ListObserver {
public:
    explicit StatusPrinter(const BatchRun& list) : list_(list) {}
    void RowChanged(int row) override {
        const ProgressItem& item = list_.Row(row);
        PrintLine(TerminalSafe(ProgressColumnText(item, ProgressColumn::Id)) + "\t" +
                  TerminalSafe(ProgressColumnText(item, ProgressColumn::Address)) + "\t" +
                  TerminalSafe(ProgressColumnText(item, ProgressColumn::Status)));
    }

private:
    const BatchRun& list_;
};

int RunBatch(std::span<const std::string> args) {
    std::optional<BatchOptions> options = ReadOptions(args);
    if (!options) return kExitUsage;
    ReportOutput reportOutput(options->report);
    CliProgram program(options->yes);
    CliOwner& owner = program.owner;
    if (!AddListedCameras(program, *options)) return kExitUsage;

    const WallTime batchTime = WallNow();
    const SetupDataMode settings = MakeSetupDataMode(options->retain || options->backup, options->backup);
    BatchReport report = NewReport(program.package, batchTime);
    // Written on every way out once the cameras are known.
    const auto finishReport = [&](int exitCode) {
        for (ReportRecord& record : report.records) record.settings = settings;
        return reportOutput.Write(report) ? exitCode : kExitRefused;
    };
    TargetGrid grid;
    int skipped = 0;
    if (options->retryPath) {
        options->cameras = CamerasToRetry(options->retryFrom, CarriedVersionText(program.package));
        const std::size_t recorded = options->retryFrom.records.size();
        PrintLine("Retrying " + std::to_string(options->cameras.size()) + " of the " + std::to_string(recorded) +
                  " cameras of the report.");
        // A report whose cameras were all upgraded (or already current) leaves
        // nothing to do, and nothing failed.
        if (options->cameras.empty()) {
            PrintLine("No camera to upgrade.");
            return finishReport(recorded == 0 ? kExitRefused : kExitOk);
        }
    }
    // A camera list, even an empty one, stands for the broadcast.
    if (options->cameras.empty() && options->lists.empty()) {
        Discover(program, grid, options->seconds);
    } else {
        skipped = AskCameras(program, grid, *options, report.records);
    }
    if (options->skipCurrent) SkipCurrentCameras(grid, CarriedVersionText(program.package), report.records);
    if (TargetCount(grid) == 0) {
        PrintLine("No camera to upgrade.");
        return finishReport(skipped > 0 || grid.RowCount() == 0 ? kExitRefused : kExitOk);
    }
    if (!CheckDuplicateAddresses(grid, false, &owner)) return kExitRefused;
    const std::u16string name = FromUtf8(options->user);
    const std::u16string password = FromUtf8(options->password);
    for (int row = 0; row < grid.RowCount(); ++row) {
        grid.SetCredentials(row, name, password);
        const GridRow& r = grid.Row(row);
        PrintLine(TerminalSafe(r.addressText) + "\t" + TerminalSafe(r.model) + "\t" + TerminalSafe(r.serial) + "\t" +
                  TerminalSafe(r.version));
    }

    BatchRun list(owner, program.package, options->timing);
    list.SetParallelJobs(options->parallel);
    list.AddTargets(grid);
    if (ShowBox(owner, MessageText(kMsgProceed, owner), kMsgInformation, BoxIcon::Question, BoxButtons::OkCancel) !=
        BoxAnswer::Ok) {
        return finishReport(kExitRefused);
    }
    StatusPrinter printer(list);
    list.SetObserver(&printer);
    list.SetRunParameters(options->retain || options->backup, !options->backup, batchTime);
    owner.SetTimerHandler([&list](int id) { list.OnTimer(id); });
    // An interrupted batch still leaves its report: the jobs are stopped, and
    // the cameras whose job had not ended are recorded as not finished.
    CatchInterrupts();
    list.StartScheduler();
    owner.RunUntil([&list] { return !list.IsRunning() || InterruptCount() > 0; }, std::chrono::hours(24 * 7));
    if (InterruptCount() > 0) {
        list.SetCancel();
        list.StopJobs();
        PrintLine("Interrupted.");
        for (int row = 0; row < list.RowCount(); ++row) {
            report.records.push_back(RecordOfRow(list, row, settings, report.carriedVersion));
        }
        return finishReport(kExitInterrupted);
    }

    PrintLine("Proceeded: " + std::to_string(list.RowCount() - list.QueuedCount()) + "/" +
              std::to_string(list.RowCount()));
    std::printf("%s", TerminalText(list.UpgradeLog()).c_str());
    std::fflush(stdout);
    for (int row = 0; row < list.RowCount(); ++row) {
        report.records.push_back(RecordOfRow(list, row, settings, report.carriedVersion));
    }
    // Success means every camera asked for came back upgraded.
    if (skipped > 0) return finishReport(kExitRefused);
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.Row(row).result != kCompleted || list.Row(row).notSeenAfterRestore) return finishReport(kExitRefused);
    }
    return finishReport(kExitOk);
}

const RegisterCommand kBatch({
    "batch",
    "[ADDRESS[:PORT]...] [--list FILE...] [--retry-failed REPORT] --user NAME --password PASS [--retain | --backup] "
    "[--seconds N] [--yes] [--skip-current] [--report FILE] [--parallel N] [--time-scale S]",
    "upgrade many cameras as the automatic mode does: two at a time, one upload at a time, then the upgrade log",
    "  ADDRESS[:PORT]...              the cameras to upgrade; each is asked what it is first.\n"
    "                                 Without addresses or lists, the cameras that answer the broadcast.\n"
    "  --list FILE                    add the cameras of a camera list: one a.b.c.d a line, optionally\n"
    "                                 followed by ':', ',' or a tab and the port; at most 256 are read.\n"
    "                                 '-' reads standard input. May be given more than once.\n"
    "  --retry-failed REPORT          upgrade the cameras that an earlier batch's report (JSON or CSV, as\n"
    "                                 --report wrote it) names as not upgraded, at the address and port\n"
    "                                 recorded, each asked what it is first; not with addresses or --list.\n"
    "                                 Left out: a camera that was skipped untouched because it already ran\n"
    "                                 the carried version, and an address that another record shows\n"
    "                                 upgraded. Nothing left to retry: exit 0 (1 for a report without\n"
    "                                 cameras). A new --report holds the retried cameras only. With\n"
    "                                 --skip-current, cameras that run the carried version by now are left out.\n"
    "  --user NAME, --password PASS   the administrator account of every camera\n"
    "  --password-file FILE           the password from FILE's first line (not readable by others);\n"
    "                                 without either: $QRV_PASSWORD, else a prompt on the terminal\n"
    "  --retain                       save the settings before and restore them after; delete the .cfg files\n"
    "  --backup                       as --retain, but keep the .cfg files\n"
    "  --seconds N                    length of the discovery window (default 10)\n"
    "  --yes                          answer the confirmation with yes\n"
    "  --skip-current                 leave out the cameras that already run the carried version\n"
    "  --report FILE                  write a record of every camera: JSON, or CSV for a name ending in .csv;\n"
    "                                 '-' writes JSON to standard output (the other output goes to stderr)\n"
    "  --parallel N                   let N jobs run at once (1..256, default 2); still one save or upload\n"
    "                                 at a time, the others writing, rebooting or restoring meanwhile\n"
    "  --time-scale S                 multiply every wait by S (simulated cameras)",
    &RunBatch,
});

}  // namespace

}  // namespace qrv::cli
