#include "ui/ProgressListView.h"

#include <QHeaderView>
#include <QMouseEvent>

#include <algorithm>

#include "batch/BatchRun.h"
#include "ui/DesktopActions.h"
#include "ui/ListDrawing.h"
#include "ui/ProgressListDelegate.h"
#include "ui/ProgressListModel.h"

namespace qrv {

namespace {

constexpr int kColumns = static_cast<int>(ProgressColumn::Count);

}  // namespace

ProgressListView::ProgressListView(ProgressListModel& model, QWidget* parent) : QTableView(parent) {
    setModel(&model);
    setItemDelegate(new ProgressListDelegate(this));
    SetUpListView(this, QAbstractItemView::SingleSelection, 16);
    static const char* const kSamples[kColumns] = {"000", "255.255.255.255", "QRV-K7N", "00.00", "", "Loading config file"};
    FitColumns(this, kProgressColumnWidths, kSamples, kColumns);
}

// The list is never sorted: a press on a header item only beeps.
bool ProgressListView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == horizontalHeader()->viewport() && event->type() == QEvent::MouseButtonPress) {
        const int x = static_cast<QMouseEvent*>(event)->position().toPoint().x();
        if (HeaderItemAt(horizontalHeader(), x) >= 0) WarningBeep();
    }
    return QTableView::eventFilter(watched, event);
}

}  // namespace qrv
