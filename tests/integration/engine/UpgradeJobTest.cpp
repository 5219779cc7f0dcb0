// One camera's upgrade job against a simulated camera, in manual mode (boxes
// and job messages) and automatic mode (stage codes): the good runs, every row
// of the failure table, emergency cameras and the waits that must end.

#include <thread>

#include "engine/JobStage.h"
#include "engine/UpgradeJob.h"
#include "tests/integration/engine/SimTestSupport.h"

namespace qrv::test {
namespace {

using namespace std::chrono_literals;
using Messages = std::vector<std::pair<int, int>>;

struct JobRun : ::testing::Test {
    ConfigFolder folder;
    HeadlessOwner owner;
    CountingProgress bar;
    std::atomic<int> counter{0};
    std::atomic<int> retain{0};
    std::atomic<int> deleteAfter{0};
    WallTime batchTime = WallNow();
    std::unique_ptr<UpgradeJob> job;

    void Make(const std::string& address, bool automatic, Timing timing = FastTiming(), int slot = 1) {
        job = std::make_unique<UpgradeJob>(owner, address, kAdminCredentials, Package().Models(), slot, &retain,
                                           &deleteAfter, &batchTime, u"100200", timing);
        job->Client().SetProgress(&bar, automatic ? &counter : nullptr);
        job->SetFirmware(Package().Image(0), ToWide(Package().CarriedVersion()));
        owner.SetTimerHandler([this](int id) { job->OnJobTimer(id); });
    }
    // Automatic jobs end in a final stage once the worker is done.
    bool RunToFinalStage(std::chrono::milliseconds limit = 60s) {
        return owner.RunUntil([this] { return job->IsDone() && IsFinalStage(job->Stage()); }, limit);
    }
    // Manual jobs end with their job message.
    bool RunToJobMessage(std::chrono::milliseconds limit = 60s) {
        return owner.RunUntil([this] { return !owner.JobMessages().empty(); }, limit);
    }
    std::vector<std::u16string> BoxTexts() const {
        std::vector<std::u16string> texts;
        for (const MessageBox& box : owner.Boxes()) texts.push_back(box.text);
        return texts;
    }
};

// ---- good runs -------------------------------------------------------------------

TEST_F(JobRun, ManualUpgradeEndsWithTheCameraBackOnTheCarriedVersion) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    Make("127.0.0.2", false);
    ASSERT_TRUE(job->StartJob());
    EXPECT_EQ(job->Stage(), kUploading);
    ASSERT_TRUE(RunToJobMessage());
    EXPECT_EQ(owner.JobMessages(), (Messages{{1, 6}}));
    EXPECT_EQ(job->Stage(), kCompleted);
    EXPECT_EQ(job->Client().VersionNow(), u"ver1.30");
    EXPECT_TRUE(owner.Boxes().empty());
    ASSERT_TRUE(owner.RunUntil([this] { return job->IsDone(); }, 10s));
    const std::vector<SimEvent> image = Verdicts(sim, "127.0.0.2:80", "image");
    ASSERT_EQ(image.size(), 1u);
    EXPECT_TRUE(image[0].ok) << image[0].reason;
    EXPECT_GT(bar.Position(), 2293) << "one step per piece of the image, five per tick";
}

TEST_F(JobRun, AutomaticRetainSavesUploadsRestoresReconfiguresAndDeletesTheFile) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    retain = 1;
    deleteAfter = 1;
    Make("127.0.0.2", true);
    job->StartJob();
    EXPECT_EQ(job->Stage(), kSavingConfig);
    bool sawReconfiguring = false;
    ASSERT_TRUE(owner.RunUntil(
        [&] {
            sawReconfiguring = sawReconfiguring || job->Stage() == kReconfiguring;
            return job->IsDone() && IsFinalStage(job->Stage());
        },
        60s));
    EXPECT_EQ(job->Stage(), kCompleted);
    EXPECT_TRUE(sawReconfiguring);
    EXPECT_EQ(counter.load(), 6000);
    EXPECT_EQ(bar.Position(), 6000);
    EXPECT_TRUE(job->IsRestored());
    EXPECT_TRUE(folder.Files().empty()) << "Retain deletes the .cfg file after the restore";
    EXPECT_TRUE(owner.Boxes().empty());
    EXPECT_FALSE(owner.IsTimerRunning(kReconfigureTimer + 1));
    ASSERT_EQ(Verdicts(sim, "127.0.0.2:80", "restore").size(), 1u);
    EXPECT_TRUE(Verdicts(sim, "127.0.0.2:80", "restore")[0].ok);
    // The configuration was saved before the image went out.
    const std::vector<SimEvent> requests = EventsOf(sim, "request", "127.0.0.2:80");
    auto at = [&](const std::string& path) {
        return std::find_if(requests.begin(), requests.end(), [&](const SimEvent& e) { return e.path == path; });
    };
    EXPECT_LT(at("/system/qrv-k7.cfg"), at("/command/versionup.cgi"));
    EXPECT_LT(at("/command/versionup.cgi"), at("/command/all-configuration.cgi"));
}

TEST_F(JobRun, AutomaticBackupKeepsTheFileInTheBatchFolder) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    retain = 1;
    deleteAfter = 0;
    Make("127.0.0.2", true);
    job->StartJob();
    ASSERT_TRUE(RunToFinalStage());
    EXPECT_EQ(job->Stage(), kCompleted);
    const std::vector<std::filesystem::path> files = folder.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string(), "qrv-k7.100200.cfg");
    EXPECT_EQ(files[0].parent_path().filename().string(), FormatLocalTime(batchTime, "%y%m%d%H%M"));
    EXPECT_EQ(files[0].string(), job->BackupPath());
}

TEST_F(JobRun, CameraWithDocTypeGetsItsOwnImage) {
    SimProcess sim(Camera("127.0.0.2", "doctype=g3"), kScale);
    Make("127.0.0.2", true);
    const int slot = Package().SelectVariant("g3");
    ASSERT_EQ(slot, 1);
    job->SetFirmware(Package().Image(slot), ToWide(Package().CarriedVersion()));
    job->StartJob();
    ASSERT_TRUE(RunToFinalStage());
    EXPECT_EQ(job->Stage(), kCompleted);
    const std::vector<SimEvent> upload = Verdicts(sim, "127.0.0.2:80", "upload");
    ASSERT_EQ(upload.size(), 1u);
    EXPECT_EQ(upload[0].Field("image_length"), std::to_string(Package().Image(1).size()));
}

TEST_F(JobRun, WithoutAnExpectedVersionTheFirstReportedVersionIsAccepted) {
    SimProcess sim(Camera("127.0.0.2", "fault=reboot-old"), kScale);
    Make("127.0.0.2", true);
    job->SetFirmware(Package().Image(0), u"");
    job->StartJob();
    ASSERT_TRUE(RunToFinalStage());
    EXPECT_EQ(job->Stage(), kCompleted);
    EXPECT_EQ(job->ExpectedVersion(), u"ver1.20");
}

TEST_F(JobRun, EmergencyCameraIsNotAwaitedAndItsProgressIgnoresTicks) {
    SimProcess sim(Camera("127.0.0.2", "version=emergency"), kScale);
    Make("127.0.0.2", false);
    ASSERT_TRUE(job->Client().CheckModel(job->Client().Inquire("inq=system", 5s), false));
    ASSERT_TRUE(job->Client().IsEmergency());
    job->StartJob();
    ASSERT_TRUE(RunToJobMessage());
    EXPECT_EQ(owner.JobMessages(), (Messages{{1, 6}}));
    EXPECT_EQ(job->Client().VersionNow(), u"ver1.30");
    const int pieces = static_cast<int>((Package().Image(0).size() + 1459) / 1460);
    EXPECT_EQ(bar.Position(), pieces) << "the ticks of the reboot wait do not move the bar";
}

// ---- the failure table -----------------------------------------------------------

TEST_F(JobRun, UploadFailingBeforeTheWholeBodyIsNetworkError) {
    SimProcess sim(Camera("127.0.0.2", "fault=drop-upload:100000") +
                       Camera("127.0.0.3", "fault=drop-upload:100000"),
                   kScale);
    Make("127.0.0.2", false);
    job->StartJob();
    ASSERT_TRUE(RunToJobMessage());
    EXPECT_EQ(owner.JobMessages(), (Messages{{1, 3}}));
    ASSERT_EQ(owner.Boxes().size(), 1u);
    EXPECT_EQ(owner.Boxes()[0].text,
              u"Network error occurred.\r\nPlease retry the upgrade without shutting down the power.");
    EXPECT_EQ(owner.Boxes()[0].caption, u"Information");
    EXPECT_EQ(owner.Boxes()[0].icon, BoxIcon::Stop);

    HeadlessOwner autoOwner;
    UpgradeJob automatic(autoOwner, "127.0.0.3", kAdminCredentials, Package().Models(), 2, nullptr, nullptr, nullptr,
                         u"", FastTiming());
    automatic.Client().SetProgress(nullptr, &counter);
    automatic.SetFirmware(Package().Image(0), ToWide(Package().CarriedVersion()));
    automatic.StartJob();
    autoOwner.SetTimerHandler([&](int id) { automatic.OnJobTimer(id); });
    ASSERT_TRUE(autoOwner.RunUntil([&] { return automatic.IsDone(); }, 60s));
    EXPECT_EQ(automatic.Stage(), kError1);
    EXPECT_TRUE(autoOwner.Boxes().empty());
}

TEST_F(JobRun, CameraBackWithTheOldVersionIsVersionUpError) {
    SimProcess sim(Camera("127.0.0.2", "fault=reboot-old") + Camera("127.0.0.3", "fault=reboot-old"), kScale);
    Make("127.0.0.2", false);
    job->StartJob();
    ASSERT_TRUE(RunToJobMessage());
    EXPECT_EQ(owner.JobMessages(), (Messages{{1, 3}}));
    EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{u"Version up error."}));
    EXPECT_EQ(job->Client().VersionNow(), u"ver1.20");

    Make("127.0.0.3", true, FastTiming(), 2);
    job->StartJob();
    ASSERT_TRUE(RunToFinalStage());
    EXPECT_EQ(job->Stage(), kError2);
    EXPECT_EQ(owner.Boxes().size(), 1u) << "automatic mode shows nothing";
}

TEST_F(JobRun, ManualCameraThatNeverComesBackHitsTheTickLimitAndTheWorkerStops) {
    SimProcess sim(Camera("127.0.0.2", "fault=never-back"), kScale);
    Timing timing = FastTiming();
    timing.tickLimit = 100;  // one second of 10 ms ticks
    Make("127.0.0.2", false, timing);
    job->StartJob();
    ASSERT_TRUE(RunToJobMessage());
    EXPECT_EQ(owner.JobMessages(), (Messages{{1, 3}}));
    EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{u"Version up error."}));
    EXPECT_FALSE(owner.IsTimerRunning(kJobTickTimer + 1));
    ASSERT_TRUE(owner.RunUntil([this] { return job->IsDone(); }, 10s)) << "the stopped worker ends";
    const int stage = job->Stage();
    owner.RunFor(300ms);
    EXPECT_EQ(job->Stage(), stage) << "no further step after the stop";
    EXPECT_EQ(owner.JobMessages().size(), 1u);
    EXPECT_EQ(owner.Boxes().size(), 1u);
}

TEST_F(JobRun, AutomaticCameraThatNeverComesBackStopsTickingThenEndsInErrorOne) {
    SimProcess sim(Camera("127.0.0.2", "fault=never-back"), kScale);
    Timing timing = FastTiming();
    timing.tickLimit = 100;
    timing.neverBackLimit = 3s;
    Make("127.0.0.2", true, timing);
    job->StartJob();
    ASSERT_TRUE(owner.RunUntil([this] { return job->Client().TickCount() > 100; }, 30s));
    EXPECT_FALSE(owner.IsTimerRunning(kJobTickTimer + 1)) << "ticking stops at the limit";
    EXPECT_EQ(job->Stage(), kOverwriting) << "the worker goes on waiting";
    EXPECT_FALSE(job->IsDone());
    ASSERT_TRUE(RunToFinalStage(30s));
    EXPECT_EQ(job->Stage(), kError1);
    EXPECT_TRUE(owner.Boxes().empty());
    EXPECT_TRUE(owner.JobMessages().empty());
}

TEST_F(JobRun, AutomaticConfigurationThatCannotBeSavedIsErrorSixWithoutUpload) {
    SimProcess sim(Camera("127.0.0.2", "fault=html-config"), kScale);
    retain = 1;
    Make("127.0.0.2", true);
    job->StartJob();
    ASSERT_TRUE(RunToFinalStage());
    EXPECT_EQ(job->Stage(), kError6);
    EXPECT_TRUE(RequestsTo(sim, "127.0.0.2:80", "/command/versionup.cgi").empty());
}

TEST_F(JobRun, AutomaticRestoreFailingFourTimesIsErrorSevenAndKeepsTheFile) {
    SimProcess sim(Camera("127.0.0.2", "fault=restore-refuse:4"), kScale);
    retain = 1;
    deleteAfter = 1;
    Make("127.0.0.2", true);
    job->StartJob();
    ASSERT_TRUE(RunToFinalStage());
    EXPECT_EQ(job->Stage(), kError7);
    EXPECT_FALSE(job->IsRestored());
    EXPECT_EQ(folder.Files().size(), 1u) << "the .cfg file stays for a restore by hand";
    EXPECT_EQ(RequestsTo(sim, "127.0.0.2:80", "/command/all-configuration.cgi").size(), 4u);
    EXPECT_EQ(owner.JobMessages(), (Messages{{1, 6}})) << "the camera itself came back";
}

TEST_F(JobRun, AutomaticCameraSilentWhileReconfiguringCountsAsDoneAfterTheLimit) {
    SimProcess sim(Camera("127.0.0.2", "reconfig=3600000"), kScale);
    retain = 1;
    deleteAfter = 1;
    Timing timing = FastTiming();
    timing.reconfigureLimit = 1500ms;
    Make("127.0.0.2", true, timing);
    job->StartJob();
    ASSERT_TRUE(owner.RunUntil([this] { return job->Stage() == kReconfiguring; }, 60s));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(RunToFinalStage());
    EXPECT_EQ(job->Stage(), kCompleted);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1400ms);
    EXPECT_EQ(counter.load(), 6000);
}

// The scheduler reads a finished Reconfiguring poll between two polls: a camera
// that answered as itself completes its job at once, one that did not keeps
// it, and the next poll asks again; no poll is added either way.
TEST_F(JobRun, AReconfiguringPollIsReadAsSoonAsItsAnswerIsIn) {
    struct Case {
        std::string reconfig;  // how long the camera refuses connections after the restore
        bool completes;
    };
    for (const Case& c : {Case{"reconfig=1", true}, Case{"reconfig=3600000", false}}) {
        SCOPED_TRACE(c.reconfig);
        SimProcess sim(Camera("127.0.0.2", c.reconfig), kScale);
        retain = 1;
        deleteAfter = 1;
        Timing timing = FastTiming();
        timing.reconfigurePoll = 3600s;  // the test delivers the one poll itself
        timing.reconfigureLimit = 7200s;
        Make("127.0.0.2", true, timing);
        const int timer = kReconfigureTimer + 1;
        job->StartJob();
        ASSERT_TRUE(owner.RunUntil([this] { return job->Stage() == kReconfiguring; }, 60s));
        EXPECT_FALSE(job->ReadReconfigurePoll()) << "no poll was sent yet";
        const std::size_t asked = RequestsTo(sim, "127.0.0.2:80", "/command/inquiry.cgi").size();
        job->OnJobTimer(timer);
        ASSERT_TRUE(owner.RunUntil([this] { return job->Client().IsInquiryDone(); }, 20s));
        EXPECT_EQ(job->Stage(), kReconfiguring) << "nothing reads the answer on its own";
        EXPECT_EQ(job->ReadReconfigurePoll(), c.completes);
        EXPECT_EQ(job->Stage(), c.completes ? kCompleted : kReconfiguring);
        EXPECT_EQ(owner.IsTimerRunning(timer), !c.completes);
        if (c.completes) {
            EXPECT_EQ(counter.load(), 6000);
            EXPECT_EQ(RequestsTo(sim, "127.0.0.2:80", "/command/inquiry.cgi").size(), asked + 1) << "one poll";
        }
        EXPECT_FALSE(job->ReadReconfigurePoll()) << "an answer is read once";
        job.reset();
    }
}

// ---- the reboot wait -------------------------------------------------------------

TEST_F(JobRun, EmptyRepliesAreRetriedAfterAPauseNotInABusyLoop) {
    SimProcess sim(Camera("127.0.0.2", "fault=silent"), kScale);
    Timing timing = FastTiming();
    timing.rebootInquiryTimeout = 20ms;
    timing.emptyReplyPause = 200ms;
    Make("127.0.0.2", true, timing);
    std::stop_source stop;
    bool back = true;
    std::jthread waiter([&] { back = job->WaitForCamera(stop.get_token()); });
    owner.RunFor(1100ms);
    stop.request_stop();
    waiter.join();
    EXPECT_FALSE(back);
    const size_t asked = RequestsTo(sim, "127.0.0.2:80", "/command/inquiry.cgi").size();
    EXPECT_GE(asked, 2u);
    EXPECT_LE(asked, 8u) << "about one inquiry per 220 ms, not one per 20 ms";
}

TEST_F(JobRun, DestroyingARunningJobStopsItsWorkerAndTimers) {
    SimProcess sim(Camera("127.0.0.2", "fault=never-back"), kScale);
    Make("127.0.0.2", true);
    job->StartJob();
    ASSERT_TRUE(owner.RunUntil([this] { return job->Client().TickCount() > 5; }, 30s));
    const auto start = std::chrono::steady_clock::now();
    job.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(owner.RunningTimers().empty());
}

}  // namespace
}  // namespace qrv::test
