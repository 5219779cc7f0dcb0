#include "ui/AddCamerasDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <QFile>

#include "batch/AddCameraList.h"
#include "batch/CameraListImporter.h"
#include "platform/OwnerPort.h"
#include "platform/Text.h"
#include "batch/TargetGrid.h"
#include "ui/AddCameraListModel.h"
#include "ui/AddCameraListView.h"
#include "ui/QtOwnerPort.h"
#include "ui/EntryTerminalsDialog.h"
#include "ui/UiText.h"

namespace qrv {

namespace {

// The file dialog of Load from CSV; tests answer it themselves.
ListFileChooser& Chooser() {
    static ListFileChooser chooser;
    return chooser;
}

QPushButton* DialogButton(const QString& text, const char* objectName, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    // Enter runs the focused button; elsewhere OK, the default.
    button->setAutoDefault(true);
    return button;
}

}  // namespace

void SetListFileChooser(ListFileChooser chooser) { Chooser() = std::move(chooser); }

// Where "*.*" would hide the files without a dot, "*" stands for every file.
QStringList ListFileFilters() {
#ifdef Q_OS_WIN
    const QString all = QStringLiteral("All Files (*.*)");
#else
    const QString all = QStringLiteral("All Files (*)");
#endif
    return {QStringLiteral("CSV Files (*.txt)"), QStringLiteral("CSV Files (*.csv)"), all};
}

QString ChooseListFile(QWidget* parent) {
    if (Chooser()) return Chooser()(parent);
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.setNameFilters(ListFileFilters());
    dialog.setOption(QFileDialog::ReadOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

AddCamerasDialog::AddCamerasDialog(const ModelList& models, int alreadyTargeted, Timing timing, QWidget* parent)
    : QDialog(parent),
      capacity_(std::max(0, kMaxListedCameras - alreadyTargeted)),
      port_(std::make_unique<QtOwnerPort>(this, [this](int id) { entries_->OnTimer(id); })),
      entries_(std::make_unique<AddCameraList>(*port_, models, timing)),
      model_(std::make_unique<AddCameraListModel>(*entries_)),
      list_(new AddCameraListView(*model_, this)),
      counter_(new QLabel(this)),
      ok_(DialogButton(QStringLiteral("OK"), "addOk", this)),
      add_(DialogButton(QStringLiteral("&Add..."), "add", this)),
      edit_(DialogButton(QStringLiteral("&Edit..."), "edit", this)),
      delete_(DialogButton(QStringLiteral("&Delete..."), "delete", this)),
      load_(DialogButton(QStringLiteral("&Load from CSV..."), "load", this)),
      paste_(DialogButton(QStringLiteral("&Paste from clipboard"), "paste", this)) {
    setWindowTitle(QStringLiteral("Add other cameras"));
    setObjectName(QStringLiteral("AddCamerasDialog"));
    list_->setObjectName(QStringLiteral("entryList"));
    counter_->setObjectName(QStringLiteral("remainingCounter"));
    auto* cancel = DialogButton(QStringLiteral("Cancel"), "addCancel", this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &AddCamerasDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &AddCamerasDialog::reject);
    connect(add_, &QPushButton::clicked, this, &AddCamerasDialog::OnAdd);
    connect(edit_, &QPushButton::clicked, this, &AddCamerasDialog::OnEdit);
    connect(delete_, &QPushButton::clicked, this, &AddCamerasDialog::OnDelete);
    connect(load_, &QPushButton::clicked, this, &AddCamerasDialog::OnLoad);
    connect(paste_, &QPushButton::clicked, this, &AddCamerasDialog::OnPaste);
    connect(model_.get(), &AddCameraListModel::OkAllowed, this, &AddCamerasDialog::EnableOk);
    connect(model_.get(), &AddCameraListModel::ButtonsStale, this, &AddCamerasDialog::RefreshButtons);
    // The view's clicks and keys move the list's one selected row (before the
    // buttons look at it).
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && current.row() != entries_->SelectedRow()) entries_->SelectRow(current.row());
            });
    connect(list_, &AddCameraListView::RowPressed, this, [this](int row) { entries_->SelectRow(row); });
    connect(list_, &AddCameraListView::SortRequested, this, &AddCamerasDialog::SortByColumn);
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { RefreshButtons(); });

    auto* title = new QLabel(QStringLiteral("Target camera(s):"), this);
    // The remaining capacity is kept current but, as in the dialog's design,
    // not shown.
    auto* remaining = new QLabel(QStringLiteral("Remaining:"), this);
    remaining->hide();
    counter_->hide();
    auto* side = new QVBoxLayout;
    for (QPushButton* button : {edit_, add_, delete_}) side->addWidget(button);
    side->addSpacing(12);
    for (QPushButton* button : {load_, paste_}) side->addWidget(button);
    side->addStretch(1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(list_, 1);
    middle->addLayout(side);
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(remaining);
    bottom->addWidget(counter_);
    bottom->addStretch(1);
    bottom->addWidget(ok_);
    bottom->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(middle, 1);
    layout->addWidget(rule);
    layout->addLayout(bottom);
    resize(640, 360);
    ChainTabOrder({list_, edit_, add_, delete_, load_, paste_, ok_, cancel});
    NameForReader(list_, title->text());

    RefreshButtons();
    RefreshCounter();
    ok_->setEnabled(false);
    edit_->setFocus();
}

AddCamerasDialog::~AddCamerasDialog() {
    model_.reset();
    // Pending inquiries stop and join their workers while the port lives.
    entries_.reset();
}

void AddCamerasDialog::SetTargetGrid(TargetGrid* grid) {
    grid_ = grid;
    entries_->SetTargetGrid(grid);
}

void AddCamerasDialog::SelectRow(int row) {
    entries_->SelectRow(row);
    list_->ShowSelectedRow(entries_->SelectedRow());
}

int AddCamerasDialog::SelectedRow() const { return entries_->SelectedRow(); }

void AddCamerasDialog::SortByColumn(int column) {
    entries_->SortByColumn(column);
    list_->ShowSelectedRow(entries_->SelectedRow());
}

QString AddCamerasDialog::CounterText() const { return counter_->text(); }

void AddCamerasDialog::RefreshCounter() {
    counter_->setText(QStringLiteral("%1/%2").arg(capacity_ - RowCount()).arg(capacity_));
}

void AddCamerasDialog::RefreshButtons() {
    const bool selected = SelectedRow() >= 0 && RowCount() > 0;
    edit_->setEnabled(selected);
    delete_->setEnabled(selected);
    const bool room = RowCount() != capacity_;
    for (QPushButton* button : {add_, paste_, load_}) button->setEnabled(room);
}

void AddCamerasDialog::EnableOk(bool enable) { ok_->setEnabled(enable); }

// ---- what the Entry terminals dialog drives -----------------------------------------

int AddCamerasDialog::AppendRow() {
    if (RowCount() != capacity_) entries_->AppendRow();
    SelectRow(RowCount() - 1);
    RefreshCounter();
    return SelectedRow();
}

void AddCamerasDialog::SetSelectedAddress(const AddressBytes& ip, int port) {
    const int row = SelectedRow();
    if (row < 0) return;
    entries_->SetAddress(row, ip, port, true);
    RefreshCounter();
}

void AddCamerasDialog::AdvanceRow() {
    if (SelectedRow() == RowCount() - 1) {
        AppendRow();
    } else {
        SelectRow(SelectedRow() + 1);
    }
    RefreshCounter();
}

// A row without an address holds the one given last, the entry's starting value.
CameraAddress AddCamerasDialog::GetSelectedAddress() const {
    const AddCameraList& list = *entries_;
    const int row = list.SelectedRow();
    if (row < 0) return CameraAddress{list.LastAddress(), list.LastPort()};
    return list.Row(row).address;
}

void AddCamerasDialog::SelectPreviousRow() {
    if (SelectedRow() > 0) SelectRow(SelectedRow() - 1);
}

bool AddCamerasDialog::RowHasAddress(int row) const {
    return row >= 0 && row < RowCount() && entries_->Row(row).addressGiven;
}

int AddCamerasDialog::RowCount() const { return entries_->RowCount(); }

void AddCamerasDialog::DeleteSelectedRow() {
    const int row = SelectedRow();
    if (row >= 0) entries_->DeleteRow(row);
    if (RowCount() == 0) AppendRow();
    SelectRow(entries_->SelectedRow());
    RefreshButtons();
    RefreshCounter();
}

// ---- the buttons ----------------------------------------------------------------------

void AddCamerasDialog::RunEntryDialog(int position) {
    EntryTerminalsDialog entry(*this, capacity_, position, this);
    emit EntryDialogOpening(&entry);
    entry.exec();
}

void AddCamerasDialog::AfterEntryDialog() {
    entries_->RemoveUnqueuedRows();
    SelectRow(entries_->SelectedRow());
    list_->viewport()->update();
    RefreshCounter();
    RefreshButtons();
}

void AddCamerasDialog::OnAdd() {
    if (RowCount() != capacity_) entries_->AppendRow();
    SelectRow(RowCount() - 1);
    RefreshCounter();
    RunEntryDialog(RowCount() - 1);
    AfterEntryDialog();
    SetTargetGrid(grid_);
}

void AddCamerasDialog::OnEdit() {
    if (SelectedRow() < 0) return;
    RunEntryDialog(SelectedRow());
    AfterEntryDialog();
}

void AddCamerasDialog::OnDelete() {
    const int row = SelectedRow();
    if (row < 0) return;
    const AddCameraItem& item = entries_->Row(row);
    const std::u16string question = u"Would you like to delete the " +
                                    AddCameraColumnText(item, AddCameraColumn::Model) + u"(" +
                                    item.address.Text() + u")?";
    if (Ask(*port_, question, kCaptionInformation, BoxIcon::Question, BoxButtons::OkCancel) != BoxAnswer::Ok) return;
    entries_->DeleteRow(row);
    SelectRow(entries_->SelectedRow());
    RefreshButtons();
    RefreshCounter();
}

void AddCamerasDialog::AddEntries(const std::vector<CameraAddress>& entries) {
    const int first = RowCount();
    for (std::size_t i = 0; i < entries.size() && first + static_cast<int>(i) < capacity_; ++i) {
        if (RowCount() == capacity_) break;
        entries_->AppendRow();
        SelectRow(RowCount() - 1);
        entries_->SetAddress(first + static_cast<int>(i), entries[i].ip, entries[i].port, true);
        RefreshCounter();
    }
    RefreshButtons();
}

void AddCamerasDialog::AddImported(const CameraListImporter& importer) {
    std::vector<CameraAddress> entries;
    for (int i = 0; const std::optional<CameraAddress> entry = importer.EntryAt(i); ++i) entries.push_back(*entry);
    AddEntries(entries);
}

void AddCamerasDialog::OnLoad() {
    const QString path = ChooseListFile(this);
    if (path.isEmpty()) return;
    CameraListImporter importer(*port_);
    std::string error;
    if (importer.LoadFromFile(QFile::encodeName(path).toStdString(), error)) {
        AddImported(importer);
    } else if (!error.empty()) {
        Ask(*port_, FromUtf8(error), kCaptionInformation, BoxIcon::Exclamation, BoxButtons::Ok);
    }
}

// The clipboard's text as the 8-bit bytes a site list is written in.
void AddCamerasDialog::OnPaste() {
    const QByteArray bytes = QApplication::clipboard()->text().toLatin1();
    CameraListImporter importer(*port_);
    if (importer.LoadFromBytes(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
        AddImported(importer);
    }
}

// ---- OK and Cancel ---------------------------------------------------------------------

void AddCamerasDialog::accept() {
    AddCameraList& list = *entries_;
    if (!list.AllRowsAcceptable() &&
        Ask(*port_, u"Not all the listed cameras are valid!", kCaptionInformation, BoxIcon::Question,
            BoxButtons::OkCancel) != BoxAnswer::Ok) {
        return;
    }
    if (grid_) list.TransferAcceptableRows(*grid_);
    QDialog::accept();
}

// Also Esc and the close box.
void AddCamerasDialog::reject() {
    if (RowCount() > 0 && Ask(*port_, u"All of the data will be released.", kCaptionInformation, BoxIcon::Question,
                              BoxButtons::OkCancel) != BoxAnswer::Ok) {
        return;
    }
    QDialog::reject();
}

}  // namespace qrv
