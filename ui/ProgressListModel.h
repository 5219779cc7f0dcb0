#pragma once
// The progress page's rows as a Qt table: a thin model over the Qt-free
// BatchRun, forwarding its row notifications. Progress moves without one
// (the jobs' workers write it), so the page asks for RefreshProgress on a
// timer of its own.

#include <QAbstractTableModel>

#include <vector>

#include "batch/BatchRun.h"
#include "batch/ListObserver.h"

namespace qrv {

class ProgressListModel : public QAbstractTableModel, private ListObserver {
    Q_OBJECT
public:
    // A row's progress, 0..6000: the delegate draws the bar by it.
    static constexpr int kProgressRole = Qt::UserRole + 1;

    // Watches `list` until the model goes.
    explicit ProgressListModel(BatchRun& list, QObject* parent = nullptr);
    ~ProgressListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Repaints the progress cell of each row whose value changed since.
    void RefreshProgress();

private:
    void RowsInserting(int first, int last) override;
    void RowsRemoving(int first, int last) override;
    void RowsChanged() override;
    void RowChanged(int row) override;

    enum class Pending { None, Insert, Remove };
    BatchRun& list_;
    Pending pending_ = Pending::None;
    std::vector<int> shownProgress_;  // per row, what the view was last told
};

}  // namespace qrv
