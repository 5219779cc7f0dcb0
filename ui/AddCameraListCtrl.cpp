#include "ui/AddCameraListCtrl.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "resources/PictureNumbers.h"
#include "ui/CameraGridCtrl.h"
#include "ui/DesktopActions.h"
#include "ui/QtOwnerPort.h"
#include "ui/UiText.h"

namespace qrv {

namespace {

constexpr int kColumns = static_cast<int>(AddCameraColumn::Count);
const char* const kTitles[kColumns] = {"ID", "IP address", "Model", "Serial No.", "Version No."};
const QColor kWorkspaceGrey(128, 128, 128);

int ConflictBackground(AddCameraItem::Conflict conflict) {
    switch (conflict) {
    case AddCameraItem::Conflict::InList: return kRowConflictBitmap;
    case AddCameraItem::Conflict::InGrid: return kRowFailedBitmap;
    case AddCameraItem::Conflict::None: break;
    }
    return kRowNormalBitmap;
}

}  // namespace

// ---- model -------------------------------------------------------------------------------

AddCameraListModel::AddCameraListModel(const AddCameraList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {}

int AddCameraListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }

int AddCameraListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant AddCameraListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= list_.RowCount()) return {};
    const AddCameraItem& row = list_.Row(index.row());
    switch (role) {
    case Qt::DisplayRole: return ToQString(AddCameraColumnText(row, static_cast<AddCameraColumn>(index.column())));
    case Qt::TextAlignmentRole:
        return index.column() == 0 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
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

void AddCameraListModel::RowsInserting(int first, int last) {
    beginInsertRows({}, first, last);
    pending_ = Pending::Insert;
}

void AddCameraListModel::RowsRemoving(int first, int last) {
    beginRemoveRows({}, first, last);
    pending_ = Pending::Remove;
}

void AddCameraListModel::RowsChanged() {
    const Pending pending = std::exchange(pending_, Pending::None);
    shown_ = list_.RowCount();
    if (pending == Pending::Insert) endInsertRows();
    if (pending == Pending::Remove) endRemoveRows();
    // Numbers, conflicts or the order changed: every row repaints.
    if (shown_ > 0) emit dataChanged(index(0, 0), index(shown_ - 1, kColumns - 1));
}

void AddCameraListModel::RowChanged(int row) {
    if (row < 0 || row >= shown_) return;
    emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

// ---- drawing -----------------------------------------------------------------------------

AddCameraListDelegate::AddCameraListDelegate(const AddCameraList& list, QObject* parent)
    : QStyledItemDelegate(parent), list_(list) {}

QSize AddCameraListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {0, std::max(16, option.fontMetrics.height()) + 4};
}

void AddCameraListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    if (index.row() >= list_.RowCount()) return;
    const AddCameraItem& row = list_.Row(index.row());
    const bool highlighted = option.state & QStyle::State_Selected;
    painter->save();
    DrawStrip(painter, option.rect, highlighted ? kRowSelectedBitmap : ConflictBackground(row.conflict));
    QColor ink = highlighted ? option.palette.color(QPalette::Active, QPalette::HighlightedText) : QColor(Qt::black);
    // An unsuitable camera is greyed; on the selection's blue a lighter grey reads.
    if (row.verdict == AddCameraItem::Verdict::Unsuitable) ink = highlighted ? QColor(200, 200, 200) : kWorkspaceGrey;
    painter->setPen(ink);
    painter->setFont(option.font);
    DrawCellText(painter, option.rect, AddCameraColumnText(row, static_cast<AddCameraColumn>(index.column())),
                 index.column() == 0 ? Qt::AlignRight : Qt::AlignLeft);
    DrawRowFocus(painter, option, index);
    painter->restore();
}

// ---- the view ----------------------------------------------------------------------------

AddCameraListCtrl::AddCameraListCtrl(const ModelList& models, Timing timing, QWidget* parent)
    : QTableView(parent),
      port_(std::make_unique<QtOwnerPort>(this, [this](int id) { list_->OnTimer(id); })),
      list_(std::make_unique<AddCameraList>(*port_, models, timing)) {
    model_ = new AddCameraListModel(*list_, this);
    list_->SetObserver(model_);
    setModel(model_);
    setItemDelegate(new AddCameraListDelegate(*list_, this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(16, fontMetrics().height()) + 4);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->viewport()->installEventFilter(this);
    static const char* const kSamples[kColumns] = {"000", "255.255.255.255:65535", "Not a camera", "0000000",
                                                   "00.00"};
    FitColumns(this, kAddCameraColumnWidths, kSamples, kColumns);
    // The view's clicks and keys move the list's one selected row.
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && current.row() != list_->SelectedRow()) list_->SelectRow(current.row());
            });
}

AddCameraListCtrl::~AddCameraListCtrl() {
    list_->SetObserver(nullptr);
    // Pending inquiries stop and join their workers while the port lives.
    list_.reset();
}

void AddCameraListCtrl::ShowSelection() {
    const int row = list_->SelectedRow();
    if (row < 0 || row >= model_->rowCount()) {
        clearSelection();
        return;
    }
    selectionModel()->setCurrentIndex(model_->index(row, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(model_->index(row, 0));
}

void AddCameraListCtrl::SelectRow(int row) {
    list_->SelectRow(row);
    ShowSelection();
}

void AddCameraListCtrl::SortByColumn(int column) {
    list_->SortByColumn(column);
    ShowSelection();
}

// A press on a row selects it; the list has no targets to toggle.
void AddCameraListCtrl::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) return;
    QTableView::mousePressEvent(event);
    list_->SelectRow(index.row());
}

void AddCameraListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton) {
        const AddCameraItem& row = list_->Row(index.row());
        OpenWebPage(ToQString(WebPageUrl(row.address.ip, row.address.port)));
    }
    QTableView::mouseDoubleClickEvent(event);
}

bool AddCameraListCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == horizontalHeader()->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) {
            const int column = HeaderItemAt(horizontalHeader(), press->position().toPoint().x());
            if (column >= 0) SortByColumn(column);
        }
    }
    return QTableView::eventFilter(watched, event);
}

}  // namespace qrv
