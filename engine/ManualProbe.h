#pragma once
// The manual target probe: is the camera at this address a supported model,
// which version does it run, which image suits it, and do the credentials
// belong to its administrator? Shows its refusals through the owner port.

#include <stop_token>
#include <string>

#include "engine/FirmwarePackage.h"
#include "engine/Timing.h"
#include "platform/OwnerPort.h"

namespace qrv {

struct ProbeResult {
    enum class Admin { NotAsked, Ok, Refused };

    bool ok = false;          // the camera may be upgraded as far as the probe can tell
    bool modelOk = false;     // answered inq=system with a supported model
    std::u16string model;
    std::u16string serial;
    std::u16string versionBefore;  // "ver" + version, or "unknown" in emergency state
    std::u16string docType;
    int slot = 0;             // firmware image chosen by the DocType
    bool emergency = false;   // administrator test skipped
    Admin admin = Admin::NotAsked;
};

// Blocking (two inquiries of up to the inquiry time-out each): run it off the
// owner's thread where that thread must stay responsive.
ProbeResult ProbeManualTarget(OwnerPort& owner, const FirmwarePackage& package, const std::string& address,
                              const std::string& credentials, const Timing& timing, std::stop_token stop = {});

}  // namespace qrv
