#pragma once
// A dry run of a batch or of a manual upgrade: each camera is asked what a
// run would ask it before its job starts (model, serial rule, version,
// emergency state, administrator account, DocType and so the image it would
// get), and nothing is sent that changes it: no configuration save, no
// upload, no restore. Only inq=system and inq=user go out.

#include <stop_token>
#include <string>
#include <vector>

#include "engine/CameraAddress.h"
#include "engine/FirmwarePackage.h"
#include "engine/SetupDataMode.h"
#include "engine/Timing.h"

namespace qrv {

enum class DryRunVerdict { Upgrade, Skip, Refuse };

struct DryRunCamera {
    CameraAddress address;
    std::u16string mac;            // as discovery gave it; empty for a camera given by address
    std::u16string model;
    std::u16string serial;
    std::u16string version;        // as the camera reports it ("ver1.20", "unknown" in its emergency state)
    bool emergency = false;
    int slot = 0;                  // the firmware image its DocType selects
    DryRunVerdict verdict = DryRunVerdict::Refuse;
    std::string reason;            // why it would be refused: the text a run would have shown
};

// "upgrade", "skip", "refuse": the records' name of a verdict.
const char* DryRunVerdictName(DryRunVerdict verdict);

// Asks one camera as a run would before its job starts. With `skipCurrent`, a
// camera that runs `carriedVersion` (without "ver") would be skipped.
// Blocking: up to two inquiries of the inquiry time-out each.
DryRunCamera CheckCameraForDryRun(const FirmwarePackage& package, const CameraAddress& address,
                                  const std::string& credentials, const Timing& timing, bool skipCurrent,
                                  std::stop_token stop = {});

// CheckCameraForDryRun for every camera, at most `parallel` at once (each
// check only reads); the results in the order of `cameras`.
std::vector<DryRunCamera> CheckCamerasForDryRun(const FirmwarePackage& package,
                                                const std::vector<CameraAddress>& cameras,
                                                const std::string& credentials, const Timing& timing,
                                                bool skipCurrent, int parallel, std::stop_token stop = {});

// The line a dry run prints for a camera, the same as its record's result:
//   would upgrade 127.0.0.2: 1.20 -> 1.30, settings retained
//   would skip 127.0.0.3: already 1.30
//   would refuse 127.0.0.4: <reason>
std::string DryRunLine(const DryRunCamera& camera, const std::string& carriedVersion, SetupDataMode settings);

}  // namespace qrv
