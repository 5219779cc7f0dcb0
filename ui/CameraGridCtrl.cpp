#include "ui/CameraGridCtrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "resources/PictureNumbers.h"
#include "ui/DesktopActions.h"
#include "ui/QtOwnerPort.h"
#include "ui/UiPictures.h"
#include "ui/UiText.h"

namespace qrv {

namespace {

constexpr int kColumns = static_cast<int>(GridColumn::Count);
constexpr int kCheckBoxWidth = 20;
constexpr int kCheckBoxHeight = 16;
// A header press counts only this far inside an item: the dividers resize.
constexpr int kHeaderInset = 4;
// The system's application-workspace grey, used for texts in a disabled list.
const QColor kWorkspaceGrey(128, 128, 128);

const char* const kGridTitles[kColumns] = {"", "MAC address", "IP address", "Model", "Serial No.", "Version No.",
                                           "Name"};

int RowBackground(CheckResult result) {
    switch (result) {
    case CheckResult::Failed: return kRowFailedBitmap;
    case CheckResult::Passed: return kRowPassedBitmap;
    case CheckResult::None: break;
    }
    return kRowNormalBitmap;
}

}  // namespace

// ---- drawing helpers shared by the camera lists ----------------------------------------

void DrawStrip(QPainter* painter, const QRect& rect, int bitmap) {
    const QPixmap strip = BitmapPicture(bitmap);
    if (strip.isNull()) {
        painter->fillRect(rect, Qt::white);
        return;
    }
    painter->drawPixmap(rect, strip);
}

void DrawCellText(QPainter* painter, const QRect& cell, const std::u16string& text, Qt::Alignment alignment) {
    if (text.empty()) return;
    const QFontMetrics metrics = painter->fontMetrics();
    const std::u16string shown = ShortenToFit(text, cell.width(), kTextMargin, [&metrics](std::u16string_view part) {
        return metrics.horizontalAdvance(QString::fromUtf16(part.data(), static_cast<qsizetype>(part.size())));
    });
    painter->drawText(cell.adjusted(kTextMargin / 2, 0, -kTextMargin / 2, 0),
                      static_cast<int>(alignment | Qt::AlignVCenter | Qt::TextSingleLine),
                      QString::fromStdU16String(shown));
}

int HeaderItemAt(const QHeaderView* header, int x) {
    const int column = header->logicalIndexAt(x);
    if (column < 0) return -1;
    const int left = header->sectionViewportPosition(column);
    const int right = left + header->sectionSize(column);
    return x >= left + kHeaderInset && x < right - kHeaderInset ? column : -1;
}

void DrawRowFocus(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) {
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (!view || !view->hasFocus() || view->currentIndex().row() != index.row()) return;
    // The focus rectangle runs around the whole row: each cell draws its part.
    const QRect cell = option.rect.adjusted(0, 0, -1, -1);
    QPen pen(QColor(Qt::black));
    pen.setStyle(Qt::DotLine);
    painter->setPen(pen);
    painter->drawLine(cell.topLeft(), cell.topRight());
    painter->drawLine(cell.bottomLeft(), cell.bottomRight());
    if (index.column() == 0) painter->drawLine(cell.topLeft(), cell.bottomLeft());
    if (index.column() == index.model()->columnCount() - 1) painter->drawLine(cell.topRight(), cell.bottomRight());
}

void FitColumns(QTableView* view, const int* widths, const char* const* samples, int count) {
    const QFontMetrics body = view->fontMetrics();
    const QFontMetrics header = view->horizontalHeader()->fontMetrics();
    for (int column = 0; column < count; ++column) {
        const QString title = view->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        const int needed = std::max(body.horizontalAdvance(QString::fromLatin1(samples[column])) + kTextMargin + 2,
                                    header.horizontalAdvance(title) + kTextMargin + 4);
        view->setColumnWidth(column, std::max(widths[column], title.isEmpty() && !*samples[column] ? 0 : needed));
    }
    view->horizontalHeader()->setStretchLastSection(true);
}

// ---- model -------------------------------------------------------------------------------

CameraGridModel::CameraGridModel(TargetGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) {}

int CameraGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }

int CameraGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant CameraGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= grid_.RowCount()) return {};
    const GridRow& row = grid_.Row(index.row());
    const auto column = static_cast<GridColumn>(index.column());
    switch (role) {
    case Qt::DisplayRole: return ToQString(GridColumnText(row, column));
    case Qt::CheckStateRole:
        if (column == GridColumn::Target) return row.target ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ToolTipRole:
        if (column == GridColumn::Address && !AddressTip(row).empty()) return ToQString(AddressTip(row));
        return {};
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

void CameraGridModel::SyncRowCount() {
    const int now = grid_.RowCount();
    if (now > shown_) {
        beginInsertRows({}, shown_, now - 1);
        shown_ = now;
        endInsertRows();
    } else if (now < shown_) {
        beginResetModel();
        shown_ = now;
        endResetModel();
    }
}

void CameraGridModel::EndUpdate() { SyncRowCount(); }

void CameraGridModel::RowsChanged() {
    SyncRowCount();
    AllRowsChanged();
}

void CameraGridModel::RowChanged(int row) {
    if (row < 0 || row >= shown_) return;
    emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

void CameraGridModel::AllRowsChanged() {
    if (shown_ > 0) emit dataChanged(index(0, 0), index(shown_ - 1, kColumns - 1));
}

// ---- delegate ----------------------------------------------------------------------------

CameraGridDelegate::CameraGridDelegate(const TargetGrid& grid, QObject* parent)
    : QStyledItemDelegate(parent), grid_(grid) {}

QSize CameraGridDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {0, std::max(kCheckBoxHeight, option.fontMetrics.height()) + 4};
}

void CameraGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (index.row() >= grid_.RowCount()) return;
    const GridRow& row = grid_.Row(index.row());
    const auto column = static_cast<GridColumn>(index.column());
    const bool enabled = option.state & QStyle::State_Enabled;
    const bool highlighted = enabled && (option.state & QStyle::State_Selected);
    const QRect cell = option.rect;

    painter->save();
    if (!enabled) {
        painter->fillRect(cell, option.palette.color(QPalette::Disabled, QPalette::Button));
    } else {
        DrawStrip(painter, cell, highlighted ? kRowSelectedBitmap : RowBackground(row.checkResult));
    }

    if (column == GridColumn::Target) {
        const int image = !enabled ? 2 : (row.target ? 1 : 0);
        const QPixmap boxes = BitmapPicture(kCheckBoxBitmap);
        const int top = cell.top() + (cell.height() - kCheckBoxHeight) / 2;
        painter->drawPixmap(QPoint(cell.left(), top), boxes,
                            QRect(image * kCheckBoxWidth, 0, kCheckBoxWidth, kCheckBoxHeight));
    } else {
        QColor ink = highlighted ? option.palette.color(QPalette::Active, QPalette::HighlightedText)
                                 : QColor(Qt::black);
        if (column == GridColumn::Name && row.password.empty()) ink = QColor(255, 0, 0);
        if (!enabled) ink = kWorkspaceGrey;
        painter->setPen(ink);
        painter->setFont(option.font);
        DrawCellText(painter, cell, GridColumnText(row, column), Qt::AlignLeft);
    }

    DrawRowFocus(painter, option, index);
    painter->restore();
}

// ---- the view ----------------------------------------------------------------------------

CameraGridCtrl::CameraGridCtrl(const ModelList& models, Timing timing, QWidget* parent)
    : QTableView(parent),
      model_(new CameraGridModel(grid_, this)),
      port_(std::make_unique<QtOwnerPort>(this, [this](int id) { checks_->OnTimer(id); })),
      checks_(std::make_unique<LoginChecks>(*port_, grid_, models, timing)) {
    checks_->SetObserver(this);
    setModel(model_);
    setItemDelegate(new CameraGridDelegate(grid_, this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(kCheckBoxHeight, fontMetrics().height()) + 4);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->viewport()->installEventFilter(this);
    static const char* const kSamples[kColumns] = {"", "00:00:00:00:00:00", "255.255.255.255", "QRV-K7N",
                                                   "0000000", "00.00", "admin"};
    FitColumns(this, kGridColumnWidths, kSamples, kColumns);
    setColumnWidth(0, kGridColumnWidths[0]);
    header->setSectionResizeMode(0, QHeaderView::Fixed);
}

CameraGridCtrl::~CameraGridCtrl() {
    // Pending checks stop and join their workers before the rows go.
    checks_.reset();
}

GridRefresh CameraGridCtrl::RefreshFrom(const DiscoveryTable& table) {
    return RefreshGridFromTable(grid_, table, model_);
}

void CameraGridCtrl::AddRows(const std::function<void(TargetGrid&)>& add) {
    model_->BeginUpdate();
    add(grid_);
    model_->EndUpdate();
}

std::vector<int> CameraGridCtrl::SelectedRows() const {
    std::vector<int> rows;
    if (!selectionModel()) return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CameraGridCtrl::FirstSelectedRow() const {
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? -1 : rows.front();
}

void CameraGridCtrl::SelectOnly(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    selectionModel()->setCurrentIndex(model_->index(row, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(model_->index(row, 0));
}

void CameraGridCtrl::SelectFirstRow() { SelectOnly(0); }

void CameraGridCtrl::SelectAllRows() {
    if (model_->rowCount() == 0) return;
    selectAll();
    selectionModel()->setCurrentIndex(model_->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void CameraGridCtrl::StepSelectionUp() {
    const int row = currentIndex().isValid() ? currentIndex().row() : FirstSelectedRow();
    SelectOnly(std::max(0, row - 1));
}

void CameraGridCtrl::StepSelectionDown() {
    const int row = currentIndex().isValid() ? currentIndex().row() : FirstSelectedRow();
    SelectOnly(std::min(model_->rowCount() - 1, row + 1));
}

void CameraGridCtrl::SetCredentials(int row, const std::u16string& name, const std::u16string& password) {
    if (row < 0 || row >= grid_.RowCount()) return;
    const GridRow& before = grid_.Row(row);
    // A green or red row speaks of the account it was tested with: another
    // account has not been tested yet.
    if (before.name != name || before.password != password) grid_.SetCheckResult(row, CheckResult::None);
    grid_.SetCredentials(row, name, password);
    model_->RowChanged(row);
}

int CameraGridCtrl::StartLoginChecks() { return checks_->Start(SelectedRows()); }

void CameraGridCtrl::LoginCheckRowChanged(int row) { model_->RowChanged(row); }

void CameraGridCtrl::OnLoginChecksFinished() { emit LoginChecksFinished(); }

void CameraGridCtrl::SortByColumn(int column) {
    // The selection and the focus belong to the view: they go in as positions
    // and come back as the same rows' new positions.
    std::vector<int> keep = SelectedRows();
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    keep.push_back(current);
    model_->BeginReorder();
    grid_.SortByColumn(column, keep);
    model_->EndReorder();
    const int newCurrent = keep.back();
    keep.pop_back();
    QItemSelection selection;
    for (int row : keep) selection.select(model_->index(row, 0), model_->index(row, kColumns - 1));
    if (newCurrent >= 0) selectionModel()->setCurrentIndex(model_->index(newCurrent, 0), QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

// ---- mouse and keys ------------------------------------------------------------------------

void CameraGridCtrl::PressCheckBox(int row) {
    grid_.PressCheckBox(row, SelectedRows());
    model_->AllRowsChanged();
    emit TargetsChanged();
}

void CameraGridCtrl::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    // A press below the rows changes nothing, not even the selection.
    if (!index.isValid()) return;
    if (event->button() == Qt::LeftButton && index.column() == 0) {
        // The check box: the selection stays as it is.
        PressCheckBox(index.row());
        return;
    }
    QTableView::mousePressEvent(event);
}

void CameraGridCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        emit SelectionTouched(!SelectedRows().empty());
    }
}

void CameraGridCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton) {
        if (index.column() == 0) {
            PressCheckBox(index.row());
            return;
        }
        const GridRow& row = grid_.Row(index.row());
        OpenWebPage(ToQString(WebPageUrl(row.ip, row.port)));
    }
    QTableView::mouseDoubleClickEvent(event);
}

void CameraGridCtrl::keyPressEvent(QKeyEvent* event) {
    // Space is the check box's key (on release), not the selection's.
    if (event->key() == Qt::Key_Space) return;
    QTableView::keyPressEvent(event);
}

void CameraGridCtrl::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && currentIndex().isValid()) {
        if (grid_.PressSpace(currentIndex().row(), SelectedRows())) {
            model_->AllRowsChanged();
            emit TargetsChanged();
        }
    }
    QTableView::keyReleaseEvent(event);
    emit SelectionTouched(!SelectedRows().empty());
}

bool CameraGridCtrl::eventFilter(QObject* watched, QEvent* event) {
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
