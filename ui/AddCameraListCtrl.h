#pragma once
// The entry list of the "Add other cameras" dialog: one row per camera typed
// in, pasted or loaded, each asked in the background what it is. A thin model
// over the Qt-free AddCameraList (which runs the inquiries on this control's
// timer), one painting delegate, and a single-selection view that sorts on a
// header press and opens a camera's web page on a double click.

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>

#include <memory>

#include "batch/AddCameraList.h"

namespace qrv {

class QtOwnerPort;

class AddCameraListModel : public QAbstractTableModel, public AddCameraObserver {
    Q_OBJECT
public:
    explicit AddCameraListModel(const AddCameraList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void RowsInserting(int first, int last) override;
    void RowsRemoving(int first, int last) override;
    void RowsChanged() override;
    void RowChanged(int row) override;
    void EnableOk(bool enable) override { emit OkAllowed(enable); }
    void RefreshButtons() override { emit ButtonsStale(); }

signals:
    void OkAllowed(bool enable);
    void ButtonsStale();

private:
    enum class Pending { None, Insert, Remove };
    const AddCameraList& list_;
    int shown_ = 0;
    Pending pending_ = Pending::None;
};

class AddCameraListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    AddCameraListDelegate(const AddCameraList& list, QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const AddCameraList& list_;
};

class AddCameraListCtrl : public QTableView {
    Q_OBJECT
public:
    AddCameraListCtrl(const ModelList& models, Timing timing, QWidget* parent = nullptr);
    ~AddCameraListCtrl() override;

    AddCameraList& List() { return *list_; }
    const AddCameraList& List() const { return *list_; }
    AddCameraListModel& Model() { return *model_; }

    // The list's one selected row, shown by the view.
    void SelectRow(int row);
    int SelectedRow() const { return list_->SelectedRow(); }
    // A header press on `column`.
    void SortByColumn(int column);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowSelection();

    AddCameraListModel* model_ = nullptr;
    std::unique_ptr<QtOwnerPort> port_;
    std::unique_ptr<AddCameraList> list_;  // after the port: its inquiries stop first
};

inline constexpr int kAddCameraColumnWidths[] = {30, 140, 85, 60, 90};

}  // namespace qrv
