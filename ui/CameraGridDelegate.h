#pragma once
// Paints a target grid row: the background strip by selection and login
// check result, the check box picture, and the texts shortened to their
// columns. Everything it draws comes from the model's roles.

#include <QStyledItemDelegate>

namespace qrv {

// The check box picture's size, and the rows' height around it.
inline constexpr int kCheckBoxWidth = 20;
inline constexpr int kCheckBoxHeight = 16;

class CameraGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace qrv
