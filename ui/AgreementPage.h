#pragma once
// Step 1: the end-user licence agreement; Next is available only with Agree.

#include "ui/WizardPage.h"

class QAbstractButton;
class QPlainTextEdit;
class QRadioButton;

namespace qrv {

class AgreementPage : public WizardPage {
    Q_OBJECT
public:
    // `nextButton` is the wizard's Next button, enabled and disabled by the radios.
    AgreementPage(OwnerPort& owner, QAbstractButton* nextButton, QWidget* parent = nullptr);

    // Agree chosen? Puts the focus on the chosen radio.
    bool IsAgreed();

    void OnNotAgree();
    void OnAgree();

private:
    QAbstractButton* nextButton_;
    QRadioButton* notAgree_;
    QRadioButton* agree_;
    QPlainTextEdit* agreementText_;
};

}  // namespace qrv
