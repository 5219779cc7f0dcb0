#pragma once
// The command table of qrv-firmware-upgrade-cli. Each command lives in a file
// of its own and registers itself with one RegisterCommand object, so adding a
// command is one file and one line in cli/CMakeLists.txt.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrv::cli {

// Exit codes shared by the commands (upgrade, batch, backup, restore, probe).
// 0: every camera asked for is on the carried version, with its settings back
//    where they were to be kept (or, for backup and restore, the file saved or
//    applied and the camera seen again).
inline constexpr int kExitOk = 0;
// 1: some camera failed or refused: not upgraded, its settings not saved, not
//    restored, or not seen again after the restore.
inline constexpr int kExitRefused = 1;
// 2: a usage error or refused input (an option, a list, a report, a file).
inline constexpr int kExitUsage = 2;
// 130: interrupted (Ctrl+C or SIGTERM), as a shell reports Ctrl+C (128 + SIGINT).
inline constexpr int kExitInterrupted = 130;
// The table above as --help prints it.
inline constexpr const char* kExitCodeHelp =
    "exit codes:\n"
    "  0    every camera on the carried version, its settings back where asked (backup, restore: done)\n"
    "  1    some camera failed: refused, not upgraded, settings not saved or not restored, or not seen\n"
    "       again after the restore\n"
    "  2    usage error or refused input (option, camera list, report, configuration file)\n"
    "  130  interrupted (Ctrl+C, SIGTERM)\n";

struct CliCommand {
    std::string_view name;
    std::string_view usage;    // the arguments after the command name
    std::string_view summary;  // one line for --help
    std::string_view help;     // the options, for "COMMAND --help"
    int (*run)(std::span<const std::string> args);
};

class CommandTable {
public:
    static void Add(const CliCommand& command);
    static const std::vector<CliCommand>& All();
    static const CliCommand* Find(std::string_view name);
};

struct RegisterCommand {
    explicit RegisterCommand(const CliCommand& command) { CommandTable::Add(command); }
};

}  // namespace qrv::cli
