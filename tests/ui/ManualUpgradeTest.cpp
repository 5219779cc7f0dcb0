// Manual mode end to end against simulated cameras: the probe on Next, the
// confirmation, the running stages, the result, the saved configuration file,
// and every refusal on the way, as the user sees them.

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

#include "serial_protect/SerialRules.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/SimWizardTest.h"
#include "tests/ui/WizardHarness.h"
#include "ui/ManualProgressPage.h"
#include "ui/WizardNextButton.h"

namespace qrv::test {
namespace {

const std::u16string kNotSuitable = u"This firmware is not suitable for the target camera.";
const MessageBox kProceed = Box(u"Proceed to the firmware upgrade?", u"Information", BoxIcon::Question,
                                BoxButtons::OkCancel);

class ManualUpgradeTest : public SimWizardTest {
protected:

    // Opens the wizard and fills the target page for a camera.
    void EnterTarget(const QStringList& address, const QString& name, const QString& password,
                     SetupDataMode mode = SetupDataMode::Discard) {
        OpenWizard();
        GoToManualTarget();
        FillTarget(address, name, password);
        auto* retain = Find<QCheckBox>("retain");
        if ((mode != SetupDataMode::Discard) != retain->isChecked()) Click(retain);
        if (mode == SetupDataMode::Backup) Click(Find<QCheckBox>("backup"));
        auto* stage = Find<QLineEdit>("stage");
        QObject::connect(stage, &QLineEdit::textChanged, stage, [this](const QString& text) {
            if (!text.isEmpty() && (stages_.isEmpty() || stages_.back() != text)) {
                stages_.push_back(text);
                Screenshot("stage");
            }
        });
    }

    // Upgrade on the confirmation page, OK in the box, then wait for the run to end.
    void Upgrade() {
        ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm);
        ClickNext();
        ASSERT_TRUE(WaitFor([&] {
            const int step = Wizard().WizardStep();
            return step == UpgradeWizardDialog::kManualResult || step == UpgradeWizardDialog::kManualTarget;
        })) << "still on step " << Wizard().WizardStep();
    }

    // The .cfg files under the configuration folder.
    QStringList SavedConfigurations() const {
        QStringList files;
        QDirIterator it(configRoot_.path(), {QStringLiteral("*.cfg")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) files << it.next();
        return files;
    }

    // Every file (any name) below the Configurations folder.
    QStringList FilesInConfigurations() const {
        QStringList files;
        QDirIterator it(configRoot_.path() + QStringLiteral("/VEXA/QRV FirmwareUpgrade/Configurations"), QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) files << it.next();
        return files;
    }

    // SHA-256 (hex) of the configuration file the camera sent, from the
    // simulator's verdict on the download; empty if it sent none.
    std::string SentConfigurationSha256(const std::string& camera) const {
        std::string sha;
        for (const SimEvent& event : sim_->Events()) {
            if (event.kind == "verdict" && event.camera == camera && event.what == "config" && event.ok) {
                sha = event.Field("config_sha256");
            }
        }
        return sha;
    }

    static std::string FileSha256(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex().toStdString();
    }

    int RequestsTo(const std::string& camera, const std::string& path) const {
        int count = 0;
        for (const SimEvent& event : sim_->Events()) {
            if (event.kind == "request" && event.camera == camera && event.path == path) ++count;
        }
        return count;
    }

    void ExpectResultPage(const QString& address = QStringLiteral("127.0.0.2")) {
        UpgradeWizardDialog& wizard = Wizard();
        ASSERT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kManualResult);
        EXPECT_EQ(wizard.CurrentPage(), wizard.Result());
        EXPECT_EQ(wizard.Result()->ResultText(),
                  QStringLiteral("Firmware program was successfully updated to the camera.\n\n\n"
                                 "Target camera version is \"1.30\"."));
        EXPECT_EQ(wizard.Result()->AddressText(), address);
        EXPECT_EQ(wizard.BackButton()->text(), QStringLiteral("&Re-try"));
        EXPECT_TRUE(wizard.BackButton()->isEnabled());
        EXPECT_FALSE(wizard.NextButton()->isEnabled());
        EXPECT_EQ(wizard.CancelButton()->text(), QStringLiteral("&Finish"));
        EXPECT_TRUE(wizard.CancelButton()->isEnabled());
        EXPECT_TRUE(wizard.CloseCommandEnabled());
    }

    void ExpectBackOnTargetPage() {
        UpgradeWizardDialog& wizard = Wizard();
        EXPECT_EQ(wizard.WizardStep(), UpgradeWizardDialog::kManualTarget);
        EXPECT_EQ(wizard.CurrentPage(), wizard.ManualTarget());
        EXPECT_EQ(wizard.NextButton()->text(), QStringLiteral("&Next >"));
        EXPECT_EQ(wizard.BackButton()->text(), QStringLiteral("< &Back"));
        EXPECT_EQ(wizard.CancelButton()->text(), QStringLiteral("Cancel"));
        EXPECT_TRUE(wizard.NextButton()->isEnabled());
        EXPECT_TRUE(wizard.BackButton()->isEnabled());
        EXPECT_TRUE(wizard.CancelButton()->isEnabled());
        EXPECT_TRUE(wizard.CloseCommandEnabled());
    }

    // The camera's version after the run, from the simulator's own record.
    std::string CameraVersion(const std::string& camera = "127.0.0.2:80") const {
        std::string version;
        for (const SimEvent& event : sim_->Events()) {
            if (event.kind == "state" && event.camera == camera && !event.version.empty()) {
                version = event.version;
            }
        }
        return version;
    }

    QStringList stages_;
};

// ---- whole runs ------------------------------------------------------------------

TEST_F(ManualUpgradeTest, DiscardUpgradesWithoutSavingTheSettings) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin", SetupDataMode::Discard);
    ClickNext();
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm) << boxes_.Count();
    ManualProgressPage* page = Wizard().ManualProgress();
    EXPECT_EQ(Wizard().CurrentPage(), page);
    EXPECT_EQ(page->AddressText(), QStringLiteral("127.0.0.2"));
    EXPECT_EQ(page->CurrentVersion(), QStringLiteral("ver1.20"));
    EXPECT_EQ(page->NewVersion(), QStringLiteral("ver1.30"));
    EXPECT_EQ(page->SetupDataText(), QStringLiteral("Discard the current settings."));
    EXPECT_EQ(page->Notice(), QString());
    EXPECT_EQ(page->StageText(), QString());
    EXPECT_EQ(page->Bar()->value(), 0);
    EXPECT_EQ(Wizard().NextButton()->text(), QStringLiteral("&Upgrade"));
    EXPECT_EQ(boxes_.Count(), 0u);

    ClickNext();
    ASSERT_GE(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0], kProceed);
    // While it runs, nothing can be pressed and the window cannot be closed.
    ASSERT_TRUE(WaitFor([&] { return Wizard().WizardStep() != UpgradeWizardDialog::kManualConfirm; }));
    if (Wizard().WizardStep() == UpgradeWizardDialog::kManualRunning) {
        EXPECT_EQ(page->Notice(), QStringLiteral("Version up is in progress. Do not turn off the power."));
        EXPECT_FALSE(Wizard().BackButton()->isEnabled());
        EXPECT_FALSE(Wizard().NextButton()->isEnabled());
        EXPECT_FALSE(Wizard().CancelButton()->isEnabled());
        EXPECT_FALSE(Wizard().CloseCommandEnabled());
        Wizard().close();  // the window's Close command is refused while it runs
        EXPECT_TRUE(Wizard().isVisible());
        EXPECT_FALSE(WizardClosed());
    }
    ASSERT_TRUE(WaitFor([&] { return Wizard().WizardStep() == UpgradeWizardDialog::kManualResult; }));
    ExpectResultPage();
    EXPECT_EQ(boxes_.Count(), 1u) << Utf8(boxes_.Last().text);
    ASSERT_GE(stages_.size(), 2);
    EXPECT_EQ(stages_[0], QStringLiteral("Uploading"));
    EXPECT_EQ(stages_[1], QStringLiteral("Overwriting"));
    EXPECT_FALSE(stages_.contains(QStringLiteral("Saving config file")));
    EXPECT_TRUE(SavedConfigurations().isEmpty());
    EXPECT_EQ(CameraVersion(), "1.30");

    ClickCancel();  // "&Finish" closes without asking
    EXPECT_TRUE(WizardClosed());
    EXPECT_EQ(boxes_.Count(), 1u);
}

TEST_F(ManualUpgradeTest, RetainSavesRestoresAndThenDeletesTheFile) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin", SetupDataMode::Retain);
    ClickNext();
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm);
    EXPECT_EQ(Wizard().ManualProgress()->SetupDataText(), QStringLiteral("Retain the current settings."));
    QStringList filesDuringRun;
    auto* stage = Find<QLineEdit>("stage");
    QObject::connect(stage, &QLineEdit::textChanged, stage, [&] {
        if (filesDuringRun.isEmpty()) filesDuringRun = SavedConfigurations();
    });
    Upgrade();
    ExpectResultPage();
    // The restore request shows "Overwriting" again while it waits for the
    // camera's answer; whether a stage tick falls into that short wait is timing.
    QStringList seen = stages_;
    const qsizetype loading = seen.indexOf(QStringLiteral("Loading config file"));
    if (loading >= 0 && loading + 1 < seen.size() && seen[loading + 1] == QStringLiteral("Overwriting")) {
        seen.removeAt(loading + 1);
    }
    EXPECT_EQ(seen, (QStringList{"Saving config file", "Uploading", "Overwriting", "Loading config file",
                                 "Reconfiguring"}))
        << stages_.join(QStringLiteral(", ")).toStdString();
    EXPECT_EQ(boxes_.Count(), 1u) << Utf8(boxes_.Last().text);
    EXPECT_TRUE(SavedConfigurations().isEmpty()) << SavedConfigurations().join(' ').toStdString();
    EXPECT_EQ(CameraVersion(), "1.30");
    // The restore went to the camera with the factory account.
    bool restored = false;
    for (const SimEvent& event : sim_->Events()) {
        if (event.kind == "request" && event.path == "/command/all-configuration.cgi") {
            restored = event.Header("Authorization") == std::optional<std::string>("Basic TWFkZVVwVmFsdWU=");
        }
    }
    EXPECT_TRUE(restored);
    // The report: the camera upgraded, its settings restored and the file gone.
    const QJsonArray records = ReadWizardReport(Wizard().LastManualReportPath(), configRoot_.path());
    ASSERT_EQ(records.size(), 1);
    const QJsonObject record = records[0].toObject();
    EXPECT_EQ(record.value(QStringLiteral("result")).toString(),
              QStringLiteral("QRV-K7(127.0.0.2) Completed successfully."));
    EXPECT_TRUE(record.value(QStringLiteral("upgraded")).toBool());
    EXPECT_EQ(record.value(QStringLiteral("version_before")).toString(), QStringLiteral("1.20"));
    EXPECT_EQ(record.value(QStringLiteral("version_after")).toString(), QStringLiteral("1.30"));
    EXPECT_EQ(record.value(QStringLiteral("settings")).toString(), QStringLiteral("retain"));
    EXPECT_EQ(record.value(QStringLiteral("config")).toString(), QStringLiteral("restored, deleted"));
}

TEST_F(ManualUpgradeTest, BackupKeepsTheSavedFile) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin", SetupDataMode::Backup);
    ClickNext();
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm);
    EXPECT_EQ(Wizard().ManualProgress()->SetupDataText(), QStringLiteral("Retain and backup the current settings."));
    Upgrade();
    ExpectResultPage();
    EXPECT_EQ(stages_.value(0), QStringLiteral("Saving config file"));
    EXPECT_TRUE(stages_.contains(QStringLiteral("Loading config file")));
    EXPECT_EQ(stages_.back(), QStringLiteral("Reconfiguring"));
    const QStringList files = SavedConfigurations();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].endsWith(QStringLiteral("/qrv-k7.1000001.cfg"))) << files[0].toStdString();
    EXPECT_TRUE(files[0].contains(QStringLiteral("/VEXA/QRV FirmwareUpgrade/Configurations/")));
    EXPECT_EQ(QFileInfo(files[0]).size(), 4096);
}

TEST_F(ManualUpgradeTest, RestoreRefusedFourTimesIsReportedAndTheFileKept) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin fault=restore-refuse:4\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin", SetupDataMode::Retain);
    ClickNext();
    Upgrade();
    EXPECT_EQ(boxes_.Boxes(), (std::vector<MessageBox>{kProceed, Box(u"Fault to upload configuration!",
                                                                     u"Information", BoxIcon::Stop)}));
    ExpectResultPage();  // the upgrade itself is done
    EXPECT_EQ(SavedConfigurations().size(), 1);
    int restoreTries = 0;
    for (const SimEvent& event : sim_->Events()) {
        if (event.kind == "request" && event.path == "/command/all-configuration.cgi") ++restoreTries;
    }
    EXPECT_EQ(restoreTries, 4);
}

TEST_F(ManualUpgradeTest, CameraThatStaysAwayAfterTheRestoreStillReachesTheResult) {
    // Reconfiguring takes far longer than the wizard's final poll lasts.
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin reconfig=3600000\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin", SetupDataMode::Retain);
    ClickNext();
    Upgrade();
    ExpectResultPage();
    EXPECT_EQ(stages_.back(), QStringLiteral("Reconfiguring"));
    EXPECT_EQ(boxes_.Count(), 1u) << Utf8(boxes_.Last().text);
    // The restore was answered, but the camera was not seen with its settings
    // applied: its copy stays, whole, as the only sure record of them.
    EXPECT_TRUE(Wizard().Session().ConfigurationRestored());
    EXPECT_TRUE(Wizard().Session().NotSeenAfterRestore());
    const QStringList files = SavedConfigurations();
    ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
    EXPECT_TRUE(files[0].endsWith(QStringLiteral("/qrv-k7.1000001.cfg"))) << files[0].toStdString();
    EXPECT_EQ(QFileInfo(files[0]).size(), 4096);
    const std::string sent = SentConfigurationSha256("127.0.0.2:80");
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(FileSha256(files[0]), sent);
    EXPECT_EQ(FilesInConfigurations(), files);  // no .part beside it
    // The report says where the settings are kept.
    const QJsonArray records = ReadWizardReport(Wizard().LastManualReportPath(), configRoot_.path());
    ASSERT_EQ(records.size(), 1);
    const QJsonObject record = records[0].toObject();
    EXPECT_EQ(record.value(QStringLiteral("config")).toString(), QStringLiteral("restored, kept"));
    EXPECT_TRUE(QDir::fromNativeSeparators(record.value(QStringLiteral("result")).toString()).contains(files[0]))
        << record.value(QStringLiteral("result")).toString().toStdString();
}

TEST_F(ManualUpgradeTest, RetryFromTheResultPageRunsAgain) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin", SetupDataMode::Discard);
    ClickNext();
    Upgrade();
    ExpectResultPage();
    ClickBack();  // "&Re-try"
    ExpectBackOnTargetPage();
    EXPECT_EQ(Wizard().ManualTarget()->GetAddressText(), "127.0.0.2");
    // The camera came back with the factory account only.
    Type(Find<QLineEdit>("adminName"), QStringLiteral("x"));
    ClickCancel();
    ASSERT_EQ(boxes_.Count(), 2u);
    EXPECT_EQ(boxes_.Last().text, u"Quit the firmware upgrade?");
    EXPECT_TRUE(WizardClosed());
}

TEST_F(ManualUpgradeTest, EmergencyCameraSkipsTheAdministratorTest) {
    StartCameras("127.0.0.2 serial=1000001 version=emergency admin=admin:admin\n");
    EnterTarget({"127", "0", "0", "2"}, "someone", "anything", SetupDataMode::Discard);
    ClickNext();
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm) << Utf8(boxes_.Last().text);
    EXPECT_EQ(Wizard().ManualProgress()->CurrentVersion(), QStringLiteral("unknown"));
    Upgrade();
    ExpectResultPage();
    EXPECT_EQ(CameraVersion(), "1.30");
}

// ---- refusals on Next from the target page ------------------------------------------

TEST_F(ManualUpgradeTest, UnreachableCameraIsRefused) {
    StartCameras("127.0.0.2 serial=1000001\n");
    EnterTarget({"127", "0", "0", "50"}, "admin", "admin");
    ClickNext();
    EXPECT_EQ(boxes_.Boxes(),
              (std::vector<MessageBox>{
                  Box(u"This program works for the QRV-K7. Please select the correct camera.", u"Information",
                      BoxIcon::Exclamation),
                  Box(kNotSuitable, u"Information", BoxIcon::Question)}));
    ExpectBackOnTargetPage();
}

TEST_F(ManualUpgradeTest, OtherModelIsRefused) {
    StartCameras("127.0.0.2 model=QRV-X9 serial=1000001\n127.0.0.3 model=qrv-k7 serial=1000002\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin");
    ClickNext();
    const MessageBox wrongModel = Box(u"This program works for the QRV-K7. Please select the correct camera.",
                                      u"Information", BoxIcon::Exclamation);
    const MessageBox notSuitable = Box(kNotSuitable, u"Information", BoxIcon::Question);
    EXPECT_EQ(boxes_.Boxes(), (std::vector<MessageBox>{wrongModel, notSuitable}));
    // The model is compared with its letter case.
    Type(Find<QLineEdit>("field3"), QStringLiteral("3"));
    ClickNext();
    EXPECT_EQ(boxes_.Boxes(), (std::vector<MessageBox>{wrongModel, notSuitable, wrongModel, notSuitable}));
    ExpectBackOnTargetPage();
}

TEST_F(ManualUpgradeTest, WrongCredentialsAreRefused) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "wrong");
    ClickNext();
    EXPECT_EQ(boxes_.Boxes(),
              (std::vector<MessageBox>{
                  Box(u"Please enter correct user name and password for the administrator.", u"Information",
                      BoxIcon::Exclamation),
                  Box(kNotSuitable, u"Information", BoxIcon::Question)}));
    ExpectBackOnTargetPage();
}

TEST_F(ManualUpgradeTest, UserWhoIsNotTheAdministratorIsRefused) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin user=op:pw:4\n");
    EnterTarget({"127", "0", "0", "2"}, "op", "pw");
    ClickNext();
    EXPECT_EQ(boxes_.Boxes(),
              (std::vector<MessageBox>{
                  Box(u"Level 4 users other than Administrator cannot run the program.", u"Information",
                      BoxIcon::Exclamation),
                  Box(kNotSuitable, u"Information", BoxIcon::Question)}));
    ExpectBackOnTargetPage();
}

TEST_F(ManualUpgradeTest, SerialRefusedByTheRuleSetIsRefused) {
    ns_serial_protect::InitSerialRules("allow,deny", "all", "7777777");
    StartCameras("127.0.0.2 serial=7777777 admin=admin:admin\n127.0.0.3 serial=7777778 admin=admin:admin\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin");
    ClickNext();
    EXPECT_EQ(boxes_.Boxes(), (std::vector<MessageBox>{Box(kNotSuitable, u"Information", BoxIcon::Question)}));
    ExpectBackOnTargetPage();
    Type(Find<QLineEdit>("field3"), QStringLiteral("3"));
    ClickNext();
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm);
    ns_serial_protect::InitSerialRules(ns_serial_protect::kBuiltInOrder, ns_serial_protect::kBuiltInAllow,
                                       ns_serial_protect::kBuiltInDeny);
}

TEST_F(ManualUpgradeTest, CancelInTheConfirmationBoxStaysOnTheConfirmationPage) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin");
    ClickNext();
    boxes_.Answer({BoxAnswer::Cancel});
    ClickNext();
    EXPECT_EQ(boxes_.Boxes(), (std::vector<MessageBox>{kProceed}));
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm);
    EXPECT_EQ(Wizard().NextButton()->text(), QStringLiteral("&Upgrade"));
    EXPECT_TRUE(Wizard().NextButton()->isEnabled());
    ClickBack();
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualTarget);
    EXPECT_EQ(Wizard().NextButton()->text(), QStringLiteral("&Next >"));
}

// ---- failures while it runs: back to the target page ---------------------------------

TEST_F(ManualUpgradeTest, ConfigurationSaveFailureReturnsToTheTargetPage) {
    // The camera's failure (a web page for its configuration) is told in the
    // box alone; this computer's (a file where the Configurations folder
    // should be, as a folder a standard user may not write) names the folder.
    const QString configurations = QDir::toNativeSeparators(
        configRoot_.path() + QStringLiteral("/VEXA/QRV FirmwareUpgrade/Configurations"));
    struct Case {
        const char* name;
        const char* fault;
        bool blockFolder;
    };
    for (const Case& c : {Case{"camera", "fault=html-config", false}, Case{"this computer", "", true}}) {
        SCOPED_TRACE(c.name);
        sim_.reset();  // the last case's camera leaves its address first
        StartCameras(std::string("127.0.0.2 serial=1000001 admin=admin:admin ") + c.fault + "\n");
        if (c.blockFolder) {
            QDir(QDir::fromNativeSeparators(configurations)).removeRecursively();  // made by the last case
            ASSERT_TRUE(QDir().mkpath(QFileInfo(QDir::fromNativeSeparators(configurations)).path()));
            QFile blocker(QDir::fromNativeSeparators(configurations));
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        boxes_.Clear();
        stages_.clear();
        EnterTarget({"127", "0", "0", "2"}, "admin", "admin", SetupDataMode::Retain);
        ClickNext();
        Upgrade();
        ASSERT_EQ(boxes_.Boxes().size(), 2u);
        EXPECT_EQ(boxes_.Boxes()[0], kProceed);
        const MessageBox failure = boxes_.Boxes()[1];
        EXPECT_EQ(failure.caption, u"Information");
        EXPECT_EQ(failure.icon, BoxIcon::Stop);
        if (c.blockFolder) {
            const QString text = QString::fromStdU16String(failure.text);
            EXPECT_TRUE(text.startsWith(QStringLiteral("Cannot save camera's configuration!\nCannot create the folder of ")))
                << text.toStdString();
            EXPECT_TRUE(text.contains(configurations)) << text.toStdString();
        } else {
            EXPECT_EQ(failure.text, u"Cannot save camera's configuration!");
        }
        ExpectBackOnTargetPage();
        // Back after a failed run: ready for another address, as on any showing of the page.
        EXPECT_TRUE(Find<QLineEdit>("field0")->hasFocus());
        EXPECT_EQ(stages_, QStringList{QStringLiteral("Saving config file")});
        // No upload was made.
        for (const SimEvent& event : sim_->Events()) EXPECT_NE(event.path, "/command/versionup.cgi");
        QFile::remove(QDir::fromNativeSeparators(configurations));
    }
}

// A save that is no whole configuration (a login page, an empty answer) stops
// the run before any firmware goes out and leaves no file; then, in the same
// window, a camera that takes the firmware but refuses every restore ends on
// the result page with its settings kept on disk.
TEST_F(ManualUpgradeTest, UnusableSaveSendsNoFirmwareAndRefusedRestoreKeepsTheFile) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin fault=config-html-lower\n"
                 "127.0.0.3 serial=1000002 admin=admin:admin fault=config-empty\n"
                 "127.0.0.4 serial=1000003 admin=admin:admin fault=restore-reject:4\n");
    const MessageBox cannotSave = Box(u"Cannot save camera's configuration!", u"Information", BoxIcon::Stop);
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin", SetupDataMode::Retain);
    for (const std::string last : {"2", "3"}) {
        SCOPED_TRACE("camera 127.0.0." + last);
        const std::string camera = "127.0.0." + last + ":80";
        boxes_.Clear();
        stages_.clear();
        Type(Find<QLineEdit>("field3"), QString::fromStdString(last));
        ClickNext();
        ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm) << boxes_.Count();
        EXPECT_EQ(Wizard().ManualProgress()->SetupDataText(), QStringLiteral("Retain the current settings."));
        Upgrade();
        EXPECT_EQ(boxes_.Boxes(), (std::vector<MessageBox>{kProceed, cannotSave}));
        ExpectBackOnTargetPage();
        EXPECT_EQ(stages_, QStringList{QStringLiteral("Saving config file")});
        // The camera did answer the download, with the fault under test ...
        bool faultAnswered = false;
        for (const SimEvent& event : sim_->Events()) {
            if (event.kind == "verdict" && event.camera == camera && event.what == "config") {
                faultAnswered = !event.ok && !event.Field("fault").empty();
            }
        }
        EXPECT_TRUE(faultAnswered);
        // ... and no firmware went to it, it still runs its old version, and
        // nothing of the save is left on disk.
        EXPECT_EQ(RequestsTo(camera, "/command/versionup.cgi"), 0);
        EXPECT_EQ(CameraVersion(camera), "1.20");
        EXPECT_TRUE(FilesInConfigurations().isEmpty()) << FilesInConfigurations().join(' ').toStdString();
    }

    // The camera that refuses every restore.
    boxes_.Clear();
    stages_.clear();
    Type(Find<QLineEdit>("field3"), QStringLiteral("4"));
    ClickNext();
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm) << boxes_.Count();
    EXPECT_EQ(Wizard().ManualProgress()->SetupDataText(), QStringLiteral("Retain the current settings."));
    Upgrade();
    EXPECT_EQ(boxes_.Boxes(), (std::vector<MessageBox>{
                                  kProceed, Box(u"Fault to upload configuration!", u"Information", BoxIcon::Stop)}));
    ExpectResultPage(QStringLiteral("127.0.0.4"));  // the firmware itself went in
    EXPECT_EQ(CameraVersion("127.0.0.4:80"), "1.30");
    EXPECT_EQ(RequestsTo("127.0.0.4:80", "/command/versionup.cgi"), 1);
    EXPECT_EQ(RequestsTo("127.0.0.4:80", "/command/all-configuration.cgi"), 4);
    EXPECT_FALSE(Wizard().Session().ConfigurationRestored());
    const QStringList files = SavedConfigurations();
    ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
    EXPECT_TRUE(files[0].endsWith(QStringLiteral("/qrv-k7.1000003.cfg"))) << files[0].toStdString();
    EXPECT_EQ(QFileInfo(files[0]).size(), 4096);
    const std::string sent = SentConfigurationSha256("127.0.0.4:80");
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(FileSha256(files[0]), sent);
    EXPECT_EQ(FilesInConfigurations(), files);  // no .part beside it
    // The cameras that could not be saved were never upgraded.
    EXPECT_EQ(CameraVersion("127.0.0.2:80"), "1.20");
    EXPECT_EQ(CameraVersion("127.0.0.3:80"), "1.20");
    const QJsonArray records = ReadWizardReport(Wizard().LastManualReportPath(), configRoot_.path());
    ASSERT_EQ(records.size(), 1);  // a report of its own per run
    const QJsonObject record = records[0].toObject();
    EXPECT_EQ(record.value(QStringLiteral("serial")).toString(), QStringLiteral("1000003"));
    EXPECT_TRUE(record.value(QStringLiteral("upgraded")).toBool());
    EXPECT_EQ(record.value(QStringLiteral("config")).toString(), QStringLiteral("not restored, kept"));
}

TEST_F(ManualUpgradeTest, CameraBackOnItsOldVersionIsAVersionUpError) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin fault=reboot-old\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin", SetupDataMode::Discard);
    ClickNext();
    Upgrade();
    EXPECT_EQ(boxes_.Boxes(),
              (std::vector<MessageBox>{kProceed, Box(u"Version up error.", u"Information", BoxIcon::Stop)}));
    ExpectBackOnTargetPage();
    EXPECT_EQ(CameraVersion(), "1.20");
    // On record as not upgraded, with the version the camera came back with
    // and the box the user saw.
    const QJsonArray records = ReadWizardReport(Wizard().LastManualReportPath(), configRoot_.path());
    ASSERT_EQ(records.size(), 1);
    const QJsonObject record = records[0].toObject();
    EXPECT_FALSE(record.value(QStringLiteral("upgraded")).toBool());
    EXPECT_TRUE(record.value(QStringLiteral("finished")).toBool());
    EXPECT_EQ(record.value(QStringLiteral("version_after")).toString(), QStringLiteral("1.20"));
    EXPECT_EQ(record.value(QStringLiteral("result")).toString(), QStringLiteral("QRV-K7(127.0.0.2) Version up error."));
}

TEST_F(ManualUpgradeTest, UploadCutOffIsANetworkError) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin fault=drop-upload:100000\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin", SetupDataMode::Discard);
    ClickNext();
    Upgrade();
    EXPECT_EQ(boxes_.Boxes(),
              (std::vector<MessageBox>{
                  kProceed,
                  Box(u"Network error occurred.\r\nPlease retry the upgrade without shutting down the power.",
                      u"Information", BoxIcon::Stop)}));
    ExpectBackOnTargetPage();
    // Back after a failed run: ready for another address, as on any showing of the page.
    EXPECT_TRUE(Find<QLineEdit>("field0")->hasFocus());
}

// ---- the relaxed-addressing mode ------------------------------------------------------

class RelaxedAddressingTest : public ManualUpgradeTest {
protected:
    // Two cameras that both report 127.0.0.2 in discovery.
    void SetUp() override {
        ManualUpgradeTest::SetUp();
        StartCameras("127.0.0.2 serial=1000001 admin=admin:admin\n"
                     "127.0.0.3 serial=1000002 admin=admin:admin fault=disc-ipadr:127.0.0.2\n");
    }
    void OpenAfterDiscovery(bool relaxed) {
        OpenWizard();
        if (relaxed) {
            Wizard().NextButton()->setFocus();
            QTest::keyClick(Wizard().NextButton(), static_cast<Qt::Key>(WizardNextButton::kHiddenModeKey));
            ASSERT_TRUE(Wizard().HiddenAddressingMode());
            boxes_.Clear();
        }
        ASSERT_TRUE(WaitFor([&] { return !Wizard().IsDiscoveryRunning(); }));
        ASSERT_EQ(Wizard().Discovered().Count(), 2);
        GoToManualTarget();
        FillTarget({"127", "0", "0", "2"}, "admin", "admin");
    }
};

TEST_F(RelaxedAddressingTest, SharedAddressIsRefusedWithTheMode) {
    OpenAfterDiscovery(true);
    ClickNext();
    EXPECT_EQ(boxes_.Boxes(), (std::vector<MessageBox>{Box(
                                  u"There is more than one camera with the same IP address.\r\nCannot proceed "
                                  u"with the upgrade.",
                                  u"Error", BoxIcon::Stop)}));
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualTarget);
    EXPECT_FALSE(Wizard().NextButton()->isEnabled());
    EXPECT_FALSE(Wizard().BackButton()->isEnabled());
    EXPECT_TRUE(Wizard().CancelButton()->isEnabled());
    // Cancel no longer asks.
    ClickCancel();
    EXPECT_TRUE(WizardClosed());
    EXPECT_EQ(boxes_.Count(), 1u);
}

TEST_F(RelaxedAddressingTest, SharedAddressIsAcceptedWithoutTheMode) {
    OpenAfterDiscovery(false);
    ClickNext();
    EXPECT_EQ(boxes_.Count(), 0u) << Utf8(boxes_.Last().text);
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm);
}

TEST_F(RelaxedAddressingTest, AddressOfOneCameraPassesWithTheMode) {
    OpenAfterDiscovery(true);
    Type(Find<QLineEdit>("field3"), QStringLiteral("3"));  // no camera reports 127.0.0.3
    ClickNext();
    EXPECT_EQ(boxes_.Count(), 0u) << Utf8(boxes_.Last().text);
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm);
}

// ---- the window never freezes ----------------------------------------------------------

TEST_F(ManualUpgradeTest, WindowKeepsServingTimersDuringTheProbeAndTheRestore) {
    StartCameras("127.0.0.2 serial=1000001 admin=admin:admin fault=delay:5000\n");
    EnterTarget({"127", "0", "0", "2"}, "admin", "admin", SetupDataMode::Retain);
    int ticksWhileProbing = 0;
    int ticksWhileRestoring = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        if (QApplication::overrideCursor()) ++ticksWhileProbing;
        if (Wizard().ManualProgress()->StageText() == QStringLiteral("Loading config file")) ++ticksWhileRestoring;
    });
    heartbeat.start(5);
    ClickNext();  // the probe: two inquiries, each answered late
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualConfirm);
    EXPECT_GT(ticksWhileProbing, 0);
    Upgrade();
    ExpectResultPage();
    EXPECT_GT(ticksWhileRestoring, 0);
}

}  // namespace
}  // namespace qrv::test
