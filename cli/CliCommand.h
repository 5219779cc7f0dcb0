#pragma once
// The command table of qrv-firmware-upgrade-cli. Each command lives in a file
// of its own and registers itself with one RegisterCommand object, so adding a
// command is one file and one line in cli/CMakeLists.txt. A command declares
// its options once, on its CLI11 subcommand (cli/CommandLine.h parses them and
// prints the help from them), and runs with the values read.

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CliIo.h"

namespace CLI {
class App;
}

namespace qrv::cli {

inline constexpr const char* kProgramName = "qrv-firmware-upgrade-cli";

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

// Every usage error has one form, "qrv-firmware-upgrade-cli: MESSAGE" on the
// error stream; returns kExitUsage.
int UsageError(CliIo& io, std::string_view message);

// A command with its options read. `args` are the words after the command's
// name, for the errors that must not repeat a possible secret (WordForError).
class CommandBody {
public:
    virtual ~CommandBody() = default;
    virtual int Run(CliIo& io, std::span<const std::string> args) = 0;
};

struct CliCommand {
    std::string_view name;
    std::string_view summary;  // one line for --help
    // Declares the command's options on `app` (its subcommand), bound to the
    // fields of the body returned.
    std::unique_ptr<CommandBody> (*declare)(CLI::App& app);
};

template <class Body>
std::unique_ptr<CommandBody> DeclareBody(CLI::App& app) {
    return std::make_unique<Body>(app);
}

class CommandTable {
public:
    static void Add(const CliCommand& command);
    // In the order of their names.
    static const std::vector<CliCommand>& All();
};

struct RegisterCommand {
    explicit RegisterCommand(const CliCommand& command) { CommandTable::Add(command); }
};

}  // namespace qrv::cli
