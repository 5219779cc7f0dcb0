#include <gtest/gtest.h>

#include <thread>

#include "platform/HeadlessOwner.h"

namespace qrv {
namespace {

using namespace std::chrono_literals;

TEST(HeadlessOwnerTimers, TicksArriveOnTheRunningThreadUntilStopped) {
    HeadlessOwner owner;
    int ticks = 0;
    std::thread::id tickThread;
    owner.SetTimerHandler([&](int id) {
        EXPECT_EQ(id, 0x8100);
        tickThread = std::this_thread::get_id();
        if (++ticks == 3) owner.StopTimer(0x8100);
    });
    std::thread starter([&] { owner.StartTimer(0x8100, 5); });
    starter.join();
    EXPECT_TRUE(owner.IsTimerRunning(0x8100));
    EXPECT_TRUE(owner.RunUntil([&] { return !owner.IsTimerRunning(0x8100); }, 5s));
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(tickThread, std::this_thread::get_id());
    owner.RunFor(30ms);
    EXPECT_EQ(ticks, 3) << "a stopped timer must not tick again";
}

TEST(HeadlessOwnerTimers, RestartingATimerKeepsOneTimerWithTheNewPeriod) {
    HeadlessOwner owner;
    owner.StartTimer(7, 1000);
    owner.StartTimer(7, 20);
    EXPECT_EQ(owner.RunningTimers(), (std::map<int, int>{{7, 20}}));
    int ticks = 0;
    owner.SetTimerHandler([&](int) { ++ticks; });
    EXPECT_TRUE(owner.RunUntil([&] { return ticks > 0; }, 2s));
}

TEST(HeadlessOwnerMessages, PostedFromAWorkerAndDeliveredInOrderOnTheOwnerThread) {
    HeadlessOwner owner;
    std::vector<std::pair<int, int>> seen;
    owner.SetJobMessageHandler([&](int w, int l) { seen.emplace_back(w, l); });
    std::thread worker([&] {
        owner.PostJobMessage(1, 6);
        owner.PostJobMessage(1, 3);
    });
    worker.join();
    EXPECT_TRUE(owner.RunUntil([&] { return seen.size() == 2; }, 2s));
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1, 6}, {1, 3}}));
    EXPECT_EQ(owner.JobMessages(), seen);
}

TEST(HeadlessOwnerBoxes, RecordsEveryBoxAndAnswersFromTheScriptThenByDefault) {
    HeadlessOwner owner;
    owner.ScriptAnswers({BoxAnswer::Cancel, BoxAnswer::No});
    const MessageBox question{u"Proceed to the firmware upgrade?", u"Information", BoxIcon::Question,
                              BoxButtons::OkCancel};
    const MessageBox quit{u"Quit the firmware upgrade?", u"Information", BoxIcon::Question,
                          BoxButtons::YesNo};
    std::vector<std::u16string> observed;
    owner.SetBoxObserver([&](const MessageBox& box) { observed.push_back(box.text); });

    EXPECT_EQ(owner.ShowMessageBox(question), BoxAnswer::Cancel);
    EXPECT_EQ(owner.ShowMessageBox(quit), BoxAnswer::No);
    EXPECT_EQ(owner.ShowMessageBox(question), BoxAnswer::Ok);
    EXPECT_EQ(owner.ShowMessageBox(quit), BoxAnswer::Yes);
    owner.SetDefaultAnswer(BoxAnswer::Cancel);
    EXPECT_EQ(owner.ShowMessageBox(question), BoxAnswer::Cancel);

    ASSERT_EQ(owner.Boxes().size(), 5u);
    EXPECT_EQ(owner.Boxes()[1], quit);
    EXPECT_EQ(observed.size(), 5u);
}

TEST(CountingProgress, StepsFromSeveralThreadsAreNotLost) {
    CountingProgress progress;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) progress.Step(1);
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(progress.Position(), 4000);
}

}  // namespace
}  // namespace qrv
