#pragma once
// What every camera command sets up before it talks to a camera: the owner,
// the firmware package and the serial rules.

#include <memory>

#include "cli/CliOwner.h"
#include "engine/FirmwarePackage.h"

namespace qrv::cli {

struct CliProgram {
    explicit CliProgram(bool assumeYes);

    CliOwner owner;
    FirmwarePackage package;
};

// "Caption: text" lines are the boxes; this prints the other lines on stdout.
void PrintLine(const std::string& text);

}  // namespace qrv::cli
