#include "app/WizardCommandLine.h"

#include <CLI/CLI.hpp>

#include "batch/BatchRun.h"

namespace qrv {

namespace {

// The options, declared once: both parsing and --help come from here. The
// values are read as text and checked by the same functions the command line
// uses, so that the wizard and the command line take the same numbers.
struct Declared {
    std::string timeScale;
    std::string parallel;
    bool quitAfterFirstPage = false;
};

void Declare(CLI::App& app, Declared& values) {
    app.description("The upgrade wizard. Options that begin with a single '-' (-platform NAME, -style NAME, ...) "
                    "are Qt's.");
    app.add_option("--time-scale", values.timeScale, "multiply every pause, time-out and timer period by S (e.g. 0.01)")
        ->type_name("S")
        ->check(CLI::Validator(
            [](std::string& text) {
                return ParseTimeScale(text) ? std::string() : "wants a positive number, not '" + text + "'";
            },
            ""));
    app.add_option("--parallel", values.parallel,
                   "let the automatic mode run N jobs at once (1..256, default 2); still one save or upload at a time")
        ->type_name("N")
        ->check(CLI::Validator(
            [](std::string& text) {
                return ParseParallelJobs(text) ? std::string()
                                               : "wants a number of jobs from 1 to 256, not '" + text + "'";
            },
            ""));
    app.add_flag("--quit-after-first-page", values.quitAfterFirstPage,
                 "close the wizard cleanly once its first page is shown");
    // Qt's own options stay on the command line for QApplication.
    app.allow_extras();
}

}  // namespace

std::string WizardUsage() {
    Declared values;
    CLI::App app{"", "qrv-firmware-upgrade"};
    Declare(app, values);
    return app.help();
}

std::optional<WizardCommandLine> ParseWizardCommandLine(const std::vector<std::string>& arguments,
                                                        std::string& error) {
    Declared values;
    CLI::App app{"", "qrv-firmware-upgrade"};
    Declare(app, values);
    WizardCommandLine line;
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());  // CLI11 takes them last first
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        line.help = true;
        return line;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return std::nullopt;
    }
    for (const std::string& extra : app.remaining()) {
        if (extra.rfind("--", 0) == 0) {
            error = "The following argument was not expected: " + extra;
            return std::nullopt;
        }
    }
    line.quitAfterFirstPage = values.quitAfterFirstPage;
    if (!values.parallel.empty()) line.parallelJobs = *ParseParallelJobs(values.parallel);
    if (!values.timeScale.empty()) line.timing = Timing::Production().Scaled(*ParseTimeScale(values.timeScale));
    return line;
}

}  // namespace qrv
