#include "ui/AddCameraListModel.h"

#include <utility>

#include "batch/TargetGrid.h"
#include "ui/UiText.h"

namespace qrv {

namespace {

constexpr int kColumns = static_cast<int>(AddCameraColumn::Count);
const char* const kTitles[kColumns] = {"ID", "IP address", "Model", "Serial No.", "Version No."};

}  // namespace

AddCameraListModel::AddCameraListModel(AddCameraList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {
    list_.SetObserver(this);
}

AddCameraListModel::~AddCameraListModel() { list_.SetObserver(nullptr); }

int AddCameraListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : list_.RowCount(); }

int AddCameraListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant AddCameraListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= list_.RowCount()) return {};
    const AddCameraItem& row = list_.Row(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return ToQString(AddCameraColumnText(row, static_cast<AddCameraColumn>(index.column())));
    case Qt::TextAlignmentRole:
        return index.column() == 0 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case kConflictRole: return static_cast<int>(row.conflict);
    case kUnsuitableRole: return row.verdict == AddCameraItem::Verdict::Unsuitable;
    case kWebPageRole: return ToQString(WebPageUrl(row.address.ip, row.address.port));
    default: return {};
    }
}

QVariant AddCameraListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kTitles[section]);
    return {};
}

Qt::ItemFlags AddCameraListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// ---- the list's notifications --------------------------------------------------------------

void AddCameraListModel::RowsInserting(int first, int last) {
    beginInsertRows({}, first, last);
    pending_ = Pending::Insert;
}

void AddCameraListModel::RowsRemoving(int first, int last) {
    beginRemoveRows({}, first, last);
    pending_ = Pending::Remove;
}

void AddCameraListModel::RowsChanged() {
    switch (std::exchange(pending_, Pending::None)) {
    case Pending::Insert: endInsertRows(); break;
    case Pending::Remove: endRemoveRows(); break;
    case Pending::None: break;
    }
    // Numbers, conflicts or the order changed: every row repaints.
    if (list_.RowCount() > 0) emit dataChanged(index(0, 0), index(list_.RowCount() - 1, kColumns - 1));
}

void AddCameraListModel::RowChanged(int row) {
    if (row < 0 || row >= list_.RowCount()) return;
    emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

}  // namespace qrv
