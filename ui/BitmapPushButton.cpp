#include "ui/BitmapPushButton.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include "ui/UiPictures.h"

namespace qrv {

BitmapPushButton::BitmapPushButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent), caption_(caption) {
    setFocusPolicy(Qt::StrongFocus);
}

bool BitmapPushButton::LoadButtonImages(const QString& normal, const QString& pressed, const QString& focused,
                                        const QString& disabled) {
    normal_ = pressed_ = focused_ = disabled_ = QPixmap();
    normal_ = NamedPicture(normal);
    if (normal_.isNull()) return false;
    bool ok = true;
    if (!pressed.isEmpty()) {
        pressed_ = NamedPicture(pressed);
        ok = ok && !pressed_.isNull();
    }
    if (!focused.isEmpty()) {
        focused_ = NamedPicture(focused);
        ok = ok && !focused_.isNull();
    }
    if (!disabled.isEmpty()) {
        disabled_ = NamedPicture(disabled);
        if (disabled_.isNull()) return false;
    }
    update();
    return ok;
}

bool BitmapPushButton::AttachImages() {
    LoadButtonImages(caption_ + u'U', caption_ + u'D', caption_ + u'F', caption_ + u'X');
    if (normal_.isNull()) return false;
    setFixedSize(normal_.size());
    updateGeometry();
    return true;
}

QPixmap BitmapPushButton::CurrentPicture() const {
    const QPixmap* picture = &normal_;
    if (isDown() && !pressed_.isNull()) {
        picture = &pressed_;
    } else if (!isEnabled() && !disabled_.isNull()) {
        picture = &disabled_;
    } else if (hasFocus() && !focused_.isNull()) {
        picture = &focused_;
    }
    return *picture;
}

QSize BitmapPushButton::sizeHint() const { return normal_.isNull() ? QPushButton::sizeHint() : normal_.size(); }

void BitmapPushButton::paintEvent(QPaintEvent* event) {
    if (normal_.isNull()) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(rect(), CurrentPicture());
}

// The double click pushes the button; its release then clicks once more.
void BitmapPushButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QPushButton::mouseDoubleClickEvent(event);
        return;
    }
    setDown(true);
    secondClickPending_ = true;
}

void BitmapPushButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && secondClickPending_) {
        setDown(false);
        secondClickPending_ = false;
        if (isEnabled()) emit clicked(false);
    }
    QPushButton::mouseReleaseEvent(event);
}

// The pictures follow the system colours, as the dialogs reload them then.
void BitmapPushButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange && !normal_.isNull()) AttachImages();
    QPushButton::changeEvent(event);
}

}  // namespace qrv
