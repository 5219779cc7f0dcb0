#include "cli/CliProgram.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "discovery/DiscoveryWindow.h"
#include "engine/Timing.h"
#include "serial_protect/SerialRules.h"

namespace qrv::cli {

CliProgram::CliProgram(CliIo& io, bool assumeYes) : io(io), owner(io, assumeYes), package(EmbeddedResources(), &owner) {
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
    for (const std::string& note : window.Service().Notes()) program.io.Err(note);
}

}  // namespace qrv::cli
