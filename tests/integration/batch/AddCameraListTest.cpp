// The add-cameras list asking simulated cameras what they are: at most two
// inquiries at a time, the time limit, the verdicts and texts of each kind of
// answer, conflicts with the target grid, and rows deleted while their
// cameras are being asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "batch/AddCameraList.h"
#include "platform/HeadlessOwner.h"
#include "serial_protect/SerialRules.h"
#include "tests/integration/engine/SimTestSupport.h"

namespace qrv {
namespace {

using namespace std::chrono_literals;
using test::Camera;
using test::SimEvent;
using test::SimProcess;
using Conflict = AddCameraItem::Conflict;
using Inquiry = AddCameraItem::Inquiry;
using Verdict = AddCameraItem::Verdict;

AddressBytes Local(std::uint8_t last) { return {127, 0, 0, last}; }

std::string Identity(int n) {
    return "serial=10030" + std::to_string(n) + " mac=08:00:23:00:03:0" + std::to_string(n);
}

// Records what the dialog would be told and checks the two-at-a-time rule
// after every tick.
struct DialogWatch : AddCameraObserver {
    const AddCameraList* list = nullptr;
    std::vector<bool> enableOk;
    int mostSearching = 0;
    int ticksWithTwoSearchingAndOthersQueued = 0;

    void EnableOk(bool enable) override { enableOk.push_back(enable); }
    void AfterTick() {
        int searching = 0;
        int queued = 0;
        for (int row = 0; row < list->RowCount(); ++row) {
            searching += list->Row(row).inquiry == Inquiry::Searching;
            queued += list->Row(row).inquiry == Inquiry::Queued;
        }
        mostSearching = std::max(mostSearching, searching);
        if (searching == 2 && queued > 0) ++ticksWithTwoSearchingAndOthersQueued;
    }
};

class AddCameras : public ::testing::Test {
protected:
    // The list's own limit, not the client's deadline, must end a silent
    // camera's inquiry: the deadline is set far beyond it.
    static Timing ListTiming(std::chrono::milliseconds limit = 5s) {
        Timing timing = test::FastTiming();
        timing.inquiryTimeout = 20s;
        timing.addInquiryLimit = limit;
        return timing;
    }
    void Make(Timing timing = ListTiming()) {
        list = std::make_unique<AddCameraList>(owner, test::Package().Models(), timing);
        watch.list = list.get();
        list->SetObserver(&watch);
        owner.SetTimerHandler([this](int id) {
            if (list->OnTimer(id)) watch.AfterTick();
        });
    }
    void TearDown() override { ns_serial_protect::InitSerialRules(ns_serial_protect::kBuiltInOrder, ns_serial_protect::kBuiltInAllow, ns_serial_protect::kBuiltInDeny); }
    int Add(AddressBytes ip, int port = 80) {
        const int row = list->AppendRow();
        list->SetAddress(row, ip, port, true);
        return row;
    }
    bool RunUntilAsked(std::chrono::milliseconds limit = 20s) {
        return owner.RunUntil([this] { return list->PendingCount() == 0; }, limit);
    }

    HeadlessOwner owner;
    DialogWatch watch;
    std::unique_ptr<AddCameraList> list;
};

TEST_F(AddCameras, FiveQueuedRowsAreAskedTwoAtATimeInTheirOrder) {
    std::string fleet;
    for (int n = 1; n <= 5; ++n) {
        fleet += Camera("127.0.0." + std::to_string(n + 1), Identity(n) + " fault=delay:30000");
    }
    SimProcess sim(fleet, test::kScale);
    Make();
    for (std::uint8_t n = 1; n <= 5; ++n) Add(Local(n + 1));
    for (int row = 0; row < 5; ++row) EXPECT_EQ(list->Row(row).inquiry, Inquiry::Queued);

    // The first tick asks the first two cameras only.
    list->InquiryTick();
    watch.AfterTick();
    EXPECT_EQ(list->Row(0).inquiry, Inquiry::Searching);
    EXPECT_EQ(list->Row(1).inquiry, Inquiry::Searching);
    EXPECT_EQ(list->Row(0).verdict, Verdict::Suitable) << "suitable for the time being";
    EXPECT_FALSE(list->AllRowsAcceptable()) << "but not acceptable before the camera has answered";
    for (int row = 2; row < 5; ++row) EXPECT_EQ(list->Row(row).inquiry, Inquiry::Queued);

    ASSERT_TRUE(RunUntilAsked());
    EXPECT_EQ(watch.mostSearching, 2);
    EXPECT_GT(watch.ticksWithTwoSearchingAndOthersQueued, 0);
    ASSERT_FALSE(watch.enableOk.empty());
    EXPECT_FALSE(watch.enableOk.front()) << "OK stays off while cameras are asked";
    EXPECT_TRUE(watch.enableOk.back());
    EXPECT_FALSE(owner.IsTimerRunning(AddCameraList::kTimerId));
    for (int row = 0; row < 5; ++row) {
        const AddCameraItem& item = list->Row(row);
        EXPECT_EQ(item.model, u"QRV-K7");
        EXPECT_EQ(item.serial, u"10030" + std::u16string(1, u'1' + row));
        EXPECT_EQ(item.version, u"1.20");
        EXPECT_EQ(item.verdict, Verdict::Suitable);
    }
    EXPECT_TRUE(list->AllRowsAcceptable());

    // The cameras saw at most two inquiries at once, and in row order.
    std::map<std::string, double> asked;
    std::vector<std::pair<double, int>> edges;  // (time, +1 request / -1 response)
    for (const SimEvent& event : sim.Events()) {
        if (event.kind == "request" && event.path == "/command/inquiry.cgi") {
            asked.emplace(event.camera, event.time);
            edges.emplace_back(event.time, +1);
        } else if (event.kind == "response") {
            edges.emplace_back(event.time, -1);
        }
    }
    ASSERT_EQ(asked.size(), 5u);
    std::sort(edges.begin(), edges.end(), [](auto a, auto b) { return a.first < b.first || (a.first == b.first && a.second < b.second); });
    int open = 0;
    int mostOpen = 0;
    for (const auto& [time, step] : edges) mostOpen = std::max(mostOpen, open += step);
    EXPECT_EQ(mostOpen, 2);
    EXPECT_LT(asked["127.0.0.3:80"], asked["127.0.0.4:80"]);
    EXPECT_LT(asked["127.0.0.4:80"], asked["127.0.0.6:80"]);
    for (const SimEvent& event : test::RequestsTo(sim, "127.0.0.2:80", "/command/inquiry.cgi")) {
        EXPECT_EQ(event.Header("Authorization"), "Basic :") << "no credentials are needed to ask what it is";
    }
}

TEST_F(AddCameras, ASilentCameraIsNoResponseOnceTheLimitHasPassed) {
    SimProcess sim(Camera("127.0.0.2", "fault=silent"), test::kScale);
    const auto limit = 400ms;
    Make(ListTiming(limit));
    Add(Local(2));
    const auto start = std::chrono::steady_clock::now();
    list->InquiryTick();
    EXPECT_EQ(list->Row(0).inquiry, Inquiry::Searching);
    ASSERT_TRUE(RunUntilAsked(10s));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, limit);
    EXPECT_LT(took, 5s) << "the client's own deadline (20 s) must not be what ended it";
    const AddCameraItem& item = list->Row(0);
    EXPECT_EQ(item.inquiry, Inquiry::NoResponse);
    EXPECT_EQ(item.verdict, Verdict::Unsuitable);
    EXPECT_TRUE(item.serial.empty());
    EXPECT_FALSE(list->AllRowsAcceptable());
    EXPECT_TRUE(watch.enableOk.back()) << "a finished inquiry frees OK even when it failed";
}

TEST_F(AddCameras, EachKindOfAnswerGetsItsTextAndVerdict) {
    SimProcess sim(Camera("127.0.0.2", Identity(1)) +                               // a good camera
                       Camera("127.0.0.3", Identity(2) + " fault=garbage") +        // no items at all
                       Camera("127.0.0.4", Identity(3) + " model=QRV-X9") +         // another model
                       Camera("127.0.0.5", Identity(4)) +                           // a refused serial
                       Camera("127.0.0.6", Identity(5) + " version=emergency") +    // recovering
                       Camera("127.0.0.7:8080", Identity(6)) +                      // its own port
                       Camera("127.0.0.8", "serial=100307 mac=08:00:23:00:03:07 fault=always401"),
                   test::kScale);
    ns_serial_protect::InitSerialRules("allow,deny", "all", "100304");
    Make();
    for (std::uint8_t n = 2; n <= 6; ++n) Add(Local(n));
    Add(Local(7), 8080);
    Add(Local(8));
    Add(Local(9));  // nobody there
    ASSERT_TRUE(RunUntilAsked());

    auto row = [&](int i) { return list->Row(i); };
    EXPECT_EQ(row(0).model, u"QRV-K7");
    EXPECT_EQ(row(0).verdict, Verdict::Suitable);
    EXPECT_EQ(row(1).inquiry, Inquiry::NotACamera);
    EXPECT_EQ(row(1).verdict, Verdict::Unsuitable);
    EXPECT_EQ(row(2).inquiry, Inquiry::NotACamera);
    EXPECT_EQ(row(2).verdict, Verdict::Unsuitable);
    EXPECT_EQ(row(3).model, u"QRV-K7") << "a refused serial still shows what the camera is";
    EXPECT_EQ(row(3).serial, u"100304");
    EXPECT_EQ(row(3).verdict, Verdict::Unsuitable);
    EXPECT_EQ(row(4).version, u"unknown");
    EXPECT_EQ(row(4).verdict, Verdict::Suitable);
    EXPECT_EQ(row(5).address.Text(), u"127.0.0.7:8080");
    EXPECT_EQ(row(5).verdict, Verdict::Suitable);
    EXPECT_EQ(row(6).inquiry, Inquiry::NotACamera) << "a camera that wants a login is not one this list can use";
    EXPECT_EQ(row(7).inquiry, Inquiry::NoResponse);
    EXPECT_EQ(row(7).verdict, Verdict::Unsuitable);
    EXPECT_FALSE(list->AllRowsAcceptable());

    TargetGrid grid;
    EXPECT_EQ(list->TransferAcceptableRows(grid), 3);
    ASSERT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(grid.Row(0).addressText, u"127.0.0.2");
    EXPECT_EQ(grid.Row(1).addressText, u"127.0.0.6");
    EXPECT_EQ(grid.Row(2).addressText, u"127.0.0.7:8080");
    EXPECT_EQ(grid.Row(2).port, 8080);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(grid.Row(i).mac.empty());
        EXPECT_EQ(grid.Row(i).tag, i);
    }
}

TEST_F(AddCameras, ACameraAlreadyInTheGridCannotBeAddedAgain) {
    SimProcess sim(Camera("127.0.0.2", Identity(1)) + Camera("127.0.0.3", Identity(2)), test::kScale);
    TargetGrid grid;
    grid.AddRow(0, u"08:00:23:00:03:01", u"127.0.0.2", u"QRV-K7", u"100301", u"1.20", Local(2), 80, -1);
    Make();
    list->SetTargetGrid(&grid);
    Add(Local(2));
    Add(Local(3));
    ASSERT_TRUE(RunUntilAsked());
    EXPECT_EQ(list->Row(0).verdict, Verdict::Suitable);
    EXPECT_EQ(list->Row(0).conflict, Conflict::InGrid);
    EXPECT_EQ(list->Row(1).conflict, Conflict::None);
    EXPECT_FALSE(list->AllRowsAcceptable());
    EXPECT_EQ(list->TransferAcceptableRows(grid), 1);
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.Row(1).serial, u"100302");
}

TEST_F(AddCameras, AnswersLandOnTheirOwnRowsAfterARowIsDeleted) {
    std::string fleet;
    for (int n = 1; n <= 4; ++n) {
        fleet += Camera("127.0.0." + std::to_string(n + 1), Identity(n) + " fault=delay:20000");
    }
    SimProcess sim(fleet, test::kScale);
    Make();
    for (std::uint8_t n = 1; n <= 4; ++n) Add(Local(n + 1));
    list->InquiryTick();  // rows 1 and 2 are being asked, 3 and 4 wait
    list->SelectRow(0);
    list->DeleteRow(0);
    ASSERT_EQ(list->RowCount(), 3);
    ASSERT_TRUE(RunUntilAsked());
    for (int row = 0; row < 3; ++row) {
        const AddCameraItem& item = list->Row(row);
        EXPECT_EQ(item.number, row + 1);
        // Camera 127.0.0.(n+1) has serial 10030n.
        const std::u16string serial =
            u"10030" + std::u16string(1, static_cast<char16_t>(u'0' + item.address.ip[3] - 1));
        EXPECT_EQ(item.serial, serial) << "row " << row;
        EXPECT_EQ(item.model, u"QRV-K7");
    }
    EXPECT_EQ(list->Serial(1), u"100302");
    EXPECT_EQ(list->ModelText(3), u"QRV-K7");
}

TEST_F(AddCameras, ChangingAnAddressAsksTheNewCameraOnly) {
    SimProcess sim(Camera("127.0.0.2", Identity(1) + " fault=delay:20000") + Camera("127.0.0.3", Identity(2)),
                   test::kScale);
    Make();
    const int row = Add(Local(2));
    list->InquiryTick();
    ASSERT_EQ(list->Row(row).verdict, Verdict::Suitable);
    list->SetAddress(row, Local(3), 80, true);
    EXPECT_EQ(list->Row(row).inquiry, Inquiry::Queued);
    EXPECT_EQ(list->Row(row).verdict, Verdict::Unknown) << "nothing is known yet about the new camera";
    ASSERT_TRUE(RunUntilAsked());
    EXPECT_EQ(list->Row(row).serial, u"100302");
    EXPECT_TRUE(list->AllRowsAcceptable());
}

TEST_F(AddCameras, DestroyingTheListEndsItsInquiriesAtOnce) {
    SimProcess sim(Camera("127.0.0.2", "fault=silent") + Camera("127.0.0.3", "fault=silent mac=08:00:23:00:00:02"),
                   test::kScale);
    Make();
    Add(Local(2));
    Add(Local(3));
    list->InquiryTick();
    ASSERT_TRUE(sim.WaitForEvent([](const SimEvent& e) { return e.kind == "request" && e.camera == "127.0.0.3:80"; },
                                 5s));
    const auto start = std::chrono::steady_clock::now();
    list.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(owner.IsTimerRunning(AddCameraList::kTimerId));
}

}  // namespace
}  // namespace qrv
