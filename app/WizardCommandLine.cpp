#include "app/WizardCommandLine.h"

#include "batch/BatchRun.h"

namespace qrv {

namespace {

// "--name VALUE" or "--name=VALUE" at arguments[i]: true when the argument is
// this option; `value` is set, or `error` when the value is missing.
bool OptionWithValue(const std::vector<std::string>& arguments, std::size_t& i, const std::string& name,
                     std::string& value, std::string& error) {
    const std::string& argument = arguments[i];
    if (argument.rfind(name + "=", 0) == 0) {
        value = argument.substr(name.size() + 1);
        return true;
    }
    if (argument != name) return false;
    if (i + 1 >= arguments.size()) {
        error = name + " needs a value";
    } else {
        value = arguments[++i];
    }
    return true;
}

}  // namespace

std::optional<WizardCommandLine> ParseWizardCommandLine(const std::vector<std::string>& arguments,
                                                        std::string& error) {
    WizardCommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        // Qt reads its own options (-platform NAME, -style NAME, ...).
        if (argument.rfind("--", 0) != 0 && argument != "-h") continue;
        std::string value;
        if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--quit-after-first-page") {
            line.quitAfterFirstPage = true;
        } else if (OptionWithValue(arguments, i, "--parallel", value, error)) {
            if (!error.empty()) return std::nullopt;
            const std::optional<int> jobs = ParseParallelJobs(value);
            if (!jobs) {
                error = "--parallel wants a number of jobs from 1 to 256, not '" + value + "'";
                return std::nullopt;
            }
            line.parallelJobs = *jobs;
        } else if (OptionWithValue(arguments, i, "--time-scale", value, error)) {
            if (!error.empty()) return std::nullopt;
            const std::optional<double> scale = ParseTimeScale(value);
            if (!scale) {
                error = "--time-scale wants a positive number, not '" + value + "'";
                return std::nullopt;
            }
            line.timing = Timing::Production().Scaled(*scale);
        } else {
            error = "unknown option '" + argument + "'";
            return std::nullopt;
        }
    }
    return line;
}

}  // namespace qrv
