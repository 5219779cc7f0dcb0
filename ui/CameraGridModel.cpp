#include "ui/CameraGridModel.h"

#include <QColor>

#include <utility>

#include "ui/UiText.h"

namespace qrv {

namespace {

constexpr int kColumns = static_cast<int>(GridColumn::Count);
const char* const kGridTitles[kColumns] = {"", "MAC address", "IP address", "Model", "Serial No.", "Version No.",
                                           "Name"};

}  // namespace

CameraGridModel::CameraGridModel(TargetGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) {
    grid_.SetObserver(this);
}

CameraGridModel::~CameraGridModel() { grid_.SetObserver(nullptr); }

int CameraGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : grid_.RowCount(); }

int CameraGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant CameraGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= grid_.RowCount()) return {};
    const GridRow& row = grid_.Row(index.row());
    const auto column = static_cast<GridColumn>(index.column());
    switch (role) {
    case Qt::DisplayRole: return ToQString(GridColumnText(row, column));
    case Qt::AccessibleTextRole:
        // The check box has no text: a reader says whose box it is and its state.
        if (column == GridColumn::Target) {
            return ToQString(row.addressText) +
                   (row.target ? QStringLiteral(" checked") : QStringLiteral(" not checked"));
        }
        return ToQString(GridColumnText(row, column));
    case Qt::CheckStateRole:
        if (column == GridColumn::Target) return row.target ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ToolTipRole:
        if (column == GridColumn::Address && !AddressTip(row).empty()) return ToQString(AddressTip(row));
        return {};
    case Qt::ForegroundRole:
        // A name without its password is not usable yet: it shows in red.
        if (column == GridColumn::Name && row.password.empty()) return QColor(255, 0, 0);
        return {};
    case kCheckResultRole: return static_cast<int>(row.checkResult);
    case kWebPageRole: return ToQString(WebPageUrl(row.ip, row.port));
    default: return {};
    }
}

QVariant CameraGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns) return {};
    return QString::fromLatin1(kGridTitles[section]);
}

// No in-place editing, and the check box is the view's to toggle.
Qt::ItemFlags CameraGridModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void CameraGridModel::PressCheckBox(int row, const std::vector<int>& selected) { grid_.PressCheckBox(row, selected); }

bool CameraGridModel::PressSpace(int focused, const std::vector<int>& selected) {
    return grid_.PressSpace(focused, selected);
}

void CameraGridModel::SortByColumn(int column, std::vector<int>& keep) {
    beginResetModel();
    grid_.SortByColumn(column, keep);
    endResetModel();
}

// ---- the grid's notifications ------------------------------------------------------------

void CameraGridModel::RowsInserting(int first, int last) {
    beginInsertRows({}, first, last);
    pending_ = Pending::Insert;
}

void CameraGridModel::RowsRemoving(int first, int last) {
    beginRemoveRows({}, first, last);
    pending_ = Pending::Remove;
}

void CameraGridModel::RowsChanged() {
    switch (std::exchange(pending_, Pending::None)) {
    case Pending::Insert: endInsertRows(); return;
    case Pending::Remove: endRemoveRows(); return;
    case Pending::None: break;
    }
    // Target flags of many rows changed.
    if (grid_.RowCount() > 0) emit dataChanged(index(0, 0), index(grid_.RowCount() - 1, kColumns - 1));
}

void CameraGridModel::RowChanged(int row) {
    if (row < 0 || row >= grid_.RowCount()) return;
    emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

}  // namespace qrv
