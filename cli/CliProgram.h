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
    CliProgram(CliIo& io, bool assumeYes);

    CliIo& io;
    CliOwner owner;
    FirmwarePackage package;
};

// Runs one discovery window of `seconds` into `table`: the request at the
// start, again at half time, the end at `seconds`, as the wizard's window,
// on every interface or on the one of `scope`. Discovery's notes (an
// interface left out, a request not sent there) go to the error stream.
void RunDiscoveryWindow(CliProgram& program, DiscoveryTable& table, double seconds,
                        const DiscoveryScope& scope = {});

}  // namespace qrv::cli
