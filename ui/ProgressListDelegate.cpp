#include "ui/ProgressListDelegate.h"

#include <QPainter>

#include <algorithm>

#include "batch/BatchRun.h"
#include "resources/PictureNumbers.h"
#include "ui/ListDrawing.h"
#include "ui/ProgressListModel.h"
#include "ui/UiPictures.h"
#include "ui/UiText.h"

namespace qrv {

ProgressBarGeometry ProgressBarLayout(const QRect& cell, int rowHeight, int progress) {
    const int left = cell.left();
    const int top = cell.top();
    const int right = cell.left() + cell.width();
    const int bottom = cell.top() + rowHeight;
    const int w = cell.width() - 3;
    const int width = std::clamp(std::min(w, progress * w / BatchRun::kProgressComplete), 0, std::max(w, 0));
    ProgressBarGeometry geometry;
    geometry.lightFrame = QRect(QPoint(left + 1, top + 3), QPoint(right - 1 - 1, bottom - 3 - 1));
    geometry.blackFrame = QRect(QPoint(left, top + 2), QPoint(right - 2 - 1, bottom - 4 - 1));
    geometry.bar = QRect(left + 1, top + 3, width, rowHeight - 7);
    return geometry;
}

QSize ProgressListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {0, std::max(16, option.fontMetrics.height()) + 4};
}

void ProgressListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const QRect cell = option.rect;
    painter->save();
    DrawStrip(painter, cell, kRowNormalBitmap);
    if (index.column() == static_cast<int>(ProgressColumn::Progress)) {
        const int progress = index.data(ProgressListModel::kProgressRole).toInt();
        const ProgressBarGeometry geometry = ProgressBarLayout(cell, cell.height(), progress);
        // Each frame is outlined and filled white, the black one over the grey
        // one, so the grey shows as a shadow on the right and at the bottom.
        painter->setBrush(Qt::white);
        painter->setPen(QColor(192, 192, 192));
        painter->drawRect(geometry.lightFrame.adjusted(0, 0, -1, -1));
        painter->setPen(Qt::black);
        painter->drawRect(geometry.blackFrame.adjusted(0, 0, -1, -1));
        if (!geometry.bar.isEmpty()) painter->drawPixmap(geometry.bar, BitmapPicture(kProgressBarBitmap));
    } else {
        const QVariant alignment = index.data(Qt::TextAlignmentRole);
        painter->setPen(Qt::black);
        painter->setFont(option.font);
        DrawCellText(painter, cell, ToU16(index.data(Qt::DisplayRole).toString()),
                     alignment.isValid() ? Qt::AlignHCenter : Qt::AlignLeft);
    }
    DrawRowFocus(painter, option, index);
    painter->restore();
}

}  // namespace qrv
