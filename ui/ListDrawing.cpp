#include "ui/ListDrawing.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QPainter>
#include <QTableView>

#include <algorithm>

#include "batch/TargetGrid.h"
#include "ui/UiPictures.h"

namespace qrv {

namespace {

// A header press counts only this far inside an item: the dividers resize.
constexpr int kHeaderInset = 4;

}  // namespace

void DrawStrip(QPainter* painter, const QRect& rect, int bitmap) {
    const QPixmap strip = BitmapPicture(bitmap);
    if (strip.isNull()) {
        painter->fillRect(rect, Qt::white);
        return;
    }
    painter->drawPixmap(rect, strip);
}

void DrawCellText(QPainter* painter, const QRect& cell, const std::u16string& text, Qt::Alignment alignment) {
    if (text.empty()) return;
    const QFontMetrics metrics = painter->fontMetrics();
    const std::u16string shown = ShortenToFit(text, cell.width(), kTextMargin, [&metrics](std::u16string_view part) {
        return metrics.horizontalAdvance(QString::fromUtf16(part.data(), static_cast<qsizetype>(part.size())));
    });
    painter->drawText(cell.adjusted(kTextMargin / 2, 0, -kTextMargin / 2, 0),
                      static_cast<int>(alignment | Qt::AlignVCenter | Qt::TextSingleLine),
                      QString::fromStdU16String(shown));
}

int HeaderItemAt(const QHeaderView* header, int x) {
    const int column = header->logicalIndexAt(x);
    if (column < 0) return -1;
    const int left = header->sectionViewportPosition(column);
    const int right = left + header->sectionSize(column);
    return x >= left + kHeaderInset && x < right - kHeaderInset ? column : -1;
}

void DrawRowFocus(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) {
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (!view || !view->hasFocus() || view->currentIndex().row() != index.row()) return;
    // The focus rectangle runs around the whole row: each cell draws its part.
    const QRect cell = option.rect.adjusted(0, 0, -1, -1);
    QPen pen(QColor(Qt::black));
    pen.setStyle(Qt::DotLine);
    painter->setPen(pen);
    painter->drawLine(cell.topLeft(), cell.topRight());
    painter->drawLine(cell.bottomLeft(), cell.bottomRight());
    if (index.column() == 0) painter->drawLine(cell.topLeft(), cell.bottomLeft());
    if (index.column() == index.model()->columnCount() - 1) painter->drawLine(cell.topRight(), cell.bottomRight());
}

void FitColumns(QTableView* view, const int* widths, const char* const* samples, int count) {
    const QFontMetrics body = view->fontMetrics();
    const QFontMetrics header = view->horizontalHeader()->fontMetrics();
    for (int column = 0; column < count; ++column) {
        const QString title = view->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        const int needed = std::max(body.horizontalAdvance(QString::fromLatin1(samples[column])) + kTextMargin + 2,
                                    header.horizontalAdvance(title) + kTextMargin + 4);
        view->setColumnWidth(column, std::max(widths[column], title.isEmpty() && !*samples[column] ? 0 : needed));
    }
    view->horizontalHeader()->setStretchLastSection(true);
}

void SetUpListView(QTableView* view, int selectionMode, int minRowHeight) {
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(static_cast<QAbstractItemView::SelectionMode>(selectionMode));
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setShowGrid(false);
    view->setWordWrap(false);
    view->setCornerButtonEnabled(false);
    // One tab stop: Tab leaves the list and never moves or shrinks its
    // selection; the arrow keys move inside it.
    view->setTabKeyNavigation(false);
    QHeaderView* rows = view->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(std::max(minRowHeight, view->fontMetrics().height()) + 4);
    QHeaderView* header = view->horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->viewport()->installEventFilter(view);
}

}  // namespace qrv
