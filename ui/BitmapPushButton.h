#pragma once
// An image button whose four pictures are named after its caption plus U
// (normal), D (pressed), F (focused) and X (disabled), and which counts a
// double click as a second click, so a fast double click on NEXT moves two
// rows.

#include <QPixmap>
#include <QPushButton>

namespace qrv {

class BitmapPushButton : public QPushButton {
    Q_OBJECT
public:
    explicit BitmapPushButton(const QString& caption, QWidget* parent = nullptr);

    // Discards the pictures loaded before and loads the named ones (an empty
    // name: none). A missing normal or disabled picture ends the loading with
    // failure; a missing pressed or focused picture makes the result a failure
    // but the loading goes on.
    bool LoadButtonImages(const QString& normal, const QString& pressed, const QString& focused,
                          const QString& disabled);
    // Loads the four pictures named after the caption and takes the size of
    // the normal one; false when there is no normal picture.
    bool AttachImages();

    // The picture drawn for the button's present state (an absent one falls
    // back to the normal picture).
    QPixmap CurrentPicture() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString caption_;
    QPixmap normal_, pressed_, focused_, disabled_;
    bool secondClickPending_ = false;
};

}  // namespace qrv
