#include "engine/ManualProbe.h"

#include "engine/CameraClient.h"
#include "engine/EngineMessages.h"
#include "engine/ReplyItem.h"
#include "platform/Text.h"

namespace qrv {

ProbeResult ProbeManualTarget(OwnerPort& owner, const FirmwarePackage& package, const std::string& address,
                              const std::string& credentials, const Timing& timing, std::stop_token stop) {
    ProbeResult result;
    CameraClient client(owner, address, credentials, package.Models(), 0, nullptr, nullptr, nullptr, {}, timing);

    // An unreachable camera gives the empty reply and so the model message.
    const std::u16string system = client.Inquire("inq=system", timing.inquiryTimeout, stop);
    // A probe called off (the window is going) tells the user nothing.
    if (stop.stop_requested()) return result;
    if (!client.ReadIdentity(system, result.model, result.serial, true)) return result;
    result.modelOk = true;
    result.docType = ReadDocType(system);
    result.slot = package.SelectVariant(ToNarrow(result.docType));
    result.versionBefore = client.VersionBefore();
    result.emergency = client.IsEmergency();
    if (result.emergency) {
        result.ok = true;
        return result;
    }

    const std::u16string user = client.Inquire("inq=user", timing.inquiryTimeout, stop);
    if (stop.stop_requested()) return result;
    if (user.empty()) {
        ShowBox(owner, MessageText(kMsgCameraNotFound, owner), kMsgInformation, BoxIcon::Exclamation);
        return result;
    }
    result.ok = client.CheckAdministrator(user);
    result.admin = result.ok ? ProbeResult::Admin::Ok : ProbeResult::Admin::Refused;
    return result;
}

}  // namespace qrv
