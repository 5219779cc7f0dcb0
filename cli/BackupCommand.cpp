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

int RunBackup(std::span<const std::string> args) {
    const std::optional<CameraOptions> options = ReadCommandOptions(args, OptionRules{{}, {"--out"}, true});
    if (!options) return kExitUsage;
    std::string out;
    if (const auto given = options->values.find("--out"); given != options->values.end()) {
        if (given->second.empty()) {
            std::fprintf(stderr, "--out needs a file name.\n");
            return kExitUsage;
        }
        // The folders of the file are made as those of the Configurations folder are.
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(given->second, error);
        out = error ? given->second : absolute.lexically_normal().string();
    }

    CliProgram program(false);
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
    PrintLine("Saving config file");
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
        PrintLine("Interrupted.");
        return kExitInterrupted;
    }
    if (!saved) {
        std::fprintf(stderr, "Information: Cannot save camera's configuration!\n%s\n", store.ErrorText().c_str());
        return kExitRefused;
    }
    PrintLine("Saved " + std::to_string(store.Size()) + " bytes to " + store.LocalPath());
    return kExitOk;
}

const RegisterCommand kBackup({
    "backup",
    "ADDRESS[:PORT] --user NAME (--password-file FILE | --password PASS) [--out FILE] [--time-scale S]",
    "save a camera's configuration to a .cfg file, as the upgrade does before its upload",
    "  --user NAME                    the camera's administrator account\n"
    "  --password-file FILE           the password: first line of FILE (not readable by others);\n"
    "                                 else --password PASS, else $QRV_PASSWORD, else a prompt\n"
    "  --out FILE                     save to FILE (never overwritten) instead of the Configurations folder\n"
    "  --time-scale S                 multiply every wait by S (simulated cameras)",
    &RunBackup,
});

}  // namespace

}  // namespace qrv::cli
