#include "ui/CameraGridDelegate.h"

#include <QPainter>

#include <algorithm>

#include "batch/TargetGrid.h"
#include "resources/PictureNumbers.h"
#include "ui/CameraGridModel.h"
#include "ui/ListDrawing.h"
#include "ui/UiPictures.h"
#include "ui/UiText.h"

namespace qrv {

namespace {

int RowBackground(CheckResult result) {
    switch (result) {
    case CheckResult::Failed: return kRowFailedBitmap;
    case CheckResult::Passed: return kRowPassedBitmap;
    case CheckResult::None: break;
    }
    return kRowNormalBitmap;
}

}  // namespace

QSize CameraGridDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {0, std::max(kCheckBoxHeight, option.fontMetrics.height()) + 4};
}

void CameraGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (!index.isValid()) return;
    const auto column = static_cast<GridColumn>(index.column());
    const bool enabled = option.state & QStyle::State_Enabled;
    const bool highlighted = enabled && (option.state & QStyle::State_Selected);
    const QRect cell = option.rect;

    painter->save();
    if (!enabled) {
        painter->fillRect(cell, option.palette.color(QPalette::Disabled, QPalette::Button));
    } else {
        const auto result = static_cast<CheckResult>(index.data(CameraGridModel::kCheckResultRole).toInt());
        DrawStrip(painter, cell, highlighted ? kRowSelectedBitmap : RowBackground(result));
    }

    if (column == GridColumn::Target) {
        const bool target = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        const int image = !enabled ? 2 : (target ? 1 : 0);
        const QPixmap boxes = BitmapPicture(kCheckBoxBitmap);
        const int top = cell.top() + (cell.height() - kCheckBoxHeight) / 2;
        painter->drawPixmap(QPoint(cell.left(), top), boxes,
                            QRect(image * kCheckBoxWidth, 0, kCheckBoxWidth, kCheckBoxHeight));
    } else {
        QColor ink = highlighted ? option.palette.color(QPalette::Active, QPalette::HighlightedText)
                                 : QColor(Qt::black);
        const QVariant foreground = index.data(Qt::ForegroundRole);
        if (foreground.isValid()) ink = foreground.value<QColor>();
        if (!enabled) ink = kWorkspaceGrey;
        painter->setPen(ink);
        painter->setFont(option.font);
        DrawCellText(painter, cell, ToU16(index.data(Qt::DisplayRole).toString()), Qt::AlignLeft);
    }

    DrawRowFocus(painter, option, index);
    painter->restore();
}

}  // namespace qrv
