#include "ui/ProgressListModel.h"

#include <utility>

#include "ui/UiText.h"

namespace qrv {

namespace {

constexpr int kColumns = static_cast<int>(ProgressColumn::Count);
const char* const kTitles[kColumns] = {"ID", "IP address", "Model", "Version No", "Progress", "Status"};

}  // namespace

ProgressListModel::ProgressListModel(BatchRun& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {
    list_.SetObserver(this);
    RowsChanged();
}

ProgressListModel::~ProgressListModel() { list_.SetObserver(nullptr); }

int ProgressListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : list_.RowCount(); }

int ProgressListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant ProgressListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= list_.RowCount()) return {};
    const ProgressItem& row = list_.Row(index.row());
    const auto column = static_cast<ProgressColumn>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        // The progress column draws a bar and has no text.
        return column == ProgressColumn::Progress ? QVariant()
                                                  : QVariant(ToQString(ProgressColumnText(row, column)));
    case Qt::AccessibleTextRole:
        // The bar is read as the share done, in whole percent.
        if (column == ProgressColumn::Progress) {
            return QStringLiteral("%1%").arg(row.progress.load() * 100 / BatchRun::kProgressComplete);
        }
        return ToQString(ProgressColumnText(row, column));
    case kProgressRole: return row.progress.load();
    case Qt::TextAlignmentRole:
        return index.column() == 0 ? QVariant(Qt::AlignHCenter | Qt::AlignVCenter) : QVariant();
    default: return {};
    }
}

QVariant ProgressListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kTitles[section]);
    if (role == Qt::TextAlignmentRole && section == 0) return QVariant(Qt::AlignHCenter | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ProgressListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void ProgressListModel::RefreshProgress() {
    const int progressColumn = static_cast<int>(ProgressColumn::Progress);
    for (int row = 0; row < list_.RowCount() && row < static_cast<int>(shownProgress_.size()); ++row) {
        const int now = list_.Row(row).progress;
        int& shown = shownProgress_[static_cast<std::size_t>(row)];
        if (now == shown) continue;
        shown = now;
        emit dataChanged(index(row, progressColumn), index(row, progressColumn));
    }
}

// ---- the list's notifications --------------------------------------------------------------

void ProgressListModel::RowsInserting(int first, int last) {
    beginInsertRows({}, first, last);
    pending_ = Pending::Insert;
}

void ProgressListModel::RowsRemoving(int first, int last) {
    beginRemoveRows({}, first, last);
    pending_ = Pending::Remove;
}

void ProgressListModel::RowsChanged() {
    shownProgress_.clear();
    for (int row = 0; row < list_.RowCount(); ++row) shownProgress_.push_back(list_.Row(row).progress);
    switch (std::exchange(pending_, Pending::None)) {
    case Pending::Insert: endInsertRows(); break;
    case Pending::Remove: endRemoveRows(); break;
    case Pending::None: break;
    }
}

void ProgressListModel::RowChanged(int row) {
    if (row < 0 || row >= list_.RowCount()) return;
    if (row < static_cast<int>(shownProgress_.size())) shownProgress_[static_cast<std::size_t>(row)] = list_.Row(row).progress;
    emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

}  // namespace qrv
