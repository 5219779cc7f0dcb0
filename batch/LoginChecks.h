#pragma once
// The login checks of the target grid: every selected row's camera is asked
// "inq=network" with the row's credentials, at most two at a time, on the
// owner's 500 ms timer. A reply that carries the camera's MAC address passes
// (and fills in the row's MAC when it had none); anything else, or no answer
// within the limit, fails. A result lands on the row it was started for, even
// when the rows were sorted meanwhile.

#include <deque>
#include <memory>
#include <vector>

#include "batch/TargetGrid.h"
#include "engine/CameraClient.h"
#include "engine/Timing.h"

namespace qrv {

class LoginCheckObserver {
public:
    virtual ~LoginCheckObserver() = default;
    // A row's check result (and perhaps its MAC) changed.
    virtual void LoginCheckRowChanged(int /*row*/) {}
    // The last pending check has ended.
    virtual void OnLoginChecksFinished() {}
};

class LoginChecks {
public:
    static constexpr int kTimerId = 0x8010;

    LoginChecks(OwnerPort& owner, TargetGrid& grid, const ModelList& models, Timing timing = Timing::Production());
    // Stops the timer and every pending inquiry (their workers are joined).
    ~LoginChecks();
    LoginChecks(const LoginChecks&) = delete;
    LoginChecks& operator=(const LoginChecks&) = delete;

    void SetObserver(LoginCheckObserver* observer) { observer_ = observer; }

    // Queues a check for each of `rows` (the selected rows, in list order)
    // and starts the timer; returns how many were queued.
    int Start(const std::vector<int>& rows);
    // Handles the check timer; false for any other id.
    bool OnTimer(int id);
    // One tick: the first two pending checks are started or, once answered
    // or past the limit, judged and removed.
    void Tick();
    int PendingCount() const { return static_cast<int>(pending_.size()); }
    bool IsRunning() const { return !pending_.empty(); }

private:
    struct Pending {
        int key;  // the row's key, not its position
        std::unique_ptr<CameraClient> client;
        bool started = false;
    };
    bool IsFinished(const Pending& check) const;
    void Judge(const Pending& check);

    OwnerPort& owner_;
    TargetGrid& grid_;
    const ModelList& models_;
    const Timing timing_;
    LoginCheckObserver* observer_ = nullptr;
    std::deque<Pending> pending_;
    bool inTick_ = false;
};

}  // namespace qrv
