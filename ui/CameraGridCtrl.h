#pragma once
// The target grid of the automatic mode: one row per camera with its target
// check box, its texts and a background that shows the last login check.
// A thin model over the Qt-free TargetGrid rows, one painting delegate, and a
// table view that owns selection and focus, toggles target flags by mouse and
// Space, sorts on a header press and runs the login checks.

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>
#include <memory>
#include <vector>

#include "batch/GridRefresh.h"
#include "batch/ListObserver.h"
#include "batch/LoginChecks.h"
#include "batch/TargetGrid.h"
#include "engine/Timing.h"

class QHeaderView;

namespace qrv {

class QtOwnerPort;

class CameraGridModel : public QAbstractTableModel, public ListObserver {
    Q_OBJECT
public:
    explicit CameraGridModel(TargetGrid& grid, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // ListObserver: rows appended to the grid become rows of the model.
    void EndUpdate() override;
    void RowChanged(int row) override;
    void RowsChanged() override;
    // Every row repaints (target flags of many rows changed).
    void AllRowsChanged();
    // Around a reorder of the rows.
    void BeginReorder() { beginResetModel(); }
    void EndReorder() { endResetModel(); }

private:
    void SyncRowCount();

    TargetGrid& grid_;
    int shown_ = 0;
};

// Paints a grid row: the background strip by selection and check result, the
// check box picture, and the texts shortened to their columns.
class CameraGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    CameraGridDelegate(const TargetGrid& grid, QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const TargetGrid& grid_;
};

// Draws `text` shortened to `cell` less the lists' margin, 6 pixels in from
// each side, vertically centred, in one line.
void DrawCellText(QPainter* painter, const QRect& cell, const std::u16string& text, Qt::Alignment alignment);
// The background strip `bitmap` stretched over `rect`.
void DrawStrip(QPainter* painter, const QRect& rect, int bitmap);
// The header item under `x`, counting only presses at least 4 pixels inside
// an item (closer to an edge the divider takes them); -1 for none.
int HeaderItemAt(const QHeaderView* header, int x);
// This cell's part of the focus rectangle around the view's current row.
void DrawRowFocus(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);

class CameraGridCtrl : public QTableView, private LoginCheckObserver {
    Q_OBJECT
public:
    CameraGridCtrl(const ModelList& models, Timing timing, QWidget* parent = nullptr);
    ~CameraGridCtrl() override;

    TargetGrid& Grid() { return grid_; }
    const TargetGrid& Grid() const { return grid_; }
    int RowCount() const { return grid_.RowCount(); }

    // Appends the cameras of the table that are not shown yet.
    GridRefresh RefreshFrom(const DiscoveryTable& table);
    // Runs `add` on the rows; the rows it appends appear in the view.
    void AddRows(const std::function<void(TargetGrid&)>& add);

    // Selection (the view's): rows in list order.
    std::vector<int> SelectedRows() const;
    int FirstSelectedRow() const;
    void SelectFirstRow();
    void SelectAllRows();
    void StepSelectionUp();
    void StepSelectionDown();

    void SetCredentials(int row, const std::u16string& name, const std::u16string& password);

    // A login check of every selected row; returns how many were started.
    int StartLoginChecks();
    bool LoginChecksRunning() const { return checks_->IsRunning(); }

    // A header press on `column`, as the header handles it.
    void SortByColumn(int column);

signals:
    // After a click on the list or a key release: whether any row is selected.
    void SelectionTouched(bool anySelected);
    void TargetsChanged();
    void LoginChecksFinished();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoginCheckRowChanged(int row) override;
    void OnLoginChecksFinished() override;
    void PressCheckBox(int row);
    void SelectOnly(int row);

    TargetGrid grid_;
    CameraGridModel* model_;
    std::unique_ptr<QtOwnerPort> port_;
    std::unique_ptr<LoginChecks> checks_;  // after the port: its timer stops first
};

// The column widths of the target grid.
inline constexpr int kGridColumnWidths[] = {17, 123, 100, 85, 50, 70, 50};

// Gives each column its design width, or more where this desktop's font
// needs it for the header or for `samples[column]` (a typical value) to show
// whole; the last column takes the room that is left.
void FitColumns(QTableView* view, const int* widths, const char* const* samples, int count);

}  // namespace qrv
