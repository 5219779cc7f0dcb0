#pragma once
// Step 2: automatic (batch) or manual (one camera) upgrade. The choice counts
// only when Next is pressed.

#include "ui/WizardPage.h"

class QGroupBox;
class QLabel;
class QRadioButton;

namespace qrv {

class ModeSelectPage : public WizardPage {
    Q_OBJECT
public:
    enum Mode { kAutomatic = 0, kManual = 1 };

    explicit ModeSelectPage(OwnerPort& owner, QWidget* parent = nullptr);

    // Each time the wizard shows the page: the captions of the table, and the
    // focus on the chosen radio.
    void PrepareShow();
    int GetMode() const;

private:
    QGroupBox* group_;
    QRadioButton* automatic_;
    QRadioButton* manual_;
    QLabel* description_;
};

}  // namespace qrv
