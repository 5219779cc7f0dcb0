#pragma once
// Owner port without windows: the command line and the tests drive jobs with
// it. It runs timers and job messages on the thread that calls RunUntil,
// records every message box and answers boxes from a script.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/OwnerPort.h"

namespace qrv {

class HeadlessOwner : public OwnerPort {
public:
    using TimerHandler = std::function<void(int id)>;
    using JobMessageHandler = std::function<void(int wParam, int lParam)>;
    using BoxObserver = std::function<void(const MessageBox&)>;

    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void PostJobMessage(int wParam, int lParam) override;
    BoxAnswer ShowMessageBox(const MessageBox& box) override;

    // Handlers run on the thread inside RunUntil / RunFor.
    void SetTimerHandler(TimerHandler handler);
    void SetJobMessageHandler(JobMessageHandler handler);
    // Called (on the showing thread) for every box, before it is answered.
    void SetBoxObserver(BoxObserver observer);

    // Answers given to the next boxes, in order. When the script is empty a
    // box gets the default answer: Ok for Ok and OkCancel boxes, Yes for YesNo
    // boxes, unless SetDefaultAnswer says otherwise.
    void ScriptAnswers(std::initializer_list<BoxAnswer> answers);
    void SetDefaultAnswer(std::optional<BoxAnswer> answer);

    // Runs timers and job messages until `done` returns true (checked after
    // every event and at least every 10 ms) or `limit` passes. Returns done().
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // Runs timers and job messages for `duration`.
    void RunFor(std::chrono::milliseconds duration);

    std::vector<MessageBox> Boxes() const;
    std::vector<std::pair<int, int>> JobMessages() const;  // every message posted so far
    bool IsTimerRunning(int id) const;
    std::map<int, int> RunningTimers() const;  // id -> period in ms

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        int periodMs;
        Clock::time_point due;
    };

    bool DispatchOne(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::map<int, Timer> timers_;
    std::deque<std::pair<int, int>> pending_;
    std::vector<std::pair<int, int>> posted_;
    std::vector<MessageBox> boxes_;
    std::deque<BoxAnswer> script_;
    std::optional<BoxAnswer> defaultAnswer_;
    TimerHandler onTimer_;
    JobMessageHandler onJobMessage_;
    BoxObserver onBox_;
};

// A progress bar that is only a number.
class CountingProgress : public ProgressSink {
public:
    int Position() const override { return position_.load(); }
    void SetPosition(int position) override { position_.store(position); }
    void Step(int delta) override { position_.fetch_add(delta); }

private:
    std::atomic<int> position_{0};
};

}  // namespace qrv
