#pragma once
// The target grid's rows as a Qt table: a thin model over the Qt-free
// TargetGrid, which tells it of every row added, removed or changed. The
// view's check-box presses, Space and header presses reach the rows through
// here, so the rows and what the view shows never part.

#include <QAbstractTableModel>

#include <vector>

#include "batch/ListObserver.h"
#include "batch/TargetGrid.h"

namespace qrv {

class CameraGridModel : public QAbstractTableModel, private ListObserver {
    Q_OBJECT
public:
    // The row's CheckResult, as an int: the delegate picks the background by it.
    static constexpr int kCheckResultRole = Qt::UserRole + 1;
    // The camera's web page ("http://a.b.c.d/"), opened on a double click.
    static constexpr int kWebPageRole = Qt::UserRole + 2;

    // Watches `grid` until the model goes.
    explicit CameraGridModel(TargetGrid& grid, QObject* parent = nullptr);
    ~CameraGridModel() override;

    const TargetGrid& Grid() const { return grid_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // A press on row `row`'s check box, or Space on the focused row, with the
    // view's selection (TargetGrid's rules); PressSpace returns whether a
    // flag changed.
    void PressCheckBox(int row, const std::vector<int>& selected);
    bool PressSpace(int focused, const std::vector<int>& selected);
    // A header press: the rows are reordered inside a model reset; `keep`
    // (view positions) comes back as the same rows' new positions.
    void SortByColumn(int column, std::vector<int>& keep);

private:
    void RowsInserting(int first, int last) override;
    void RowsRemoving(int first, int last) override;
    void RowsChanged() override;
    void RowChanged(int row) override;

    enum class Pending { None, Insert, Remove };
    TargetGrid& grid_;
    Pending pending_ = Pending::None;
};

}  // namespace qrv
