#pragma once
// Runs actions at given times on one worker thread (a camera coming back
// after its reboot, for instance). Actions still pending at Stop are dropped.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace qrv::sim {

class Scheduler {
public:
    using Clock = std::chrono::steady_clock;

    Scheduler();
    ~Scheduler();
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    void After(std::chrono::milliseconds delay, std::function<void()> action);
    void Stop();

private:
    void Run(std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::multimap<Clock::time_point, std::function<void()>> pending_;
    std::jthread worker_;
};

}  // namespace qrv::sim
