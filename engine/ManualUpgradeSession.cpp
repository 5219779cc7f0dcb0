#include "engine/ManualUpgradeSession.h"

#include <algorithm>
#include <cctype>

#include "engine/EngineMessages.h"
#include "engine/JobStage.h"
#include "platform/Clock.h"
#include "platform/Text.h"
#include "serial_protect/SerialRules.h"

namespace qrv {

namespace {

constexpr int kPollProgressStep = 4;

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

ManualUpgradeSession::ManualUpgradeSession(OwnerPort& owner, const FirmwarePackage& package, Timing timing,
                                           ManualSessionView* view)
    : owner_(owner), package_(package), timing_(timing), view_(view ? view : &noView_) {}

ManualUpgradeSession::~ManualUpgradeSession() {
    JoinWorkers();
    owner_.StopTimer(kManualPollTimer);
    job_.reset();
}

void ManualUpgradeSession::Stop() {
    CancelProbes();
    JoinWorkers();
    if (job_) job_->Stop();
    owner_.StopTimer(kManualPollTimer);
    pollRunning_ = false;
}

void ManualUpgradeSession::JoinWorkers() {
    for (std::jthread* worker : {&saveWorker_, &restoreWorker_}) {
        if (worker->joinable()) {
            worker->request_stop();
            worker->join();
        }
    }
}

// ---- probes (blocking) -------------------------------------------------------------

bool ManualUpgradeSession::RunProbe(const std::string& credentials) {
    std::string address;
    {
        std::lock_guard lock(mutex_);
        address = address_;
    }
    ProbeResult result = ProbeManualTarget(owner_, package_, address, credentials, timing_, probeStop_.get_token());
    const bool ok = result.ok;
    std::lock_guard lock(mutex_);
    probe_ = std::move(result);
    credentials_ = credentials;
    return ok;
}

bool ManualUpgradeSession::ProbeTarget(const std::string& address, const std::string& credentials) {
    {
        std::lock_guard lock(mutex_);
        address_ = address;
    }
    const bool probed = RunProbe(credentials);
    if (probeStop_.stop_requested()) return false;
    if (!probed || !ns_serial_protect::IsSerialAllowed(LastProbe().serial)) {
        ShowBox(owner_, u"This firmware is not suitable for the target camera.", kMsgInformation, BoxIcon::Question);
        return false;
    }
    shownStage_.store(kStandby);
    step_.store(ManualStep::Confirm);
    return true;
}

bool ManualUpgradeSession::ConfirmUpgrade(const std::string& credentials) {
    const BoxAnswer answer = ShowBox(owner_, MessageText(kMsgProceed, owner_), kMsgInformation, BoxIcon::Question,
                                     BoxButtons::OkCancel);
    if (answer != BoxAnswer::Ok) return false;
    if (!RunProbe(credentials)) return false;
    step_.store(ManualStep::Running);
    return true;
}

ProbeResult ManualUpgradeSession::LastProbe() const {
    std::lock_guard lock(mutex_);
    return probe_;
}

std::string ManualUpgradeSession::SaveError() const {
    std::lock_guard lock(mutex_);
    return saveError_;
}

std::string ManualUpgradeSession::BackupPath() const {
    std::lock_guard lock(mutex_);
    return backupPath_;
}

// ---- the running step (owner thread) ------------------------------------------------

void ManualUpgradeSession::Start(SetupDataMode mode, ProgressSink* progress) {
    JoinWorkers();
    job_.reset();
    mode_ = mode;
    progress_ = progress;
    step_.store(ManualStep::Running);
    finished_.store(false);
    cameraBack_.store(false);
    restored_.store(false);
    notSeenAfterRestore_.store(false);
    if (mode == SetupDataMode::Discard) {
        StartManualUpgrade();
        return;
    }
    DropBackup();
    ShowStage(kSavingConfig);
    const ModelList& models = package_.Models();
    const std::string model = models.empty() ? std::string() : models.front();
    {
        std::lock_guard lock(mutex_);
        backup_ = std::make_unique<ConfigBackupStore>(address_, "/system/" + LowerCase(model) + ".cfg", credentials_,
                                                      WallNow(), model, probe_.serial,
                                                      mode == SetupDataMode::Retain, timing_);
        backupPath_.clear();
        saveError_.clear();
        saveFailedHere_ = false;
    }
    ConfigBackupStore* store = backup_.get();
    saveWorker_ = std::jthread([this, store](std::stop_token stop) {
        const bool saved = store->Download(stop);
        {
            // The name the file really got (another save may have held the first).
            std::lock_guard lock(mutex_);
            if (saved) backupPath_ = store->LocalPath();
            if (!saved && !stop.stop_requested()) {
                saveError_ = store->ErrorText();
                saveFailedHere_ = store->FailedOnThisComputer();
            }
        }
        if (!stop.stop_requested()) owner_.PostJobMessage(kSessionMessage, saved ? kSaved : kSaveFailed);
    });
}

void ManualUpgradeSession::StartManualUpgrade() {
    job_.reset();
    std::string address;
    std::string credentials;
    int slot = 0;
    {
        std::lock_guard lock(mutex_);
        address = address_;
        credentials = credentials_;
        slot = probe_.slot;
    }
    job_ = std::make_unique<UpgradeJob>(owner_, address, credentials, package_.Models(), 0, nullptr, nullptr, nullptr,
                                        std::u16string(), timing_);
    job_->Client().SetProgress(progress_, nullptr);
    job_->SetFirmware(package_.Image(slot), ToWide(package_.CarriedVersion()));
    ShowStage(kUploading);
    job_->StartJob();
}

void ManualUpgradeSession::OnJobMessage(int wParam, int lParam) {
    if (wParam == kSessionMessage) {
        OnSessionEvent(lParam);
        return;
    }
    if (wParam != 1) return;
    if (lParam == 3) {
        owner_.StopTimer(kManualPollTimer);
        owner_.StopTimer(kJobTickTimer);
        DropBackup();
        EnterStep(ManualStep::Target);
        return;
    }
    if (lParam != 6) return;
    cameraBack_.store(true);
    owner_.StopTimer(kJobTickTimer);
    if (!backup_) {
        EnterStep(ManualStep::Result);
        return;
    }
    OnCameraBack();
}

void ManualUpgradeSession::OnSessionEvent(int event) {
    switch (event) {
    case kSaved:
        StartManualUpgrade();
        break;
    case kSaveFailed: {
        // A folder or file this computer may not make or write is named:
        // the user can mend it (a standard user below Program Files), the
        // camera cannot.
        std::u16string text = u"Cannot save camera's configuration!";
        {
            std::lock_guard lock(mutex_);
            if (saveFailedHere_) text += u"\n" + FromUtf8(saveError_);
        }
        ShowBox(owner_, text, kMsgInformation, BoxIcon::Stop);
        DropBackup();
        EnterStep(ManualStep::Target);
        break;
    }
    case kRestoreDone:
        // The restore and the settle pause are over: the camera applies its
        // configuration while the final poll runs.
        ShowStage(kReconfiguring);
        pollStart_ = std::chrono::steady_clock::now();
        pollRunning_ = false;
        owner_.StartTimer(kManualPollTimer, static_cast<int>(timing_.manualPoll.count()));
        break;
    default:
        break;
    }
}

// The restore sequence and the settle pause run on a worker; the owner hears
// of their end by a session message.
void ManualUpgradeSession::OnCameraBack() {
    ShowStage(kLoadingConfig);
    ConfigBackupStore* store = backup_.get();
    CameraClient* client = &job_->Client();
    restoreWorker_ = std::jthread([this, store, client](std::stop_token stop) {
        const bool restored = store->RunRestore(*client, stop);
        restored_.store(restored);
        if (!SleepFor(timing_.manualRestoreSettle, stop)) return;
        owner_.PostJobMessage(kSessionMessage, kRestoreDone);
    });
}

void ManualUpgradeSession::OnTimer(int id) {
    if (id == kManualPollTimer) {
        PollTick();
        return;
    }
    if (!job_) return;
    job_->OnJobTimer(id);
    if (id == kJobTickTimer) {
        view_->ShowEmergencyPicture(job_->Client().IsEmergency());
        SyncStage();
    }
}

// One tick of the final poll: reads the reply of the inquiry started before,
// starts the next one, and gives up after the poll limit.
void ManualUpgradeSession::PollTick() {
    if (!job_ || finished_.load()) {
        owner_.StopTimer(kManualPollTimer);
        return;
    }
    CameraClient& client = job_->Client();
    if (pollRunning_ && client.IsInquiryDone()) {
        pollRunning_ = false;
        if (client.CheckModel(client.InquiryReply(), false)) {
            owner_.StopTimer(kManualPollTimer);
            // Back with its settings applied: the copy may go.
            if (backup_ && backup_->IsRestored()) backup_->RemoveIfWanted();
            EnterStep(ManualStep::Result);
            return;
        }
    }
    if (!pollRunning_) {
        client.StartInquiry("inq=system");
        pollRunning_ = true;
    }
    if (progress_) progress_->Step(kPollProgressStep);
    if (std::chrono::steady_clock::now() - pollStart_ >= timing_.manualPollLimit) {
        owner_.StopTimer(kManualPollTimer);
        notSeenAfterRestore_.store(backup_ && backup_->IsRestored());
        EnterStep(ManualStep::Result);
    }
}

void ManualUpgradeSession::SyncStage() {
    const int stage = job_->Stage();
    // With settings to put back, the camera is not done when its job is: the
    // restore's stages come next, and "Completed" must not show before them
    // (a tick can fall between the job's end and its message).
    if (stage == kCompleted && backup_ != nullptr) return;
    if (stage != shownStage_.load()) ShowStage(stage);
    if (stage == kCompleted && backup_ == nullptr) EnterStep(ManualStep::Result);
}

void ManualUpgradeSession::ShowStage(int stage) {
    shownStage_.store(stage);
    view_->ShowStage(stage);
}

// Step 3 after a failure, step 6 at the end of a good run.
void ManualUpgradeSession::EnterStep(ManualStep step) {
    if (finished_.load()) return;
    if (step == ManualStep::Result && backup_ && !backup_->IsRestored()) {
        ShowBox(owner_, u"Fault to upload configuration!", kMsgInformation, BoxIcon::Stop);
    }
    DropBackup();
    step_.store(step);
    finished_.store(true);
    view_->ShowStep(step);
}

void ManualUpgradeSession::DropBackup() {
    JoinWorkers();
    if (backup_) backup_->DiscardFailedDownload();
    backup_.reset();
}

}  // namespace qrv
