#pragma once
// A progress bar that worker threads may move: the position is an atomic
// number, and the bar follows it on the GUI thread.

#include <QPointer>
#include <QProgressBar>

#include <atomic>

#include "platform/OwnerPort.h"

namespace qrv {

class ProgressBarSink : public ProgressSink {
public:
    explicit ProgressBarSink(QProgressBar* bar) : bar_(bar) {}

    int Position() const override { return position_.load(); }
    void SetPosition(int position) override;
    void Step(int delta) override;

private:
    void Show();

    QPointer<QProgressBar> bar_;
    std::atomic<int> position_{0};
};

}  // namespace qrv
