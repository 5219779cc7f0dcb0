#include "cli/CliProgram.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "discovery/DiscoveryWindow.h"
#include "engine/Timing.h"
#include "serial_protect/SerialRules.h"

namespace qrv::cli {

CliProgram::CliProgram(bool assumeYes) : owner(assumeYes), package(EmbeddedResources(), &owner) {
    package.LoadAll();
    ns_serial_protect::InitSerialRules();
}

void RunDiscoveryWindow(CliProgram& program, DiscoveryTable& table, double seconds, const DiscoveryScope& scope) {
    Timing timing = Timing::Production();
    const auto half = std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 500.0)));
    timing.discoveryTick = half;
    DiscoveryWindow window(table, program.owner, timing, scope);
    program.owner.SetTimerHandler([&window](int id) { window.OnTimer(id); });
    window.Begin();
    program.owner.RunUntil([&window] { return window.HasEnded(); }, 2 * half + std::chrono::seconds(10));
    window.StopAndWait();
    program.owner.SetTimerHandler(nullptr);
    for (const std::string& note : window.Service().Notes()) std::fprintf(stderr, "%s\n", note.c_str());
}

void PrintLine(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace qrv::cli
