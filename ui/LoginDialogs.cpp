#include "ui/LoginDialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/BitmapPushButton.h"
#include "batch/TargetGrid.h"
#include "ui/CameraGridView.h"
#include "ui/DesktopActions.h"
#include "ui/Ipv4AddressEdit.h"
#include "ui/UiText.h"

namespace qrv {

namespace {

constexpr int kMaxLoginText = 16;

QLineEdit* CredentialEdit(QWidget* parent, const char* objectName, bool password) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(objectName));
    edit->setMaxLength(kMaxLoginText);
    if (password) edit->setEchoMode(QLineEdit::Password);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 12);
    return edit;
}

QLabel* Buddy(const QString& text, QWidget* field, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(field);
    return label;
}

void GiveCredentials(TargetGrid& grid, int row, const std::u16string& name, const std::u16string& password) {
    if (row < 0 || row >= grid.RowCount()) return;
    const GridRow& before = grid.Row(row);
    // A green or red row speaks of the account it was tested with: another
    // account has not been tested yet.
    if (before.name != name || before.password != password) grid.SetCheckResult(row, CheckResult::None);
    grid.SetCredentials(row, name, password);
}

}  // namespace

// ---- Single login ------------------------------------------------------------------------

SingleLoginDialog::SingleLoginDialog(CameraGridView& view, TargetGrid& grid, QWidget* parent)
    : QDialog(parent),
      view_(view),
      grid_(grid),
      address_(new Ipv4AddressEdit(this)),
      prev_(new BitmapPushButton(QStringLiteral("PREV"), this)),
      next_(new BitmapPushButton(QStringLiteral("NEXT"), this)),
      name_(CredentialEdit(this, "adminName", false)),
      password_(CredentialEdit(this, "adminPassword", true)) {
    setWindowTitle(QStringLiteral("Single login"));
    setObjectName(QStringLiteral("SingleLoginDialog"));
    address_->setObjectName(QStringLiteral("address"));
    address_->setEnabled(false);
    prev_->setObjectName(QStringLiteral("prev"));
    next_->setObjectName(QStringLiteral("next"));
    // The dialogs go on without pictures when they are missing.
    prev_->AttachImages();
    next_->AttachImages();
    // Enter runs the focused button; elsewhere NEXT (keyPressEvent).
    for (QPushButton* button : {static_cast<QPushButton*>(prev_), static_cast<QPushButton*>(next_)}) {
        button->setAutoDefault(true);
    }
    connect(prev_, &QPushButton::clicked, this, &SingleLoginDialog::OnPrevButton);
    connect(next_, &QPushButton::clicked, this, &SingleLoginDialog::OnNextButton);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("close"));
    for (QPushButton* button : {ok, close}) button->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &SingleLoginDialog::OnOkButton);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* addressRow = new QHBoxLayout;
    addressRow->addWidget(address_, 1);
    addressRow->addWidget(prev_);
    addressRow->addWidget(next_);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("IP address:"), addressRow);
    form->addRow(Buddy(QStringLiteral("Administrator &name:"), name_, this), name_);
    form->addRow(Buddy(QStringLiteral("Administrator &password:"), password_, this), password_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    NameForReader(address_, QStringLiteral("IP address:"));
    for (int i = 0; i < 4; ++i) NameForReader(address_->Field(i), QStringLiteral("IP address:"));

    row_ = std::max(0, view_.FirstSelectedRow());
    prev_->setEnabled(row_ != 0);
    next_->setEnabled(row_ != grid_.RowCount());
    ShowRow(row_);
    name_->setFocus();
}

void SingleLoginDialog::SaveFields() { GiveCredentials(grid_, row_, ToU16(name_->text()), ToU16(password_->text())); }

void SingleLoginDialog::ShowRow(int row) {
    if (row < 0 || row >= grid_.RowCount()) return;
    const GridRow& r = grid_.Row(row);
    name_->setText(ToQString(r.name));
    password_->setText(ToQString(r.password));
    address_->SetAddress(r.ip);
}

void SingleLoginDialog::OnPrevButton() {
    if (row_ <= 0) return;
    SaveFields();
    prev_->setEnabled(row_ - 1 != 0);
    view_.StepSelectionUp();
    if (row_ < grid_.RowCount()) next_->setEnabled(true);
    --row_;
    ShowRow(row_);
    name_->setFocus();
}

void SingleLoginDialog::OnNextButton() {
    SaveFields();
    if (row_ + 1 < grid_.RowCount()) {
        next_->setEnabled(true);
        view_.StepSelectionDown();
        ++row_;
    } else {
        // The end of the rows: no message, a beep and the caption's flash.
        next_->setEnabled(false);
        WarningBeep();
        FlashCaption(this);
    }
    if (row_ != 0) prev_->setEnabled(true);
    ShowRow(row_);
    name_->setFocus();
}

void SingleLoginDialog::OnOkButton() {
    SaveFields();
    // The opener does not look at the result.
    reject();
}

// Enter runs NEXT while it can; it never closes the dialog.
void SingleLoginDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (next_->isEnabled()) OnNextButton();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---- Batch login -------------------------------------------------------------------------

BatchLoginDialog::BatchLoginDialog(CameraGridView& view, TargetGrid& grid, QWidget* parent)
    : QDialog(parent),
      view_(view),
      grid_(grid),
      name_(CredentialEdit(this, "adminName", false)),
      password_(CredentialEdit(this, "adminPassword", true)) {
    setWindowTitle(QStringLiteral("Batch login"));
    setObjectName(QStringLiteral("BatchLoginDialog"));
    auto* form = new QFormLayout;
    form->addRow(Buddy(QStringLiteral("Administrator &name:"), name_, this), name_);
    form->addRow(Buddy(QStringLiteral("Administrator &password:"), password_, this), password_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    PrefillCommon();
}

void BatchLoginDialog::PrefillCommon() {
    const std::vector<int> rows = view_.SelectedRows();
    if (rows.size() < 2) return;
    const GridRow& first = grid_.Row(rows.front());
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const GridRow& other = grid_.Row(rows[i]);
        if (other.name != first.name || other.password != first.password) return;
    }
    name_->setText(ToQString(first.name));
    password_->setText(ToQString(first.password));
}

// Empty boxes are accepted: they clear the rows' credentials.
void BatchLoginDialog::accept() {
    const std::u16string name = ToU16(name_->text());
    const std::u16string password = ToU16(password_->text());
    for (int row : view_.SelectedRows()) GiveCredentials(grid_, row, name, password);
    QDialog::accept();
}

}  // namespace qrv
