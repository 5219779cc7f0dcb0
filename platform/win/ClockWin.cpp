#include "platform/Clock.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>

namespace qrv {

WallTime WallNow() { return std::chrono::system_clock::now(); }

std::int64_t SecondsSinceEpoch() { return static_cast<std::int64_t>(std::time(nullptr)); }

namespace {

// "+hhmm" east of UTC, "-hhmm" west: what %z gives on POSIX systems. The
// Windows C runtime writes the zone's name for %z instead.
std::string UtcOffsetText(std::tm local, std::time_t seconds) {
    const long long offset = static_cast<long long>(::_mkgmtime(&local)) - static_cast<long long>(seconds);
    const long long minutes = (offset < 0 ? -offset : offset) / 60;
    char text[8];
    std::snprintf(text, sizeof text, "%c%02lld%02lld", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

}  // namespace

std::string FormatLocalTime(WallTime when, const char* format) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    if (::localtime_s(&local, &seconds) != 0) return {};
    std::string pattern(format);
    for (size_t at = pattern.find("%z"); at != std::string::npos; at = pattern.find("%z", at)) {
        if (at > 0 && pattern[at - 1] == '%') {
            at += 2;
            continue;
        }
        pattern.replace(at, 2, UtcOffsetText(local, seconds));
    }
    char text[128];
    const size_t n = std::strftime(text, sizeof text, pattern.c_str(), &local);
    return std::string(text, n);
}

// Slices of 20 ms that look at the stop request in between: a wait on a
// stop token registers a std::stop_callback, whose removal can miss its
// wake-up on this C++ library's Windows threads and then waits for ever.
bool SleepFor(std::chrono::milliseconds duration, std::stop_token stop) {
    constexpr std::chrono::milliseconds kSlice{20};
    const auto until = std::chrono::steady_clock::now() + duration;
    while (!stop.stop_requested()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds::zero()) return true;
        std::this_thread::sleep_for(std::min(left, kSlice));
    }
    return false;
}

}  // namespace qrv
