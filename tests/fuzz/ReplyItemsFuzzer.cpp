// Any inquiry reply, as the camera's bytes arrive: the key=value items are
// read as they stand in the reply (a value runs to the next '&'), and the
// checks on it (model, identity, administrator with its %3D form) never
// crash and never accept what the reply does not say.
//
// Input: the first byte picks the administrator account the client holds
// (so that a match is reachable from the corpus), the rest is the reply.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/CameraClient.h"
#include "engine/ReplyItem.h"
#include "platform/HeadlessOwner.h"
#include "platform/Text.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// The value as the reply holds it: after the first `key`, up to '&' or the end.
void CheckItem(std::u16string_view reply, std::u16string_view key) {
    const std::optional<std::u16string> value = qrv::FindItem(reply, key);
    const std::size_t at = reply.find(key);
    Check(value.has_value() == (at != std::u16string_view::npos));
    if (!value) return;
    Check(value->find(u'&') == std::u16string::npos);
    Check(reply.substr(at + key.size(), value->size()) == *value);
    const std::size_t after = at + key.size() + value->size();
    Check(after == reply.size() || reply[after] == u'&');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const qrv::ModelList models{"QRV-K7", "QRV-K7N", "QRV-K7P"};
    const std::string credentials = data[0] % 2 == 0 ? qrv::CameraClient::Base64Encode("admin:admin")
                                                     : qrv::CameraClient::Base64Encode("root:x");
    const std::u16string reply = qrv::ToWide(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    for (std::u16string_view key : {u"ModelName=", u"Serial=", u"SoftVersion=", u"Administrator=", u"MacAddress=",
                                    u"DocType=", u"IpAddress=", u"HttpPort="}) {
        CheckItem(reply, key);
    }
    if (const auto mac = qrv::ReadMacAddress(reply)) {
        Check(!mac->empty() && mac->find(u'-') == std::u16string::npos);
    }

    qrv::HeadlessOwner owner;
    std::atomic<int> counter{0};
    qrv::CameraClient client(owner, "127.0.0.2", credentials, models, 1);
    client.SetProgress(nullptr, &counter);  // a batch's client: refusals set stages, no boxes
    const std::u16string model = qrv::FindItem(reply, u"ModelName=").value_or(u"");
    const bool supported = model == u"QRV-K7" || model == u"QRV-K7N" || model == u"QRV-K7P";
    Check(client.CheckModel(reply, false) == supported);
    std::u16string readModel;
    std::u16string serial;
    Check(client.ReadIdentity(reply, readModel, serial, false) == supported);
    if (supported) Check(readModel == model && serial == qrv::FindItem(reply, u"Serial=").value_or(u""));
    if (client.CheckAdministrator(reply)) {
        // Only a reply naming our own account, in its %3D form or plain, passes.
        std::u16string named = qrv::FindItem(reply, u"Administrator=").value_or(u"");
        for (std::size_t at; (at = named.find(u"%3D")) != std::u16string::npos;) named.replace(at, 3, u"=");
        Check(named == qrv::ToWide(credentials));
        Check(reply.find(u"401 Unauthorized") == std::u16string::npos);
    }
    Check(owner.Boxes().empty());
    return 0;
}
