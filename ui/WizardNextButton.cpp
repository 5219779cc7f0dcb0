#include "ui/WizardNextButton.h"

#include <QKeyEvent>

namespace qrv {

void WizardNextButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == kHiddenModeKey && !event->isAutoRepeat()) {
        emit HiddenModeRequested();
        return;
    }
    QPushButton::keyReleaseEvent(event);
}

}  // namespace qrv
