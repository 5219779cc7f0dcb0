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

inline constexpr const char* kUsage =
    "usage: qrv-camera-sim (--fleet FILE | --cameras N) [--time-scale S] [--events FILE] [--capture DIR] [--help]\n"
    "  --fleet FILE      cameras described one per line (see sim/README.md)\n"
    "  --cameras N       N ordinary cameras (1..1024) on 127.0.0.2 upward\n"
    "  --time-scale S    multiply every simulated duration by S (0.01 = 100 times faster)\n"
    "  --events FILE     write one JSON line per event\n"
    "  --capture DIR     keep the raw bytes of every request under DIR\n"
    "Run it inside scripts/run-in-private-network. Prints READY when every camera listens;\n"
    "SIGTERM or SIGINT stop it.\n";

// Returns false with a message for a command line that cannot be run.
bool ParseOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);

}  // namespace qrv::sim
