#pragma once
// What the windows ask of the desktop itself: opening a camera's web page in
// the browser, the warning beep, flashing a window's caption. Tests install
// their own actions and record the calls instead.

#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

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
// Draws attention to `window`'s top-level window: the desktop's alert where
// the window is not active, and in every case a flash of the window's own
// frame (a FlashFrame).
void FlashCaption(QWidget* window);

// How the frame flashes: shown, hidden, shown, each for kFlashBlinkMs.
inline constexpr int kFlashBlinkMs = 150;
inline constexpr int kFlashBlinks = 3;
inline constexpr int kFlashTotalMs = kFlashBlinkMs * kFlashBlinks;
inline constexpr int kFlashWidth = 4;

// A highlight-coloured band around the inside of a window, drawn over its
// controls without taking input, that blinks and then hides.
class FlashFrame : public QWidget {
    Q_OBJECT
public:
    // Starts (or starts again) the flash of `window`.
    static void Flash(QWidget* window);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    explicit FlashFrame(QWidget* window);
    void Restart();
    void OnBlink();

    QTimer blink_;
    int blinks_ = 0;
};

}  // namespace qrv
