#include "sim/SimOptions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace qrv::sim {

bool ParseOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
    options = SimOptions{};
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;
        }
        if (i + 1 >= argc) {
            error = "missing value after " + std::string(arg);
            return false;
        }
        const std::string_view value = argv[++i];
        if (arg == "--fleet") {
            options.fleetFile = value;
        } else if (arg == "--cameras") {
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), options.cameras);
            if (ec != std::errc() || end != value.data() + value.size() || options.cameras < 1 || options.cameras > 1024) {
                error = "--cameras takes a number from 1 to 1024";
                return false;
            }
        } else if (arg == "--time-scale") {
            const std::string text(value);
            char* end = nullptr;
            options.timeScale = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(options.timeScale > 0) || !std::isfinite(options.timeScale)) {
                error = "--time-scale takes a positive number";
                return false;
            }
        } else if (arg == "--events") {
            options.eventsFile = value;
        } else if (arg == "--capture") {
            options.captureDir = value;
        } else {
            error = "unknown option " + std::string(arg);
            return false;
        }
    }
    if (options.fleetFile.empty() == (options.cameras == 0)) {
        error = "give exactly one of --fleet FILE and --cameras N";
        return false;
    }
    return true;
}

}  // namespace qrv::sim
