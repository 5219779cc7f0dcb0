// The first three steps: title, precautions, agreement, mode choice, and the
// shell's buttons, Enter key, Cancel and the relaxed-addressing key around them.

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "tests/ui/WizardHarness.h"
#include "ui/FirstPage.h"
#include "ui/WizardNextButton.h"

namespace qrv::test {
namespace {

class FirstPagesTest : public WizardTest {};

TEST_F(FirstPagesTest, FirstPageNamesProductVersionAndPrecautions) {
    UpgradeWizardDialog& wizard = OpenWizard();
    EXPECT_EQ(wizard.windowTitle(), QStringLiteral("Vexa QRV-K7 ver1.30 Firmware Upgrade"));
    EXPECT_EQ(Text("titleLine"), QStringLiteral("QRV-K7 ver1.30 Firmware Upgrade"));
    EXPECT_EQ(wizard.CurrentPage(), wizard.First());
    const QString precautions = Find<QPlainTextEdit>("precautions")->toPlainText();
    EXPECT_TRUE(precautions.startsWith(QStringLiteral("Operating Precautions\n\n\nYou are strongly recommended")))
        << precautions.toStdString();
    EXPECT_FALSE(wizard.BackButton()->isEnabled());
    EXPECT_TRUE(wizard.NextButton()->isEnabled());
    EXPECT_EQ(wizard.BackButton()->text(), QStringLiteral("< &Back"));
    EXPECT_EQ(wizard.NextButton()->text(), QStringLiteral("&Next >"));
    EXPECT_EQ(wizard.CancelButton()->text(), QStringLiteral("Cancel"));
    EXPECT_FALSE(wizard.IsEmergencyPictureShown());
    EXPECT_FALSE(wizard.windowIcon().isNull());
}

TEST_F(FirstPagesTest, AgreementEnablesNextOnlyWithAgreeAndKeepsTheChoice) {
    UpgradeWizardDialog& wizard = OpenWizard();
    ClickNext();
    ASSERT_EQ(wizard.CurrentPage(), wizard.Agreement());
    auto* agree = Find<QRadioButton>("agree");
    auto* notAgree = Find<QRadioButton>("notAgree");
    EXPECT_EQ(agree->text(), QStringLiteral("&Agree"));
    EXPECT_EQ(notAgree->text(), QStringLiteral("N&ot agree"));
    EXPECT_TRUE(notAgree->isChecked());
    EXPECT_FALSE(wizard.NextButton()->isEnabled());
    EXPECT_TRUE(wizard.BackButton()->isEnabled());
    EXPECT_TRUE(Find<QPlainTextEdit>("agreementText")->toPlainText().startsWith(
        QStringLiteral("END-USER LICENCE AGREEMENT")));

    Click(agree);
    EXPECT_TRUE(wizard.NextButton()->isEnabled());
    Click(notAgree);
    EXPECT_FALSE(wizard.NextButton()->isEnabled());
    ClickNext();  // disabled: nothing happens
    EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kAgreement);

    // Back and forth keeps the choice and sets Next to match it.
    Click(agree);
    ClickBack();
    EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kFirst);
    EXPECT_FALSE(wizard.BackButton()->isEnabled());
    ClickNext();
    EXPECT_TRUE(agree->isChecked());
    EXPECT_TRUE(wizard.NextButton()->isEnabled());
    EXPECT_TRUE(agree->hasFocus());
    ClickNext();
    ClickBack();
    EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kAgreement);
    EXPECT_TRUE(wizard.NextButton()->isEnabled());
}

TEST_F(FirstPagesTest, ModePageShowsTheTableCaptionsAndFocusesTheChosenRadio) {
    UpgradeWizardDialog& wizard = OpenWizard();
    ClickNext();
    Click(Find<QRadioButton>("agree"));
    ClickNext();
    ASSERT_EQ(wizard.CurrentPage(), wizard.ModeSelect());
    auto* automatic = Find<QRadioButton>("automaticMode");
    auto* manual = Find<QRadioButton>("manualMode");
    EXPECT_EQ(Find<QGroupBox>("modeGroup")->title(), QStringLiteral("&Upgrade mode"));
    EXPECT_EQ(automatic->text(), QStringLiteral("Automatic mode"));
    EXPECT_EQ(manual->text(), QStringLiteral("Manual mode"));
    EXPECT_TRUE(Find<QLabel>("modeDescription")->text().startsWith(
        QStringLiteral("Automatic mode detects any appropriate model")));
    EXPECT_TRUE(automatic->isChecked());
    EXPECT_TRUE(automatic->hasFocus());

    // Choosing has no effect until Next; coming back focuses the choice.
    Click(manual);
    EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kMode);
    ClickNext();
    EXPECT_EQ(wizard.CurrentPage(), wizard.ManualTarget());
    ClickBack();
    EXPECT_EQ(wizard.CurrentPage(), wizard.ModeSelect());
    EXPECT_TRUE(manual->hasFocus());
    EXPECT_TRUE(manual->isChecked());
}

TEST_F(FirstPagesTest, CancelAsksOnlyOnceAModeWasChosen) {
    UpgradeWizardDialog& wizard = OpenWizard(1.0);
    ClickNext();
    ClickCancel();  // before a mode: closes without asking
    EXPECT_TRUE(WizardClosed());
    EXPECT_EQ(boxes_.Count(), 0u);
    EXPECT_FALSE(wizard.Discovered().IsReceiving());
}

TEST_F(FirstPagesTest, EscapeIsCancel) {
    UpgradeWizardDialog& wizard = OpenWizard();
    GoToManualTarget();
    boxes_.Answer({BoxAnswer::No});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Last().text, u"Quit the firmware upgrade?");
    EXPECT_FALSE(WizardClosed());
    EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kManualTarget);
}

TEST_F(FirstPagesTest, CancelAfterChoosingAModeAsksAndNoKeepsTheWizard) {
    UpgradeWizardDialog& wizard = OpenWizard(1.0);  // discovery runs for ten seconds
    GoToManualTarget();
    boxes_.Answer({BoxAnswer::No});
    ClickCancel();
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Last(), Box(u"Quit the firmware upgrade?", u"Information", BoxIcon::Question, BoxButtons::YesNo));
    EXPECT_FALSE(WizardClosed());
    EXPECT_TRUE(wizard.isVisible());

    // Back on the mode page the question stays armed; Yes closes, and the
    // discovery receive thread has ended by then.
    ClickBack();
    ASSERT_TRUE(wizard.Discovered().IsReceiving());
    boxes_.Answer({BoxAnswer::Yes});
    ClickCancel();
    EXPECT_EQ(boxes_.Count(), 2u);
    EXPECT_TRUE(WizardClosed());
    EXPECT_FALSE(wizard.Discovered().IsReceiving());
}

TEST_F(FirstPagesTest, EnterFollowsTheFocusedButton) {
    UpgradeWizardDialog& wizard = OpenWizard();
    PressEnter();  // focus on no button: Next
    EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kAgreement);
    Click(Find<QRadioButton>("agree"));
    wizard.BackButton()->setFocus();
    PressEnter();
    EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kFirst);
    wizard.NextButton()->setFocus();
    PressEnter();
    EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kAgreement);
    wizard.CancelButton()->setFocus();
    PressEnter();
    EXPECT_TRUE(WizardClosed());
}

TEST_F(FirstPagesTest, RelaxedAddressingKeyWorksOnlyOnTheFirstPage) {
    UpgradeWizardDialog& wizard = OpenWizard();
    ClickNext();
    Click(Find<QRadioButton>("agree"));
    wizard.NextButton()->setFocus();
    QTest::keyClick(wizard.NextButton(), static_cast<Qt::Key>(WizardNextButton::kHiddenModeKey));
    EXPECT_EQ(boxes_.Count(), 0u);
    EXPECT_FALSE(wizard.HiddenAddressingMode());

    ClickBack();
    wizard.NextButton()->setFocus();
    QTest::keyClick(wizard.NextButton(), static_cast<Qt::Key>(WizardNextButton::kHiddenModeKey));
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Last().text,
              u"I become 'Quorrin' mode.\nThis mode would be released from using IP address strictly.");
    EXPECT_EQ(boxes_.Last().caption, u"Information");
    EXPECT_TRUE(wizard.HiddenAddressingMode());
    EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kFirst);
}

TEST_F(FirstPagesTest, DiscoveryAsksTwiceAndEndsAfterTwoTicks) {
    UpgradeWizardDialog& wizard = OpenWizard();
    EXPECT_TRUE(wizard.IsDiscoveryRunning());
    // Two discovery ticks at the scaled period end the receive thread.
    EXPECT_TRUE(WaitFor([&] { return !wizard.IsDiscoveryRunning(); }, std::chrono::seconds(10)));
}

TEST_F(FirstPagesTest, AutomaticModeLeavesNextOffUntilItsPageAllowsIt) {
    UpgradeWizardDialog& wizard = OpenWizard(1.0);  // discovery still runs when the page opens
    ClickNext();
    Click(Find<QRadioButton>("agree"));
    ClickNext();
    ClickNext();  // automatic is the default
    EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kAutoList);
    EXPECT_FALSE(wizard.NextButton()->isEnabled());
    ClickBack();
    EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kMode);
    EXPECT_TRUE(wizard.NextButton()->isEnabled());
    EXPECT_EQ(wizard.NextButton()->text(), QStringLiteral("&Next >"));
}

}  // namespace
}  // namespace qrv::test
