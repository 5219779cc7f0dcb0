#pragma once
// What every camera command sets up before it talks to a camera: the owner,
// the firmware package and the serial rules.

#include <memory>

#include "cli/CliOwner.h"
#include "discovery/DiscoveryRoutes.h"
#include "discovery/DiscoveryTable.h"
#include "engine/FirmwarePackage.h"

namespace qrv::cli {

struct CliProgram {
    explicit CliProgram(bool assumeYes);

    CliOwner owner;
    FirmwarePackage package;
};

// Runs one discovery window of `seconds` into `table`: the request at the
// start, again at half time, the end at `seconds`, as the wizard's window,
// on every interface or on the one of `scope`. Discovery's notes (an
// interface left out, a request not sent there) go to stderr.
void RunDiscoveryWindow(CliProgram& program, DiscoveryTable& table, double seconds,
                        const DiscoveryScope& scope = {});

// "Caption: text" lines are the boxes; this prints the other lines on stdout.
void PrintLine(const std::string& text);

}  // namespace qrv::cli
