#include "ui/ModeSelectPage.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/UiText.h"

namespace qrv {

ModeSelectPage::ModeSelectPage(OwnerPort& owner, QWidget* parent)
    : WizardPage(owner, parent),
      group_(new QGroupBox(QStringLiteral("&Select a mode"), this)),
      automatic_(new QRadioButton(QStringLiteral("Automatic upgrade"), group_)),
      manual_(new QRadioButton(QStringLiteral("Manual upgrade"), group_)),
      description_(new QLabel(this)) {
    group_->setObjectName(QStringLiteral("modeGroup"));
    automatic_->setObjectName(QStringLiteral("automaticMode"));
    manual_->setObjectName(QStringLiteral("manualMode"));
    automatic_->setChecked(true);
    auto* buttons = new QButtonGroup(this);
    buttons->addButton(automatic_, kAutomatic);
    buttons->addButton(manual_, kManual);
    TabToCheckedOption(buttons);

    auto* groupLayout = new QVBoxLayout(group_);
    groupLayout->setContentsMargins(16, 12, 16, 12);
    groupLayout->setSpacing(10);
    groupLayout->addWidget(automatic_);
    groupLayout->addWidget(manual_);

    description_->setObjectName(QStringLiteral("modeDescription"));
    description_->setWordWrap(true);
    description_->setText(Message(168, &Owner()));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(description_);
    layout->addSpacing(16);
    layout->addWidget(group_);
    layout->addStretch(1);
}

void ModeSelectPage::PrepareShow() {
    group_->setTitle(Message(178, &Owner()));
    automatic_->setText(Message(179, &Owner()));
    manual_->setText(Message(180, &Owner()));
    (manual_->isChecked() ? manual_ : automatic_)->setFocus();
}

int ModeSelectPage::GetMode() const { return manual_->isChecked() ? kManual : kAutomatic; }

}  // namespace qrv
