#include "platform/Clock.h"

#include <condition_variable>
#include <ctime>
#include <mutex>

namespace qrv {

WallTime WallNow() { return std::chrono::system_clock::now(); }

std::int64_t SecondsSinceEpoch() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::string FormatLocalTime(WallTime when, const char* format) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    if (::localtime_s(&local, &seconds) != 0) return {};
    char text[64];
    const size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

bool SleepFor(std::chrono::milliseconds duration, std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, duration, [] { return false; });
    return !stop.stop_requested();
}

}  // namespace qrv
