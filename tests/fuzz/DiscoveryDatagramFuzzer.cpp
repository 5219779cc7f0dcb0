// Any datagram, or run of datagrams, handed to the discovery reply handling:
// nothing may crash, read past the receive buffer or overrun the table.
//
// Input: a first byte from 0xF0 up means 240 + (byte - 0xF0) cameras are
// already known, so a run can reach the full table cheaply; the rest is split at 0x03 into datagrams, each
// received into the 1072-byte buffer as the receive thread does.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "discovery/DiscoveryService.h"
#include "discovery/DiscoveryTable.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

template <std::size_t N>
void CheckEnded(const std::array<char, N>& field) {
    Check(field[N - 1] == '\0');
}

void Prefill(qrv::DiscoveryTable& table, int cameras) {
    for (int i = 0; i < cameras; ++i) {
        qrv::DiscoveredCamera camera;
        const std::string mac = "prefill-" + std::to_string(i);
        std::memcpy(camera.mac.data(), mac.data(), mac.size());
        table.Store(camera);
    }
}

void CheckTable(const qrv::DiscoveryTable& table) {
    const auto slots = table.Snapshot();
    Check(slots.size() == static_cast<std::size_t>(table.Count()));
    Check(slots.size() <= qrv::DiscoveryTable::kSlots);
    std::set<std::string_view> macs;
    for (const auto& camera : slots) {
        CheckEnded(camera.model);
        CheckEnded(camera.serial);
        CheckEnded(camera.version);
        CheckEnded(camera.mac);
        Check(!qrv::FieldText(camera.mac).empty());
        Check(macs.insert(qrv::FieldText(camera.mac)).second);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    qrv::DiscoveryTable table({"QRV-K7", "QRV-K7N", "QRV-K7P"});
    qrv::DiscoveryService service(table, nullptr);
    Prefill(table, data[0] >= 0xF0 ? 240 + (data[0] - 0xF0) : 0);
    const std::uint8_t* next = data + 1;
    const std::uint8_t* const end = data + size;
    std::array<std::uint8_t, qrv::DiscoveryService::kDatagramBuffer> buffer;
    while (next < end) {
        const std::uint8_t* stop = std::find(next, end, std::uint8_t{0x03});
        if (stop != end) ++stop;
        const std::size_t length = std::min<std::size_t>(stop - next, buffer.size());
        buffer.fill(0);
        std::memcpy(buffer.data(), next, length);
        service.HandleDatagram(std::span(buffer).first(length));
        next = stop;
    }
    CheckTable(table);
    return 0;
}
