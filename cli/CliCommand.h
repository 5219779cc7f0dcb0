#pragma once
// The command table of qrv-firmware-upgrade-cli. Each command lives in a file
// of its own and registers itself with one RegisterCommand object, so adding a
// command is one file and one line in cli/CMakeLists.txt.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrv::cli {

// Exit codes shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;
// 128 + SIGINT, as a shell reports Ctrl+C.
inline constexpr int kExitInterrupted = 130;

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
