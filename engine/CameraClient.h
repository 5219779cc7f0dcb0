#pragma once
// One camera's HTTP conversation and upgrade state: inquiries and their reply
// checks, the firmware upload and the configuration restore, the job's stage
// code, version texts and progress links. Shared between the owner's thread and
// the job's worker: the stage, tick count and flags are atomics, the version
// texts sit behind a mutex and are copied out.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

#include "engine/FirmwarePackage.h"
#include "engine/MultipartForm.h"
#include "engine/Timing.h"
#include "platform/Clock.h"
#include "platform/OwnerPort.h"

namespace qrv {

// Timer ids of a job, offset by its slot index.
inline constexpr int kJobTickTimer = 0x8100;     // every jobTick: answer and reboot wait
inline constexpr int kReconfigureTimer = 0x8300; // every reconfigurePoll: automatic stage 8

class CameraClient {
public:
    // `address`: "a.b.c.d" or "a.b.c.d:port" (at most 23 characters).
    // `credentials`: Base64 of name ":" password (at most 79 characters).
    // The retain and delete flags and the batch time belong to an automatic
    // batch and outlive the client; the manual client has none of them.
    CameraClient(OwnerPort& owner, std::string address, std::string credentials, const ModelList& models,
                 int slot = 0, const std::atomic<int>* retainFlag = nullptr,
                 const std::atomic<int>* deleteFlag = nullptr, const WallTime* batchTime = nullptr,
                 std::u16string serial = {}, Timing timing = Timing::Production());
    CameraClient(const CameraClient&) = delete;
    CameraClient& operator=(const CameraClient&) = delete;
    // Stops and joins a still-running non-blocking inquiry.
    virtual ~CameraClient();

    // Standard Base64 (RFC 4648 alphabet, with padding) of any 8-bit text.
    static std::string Base64Encode(std::string_view text);

    // ---- inquiries -------------------------------------------------------
    // POSTs `body` ("inq=system", "inq=user", "inq=network") to
    // /command/inquiry.cgi and returns the reply (at most 5,120 bytes), or
    // "401 Unauthorized" when the camera demands authentication, or the empty
    // text when there is no answer within `timeout` or `stop` is requested.
    std::u16string Inquire(std::string_view body, std::chrono::milliseconds timeout, std::stop_token stop = {});
    // The same request without waiting, with the inquiry time-out as its
    // deadline. A previous one still running is stopped first.
    void StartInquiry(std::string_view body);
    // True once the inquiry started last has ended.
    bool IsInquiryDone() const;
    // The reply of the finished non-blocking inquiry (empty before).
    std::u16string InquiryReply() const;
    // When the last non-blocking inquiry was started.
    std::chrono::steady_clock::time_point InquiryStartTime() const;

    // ---- checks on replies (messages only in manual mode) -----------------
    // A supported model (exact match)? Records the reported version.
    bool CheckModel(std::u16string_view reply, bool show);
    // CheckModel that also hands out the model and the serial.
    bool ReadIdentity(std::u16string_view reply, std::u16string& model, std::u16string& serial, bool show);
    // Do the credentials belong to the camera's administrator (inq=user reply)?
    bool CheckAdministrator(std::u16string_view reply);

    // ---- uploads -----------------------------------------------------------
    // The bytes the next upload or restore sends; not owned.
    void SetUploadData(std::span<const std::uint8_t> data);
    // 0: body sent and answered (or a camera in emergency state, whose answer
    // is not awaited); -2: body sent, the answer wait failed; -1: failed
    // before the whole body was sent.
    int UploadFirmware(std::stop_token stop = {});
    // The saved configuration back to the camera, with the factory account.
    int RestoreConfiguration(std::stop_token stop = {});

    // ---- links and state ---------------------------------------------------
    // The progress bar and, in automatic mode, the shared counter. A non-null
    // counter makes the client automatic: no message boxes, stage codes only.
    void SetProgress(ProgressSink* control, std::atomic<int>* counter);
    void StepProgress(int delta);
    void SetProgressPosition(int position);
    bool IsAutomatic() const { return counter_ != nullptr; }

    int Stage() const { return stage_.load(); }
    void SetStage(int stage) { stage_.store(stage); }
    bool IsEmergency() const { return emergency_.load(); }
    std::u16string VersionBefore() const;
    std::u16string VersionNow() const;

    int TickCount() const { return ticks_.load(); }
    void ResetTicks() { ticks_.store(0); }
    // Adds one tick and returns the count before it.
    int AddTick() { return ticks_.fetch_add(1); }

    OwnerPort& Owner() const { return owner_; }
    const std::string& Address() const { return address_; }
    const std::string& Credentials() const { return credentials_; }
    const ModelList& Models() const { return models_; }
    int Slot() const { return slot_; }
    const std::atomic<int>* RetainFlag() const { return retainFlag_; }
    const std::atomic<int>* DeleteFlag() const { return deleteFlag_; }
    const WallTime* BatchTime() const { return batchTime_; }
    const std::u16string& Serial() const { return serial_; }
    const Timing& Times() const { return timing_; }

private:
    bool IsSupportedModel(std::u16string_view model) const;
    void RecordVersion(std::u16string_view reply);
    void ShowModelMessage();
    void RefuseAdministrator(int stage, const std::u16string& text);
    int PostForm(FormKind kind, std::stop_token stop);

    OwnerPort& owner_;
    const std::string address_;
    std::string credentials_;  // wiped when the client goes
    const ModelList& models_;
    const int slot_;
    const std::atomic<int>* retainFlag_;
    const std::atomic<int>* deleteFlag_;
    const WallTime* batchTime_;
    const std::u16string serial_;
    const Timing timing_;

    ProgressSink* progress_ = nullptr;
    std::atomic<int>* counter_ = nullptr;
    std::span<const std::uint8_t> uploadData_;

    std::atomic<int> stage_{0};
    std::atomic<int> ticks_{0};
    std::atomic<bool> emergency_{false};
    mutable std::mutex versionMutex_;
    std::u16string versionBefore_;
    std::u16string versionNow_;

    mutable std::mutex asyncMutex_;
    std::u16string asyncReply_;
    std::chrono::steady_clock::time_point asyncStart_{};
    std::atomic<bool> asyncDone_{false};
    std::jthread asyncWorker_;  // last member: joined before the rest goes
};

}  // namespace qrv
