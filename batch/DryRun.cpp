#include "batch/DryRun.h"

#include <algorithm>
#include <thread>

#include "batch/ListTexts.h"
#include "engine/ManualProbe.h"
#include "platform/HeadlessOwner.h"
#include "platform/Text.h"
#include "serial_protect/SerialRules.h"

namespace qrv {

namespace {

const char* SettingsPhrase(SetupDataMode settings) {
    switch (settings) {
    case SetupDataMode::Discard:
        return "settings discarded";
    case SetupDataMode::Retain:
        return "settings retained";
    case SetupDataMode::Backup:
        return "settings retained and backed up";
    }
    return "";
}

// The probe tells its refusals through message boxes; the last one says why.
std::string LastBoxText(const HeadlessOwner& owner, const char* otherwise) {
    const std::vector<MessageBox> boxes = owner.Boxes();
    return boxes.empty() || boxes.back().text.empty() ? std::string(otherwise) : ToUtf8(boxes.back().text);
}

}  // namespace

const char* DryRunVerdictName(DryRunVerdict verdict) {
    switch (verdict) {
    case DryRunVerdict::Upgrade:
        return "upgrade";
    case DryRunVerdict::Skip:
        return "skip";
    case DryRunVerdict::Refuse:
        return "refuse";
    }
    return "";
}

DryRunCamera CheckCameraForDryRun(const FirmwarePackage& package, const CameraAddress& address,
                                  const std::string& credentials, const Timing& timing, bool skipCurrent,
                                  std::stop_token stop) {
    DryRunCamera camera;
    camera.address = address;
    // An owner of the check's own: its boxes are this camera's reasons, and
    // nothing is shown or asked.
    HeadlessOwner owner;
    const ProbeResult probe = ProbeManualTarget(owner, package, address.Text8(), credentials, timing, stop);
    camera.model = probe.model;
    camera.serial = probe.serial;
    camera.version = probe.versionBefore;
    camera.emergency = probe.emergency;
    camera.slot = probe.slot;
    if (stop.stop_requested()) {
        camera.reason = "interrupted";
        return camera;
    }
    if (!probe.modelOk) {
        camera.reason = LastBoxText(owner, "the camera did not answer as a supported model");
        return camera;
    }
    if (!ns_serial_protect::IsSerialAllowed(probe.serial)) {
        camera.reason = "its serial number " + ToUtf8(probe.serial) + " is excluded from this firmware";
        return camera;
    }
    const std::string carried = ToUtf8(WithoutVerPrefix(FromUtf8(package.CarriedVersion())));
    if (skipCurrent && !probe.emergency && ToUtf8(WithoutVerPrefix(probe.versionBefore)) == carried) {
        camera.verdict = DryRunVerdict::Skip;
        return camera;
    }
    if (!probe.ok) {
        camera.reason = LastBoxText(owner, "the administrator account could not be checked");
        return camera;
    }
    camera.verdict = DryRunVerdict::Upgrade;
    return camera;
}

std::vector<DryRunCamera> CheckCamerasForDryRun(const FirmwarePackage& package,
                                                const std::vector<CameraAddress>& cameras,
                                                const std::string& credentials, const Timing& timing,
                                                bool skipCurrent, int parallel, std::stop_token stop) {
    std::vector<DryRunCamera> results(cameras.size());
    const std::size_t width = static_cast<std::size_t>(std::max(1, parallel));
    for (std::size_t first = 0; first < cameras.size(); first += width) {
        std::vector<std::jthread> workers;
        for (std::size_t i = first; i < std::min(cameras.size(), first + width); ++i) {
            workers.emplace_back([&, i] {
                results[i] = CheckCameraForDryRun(package, cameras[i], credentials, timing, skipCurrent, stop);
            });
        }
    }
    return results;
}

std::string DryRunLine(const DryRunCamera& camera, const std::string& carriedVersion, SetupDataMode settings) {
    const std::string address = camera.address.Text8();
    const std::string version = ToUtf8(WithoutVerPrefix(camera.version));
    switch (camera.verdict) {
    case DryRunVerdict::Upgrade:
        return "would upgrade " + address + ": " + version + (camera.emergency ? " (emergency state)" : "") +
               " -> " + carriedVersion + ", " + SettingsPhrase(settings);
    case DryRunVerdict::Skip:
        return "would skip " + address + ": already " + version;
    case DryRunVerdict::Refuse:
        break;
    }
    return "would refuse " + address + ": " + camera.reason;
}

}  // namespace qrv
