// The manual target page's checks, in their order, with the focus each
// refusal leaves, and what the page hands to the wizard.

#include <QCheckBox>
#include <QRadioButton>

#include "tests/ui/WizardHarness.h"
#include "ui/Ipv4AddressEdit.h"
#include "ui/ManualTargetPage.h"

namespace qrv::test {
namespace {

const MessageBox kBadAddress = Box(u"Input the correct IP address of the target camera.", u"Information",
                                   BoxIcon::Exclamation);
const MessageBox kBadPort = Box(u"Input the correct port No. of the target camera.", u"Information",
                                BoxIcon::Exclamation);
const MessageBox kBadLogin = Box(u"Input the correct name and password.", u"Information", BoxIcon::Exclamation);

class ManualTargetTest : public WizardTest {
protected:
    void SetUp() override {
        OpenWizard();
        GoToManualTarget();
        page_ = Wizard().ManualTarget();
    }
    ManualTargetPage* page_ = nullptr;
};

TEST_F(ManualTargetTest, StartsWithItsInitialFieldsAndTheFocusOnTheAddress) {
    EXPECT_EQ(page_->GetAddressText(), "192.168.0.100");
    EXPECT_TRUE(Find<QRadioButton>("port80")->isChecked());
    EXPECT_FALSE(Find<QLineEdit>("customPort")->isEnabled());
    EXPECT_EQ(Text("customPort"), QStringLiteral("1024"));
    EXPECT_TRUE(Find<QCheckBox>("retain")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("backup")->isChecked());
    EXPECT_TRUE(Find<QLineEdit>("field0")->hasFocus());
    EXPECT_TRUE(Wizard().BackButton()->isEnabled());
    EXPECT_TRUE(Wizard().NextButton()->isEnabled());
    EXPECT_TRUE(Wizard().CancelButton()->isEnabled());
}

TEST_F(ManualTargetTest, BlankAddressIsRefusedButEmptyFieldsCountAsZero) {
    FillTarget({"", "", "", ""}, "admin", "secret");
    ClickNext();
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Last(), kBadAddress);
    EXPECT_TRUE(Find<QLineEdit>("field0")->hasFocus());
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualTarget);

    FillTarget({"10", "", "", ""}, "admin", "secret");
    EXPECT_TRUE(page_->Validate());
    EXPECT_EQ(page_->GetAddressText(), "10.0.0.0");
    FillTarget({"0", "0", "0", "0"}, "admin", "secret");
    EXPECT_TRUE(page_->Validate());
    FillTarget({"255", "255", "255", "255"}, "admin", "secret");
    EXPECT_TRUE(page_->Validate());
    EXPECT_EQ(boxes_.Count(), 1u);
}

TEST_F(ManualTargetTest, AddressFieldsHoldAtMost255AndMoveOnByThemselves) {
    auto* field0 = Find<QLineEdit>("field0");
    Type(field0, QString());
    QTest::keyClicks(field0, QStringLiteral("300"));
    EXPECT_EQ(field0->text(), QStringLiteral("255"));
    EXPECT_TRUE(Find<QLineEdit>("field1")->hasFocus());
    QTest::keyClicks(Find<QLineEdit>("field1"), QStringLiteral("7."));
    EXPECT_TRUE(Find<QLineEdit>("field2")->hasFocus());
    QTest::keyClicks(Find<QLineEdit>("field2"), QStringLiteral("a1"));
    EXPECT_EQ(page_->GetAddressText().substr(0, 10), "255.7.1.10");
}

TEST_F(ManualTargetTest, CustomPortMustLieBetween1024And65535) {
    FillTarget({"127", "0", "0", "2"}, "admin", "secret");
    for (const char* port : {"1023", "65536", "0"}) {
        boxes_.Clear();
        ChooseCustomPort(QString::fromLatin1(port));
        ClickNext();
        ASSERT_EQ(boxes_.Count(), 1u) << port;
        EXPECT_EQ(boxes_.Last(), kBadPort) << port;
        EXPECT_TRUE(Find<QLineEdit>("customPort")->hasFocus()) << port;
        EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualTarget);
    }
    boxes_.Clear();
    for (const char* port : {"1024", "65535"}) {
        ChooseCustomPort(QString::fromLatin1(port));
        EXPECT_TRUE(page_->Validate()) << port;
        EXPECT_EQ(page_->GetAddressText(), std::string("127.0.0.2:") + port);
    }
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(ManualTargetTest, PortIsIgnoredWhile80IsChosen) {
    FillTarget({"127", "0", "0", "2"}, "admin", "secret");
    ChooseCustomPort(QStringLiteral("5"));
    Click(Find<QRadioButton>("port80"));
    EXPECT_FALSE(Find<QLineEdit>("customPort")->isEnabled());
    EXPECT_EQ(Text("customPort"), QStringLiteral("5"));
    EXPECT_TRUE(page_->Validate());
    EXPECT_EQ(page_->GetAddressText(), "127.0.0.2");
    // An emptied box the user can no longer edit is not held against the input either.
    ChooseCustomPort(QString());
    Click(Find<QRadioButton>("port80"));
    EXPECT_TRUE(page_->Validate());
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(ManualTargetTest, EmptyCustomPortIsNotANumber) {
    FillTarget({"127", "0", "0", "2"}, "admin", "secret");
    ChooseCustomPort(QString());
    ClickNext();
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Last(), Box(u"Please enter an unsigned integer.", u"Information", BoxIcon::Exclamation));
    EXPECT_TRUE(Find<QLineEdit>("customPort")->hasFocus());
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualTarget);
}

TEST_F(ManualTargetTest, MissingNameOrPasswordIsRefusedWithTheFocusOnIt) {
    FillTarget({"127", "0", "0", "2"}, "admin", "");
    ClickNext();
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Last(), kBadLogin);
    EXPECT_TRUE(Find<QLineEdit>("adminPassword")->hasFocus());

    FillTarget({"127", "0", "0", "2"}, "", "secret");
    ClickNext();
    ASSERT_EQ(boxes_.Count(), 2u);
    EXPECT_EQ(boxes_.Last(), kBadLogin);
    EXPECT_TRUE(Find<QLineEdit>("adminName")->hasFocus());

    FillTarget({"127", "0", "0", "2"}, "", "");
    ClickNext();
    EXPECT_TRUE(Find<QLineEdit>("adminName")->hasFocus());
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualTarget);
}

TEST_F(ManualTargetTest, ChecksRunInOrderAddressPortNamePassword) {
    FillTarget({"", "", "", ""}, "", "");
    ChooseCustomPort(QStringLiteral("80"));
    ClickNext();
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Last(), kBadAddress);
    Type(Find<QLineEdit>("field0"), QStringLiteral("127"));
    ClickNext();
    EXPECT_EQ(boxes_.Last(), kBadPort);
    Type(Find<QLineEdit>("customPort"), QStringLiteral("8080"));
    ClickNext();
    EXPECT_EQ(boxes_.Last(), kBadLogin);
    EXPECT_TRUE(Find<QLineEdit>("adminName")->hasFocus());
}

TEST_F(ManualTargetTest, BackupFollowsRetain) {
    auto* retain = Find<QCheckBox>("retain");
    auto* backup = Find<QCheckBox>("backup");
    EXPECT_TRUE(backup->isEnabled());
    Click(backup);
    EXPECT_TRUE(page_->Backup());
    EXPECT_EQ(page_->Mode(), SetupDataMode::Backup);
    Click(retain);  // cleared: Backup cleared and off
    EXPECT_FALSE(backup->isEnabled());
    EXPECT_FALSE(backup->isChecked());
    EXPECT_EQ(page_->Mode(), SetupDataMode::Discard);
    Click(retain);  // set again: Backup available but still cleared
    EXPECT_TRUE(backup->isEnabled());
    EXPECT_FALSE(backup->isChecked());
    EXPECT_EQ(page_->Mode(), SetupDataMode::Retain);
}

TEST_F(ManualTargetTest, CredentialsAreHandedOnExactlyAsTyped) {
    FillTarget({"127", "0", "0", "2"}, "ad:min", "p:a ss");
    EXPECT_EQ(page_->GetCredentialText(), u"ad:min:p:a ss");
    auto* name = Find<QLineEdit>("adminName");
    Type(name, QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(name->text(), QStringLiteral("abcdefghijklmnop"));  // at most 16 characters
}

TEST_F(ManualTargetTest, FieldsSurviveBackAndNext) {
    FillTarget({"127", "0", "0", "9"}, "operator", "pw");
    ChooseCustomPort(QStringLiteral("8080"));
    Click(Find<QCheckBox>("backup"));
    ClickBack();
    ClickNext();
    EXPECT_EQ(page_->GetAddressText(), "127.0.0.9:8080");
    EXPECT_EQ(page_->GetCredentialText(), u"operator:pw");
    EXPECT_EQ(page_->Mode(), SetupDataMode::Backup);
}

}  // namespace
}  // namespace qrv::test
