#pragma once
// The wizard's Next button. Releasing one particular letter key while it has
// the focus asks the wizard for the relaxed-addressing mode.

#include <QPushButton>

namespace qrv {

class WizardNextButton : public QPushButton {
    Q_OBJECT
public:
    // The letter that asks for the mode.
    static constexpr int kHiddenModeKey = Qt::Key_Q;

    using QPushButton::QPushButton;

signals:
    void HiddenModeRequested();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
};

}  // namespace qrv
