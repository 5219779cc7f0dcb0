#include "ui/AgreementPage.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/UiText.h"

namespace qrv {

namespace {
constexpr int kAgreementSections[] = {140, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158};
}

AgreementPage::AgreementPage(OwnerPort& owner, QAbstractButton* nextButton, QWidget* parent)
    : WizardPage(owner, parent),
      nextButton_(nextButton),
      notAgree_(new QRadioButton(this)),
      agree_(new QRadioButton(this)),
      agreementText_(new QPlainTextEdit(this)) {
    notAgree_->setObjectName(QStringLiteral("notAgree"));
    agree_->setObjectName(QStringLiteral("agree"));
    notAgree_->setText(Message(171, &Owner()));
    agree_->setText(Message(170, &Owner()));
    notAgree_->setChecked(true);
    auto* group = new QButtonGroup(this);
    group->addButton(notAgree_, 0);
    group->addButton(agree_, 1);
    TabToCheckedOption(group);

    QString text;
    for (int section : kAgreementSections) text += Message(section, &Owner());
    agreementText_->setObjectName(QStringLiteral("agreementText"));
    agreementText_->setReadOnly(true);
    agreementText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    agreementText_->setPlainText(text);

    connect(notAgree_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) OnNotAgree();
    });
    connect(agree_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) OnAgree();
    });

    auto* radios = new QHBoxLayout;
    radios->addStretch(1);
    radios->addWidget(agree_);
    radios->addSpacing(24);
    radios->addWidget(notAgree_);
    radios->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(agreementText_, 1);
    layout->addLayout(radios);
    ChainTabOrder({agreementText_, agree_, notAgree_});
    NameForReader(agreementText_, QStringLiteral("License agreement"));
}

bool AgreementPage::IsAgreed() {
    if (agree_->isChecked()) {
        agree_->setFocus();
        return true;
    }
    notAgree_->setFocus();
    return false;
}

void AgreementPage::OnNotAgree() { nextButton_->setEnabled(false); }
void AgreementPage::OnAgree() { nextButton_->setEnabled(true); }

}  // namespace qrv
