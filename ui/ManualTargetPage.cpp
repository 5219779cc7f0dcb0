#include "ui/ManualTargetPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <limits>

#include "platform/OwnerPort.h"

#include "discovery/DiscoveryTable.h"
#include "engine/CameraAddress.h"
#include "ui/Ipv4AddressEdit.h"
#include "ui/UiText.h"

namespace qrv {

namespace {

constexpr int kMaxCredentialLength = 16;

QLabel* BuddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

ManualTargetPage::ManualTargetPage(OwnerPort& owner, QWidget* parent)
    : WizardPage(owner, parent),
      address_(new Ipv4AddressEdit(this)),
      port80_(new QRadioButton(QStringLiteral("80"), this)),
      customPortChoice_(new QRadioButton(this)),
      customPortEdit_(new QLineEdit(this)),
      adminName_(new QLineEdit(this)),
      adminPassword_(new QLineEdit(this)),
      retain_(new QCheckBox(QStringLiteral("&Retain the current settings"), this)),
      backup_(new QCheckBox(QStringLiteral("Backup the current &settings"), this)) {
    address_->setObjectName(QStringLiteral("address"));
    port80_->setObjectName(QStringLiteral("port80"));
    customPortChoice_->setObjectName(QStringLiteral("customPortChoice"));
    customPortChoice_->setAccessibleName(QStringLiteral("Custom port"));
    customPortEdit_->setObjectName(QStringLiteral("customPort"));
    adminName_->setObjectName(QStringLiteral("adminName"));
    adminPassword_->setObjectName(QStringLiteral("adminPassword"));
    retain_->setObjectName(QStringLiteral("retain"));
    backup_->setObjectName(QStringLiteral("backup"));

    address_->SetAddress({192, 168, 0, 100});
    port80_->setChecked(true);
    auto* ports = new QButtonGroup(this);
    ports->addButton(port80_, 0);
    ports->addButton(customPortChoice_, 1);
    TabToCheckedOption(ports);
    customPortEdit_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    customPortEdit_->setMaxLength(10);
    customPortEdit_->setText(QString::number(customPort_));
    customPortEdit_->setEnabled(false);
    customPortEdit_->setFixedWidth(customPortEdit_->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    adminName_->setMaxLength(kMaxCredentialLength);
    adminPassword_->setMaxLength(kMaxCredentialLength);
    adminPassword_->setEchoMode(QLineEdit::Password);
    retain_->setChecked(true);
    backup_->setChecked(false);

    connect(port80_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) OnPort80();
    });
    connect(customPortChoice_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) OnCustomPort();
    });
    connect(retain_, &QCheckBox::clicked, this, [this] { OnRetainClicked(); });

    // Target camera: address on one row, the port choice on the next.
    auto* target = new QGroupBox(QStringLiteral("Target camera"), this);
    auto* targetGrid = new QGridLayout(target);
    targetGrid->setColumnStretch(1, 1);
    targetGrid->addWidget(BuddyLabel(QStringLiteral("&IP address:"), address_, target), 0, 0);
    targetGrid->addWidget(address_, 0, 1, Qt::AlignLeft);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(port80_);
    portRow->addSpacing(18);
    portRow->addWidget(customPortChoice_);
    portRow->addWidget(customPortEdit_);
    portRow->addWidget(BuddyLabel(QStringLiteral("(&1024 to 65535)"), customPortEdit_, target));
    portRow->addStretch(1);
    targetGrid->addWidget(BuddyLabel(QStringLiteral("&HTTP port No.:"), port80_, target), 1, 0);
    targetGrid->addLayout(portRow, 1, 1);

    auto* login = new QGroupBox(QStringLiteral("Login"), this);
    auto* loginGrid = new QGridLayout(login);
    loginGrid->setColumnStretch(2, 1);
    const int credentialWidth = adminName_->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 16;
    adminName_->setFixedWidth(credentialWidth);
    adminPassword_->setFixedWidth(credentialWidth);
    loginGrid->addWidget(BuddyLabel(QStringLiteral("&Administrator name:"), adminName_, login), 0, 0);
    loginGrid->addWidget(adminName_, 0, 1);
    loginGrid->addWidget(BuddyLabel(QStringLiteral("Administrator &password:"), adminPassword_, login), 1, 0);
    loginGrid->addWidget(adminPassword_, 1, 1);

    auto* setup = new QGroupBox(QStringLiteral("Setup data"), this);
    auto* setupLayout = new QVBoxLayout(setup);
    setupLayout->addWidget(retain_);
    setupLayout->addWidget(backup_);

    // The labels of the first two groups share one column width so that the
    // fields line up.
    const int labelWidth = std::max(targetGrid->itemAtPosition(1, 0)->widget()->sizeHint().width(),
                                    loginGrid->itemAtPosition(1, 0)->widget()->sizeHint().width());
    targetGrid->setColumnMinimumWidth(0, labelWidth);
    loginGrid->setColumnMinimumWidth(0, labelWidth);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(target);
    layout->addWidget(login);
    layout->addWidget(setup);
    layout->addStretch(1);

    for (int i = 0; i < 4; ++i) NameForReader(address_->Field(i), QStringLiteral("&IP address:"));
    setTabOrder(address_, port80_);
    setTabOrder(port80_, customPortChoice_);
    setTabOrder(customPortChoice_, customPortEdit_);
    setTabOrder(customPortEdit_, adminName_);
    setTabOrder(adminName_, adminPassword_);
    setTabOrder(adminPassword_, retain_);
    setTabOrder(retain_, backup_);
}

bool ManualTargetPage::ReadFields() {
    addressBytes_ = address_->Address();
    portChoice_ = customPortChoice_->isChecked() ? 1 : 0;
    name_ = adminName_->text();
    password_ = adminPassword_->text();
    retainValue_ = retain_->isChecked();
    backupValue_ = backup_->isChecked();
    // The port box counts only while the custom port is chosen; a box the
    // user cannot edit is never held against the input.
    if (portChoice_ == 0) return true;
    bool ok = false;
    const qulonglong value = customPortEdit_->text().toULongLong(&ok);
    if (!ok || value > std::numeric_limits<unsigned>::max()) return false;
    customPort_ = static_cast<unsigned>(value);
    return true;
}

bool ManualTargetPage::Validate() {
    auto refuse = [this](const std::u16string& text, QWidget* focus) {
        Ask(Owner(), text, kCaptionInformation, BoxIcon::Exclamation, BoxButtons::Ok);
        focus->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(focus)) edit->selectAll();
        return false;
    };
    if (!ReadFields()) return refuse(u"Please enter an unsigned integer.", customPortEdit_);
    if (address_->IsBlank()) return refuse(MessageU16(120, &Owner()), address_);
    // The custom port box is for ports other than 80: 80 typed there is refused too.
    if (portChoice_ == 1 && (customPort_ < static_cast<unsigned>(kLowestCustomPort) ||
                             customPort_ > static_cast<unsigned>(kHighestPort))) {
        return refuse(MessageU16(310, &Owner()), customPortEdit_);
    }
    if (name_.isEmpty()) return refuse(MessageU16(308, &Owner()), adminName_);
    if (password_.isEmpty()) return refuse(MessageU16(308, &Owner()), adminPassword_);
    return true;
}

std::string ManualTargetPage::GetAddressText() {
    ReadFields();
    return CameraAddress{addressBytes_, portChoice_ == 1 ? static_cast<int>(customPort_) : kDefaultHttpPort}.Text8();
}

std::u16string ManualTargetPage::GetCredentialText() {
    ReadFields();
    return ToU16(name_ + QStringLiteral(":") + password_);
}

bool ManualTargetPage::CheckDuplicateAddress() {
    if (!discovered_) return true;
    const AddressBytes typed = address_->Address();
    int same = 0;
    for (const DiscoveredCamera& camera : discovered_->Snapshot()) {
        if (!FieldText(camera.mac).empty() && camera.ip == typed) ++same;
    }
    if (same <= 1) return true;
    Ask(Owner(), u"There is more than one camera with the same IP address.\r\nCannot proceed with the upgrade.",
        kCaptionError, BoxIcon::Stop, BoxButtons::Ok);
    return false;
}

bool ManualTargetPage::Retain() {
    ReadFields();
    return retainValue_;
}

bool ManualTargetPage::Backup() {
    ReadFields();
    return retainValue_ && backupValue_;
}

void ManualTargetPage::OnPort80() { customPortEdit_->setEnabled(false); }
void ManualTargetPage::OnCustomPort() { customPortEdit_->setEnabled(true); }

void ManualTargetPage::OnRetainClicked() {
    if (retain_->isChecked()) {
        backup_->setEnabled(true);
        return;
    }
    backup_->setEnabled(false);
    backup_->setChecked(false);
}

void ManualTargetPage::FocusAddress() { address_->setFocus(); }

}  // namespace qrv
