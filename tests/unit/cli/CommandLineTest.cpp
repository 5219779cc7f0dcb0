// The command line read in-process: every command's options as it declared
// them, in both spellings (--opt value, --opt=value); the one form of a usage
// error (unknown option, missing value, a number out of range, unknown
// command), exit 2; a value that looks like an option (--password -h); and
// each --help listing every option declared. Nothing here reaches a camera:
// the runs end at a usage error before any is asked.

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/CommandLine.h"

namespace qrv::cli {
namespace {

using Words = std::vector<std::string>;

const std::string kPrefix = "qrv-firmware-upgrade-cli: ";

// One reading of the command line, kept for a look at the values read.
struct Reading {
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
    CliIo io{out, err, in, false};
    CommandLine line;
    std::optional<int> ended;

    explicit Reading(const Words& args) { ended = line.Parse(args, io); }

    // What the option `name` of `command` read, as given.
    std::vector<std::string> Results(const std::string& command, const std::string& name) const {
        const CLI::Option* option = line.Command(command)->get_option(name);
        return option->results();
    }
};

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

CliRun RunWords(const Words& args, const std::string& input = {}) {
    std::ostringstream out, err;
    std::istringstream in(input);
    CliIo io(out, err, in, false);
    CliRun run;
    run.exitCode = RunCommandLine(args, io);
    run.out = out.str();
    run.err = err.str();
    return run;
}

std::string Describe(const Words& args) {
    std::string text;
    for (const std::string& word : args) text += (text.empty() ? "" : " ") + word;
    return text;
}

// Every command as declared, and its options.
std::vector<std::string> CommandNames() {
    std::vector<std::string> names;
    for (const CliCommand& command : CommandTable::All()) names.emplace_back(command.name);
    return names;
}

std::vector<const CLI::Option*> Options(const CommandLine& line, const std::string& command) {
    return line.Command(command)->get_options();
}

bool TakesValue(const CLI::Option& option) { return !option.get_positional() && option.get_expected_max() != 0; }

std::string LongName(const CLI::Option& option) { return "--" + option.get_lnames().front(); }

// A value that each option with a value takes. An option declared without a
// row here fails the tests that use it, so that a new option gets its rows.
const std::map<std::string, std::string> kGoodValues = {
    {"--user", "admin"},       {"--password", "s3cret"}, {"--password-file", "secret.txt"},
    {"--time-scale", "0.01"},  {"--out", "saved.cfg"},   {"--file", "saved.cfg"},
    {"--report", "r.json"},    {"--list", "cams.txt"},   {"--retry-failed", "old.json"},
    {"--seconds", "2.5"},      {"--parallel", "4"},      {"--interface", "eth0"},
};

// Values refused, with the message's start.
const std::map<std::string, std::vector<std::string>> kBadValues = {
    {"--time-scale", {"-1", "0", "x", "1e999", ""}},
    {"--seconds", {"0", "-1", "3601", "x", "1.5s", ""}},
    {"--parallel", {"0", "257", "-2", "1.5", "x", " 4", ""}},
};

TEST(CommandLine, EveryCommandIsDeclared) {
    EXPECT_EQ(CommandNames(), (Words{"backup", "batch", "discover", "probe", "restore", "upgrade"}));
}

TEST(CommandLine, AValueReadsTheSameWithASpaceOrAnEqualsSign) {
    const CommandLine declared;
    for (const std::string& command : CommandNames()) {
        for (const CLI::Option* option : Options(declared, command)) {
            if (!TakesValue(*option)) continue;
            const std::string name = LongName(*option);
            ASSERT_TRUE(kGoodValues.count(name)) << command << " " << name << " needs a row in kGoodValues";
            const std::string value = kGoodValues.at(name);
            const Reading spaced({command, name, value});
            const Reading joined({command, name + "=" + value});
            EXPECT_EQ(spaced.ended, std::nullopt) << command << " " << name << "\n" << spaced.err.str();
            EXPECT_EQ(joined.ended, std::nullopt) << command << " " << name << "=\n" << joined.err.str();
            EXPECT_EQ(spaced.Results(command, name), Words{value}) << command << " " << name;
            EXPECT_EQ(joined.Results(command, name), Words{value}) << command << " " << name;
        }
    }
}

TEST(CommandLine, AnEmptyValueAfterTheEqualsSignIsEmptyAndTakesNoFurtherWord) {
    const Reading user({"probe", "--user=", "--password", "x"});
    EXPECT_EQ(user.Results("probe", "--user"), Words{""});
    EXPECT_EQ(user.Results("probe", "--password"), Words{"x"});
    // Given empty, --out is refused by the command itself.
    const CliRun out = RunWords({"backup", "127.0.0.2", "--user", "admin", "--password", "admin", "--out="});
    EXPECT_EQ(out.exitCode, 2);
    EXPECT_EQ(out.err, kPrefix + "--out needs a file name.\n");
}

TEST(CommandLine, AnOptionWithAValueTakesTheNextWordWhateverItLooksLike) {
    for (const std::string& command : CommandNames()) {
        const CommandLine declared;
        for (const CLI::Option* option : Options(declared, command)) {
            if (!TakesValue(*option)) continue;
            const std::string name = LongName(*option);
            if (kBadValues.count(name)) continue;  // checked values: below
            for (const std::string word : {"-h", "--help", "--yes", "-", "--"}) {
                const Reading reading({command, name, word});
                EXPECT_EQ(reading.ended, std::nullopt) << command << " " << name << " " << word << "\n"
                                                       << reading.err.str();
                EXPECT_EQ(reading.out.str(), "") << "no help for " << command << " " << name << " " << word;
                EXPECT_EQ(reading.Results(command, name), Words{word}) << command << " " << name;
            }
        }
    }
}

TEST(CommandLine, PasswordDashHIsAPasswordNotAQuestionForHelp) {
    for (const std::string command : {"probe", "upgrade", "batch", "backup"}) {
        const Reading reading({command, "127.0.0.2", "--user", "admin", "--password", "-h"});
        EXPECT_EQ(reading.ended, std::nullopt) << command << "\n" << reading.err.str();
        EXPECT_EQ(reading.Results(command, "--password"), Words{"-h"}) << command;
        EXPECT_EQ(reading.out.str(), "") << command;
    }
    // Run to the end of the reading: the password was taken, and the missing
    // address is what stops the run; no help is printed.
    const CliRun run = RunWords({"probe", "--user", "admin", "--password", "-h"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kPrefix + "Give the camera's address.\n");
}

TEST(CommandLine, AMissingValueIsAUsageError) {
    const CommandLine declared;
    for (const std::string& command : CommandNames()) {
        for (const CLI::Option* option : Options(declared, command)) {
            if (!TakesValue(*option)) continue;
            const std::string name = LongName(*option);
            for (const Words& args : {Words{command, name}, Words{command, "127.0.0.2", "--yes", name}}) {
                if (args.size() > 2 && !declared.Command(command)->get_option_no_throw("--yes")) continue;
                const CliRun run = RunWords(args);
                EXPECT_EQ(run.exitCode, 2) << Describe(args);
                EXPECT_EQ(run.out, "") << Describe(args);
                EXPECT_EQ(run.err, kPrefix + name + " needs a value.\n") << Describe(args);
            }
        }
    }
}

TEST(CommandLine, AValueOutOfRangeIsAUsageErrorThatNamesIt) {
    const CommandLine declared;
    int checked = 0;
    for (const std::string& command : CommandNames()) {
        for (const auto& [name, values] : kBadValues) {
            if (!declared.Command(command)->get_option_no_throw(name)) continue;
            for (const std::string& value : values) {
                for (const Words& args : {Words{command, name, value}, Words{command, name + "=" + value}}) {
                    if (value.empty() && args.size() == 2) continue;  // "--opt=": the command's own check
                    const CliRun run = RunWords(args);
                    ++checked;
                    EXPECT_EQ(run.exitCode, 2) << Describe(args);
                    EXPECT_EQ(run.out, "") << Describe(args);
                    EXPECT_EQ(run.err.rfind(kPrefix + name + " needs ", 0), 0u) << Describe(args) << "\n" << run.err;
                    EXPECT_NE(run.err.find(", not '" + value + "'.\n"), std::string::npos) << run.err;
                    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
                }
            }
        }
    }
    EXPECT_GT(checked, 40);
    // The bounds themselves are taken.
    for (const Words& args : {Words{"batch", "--parallel", "1"}, Words{"batch", "--parallel=256"},
                              Words{"discover", "--seconds", "3600"}, Words{"discover", "--seconds=0.1"},
                              Words{"upgrade", "--time-scale", "1e-3"}}) {
        EXPECT_EQ(Reading(args).ended, std::nullopt) << Describe(args);
    }
}

TEST(CommandLine, AnUnknownOptionIsAUsageError) {
    for (const std::string& command : CommandNames()) {
        for (const std::string word : {"--bogus", "--bogus=1", "-x", "--Yes", "--version"}) {
            const CliRun run = RunWords({command, word});
            EXPECT_EQ(run.exitCode, 2) << command << " " << word;
            EXPECT_EQ(run.out, "") << command << " " << word;
            EXPECT_EQ(run.err, kPrefix + "Unknown option " + word + ".\n") << command << " " << word;
        }
    }
    // Options of other commands are no options of this one.
    EXPECT_EQ(RunWords({"discover", "--user", "admin"}).err, kPrefix + "Unknown option --user.\n");
    EXPECT_EQ(RunWords({"probe", "127.0.0.2", "--retain"}).err, kPrefix + "Unknown option --retain.\n");
    EXPECT_EQ(RunWords({"--bogus"}).err, kPrefix + "Unknown option --bogus.\n");
}

TEST(CommandLine, AnUnknownOrMissingCommandIsAUsageError) {
    const CliRun unknown = RunWords({"frobnicate"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err,
              kPrefix + "Unknown command 'frobnicate'; 'qrv-firmware-upgrade-cli --help' lists the commands.\n");
    const CliRun none = RunWords({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_EQ(none.err, kPrefix + "Give a command; 'qrv-firmware-upgrade-cli --help' lists them.\n");
}

// The usage errors of the commands themselves, found after reading: each in
// the one form, on one line, exit 2, before any camera is asked.
TEST(CommandLine, TheCommandsUsageErrorsHaveTheOneForm) {
    const Words login = {"--user", "admin", "--password", "admin"};
    const auto with = [&](Words args) {
        args.insert(args.end(), login.begin(), login.end());
        return args;
    };
    const std::string address =
        "Input the correct IP address of the target camera (a.b.c.d or a.b.c.d:port, port 1024 to 65535)";
    const std::string account =
        "Input the correct name and password (--user NAME --password PASS, at most 16 characters each).";
    const struct {
        Words args;
        std::string message;
    } rows[] = {
        {{"probe"}, "Give the camera's address."},
        {with({"probe"}), "Give the camera's address."},
        {{"probe", "127.0.0.2", "--user", "admin"}, account},
        {{"probe", "127.0.0.2", "--user", "", "--password", "admin"}, account},
        {{"probe", "127.0.0.2", "--user", "admin", "--password", ""}, account},
        {{"probe", "127.0.0.2", "--user", "admin", "--password", "12345678901234567"}, account},
        {{"probe", "127.0.0.2", "--user", "admin", "--password", "\xff"},
         "The name and the password must be valid UTF-8 text."},
        {with({"probe", "127.0.0.2:80x"}), address + "."},
        {with({"probe", "127.0.0.2:1023"}), address + "."},
        {with({"probe", "host.example"}), address + "."},
        {with({"probe", "127.0.0.2", "127.0.0.3"}), "Only one camera address may be given."},
        {with({"probe", "127.0.0.2", "--password-file", "x"}), "Give --password or --password-file, not both."},
        {with({"upgrade", "127.0.0.2", "--retain", "--backup"}),
         "Give --retain or --backup, not both (--backup retains the settings too)."},
        {with({"batch", "127.0.0.2", "--retain", "--backup"}),
         "Give --retain or --backup, not both (--backup retains the settings too)."},
        {{"batch", "127.0.0.2", "--user", "admin"}, account},
        {with({"batch", "127.0.0.2:80800"}), address + ", not '127.0.0.2:80800'."},
        {with({"batch", "--retry-failed", "a.json", "--retry-failed", "b.json"}), "Give --retry-failed once."},
        {with({"batch", "127.0.0.2", "--retry-failed", "a.json"}),
         "--retry-failed takes its cameras from the report: give no addresses or --list with it."},
        {with({"backup", "127.0.0.2", "--out", ""}), "--out needs a file name."},
        {{"restore", "127.0.0.2", "--yes"}, "Give the saved configuration with --file FILE.cfg."},
        {{"restore", "--file", "x.cfg"}, "Give the camera's address."},
        {{"discover", "127.0.0.2"}, "Unexpected argument '127.0.0.2'."},
        {{"discover", "--interface", ""}, "--interface needs the name of a network interface."},
    };
    for (const auto& row : rows) {
        const CliRun run = RunWords(row.args);
        EXPECT_EQ(run.exitCode, 2) << Describe(row.args);
        EXPECT_EQ(run.out, "") << Describe(row.args);
        EXPECT_EQ(run.err, kPrefix + row.message + "\n") << Describe(row.args);
    }
}

// A word after --user or --password, or after their value, may be a
// password that a forgotten option left in the open: never repeated.
TEST(CommandLine, AUsageErrorNeverRepeatsAPossiblePassword) {
    for (const Words& args : {Words{"probe", "127.0.0.2", "--user", "admin", "s3cret"},
                              Words{"batch", "--user", "admin", "s3cret"},
                              Words{"batch", "--user=admin", "s3cret"},
                              Words{"batch", "--user", "admin", "--password", "x", "s3cret"},
                              Words{"probe", "127.0.0.2", "--user", "admin", "-s3cret"},
                              Words{"batch", "--user", "admin", "--s3cret"},
                              Words{"discover", "--password=s3cret"},
                              Words{"discover", "--password", "s3cret"},
                              Words{"restore", "127.0.0.2", "--user", "s3cret"}}) {
        const CliRun run = RunWords(args);
        EXPECT_EQ(run.exitCode, 2) << Describe(args);
        EXPECT_EQ(run.err.rfind(kPrefix, 0), 0u) << run.err;
        EXPECT_EQ(run.err.find("s3cret"), std::string::npos) << Describe(args) << "\n" << run.err;
    }
}

TEST(CommandLine, EachHelpListsEveryOptionItsCommandDeclared) {
    const CommandLine declared;
    for (const std::string& command : CommandNames()) {
        for (const std::string flag : {"--help", "-h"}) {
            for (const Words& args : {Words{command, flag}, Words{command, "127.0.0.2", "--yes", flag},
                                      Words{flag, command}}) {
                if (args.size() > 2 && args[1] == "127.0.0.2" &&
                    !declared.Command(command)->get_option_no_throw("--yes")) {
                    continue;
                }
                const CliRun run = RunWords(args);
                EXPECT_EQ(run.exitCode, 0) << Describe(args);
                EXPECT_EQ(run.err, "") << Describe(args);
                EXPECT_EQ(run.out, declared.Help(command)) << Describe(args);
            }
        }
        const std::string help = declared.Help(command);
        EXPECT_EQ(help.rfind("usage: qrv-firmware-upgrade-cli " + command + " ", 0), 0u) << help;
        EXPECT_NE(help.find(kExitCodeHelp), std::string::npos) << command;
        for (const CLI::Option* option : Options(declared, command)) {
            const std::string shown =
                option->get_positional() ? option->get_option_text() : LongName(*option) + (TakesValue(*option) ? " " + option->get_option_text() : "");
            EXPECT_NE(help.find(" " + shown + " "), std::string::npos) << command << ": " << shown << "\n" << help;
            EXPECT_FALSE(option->get_description().empty()) << command << ": " << shown;
        }
    }
    // The batch help in particular, whose hand-written usage once left some out.
    const std::string batch = declared.Help("batch");
    for (const char* name : {"--list", "--retry-failed", "--user", "--password", "--password-file", "--retain",
                             "--backup", "--seconds", "--yes", "--skip-current", "--report", "--parallel",
                             "--time-scale"}) {
        EXPECT_NE(batch.find(std::string("  ") + name + " "), std::string::npos) << name;
    }
}

TEST(CommandLine, TheProgramsHelpListsTheCommandsAndTheExitCodes) {
    for (const std::string flag : {"--help", "-h"}) {
        const CliRun run = RunWords({flag});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.rfind("usage: qrv-firmware-upgrade-cli COMMAND", 0), 0u) << run.out;
        for (const CliCommand& command : CommandTable::All()) {
            EXPECT_NE(run.out.find("\n  " + std::string(command.name) + " "), std::string::npos) << command.name;
            EXPECT_NE(run.out.find(std::string(command.summary)), std::string::npos) << command.name;
        }
        EXPECT_NE(run.out.find(kExitCodeHelp), std::string::npos);
    }
}

TEST(CommandLine, VersionNamesTheCarriedFirmware) {
    const CliRun run = RunWords({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind("qrv-firmware-upgrade-cli ", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("(firmware ver1.30)\n"), std::string::npos) << run.out;
}

// --list takes one file a time and may be repeated; the addresses around it
// stay addresses.
TEST(CommandLine, ListsAreRepeatedAndAddressesStayAddresses) {
    const Reading reading({"batch", "127.0.0.2", "--list", "a.txt", "127.0.0.3", "--list=b.txt", "127.0.0.4"});
    ASSERT_EQ(reading.ended, std::nullopt) << reading.err.str();
    EXPECT_EQ(reading.Results("batch", "--list"), (Words{"a.txt", "b.txt"}));
    EXPECT_EQ(reading.Results("batch", "addresses"), (Words{"127.0.0.2", "127.0.0.3", "127.0.0.4"}));
    // Any other option given twice keeps its last value, as it always did.
    const Reading twice({"batch", "--parallel", "3", "--parallel=5"});
    ASSERT_EQ(twice.ended, std::nullopt) << twice.err.str();
    EXPECT_EQ(twice.line.Command("batch")->get_option("--parallel")->as<std::string>(), "5");
}

// A list on standard input that is too large is refused before any camera
// is asked (the stream is given to the command).
TEST(CommandLine, AListOnStandardInputComesFromTheStreamGiven) {
    const CliRun huge = RunWords({"batch", "--list", "-", "--user", "admin", "--password", "admin", "--yes"},
                              std::string(1024 * 1024 + 1, '\n'));
    EXPECT_EQ(huge.exitCode, 2);
    EXPECT_EQ(huge.err, "The standard input is larger than 1 MiB: it is not a camera list.\n");
    const CliRun refused = RunWords({"batch", "--list", "-", "--user", "admin", "--password", "admin", "--yes"},
                                 "127.0.0.2 \r\n");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "Information: Invalid format.\n");
}

}  // namespace
}  // namespace qrv::cli
