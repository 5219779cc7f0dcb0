#pragma once
// One camera taken through a whole upgrade: save the configuration (automatic
// mode), upload the firmware, wait while the camera writes it and reboots,
// check that it comes back with the expected version, restore the
// configuration and wait while the camera applies it. The blocking steps run
// on the job's worker thread; the watching runs on the owner's timers, whose
// ticks the owner hands to OnJobTimer on its own thread.
//
// Manual mode (no progress counter): failures are message boxes and the job
// message (1, 3); success posts (1, 6). Automatic mode: outcomes are stage
// codes only.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <string>
#include <thread>

#include "engine/CameraClient.h"
#include "engine/ConfigBackupStore.h"

namespace qrv {

class UpgradeJob {
public:
    // The parameters of the job's CameraClient.
    UpgradeJob(OwnerPort& owner, std::string address, std::string credentials, const ModelList& models,
               int slot = 0, const std::atomic<int>* retainFlag = nullptr,
               const std::atomic<int>* deleteFlag = nullptr, const WallTime* batchTime = nullptr,
               std::u16string serial = {}, Timing timing = Timing::Production());
    UpgradeJob(const UpgradeJob&) = delete;
    UpgradeJob& operator=(const UpgradeJob&) = delete;
    // Stops the worker cooperatively, joins it and stops the job's timers.
    ~UpgradeJob();
    // Ends the job's work where it stands: the worker is stopped and joined,
    // the timers are stopped. The stage stays what it was.
    void Stop();
    // Ends a configuration save under way at once (an aborted batch): the
    // job then ends as a failed save, and no firmware is sent. A job past
    // its save runs on. Owner thread.
    void AbortSave() {
        saveAborted_.store(true);
        saveStop_.request_stop();
    }
    // A worker was started and has not been stopped and joined.
    bool IsWorking() const { return worker_.joinable(); }

    CameraClient& Client() { return client_; }
    const CameraClient& Client() const { return client_; }

    // The image to upload and the version the camera must report afterwards
    // (empty: the first version it reports is accepted).
    void SetFirmware(std::span<const std::uint8_t> image, std::u16string expectedVersion);
    void SetUploadData(std::span<const std::uint8_t> data);
    // Starts the worker; the stage becomes 2 when the configuration is to be
    // saved, else 3.
    bool StartJob();
    // Called by the owner, on its thread, for every tick of the job's timers.
    void OnJobTimer(int id);
    // Reads a Reconfiguring poll whose answer is in: true when the camera
    // answered as itself and the job is complete. On the owner's thread; the
    // scheduler's tick calls it too, so a finished camera frees its place at
    // once instead of one poll period later (the polls sent stay the same).
    bool ReadReconfigurePoll();

    // Waits until the camera answers inq=system with a supported model (and
    // no longer reports its emergency state) and says whether it reports the
    // expected version. False also when stopped or (automatic mode) when the
    // camera stays away too long.
    bool WaitForCamera(std::stop_token stop);

    int Stage() const { return client_.Stage(); }
    bool IsDone() const { return done_.load(); }
    // The camera answered as itself after its reboot: its version-now is the
    // version it came back with (the carried one or not).
    bool AnsweredAfterReboot() const { return answeredAfterReboot_.load(); }
    std::u16string ExpectedVersion() const;
    // The configuration saved by this job (automatic mode).
    bool HasBackup() const;
    bool IsRestored() const;
    std::string BackupPath() const;
    // Why the save failed when it failed on this computer (a folder or file
    // it could not make or write, with its path); empty otherwise.
    std::string LocalSaveFailure() const;
    // The configuration was restored but the camera did not answer again
    // before the Reconfiguring poll gave up: its .cfg was kept.
    bool NotSeenAfterRestore() const { return notSeenAfterRestore_.load(); }

private:
    enum class WaitOutcome { Back, OtherVersion, NeverBack, Stopped };

    void UpgradeWorker(std::stop_token stop);
    void RunSteps(std::stop_token stop);
    bool SaveConfiguration();
    void DropFailedBackup();
    void FinishCameraBack(std::stop_token stop);
    WaitOutcome WaitForCameraOutcome(std::stop_token stop, std::chrono::steady_clock::time_point answered);
    bool CompareVersions();
    void ReportNetworkError();
    void ReportVersionUpError();
    // In manual mode exactly one final report reaches the owner: the worker's
    // or the tick limit's, whichever comes first.
    bool ClaimOutcome() { return !reported_.exchange(true); }

    void OnTick();
    void OnReconfigureTick();

    CameraClient client_;
    const Timing timing_;
    mutable std::mutex mutex_;  // guards expectedVersion_, backup_ and localSaveFailure_
    std::u16string expectedVersion_;
    std::unique_ptr<ConfigBackupStore> backup_;
    std::string localSaveFailure_;

    std::atomic<bool> done_{false};
    std::atomic<bool> reported_{false};
    std::atomic<bool> answeredAfterReboot_{false};
    std::atomic<bool> notSeenAfterRestore_{false};
    std::atomic<std::chrono::steady_clock::rep> reconfigureStart_{0};     // set before the 0x8300 timer starts
    bool reconfigurePollRunning_ = false;                                // owner thread only
    std::stop_source saveStop_;  // replaced by StartJob only, with no worker running
    std::atomic<bool> saveAborted_{false};
    std::jthread worker_;  // last member: stopped and joined first
};

}  // namespace qrv
