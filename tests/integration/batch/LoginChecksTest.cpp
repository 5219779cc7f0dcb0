// The target grid's login checks against simulated cameras: the verdict of
// each kind of answer, the MAC filled in from the reply, at most two cameras
// asked at a time, results that follow their rows through a sort, and checks
// that end when the checker goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "batch/LoginChecks.h"
#include "platform/HeadlessOwner.h"
#include "tests/integration/engine/SimTestSupport.h"

namespace qrv {
namespace {

using namespace std::chrono_literals;
using test::Camera;
using test::SimEvent;
using test::SimProcess;

AddressBytes Local(std::uint8_t last) { return {127, 0, 0, last}; }

struct Watch : LoginCheckObserver {
    std::vector<int> changedRows;
    int finished = 0;
    void LoginCheckRowChanged(int row) override { changedRows.push_back(row); }
    void OnLoginChecksFinished() override { ++finished; }
};

class LoginCheckRun : public ::testing::Test {
protected:
    // The checks' own limit, not the client's deadline, must end a silent
    // camera's check: the deadline is set far beyond it.
    void Make(std::chrono::milliseconds limit = 400ms) {
        Timing timing = test::FastTiming();
        timing.inquiryTimeout = 20s;
        timing.loginCheckLimit = limit;
        checks = std::make_unique<LoginChecks>(owner, grid, test::Package().Models(), timing);
        checks->SetObserver(&watch);
        owner.SetTimerHandler([this](int id) { checks->OnTimer(id); });
    }
    int Add(std::uint8_t last, const std::u16string& mac, const std::u16string& password, int port = 80,
            const std::u16string& addressText = {}) {
        const std::u16string serial = u"1002" + std::u16string(1, static_cast<char16_t>(u'0' + last));
        const std::u16string text = addressText.empty() ? FormatAddress(Local(last), port) : addressText;
        EXPECT_TRUE(grid.AddRow(grid.RowCount(), mac, text, u"QRV-K7", serial, u"1.20", Local(last), port, -1));
        grid.SetCredentials(grid.RowCount() - 1, u"admin", password);
        return grid.RowCount() - 1;
    }
    std::vector<int> AllRows() const {
        std::vector<int> rows(grid.RowCount());
        for (int i = 0; i < grid.RowCount(); ++i) rows[i] = i;
        return rows;
    }
    bool RunUntilChecked(std::chrono::milliseconds limit = 20s) {
        return owner.RunUntil([this] { return !checks->IsRunning(); }, limit);
    }

    HeadlessOwner owner;
    TargetGrid grid;
    Watch watch;
    std::unique_ptr<LoginChecks> checks;
};

TEST_F(LoginCheckRun, EachCameraIsJudgedByItsAnswerTwoAtATime) {
    // The answering cameras take a while, so a checker that asked more than
    // two at once would be seen doing it.
    const std::string slow = " fault=delay:3000";
    SimProcess sim(Camera("127.0.0.2", "mac=08:00:23:00:00:02" + slow) +
                       Camera("127.0.0.3", "mac=08:00:23:00:00:03" + slow) +
                       Camera("127.0.0.4", "mac=08:00:23:00:00:04" + slow) +
                       Camera("127.0.0.7:8080", "mac=08:00:23:00:00:07" + slow) +
                       Camera("127.0.0.8", "mac=02:71:72:0A:bc:08" + slow) +
                       Camera("127.0.0.5", "mac=08:00:23:00:00:05 fault=silent"),
                   test::kScale);
    Make();
    struct Expect {
        int row;
        CheckResult result;
        std::u16string mac;
    };
    const std::vector<Expect> expected = {
        {Add(2, u"", u"admin"), CheckResult::Passed, u"08:00:23:00:00:02"},  // added by hand: MAC from the reply
        {Add(3, u"kept", u"admin"), CheckResult::Passed, u"kept"},            // a known MAC stays
        {Add(4, u"", u"wrong"), CheckResult::Failed, u""},                     // refused credentials
        {Add(7, u"", u"admin", 8080, u"DHCP"), CheckResult::Passed, u"08:00:23:00:00:07"},  // the real address
        // The MAC exactly as the camera's discovery answer shows it: colons, its own letter case.
        {Add(8, u"", u"admin"), CheckResult::Passed, u"02:71:72:0A:bc:08"},
        {Add(6, u"", u"admin"), CheckResult::Failed, u""},                     // nobody listens there
        {Add(5, u"", u"admin"), CheckResult::Failed, u""},                     // never answers
    };
    EXPECT_EQ(checks->Start(AllRows()), 7);
    EXPECT_EQ(owner.RunningTimers()[LoginChecks::kTimerId], 5) << "the scaled 500 ms tick";

    ASSERT_TRUE(RunUntilChecked());
    EXPECT_EQ(watch.finished, 1);
    EXPECT_FALSE(owner.IsTimerRunning(LoginChecks::kTimerId));
    EXPECT_EQ(watch.changedRows.size(), expected.size());
    for (const Expect& e : expected) {
        EXPECT_EQ(grid.Row(e.row).checkResult, e.result) << "row " << e.row;
        EXPECT_EQ(grid.Row(e.row).mac, e.mac) << "row " << e.row;
    }

    // What the cameras saw: the row's credentials, "inq=network", and never
    // more than two inquiries open at once (an exchange stays open until it
    // is answered or its connection is dropped).
    for (const SimEvent& event : test::RequestsTo(sim, "127.0.0.2:80", "/command/inquiry.cgi")) {
        EXPECT_EQ(event.Header("Authorization"), "Basic " + test::kAdminCredentials);
    }
    EXPECT_EQ(test::Verdicts(sim, "127.0.0.7:8080", "inquiry").at(0).Field("inq"), "network");
#ifdef _WIN32
    // Wine's WinHTTP keeps the socket of a request it was told to drop until
    // the program ends: the cameras' side of the rule is checked on Linux.
    return;
#endif
    ASSERT_TRUE(sim.WaitForEvent([](const SimEvent& e) { return e.kind == "disconnect" && e.camera == "127.0.0.5:80"; },
                                 5s));
    std::map<std::uint64_t, double> openSince;  // connection -> request time
    std::vector<std::pair<double, int>> edges;
    for (const SimEvent& event : sim.Events()) {
        if (event.kind == "request") {
            openSince[event.connection] = event.time;
            edges.emplace_back(event.time, +1);
        } else if ((event.kind == "response" || event.kind == "disconnect") && openSince.erase(event.connection)) {
            edges.emplace_back(event.time, -1);
        }
    }
    EXPECT_EQ(edges.size(), 2 * 6u) << "six requests: five answered, the silent camera's dropped";
    std::sort(edges.begin(), edges.end());
    int open = 0;
    int mostOpen = 0;
    for (const auto& edge : edges) mostOpen = std::max(mostOpen, open += edge.second);
    EXPECT_EQ(mostOpen, 2);
}

TEST_F(LoginCheckRun, ResultsFollowTheirRowsThroughASort) {
    SimProcess sim(Camera("127.0.0.2", "fault=delay:3000 mac=08:00:23:00:00:02") +
                       Camera("127.0.0.3", "fault=delay:3000 mac=08:00:23:00:00:03"),
                   test::kScale);
    Make();
    Add(2, u"", u"admin");
    Add(3, u"", u"wrong");
    checks->Start(AllRows());
    checks->Tick();  // both asked
    std::vector<int> keep;
    ASSERT_TRUE(grid.SortByColumn(static_cast<int>(GridColumn::Serial), keep));
    ASSERT_TRUE(grid.SortByColumn(static_cast<int>(GridColumn::Serial), keep));  // descending: the rows swap
    ASSERT_EQ(grid.Row(0).ip, Local(3));

    ASSERT_TRUE(RunUntilChecked());
    EXPECT_EQ(grid.Row(0).checkResult, CheckResult::Failed);
    EXPECT_EQ(grid.Row(1).checkResult, CheckResult::Passed);
    EXPECT_EQ(grid.Row(1).mac, u"08:00:23:00:00:02");
    EXPECT_EQ(grid.Row(0).mac, u"");
    std::sort(watch.changedRows.begin(), watch.changedRows.end());
    EXPECT_EQ(watch.changedRows, (std::vector<int>{0, 1}));
}

TEST_F(LoginCheckRun, DestroyingTheChecksEndsTheirInquiriesAtOnce) {
    SimProcess sim(Camera("127.0.0.2", "fault=silent") + Camera("127.0.0.3", "fault=silent mac=08:00:23:00:00:03"),
                   test::kScale);
    Make(20s);
    Add(2, u"", u"admin");
    Add(3, u"", u"admin");
    Add(4, u"", u"admin");
    ASSERT_EQ(checks->Start(AllRows()), 3);
    checks->Tick();
    ASSERT_TRUE(sim.WaitForEvent([](const SimEvent& e) { return e.kind == "request" && e.camera == "127.0.0.3:80"; },
                                 5s));
    const auto start = std::chrono::steady_clock::now();
    checks.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(owner.IsTimerRunning(LoginChecks::kTimerId));
    EXPECT_EQ(watch.finished, 0);
    EXPECT_EQ(grid.Row(0).checkResult, CheckResult::None);
}

}  // namespace
}  // namespace qrv
