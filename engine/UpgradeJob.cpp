#include "engine/UpgradeJob.h"

#include <algorithm>
#include <cctype>

#include "engine/EngineMessages.h"
#include "engine/JobStage.h"
#include "engine/ReplyItem.h"
#include "platform/Text.h"

namespace qrv {

namespace {

using Steady = std::chrono::steady_clock;

constexpr int kJobMessageSuccess = 6;
constexpr int kJobMessageFailure = 3;
constexpr int kProgressPerTick = 5;
constexpr int kProgressComplete = 6000;

bool IsStillInEmergency(std::u16string_view reply) {
    return FindItem(reply, u"SoftVersion=").value_or(u"") == u"emergency";
}

std::string CameraConfigPath(const ModelList& models) {
    std::string model = models.empty() ? std::string() : models.front();
    std::transform(model.begin(), model.end(), model.begin(), [](unsigned char c) { return std::tolower(c); });
    return "/system/" + model + ".cfg";
}

}  // namespace

UpgradeJob::UpgradeJob(OwnerPort& owner, std::string address, std::string credentials, const ModelList& models,
                       int slot, const std::atomic<int>* retainFlag, const std::atomic<int>* deleteFlag,
                       const WallTime* batchTime, std::u16string serial, Timing timing)
    : client_(owner, std::move(address), std::move(credentials), models, slot, retainFlag, deleteFlag, batchTime,
              std::move(serial), timing),
      timing_(timing) {}

UpgradeJob::~UpgradeJob() { Stop(); }

void UpgradeJob::Stop() {
    if (worker_.joinable()) {
        saveStop_.request_stop();
        worker_.request_stop();
        worker_.join();
    }
    client_.Owner().StopTimer(kJobTickTimer + client_.Slot());
    client_.Owner().StopTimer(kReconfigureTimer + client_.Slot());
}

void UpgradeJob::SetFirmware(std::span<const std::uint8_t> image, std::u16string expectedVersion) {
    client_.SetUploadData(image);
    std::lock_guard lock(mutex_);
    expectedVersion_ = std::move(expectedVersion);
}

void UpgradeJob::SetUploadData(std::span<const std::uint8_t> data) { client_.SetUploadData(data); }

std::u16string UpgradeJob::ExpectedVersion() const {
    std::lock_guard lock(mutex_);
    return expectedVersion_;
}

bool UpgradeJob::HasBackup() const {
    std::lock_guard lock(mutex_);
    return backup_ != nullptr;
}

bool UpgradeJob::IsRestored() const {
    std::lock_guard lock(mutex_);
    return backup_ && backup_->IsRestored();
}

std::string UpgradeJob::BackupPath() const {
    std::lock_guard lock(mutex_);
    return backup_ ? backup_->LocalPath() : std::string();
}

std::string UpgradeJob::LocalSaveFailure() const {
    std::lock_guard lock(mutex_);
    return localSaveFailure_;
}

bool UpgradeJob::StartJob() {
    if (worker_.joinable()) {
        saveStop_.request_stop();
        worker_.request_stop();
        worker_.join();
    }
    saveStop_ = std::stop_source();
    if (saveAborted_.load()) saveStop_.request_stop();
    const std::atomic<int>* retain = client_.RetainFlag();
    client_.SetStage(retain && retain->load() != 0 ? kSavingConfig : kUploading);
    done_.store(false);
    reported_.store(false);
    worker_ = std::jthread([this](std::stop_token stop) { UpgradeWorker(stop); });
    return true;
}

// ---- the worker ----------------------------------------------------------------

void UpgradeJob::UpgradeWorker(std::stop_token stop) {
    RunSteps(stop);
    done_.store(true);
}

void UpgradeJob::RunSteps(std::stop_token stop) {
    const std::atomic<int>* retain = client_.RetainFlag();
    if (retain && retain->load() != 0 && !SaveConfiguration()) {
        DropFailedBackup();
        if (!stop.stop_requested()) client_.SetStage(kError6);
        return;
    }
    if (stop.stop_requested()) return;

    client_.SetStage(kUploading);
    const int upload = client_.UploadFirmware(stop);
    if (stop.stop_requested()) return;
    if (upload == -1) {
        ReportNetworkError();
        return;
    }
    // -2 is no error: the camera may have written the image all the same.
    const Steady::time_point answered = Steady::now();
    if (!SleepFor(timing_.pauseBeforeWait, stop)) return;

    switch (WaitForCameraOutcome(stop, answered)) {
    case WaitOutcome::Back:
        FinishCameraBack(stop);
        break;
    case WaitOutcome::OtherVersion:
        ReportVersionUpError();
        break;
    case WaitOutcome::NeverBack:
        // A camera that never comes back must not hold a batch for ever.
        if (client_.IsAutomatic()) {
            client_.SetStage(kError1);
        } else {
            ReportVersionUpError();
        }
        break;
    case WaitOutcome::Stopped:
        break;
    }
}

bool UpgradeJob::SaveConfiguration() {
    const ModelList& models = client_.Models();
    const WallTime stamp = client_.BatchTime() ? *client_.BatchTime() : WallNow();
    const std::atomic<int>* deleteFlag = client_.DeleteFlag();
    ConfigBackupStore* store = nullptr;
    {
        std::lock_guard lock(mutex_);
        backup_.reset();
        localSaveFailure_.clear();  // a later run's save says its own
        client_.SetStage(kSavingConfig);
        backup_ = std::make_unique<ConfigBackupStore>(
            client_.Address(), CameraConfigPath(models), client_.Credentials(), stamp,
            models.empty() ? std::string() : models.front(), client_.Serial(),
            deleteFlag && deleteFlag->load() != 0, timing_);
        store = backup_.get();
    }
    // Only this worker replaces or destroys the store while the job runs.
    // The save has a stop of its own, which Stop and AbortSave both request
    // (polled where a transfer runs, so no callback is chained).
    return store->Download(saveStop_.get_token());
}

// What a failed save wrote is no configuration, and the camera, which got
// no upload, still holds its settings: neither a file nor the job's record
// may suggest a kept .cfg.
void UpgradeJob::DropFailedBackup() {
    std::lock_guard lock(mutex_);
    if (!backup_) return;
    if (backup_->FailedOnThisComputer()) localSaveFailure_ = backup_->ErrorText();
    backup_->DiscardFailedDownload();
    backup_.reset();
}

void UpgradeJob::FinishCameraBack(std::stop_token stop) {
    ConfigBackupStore* store = nullptr;
    {
        std::lock_guard lock(mutex_);
        store = backup_.get();
    }
    if (!client_.IsAutomatic() && !ClaimOutcome()) return;
    client_.SetStage(store ? kLoadingConfig : kCompleted);
    client_.Owner().PostJobMessage(1, kJobMessageSuccess);
    if (!store) return;

    if (!store->RunRestore(client_, stop)) {
        // Reporting success here would hide settings that were lost; the .cfg
        // file stays for a restore by hand.
        if (!stop.stop_requested()) client_.SetStage(kError7);
        return;
    }
    if (!SleepFor(timing_.afterRestorePause, stop)) return;
    client_.SetStage(kReconfiguring);
    reconfigureStart_.store(Steady::now().time_since_epoch().count());
    client_.Owner().StartTimer(kReconfigureTimer + client_.Slot(), static_cast<int>(timing_.reconfigurePoll.count()));
}

void UpgradeJob::ReportNetworkError() {
    if (client_.IsAutomatic()) {
        client_.SetStage(kError1);
        return;
    }
    if (!ClaimOutcome()) return;
    OwnerPort& owner = client_.Owner();
    ShowBox(owner, MessageText(kMsgNetworkError, owner), kMsgInformation, BoxIcon::Stop);
    owner.PostJobMessage(1, kJobMessageFailure);
}

void UpgradeJob::ReportVersionUpError() {
    if (client_.IsAutomatic()) {
        client_.SetStage(kError2);
        return;
    }
    if (!ClaimOutcome()) return;
    OwnerPort& owner = client_.Owner();
    ShowBox(owner, MessageText(kMsgVersionUpError, owner), kMsgInformation, BoxIcon::Stop);
    owner.PostJobMessage(1, kJobMessageFailure);
}

// ---- waiting for the camera ----------------------------------------------------

bool UpgradeJob::WaitForCamera(std::stop_token stop) {
    return WaitForCameraOutcome(stop, Steady::now()) == WaitOutcome::Back;
}

UpgradeJob::WaitOutcome UpgradeJob::WaitForCameraOutcome(std::stop_token stop, Steady::time_point answered) {
    OwnerPort& owner = client_.Owner();
    const int timerId = kJobTickTimer + client_.Slot();
    client_.ResetTicks();
    owner.StartTimer(timerId, static_cast<int>(timing_.jobTick.count()));

    WaitOutcome outcome = WaitOutcome::Stopped;
    for (;;) {
        if (stop.stop_requested()) break;
        auto timeout = timing_.rebootInquiryTimeout;
        if (client_.IsAutomatic()) {
            const auto left = timing_.neverBackLimit - std::chrono::duration_cast<Timing::ms>(Steady::now() - answered);
            if (left <= Timing::ms(0)) {
                outcome = WaitOutcome::NeverBack;
                break;
            }
            timeout = std::min(timeout, left);
        }
        const std::u16string reply = client_.Inquire("inq=system", timeout, stop);
        if (stop.stop_requested()) break;
        // A rebooting camera refuses connections at once: pause before asking
        // again instead of spinning.
        if (reply.empty()) {
            SleepFor(timing_.emptyReplyPause, stop);
            continue;
        }
        // A camera that still reports its emergency state is writing the
        // image, not back with it.
        if (!client_.CheckModel(reply, false) || IsStillInEmergency(reply)) {
            SleepFor(timing_.modelMismatchPause, stop);
            continue;
        }
        answeredAfterReboot_.store(true);
        outcome = CompareVersions() ? WaitOutcome::Back : WaitOutcome::OtherVersion;
        break;
    }
    if (!stop.stop_requested()) owner.StopTimer(timerId);
    return outcome;
}

bool UpgradeJob::CompareVersions() {
    const std::u16string now = client_.VersionNow();
    std::lock_guard lock(mutex_);
    if (expectedVersion_.empty()) {
        expectedVersion_ = now;
        return true;
    }
    return expectedVersion_ == now;
}

// ---- timers ----------------------------------------------------------------------

void UpgradeJob::OnJobTimer(int id) {
    if (id == kJobTickTimer + client_.Slot()) {
        OnTick();
    } else if (id == kReconfigureTimer + client_.Slot()) {
        OnReconfigureTick();
    }
}

void UpgradeJob::OnTick() {
    client_.StepProgress(client_.IsEmergency() ? 0 : kProgressPerTick);
    if (client_.AddTick() < timing_.tickLimit) return;
    OwnerPort& owner = client_.Owner();
    owner.StopTimer(kJobTickTimer + client_.Slot());
    // Automatic mode: the worker goes on with its own wait.
    if (client_.IsAutomatic() || !ClaimOutcome()) return;
    // The worker is told to stop and takes no further step; its blocking
    // request ends at once, and the destructor joins it.
    worker_.request_stop();
    ShowBox(owner, MessageText(kMsgVersionUpError, owner), kMsgInformation, BoxIcon::Stop);
    owner.PostJobMessage(1, kJobMessageFailure);
}

bool UpgradeJob::ReadReconfigurePoll() {
    if (client_.Stage() != kReconfiguring || !reconfigurePollRunning_ || !client_.IsInquiryDone()) return false;
    reconfigurePollRunning_ = false;
    if (!client_.CheckModel(client_.InquiryReply(), false)) return false;
    client_.Owner().StopTimer(kReconfigureTimer + client_.Slot());
    {
        // The camera answers with its settings applied: the copy may go.
        std::lock_guard lock(mutex_);
        if (backup_) backup_->RemoveIfWanted();
    }
    client_.SetStage(kCompleted);
    client_.SetProgressPosition(kProgressComplete);
    return true;
}

// Polls without blocking the owner: a tick starts an inquiry, a later tick
// (or the scheduler's, sooner) reads its reply.
void UpgradeJob::OnReconfigureTick() {
    OwnerPort& owner = client_.Owner();
    const int timerId = kReconfigureTimer + client_.Slot();
    if (client_.Stage() != kReconfiguring) {
        owner.StopTimer(timerId);
        return;
    }
    ReadReconfigurePoll();
    if (client_.Stage() == kReconfiguring && !reconfigurePollRunning_) {
        client_.StartInquiry("inq=system");
        reconfigurePollRunning_ = true;
    }
    client_.StepProgress(1);
    const Steady::time_point started{Steady::duration(reconfigureStart_.load())};
    if (client_.Stage() == kReconfiguring && Steady::now() - started >= timing_.reconfigureLimit) {
        owner.StopTimer(timerId);
        // Counted as done, but nobody saw the camera with its settings back:
        // its .cfg stays.
        notSeenAfterRestore_.store(true);
        client_.SetStage(kCompleted);
    }
    if (client_.Stage() == kCompleted) client_.SetProgressPosition(kProgressComplete);
}

}  // namespace qrv
