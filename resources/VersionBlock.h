#pragma once
// The program's own version block: what a file-properties view shows and what
// the wizard reads at start (its title and the SpecialBuild suffix of the
// carried firmware version). Fixed when the build is configured.

#include <string_view>

namespace qrv {

struct VersionBlock {
    std::string_view fileDescription;  // the wizard window's title
    std::string_view fileVersion;      // "1.30.0"
    std::string_view productName;
    // Set with -DQRV_SPECIAL_BUILD=...; empty for a regular build.
    std::string_view specialBuild;
};

const VersionBlock& ProgramVersionBlock();

}  // namespace qrv
