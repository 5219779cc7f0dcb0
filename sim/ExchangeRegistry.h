#pragma once
// Where the HTTP server finds the request a camera front has received (the
// front passes only the exchange id to it) and leaves the camera's answer.
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "sim/Exchange.h"

namespace qrv::sim {

class Camera;

class ExchangeRegistry {
public:
    struct Entry {
        std::shared_ptr<const Exchange> exchange;
        Camera* camera = nullptr;
    };

    void Add(std::shared_ptr<const Exchange> exchange, Camera& camera) {
        std::lock_guard lock(mutex_);
        entries_[exchange->id] = Slot{Entry{exchange, &camera}, std::nullopt};
    }
    std::optional<Entry> Find(uint64_t id) const {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(id);
        if (it == entries_.end()) return std::nullopt;
        return it->second.entry;
    }
    bool HasAnswer(uint64_t id) const {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(id);
        return it != entries_.end() && it->second.answer.has_value();
    }
    void SetAnswer(uint64_t id, Answer answer) {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(id);
        if (it != entries_.end()) it->second.answer = std::move(answer);
    }
    // Removes the exchange; returns the camera's answer if it gave one.
    std::optional<Answer> Finish(uint64_t id) {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(id);
        if (it == entries_.end()) return std::nullopt;
        auto answer = std::move(it->second.answer);
        entries_.erase(it);
        return answer;
    }

private:
    struct Slot {
        Entry entry;
        std::optional<Answer> answer;
    };
    mutable std::mutex mutex_;
    std::map<uint64_t, Slot> entries_;
};

}  // namespace qrv::sim
