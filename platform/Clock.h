#pragma once
// Wall clock, local time stamps and sleeping that a stop request interrupts.

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <string>

namespace qrv {

using WallTime = std::chrono::system_clock::time_point;

WallTime WallNow();
// Seconds since 1970-01-01 UTC.
std::int64_t SecondsSinceEpoch();
// `when` in local time, formatted with strftime's `format` ("%y%m%d%H%M").
std::string FormatLocalTime(WallTime when, const char* format);

// Sleeps for `duration` unless a stop is requested first. Returns true when
// the whole duration passed, false when the sleep ended by a stop request.
bool SleepFor(std::chrono::milliseconds duration, std::stop_token stop = {});

}  // namespace qrv
