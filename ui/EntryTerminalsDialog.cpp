#include "ui/EntryTerminalsDialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "engine/CameraAddress.h"
#include "platform/OwnerPort.h"
#include "ui/AddCamerasDialog.h"
#include "ui/BitmapPushButton.h"
#include "ui/DesktopActions.h"
#include "ui/Ipv4AddressEdit.h"
#include "ui/QtOwnerPort.h"
#include "ui/UiText.h"

namespace qrv {

namespace {

constexpr int kMsgBadAddress = 120;  // "Input the correct IP address of the target camera."
constexpr int kMsgBadPort = 310;     // "Input the correct port No. of the target camera."
constexpr int kMsgRemove = 253;      // "Would you like to remove this camera?"
constexpr int kFirstCustomPort = 1024;

}  // namespace

EntryTerminalsDialog::EntryTerminalsDialog(AddCamerasDialog& owner, int capacity, int position, QWidget* parent)
    : QDialog(parent),
      owner_(owner),
      port_(std::make_unique<QtOwnerPort>(this, [](int) {})),
      boxes_(*port_),
      capacity_(capacity),
      position_(position),
      address_(new Ipv4AddressEdit(this)),
      port80_(new QRadioButton(QStringLiteral("80"), this)),
      portCustom_(new QRadioButton(this)),
      customPort_(new QLineEdit(this)),
      counter_(new QLabel(this)),
      prev_(new BitmapPushButton(QStringLiteral("PREV"), this)),
      next_(new BitmapPushButton(QStringLiteral("NEXT"), this)),
      add_(new BitmapPushButton(QStringLiteral("ADD"), this)),
      del_(new BitmapPushButton(QStringLiteral("DEL"), this)) {
    setWindowTitle(QStringLiteral("Entry terminals"));
    setObjectName(QStringLiteral("EntryTerminalsDialog"));
    address_->setObjectName(QStringLiteral("entryAddress"));
    port80_->setObjectName(QStringLiteral("entryPort80"));
    portCustom_->setObjectName(QStringLiteral("entryPortCustom"));
    customPort_->setObjectName(QStringLiteral("entryCustomPort"));
    counter_->setObjectName(QStringLiteral("entryCounter"));
    customPort_->setMaxLength(5);
    customPort_->setValidator(new QIntValidator(0, 99999, customPort_));
    customPort_->setFixedWidth(customPort_->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    auto* group = new QButtonGroup(this);
    group->addButton(port80_, 0);
    group->addButton(portCustom_, 1);
    TabToCheckedOption(group);
    connect(port80_, &QRadioButton::clicked, customPort_, [this] { customPort_->setEnabled(false); });
    connect(portCustom_, &QRadioButton::clicked, customPort_, [this] { customPort_->setEnabled(true); });

    for (BitmapPushButton* button : {prev_, next_, add_, del_}) {
        // The dialog goes on without pictures when they are missing.
        button->AttachImages();
        // Enter runs the focused button; elsewhere NEXT (keyPressEvent).
        button->setAutoDefault(true);
    }
    connect(prev_, &QPushButton::clicked, this, &EntryTerminalsDialog::OnPrevButton);
    connect(next_, &QPushButton::clicked, this, &EntryTerminalsDialog::OnNextButton);
    connect(add_, &QPushButton::clicked, this, &EntryTerminalsDialog::OnAddButton);
    connect(del_, &QPushButton::clicked, this, &EntryTerminalsDialog::OnDelButton);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("entryOk"));
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("entryClose"));
    for (QPushButton* button : {ok, close}) button->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &EntryTerminalsDialog::OnOkButton);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* addressLabel = new QLabel(QStringLiteral("&IP address:"), this);
    addressLabel->setBuddy(address_->Field(0));
    auto* portLabel = new QLabel(QStringLiteral("&HTTP port No.:"), this);
    portLabel->setBuddy(port80_);
    auto* rangeLabel = new QLabel(QStringLiteral("(&1024 to 65535)"), this);
    rangeLabel->setBuddy(customPort_);
    auto* navigation = new QHBoxLayout;
    navigation->addWidget(counter_);
    navigation->addStretch(1);
    for (BitmapPushButton* button : {prev_, next_, add_, del_}) navigation->addWidget(button);
    auto* ports = new QHBoxLayout;
    ports->addWidget(port80_);
    ports->addSpacing(12);
    ports->addWidget(portCustom_);
    ports->addWidget(customPort_);
    ports->addWidget(rangeLabel);
    ports->addStretch(1);
    auto* fields = new QGridLayout;
    fields->addWidget(addressLabel, 0, 0);
    fields->addWidget(address_, 0, 1);
    fields->addWidget(portLabel, 1, 0);
    fields->addLayout(ports, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(navigation);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    // Top to bottom, left to right, as drawn.
    ChainTabOrder({prev_, next_, add_, del_, address_, port80_, portCustom_, customPort_, ok, close});
    NameForReader(address_, addressLabel->text());
    for (int i = 0; i < 4; ++i) NameForReader(address_->Field(i), addressLabel->text());
    NameForReader(portCustom_, QStringLiteral("Custom port"));
    NameForReader(customPort_, rangeLabel->text());

    ShowCurrentRow();
}

EntryTerminalsDialog::~EntryTerminalsDialog() = default;

QString EntryTerminalsDialog::CounterText() const { return counter_->text(); }

bool EntryTerminalsDialog::Refuse(const std::u16string& text, QWidget* focus) {
    Ask(boxes_, text, kCaptionInformation, BoxIcon::Exclamation, BoxButtons::Ok);
    if (focus) focus->setFocus();
    return false;
}

// The port box counts only while the custom port is chosen, as on the manual
// target page: a number left in the disabled box is not held against the row.
bool EntryTerminalsDialog::ValidateEntry() {
    if (portCustom_->isChecked()) {
        bool number = false;
        const uint port = customPort_->text().toUInt(&number);
        if (!number) return Refuse(u"Please enter an unsigned integer.", customPort_);
        if (!IsValidPort(static_cast<int>(port)) || port == kDefaultHttpPort) {
            return Refuse(MessageU16(kMsgBadPort, &boxes_), customPort_);
        }
    }
    if (address_->IsBlank()) return Refuse(MessageU16(kMsgBadAddress, &boxes_), address_->Field(0));
    return true;
}

void EntryTerminalsDialog::SaveRow() {
    const int port = portCustom_->isChecked() ? customPort_->text().toInt() : kDefaultHttpPort;
    owner_.SetSelectedAddress(address_->Address(), port);
}

void EntryTerminalsDialog::ShowAddress() {
    const CameraAddress address = owner_.GetSelectedAddress();
    address_->SetAddress(address.ip);
    const bool custom = address.port != kDefaultHttpPort;
    portCustom_->setChecked(custom);
    port80_->setChecked(!custom);
    customPort_->setText(QString::number(custom ? address.port : kFirstCustomPort));
    customPort_->setEnabled(custom);
}

void EntryTerminalsDialog::UpdateButtons() {
    const bool hasAddress = owner_.RowHasAddress(position_);
    del_->setEnabled(hasAddress);
    next_->setEnabled(!(hasAddress && position_ + 1 == capacity_));
    prev_->setEnabled(position_ != 0);
    add_->setEnabled(capacity_ != owner_.RowCount());
}

// The tail every button shares: buttons, focus, the row's address, counter.
void EntryTerminalsDialog::ShowCurrentRow() {
    UpdateButtons();
    address_->Field(0)->setFocus();
    ShowAddress();
    counter_->setText(QStringLiteral("%1/%2").arg(position_ + 1).arg(capacity_));
}

void EntryTerminalsDialog::OnNextButton() {
    if (!ValidateEntry()) return;
    SaveRow();
    if (position_ + 1 < capacity_) {
        ++position_;
        owner_.AdvanceRow();
    } else {
        WarningBeep();
        FlashCaption(this);
    }
    ShowCurrentRow();
}

void EntryTerminalsDialog::OnPrevButton() {
    if (!ValidateEntry()) return;
    SaveRow();
    if (position_ > 0) {
        --position_;
        owner_.SelectPreviousRow();
    }
    ShowCurrentRow();
}

void EntryTerminalsDialog::OnAddButton() {
    if (!ValidateEntry()) return;
    SaveRow();
    position_ = owner_.AppendRow();
    ShowCurrentRow();
}

void EntryTerminalsDialog::OnDelButton() {
    if (Ask(boxes_, MessageU16(kMsgRemove, &boxes_), kCaptionInformation, BoxIcon::Question,
            BoxButtons::OkCancel) != BoxAnswer::Ok) {
        return;
    }
    owner_.DeleteSelectedRow();
    if (position_ == owner_.RowCount()) --position_;
    ShowCurrentRow();
}

void EntryTerminalsDialog::OnOkButton() {
    if (!ValidateEntry()) return;
    SaveRow();
    // The opener does not look at the result.
    reject();
}

// Enter runs NEXT; it never closes the dialog.
void EntryTerminalsDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OnNextButton();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace qrv
