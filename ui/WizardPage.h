#pragma once
// One page of the wizard: a child widget of the page area, created hidden at
// start and shown one at a time by the wizard's step.

#include <QWidget>

namespace qrv {

class OwnerPort;

class WizardPage : public QWidget {
    Q_OBJECT
public:
    // `owner` is the wizard's port: a missing text shows its box there.
    WizardPage(OwnerPort& owner, QWidget* parent = nullptr) : QWidget(parent), owner_(owner) {}

protected:
    OwnerPort& Owner() const { return owner_; }
    // A group or page heading that reads well at any font size.
    static void MakeHeading(QWidget* widget, int pointDelta = 2);

private:
    OwnerPort& owner_;
};

}  // namespace qrv
