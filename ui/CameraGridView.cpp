#include "ui/CameraGridView.h"

#include <QApplication>
#include <QHeaderView>
#include <QProxyStyle>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>

#include "batch/TargetGrid.h"
#include "ui/CameraGridDelegate.h"
#include "ui/CameraGridModel.h"
#include "ui/DesktopActions.h"
#include "ui/ListDrawing.h"

namespace qrv {

namespace {

constexpr int kColumns = static_cast<int>(GridColumn::Count);

// The DHCP rows' address tip comes up this soon after the pointer rests, not
// at the style's own (much longer) delay.
class QuickTipStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_ToolTip_WakeUpDelay) return kAddressTipDelayMs;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

}  // namespace

CameraGridView::CameraGridView(CameraGridModel& model, QWidget* parent) : QTableView(parent), model_(model) {
    setModel(&model_);
    setItemDelegate(new CameraGridDelegate(this));
    SetUpListView(this, QAbstractItemView::ExtendedSelection, kCheckBoxHeight);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The tip's delay is asked of the style of the widget under the pointer.
    auto* tipStyle = new QuickTipStyle(QApplication::style()->name());
    tipStyle->setParent(this);
    viewport()->setStyle(tipStyle);
    QHeaderView* header = horizontalHeader();
    static const char* const kSamples[kColumns] = {"", "00:00:00:00:00:00", "255.255.255.255", "QRV-K7N",
                                                   "0000000", "00.00", "admin"};
    FitColumns(this, kGridColumnWidths, kSamples, kColumns);
    setColumnWidth(0, kGridColumnWidths[0]);
    header->setSectionResizeMode(0, QHeaderView::Fixed);
}

int CameraGridView::RowCount() const { return model_.rowCount(); }

std::vector<int> CameraGridView::SelectedRows() const {
    std::vector<int> rows;
    if (!selectionModel()) return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CameraGridView::FirstSelectedRow() const {
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? -1 : rows.front();
}

void CameraGridView::SelectOnly(int row) {
    if (row < 0 || row >= model_.rowCount()) return;
    selectionModel()->setCurrentIndex(model_.index(row, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(model_.index(row, 0));
}

void CameraGridView::SelectFirstRow() { SelectOnly(0); }

void CameraGridView::SelectAllRows() {
    if (model_.rowCount() == 0) return;
    selectAll();
    selectionModel()->setCurrentIndex(model_.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void CameraGridView::StepSelectionUp() {
    const int row = currentIndex().isValid() ? currentIndex().row() : FirstSelectedRow();
    SelectOnly(std::max(0, row - 1));
}

void CameraGridView::StepSelectionDown() {
    const int row = currentIndex().isValid() ? currentIndex().row() : FirstSelectedRow();
    SelectOnly(std::min(model_.rowCount() - 1, row + 1));
}

void CameraGridView::SortByColumn(int column) {
    // The selection and the focus belong to the view: they go in as positions
    // and come back as the same rows' new positions.
    std::vector<int> keep = SelectedRows();
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    keep.push_back(current);
    model_.SortByColumn(column, keep);
    const int newCurrent = keep.back();
    keep.pop_back();
    QItemSelection selection;
    for (int row : keep) selection.select(model_.index(row, 0), model_.index(row, kColumns - 1));
    if (newCurrent >= 0) selectionModel()->setCurrentIndex(model_.index(newCurrent, 0), QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

// ---- mouse and keys ------------------------------------------------------------------------

void CameraGridView::PressCheckBox(int row) {
    model_.PressCheckBox(row, SelectedRows());
    emit TargetsChanged();
}

void CameraGridView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    // A press below the rows changes nothing, not even the selection.
    if (!index.isValid()) return;
    if (event->button() == Qt::LeftButton && index.column() == 0) {
        // The check box: the selection stays as it is.
        PressCheckBox(index.row());
        return;
    }
    QTableView::mousePressEvent(event);
}

void CameraGridView::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        emit SelectionTouched(!SelectedRows().empty());
    }
}

void CameraGridView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton) {
        if (index.column() == 0) {
            PressCheckBox(index.row());
            return;
        }
        OpenWebPage(index.data(CameraGridModel::kWebPageRole).toString());
    }
    QTableView::mouseDoubleClickEvent(event);
}

void CameraGridView::keyPressEvent(QKeyEvent* event) {
    // Space is the check box's key (on release), not the selection's.
    if (event->key() == Qt::Key_Space) return;
    QTableView::keyPressEvent(event);
}

void CameraGridView::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && currentIndex().isValid()) {
        if (model_.PressSpace(currentIndex().row(), SelectedRows())) emit TargetsChanged();
    }
    QTableView::keyReleaseEvent(event);
    emit SelectionTouched(!SelectedRows().empty());
}

bool CameraGridView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == horizontalHeader()->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) {
            const int column = HeaderItemAt(horizontalHeader(), press->position().toPoint().x());
            if (column >= 0) SortByColumn(column);
        }
    }
    return QTableView::eventFilter(watched, event);
}

}  // namespace qrv
