// upgrade ADDRESS[:PORT] --user NAME --password PASS [--retain | --backup]
// [--yes] [--dry-run] [--report FILE] [--time-scale S]: the whole manual
// upgrade as the wizard runs it, or its dry run: the camera asked what the
// upgrade would ask before it starts, and nothing changed.

#include <chrono>

#include <CLI/CLI.hpp>

#include "batch/DryRun.h"
#include "cli/CliCommand.h"
#include "cli/CliOptions.h"
#include "cli/CliProgram.h"
#include "cli/ReportOutput.h"
#include "engine/CameraAddress.h"
#include "engine/EngineMessages.h"
#include "engine/JobStage.h"
#include "engine/ManualUpgradeSession.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "report/BatchReport.h"

namespace qrv::cli {

namespace {

// Prints the stage line of the progress page whenever it changes.
class StagePrinter : public ManualSessionView {
public:
    StagePrinter(CliIo& io, OwnerPort& owner) : io_(io), owner_(owner) {}

    void ShowStage(int stage) override {
        const int number = ManualStageMessage(stage);
        if (number == 0) return;  // empty line, or an error code that keeps the text
        const std::u16string text = MessageText(number, owner_);
        if (text == last_) return;
        last_ = text;
        io_.Out(TerminalText(text));
    }

private:
    CliIo& io_;
    OwnerPort& owner_;
    std::u16string last_;
};

const char* SetupDataLine(SetupDataMode mode) {
    switch (mode) {
    case SetupDataMode::Discard:
        return "Discard the current settings.";
    case SetupDataMode::Retain:
        return "Retain the current settings.";
    case SetupDataMode::Backup:
        return "Retain and backup the current settings.";
    }
    return "";
}

class UpgradeCommand final : public CommandBody {
public:
    explicit UpgradeCommand(CLI::App& app) {
        DeclareCamera(app, camera_, true);
        app.add_flag("--retain", retain_, "save the settings before and restore them after; delete the .cfg file");
        app.add_flag("--backup", backup_, "as --retain, but keep the .cfg file");
        app.add_flag("--yes", yes_, "answer the confirmation with yes");
        app.add_flag("--dry-run", dryRun_,
                     "send no save, upload or restore: ask the camera what the upgrade would\n"
                     "ask before it starts (model, serial rule, version, emergency state,\n"
                     "administrator account, DocType and image) and print what would happen;\n"
                     "exit 0 when it would be upgraded");
        app.add_option("--report", report_,
                       "write the camera's record: JSON, or CSV for a name ending in .csv;\n"
                       "'-' writes JSON to standard output (the other output goes to stderr)")
            ->option_text("FILE");
    }

    int Run(CliIo& io, std::span<const std::string>) override;

private:
    int DryRun(CliIo& io, const CameraOptions& options, SetupDataMode mode) const;

    CameraArguments camera_;
    bool retain_ = false;
    bool backup_ = false;
    bool yes_ = false;
    bool dryRun_ = false;
    std::string report_;
};

int UpgradeCommand::DryRun(CliIo& io, const CameraOptions& options, SetupDataMode mode) const {
    ReportOutput reportOutput(io, report_);
    CliProgram program(io, yes_);
    BatchReport report = NewReport(program.package, WallNow());
    report.dryRun = true;
    const DryRunCamera camera =
        CheckCameraForDryRun(program.package, *CameraAddress::Parse(options.address), options.credentials,
                             options.timing, false);
    const std::string line = TerminalSafe(FromUtf8(DryRunLine(camera, report.carriedVersion, mode)));
    io.Out(line);
    report.records.push_back(DryRunRecord(camera, mode, line));
    if (reportOutput.IsWanted() && !reportOutput.Write(report)) return kExitRefused;
    return camera.verdict == DryRunVerdict::Upgrade ? kExitOk : kExitRefused;
}

int UpgradeCommand::Run(CliIo& io, std::span<const std::string>) {
    const std::optional<CameraOptions> options = ReadCameraOptions(io, camera_, true);
    if (!options) return kExitUsage;
    if (retain_ && backup_) return UsageError(io, "Give --retain or --backup, not both (--backup retains the settings too).");
    const SetupDataMode mode = MakeSetupDataMode(retain_ || backup_, backup_);
    if (dryRun_) return DryRun(io, *options, mode);

    ReportOutput reportOutput(io, report_);
    CliProgram program(io, yes_);
    CliOwner& owner = program.owner;
    StagePrinter printer(io, owner);
    // Outlives the session: the job's worker reports to it until it is joined.
    CountingProgress progress;
    ManualUpgradeSession session(owner, program.package, options->timing, &printer);
    owner.SetTimerHandler([&session](int id) { session.OnTimer(id); });
    owner.SetJobMessageHandler([&session](int wParam, int lParam) { session.OnJobMessage(wParam, lParam); });

    // The record is written on every way out once the camera was asked, so
    // that a refusal is on file as well as an upgrade.
    WallTime started{};
    const auto writeReport = [&]() {
        if (!reportOutput.IsWanted()) return true;
        BatchReport report = NewReport(program.package, started == WallTime{} ? WallNow() : started);
        const std::vector<MessageBox> boxes = owner.Boxes();
        const std::string failure = boxes.empty() ? std::string() : ToUtf8(boxes.back().text);
        report.records.push_back(RecordOfManualSession(session, options->address, mode, started, WallNow(),
                                                       report.carriedVersion, failure));
        return reportOutput.Write(report);
    };
    if (!session.ProbeTarget(options->address, options->credentials)) {
        writeReport();
        return kExitRefused;
    }
    const ProbeResult probe = session.LastProbe();
    io.Out(TerminalText(MessageText(219, owner)) + ": " + options->address);
    io.Out(TerminalText(MessageText(236, owner)) + ": " + TerminalSafe(probe.versionBefore));
    io.Out(TerminalText(MessageText(238, owner)) + ": " + program.package.CarriedVersion());
    io.Out(SetupDataLine(mode));

    if (!session.ConfirmUpgrade(options->credentials)) {
        writeReport();
        return kExitRefused;
    }
    io.Out(TerminalText(MessageText(200, owner)));
    started = WallNow();
    // Ctrl+C or SIGTERM stops the run; the record says it did not finish.
    CatchInterrupts();
    session.Start(mode, &progress);
    owner.RunUntil([&session] { return session.IsFinished() || InterruptCount() > 0; }, std::chrono::hours(24));
    if (!session.IsFinished()) {
        // The job is stopped and joined before its record is taken.
        session.Stop();
        io.Out("Interrupted.");
        return writeReport() ? kExitInterrupted : kExitRefused;
    }

    if (!writeReport()) return kExitRefused;
    if (session.Step() != ManualStep::Result || !session.CameraCameBack()) {
        if (!session.SaveError().empty()) io.Err(session.SaveError() + " No firmware was sent.");
        return kExitRefused;
    }
    const std::string version = program.package.CarriedVersion();
    io.Out(TerminalText(MessageText(222, owner) + MessageText(234, owner)) + version.substr(std::min<size_t>(3, version.size())) +
              TerminalText(MessageText(235, owner)));
    // The firmware is in, but "upgraded" is not the whole promise when the
    // settings were to be kept.
    if (mode != SetupDataMode::Discard && !session.ConfigurationRestored()) {
        io.Err("The settings were not restored; they are kept in " + session.BackupPath() +
                 " for the restore command.");
        return kExitRefused;
    }
    if (session.NotSeenAfterRestore()) {
        io.Err("The camera took its settings but did not answer again; they are kept in " + session.BackupPath() +
                 ".");
        return kExitRefused;
    }
    return kExitOk;
}

const RegisterCommand kUpgrade({
    "upgrade",
    "upgrade one camera: probe, confirm, save the settings if asked, upload, wait for the reboot, restore",
    &DeclareBody<UpgradeCommand>,
});

}  // namespace

}  // namespace qrv::cli
