// batch [ADDRESS[:PORT]...] [--list FILE...] [--retry-failed REPORT] --user NAME
// (--password PASS | --password-file FILE) [--retain | --backup] [--seconds N]
// [--yes] [--skip-current] [--dry-run] [--report FILE] [--parallel N]
// [--time-scale S]: the automatic mode without windows. The cameras come from discovery, from the addresses
// given and the site's camera lists, or from the failed records of an earlier
// report (each asked what it is first); all of them get one administrator
// account; the progress list runs the batch, and the upgrade log is printed at
// the end. A dry run asks every camera what the jobs would ask before they
// start and says what would happen, changing nothing.

#include <chrono>
#include <cmath>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "batch/AddCameraList.h"
#include "batch/BatchRun.h"
#include "batch/DryRun.h"
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

// The options as given.
struct BatchArguments {
    std::vector<std::string> addresses;
    std::vector<std::string> lists;  // camera-list files; "-" is standard input
    std::string retryPath;           // --retry-failed REPORT
    LoginArguments login;
    bool retain = false;
    bool backup = false;
    bool yes = false;
    bool skipCurrent = false;
    bool dryRun = false;
    std::string report;  // --report FILE; "-" is standard output
    SecondsArgument seconds;
    std::string parallel;
    TimeScaleArgument timeScale;
    CLI::Option* retryOption = nullptr;
};

// The options once checked.
struct BatchOptions {
    std::vector<CameraAddress> cameras;
    std::vector<std::string> lists;
    std::string user;
    std::string password;
    bool retain = false;
    bool backup = false;
    bool yes = false;
    bool skipCurrent = false;
    bool dryRun = false;
    std::string report;
    std::optional<std::string> retryPath;
    BatchReport retryFrom;  // that report, once read
    double seconds = kDefaultDiscoverySeconds;
    int parallel = BatchRun::kDefaultParallelJobs;
    Timing timing = Timing::Production();
};

bool IsParallelJobs(const std::string& text) { return ParseParallelJobs(text).has_value(); }

void Declare(CLI::App& app, BatchArguments& given) {
    app.add_option("addresses", given.addresses,
                   "the cameras to upgrade; each is asked what it is first.\n"
                   "Without addresses or lists, the cameras that answer the broadcast.")
        ->option_text("[ADDRESS[:PORT]...]");
    app.add_option("--list", given.lists,
                   "add the cameras of a camera list: one a.b.c.d a line, optionally\n"
                   "followed by ':', ',' or a tab and the port; at most 256 are read.\n"
                   "'-' reads standard input. May be given more than once.")
        ->option_text("FILE")
        ->allow_extra_args(false)  // one file each time, the words after it stay addresses
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    given.retryOption = app.add_option("--retry-failed", given.retryPath,
                                       "upgrade the cameras that an earlier batch's report (JSON or CSV, as\n"
                                       "--report wrote it) names as not upgraded, at the address and port\n"
                                       "recorded, each asked what it is first; not with addresses or --list.\n"
                                       "Left out: a camera that was skipped untouched because it already ran\n"
                                       "the carried version, and an address that another record shows\n"
                                       "upgraded. Nothing left to retry: exit 0 (1 for a report without\n"
                                       "cameras). A new --report holds the retried cameras only. With\n"
                                       "--skip-current, cameras that run the carried version by now are left out.")
                            ->option_text("REPORT");
    DeclareLogin(app, given.login, "every camera");
    app.add_flag("--retain", given.retain, "save the settings before and restore them after; delete the .cfg files");
    app.add_flag("--backup", given.backup, "as --retain, but keep the .cfg files");
    DeclareSeconds(app, given.seconds, "length of the discovery window (default 10)");
    app.add_flag("--yes", given.yes, "answer the confirmation with yes");
    app.add_flag("--skip-current", given.skipCurrent, "leave out the cameras that already run the carried version");
    app.add_flag("--dry-run", given.dryRun,
                 "send no save, upload or restore: ask each camera what its job would ask\n"
                 "before it starts (model, serial rule, version, emergency state,\n"
                 "administrator account, DocType and image) and print what would happen;\n"
                 "exit 0 when every camera would be upgraded or skipped");
    app.add_option("--report", given.report,
                   "write a record of every camera: JSON, or CSV for a name ending in .csv;\n"
                   "'-' writes JSON to standard output (the other output goes to stderr)")
        ->option_text("FILE");
    app.add_option("--parallel", given.parallel,
                   "let N jobs run at once (1..256, default 2); still one save or upload\n"
                   "at a time, the others writing, rebooting or restoring meanwhile")
        ->option_text("N")
        ->check(ValueCheck(&IsParallelJobs, "--parallel needs a number of jobs from 1 to 256"));
    DeclareTimeScale(app, given.timeScale);
}

std::optional<BatchOptions> ReadOptions(CliIo& io, const BatchArguments& given, std::span<const std::string> args) {
    BatchOptions options;
    for (const std::string& address : given.addresses) {
        const std::optional<CameraAddress> camera = CameraAddress::Parse(address);
        if (!camera) {
            UsageError(io, "Input the correct IP address of the target camera (a.b.c.d or a.b.c.d:port, port 1024 to "
                           "65535), not " + WordForError(args, address) + ".");
            return std::nullopt;
        }
        options.cameras.push_back(*camera);
    }
    if (given.retryOption->count() > 1) {
        UsageError(io, "Give --retry-failed once.");
        return std::nullopt;
    }
    options.lists = given.lists;
    options.retain = given.retain;
    options.backup = given.backup;
    options.yes = given.yes;
    options.skipCurrent = given.skipCurrent;
    options.dryRun = given.dryRun;
    options.report = given.report;
    if (given.retryOption->count() > 0) options.retryPath = given.retryPath;
    options.seconds = given.seconds.Value();
    if (!given.parallel.empty()) options.parallel = ParseParallelJobs(given.parallel).value_or(options.parallel);
    options.timing = given.timeScale.Scaled();
    if (options.retain && options.backup) {
        UsageError(io, "Give --retain or --backup, not both (--backup retains the settings too).");
        return std::nullopt;
    }
    if (options.cameras.size() > static_cast<std::size_t>(kMaxListedCameras)) {
        UsageError(io, "At most 256 cameras take part in one batch.");
        return std::nullopt;
    }
    if (options.retryPath) {
        if (!options.cameras.empty() || !options.lists.empty()) {
            UsageError(io, "--retry-failed takes its cameras from the report: give no addresses or --list with it.");
            return std::nullopt;
        }
        std::string error;
        std::optional<BatchReport> report = ReadReportFile(*options.retryPath, error);
        if (!report) {
            io.Err("Cannot retry from the report '" + *options.retryPath + "': " + error + ".");
            return std::nullopt;
        }
        options.retryFrom = std::move(*report);
    }
    std::optional<Account> account = ReadAccount(io, given.login);
    if (!account) return std::nullopt;
    options.user = account->user;
    options.password = account->password;
    return options;
}

// Standard input as bytes, up to the size of a camera list; nothing when more comes.
std::optional<std::string> ReadStandardInput(std::istream& in) {
    std::string text;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
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
            text = ReadStandardInput(program.io.In());
            if (!text) error = "The standard input is larger than 1 MiB: it is not a camera list.";
        } else {
            text = ReadListFile(list, error);
        }
        if (!text) {
            program.io.Err(error);
            return false;
        }
        CameraListImporter importer(program.owner);
        if (!importer.LoadFromBytes(*text)) return false;
        for (int i = 0; i < importer.EntryCount(); ++i) options.cameras.push_back(*importer.EntryAt(i));
    }
    if (options.cameras.size() > static_cast<std::size_t>(kMaxListedCameras)) {
        program.io.Err("At most 256 cameras take part in one batch; " + std::to_string(options.cameras.size()) +
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
        if (options.dryRun) {
            DryRunCamera camera{item.address, {}, item.model, item.serial, item.version};
            camera.reason = why;
            const std::string line = DryRunLine(camera, {}, SetupDataMode::Discard);
            program.io.Out(line);
            skippedRecords.push_back(DryRunRecord(camera, SetupDataMode::Discard, line));
            continue;
        }
        program.io.Out("skipped " + address + ": " + why);
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
void SkipCurrentCameras(CliIo& io, TargetGrid& grid, const std::string& carried, std::vector<ReportRecord>& records) {
    for (int row = 0; row < grid.RowCount(); ++row) {
        const GridRow& r = grid.Row(row);
        const std::string version = TerminalSafe(WithoutVerPrefix(r.version));
        if (version != carried) continue;
        grid.SetTarget(row, false);
        const std::string line = "skipped " + ToUtf8(r.addressText == u"DHCP" ? CameraAddress{r.ip, r.port}.Text()
                                                                                : r.addressText) +
                                 ": already " + version;
        io.Out(line);
        ReportRecord record = SkippedRecord(CameraAddress{r.ip, r.port}, r.model, r.serial, r.version, line);
        record.mac = ToUtf8(r.mac);
        records.push_back(std::move(record));
    }
}

// The dry run of the grid's targets: each camera asked, its line printed and
// its record added. Exit 0 when every camera would be upgraded or skipped.
int RunDryRun(CliProgram& program, const TargetGrid& grid, const BatchOptions& options, SetupDataMode settings,
              BatchReport& report, bool refusedBefore) {
    std::vector<CameraAddress> cameras;
    std::vector<std::u16string> macs;
    for (int row = 0; row < grid.RowCount(); ++row) {
        const GridRow& r = grid.Row(row);
        if (r.target == 0) continue;
        cameras.push_back(CameraAddress{r.ip, r.port});
        macs.push_back(r.mac);
    }
    std::string credentials = EncodeCredentials(options.user, options.password);
    const std::vector<DryRunCamera> checked = CheckCamerasForDryRun(
        program.package, cameras, credentials, options.timing, options.skipCurrent, options.parallel);
    Wipe(credentials);
    bool refused = refusedBefore;
    for (std::size_t i = 0; i < checked.size(); ++i) {
        DryRunCamera camera = checked[i];
        camera.mac = macs[i];
        const std::string line = TerminalSafe(FromUtf8(DryRunLine(camera, report.carriedVersion, settings)));
        program.io.Out(line);
        report.records.push_back(DryRunRecord(camera, settings, line));
        refused = refused || camera.verdict == DryRunVerdict::Refuse;
    }
    return refused ? kExitRefused : kExitOk;
}

class StatusPrinter : public ListObserver {
public:
    StatusPrinter(CliIo& io, const BatchRun& list) : io_(io), list_(list) {}
    void RowChanged(int row) override {
        const ProgressItem& item = list_.Row(row);
        io_.Out(TerminalSafe(ProgressColumnText(item, ProgressColumn::Id)) + "\t" +
                  TerminalSafe(ProgressColumnText(item, ProgressColumn::Address)) + "\t" +
                  TerminalSafe(ProgressColumnText(item, ProgressColumn::Status)));
    }

private:
    CliIo& io_;
    const BatchRun& list_;
};

class BatchCommand final : public CommandBody {
public:
    explicit BatchCommand(CLI::App& app) { Declare(app, given_); }
    int Run(CliIo& io, std::span<const std::string> args) override;

private:
    BatchArguments given_;
};

int BatchCommand::Run(CliIo& io, std::span<const std::string> args) {
    std::optional<BatchOptions> options = ReadOptions(io, given_, args);
    if (!options) return kExitUsage;
    ReportOutput reportOutput(io, options->report);
    CliProgram program(io, options->yes);
    CliOwner& owner = program.owner;
    if (!AddListedCameras(program, *options)) return kExitUsage;

    const WallTime batchTime = WallNow();
    const SetupDataMode settings = MakeSetupDataMode(options->retain || options->backup, options->backup);
    BatchReport report = NewReport(program.package, batchTime);
    report.dryRun = options->dryRun;
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
        io.Out("Retrying " + std::to_string(options->cameras.size()) + " of the " + std::to_string(recorded) +
                  " cameras of the report.");
        // A report whose cameras were all upgraded (or already current) leaves
        // nothing to do, and nothing failed.
        if (options->cameras.empty()) {
            io.Out("No camera to upgrade.");
            return finishReport(recorded == 0 ? kExitRefused : kExitOk);
        }
    }
    // A camera list, even an empty one, stands for the broadcast.
    if (options->cameras.empty() && options->lists.empty()) {
        Discover(program, grid, options->seconds);
    } else {
        skipped = AskCameras(program, grid, *options, report.records);
    }
    // A dry run asks every camera its version afresh, and skips it there.
    if (options->skipCurrent && !options->dryRun) SkipCurrentCameras(io, grid, CarriedVersionText(program.package), report.records);
    if (TargetCount(grid) == 0) {
        io.Out("No camera to upgrade.");
        return finishReport(skipped > 0 || grid.RowCount() == 0 ? kExitRefused : kExitOk);
    }
    if (!CheckDuplicateAddresses(grid, false, &owner)) return kExitRefused;
    if (options->dryRun) return finishReport(RunDryRun(program, grid, *options, settings, report, skipped > 0));
    const std::u16string name = FromUtf8(options->user);
    const std::u16string password = FromUtf8(options->password);
    for (int row = 0; row < grid.RowCount(); ++row) {
        grid.SetCredentials(row, name, password);
        const GridRow& r = grid.Row(row);
        io.Out(TerminalSafe(r.addressText) + "\t" + TerminalSafe(r.model) + "\t" + TerminalSafe(r.serial) + "\t" +
                  TerminalSafe(r.version));
    }

    BatchRun list(owner, program.package, options->timing);
    list.SetParallelJobs(options->parallel);
    list.AddTargets(grid);
    if (ShowBox(owner, MessageText(kMsgProceed, owner), kMsgInformation, BoxIcon::Question, BoxButtons::OkCancel) !=
        BoxAnswer::Ok) {
        return finishReport(kExitRefused);
    }
    StatusPrinter printer(io, list);
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
        io.Out("Interrupted.");
        for (int row = 0; row < list.RowCount(); ++row) {
            report.records.push_back(RecordOfRow(list, row, settings, report.carriedVersion));
        }
        return finishReport(kExitInterrupted);
    }

    io.Out("Proceeded: " + std::to_string(list.RowCount() - list.QueuedCount()) + "/" +
              std::to_string(list.RowCount()));
    io.OutText(TerminalText(list.UpgradeLog()));
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
    "upgrade many cameras as the automatic mode does: two at a time, one upload at a time, then the upgrade log",
    &DeclareBody<BatchCommand>,
});

}  // namespace

}  // namespace qrv::cli
