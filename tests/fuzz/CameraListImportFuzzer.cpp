// Any text handed to the camera-list import, as a file or the clipboard gives
// it: nothing may crash or read past the text; an accepted list holds at most
// 256 cameras with usable ports, each written and read back unchanged by the
// address type; a refused one shows exactly one box and keeps the entries of
// the list loaded before it.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "batch/CameraListImporter.h"
#include "platform/HeadlessOwner.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qrv::HeadlessOwner owner;
    qrv::CameraListImporter importer(owner);
    Check(importer.LoadFromBytes("10.0.0.1\r\n10.0.0.2:1080\r\n"));
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool loaded = importer.LoadFromBytes(text);
    Check(owner.Boxes().size() == (loaded ? 0u : 1u));
    const int count = importer.EntryCount();
    Check(count >= 0 && count <= qrv::CameraListImporter::kMaxEntries);
    Check(!importer.EntryAt(count) && !importer.EntryAt(-1));
    if (!loaded) {
        Check(count == 2 && importer.EntryAt(1)->Text8() == "10.0.0.2:1080");
        return 0;
    }
    Check(importer.ErrorText().empty());
    for (int i = 0; i < count; ++i) {
        const qrv::CameraAddress entry = *importer.EntryAt(i);
        Check(qrv::IsValidPort(entry.port));
        Check(qrv::CameraAddress::Parse(entry.Text8()) == entry);
    }
    return 0;
}
