#include "ui/DesktopActions.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <QWidget>

namespace qrv {

namespace {

DesktopActions& Installed() {
    static DesktopActions actions;
    return actions;
}

}  // namespace

void SetDesktopActions(DesktopActions actions) { Installed() = std::move(actions); }

void OpenWebPage(const QString& url) {
    if (Installed().openUrl) {
        Installed().openUrl(url);
        return;
    }
    QDesktopServices::openUrl(QUrl(url));
}

void WarningBeep() {
    if (Installed().beep) {
        Installed().beep();
        return;
    }
    QApplication::beep();
}

void FlashCaption(QWidget* window) {
    if (Installed().flashCaption) {
        Installed().flashCaption(window);
        return;
    }
    // One short flash: the desktop draws attention to the window and lets go.
    if (window) QApplication::alert(window->window(), 500);
}

}  // namespace qrv
