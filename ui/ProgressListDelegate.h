#pragma once
// Paints a progress list row: the normal background strip, the texts, and in
// the progress column a framed bar.

#include <QRect>
#include <QStyledItemDelegate>

namespace qrv {

// Where the progress cell's parts go, in the list's pixel geometry.
struct ProgressBarGeometry {
    QRect lightFrame;  // the light grey rectangle, right and bottom edges exclusive
    QRect blackFrame;  // the black rectangle, likewise
    QRect bar;         // the bar picture's box; empty at progress 0
};
// `cell`: the progress column of a row; `progress` 0..6000.
ProgressBarGeometry ProgressBarLayout(const QRect& cell, int rowHeight, int progress);

class ProgressListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace qrv
