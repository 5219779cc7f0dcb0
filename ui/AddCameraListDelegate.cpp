#include "ui/AddCameraListDelegate.h"

#include <QPainter>

#include <algorithm>

#include "batch/AddCameraList.h"
#include "resources/PictureNumbers.h"
#include "ui/AddCameraListModel.h"
#include "ui/ListDrawing.h"
#include "ui/UiText.h"

namespace qrv {

namespace {

int ConflictBackground(AddCameraItem::Conflict conflict) {
    switch (conflict) {
    case AddCameraItem::Conflict::InList: return kRowConflictBitmap;
    case AddCameraItem::Conflict::InGrid: return kRowFailedBitmap;
    case AddCameraItem::Conflict::None: break;
    }
    return kRowNormalBitmap;
}

}  // namespace

QSize AddCameraListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {0, std::max(16, option.fontMetrics.height()) + 4};
}

void AddCameraListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    if (!index.isValid()) return;
    const auto conflict = static_cast<AddCameraItem::Conflict>(index.data(AddCameraListModel::kConflictRole).toInt());
    const bool unsuitable = index.data(AddCameraListModel::kUnsuitableRole).toBool();
    const bool highlighted = option.state & QStyle::State_Selected;
    painter->save();
    DrawStrip(painter, option.rect, highlighted ? kRowSelectedBitmap : ConflictBackground(conflict));
    QColor ink = highlighted ? option.palette.color(QPalette::Active, QPalette::HighlightedText) : QColor(Qt::black);
    // An unsuitable camera is greyed; on the selection's blue a lighter grey reads.
    if (unsuitable) ink = highlighted ? QColor(200, 200, 200) : kWorkspaceGrey;
    painter->setPen(ink);
    painter->setFont(option.font);
    DrawCellText(painter, option.rect, ToU16(index.data(Qt::DisplayRole).toString()),
                 index.column() == 0 ? Qt::AlignRight : Qt::AlignLeft);
    DrawRowFocus(painter, option, index);
    painter->restore();
}

}  // namespace qrv
