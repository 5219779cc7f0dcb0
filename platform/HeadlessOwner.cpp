#include "platform/HeadlessOwner.h"

#include <algorithm>

namespace qrv {

void HeadlessOwner::StartTimer(int id, int periodMs) {
    std::lock_guard lock(mutex_);
    periodMs = std::max(periodMs, 1);
    timers_[id] = Timer{periodMs, Clock::now() + std::chrono::milliseconds(periodMs)};
    wake_.notify_all();
}

void HeadlessOwner::StopTimer(int id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

void HeadlessOwner::PostJobMessage(int wParam, int lParam) {
    std::lock_guard lock(mutex_);
    pending_.emplace_back(wParam, lParam);
    posted_.emplace_back(wParam, lParam);
    wake_.notify_all();
}

BoxAnswer HeadlessOwner::ShowMessageBox(const MessageBox& box) {
    BoxObserver observer;
    BoxAnswer answer;
    {
        std::lock_guard lock(mutex_);
        boxes_.push_back(box);
        observer = onBox_;
        if (!script_.empty()) {
            answer = script_.front();
            script_.pop_front();
        } else if (defaultAnswer_) {
            answer = *defaultAnswer_;
        } else {
            answer = box.buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
        }
    }
    if (observer) observer(box);
    return answer;
}

void HeadlessOwner::SetTimerHandler(TimerHandler handler) {
    std::lock_guard lock(mutex_);
    onTimer_ = std::move(handler);
}

void HeadlessOwner::SetJobMessageHandler(JobMessageHandler handler) {
    std::lock_guard lock(mutex_);
    onJobMessage_ = std::move(handler);
}

void HeadlessOwner::SetBoxObserver(BoxObserver observer) {
    std::lock_guard lock(mutex_);
    onBox_ = std::move(observer);
}

void HeadlessOwner::ScriptAnswers(std::initializer_list<BoxAnswer> answers) {
    std::lock_guard lock(mutex_);
    script_.assign(answers.begin(), answers.end());
}

void HeadlessOwner::SetDefaultAnswer(std::optional<BoxAnswer> answer) {
    std::lock_guard lock(mutex_);
    defaultAnswer_ = answer;
}

// Delivers one due event with the lock released around the handler, so that
// handlers may start and stop timers or post messages themselves. Like window
// timers, a late timer fires once and is then rescheduled from now.
bool HeadlessOwner::DispatchOne(std::unique_lock<std::mutex>& lock) {
    if (!pending_.empty()) {
        auto [wParam, lParam] = pending_.front();
        pending_.pop_front();
        JobMessageHandler handler = onJobMessage_;
        lock.unlock();
        if (handler) handler(wParam, lParam);
        lock.lock();
        return true;
    }
    const auto now = Clock::now();
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.due <= now && (due == timers_.end() || it->second.due < due->second.due)) {
            due = it;
        }
    }
    if (due == timers_.end()) return false;
    const int id = due->first;
    due->second.due = now + std::chrono::milliseconds(due->second.periodMs);
    TimerHandler handler = onTimer_;
    lock.unlock();
    if (handler) handler(id);
    lock.lock();
    return true;
}

bool HeadlessOwner::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        const auto now = Clock::now();
        if (now >= deadline) return done();
        std::unique_lock lock(mutex_);
        if (DispatchOne(lock)) continue;
        auto next = std::min(deadline, now + std::chrono::milliseconds(10));
        for (const auto& [id, timer] : timers_) next = std::min(next, timer.due);
        wake_.wait_until(lock, next);
    }
    return true;
}

void HeadlessOwner::RunFor(std::chrono::milliseconds duration) {
    RunUntil([] { return false; }, duration);
}

std::vector<MessageBox> HeadlessOwner::Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<std::pair<int, int>> HeadlessOwner::JobMessages() const {
    std::lock_guard lock(mutex_);
    return posted_;
}

bool HeadlessOwner::IsTimerRunning(int id) const {
    std::lock_guard lock(mutex_);
    return timers_.count(id) != 0;
}

std::map<int, int> HeadlessOwner::RunningTimers() const {
    std::lock_guard lock(mutex_);
    std::map<int, int> result;
    for (const auto& [id, timer] : timers_) result[id] = timer.periodMs;
    return result;
}

}  // namespace qrv
