// probe ADDRESS[:PORT] --user NAME --password PASS: the manual probe and the
// serial check, one result per line.

#include "cli/CliCommand.h"
#include "cli/CliOptions.h"
#include "cli/CliProgram.h"
#include "engine/ManualUpgradeSession.h"
#include "platform/Text.h"

namespace qrv::cli {

namespace {

const char* AdminText(const ProbeResult& probe) {
    switch (probe.admin) {
    case ProbeResult::Admin::Ok:
        return "ok";
    case ProbeResult::Admin::Refused:
        return "refused";
    case ProbeResult::Admin::NotAsked:
        break;
    }
    // A camera in emergency state is not asked; one that did not answer is unknown.
    return probe.emergency ? "skipped" : "unknown";
}

int RunProbe(std::span<const std::string> args) {
    const std::optional<CameraOptions> options = ReadCameraOptions(args, {});
    if (!options) return kExitUsage;
    CliProgram program(false);
    ManualUpgradeSession session(program.owner, program.package, options->timing);
    const bool allowed = session.ProbeTarget(options->address, options->credentials);
    const ProbeResult probe = session.LastProbe();
    PrintLine("model=" + TerminalSafe(probe.model));
    PrintLine("serial=" + TerminalSafe(probe.serial));
    PrintLine("version=" + TerminalSafe(probe.versionBefore));
    PrintLine("doctype=" + TerminalSafe(probe.docType));
    PrintLine("slot=" + std::to_string(probe.slot));
    PrintLine(std::string("emergency=") + (probe.emergency ? "yes" : "no"));
    PrintLine(std::string("admin=") + AdminText(probe));
    return allowed ? kExitOk : kExitRefused;
}

const RegisterCommand kProbe({
    "probe",
    "ADDRESS[:PORT] --user NAME --password PASS [--time-scale S]",
    "ask a camera whether it may be upgraded (model, version, image, administrator, serial)",
    "  --user NAME, --password PASS   the camera's administrator account\n"
    "  --password-file FILE           the password from FILE's first line (not readable by others);\n"
    "                                 without either: $QRV_PASSWORD, else a prompt on the terminal\n"
    "  --time-scale S                 multiply every wait by S (simulated cameras)",
    &RunProbe,
});

}  // namespace

}  // namespace qrv::cli
