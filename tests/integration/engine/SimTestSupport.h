#pragma once
// What the engine's integration tests share: the real firmware package, scaled
// timing, the simulated fleet and a headless owner that runs the job's timers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <sstream>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/TestFolder.h"
#include "engine/CameraClient.h"
#include "engine/FirmwarePackage.h"
#include "engine/Timing.h"
#include "platform/Files.h"
#include "platform/HeadlessOwner.h"
#include "platform/Text.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestEnvironment.h"

namespace qrv::test {

// Simulator and program run with the same time scale.
inline constexpr double kScale = 0.01;
inline const std::string kAdminCredentials = "YWRtaW46YWRtaW4=";  // admin:admin

inline Timing FastTiming() { return Timing::Production().Scaled(kScale); }

inline const FirmwarePackage& Package() {
    static const FirmwarePackage package = [] {
        FirmwarePackage p;
        p.LoadAll();
        return p;
    }();
    return package;
}

// A camera line of the fleet file: the defaults below, with `extra` settings
// ("key=value ...") replacing them; fault= and user= may repeat.
inline std::string Camera(const std::string& address, const std::string& extra = "") {
    std::vector<std::pair<std::string, std::string>> settings = {
        {"model", "QRV-K7"}, {"serial", "100200"}, {"mac", "08:00:23:00:00:01"}, {"version", "1.20"},
        {"newversion", "1.30"}, {"admin", "admin:admin"}};
    std::istringstream words(extra);
    for (std::string word; words >> word;) {
        const size_t eq = word.find('=');
        const std::string key = word.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : word.substr(eq + 1);
        auto same = std::find_if(settings.begin(), settings.end(), [&](const auto& kv) { return kv.first == key; });
        if (same != settings.end() && key != "fault" && key != "user") {
            same->second = value;
        } else {
            settings.emplace_back(key, value);
        }
    }
    std::string line = address;
    for (const auto& [key, value] : settings) line += " " + key + "=" + value;
    return line + "\n";
}

// A folder of its own for the saved configurations of one test.
struct ConfigFolder {
    std::filesystem::path root;
    ConfigFolder() {
        root = FreshTestFolder("qrv-it");
        SetEnvironment("ProgramFiles", root.string());
    }
    ~ConfigFolder() { std::filesystem::remove_all(root); }
    // Every .cfg file below the root.
    std::vector<std::filesystem::path> Files() const {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
        return files;
    }
};

// The system's text for a file that is not there, as the program words it.
inline std::string NoSuchFileText() {
    (void)ReadFileBytes((std::filesystem::temp_directory_path() / "qrv-there-is-no-such-file").string());
    return LastFileError();
}

inline std::vector<SimEvent> EventsOf(const SimProcess& sim, const std::string& kind, const std::string& camera) {
    std::vector<SimEvent> out;
    for (const SimEvent& event : sim.Events()) {
        if (event.kind == kind && event.camera == camera) out.push_back(event);
    }
    return out;
}

inline std::vector<SimEvent> RequestsTo(const SimProcess& sim, const std::string& camera, const std::string& path) {
    std::vector<SimEvent> out;
    for (const SimEvent& event : EventsOf(sim, "request", camera)) {
        if (event.path == path) out.push_back(event);
    }
    return out;
}

inline std::vector<SimEvent> Verdicts(const SimProcess& sim, const std::string& camera, const std::string& what) {
    std::vector<SimEvent> out;
    for (const SimEvent& event : EventsOf(sim, "verdict", camera)) {
        if (event.what == what) out.push_back(event);
    }
    return out;
}

}  // namespace qrv::test
