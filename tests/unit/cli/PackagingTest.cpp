// The man page and the bash completion against the options the commands
// declare: every option of every command is in the man page's synopsis of
// that command and in what the completion offers for it, the completion
// offers nothing undeclared, and it completes no option in place of a value.

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>

#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli/CliCommand.h"
#include "cli/CommandLine.h"

namespace qrv::cli {
namespace {

std::string ReadSource(const std::string& path) {
    std::ifstream file(std::string(QRV_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

using Names = std::set<std::string>;

// The long names a command declared; with `values`, only those taking a value.
Names Declared(const CLI::App& app, bool valuesOnly = false) {
    Names names;
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_positional()) continue;
        if (valuesOnly && option->get_expected_max() == 0) continue;
        for (const std::string& name : option->get_lnames()) names.insert("--" + name);
    }
    return names;
}

Names Words(const std::string& text) {
    Names words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.insert(word);
    return words;
}

// "--time-scale" as roff writes it: "\-\-time\-scale".
std::string Roff(const std::string& name) {
    std::string text;
    for (const char c : name) text += c == '-' ? std::string("\\-") : std::string(1, c);
    return text;
}

// Whether `text` holds `lead` and then the roff name of the option `name`, as
// a whole word: "\\-\\-password" is not in "\\-\\-password\\-file".
bool HasOption(const std::string& text, const std::string& lead, const std::string& name) {
    const std::string wanted = lead + Roff(name);
    for (std::size_t at = text.find(wanted); at != std::string::npos; at = text.find(wanted, at + 1)) {
        const std::size_t end = at + wanted.size();
        if (end == text.size() || (text[end] != '\\' && !std::isalnum(static_cast<unsigned char>(text[end])))) {
            return true;
        }
    }
    return false;
}

TEST(Packaging, TheManPageSynopsisOfEachCommandHasEveryOptionItDeclared) {
    const std::string page = ReadSource("packaging/man/qrv-firmware-upgrade-cli.1.in");
    ASSERT_FALSE(page.empty());
    const std::size_t description = page.find("\n.SH DESCRIPTION");
    ASSERT_NE(description, std::string::npos);
    const CommandLine line;
    for (const CliCommand& command : CommandTable::All()) {
        const std::string head = "\n.B qrv-firmware-upgrade-cli " + std::string(command.name) + "\n";
        const std::size_t start = page.find(head);
        ASSERT_LT(start, description) << command.name << " has no synopsis";
        const std::string synopsis = page.substr(start, page.find("\n.PP", start + 1) - start);
        for (const std::string& name : Declared(*line.Command(command.name))) {
            if (name == "--help") continue;  // the synopsis' own line: COMMAND --help
            EXPECT_TRUE(HasOption(synopsis, "", name))
                << command.name << ": " << name << " is not in the man page's synopsis";
            // And described in the OPTIONS section.
            const std::string options = page.substr(description);
            EXPECT_TRUE(HasOption(options, ".TP\n.B ", name) || HasOption(options, ".TP\n.BI ", name))
                << name << " is not described in the man page";
        }
    }
    EXPECT_NE(page.find(".BR \\-\\-help \" | \" \\-\\-version"), std::string::npos);
}

TEST(Packaging, TheCompletionOffersEachCommandsDeclaredOptionsAndNothingElse) {
    const std::string script = ReadSource("packaging/completion/qrv-firmware-upgrade-cli");
    ASSERT_FALSE(script.empty());
    const CommandLine line;
    // The words offered before a command.
    const std::smatch top = [&] {
        std::smatch match;
        std::regex_search(script, match, std::regex(R"re(compgen -W "([^"]*)" -- "\$cur")re"));
        return match;
    }();
    ASSERT_FALSE(top.empty());
    Names program = Declared(line.App());
    for (const CliCommand& command : CommandTable::All()) program.insert(std::string(command.name));
    EXPECT_EQ(Words(top[1].str()), program);
    // Each command's options: `name) options="..." ;;`, "--help" added to all.
    const std::regex row(R"re((\w+)\) options="([^"]*)")re");
    Names seen;
    for (auto it = std::sregex_iterator(script.begin(), script.end(), row); it != std::sregex_iterator(); ++it) {
        const std::string name = (*it)[1].str();
        const CLI::App* command = line.Command(name);
        ASSERT_NE(command, nullptr) << "the completion knows a command '" << name << "'";
        Names offered = Words((*it)[2].str());
        offered.insert("--help");
        EXPECT_EQ(offered, Declared(*command)) << name;
        seen.insert(name);
    }
    for (const CliCommand& command : CommandTable::All()) {
        EXPECT_TRUE(seen.count(std::string(command.name))) << command.name << " has no completion";
    }
    // Every option that takes a value is a case of `$prev`, so that no option
    // is offered where its value goes.
    const std::size_t from = script.find("case $prev in");
    const std::size_t to = script.find("esac", from);
    ASSERT_NE(from, std::string::npos);
    Names valueCases;
    const std::string cases = script.substr(from, to - from);
    const std::regex pattern(R"re(\n\s*(--[^)\n]*)\))re");
    for (auto it = std::sregex_iterator(cases.begin(), cases.end(), pattern); it != std::sregex_iterator(); ++it) {
        std::string names = (*it)[1].str();
        for (char& c : names) c = c == '|' ? ' ' : c;
        for (const std::string& name : Words(names)) valueCases.insert(name);
    }
    Names values;
    for (const CliCommand& command : CommandTable::All()) {
        for (const std::string& name : Declared(*line.Command(command.name), true)) values.insert(name);
    }
    EXPECT_EQ(valueCases, values);
}

}  // namespace
}  // namespace qrv::cli
