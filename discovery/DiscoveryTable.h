#pragma once
// The cameras that answered the discovery request: 256 fixed slots filled from
// slot 0 upward and keyed by MAC text, plus the stop handshake of the receive
// thread. The receive thread writes; any thread may read at any time and sees
// every slot whole (before or after one reply's update, never half of it).

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/DiscoveredCamera.h"

namespace qrv {

class DiscoveryTable {
public:
    static constexpr int kSlots = 256;
    static constexpr int kMaxModels = 10;

    enum class StoreResult { Added, Refreshed, Full, NoMac };

    explicit DiscoveryTable(std::vector<std::string> models = {});
    DiscoveryTable(const DiscoveryTable&) = delete;
    DiscoveryTable& operator=(const DiscoveryTable&) = delete;

    // The supported model names (the first 10 at most are consulted).
    void SetModels(std::vector<std::string> models);
    // Exact comparison with the model names in order, up to the first empty
    // name and at most 10 of them.
    bool IsSupportedModel(std::string_view model) const;

    // Writes one reply into the slot of its MAC, or into the first free slot.
    // A reply without a MAC, or from a 257th camera, is not stored.
    StoreResult Store(const DiscoveredCamera& reply);

    // Copies of the used slots, in slot order, taken under the table's lock.
    std::vector<DiscoveredCamera> Snapshot() const;
    int Count() const;

    // The stop handshake of the receive thread. The owner asks it to stop; the
    // thread, as its last act, clears the stop flag and its running mark in one
    // step, so an owner never waits for a flag that nobody will clear.
    void MarkReceiving();
    void RequestStop();
    bool StopRequested() const { return stop_.load(); }
    void MarkStopped();
    bool IsReceiving() const { return receiving_.load(); }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> models_;
    int count_ = 0;
    std::array<DiscoveredCamera, kSlots> cameras_{};
    std::atomic<bool> stop_{false};
    std::atomic<bool> receiving_{false};
};

}  // namespace qrv
