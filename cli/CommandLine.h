#pragma once
// The command line of qrv-firmware-upgrade-cli on CLI11: one subcommand per
// registered command (cli/CliCommand.h), each with the options it declared.
// Parsing and every --help come from those declarations. A usage error has
// one form, "qrv-firmware-upgrade-cli: MESSAGE" on the error stream, exit 2;
// a word that may be a password is never repeated in it.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/CliIo.h"

namespace qrv::cli {

class CommandLine {
public:
    CommandLine();
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // Reads `args` (the words after the program's name) and runs the command
    // they name; the exit code.
    int Run(std::span<const std::string> args, CliIo& io);

    // Reads `args` only: the exit code when reading ends the run (help,
    // version, a usage error), nothing when a command is ready to run.
    std::optional<int> Parse(std::span<const std::string> args, CliIo& io);

    // The whole program's options and commands, as declared; a command's
    // subcommand (nullptr for an unknown name).
    const CLI::App& App() const { return *app_; }
    const CLI::App* Command(std::string_view name) const;
    // A command's help, or the program's for an empty name.
    std::string Help(std::string_view name = {}) const;

private:
    struct Entry {
        const CliCommand* command;
        CLI::App* app;
        std::unique_ptr<CommandBody> body;
    };

    std::optional<int> ReadArguments(std::span<const std::string> args, CliIo& io);

    std::unique_ptr<CLI::App> app_;
    std::vector<Entry> entries_;
    Entry* selected_ = nullptr;
    std::vector<std::string> commandArgs_;  // the words after the selected command's name
    bool version_ = false;
};

// The program's main: a CommandLine over every registered command.
int RunCommandLine(std::span<const std::string> args, CliIo& io);

}  // namespace qrv::cli
