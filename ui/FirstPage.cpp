#include "ui/FirstPage.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "ui/UiText.h"

namespace qrv {

FirstPage::FirstPage(OwnerPort& owner, const QString& modelName, const QString& versionText, QWidget* frame,
                     QWidget* parent)
    : WizardPage(owner, parent), titleLine_(new QLabel(this)), precautions_(new QPlainTextEdit(this)) {
    const QString title = modelName + QStringLiteral(" ") + versionText + QStringLiteral(" Firmware Upgrade");
    if (frame) frame->setWindowTitle(QStringLiteral("Vexa ") + title);

    // A label, not a frameless read-only line edit: the Windows style draws
    // such an edit's text nowhere. It can still be selected and copied.
    titleLine_->setObjectName(QStringLiteral("titleLine"));
    titleLine_->setTextFormat(Qt::PlainText);
    titleLine_->setAlignment(Qt::AlignCenter);
    titleLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    titleLine_->setFocusPolicy(Qt::NoFocus);
    titleLine_->setText(title);
    MakeHeading(titleLine_, 3);

    precautions_->setObjectName(QStringLiteral("precautions"));
    precautions_->setReadOnly(true);
    precautions_->setPlainText(Message(134, &Owner()));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(titleLine_);
    layout->addSpacing(6);
    layout->addWidget(precautions_, 1);
    NameForReader(precautions_, title);
}

QString FirstPage::TitleLine() const { return titleLine_->text(); }
QString FirstPage::Precautions() const { return precautions_->toPlainText(); }

}  // namespace qrv
