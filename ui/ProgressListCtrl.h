#pragma once
// The progress page's list: one row per camera of the batch with its address,
// model, version, a drawn progress bar and its status. A thin model over the
// Qt-free BatchRun (which runs the batch's scheduler and jobs on this
// control's timers), one painting delegate, and a view that beeps instead of
// sorting on a header press.

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

#include <memory>
#include <vector>

#include "batch/BatchRun.h"
#include "batch/ListObserver.h"

namespace qrv {

class QtOwnerPort;

inline constexpr int kProgressColumnWidths[] = {30, 100, 82, 70, 120, 90};

class ProgressListModel : public QAbstractTableModel, public ListObserver {
    Q_OBJECT
public:
    static constexpr int kProgressRole = Qt::UserRole + 1;

    explicit ProgressListModel(const BatchRun& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // ListObserver: the list's own notifications, forwarded row by row.
    void RowsInserting(int first, int last) override;
    void RowsRemoving(int first, int last) override;
    void RowsChanged() override;
    void RowChanged(int row) override;

    // Progress moves without a notification (the jobs' workers write it):
    // repaints the progress cell of each row whose value changed since.
    void RefreshProgress();

private:
    enum class Pending { None, Insert, Remove };
    const BatchRun& list_;
    int shown_ = 0;
    Pending pending_ = Pending::None;
    std::vector<int> shownProgress_;
};

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

class ProgressListCtrl : public QTableView {
    Q_OBJECT
public:
    ProgressListCtrl(const FirmwarePackage& package, Timing timing, QWidget* parent = nullptr);
    ~ProgressListCtrl() override;

    BatchRun& List() { return *list_; }
    const BatchRun& List() const { return *list_; }
    QtOwnerPort& Port() { return *port_; }
    ProgressListModel& Model() { return *model_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ProgressListModel* model_ = nullptr;
    std::unique_ptr<QtOwnerPort> port_;
    std::unique_ptr<BatchRun> list_;  // after the port: its jobs stop first
    QTimer progressRefresh_;
};

}  // namespace qrv
