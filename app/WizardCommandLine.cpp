#include "app/WizardCommandLine.h"

namespace qrv {

std::optional<WizardCommandLine> ParseWizardCommandLine(const std::vector<std::string>& arguments,
                                                        std::string& error) {
    WizardCommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        // Qt reads its own options (-platform NAME, -style NAME, ...).
        if (argument.rfind("--", 0) != 0 && argument != "-h") continue;
        if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--quit-after-first-page") {
            line.quitAfterFirstPage = true;
        } else if (argument == "--time-scale" || argument.rfind("--time-scale=", 0) == 0) {
            std::string value;
            if (argument == "--time-scale") {
                if (i + 1 >= arguments.size()) {
                    error = "--time-scale needs a value";
                    return std::nullopt;
                }
                value = arguments[++i];
            } else {
                value = argument.substr(std::string("--time-scale=").size());
            }
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
