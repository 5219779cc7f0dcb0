// The job's one-second timer as the owner delivers it: progress per tick, the
// tick limit in manual and automatic mode.

#include <gtest/gtest.h>

#include "engine/JobStage.h"
#include "engine/UpgradeJob.h"
#include "platform/HeadlessOwner.h"

namespace qrv {
namespace {

const ModelList kModels = {"QRV-K7", "QRV-K7N", "QRV-K7P"};

struct JobTimer : ::testing::Test {
    HeadlessOwner owner;
    CountingProgress bar;
    std::atomic<int> counter{0};
    UpgradeJob job{owner, "127.0.0.2", "YWRtaW46YWRtaW4=", kModels, 3};
    const int tick = kJobTickTimer + 3;

    void Tick(int times) {
        for (int i = 0; i < times; ++i) job.OnJobTimer(tick);
    }
};

TEST_F(JobTimer, EachTickAdvancesProgressByFiveUnlessTheCameraIsInEmergency) {
    job.Client().SetProgress(&bar, &counter);
    Tick(3);
    EXPECT_EQ(bar.Position(), 15);
    EXPECT_EQ(counter.load(), 15);
    ASSERT_TRUE(job.Client().CheckModel(u"ModelName=QRV-K7&SoftVersion=emergency", false));
    Tick(3);
    EXPECT_EQ(bar.Position(), 15);
    EXPECT_EQ(job.Client().TickCount(), 6);
}

TEST_F(JobTimer, ManualTickLimitStopsTheTimerShowsVersionUpErrorOnceAndPostsFailure) {
    job.Client().SetProgress(&bar, nullptr);
    owner.StartTimer(tick, 1000);
    Tick(600);
    EXPECT_TRUE(owner.IsTimerRunning(tick)) << "600 ticks are still within the limit";
    EXPECT_TRUE(owner.Boxes().empty());
    Tick(1);
    EXPECT_FALSE(owner.IsTimerRunning(tick));
    ASSERT_EQ(owner.Boxes().size(), 1u);
    EXPECT_EQ(owner.Boxes()[0].text, u"Version up error.");
    EXPECT_EQ(owner.Boxes()[0].caption, u"Information");
    EXPECT_EQ(owner.Boxes()[0].icon, BoxIcon::Stop);
    EXPECT_EQ(owner.JobMessages(), (std::vector<std::pair<int, int>>{{1, 3}}));
    Tick(5);  // a late tick must not report again
    EXPECT_EQ(owner.Boxes().size(), 1u);
    EXPECT_EQ(owner.JobMessages().size(), 1u);
}

TEST_F(JobTimer, AutomaticTickLimitOnlyStopsTheTimer) {
    job.Client().SetProgress(&bar, &counter);
    job.Client().SetStage(kOverwriting);
    owner.StartTimer(tick, 1000);
    Tick(601);
    EXPECT_FALSE(owner.IsTimerRunning(tick));
    EXPECT_TRUE(owner.Boxes().empty());
    EXPECT_TRUE(owner.JobMessages().empty());
    EXPECT_EQ(job.Stage(), kOverwriting);
}

TEST_F(JobTimer, TicksOfOtherSlotsAreIgnored) {
    job.Client().SetProgress(&bar, nullptr);
    job.OnJobTimer(kJobTickTimer);
    job.OnJobTimer(kJobTickTimer + 4);
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(job.Client().TickCount(), 0);
}

TEST_F(JobTimer, ReconfigureTimerOutsideStageEightStopsItself) {
    owner.StartTimer(kReconfigureTimer + 3, 10000);
    job.OnJobTimer(kReconfigureTimer + 3);
    EXPECT_FALSE(owner.IsTimerRunning(kReconfigureTimer + 3));
}

}  // namespace
}  // namespace qrv
