#pragma once
// The add-cameras dialog's entry rows as a Qt table: a thin model over the
// Qt-free AddCameraList, forwarding its row notifications, and passing on
// what the list says about the dialog's buttons as signals.

#include <QAbstractTableModel>

#include "batch/AddCameraList.h"
#include "batch/ListObserver.h"

namespace qrv {

class AddCameraListModel : public QAbstractTableModel, private AddCameraObserver {
    Q_OBJECT
public:
    // The row's conflict mark (AddCameraItem::Conflict as an int): it picks the background.
    static constexpr int kConflictRole = Qt::UserRole + 1;
    // Whether the camera was judged unsuitable: its texts are greyed.
    static constexpr int kUnsuitableRole = Qt::UserRole + 2;
    // The camera's web page, opened on a double click.
    static constexpr int kWebPageRole = Qt::UserRole + 3;

    // Watches `list` until the model goes.
    explicit AddCameraListModel(AddCameraList& list, QObject* parent = nullptr);
    ~AddCameraListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void OkAllowed(bool enable);
    void ButtonsStale();

private:
    void RowsInserting(int first, int last) override;
    void RowsRemoving(int first, int last) override;
    void RowsChanged() override;
    void RowChanged(int row) override;
    void EnableOk(bool enable) override { emit OkAllowed(enable); }
    void RefreshButtons() override { emit ButtonsStale(); }

    enum class Pending { None, Insert, Remove };
    AddCameraList& list_;
    Pending pending_ = Pending::None;
};

}  // namespace qrv
