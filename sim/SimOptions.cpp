#include "sim/SimOptions.h"

#include <cmath>

#include <CLI/CLI.hpp>

namespace qrv::sim {

namespace {

void Declare(CLI::App& app, SimOptions& options) {
    app.description("A fleet of simulated cameras: HTTP and UDP discovery, with scaled time.");
    app.footer("Run it inside scripts/run-in-private-network. Prints READY when every camera listens;\n"
               "SIGTERM or SIGINT stop it.");
    CLI::Option* fleet = app.add_option("--fleet", options.fleetFile, "cameras described one per line (see sim/README.md)")
                             ->type_name("FILE");
    CLI::Option* cameras = app.add_option("--cameras", options.cameras, "N ordinary cameras (1..1024) on 127.0.0.2 upward")
                               ->type_name("N")
                               ->check(CLI::Range(1, 1024));
    fleet->excludes(cameras);
    app.add_option("--time-scale", options.timeScale, "multiply every simulated duration by S (0.01 = 100 times faster)")
        ->type_name("S")
        ->check(CLI::PositiveNumber);
    app.add_option("--events", options.eventsFile, "write one JSON line per event")->type_name("FILE");
    app.add_option("--capture", options.captureDir, "keep the raw bytes of every request under DIR")->type_name("DIR");
}

}  // namespace

std::string Usage() {
    SimOptions options;
    CLI::App app{"", "qrv-camera-sim"};
    Declare(app, options);
    return app.help();
}

bool ParseOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
    options = SimOptions{};
    CLI::App app{"", "qrv-camera-sim"};
    Declare(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return true;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    if (!std::isfinite(options.timeScale)) {  // "inf" and "nan" read as numbers
        error = "--time-scale: " + std::to_string(options.timeScale) + " is no positive number";
        return false;
    }
    if (options.fleetFile.empty() == (options.cameras == 0)) {
        error = "give exactly one of --fleet FILE and --cameras N";
        return false;
    }
    return true;
}

}  // namespace qrv::sim
