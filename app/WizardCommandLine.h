#pragma once
// The wizard's command line (--time-scale, --parallel, --quit-after-first-page,
// --help), declared in WizardCommandLine.cpp.

#include <optional>
#include <string>
#include <vector>

#include "engine/Timing.h"

namespace qrv {

struct WizardCommandLine {
    Timing timing = Timing::Production();
    int parallelJobs = 2;
    bool quitAfterFirstPage = false;
    bool help = false;
};

// Nothing, with `error` set, when an option is unknown or its value is wrong.
// Arguments that do not start with "--" are Qt's and are left to it; "--opt=value"
// and "--opt value" are the same.
std::optional<WizardCommandLine> ParseWizardCommandLine(const std::vector<std::string>& arguments,
                                                        std::string& error);

// The --help text, made from the same declarations that parse the options.
std::string WizardUsage();

}  // namespace qrv
