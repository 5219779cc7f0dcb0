#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <sstream>

#include "cli/CliOptions.h"
#include "engine/FirmwarePackage.h"

namespace qrv::cli {

namespace {

constexpr std::size_t kOptionColumn = 33;

// What the left column of the help shows for an option: "ADDRESS[:PORT]",
// "-h, --help", "--user NAME".
std::string OptionLabel(const CLI::Option& option) {
    if (option.get_positional()) return option.get_option_text();
    std::string label;
    for (const std::string& name : option.get_snames()) label += (label.empty() ? "-" : ", -") + name;
    for (const std::string& name : option.get_lnames()) label += (label.empty() ? "--" : ", --") + name;
    if (option.get_expected_max() != 0 && !option.get_option_text().empty()) label += " " + option.get_option_text();
    return label;
}

// The help of the program and of each command, from what they declared.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        std::ostringstream out;
        const bool program = app->get_parent() == nullptr;
        out << "usage: " << kProgramName;
        if (program) {
            out << " COMMAND [ARGS...]\n";
        } else {
            out << ' ' << app->get_name();
            for (const CLI::Option* positional : app->get_options([](const CLI::Option* o) { return o->get_positional(); })) {
                out << ' ' << positional->get_option_text();
            }
            out << " [OPTIONS]\n";
        }
        out << '\n' << app->get_description() << '\n';
        if (program) {
            out << "\ncommands:\n";
            for (const CLI::App* command : app->get_subcommands({})) {
                CLI::detail::format_help(out, command->get_name(), command->get_description(), 13);
            }
        }
        // The arguments, the options as declared, the help last.
        std::vector<const CLI::Option*> options = app->get_options();
        std::stable_partition(options.begin(), options.end(), [](const CLI::Option* o) { return o->get_positional(); });
        std::stable_partition(options.begin(), options.end(),
                              [app](const CLI::Option* o) { return o != app->get_help_ptr(); });
        out << "\noptions:\n";
        for (const CLI::Option* option : options) {
            CLI::detail::format_help(out, OptionLabel(*option), option->get_description(), kOptionColumn);
        }
        out << '\n';
        if (!app->get_footer().empty()) out << app->get_footer() << "\n\n";
        out << kExitCodeHelp;
        return out.str();
    }
};

// "--out=" gives an empty value: as two words, so that the option does not
// take the next word instead.
std::vector<std::string> SplitEmptyValues(std::span<const std::string> args) {
    std::vector<std::string> words;
    for (const std::string& arg : args) {
        const bool emptyValue = arg.size() > 3 && arg.starts_with("--") && arg.back() == '=' &&
                                arg.find('=') == arg.size() - 1;
        if (emptyValue) {
            words.push_back(arg.substr(0, arg.size() - 1));
            words.emplace_back();
        } else {
            words.push_back(arg);
        }
    }
    return words;
}

// An unknown option as an error names it: itself, or where it stands when it
// may hold a password ("--password=s3cret" to a command without one).
std::string OptionForError(std::span<const std::string> args, const std::string& word) {
    const std::string named = WordForError(args, word);
    return named.starts_with("(") ? named : word;
}

std::string VersionLine() {
    FirmwarePackage package;
    package.LoadVersion();
    return std::string(kProgramName) + " " + QRV_PROGRAM_VERSION + " (firmware " + package.CarriedVersion() + ")";
}

}  // namespace

CommandLine::CommandLine() : app_(std::make_unique<CLI::App>("Upgrades the firmware of QRV network cameras over the "
                                                             "local network.",
                                                             kProgramName)) {
    CLI::App& app = *app_;
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_help_flag("-h,--help", "show this help");
    app.add_flag("--version", version_, "show the program's version and the firmware version it carries");
    app.footer(std::string("'") + kProgramName + " COMMAND --help' shows a command's options.");
    // Extra words are ours to name (a password among them must not be
    // repeated); a repeated option keeps its last value, as before CLI11.
    app.allow_extras();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    for (const CliCommand& command : CommandTable::All()) {
        CLI::App* sub = app.add_subcommand(std::string(command.name), std::string(command.summary));
        sub->allow_extras();
        sub->footer("");  // not the program's
        entries_.push_back(Entry{&command, sub, command.declare(*sub)});
    }
}

CommandLine::~CommandLine() = default;

const CLI::App* CommandLine::Command(std::string_view name) const {
    for (const Entry& entry : entries_) {
        if (entry.command->name == name) return entry.app;
    }
    return nullptr;
}

std::string CommandLine::Help(std::string_view name) const {
    const CLI::App* command = name.empty() ? app_.get() : Command(name);
    return command ? command->get_formatter()->make_help(command, command->get_name(), CLI::AppFormatMode::Normal)
                   : std::string();
}

std::optional<int> CommandLine::Parse(std::span<const std::string> args, CliIo& io) {
    const std::vector<std::string> words = SplitEmptyValues(args);
    return ReadArguments(words, io);
}

std::optional<int> CommandLine::ReadArguments(std::span<const std::string> args, CliIo& io) {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app_->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        const std::vector<CLI::App*> chosen = app_->get_subcommands();
        io.OutText(Help(chosen.empty() ? std::string_view() : std::string_view(chosen.front()->get_name())));
        return kExitOk;
    } catch (const CLI::ValidationError& error) {
        // "NAME: MESSAGE", and our validators' messages name the option.
        const std::string text = error.what();
        const std::size_t colon = text.find(": ");
        return UsageError(io, colon == std::string::npos ? text : text.substr(colon + 2));
    } catch (const CLI::ArgumentMismatch& error) {
        // An option that takes a value takes the next word, whatever it is:
        // only the last word can lack one.
        if (!args.empty() && args.back().starts_with("-")) return UsageError(io, args.back() + " needs a value.");
        return UsageError(io, error.what());
    } catch (const CLI::ParseError& error) {
        return UsageError(io, error.what());
    }
    const std::vector<CLI::App*> chosen = app_->get_subcommands();
    for (const std::string& word : app_->remaining(false)) {
        if (word.starts_with("-") && word.size() > 1) {
            return UsageError(io, "Unknown option " + OptionForError(args, word) + ".");
        }
        return UsageError(io, "Unknown command '" + word + "'; '" + std::string(kProgramName) +
                                  " --help' lists the commands.");
    }
    if (version_) {
        io.Out(VersionLine());
        return kExitOk;
    }
    if (chosen.empty()) {
        return UsageError(io, "Give a command; '" + std::string(kProgramName) + " --help' lists them.");
    }
    selected_ = nullptr;
    for (Entry& entry : entries_) {
        if (entry.app == chosen.front()) selected_ = &entry;
    }
    // The words after the command's name; no option of the program takes a value.
    const auto name = std::find(args.begin(), args.end(), chosen.front()->get_name());
    commandArgs_.assign(name == args.end() ? args.end() : name + 1, args.end());
    for (const std::string& word : selected_->app->remaining(false)) {
        if (word.starts_with("-") && word.size() > 1) {
            return UsageError(io, "Unknown option " + OptionForError(commandArgs_, word) + ".");
        }
        if (!selected_->app->get_options([](const CLI::Option* o) { return o->get_positional(); }).empty()) {
            return UsageError(io, "Only one camera address may be given.");
        }
        return UsageError(io, "Unexpected argument " + WordForError(commandArgs_, word) + ".");
    }
    return std::nullopt;
}

int CommandLine::Run(std::span<const std::string> args, CliIo& io) {
    if (const std::optional<int> ended = Parse(args, io)) return *ended;
    return selected_->body->Run(io, commandArgs_);
}

int RunCommandLine(std::span<const std::string> args, CliIo& io) {
    CommandLine commandLine;
    return commandLine.Run(args, io);
}

}  // namespace qrv::cli
