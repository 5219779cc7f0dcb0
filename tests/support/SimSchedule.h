#pragma once
// What a batch looked like from the cameras' side, read from the simulator's
// event log: when each camera's job ran (its first request to its last
// answer) and when a save or an upload was on the wire. Tests check the
// program's limits with it; the schedule benchmark measures with it. A job
// begins with the camera's first administrator inquiry (inq=user).
#include <string>
#include <vector>

#include "tests/support/SimEvent.h"

namespace qrv::test {

struct TimeSpan {
    std::string camera;
    double begin = 0;  // seconds since the simulator started
    double end = 0;
};

struct SimSchedule {
    std::vector<TimeSpan> jobs;       // one per camera whose job began
    std::vector<TimeSpan> transfers;  // every configuration download and firmware upload
};

SimSchedule ScheduleOf(const std::vector<SimEvent>& events);

// The largest number of spans open at one moment (a span ending when another
// begins does not overlap it).
// `lag`: seconds by which a span may end later at the camera than at the
// program (an upload's last bytes still in the sockets' buffers once the
// program has written them and moved on); spans are shortened by it, by at
// most half their length.
int MostAtOnce(const std::vector<TimeSpan>& spans, double lag = 0);
// "camera begin-end" per span, one a line: what a failed check shows.
std::string DescribeSpans(const std::vector<TimeSpan>& spans);

}  // namespace qrv::test
