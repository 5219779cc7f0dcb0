#pragma once
// Paints an entry row of the add-cameras list: the background strip by
// selection and conflict mark, the texts greyed for an unsuitable camera.

#include <QStyledItemDelegate>

namespace qrv {

class AddCameraListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace qrv
