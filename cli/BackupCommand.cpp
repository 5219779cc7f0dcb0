// backup ADDRESS[:PORT] --user NAME --password PASS [--out FILE]
// [--time-scale S]: saves the camera's configuration as the upgrade does
// before its upload: the same probe and administrator check, the same
// request, the same checks on the answer and the same file rules.

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <thread>

#include <CLI/CLI.hpp>

#include "cli/CliCommand.h"
#include "cli/CliOptions.h"
#include "cli/CliProgram.h"
#include "engine/ConfigBackupStore.h"
#include "engine/ManualUpgradeSession.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "platform/Text.h"

namespace qrv::cli {

namespace {

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

class BackupCommand final : public CommandBody {
public:
    explicit BackupCommand(CLI::App& app) {
        DeclareCamera(app, camera_, true);
        outOption_ = app.add_option("--out", out_, "save to FILE (never overwritten) instead of the Configurations folder")
            ->option_text("FILE");
    }

    int Run(CliIo& io, std::span<const std::string>) override;

private:
    CameraArguments camera_;
    std::string out_;
    CLI::Option* outOption_ = nullptr;
};

int BackupCommand::Run(CliIo& io, std::span<const std::string>) {
    const std::optional<CameraOptions> options = ReadCameraOptions(io, camera_, true);
    if (!options) return kExitUsage;
    std::string out;
    if (outOption_->count() > 0) {
        if (out_.empty()) return UsageError(io, "--out needs a file name.");
        // The folders of the file are made as those of the Configurations folder are.
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(out_, error);
        out = error ? out_ : absolute.lexically_normal().string();
    }

    CliProgram program(io, false);
    ManualUpgradeSession session(program.owner, program.package, options->timing);
    // The checks the upgrade makes before it saves: a supported model that
    // answers, the administrator's account, a serial that may be upgraded.
    if (!session.ProbeTarget(options->address, options->credentials)) return kExitRefused;
    const ProbeResult probe = session.LastProbe();

    const ModelList& models = program.package.Models();
    const std::string model = models.empty() ? std::string() : models.front();
    ConfigBackupStore store(options->address, "/system/" + LowerCase(model) + ".cfg", options->credentials, WallNow(),
                            model, probe.serial, false, options->timing);
    if (!out.empty()) store.SetExactPath(out);
    io.Out("Saving config file");
    // Ctrl+C or SIGTERM ends the save at once; what was written goes with it.
    CatchInterrupts();
    std::atomic<bool> ended{false};
    bool saved = false;
    {
        std::jthread worker([&](std::stop_token stop) {
            saved = store.Download(stop);
            ended.store(true);
        });
        program.owner.RunUntil([&] { return ended.load() || InterruptCount() > 0; }, std::chrono::hours(1));
        worker.request_stop();
    }
    if (!saved && InterruptCount() > 0) {
        io.Out("Interrupted.");
        return kExitInterrupted;
    }
    if (!saved) {
        io.Err("Information: Cannot save camera's configuration!\n" + store.ErrorText());
        return kExitRefused;
    }
    io.Out("Saved " + std::to_string(store.Size()) + " bytes to " + store.LocalPath());
    return kExitOk;
}

const RegisterCommand kBackup({
    "backup",
    "save a camera's configuration to a .cfg file, as the upgrade does before its upload",
    &DeclareBody<BackupCommand>,
});

}  // namespace

}  // namespace qrv::cli
