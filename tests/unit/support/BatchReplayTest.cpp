// The batch replay that the schedule benchmark prints: cycles read from an
// event log as the simulator writes it, the schedule on paper, and the waits
// found with their cause.
#include "tests/support/BatchReplay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace qrv::test {
namespace {

// Writes the events of a camera's exchanges as the simulator logs them.
class LogWriter {
public:
    explicit LogWriter(std::string camera) : camera_(std::move(camera)) {}

    // One exchange on a connection of its own: connect at `open`, the whole
    // request in at `asked`, answered at `answered`.
    void Exchange(double open, double asked, double answered, const std::string& method, const std::string& path,
                  const std::string& inq = "", int status = 200) {
        const std::uint64_t connection = ++lastConnection_;
        const std::uint64_t exchange = ++lastExchange_;
        Push(open, "connect").connection = connection;
        SimEvent& request = Push(asked, "request");
        request.connection = connection;
        request.exchange = exchange;
        request.method = method;
        request.path = path;
        if (!inq.empty()) {
            SimEvent& verdict = Push(asked, "verdict");
            verdict.exchange = exchange;
            verdict.what = "inquiry";
            verdict.fields["inq"] = inq;
        }
        SimEvent& response = Push(answered, "response");
        response.exchange = exchange;
        response.connection = connection;
        response.status = status;
    }
    void Inquiry(double asked, double answered, const std::string& inq) {
        Exchange(asked, asked, answered, "POST", "/command/inquiry.cgi", inq);
    }
    void State(double time, const std::string& state) { Push(time, "state").state = state; }

    std::vector<SimEvent> events;

private:
    SimEvent& Push(double time, const std::string& kind) {
        SimEvent e;
        e.seq = events.size() + 1;
        e.time = time;
        e.kind = kind;
        e.camera = camera_;
        events.push_back(e);
        return events.back();
    }

    std::string camera_;
    std::uint64_t lastConnection_ = 0;
    std::uint64_t lastExchange_ = 0;
};

// A whole cycle: the batch's own inquiry first, then the job from t = 10.
std::vector<SimEvent> WholeCycle(const std::string& camera, bool refusedRestoreFirst) {
    LogWriter log(camera);
    log.Inquiry(1.0, 1.01, "system");  // what the camera is, before the batch
    log.Inquiry(2.0, 2.01, "user");    // an account check before the batch
    log.Inquiry(10.0, 10.02, "user");
    log.Inquiry(10.05, 10.06, "system");
    log.Exchange(10.10, 10.10, 10.30, "GET", "/system/qrv-k7.cfg");
    log.Exchange(10.35, 11.35, 12.35, "POST", "/command/versionup.cgi");
    log.State(11.35, "writing");
    log.State(12.35, "rebooting");
    log.State(15.35, "up");
    log.Inquiry(15.40, 15.41, "system");
    if (refusedRestoreFirst) log.Exchange(15.90, 15.90, 15.92, "POST", "/command/all-configuration.cgi", "", 400);
    log.Exchange(16.00, 16.01, 16.05, "POST", "/command/all-configuration.cgi");
    log.State(16.05, "reconfiguring");
    log.State(17.55, "up");
    log.Inquiry(22.60, 22.61, "system");
    return log.events;
}

TEST(BatchReplay, ACycleIsReadStepByStepFromTheLog) {
    for (const bool refusedFirst : {false, true}) {
        SCOPED_TRACE(refusedFirst ? "a restore answered 400 first" : "one restore");
        const std::vector<CameraCycle> cycles = CyclesOf(WholeCycle("127.0.0.2:80", refusedFirst));
        ASSERT_EQ(cycles.size(), 1u);
        const CameraCycle& c = cycles[0];
        EXPECT_TRUE(c.whole);
        EXPECT_DOUBLE_EQ(c.begin, 10.0) << "the job's check, not the batch's earlier inquiries";
        EXPECT_NEAR(c.check, 0.03, 1e-9);
        EXPECT_NEAR(c.save, 0.20, 1e-9);
        EXPECT_NEAR(c.upload, 1.00, 1e-9) << "connection open to the whole body in";
        EXPECT_NEAR(c.writing, 1.00, 1e-9);
        EXPECT_NEAR(c.reboot, 3.00, 1e-9);
        EXPECT_NEAR(c.restore, 0.05, 1e-9) << "the restore that was taken";
        EXPECT_NEAR(c.reconfigure, 1.50, 1e-9);
        EXPECT_DOUBLE_EQ(c.channelEnd, 11.35) << "the body in; the camera writes on its own";
        EXPECT_DOUBLE_EQ(c.backSeen, 15.40);
        EXPECT_DOUBLE_EQ(c.doneSeen, 22.60);
        EXPECT_DOUBLE_EQ(c.end, 22.61);
    }
}

TEST(BatchReplay, CyclesComeInTheOrderTheJobsBeganAndAnUnfinishedOneIsMarked) {
    std::vector<SimEvent> events = WholeCycle("127.0.0.9:80", false);
    LogWriter late("127.0.0.3:80");  // began later; never came back from its reboot
    late.Inquiry(12.40, 12.41, "user");
    late.Inquiry(12.45, 12.46, "system");
    late.Exchange(12.50, 12.50, 12.60, "GET", "/system/qrv-k7.cfg");
    late.Exchange(12.65, 13.00, 14.00, "POST", "/command/versionup.cgi");
    late.State(14.00, "rebooting");
    events.insert(events.end(), late.events.begin(), late.events.end());
    const std::vector<CameraCycle> cycles = CyclesOf(events);
    ASSERT_EQ(cycles.size(), 2u);
    EXPECT_EQ(cycles[0].camera, "127.0.0.9:80");
    EXPECT_EQ(cycles[1].camera, "127.0.0.3:80");
    EXPECT_FALSE(cycles[1].whole);
}

CameraCycle Cycle(double channel, double rest) {
    CameraCycle c;
    c.whole = true;
    c.upload = channel;
    c.reboot = rest;
    return c;
}

TEST(BatchReplay, TheIdealScheduleKeepsTheJobLimitAndOneTransferAtATime) {
    struct Case {
        std::vector<CameraCycle> cycles;
        int jobs;
        double makespan;
    };
    const std::vector<CameraCycle> three{Cycle(1, 4), Cycle(1, 4), Cycle(1, 4)};
    const Case cases[] = {
        {three, 1, 15},                            // one after another
        {three, 2, 10},                            // the third waits for the first's end at 5
        {three, 3, 7},                             // only the channel holds them back
        {three, 32, 7},
        {{Cycle(3, 1), Cycle(1, 1), Cycle(1, 1)}, 2, 6},  // channel-bound: 3 + 1 + 1, then the last rest
        {{Cycle(1, 9), Cycle(1, 1), Cycle(1, 1)}, 2, 10},  // the short job's slot frees first
        {{}, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.cycles.size() << " cycles, " << c.jobs << " jobs");
        EXPECT_DOUBLE_EQ(IdealMakespan(c.cycles, c.jobs), c.makespan);
    }
    EXPECT_DOUBLE_EQ(TransferBound(three), 3 + 4);
    EXPECT_DOUBLE_EQ(TransferBound({Cycle(1, 9), Cycle(1, 2), Cycle(1, 5)}), 3 + 5) << "the median rest";
}

TEST(BatchReplay, WaitsAreFoundWithThePeriodBehindThem) {
    const WaitPeriods periods{6.0, 0.5};
    std::vector<CameraCycle> cycles = CyclesOf(WholeCycle("127.0.0.2:80", false));
    ASSERT_EQ(cycles.size(), 1u);
    // A second job of the same shape whose check began 0.7 s after the first
    // job's last answer.
    CameraCycle second = cycles[0];
    second.camera = "127.0.0.3:80";
    const double shift = cycles[0].end + 0.7 - second.begin;
    for (double* t : {&second.begin, &second.channelEnd, &second.backUp, &second.backSeen, &second.restoreBegin,
                      &second.restoreEnd, &second.reconfiguredUp, &second.doneSeen, &second.end}) {
        *t += shift;
    }
    // Its camera needed 8 s to reconfigure: up after the first poll, found by a later one.
    second.reconfiguredUp = second.restoreEnd + 8.0;
    second.doneSeen = second.reconfiguredUp + 0.3;
    second.end = second.doneSeen + 0.01;
    cycles.push_back(second);

    const std::vector<ScheduleGap> withOneJob = GapsOf(cycles, 1, periods);
    EXPECT_TRUE(std::is_sorted(withOneJob.begin(), withOneJob.end(),
                               [](const ScheduleGap& a, const ScheduleGap& b) { return a.Length() > b.Length(); }));
    struct Expected {
        std::string camera;
        std::string cause;
        double length;
    };
    const double channelIdle = (11.35 - 10.0) - (0.03 + 0.20 + 1.00);
    const Expected expected[] = {
        {"127.0.0.2:80", "afterRestorePause", 22.60 - 17.55},  // up long before the first poll
        {"127.0.0.3:80", "reconfigurePoll", 0.7},  // the slot came free only with the first's last answer
        {"127.0.0.2:80", "restorePause", 16.00 - 15.40},
        {"127.0.0.3:80", "restorePause", 16.00 - 15.40},
        {"127.0.0.3:80", "reconfigurePoll", 0.3},  // up after the first poll, found by a later one
        {"127.0.0.2:80", "schedulerTick", channelIdle},
        {"127.0.0.3:80", "schedulerTick", channelIdle},
        {"127.0.0.2:80", "emptyReplyPause", 15.40 - 15.35},
        {"127.0.0.3:80", "emptyReplyPause", 15.40 - 15.35},
    };
    std::vector<ScheduleGap> left = withOneJob;
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.camera + " " + e.cause + " " + std::to_string(e.length));
        const auto found = std::find_if(left.begin(), left.end(), [&](const ScheduleGap& g) {
            return g.camera == e.camera && g.cause == e.cause && std::abs(g.Length() - e.length) < 1e-6;
        });
        ASSERT_NE(found, left.end());
        left.erase(found);
    }
    EXPECT_TRUE(left.empty()) << left.size() << " unexpected, first: " << left.front().what;
    EXPECT_EQ(withOneJob.front().cause, "afterRestorePause");

    // With two jobs the slot was free: the wait from the first upload
    // to the second check is the scheduler's.
    const std::vector<ScheduleGap> withTwoJobs = GapsOf(cycles, 2, periods);
    const auto handover = std::find_if(withTwoJobs.begin(), withTwoJobs.end(), [](const ScheduleGap& g) {
        return g.camera == "127.0.0.3:80" && g.begin == 11.35;
    });
    ASSERT_NE(handover, withTwoJobs.end());
    EXPECT_EQ(handover->cause, "schedulerTick");
    EXPECT_NEAR(handover->end, cycles[1].begin, 1e-9);

    // A start that follows the freeing answer within a scheduler tick or two
    // is not blamed on the poll.
    cycles[1].begin = cycles[0].end + 0.03;
    const std::vector<ScheduleGap> prompt = GapsOf(cycles, 1, periods);
    const auto quick = std::find_if(prompt.begin(), prompt.end(), [&](const ScheduleGap& g) {
        return g.camera == "127.0.0.3:80" && g.end == cycles[1].begin;
    });
    ASSERT_NE(quick, prompt.end());
    EXPECT_EQ(quick->cause, "schedulerTick");
    EXPECT_NEAR(quick->Length(), 0.03, 1e-9);
}

}  // namespace
}  // namespace qrv::test
