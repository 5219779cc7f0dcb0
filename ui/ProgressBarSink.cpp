#include "ui/ProgressBarSink.h"

#include <QMetaObject>

#include <algorithm>

namespace qrv {

void ProgressBarSink::SetPosition(int position) {
    position_.store(position);
    Show();
}

void ProgressBarSink::Step(int delta) {
    position_.fetch_add(delta);
    Show();
}

// Queued even on the GUI thread: a worker must never touch the widget, and
// the bar drops the call when it has gone.
void ProgressBarSink::Show() {
    QProgressBar* bar = bar_.data();
    if (!bar) return;
    QMetaObject::invokeMethod(
        bar,
        [bar, this] {
            const int position = std::min(position_.load(), bar->maximum());
            bar->setValue(std::max(position, bar->minimum()));
        },
        Qt::QueuedConnection);
}

}  // namespace qrv
