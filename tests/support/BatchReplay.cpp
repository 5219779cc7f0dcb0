#include "tests/support/BatchReplay.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <queue>

namespace qrv::test {

namespace {

struct Exchange {
    double connected = 0;  // its connection was accepted
    double asked = 0;      // request event: the whole request is in
    std::optional<double> answered;
    int status = 0;
    std::string method;
    std::string path;
    std::string inq;  // inquiries: user, system, network
};

struct StateChange {
    double time = 0;
    std::string state;
};

struct CameraLog {
    std::vector<std::uint64_t> order;  // exchanges by request
    std::map<std::uint64_t, Exchange> exchanges;
    std::vector<StateChange> states;
};

bool IsConfigDownload(const Exchange& x) {
    return x.method == "GET" && x.path.rfind("/system/", 0) == 0 && x.path.size() > 4 &&
           x.path.compare(x.path.size() - 4, 4, ".cfg") == 0;
}

// The moments the cycle is read from, after `from`.
class CycleReader {
public:
    explicit CycleReader(const CameraLog& log) : log_(log) {}

    const Exchange* FirstAfter(double from, const std::function<bool(const Exchange&)>& fits) const {
        for (const std::uint64_t id : log_.order) {
            const Exchange& x = log_.exchanges.at(id);
            if (x.asked >= from && fits(x)) return &x;
        }
        return nullptr;
    }

    std::optional<double> StateAfter(double from, const std::string& state) const {
        for (const StateChange& s : log_.states) {
            if (s.time >= from && s.state == state) return s.time;
        }
        return std::nullopt;
    }

    double LastAnswer() const {
        double last = 0;
        for (const auto& [id, x] : log_.exchanges) last = std::max(last, x.answered.value_or(0));
        return last;
    }

private:
    const CameraLog& log_;
};

const Exchange* LastAnsweredInquiry(const CameraLog& log, double from, double before) {
    const Exchange* last = nullptr;
    for (const std::uint64_t id : log.order) {
        const Exchange& x = log.exchanges.at(id);
        if (x.asked >= from && x.asked < before && x.inq == "system" && x.status == 200) last = &x;
    }
    return last;
}

// The job's pre-start check is the last administrator inquiry before its
// configuration download (the batch may have asked the camera before).
const Exchange* JobCheck(const CameraLog& log) {
    const Exchange* check = nullptr;
    for (const std::uint64_t id : log.order) {
        const Exchange& x = log.exchanges.at(id);
        if (IsConfigDownload(x)) break;
        if (x.inq == "user") check = &x;
    }
    return check;
}

std::optional<CameraCycle> CycleOf(const std::string& camera, const CameraLog& log) {
    const Exchange* user = JobCheck(log);
    if (!user || !user->answered) return std::nullopt;
    CameraCycle c;
    c.camera = camera;
    const CycleReader read(log);
    c.begin = user->asked;
    c.end = read.LastAnswer();

    const Exchange* system = read.FirstAfter(*user->answered, [&](const Exchange& x) { return x.inq == "system"; });
    const Exchange* save = read.FirstAfter(c.begin, [](const Exchange& x) { return IsConfigDownload(x); });
    const Exchange* upload = read.FirstAfter(c.begin, [](const Exchange& x) {
        return x.method == "POST" && x.path == "/command/versionup.cgi";
    });
    if (!system || !system->answered || !save || !save->answered || !upload || !upload->answered) return c;
    c.check = (*user->answered - user->asked) + (*system->answered - system->asked);
    c.save = *save->answered - save->asked;
    c.upload = upload->asked - upload->connected;
    c.writing = *upload->answered - upload->asked;
    c.channelEnd = upload->asked;

    const std::optional<double> rebooting = read.StateAfter(upload->asked, "rebooting");
    const std::optional<double> back = rebooting ? read.StateAfter(*rebooting, "up") : std::nullopt;
    if (!back) return c;
    c.reboot = *back - *rebooting;
    c.backUp = *back;
    // The restore that took: the last one answered 200.
    const Exchange* restore = nullptr;
    for (const std::uint64_t id : log.order) {
        const Exchange& x = log.exchanges.at(id);
        if (x.asked >= c.backUp && x.path == "/command/all-configuration.cgi" && x.status == 200) restore = &x;
    }
    if (!restore) return c;
    // The inquiry that found the camera back is the last one answered before
    // the restore; a camera may log it a moment before its own state up.
    const Exchange* seen = LastAnsweredInquiry(log, *rebooting, restore->asked);
    if (!seen) return c;
    c.backSeen = std::max(seen->asked, c.backUp);
    c.restoreBegin = restore->connected;
    c.restoreEnd = *restore->answered;
    c.restore = c.restoreEnd - c.restoreBegin;

    const std::optional<double> reconfiguring = read.StateAfter(restore->asked, "reconfiguring");
    const std::optional<double> up = reconfiguring ? read.StateAfter(*reconfiguring, "up") : std::nullopt;
    if (!up) return c;
    c.reconfigure = *up - *reconfiguring;
    c.reconfiguredUp = *up;
    const Exchange* done = LastAnsweredInquiry(log, restore->asked, c.end + 1);
    if (!done) return c;
    c.doneSeen = std::max(done->asked, c.reconfiguredUp);
    c.whole = true;
    return c;
}

void Add(std::vector<ScheduleGap>& gaps, const std::string& camera, double begin, double end, std::string what,
         std::string cause) {
    if (end > begin) gaps.push_back(ScheduleGap{camera, begin, end, std::move(what), std::move(cause)});
}

}  // namespace

std::vector<CameraCycle> CyclesOf(const std::vector<SimEvent>& events) {
    std::map<std::string, CameraLog> logs;
    std::map<std::pair<std::string, std::uint64_t>, double> connected;
    for (const SimEvent& e : events) {
        if (e.camera.empty()) continue;
        CameraLog& log = logs[e.camera];
        if (e.kind == "connect") {
            connected[{e.camera, e.connection}] = e.time;
        } else if (e.kind == "request") {
            Exchange x;
            x.asked = e.time;
            const auto open = connected.find({e.camera, e.connection});
            x.connected = open != connected.end() ? open->second : e.time;
            x.method = e.method;
            x.path = e.path;
            log.exchanges[e.exchange] = x;
            log.order.push_back(e.exchange);
        } else if (e.kind == "verdict" && e.what == "inquiry") {
            const auto x = log.exchanges.find(e.exchange);
            if (x != log.exchanges.end()) x->second.inq = e.Field("inq");
        } else if (e.kind == "response") {
            const auto x = log.exchanges.find(e.exchange);
            if (x != log.exchanges.end()) {
                x->second.answered = e.time;
                x->second.status = e.status;
            }
        } else if (e.kind == "state") {
            log.states.push_back(StateChange{e.time, e.state});
        }
    }
    std::vector<CameraCycle> cycles;
    for (const auto& [camera, log] : logs) {
        if (std::optional<CameraCycle> cycle = CycleOf(camera, log)) cycles.push_back(*cycle);
    }
    std::stable_sort(cycles.begin(), cycles.end(),
                     [](const CameraCycle& a, const CameraCycle& b) { return a.begin < b.begin; });
    return cycles;
}

double IdealMakespan(const std::vector<CameraCycle>& cycles, int jobs) {
    std::priority_queue<double, std::vector<double>, std::greater<>> running;  // their ends
    double channelFree = 0;
    double last = 0;
    for (const CameraCycle& c : cycles) {
        double slotFree = 0;
        if (static_cast<int>(running.size()) >= std::max(jobs, 1)) {
            slotFree = running.top();
            running.pop();
        }
        const double start = std::max(channelFree, slotFree);
        channelFree = start + c.Channel();
        const double end = channelFree + c.Rest();
        running.push(end);
        last = std::max(last, end);
    }
    return last;
}

double TransferBound(const std::vector<CameraCycle>& cycles) {
    if (cycles.empty()) return 0;
    double channel = 0;
    std::vector<double> rests;
    for (const CameraCycle& c : cycles) {
        channel += c.Channel();
        rests.push_back(c.Rest());
    }
    std::nth_element(rests.begin(), rests.begin() + static_cast<std::ptrdiff_t>(rests.size() / 2), rests.end());
    return channel + rests[rests.size() / 2];
}

std::vector<ScheduleGap> GapsOf(const std::vector<CameraCycle>& cycles, int jobs, const WaitPeriods& periods) {
    std::vector<ScheduleGap> gaps;
    for (std::size_t k = 0; k < cycles.size(); ++k) {
        const CameraCycle& c = cycles[k];
        if (!c.whole) continue;
        Add(gaps, c.camera, c.backUp, c.backSeen, "up after its reboot, not yet asked", "emptyReplyPause");
        Add(gaps, c.camera, c.backSeen, c.restoreBegin, "answered after its reboot, restore held back",
            "restorePause");
        // The first poll after a restore waits out afterRestorePause; a camera
        // up before the poll that follows it was kept waiting by the pause.
        const bool pause = c.reconfiguredUp < c.restoreEnd + periods.afterRestorePause + periods.reconfigurePoll;
        Add(gaps, c.camera, c.reconfiguredUp, c.doneSeen, "up after reconfiguring, not yet asked",
            pause ? "afterRestorePause" : "reconfigurePoll");
        // The channel inside the job: the check, save and upload as they
        // followed each other, less the time the camera took for them.
        const double idle = (c.channelEnd - c.begin) - c.Channel();
        if (idle > 0) {
            Add(gaps, c.camera, c.begin, c.begin + idle, "transfer channel idle between its check, save and upload",
                "schedulerTick");
        }
        if (k == 0) continue;
        // Between the previous job's upload and this job's check: the
        // channel was free; the job could start as soon as a slot was too.
        const double channelFree = cycles[k - 1].channelEnd;
        std::vector<double> ends;
        for (std::size_t i = 0; i < k; ++i) {
            if (cycles[i].end > channelFree) ends.push_back(cycles[i].end);
        }
        const int limit = std::max(jobs, 1);
        if (static_cast<int>(ends.size()) < limit) {
            Add(gaps, c.camera, channelFree, c.begin, "transfer channel idle, job not started", "schedulerTick");
        } else {
            std::sort(ends.begin(), ends.end());
            const double slotFree = ends[ends.size() - static_cast<std::size_t>(limit)];
            // The last answer of a job is a Reconfiguring poll's; a start
            // that lags it by half a poll period or more waited for the next
            // poll to read it, a shorter lag is the scheduler's.
            const double begin = std::max(channelFree, slotFree);
            Add(gaps, c.camera, begin, c.begin, "transfer channel idle after a job's last answer, job not started",
                c.begin - begin >= periods.reconfigurePoll / 2 ? "reconfigurePoll" : "schedulerTick");
        }
    }
    std::stable_sort(gaps.begin(), gaps.end(),
                     [](const ScheduleGap& a, const ScheduleGap& b) { return a.Length() > b.Length(); });
    return gaps;
}

}  // namespace qrv::test
