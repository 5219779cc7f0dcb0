#pragma once
// Step 0: names the product and shows the operating precautions.

#include <QString>

#include "ui/WizardPage.h"

class QLabel;
class QPlainTextEdit;

namespace qrv {

class FirstPage : public WizardPage {
    Q_OBJECT
public:
    // Sets the title of `frame` to "Vexa " + the title line.
    FirstPage(OwnerPort& owner, const QString& modelName, const QString& versionText, QWidget* frame,
              QWidget* parent = nullptr);

    QString TitleLine() const;
    QString Precautions() const;

private:
    QLabel* titleLine_;
    QPlainTextEdit* precautions_;
};

}  // namespace qrv
