#pragma once
// The simulator's command line.
#include <string>

namespace qrv::sim {

struct SimOptions {
    std::string fleetFile;
    int cameras = 0;
    double timeScale = 1.0;
    std::string eventsFile;
    std::string captureDir;
    bool help = false;
};

// The --help text, made from the same declarations that parse the options.
std::string Usage();

// Returns false with a message for a command line that cannot be run.
bool ParseOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);

}  // namespace qrv::sim
