#include "ui/ProgressListCtrl.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "resources/PictureNumbers.h"
#include "ui/CameraGridCtrl.h"
#include "ui/DesktopActions.h"
#include "ui/QtOwnerPort.h"
#include "ui/UiPictures.h"
#include "ui/UiText.h"

namespace qrv {

namespace {

constexpr int kColumns = static_cast<int>(ProgressColumn::Count);
// How often progress written by the workers is looked at.
constexpr int kProgressRefreshMs = 100;
const char* const kTitles[kColumns] = {"ID", "IP address", "Model", "Version No", "Progress", "Status"};

}  // namespace

// ---- model -------------------------------------------------------------------------------

ProgressListModel::ProgressListModel(const BatchRun& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {}

int ProgressListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }

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

void ProgressListModel::RowsInserting(int first, int last) {
    beginInsertRows({}, first, last);
    pending_ = Pending::Insert;
}

void ProgressListModel::RowsRemoving(int first, int last) {
    beginRemoveRows({}, first, last);
    pending_ = Pending::Remove;
}

void ProgressListModel::RowsChanged() {
    const Pending pending = std::exchange(pending_, Pending::None);
    shown_ = list_.RowCount();
    shownProgress_.assign(static_cast<std::size_t>(shown_), 0);
    for (int row = 0; row < shown_; ++row) shownProgress_[static_cast<std::size_t>(row)] = list_.Row(row).progress;
    if (pending == Pending::Insert) endInsertRows();
    if (pending == Pending::Remove) endRemoveRows();
}

void ProgressListModel::RowChanged(int row) {
    if (row < 0 || row >= shown_) return;
    shownProgress_[static_cast<std::size_t>(row)] = list_.Row(row).progress;
    emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

void ProgressListModel::RefreshProgress() {
    const int progressColumn = static_cast<int>(ProgressColumn::Progress);
    for (int row = 0; row < shown_; ++row) {
        const int now = list_.Row(row).progress;
        int& shown = shownProgress_[static_cast<std::size_t>(row)];
        if (now == shown) continue;
        shown = now;
        emit dataChanged(index(row, progressColumn), index(row, progressColumn));
    }
}

// ---- drawing -----------------------------------------------------------------------------

ProgressBarGeometry ProgressBarLayout(const QRect& cell, int rowHeight, int progress) {
    const int left = cell.left();
    const int top = cell.top();
    const int right = cell.left() + cell.width();
    const int bottom = cell.top() + rowHeight;
    const int w = cell.width() - 3;
    const int width = std::clamp(std::min(w, progress * w / BatchRun::kProgressComplete), 0, std::max(w, 0));
    ProgressBarGeometry geometry;
    geometry.lightFrame = QRect(QPoint(left + 1, top + 3), QPoint(right - 1 - 1, bottom - 3 - 1));
    geometry.blackFrame = QRect(QPoint(left, top + 2), QPoint(right - 2 - 1, bottom - 4 - 1));
    geometry.bar = QRect(left + 1, top + 3, width, rowHeight - 7);
    return geometry;
}

QSize ProgressListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {0, std::max(16, option.fontMetrics.height()) + 4};
}

void ProgressListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const QRect cell = option.rect;
    painter->save();
    DrawStrip(painter, cell, kRowNormalBitmap);
    if (index.column() == static_cast<int>(ProgressColumn::Progress)) {
        const int progress = index.data(ProgressListModel::kProgressRole).toInt();
        const ProgressBarGeometry geometry = ProgressBarLayout(cell, cell.height(), progress);
        // Each frame is outlined and filled white, the black one over the grey
        // one, so the grey shows as a shadow on the right and at the bottom.
        painter->setBrush(Qt::white);
        painter->setPen(QColor(192, 192, 192));
        painter->drawRect(geometry.lightFrame.adjusted(0, 0, -1, -1));
        painter->setPen(Qt::black);
        painter->drawRect(geometry.blackFrame.adjusted(0, 0, -1, -1));
        if (!geometry.bar.isEmpty()) painter->drawPixmap(geometry.bar, BitmapPicture(kProgressBarBitmap));
    } else {
        const QVariant alignment = index.data(Qt::TextAlignmentRole);
        painter->setPen(Qt::black);
        painter->setFont(option.font);
        DrawCellText(painter, cell, ToU16(index.data(Qt::DisplayRole).toString()),
                     alignment.isValid() ? Qt::AlignHCenter : Qt::AlignLeft);
    }
    DrawRowFocus(painter, option, index);
    painter->restore();
}

// ---- the view ----------------------------------------------------------------------------

ProgressListCtrl::ProgressListCtrl(const FirmwarePackage& package, Timing timing, QWidget* parent)
    : QTableView(parent),
      port_(std::make_unique<QtOwnerPort>(this, [this](int id) { list_->OnTimer(id); })),
      list_(std::make_unique<BatchRun>(*port_, package, timing)) {
    model_ = new ProgressListModel(*list_, this);
    list_->SetObserver(model_);
    setModel(model_);
    setItemDelegate(new ProgressListDelegate(this));
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
    header->viewport()->installEventFilter(this);
    static const char* const kSamples[kColumns] = {"000", "255.255.255.255", "QRV-K7N", "00.00", "", "Loading config file"};
    FitColumns(this, kProgressColumnWidths, kSamples, kColumns);
    progressRefresh_.setInterval(kProgressRefreshMs);
    connect(&progressRefresh_, &QTimer::timeout, this, [this] { model_->RefreshProgress(); });
    progressRefresh_.start();
}

ProgressListCtrl::~ProgressListCtrl() {
    progressRefresh_.stop();
    list_->SetObserver(nullptr);
    // The jobs stop and join their workers while the rows and the port live.
    list_.reset();
}

// The list is never sorted: a press on a header item only beeps.
bool ProgressListCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == horizontalHeader()->viewport() && event->type() == QEvent::MouseButtonPress) {
        const int x = static_cast<QMouseEvent*>(event)->position().toPoint().x();
        if (HeaderItemAt(horizontalHeader(), x) >= 0) WarningBeep();
    }
    return QTableView::eventFilter(watched, event);
}

}  // namespace qrv
