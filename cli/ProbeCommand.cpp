// probe ADDRESS[:PORT] --user NAME --password PASS: the manual probe and the
// serial check, one result per line.

#include <CLI/CLI.hpp>

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

class ProbeCommand final : public CommandBody {
public:
    explicit ProbeCommand(CLI::App& app) { DeclareCamera(app, camera_, true); }

    int Run(CliIo& io, std::span<const std::string>) override {
        const std::optional<CameraOptions> options = ReadCameraOptions(io, camera_, true);
        if (!options) return kExitUsage;
        CliProgram program(io, false);
        ManualUpgradeSession session(program.owner, program.package, options->timing);
        const bool allowed = session.ProbeTarget(options->address, options->credentials);
        const ProbeResult probe = session.LastProbe();
        io.Out("model=" + TerminalSafe(probe.model));
        io.Out("serial=" + TerminalSafe(probe.serial));
        io.Out("version=" + TerminalSafe(probe.versionBefore));
        io.Out("doctype=" + TerminalSafe(probe.docType));
        io.Out("slot=" + std::to_string(probe.slot));
        io.Out(std::string("emergency=") + (probe.emergency ? "yes" : "no"));
        io.Out(std::string("admin=") + AdminText(probe));
        return allowed ? kExitOk : kExitRefused;
    }

private:
    CameraArguments camera_;
};

const RegisterCommand kProbe({
    "probe",
    "ask a camera whether it may be upgraded (model, version, image, administrator, serial)",
    &DeclareBody<ProbeCommand>,
});

}  // namespace

}  // namespace qrv::cli
