#pragma once
// The manual upgrade of one camera as the wizard runs it, from the target
// page to the result page: probe and serial check, confirmation and second
// probe, saving the configuration, the upgrade job, the restore and the final
// poll. The wizard and the command line drive the same code.
//
// Threads: ProbeTarget and ConfirmUpgrade block (up to two inquiries each) and
// belong on a worker where the owner's thread must stay responsive. Start,
// OnJobMessage and OnTimer run on the owner's thread and never block it for
// long: the save, the restore sequence and the poll inquiries run on workers or
// as non-blocking inquiries read on later ticks. The view is called on the
// owner's thread only, except for the probe's boxes.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <stop_token>
#include <thread>

#include "engine/ConfigBackupStore.h"
#include "engine/FirmwarePackage.h"
#include "engine/ManualProbe.h"
#include "engine/SetupDataMode.h"
#include "engine/Timing.h"
#include "engine/UpgradeJob.h"
#include "platform/OwnerPort.h"

namespace qrv {

// Timer of the final poll after the configuration restore.
inline constexpr int kManualPollTimer = 0x8016;
// wParam of the job messages the session's own workers post to the owner (the
// job itself posts wParam 1); the owner hands both to OnJobMessage.
inline constexpr int kSessionMessage = 2;

// The wizard's steps that a manual run moves through, in the wizard's numbering.
enum class ManualStep : int { Target = 3, Confirm = 4, Running = 5, Result = 6 };

// What the wizard's pages show; every call comes on the owner's thread.
class ManualSessionView {
public:
    virtual ~ManualSessionView() = default;
    // The stage line of the progress page (ManualStageMessage gives its text).
    virtual void ShowStage(int /*stage*/) {}
    // The wizard step: back to the target page, or the result page.
    virtual void ShowStep(ManualStep /*step*/) {}
    // The emergency picture beside the progress page.
    virtual void ShowEmergencyPicture(bool /*shown*/) {}
};

class ManualUpgradeSession {
public:
    ManualUpgradeSession(OwnerPort& owner, const FirmwarePackage& package, Timing timing,
                         ManualSessionView* view = nullptr);
    ManualUpgradeSession(const ManualUpgradeSession&) = delete;
    ManualUpgradeSession& operator=(const ManualUpgradeSession&) = delete;
    ~ManualUpgradeSession();

    // Next on the target page: probe, serial filter, and on refusal "This
    // firmware is not suitable for the target camera.". Blocking.
    bool ProbeTarget(const std::string& address, const std::string& credentials);
    // Next on the confirmation page: asks "Proceed to the firmware upgrade?"
    // and probes again with the freshly encoded credentials. Blocking.
    bool ConfirmUpgrade(const std::string& credentials);
    // The running step: saves the configuration when asked, then starts the
    // job. Returns at once.
    void Start(SetupDataMode mode, ProgressSink* progress);
    // Ends a probe under way at once and refuses every later one: the
    // session is going. Any thread.
    void CancelProbes() { probeStop_.request_stop(); }
    // Stops the running step where it is: joins the save or restore and the
    // job's worker, and stops the poll. The job is kept for the record; its
    // progress sink is not touched after this returns. Owner thread.
    void Stop();

    // The owner hands every job message and every timer tick here.
    void OnJobMessage(int wParam, int lParam);
    void OnTimer(int id);

    ProbeResult LastProbe() const;
    ManualStep Step() const { return step_.load(); }
    int ShownStage() const { return shownStage_.load(); }
    // The run has ended: back on the target page or on the result page.
    bool IsFinished() const { return finished_.load(); }
    // The camera came back with the carried version.
    bool CameraCameBack() const { return cameraBack_.load(); }
    bool ConfigurationRestored() const { return restored_.load(); }
    // Restored, but the camera did not answer again within the final poll:
    // its .cfg was kept.
    bool NotSeenAfterRestore() const { return notSeenAfterRestore_.load(); }
    std::string BackupPath() const;
    // Why the last save of the configuration failed; empty when it did not.
    std::string SaveError() const;
    UpgradeJob* Job() { return job_.get(); }

private:
    enum SessionEvent { kSaved = 1, kSaveFailed = 2, kRestoreDone = 3 };

    bool RunProbe(const std::string& credentials);
    void StartManualUpgrade();
    void OnSessionEvent(int event);
    void OnCameraBack();
    void PollTick();
    void SyncStage();
    void ShowStage(int stage);
    void EnterStep(ManualStep step);
    void DropBackup();
    void JoinWorkers();

    OwnerPort& owner_;
    const FirmwarePackage& package_;
    const Timing timing_;
    ManualSessionView* view_;
    ManualSessionView noView_;

    mutable std::mutex mutex_;  // guards address_, credentials_, probe_, backupPath_, saveError_, saveFailedHere_
    std::string address_;
    std::string credentials_;
    ProbeResult probe_;
    std::string backupPath_;
    std::string saveError_;
    bool saveFailedHere_ = false;  // the save failed on this computer, not at the camera

    SetupDataMode mode_ = SetupDataMode::Discard;
    ProgressSink* progress_ = nullptr;
    std::unique_ptr<ConfigBackupStore> backup_;
    std::unique_ptr<UpgradeJob> job_;
    std::atomic<ManualStep> step_{ManualStep::Target};
    std::atomic<int> shownStage_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> cameraBack_{false};
    std::atomic<bool> restored_{false};
    std::atomic<bool> notSeenAfterRestore_{false};
    std::chrono::steady_clock::time_point pollStart_{};
    bool pollRunning_ = false;

    std::stop_source probeStop_;
    std::jthread saveWorker_;
    std::jthread restoreWorker_;
};

}  // namespace qrv
