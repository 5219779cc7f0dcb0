#include "sim/Scheduler.h"

namespace qrv::sim {

Scheduler::Scheduler() : worker_([this](std::stop_token stop) { Run(stop); }) {}

Scheduler::~Scheduler() { Stop(); }

void Scheduler::After(std::chrono::milliseconds delay, std::function<void()> action) {
    {
        std::lock_guard lock(mutex_);
        pending_.emplace(Clock::now() + delay, std::move(action));
    }
    wake_.notify_all();
}

void Scheduler::Stop() {
    if (!worker_.joinable()) return;
    worker_.request_stop();
    wake_.notify_all();
    worker_.join();
    std::lock_guard lock(mutex_);
    pending_.clear();
}

void Scheduler::Run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        if (pending_.empty()) {
            wake_.wait(lock, stop, [this] { return !pending_.empty(); });
            continue;
        }
        const auto due = pending_.begin()->first;
        if (Clock::now() < due) {
            wake_.wait_until(lock, stop, due, [this, due] { return !pending_.empty() && pending_.begin()->first < due; });
            continue;
        }
        auto action = std::move(pending_.begin()->second);
        pending_.erase(pending_.begin());
        lock.unlock();
        action();
        lock.lock();
    }
}

}  // namespace qrv::sim
