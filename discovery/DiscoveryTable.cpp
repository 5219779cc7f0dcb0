#include "discovery/DiscoveryTable.h"

#include <algorithm>

namespace qrv {

DiscoveryTable::DiscoveryTable(std::vector<std::string> models) : models_(std::move(models)) {}

void DiscoveryTable::SetModels(std::vector<std::string> models) {
    std::lock_guard lock(mutex_);
    models_ = std::move(models);
}

bool DiscoveryTable::IsSupportedModel(std::string_view model) const {
    std::lock_guard lock(mutex_);
    const std::size_t limit = std::min<std::size_t>(models_.size(), kMaxModels);
    for (std::size_t i = 0; i < limit && !models_[i].empty(); ++i) {
        if (models_[i] == model) return true;
    }
    return false;
}

DiscoveryTable::StoreResult DiscoveryTable::Store(const DiscoveredCamera& reply) {
    const std::string_view mac = FieldText(reply.mac);
    // An empty MAC would look like a free slot: such a reply is never shown.
    if (mac.empty()) return StoreResult::NoMac;
    std::lock_guard lock(mutex_);
    // Slots are used contiguously, so the known cameras are slots 0..count-1.
    for (int slot = 0; slot < count_; ++slot) {
        if (FieldText(cameras_[slot].mac) == mac) {
            cameras_[slot] = reply;
            return StoreResult::Refreshed;
        }
    }
    if (count_ >= kSlots) return StoreResult::Full;
    cameras_[count_++] = reply;
    return StoreResult::Added;
}

std::vector<DiscoveredCamera> DiscoveryTable::Snapshot() const {
    std::lock_guard lock(mutex_);
    return {cameras_.begin(), cameras_.begin() + count_};
}

int DiscoveryTable::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

void DiscoveryTable::MarkReceiving() {
    std::lock_guard lock(mutex_);
    stop_ = false;
    receiving_ = true;
}

void DiscoveryTable::RequestStop() {
    std::lock_guard lock(mutex_);
    if (receiving_) stop_ = true;
}

void DiscoveryTable::MarkStopped() {
    std::lock_guard lock(mutex_);
    stop_ = false;
    receiving_ = false;
}

}  // namespace qrv
