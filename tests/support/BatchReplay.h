#pragma once
// A batch measured at the cameras and replayed on paper: each camera's cycle
// (pre-start check, save, upload, writing, reboot, restore, reconfiguring) as
// the simulator's event log timed it, the schedule those durations allow under
// the program's rule with no overhead between steps, and the moments where
// the batch waited on the program rather than on a camera. The schedule
// benchmark prints these; all times are seconds of the simulator's clock.
#include <string>
#include <vector>

#include "tests/support/SimEvent.h"

namespace qrv::test {

struct CameraCycle {
    std::string camera;
    bool whole = false;  // every step below was seen in the log

    // Durations the camera set or needed.
    double check = 0;        // the pre-start inquiries (inq=user, inq=system), request to answer each
    double save = 0;         // configuration download, request to answer
    double upload = 0;       // upload connection opened to the whole body in
    double writing = 0;      // whole body in to the upload's answer
    double reboot = 0;       // state rebooting to up
    double restore = 0;      // restore connection opened to its answer
    double reconfigure = 0;  // state reconfiguring to up

    // Moments.
    double begin = 0;           // the pre-start check's first request
    double channelEnd = 0;      // the upload's body in: the transfer channel is free again
    double backUp = 0;          // up again after the reboot
    double backSeen = 0;        // the first request after that
    double restoreBegin = 0;    // the restore's connection
    double restoreEnd = 0;      // the restore's answer
    double reconfiguredUp = 0;  // up again after reconfiguring
    double doneSeen = 0;        // the first request after that
    double end = 0;             // the last answer of the job

    // The part that holds the transfer channel: no other job checks, saves or
    // uploads meanwhile. The camera's writing does not: the job is past its
    // upload (Overwriting) once the body is sent.
    double Channel() const { return check + save + upload; }
    // The rest of the cycle, which other jobs may overlap.
    double Rest() const { return writing + reboot + restore + reconfigure; }
};

// One cycle per camera whose job began, in the order the jobs began (the
// program's queue order).
std::vector<CameraCycle> CyclesOf(const std::vector<SimEvent>& events);

// The batch's length on paper: the cycles in their order, at most `jobs` at
// once, one Channel() part at a time, each job starting as soon as both allow.
double IdealMakespan(const std::vector<CameraCycle>& cycles, int jobs);

// Every Channel() part back to back, then the rest of the median cycle: what
// no number of jobs can beat.
double TransferBound(const std::vector<CameraCycle>& cycles);

// The program's periods that tell which one held a finished camera back
// (seconds, as scaled).
struct WaitPeriods {
    double afterRestorePause = 0;
    double reconfigurePoll = 0;
};

struct ScheduleGap {
    std::string camera;
    double begin = 0;
    double end = 0;
    std::string what;   // what waited
    std::string cause;  // the Timing field responsible
    double Length() const { return end - begin; }
};

// The waits of a batch run with `jobs` at once: a camera back (up) but not yet
// asked, a restore held back, the transfer channel idle while a job could have
// used it. Largest first.
std::vector<ScheduleGap> GapsOf(const std::vector<CameraCycle>& cycles, int jobs, const WaitPeriods& periods);

}  // namespace qrv::test
