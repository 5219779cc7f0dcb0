#include "ui/DesktopActions.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPainter>
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
    if (!window) return;
    // The desktop's alert ignores the active window, which is the usual case
    // here: the window also flashes its own frame.
    QApplication::alert(window->window(), kFlashTotalMs);
    FlashFrame::Flash(window->window());
}

// ---- the frame flash ---------------------------------------------------------------------

void FlashFrame::Flash(QWidget* window) {
    auto* frame = window->findChild<FlashFrame*>(QString(), Qt::FindDirectChildrenOnly);
    if (!frame) frame = new FlashFrame(window);
    frame->Restart();
}

FlashFrame::FlashFrame(QWidget* window) : QWidget(window) {
    setObjectName(QStringLiteral("flashFrame"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    blink_.setInterval(kFlashBlinkMs);
    connect(&blink_, &QTimer::timeout, this, &FlashFrame::OnBlink);
}

void FlashFrame::Restart() {
    blinks_ = 0;
    setGeometry(parentWidget()->rect());
    raise();
    show();
    blink_.start();
}

// Shown, hidden, shown again, then hidden: two flashes the eye cannot miss.
void FlashFrame::OnBlink() {
    ++blinks_;
    if (blinks_ >= kFlashBlinks) {
        // Kept, hidden, for the window's next flash.
        blink_.stop();
        hide();
        return;
    }
    setVisible(blinks_ % 2 == 0);
    if (isVisible()) raise();
}

void FlashFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor colour = palette().color(QPalette::Active, QPalette::Highlight);
    const QRect area = rect();
    painter.fillRect(QRect(area.left(), area.top(), area.width(), kFlashWidth), colour);
    painter.fillRect(QRect(area.left(), area.bottom() - kFlashWidth + 1, area.width(), kFlashWidth), colour);
    painter.fillRect(QRect(area.left(), area.top(), kFlashWidth, area.height()), colour);
    painter.fillRect(QRect(area.right() - kFlashWidth + 1, area.top(), kFlashWidth, area.height()), colour);
}

}  // namespace qrv
