// The manual upgrade as the wizard runs it, from the target page to the
// result page: the probe's refusals, the confirmation, saving and restoring the
// settings, the final poll, and what the user sees on the way.

#include <atomic>
#include <thread>

#include "engine/JobStage.h"
#include "engine/ManualUpgradeSession.h"
#include "serial_protect/SerialRules.h"
#include "tests/integration/engine/SimTestSupport.h"

namespace qrv::test {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::u16string>;

constexpr const char16_t* kNotSuitable = u"This firmware is not suitable for the target camera.";

// Records what the pages would show, on the owner's thread.
struct PageRecorder : ManualSessionView {
    std::vector<int> stages;
    std::vector<ManualStep> steps;
    void ShowStage(int stage) override { stages.push_back(stage); }
    void ShowStep(ManualStep step) override { steps.push_back(step); }
};

struct Manual : ::testing::Test {
    ConfigFolder folder;
    HeadlessOwner owner;
    CountingProgress bar;
    PageRecorder pages;
    std::unique_ptr<ManualUpgradeSession> session;

    void SetUp() override {
        ns_serial_protect::InitSerialRules(ns_serial_protect::kBuiltInOrder, ns_serial_protect::kBuiltInAllow,
                                           ns_serial_protect::kBuiltInDeny);
        Make(FastTiming());
    }
    void Make(Timing timing) {
        session = std::make_unique<ManualUpgradeSession>(owner, Package(), timing, &pages);
        owner.SetTimerHandler([this](int id) { session->OnTimer(id); });
        owner.SetJobMessageHandler([this](int w, int l) { session->OnJobMessage(w, l); });
    }
    Texts BoxTexts() const {
        Texts texts;
        for (const MessageBox& box : owner.Boxes()) texts.push_back(box.text);
        return texts;
    }
    bool Upgrade(SetupDataMode mode, const std::string& address = "127.0.0.2") {
        if (!session->ProbeTarget(address, kAdminCredentials)) return false;
        if (!session->ConfirmUpgrade(kAdminCredentials)) return false;
        session->Start(mode, &bar);
        return owner.RunUntil([this] { return session->IsFinished(); }, 90s);
    }
    // True when `wanted` appear in this order among the shown stages.
    bool ShownInOrder(std::vector<int> wanted) const {
        size_t next = 0;
        for (int stage : pages.stages) {
            if (next < wanted.size() && stage == wanted[next]) ++next;
        }
        return next == wanted.size();
    }
};

// ---- whole runs ------------------------------------------------------------------

TEST_F(Manual, RetainRunSavesUploadsRestoresPollsAndDeletesTheFile) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    ASSERT_TRUE(Upgrade(SetupDataMode::Retain));
    EXPECT_EQ(session->Step(), ManualStep::Result);
    EXPECT_EQ(pages.steps, (std::vector<ManualStep>{ManualStep::Result}));
    EXPECT_TRUE(session->CameraCameBack());
    EXPECT_TRUE(session->ConfigurationRestored());
    EXPECT_TRUE(ShownInOrder({kSavingConfig, kUploading, kOverwriting, kLoadingConfig, kReconfiguring}))
        << ::testing::PrintToString(pages.stages);
    EXPECT_EQ(BoxTexts(), (Texts{u"Proceed to the firmware upgrade?"}));
    EXPECT_EQ(owner.Boxes()[0].buttons, BoxButtons::OkCancel);
    EXPECT_EQ(owner.Boxes()[0].icon, BoxIcon::Question);
    EXPECT_TRUE(folder.Files().empty());
    ASSERT_EQ(Verdicts(sim, "127.0.0.2:80", "restore").size(), 1u);
    EXPECT_TRUE(Verdicts(sim, "127.0.0.2:80", "restore")[0].ok);
    EXPECT_FALSE(owner.IsTimerRunning(kManualPollTimer));
    // The camera answers with the administrator it had before the upgrade.
    CameraClient after(owner, "127.0.0.2", kAdminCredentials, Package().Models());
    EXPECT_TRUE(after.CheckAdministrator(after.Inquire("inq=user", 5s)));
}

TEST_F(Manual, BackupRunKeepsTheFileDiscardRunSavesNothing) {
    SimProcess sim(Camera("127.0.0.2") + Camera("127.0.0.3"), kScale);
    ASSERT_TRUE(Upgrade(SetupDataMode::Backup));
    EXPECT_TRUE(session->ConfigurationRestored());
    ASSERT_EQ(folder.Files().size(), 1u);
    EXPECT_EQ(folder.Files()[0].string(), session->BackupPath());

    Make(FastTiming());
    pages = {};
    ASSERT_TRUE(Upgrade(SetupDataMode::Discard, "127.0.0.3"));
    EXPECT_EQ(session->Step(), ManualStep::Result);
    EXPECT_TRUE(RequestsTo(sim, "127.0.0.3:80", "/system/qrv-k7.cfg").empty());
    EXPECT_TRUE(RequestsTo(sim, "127.0.0.3:80", "/command/all-configuration.cgi").empty());
    EXPECT_FALSE(ShownInOrder({kLoadingConfig}));
    EXPECT_EQ(folder.Files().size(), 1u);
}

TEST_F(Manual, ConfigurationThatCannotBeSavedReturnsToTheTargetPageWithoutUpload) {
    SimProcess sim(Camera("127.0.0.2", "fault=html-config"), kScale);
    ASSERT_TRUE(Upgrade(SetupDataMode::Retain));
    EXPECT_EQ(session->Step(), ManualStep::Target);
    EXPECT_FALSE(session->CameraCameBack());
    EXPECT_EQ(BoxTexts(), (Texts{u"Proceed to the firmware upgrade?", u"Cannot save camera's configuration!"}));
    EXPECT_EQ(owner.Boxes()[1].caption, u"Information");
    EXPECT_EQ(owner.Boxes()[1].icon, BoxIcon::Stop);
    EXPECT_TRUE(RequestsTo(sim, "127.0.0.2:80", "/command/versionup.cgi").empty());
    EXPECT_TRUE(folder.Files().empty()) << "nothing of a failed save is left";
    EXPECT_TRUE(session->BackupPath().empty());
    EXPECT_NE(session->SaveError().find("web page"), std::string::npos) << session->SaveError();
}

TEST_F(Manual, RestoreThatFailsFourTimesIsReportedOnTheResultStepAndKeepsTheFile) {
    SimProcess sim(Camera("127.0.0.2", "fault=restore-refuse:4"), kScale);
    ASSERT_TRUE(Upgrade(SetupDataMode::Retain));
    EXPECT_EQ(session->Step(), ManualStep::Result);
    EXPECT_TRUE(session->CameraCameBack());
    EXPECT_FALSE(session->ConfigurationRestored());
    EXPECT_EQ(BoxTexts(), (Texts{u"Proceed to the firmware upgrade?", u"Fault to upload configuration!"}));
    EXPECT_EQ(owner.Boxes()[1].icon, BoxIcon::Stop);
    EXPECT_EQ(folder.Files().size(), 1u);
}

TEST_F(Manual, FailedJobReturnsToTheTargetPage) {
    SimProcess sim(Camera("127.0.0.2", "fault=reboot-old"), kScale);
    ASSERT_TRUE(Upgrade(SetupDataMode::Retain));
    EXPECT_EQ(session->Step(), ManualStep::Target);
    EXPECT_EQ(pages.steps, (std::vector<ManualStep>{ManualStep::Target}));
    EXPECT_EQ(BoxTexts(), (Texts{u"Proceed to the firmware upgrade?", u"Version up error."}));
    EXPECT_TRUE(RequestsTo(sim, "127.0.0.2:80", "/command/all-configuration.cgi").empty());
    EXPECT_EQ(folder.Files().size(), 1u) << "the saved configuration is not thrown away";
}

TEST_F(Manual, CameraSilentAfterTheRestoreReachesTheResultAfterThePollLimit) {
    SimProcess sim(Camera("127.0.0.2", "reconfig=3600000"), kScale);
    ASSERT_TRUE(Upgrade(SetupDataMode::Retain));
    EXPECT_EQ(session->Step(), ManualStep::Result);
    EXPECT_TRUE(session->ConfigurationRestored());
    EXPECT_GE(bar.Position(), 4 * 100) << "four steps per poll tick over the 1.5 s limit";
    // Nobody saw the camera with its settings back: the copy stays, named.
    EXPECT_TRUE(session->NotSeenAfterRestore());
    ASSERT_EQ(folder.Files().size(), 1u);
    EXPECT_EQ(session->BackupPath(), folder.Files().front().string());
}

// The window goes while the probe waits on a camera that never answers: the
// probe ends at once, and the session can be freed right after.
TEST_F(Manual, AProbeUnderWayEndsAtOnceWhenTheSessionGoes) {
    SimProcess sim(Camera("127.0.0.2", "fault=silent"), kScale);
    Timing timing = FastTiming();
    timing.inquiryTimeout = 60s;
    Make(timing);
    std::atomic<bool> accepted{true};
    std::jthread probe([&] { accepted = session->ProbeTarget("127.0.0.2", kAdminCredentials); });
    ASSERT_TRUE(sim.WaitForEvent([](const SimEvent& e) { return e.kind == "request"; }, 10s));
    const auto cancelled = std::chrono::steady_clock::now();
    session->CancelProbes();
    probe.join();
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, 5s) << "not the inquiry's 60 s";
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(BoxTexts().empty()) << "a cancelled probe refuses nothing on screen";
    session.reset();
}

// ---- the probe -------------------------------------------------------------------

TEST_F(Manual, ProbeReadsIdentityVersionImageAndAdministrator) {
    SimProcess sim(Camera("127.0.0.2", "doctype=g3"), kScale);
    ASSERT_TRUE(session->ProbeTarget("127.0.0.2", kAdminCredentials));
    const ProbeResult probe = session->LastProbe();
    EXPECT_EQ(probe.model, u"QRV-K7");
    EXPECT_EQ(probe.serial, u"100200");
    EXPECT_EQ(probe.versionBefore, u"ver1.20");
    EXPECT_EQ(probe.docType, u"g3");
    EXPECT_EQ(probe.slot, 1);
    EXPECT_EQ(probe.admin, ProbeResult::Admin::Ok);
    EXPECT_EQ(session->Step(), ManualStep::Confirm);
    EXPECT_TRUE(owner.Boxes().empty());
}

TEST_F(Manual, ProbeRefusalsShowTheirMessageAndThenNotSuitable) {
    SimProcess sim(Camera("127.0.0.2", "user=op:op:3") + Camera("127.0.0.3", "model=QRV-X1") +
                       Camera("127.0.0.4", "fault=always401"),
                   kScale);
    struct Case {
        std::string address;
        std::string credentials;
        std::u16string first;
    };
    const std::vector<Case> cases = {
        {"127.0.0.2", CameraClient::Base64Encode("admin:nope"),
         u"Please enter correct user name and password for the administrator."},
        {"127.0.0.2", CameraClient::Base64Encode("op:op"),
         u"Level 4 users other than Administrator cannot run the program."},
        {"127.0.0.3", kAdminCredentials, u"This program works for the QRV-K7. Please select the correct camera."},
        {"127.0.0.9", kAdminCredentials, u"This program works for the QRV-K7. Please select the correct camera."},
        {"127.0.0.4", kAdminCredentials, u"This program works for the QRV-K7. Please select the correct camera."},
    };
    size_t seen = 0;
    for (const Case& c : cases) {
        EXPECT_FALSE(session->ProbeTarget(c.address, c.credentials)) << c.address;
        const Texts texts = BoxTexts();
        ASSERT_EQ(texts.size(), seen + 2) << c.address;
        EXPECT_EQ(texts[seen], c.first);
        EXPECT_EQ(texts[seen + 1], kNotSuitable);
        EXPECT_EQ(owner.Boxes()[seen + 1].icon, BoxIcon::Question);
        EXPECT_EQ(owner.Boxes()[seen + 1].buttons, BoxButtons::Ok);
        seen += 2;
    }
}

TEST_F(Manual, RefusedSerialIsNotSuitable) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    ns_serial_protect::InitSerialRules("allow,deny", "all", "100200");
    EXPECT_FALSE(session->ProbeTarget("127.0.0.2", kAdminCredentials));
    EXPECT_EQ(BoxTexts(), (Texts{kNotSuitable}));
    EXPECT_EQ(session->Step(), ManualStep::Target);
}

TEST_F(Manual, EmergencyCameraSkipsTheAdministratorTest) {
    SimProcess sim(Camera("127.0.0.2", "version=emergency"), kScale);
    ASSERT_TRUE(session->ProbeTarget("127.0.0.2", CameraClient::Base64Encode("any:one")));
    const ProbeResult probe = session->LastProbe();
    EXPECT_TRUE(probe.emergency);
    EXPECT_EQ(probe.versionBefore, u"unknown");
    EXPECT_EQ(probe.admin, ProbeResult::Admin::NotAsked);
    EXPECT_EQ(RequestsTo(sim, "127.0.0.2:80", "/command/inquiry.cgi").size(), 1u) << "inq=system only";
}

TEST_F(Manual, CancelledConfirmationMakesNoSecondProbe) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    ASSERT_TRUE(session->ProbeTarget("127.0.0.2", kAdminCredentials));
    owner.ScriptAnswers({BoxAnswer::Cancel});
    EXPECT_FALSE(session->ConfirmUpgrade(kAdminCredentials));
    EXPECT_EQ(RequestsTo(sim, "127.0.0.2:80", "/command/inquiry.cgi").size(), 2u);
    EXPECT_EQ(session->Step(), ManualStep::Confirm);
}

TEST_F(Manual, SecondProbeUsesTheNewCredentialsAndCanRefuse) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    ASSERT_TRUE(session->ProbeTarget("127.0.0.2", kAdminCredentials));
    EXPECT_FALSE(session->ConfirmUpgrade(CameraClient::Base64Encode("admin:changed")));
    EXPECT_EQ(BoxTexts(), (Texts{u"Proceed to the firmware upgrade?",
                                 u"Please enter correct user name and password for the administrator."}));
    EXPECT_EQ(session->Step(), ManualStep::Confirm);
}

}  // namespace
}  // namespace qrv::test
