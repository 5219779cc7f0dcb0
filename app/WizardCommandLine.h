#pragma once
// The wizard's command line:
//   --time-scale S           every duration times S (simulated cameras, demos)
//   --parallel N             how many cameras the automatic mode upgrades at once
//   --quit-after-first-page  close as soon as the first page is on screen
//   --help

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
// Arguments that do not start with "--" are Qt's and are left to it.
std::optional<WizardCommandLine> ParseWizardCommandLine(const std::vector<std::string>& arguments,
                                                        std::string& error);

inline constexpr const char* kWizardUsage =
    "usage: qrv-firmware-upgrade [--time-scale S] [--parallel N] [--quit-after-first-page]\n"
    "  --time-scale S           multiply every pause, time-out and timer period by S (e.g. 0.01)\n"
    "  --parallel N             let the automatic mode run N jobs at once (1..256, default 2);\n"
    "                           still one save or upload at a time\n"
    "  --quit-after-first-page  close the wizard cleanly once its first page is shown\n";

}  // namespace qrv
