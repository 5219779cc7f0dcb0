// The manual mode driven by keys alone, from the first page to a finished
// upgrade against a simulated camera: Return for the default button,
// Alt+letter for labelled controls, arrows inside a radio group, typing into
// the fields. A screenshot shows the focus on every page.

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "tests/support/SimProcess.h"
#include "tests/ui/KeyboardWizardTest.h"
#include "ui/Ipv4AddressEdit.h"

namespace qrv::test {
namespace {

class KeyboardManualMode : public KeyboardWizardTest {};

TEST_F(KeyboardManualMode, KeysAloneUpgradeACamera) {
    sim_ = std::make_unique<SimProcess>("127.0.0.2 serial=1000001 admin=admin:admin\n", kTimeScale);
    OpenWizard();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Wizard()));
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kFirst);
    Shot("first");
    Key(Qt::Key_Return);
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAgreement);

    // Next stays off until Agree is chosen by its mnemonic.
    auto* agree = Find<QRadioButton>("agree");
    Key(Qt::Key_Return);
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAgreement);
    Mnemonic(agree->text());
    EXPECT_TRUE(agree->isChecked());
    Shot("agreement");
    Key(Qt::Key_Return);
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kMode);

    // The group's mnemonic reaches the checked mode; Down moves to the other.
    Mnemonic(Find<QWidget>("modeGroup")->property("title").toString());
    EXPECT_TRUE(Find<QRadioButton>("automaticMode")->hasFocus());
    Key(Qt::Key_Down);
    EXPECT_TRUE(Find<QRadioButton>("manualMode")->isChecked());
    Shot("mode");
    Key(Qt::Key_Return);
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualTarget);

    // The address takes the focus with its first field selected.
    EXPECT_TRUE(Find<QLineEdit>("field0")->hasFocus());
    Typed(QStringLiteral("127.0.0.2"));
    Key(Qt::Key_Tab);  // on to the port choice, past the address's other fields
    EXPECT_TRUE(Find<QRadioButton>("port80")->hasFocus());
    Mnemonic(QStringLiteral("&Administrator name:"));
    EXPECT_TRUE(Find<QLineEdit>("adminName")->hasFocus());
    Typed(QStringLiteral("admin"));
    Key(Qt::Key_Tab);
    EXPECT_TRUE(Find<QLineEdit>("adminPassword")->hasFocus());
    Typed(QStringLiteral("admin"));
    // The box's mnemonic turns retain off; Space on the focused box turns it on again.
    auto* retain = Find<QCheckBox>("retain");
    Mnemonic(retain->text());
    EXPECT_TRUE(retain->hasFocus());
    EXPECT_FALSE(retain->isChecked());
    Key(Qt::Key_Space);
    EXPECT_TRUE(retain->isChecked());
    Shot("target");
    EXPECT_EQ(Wizard().ManualTarget()->GetAddressText(), "127.0.0.2");
    Key(Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return Wizard().WizardStep() != UpgradeWizardDialog::kManualTarget; }))
        << boxes_.Count();
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm);
    Shot("confirm");

    // Return on the confirmation runs Upgrade; the question is answered OK.
    Key(Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return Wizard().WizardStep() == UpgradeWizardDialog::kManualResult; }))
        << "still on step " << Wizard().WizardStep();
    ASSERT_GE(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, u"Proceed to the firmware upgrade?");
    Shot("result");
    EXPECT_EQ(Wizard().CancelButton()->text(), QStringLiteral("&Finish"));

    // Alt+F finishes.
    Mnemonic(Wizard().CancelButton()->text());
    EXPECT_TRUE(WaitFor([&] { return WizardClosed(); }));
}

}  // namespace
}  // namespace qrv::test
