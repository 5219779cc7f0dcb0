// restore ADDRESS[:PORT] --file FILE.cfg [--yes] [--time-scale S]: posts a
// saved configuration back to a camera with the upgrade's own restore request
// and tries, waits for the camera to come back from reconfiguring and says
// how it ended. The way back when an upgrade stopped between saving the
// configuration and restoring it.

#include <cctype>
#include <chrono>
#include <optional>
#include <string_view>

#include <CLI/CLI.hpp>

#include "cli/CliCommand.h"
#include "cli/CliOptions.h"
#include "cli/CliProgram.h"
#include "engine/CameraClient.h"
#include "engine/ConfigBackupStore.h"
#include "engine/EngineMessages.h"
#include "engine/MultipartForm.h"
#include "platform/Clock.h"
#include "platform/Text.h"

namespace qrv::cli {

namespace {

// The restore request carries the factory account whatever the camera's
// administrator is; the inquiries of this command use the same token.
std::string FactoryCredentials() {
    constexpr std::string_view kBasic = "Authorization: Basic ";
    return std::string(kFactoryAuthorization.substr(kBasic.size()));
}

long long Seconds(std::chrono::milliseconds duration) {
    return std::chrono::duration_cast<std::chrono::seconds>(duration).count();
}

// A file the program saved names the camera it came from
// ("<model>.<serial>.cfg"): one camera's settings, its static address among
// them, must not land on another by a slip of the file name. Nothing when the
// file may be posted.
std::optional<std::string> RefuseForCamera(const std::string& path, const std::u16string& model,
                                           const std::u16string& serial, const ModelList& models, bool force) {
    const std::optional<SavedFileName> name = ReadSavedFileName(path);
    if (!name) return std::nullopt;
    const auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    // The program names every file after the first model it supports.
    const std::string cameraModel = SanitizeFileNamePart(lower(ToNarrow(model)));
    const std::string namedModel = models.empty() ? cameraModel : SanitizeFileNamePart(lower(models.front()));
    if (name->model != cameraModel && name->model != namedModel) {
        return "The file was saved from a " + name->model + ", not from this camera's model (" +
               TerminalSafe(model) + ").";
    }
    if (!force && !SavedSerialMatches(name->serial, serial)) {
        return "The file was saved from the camera with serial " + TerminalSafe(ToWide(name->serial)) +
               ", not from this one (" + TerminalSafe(serial) + "). Give --force to restore it all the same.";
    }
    return std::nullopt;
}

class RestoreCommand final : public CommandBody {
public:
    explicit RestoreCommand(CLI::App& app) {
        DeclareCamera(app, camera_, false);
        app.add_option("--file", file_, "the saved configuration (from backup, or one the upgrade kept)")
            ->option_text("FILE.cfg");
        app.add_flag("--yes", yes_, "answer the confirmation with yes");
        app.add_flag("--force", force_,
                     "restore a file saved from a camera with another serial\n"
                     "(--yes does not; a file of another model is always refused)");
        app.footer("The restore authenticates with the camera's factory account, as the upgrade does: no\n"
                   "--user or password is needed.");
    }

    int Run(CliIo& io, std::span<const std::string>) override;

private:
    CameraArguments camera_;
    std::string file_;
    bool yes_ = false;
    bool force_ = false;
};

int RestoreCommand::Run(CliIo& io, std::span<const std::string>) {
    const std::optional<CameraOptions> options = ReadCameraOptions(io, camera_, false);
    if (!options) return kExitUsage;
    if (file_.empty()) return UsageError(io, "Give the saved configuration with --file FILE.cfg.");
    const Timing& timing = options->timing;

    // The file is checked before the camera hears of it.
    ConfigBackupStore store(options->address, std::string(), FactoryCredentials(), WallNow(), std::string(), u"",
                            false, timing);
    if (!store.UseSavedFile(file_)) {
        io.Err("Information: The configuration cannot be restored. " + store.ErrorText());
        return kExitUsage;
    }

    CliProgram program(io, yes_);
    CliOwner& owner = program.owner;
    CameraClient client(owner, options->address, FactoryCredentials(), program.package.Models(), 0, nullptr, nullptr,
                        nullptr, {}, timing);
    std::u16string model;
    std::u16string serial;
    if (!client.ReadIdentity(client.Inquire("inq=system", timing.inquiryTimeout), model, serial, true)) {
        return kExitRefused;
    }
    io.Out("Current version: " + TerminalSafe(client.VersionBefore()));
    if (const std::optional<std::string> refusal =
            RefuseForCamera(file_, model, serial, program.package.Models(), force_)) {
        io.Err("Information: The configuration cannot be restored. " + *refusal);
        return kExitUsage;
    }

    const std::u16string question = u"Restore the configuration " + FromUtf8(file_) + u" to the camera " +
                                    FromUtf8(options->address) + u"? Its current settings are replaced.";
    if (ShowBox(owner, question, kMsgInformation, BoxIcon::Question, BoxButtons::OkCancel) != BoxAnswer::Ok) {
        return kExitRefused;
    }

    io.Out("Loading config file");
    if (!store.RunRestoreTries(client)) {
        const std::string why = store.ErrorText();
        io.Err("Information: The camera did not take the configuration (" + std::to_string(timing.restoreTries) +
               " tries)." + (why.empty() ? "" : " " + why));
        return kExitRefused;
    }

    // The camera applies the configuration and is away for a while.
    io.Out("Reconfiguring");
    const auto start = std::chrono::steady_clock::now();
    SleepFor(timing.manualRestoreSettle);
    while (std::chrono::steady_clock::now() - start < timing.manualRestoreSettle + timing.manualPollLimit) {
        if (client.CheckModel(client.Inquire("inq=system", timing.inquiryTimeout), false)) {
            io.Out("Restored " + file_ + " to " + options->address + "; the camera is back (version " +
                      TerminalSafe(client.VersionNow()) + ").");
            return kExitOk;
        }
        SleepFor(timing.manualPoll);
    }
    io.Err("Information: The camera took the configuration but did not answer within " +
           std::to_string(Seconds(timing.manualRestoreSettle + timing.manualPollLimit)) + " s after it.");
    return kExitRefused;
}

const RegisterCommand kRestore({
    "restore",
    "post a saved configuration back to a camera and wait until it has applied it",
    &DeclareBody<RestoreCommand>,
});

}  // namespace

}  // namespace qrv::cli
