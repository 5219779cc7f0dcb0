#include "ui/AddCameraListView.h"

#include <QHeaderView>
#include <QMouseEvent>

#include <algorithm>

#include "batch/AddCameraList.h"
#include "ui/AddCameraListDelegate.h"
#include "ui/AddCameraListModel.h"
#include "ui/DesktopActions.h"
#include "ui/ListDrawing.h"

namespace qrv {

namespace {

constexpr int kColumns = static_cast<int>(AddCameraColumn::Count);

}  // namespace

AddCameraListView::AddCameraListView(AddCameraListModel& model, QWidget* parent) : QTableView(parent) {
    setModel(&model);
    setItemDelegate(new AddCameraListDelegate(this));
    SetUpListView(this, QAbstractItemView::SingleSelection, 16);
    static const char* const kSamples[kColumns] = {"000", "255.255.255.255:65535", "Not a camera", "0000000",
                                                   "00.00"};
    FitColumns(this, kAddCameraColumnWidths, kSamples, kColumns);
}

void AddCameraListView::ShowSelectedRow(int row) {
    if (row < 0 || row >= model()->rowCount()) {
        clearSelection();
        return;
    }
    selectionModel()->setCurrentIndex(model()->index(row, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(model()->index(row, 0));
}

// A press on a row selects it; the list has no targets to toggle.
void AddCameraListView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) return;
    QTableView::mousePressEvent(event);
    emit RowPressed(index.row());
}

void AddCameraListView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton) {
        OpenWebPage(index.data(AddCameraListModel::kWebPageRole).toString());
    }
    QTableView::mouseDoubleClickEvent(event);
}

bool AddCameraListView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == horizontalHeader()->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) {
            const int column = HeaderItemAt(horizontalHeader(), press->position().toPoint().x());
            if (column >= 0) emit SortRequested(column);
        }
    }
    return QTableView::eventFilter(watched, event);
}

}  // namespace qrv
