#pragma once
// What the windows ask of the desktop itself: opening a camera's web page in
// the browser, the warning beep, flashing a window's caption. Tests install
// their own actions and record the calls instead.

#include <QString>

#include <functional>

class QWidget;

namespace qrv {

struct DesktopActions {
    std::function<void(const QString& url)> openUrl;
    std::function<void()> beep;
    std::function<void(QWidget* window)> flashCaption;
};

// Installs `actions`; an empty member brings back the desktop's own action.
void SetDesktopActions(DesktopActions actions);

void OpenWebPage(const QString& url);
void WarningBeep();
void FlashCaption(QWidget* window);

}  // namespace qrv
