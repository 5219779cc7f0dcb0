// qrv-firmware-upgrade-cli: the headless front end over the upgrade engine.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "engine/FirmwarePackage.h"

namespace {

using qrv::cli::CliCommand;
using qrv::cli::CommandTable;

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: qrv-firmware-upgrade-cli COMMAND [ARGS...]\n\n"
                      "Upgrades the firmware of QRV network cameras over the local network.\n\ncommands:\n");
    for (const CliCommand& command : CommandTable::All()) {
        std::fprintf(out, "  %-10.*s %.*s\n", static_cast<int>(command.name.size()), command.name.data(),
                     static_cast<int>(command.summary.size()), command.summary.data());
    }
    std::fprintf(out, "\n'qrv-firmware-upgrade-cli COMMAND --help' shows a command's options.\n\n%s",
                 qrv::cli::kExitCodeHelp);
}

void PrintCommandHelp(const CliCommand& command) {
    std::printf("usage: qrv-firmware-upgrade-cli %.*s %.*s\n\n%.*s\n\noptions:\n%.*s\n\n%s",
                static_cast<int>(command.name.size()), command.name.data(), static_cast<int>(command.usage.size()),
                command.usage.data(), static_cast<int>(command.summary.size()), command.summary.data(),
                static_cast<int>(command.help.size()), command.help.data(), qrv::cli::kExitCodeHelp);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintUsage(stderr);
        return qrv::cli::kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        PrintUsage(stdout);
        return qrv::cli::kExitOk;
    }
    if (args[0] == "--version") {
        qrv::FirmwarePackage package;
        package.LoadVersion();
        std::printf("qrv-firmware-upgrade-cli %s (firmware %s)\n", QRV_PROGRAM_VERSION, package.CarriedVersion().c_str());
        return qrv::cli::kExitOk;
    }
    const CliCommand* command = CommandTable::Find(args[0]);
    if (!command) {
        std::fprintf(stderr, "Unknown command '%s'.\n\n", args[0].c_str());
        PrintUsage(stderr);
        return qrv::cli::kExitUsage;
    }
    const std::span<const std::string> rest(args.begin() + 1, args.end());
    for (const std::string& arg : rest) {
        if (arg == "--help" || arg == "-h") {
            PrintCommandHelp(*command);
            return qrv::cli::kExitOk;
        }
    }
    return command->run(rest);
}
