// Automatic mode end to end against simulated cameras: the camera list page
// while discovery runs and after it, the duplicate-address lock, the login
// dialogs, the login checks, and whole batches with their progress, counter,
// upgrade log and saved configurations, as the user sees them.

#include <QDir>
#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QHeaderView>
#include <QJsonObject>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

#include "batch/BatchRun.h"
#include "batch/TargetGrid.h"
#include "engine/JobStage.h"
#include "tests/support/SimProcess.h"
#include "tests/support/SimSchedule.h"
#include "tests/ui/SimWizardTest.h"
#include "tests/ui/WizardHarness.h"
#include "ui/AutoCameraListPage.h"
#include "ui/AutoProgressPage.h"
#include "ui/BitmapPushButton.h"
#include "ui/CameraGridView.h"
#include "ui/DesktopActions.h"
#include "ui/Ipv4AddressEdit.h"
#include "ui/LoginDialogs.h"
#include "ui/ProgressListDelegate.h"
#include "ui/ProgressListView.h"
#include "ui/UpgradeLogDialog.h"
#include "ui/WizardNextButton.h"

namespace qrv::test {
namespace {

using Mode = UpgradeWizardDialog::ButtonMode;
// Seconds an upload may still be read by the camera after the program wrote
// its last byte (see the transfer check below).
constexpr double kUploadTailLag = 0.02;

const MessageBox kProceed = Box(u"Proceed to the firmware upgrade?", u"Information", BoxIcon::Question,
                                BoxButtons::OkCancel);

class AutoModeTest : public SimWizardTest {
protected:
    void SetUp() override {
        SimWizardTest::SetUp();
        SetDesktopActions({[this](const QString& url) { urls_ << url; }, [this] { ++beeps_; },
                           [this](QWidget*) { ++flashes_; }});
    }
    void TearDown() override {
        SimWizardTest::TearDown();
        SetDesktopActions({});
    }

    AutoCameraListPage& ListPage() { return *static_cast<AutoCameraListPage*>(Wizard().AutoPages().list); }
    AutoProgressPage& ProgressPage() { return *static_cast<AutoProgressPage*>(Wizard().AutoPages().progress); }
    CameraGridView& Grid() { return ListPage().GridView(); }
    TargetGrid& Targets() { return ListPage().Targets(); }
    QPushButton* Button(const char* name) { return Find<QPushButton>(name); }

    // First page -> agreement -> mode page -> automatic camera list.
    void GoToCameraList() {
        ClickNext();
        Click(Find<QRadioButton>("agree"));
        ClickNext();
        Click(Find<QRadioButton>("automaticMode"));
        ClickNext();
        ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAutoList);
    }
    void WaitForDiscoveryEnd() {
        ASSERT_TRUE(WaitFor([&] { return !ListPage().IsBusy(); }));
    }
    int RowOf(const std::u16string& address) {
        for (int row = 0; row < Grid().RowCount(); ++row) {
            if (Targets().Row(row).addressText == address) return row;
        }
        return -1;
    }
    void SelectRows(std::initializer_list<int> rows) {
        Grid().clearSelection();
        for (int row : rows) {
            Grid().selectionModel()->select(Grid().model()->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        if (rows.size() > 0) {
            Grid().selectionModel()->setCurrentIndex(Grid().model()->index(*rows.begin(), 0),
                                                     QItemSelectionModel::NoUpdate);
        }
    }
    // Every row selected and given admin / admin in the Batch login dialog.
    void GiveEveryRowAdmin() {
        Click(Button("selectAll"));
        WhenModal<BatchLoginDialog>([this](BatchLoginDialog* dialog) {
            Type(dialog->NameEdit(), QStringLiteral("admin"));
            Type(dialog->PasswordEdit(), QStringLiteral("admin"));
            dialog->accept();
        });
        Click(Button("accessSetting"));
    }
    QStringList SavedConfigurations() const {
        QStringList files;
        QDirIterator it(configRoot_.path(), {QStringLiteral("*.cfg")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) files << it.next();
        return files;
    }
    // Upgrade, OK in the confirmation, then the batch to its end; returns the log.
    // The upgrade log runs its own event loop: it is read, photographed and
    // closed from inside it, or the test would wait forever.
    void CloseLogWhenItOpens(QString* log) {
        QObject::connect(&ProgressPage(), &AutoProgressPage::UpgradeLogOpening, &ProgressPage(),
                         [this, log](QWidget* dialog) {
                             *log = static_cast<UpgradeLogDialog*>(dialog)->LogBox()->toPlainText();
                             // Long lines wrap at the box's edge.
                             EXPECT_EQ(static_cast<UpgradeLogDialog*>(dialog)->LogBox()->lineWrapMode(),
                                       QPlainTextEdit::WidgetWidth);
                             QTimer::singleShot(50, dialog, [this, dialog] {
                                 Screenshot("upgrade-log", dialog);
                                 static_cast<QDialog*>(dialog)->reject();
                             });
                         });
    }
    QString RunBatch() {
        QString log;
        CloseLogWhenItOpens(&log);
        boxes_.Answer({BoxAnswer::Ok});
        ClickNext();
        EXPECT_TRUE(WaitFor([&] { return ProgressPage().Batch().RowCount() > 0 &&
                                         ProgressPage().Batch().IsRunning(); }, std::chrono::seconds(5)));
        EXPECT_EQ(Wizard().NextButton()->text(), QStringLiteral("&Abort"));
        EXPECT_FALSE(Wizard().CancelButton()->isEnabled());
        EXPECT_TRUE(WaitFor([&] { return ProgressPage().LogShownCount() > 0; }, std::chrono::seconds(120)));
        WaitFor([] { return QApplication::activeModalWidget() == nullptr; }, std::chrono::seconds(5));
        return log;
    }

    QStringList urls_;
    int beeps_ = 0;
    int flashes_ = 0;
};

// ---- the camera list page ---------------------------------------------------------------

TEST_F(AutoModeTest, CameraListWaitsForDiscoveryThenTakesCredentialsAndTestsThem) {
    StartCameras("127.0.0.2\n127.0.0.3 model=QRV-K7N admin=root:secret\n127.0.0.4 dhcp=on\n"
                 "127.0.0.5:8080 mac=02:00:00:00:00:05\n");
    // Discovery runs for its first two seconds here: long enough to see the wait.
    OpenWizard(0.1);
    GoToCameraList();
    Screenshot("discovery-running");
    EXPECT_TRUE(ListPage().IsBusy());
    EXPECT_EQ(ListPage().cursor().shape(), Qt::WaitCursor);
    for (const char* name : {"selectAll", "accessSetting", "toggleExtra"}) EXPECT_FALSE(Button(name)->isEnabled()) << name;
    EXPECT_FALSE(Grid().isEnabled());
    EXPECT_FALSE(Wizard().NextButton()->isEnabled());

    // Within one tick of the end of discovery the rows are in and the buttons on.
    ASSERT_TRUE(WaitFor([&] { return !Wizard().IsDiscoveryRunning(); }));
    EXPECT_TRUE(WaitFor([&] { return !ListPage().IsBusy(); }, std::chrono::milliseconds(300)));
    Screenshot("discovery-ended");
    ASSERT_EQ(Grid().RowCount(), 4);
    EXPECT_EQ(Find<QLabel>("detectedCounter")->text(), QStringLiteral("4/256"));
    for (const char* name : {"selectAll", "accessSetting", "toggleExtra"}) EXPECT_TRUE(Button(name)->isEnabled()) << name;
    EXPECT_EQ(Grid().SelectedRows(), std::vector<int>{0});
    EXPECT_NE(ListPage().cursor().shape(), Qt::WaitCursor);
    // Every row starts as a target without credentials: Next stays off.
    EXPECT_FALSE(Wizard().NextButton()->isEnabled());
    const int dhcp = RowOf(u"DHCP");
    ASSERT_GE(dhcp, 0);
    EXPECT_EQ(Grid().model()->index(dhcp, 2).data(Qt::ToolTipRole).toString(), QStringLiteral("127.0.0.4"));
    EXPECT_GE(RowOf(u"127.0.0.5:8080"), 0);

    // One row selected of four: Single login. NEXT walks the rows, saving each.
    SelectRows({0});
    WhenModal<SingleLoginDialog>([this](SingleLoginDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Single login"));
        EXPECT_FALSE(dialog->PrevButton()->isEnabled());
        EXPECT_TRUE(dialog->NextButton()->isEnabled());
        EXPECT_EQ(dialog->NextButton()->size(), QSize(19, 19));
        EXPECT_EQ(dialog->AddressDisplay()->Address(), Targets().Row(0).ip);
        for (int row = 0; row < 4; ++row) {
            Type(dialog->NameEdit(), QStringLiteral("admin"));
            Type(dialog->PasswordEdit(), QStringLiteral("admin"));
            QTest::keyClick(dialog->PasswordEdit(), Qt::Key_Return);  // Enter runs NEXT
        }
        // The last row: NEXT saved it, beeped, flashed and went off; the row stays.
        EXPECT_EQ(dialog->CurrentRow(), 3);
        EXPECT_FALSE(dialog->NextButton()->isEnabled());
        EXPECT_TRUE(dialog->PrevButton()->isEnabled());
        EXPECT_EQ(beeps_, 1);
        EXPECT_EQ(flashes_, 1);
        // Enter with NEXT off does nothing; PREV goes back and shows that row.
        QTest::keyClick(dialog->PasswordEdit(), Qt::Key_Return);
        EXPECT_EQ(beeps_, 1);
        dialog->PrevButton()->click();
        EXPECT_EQ(dialog->CurrentRow(), 2);
        EXPECT_TRUE(dialog->NextButton()->isEnabled());
        EXPECT_EQ(Grid().SelectedRows(), std::vector<int>{2});
        // Typing and then Close keeps what the row had.
        Type(dialog->PasswordEdit(), QStringLiteral("typed"));
        Screenshot("single-login", dialog);
        dialog->reject();
    });
    Click(Button("accessSetting"));
    for (int row = 0; row < 4; ++row) EXPECT_EQ(Targets().Row(row).password, u"admin") << row;
    EXPECT_TRUE(Wizard().NextButton()->isEnabled());

    // The camera with its own account gets it through a Batch login of two rows;
    // the boxes start with what both rows share.
    const int other = RowOf(u"127.0.0.3");
    SelectRows({other, dhcp});
    WhenModal<BatchLoginDialog>([this](BatchLoginDialog* dialog) {
        EXPECT_EQ(dialog->NameEdit()->text(), QStringLiteral("admin"));
        EXPECT_EQ(dialog->PasswordEdit()->text(), QStringLiteral("admin"));
        Type(dialog->NameEdit(), QStringLiteral("root"));
        Type(dialog->PasswordEdit(), QStringLiteral("secret"));
        Screenshot("batch-login", dialog);
        dialog->accept();
    });
    Click(Button("accessSetting"));
    EXPECT_EQ(Targets().Row(other).name, u"root");
    // Rows that differ give empty boxes.
    SelectRows({0, other});
    WhenModal<BatchLoginDialog>([](BatchLoginDialog* dialog) {
        EXPECT_TRUE(dialog->NameEdit()->text().isEmpty());
        EXPECT_TRUE(dialog->PasswordEdit()->text().isEmpty());
        dialog->reject();
    });
    Click(Button("accessSetting"));

    // Testing: the extra buttons slide out without blocking the window, then
    // every selected row is checked and turns green or red.
    Click(Button("toggleExtra"));
    EXPECT_TRUE(ListPage().IsSliding());
    ASSERT_TRUE(WaitFor([&] { return ListPage().IsExpanded() && !ListPage().IsSliding(); }));
    EXPECT_EQ(Button("toggleExtra")->text(), QStringLiteral("&>>"));
    EXPECT_TRUE(Button("testing")->isVisible());
    EXPECT_TRUE(Button("addOther")->isEnabled());
    Click(Button("selectAll"));
    Click(Button("testing"));
    EXPECT_TRUE(ListPage().IsTesting());
    EXPECT_EQ(ListPage().cursor().shape(), Qt::BusyCursor);
    ASSERT_TRUE(WaitFor([&] { return !ListPage().IsTesting(); }));
    SelectRows({0});
    Screenshot("login-checks");
    for (int row = 0; row < 4; ++row) {
        const bool wrong = row == dhcp;  // root / secret belongs to the other camera
        EXPECT_EQ(Targets().Row(row).checkResult, wrong ? CheckResult::Failed : CheckResult::Passed) << row;
    }
    EXPECT_NE(ListPage().cursor().shape(), Qt::BusyCursor);

    // A double click on an address opens the camera's web page.
    const int custom = RowOf(u"127.0.0.5:8080");
    const QRect cell = Grid().visualRect(Grid().model()->index(custom, 2));
    QTest::mouseDClick(Grid().viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    EXPECT_EQ(urls_, QStringList{QStringLiteral("http://127.0.0.5:8080/")});

    // The check box of a selected row clears every selected target; Next goes off.
    Click(Button("selectAll"));
    const QRect box = Grid().visualRect(Grid().model()->index(1, 0));
    QTest::mouseClick(Grid().viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    for (int row = 0; row < 4; ++row) EXPECT_EQ(Targets().Row(row).target, 0) << row;
    EXPECT_FALSE(Wizard().NextButton()->isEnabled());

    // The strip slides back in.
    Click(Button("toggleExtra"));
    ASSERT_TRUE(WaitFor([&] { return !ListPage().IsExpanded() && !ListPage().IsSliding(); }));
    EXPECT_FALSE(Button("testing")->isVisible());
    EXPECT_EQ(Button("toggleExtra")->text(), QStringLiteral("&<<"));
}

TEST_F(AutoModeTest, NoCameraOffersNothingAndOneCameraGetsTheBatchLogin) {
    // Nobody answers: an empty list that offers nothing.
    OpenWizard();
    GoToCameraList();
    WaitForDiscoveryEnd();
    Screenshot("no-camera");
    EXPECT_EQ(Grid().RowCount(), 0);
    EXPECT_EQ(Find<QLabel>("detectedCounter")->text(), QStringLiteral("0/256"));
    EXPECT_FALSE(Button("accessSetting")->isEnabled());
    EXPECT_FALSE(Button("testing")->isEnabled());
    EXPECT_FALSE(Wizard().NextButton()->isEnabled());
    EXPECT_EQ(boxes_.Count(), 0u);
    WizardTest::TearDown();

    // A single camera in all: Access setting opens the Batch login.
    StartCameras("127.0.0.2\n");
    OpenWizard();
    GoToCameraList();
    WaitForDiscoveryEnd();
    ASSERT_EQ(Grid().RowCount(), 1);
    bool batch = false;
    WhenModal<QDialog>([&batch](QDialog* dialog) {
        batch = qobject_cast<BatchLoginDialog*>(dialog) != nullptr;
        dialog->reject();
    });
    Click(Button("accessSetting"));
    EXPECT_TRUE(batch);
}

TEST_F(AutoModeTest, GridSortsOnHeaderPressesAndTogglesTargetsWithSpace) {
    StartCameras("127.0.0.2 model=QRV-K7P\n127.0.0.3 model=QRV-K7\n127.0.0.4 model=QRV-K7N\n");
    OpenWizard();
    GoToCameraList();
    WaitForDiscoveryEnd();
    ASSERT_EQ(Grid().RowCount(), 3);
    auto models = [this] {
        QStringList list;
        for (int row = 0; row < Grid().RowCount(); ++row) list << QString::fromStdU16String(Targets().Row(row).model);
        return list;
    };
    const int k7p = RowOf(u"127.0.0.2");
    SelectRows({k7p});
    QHeaderView* header = Grid().horizontalHeader();
    auto pressHeader = [header](int x) {
        QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
    };
    const int modelLeft = header->sectionViewportPosition(3);
    pressHeader(modelLeft + header->sectionSize(3) / 2);
    EXPECT_EQ(models(), (QStringList{"QRV-K7", "QRV-K7N", "QRV-K7P"}));
    // The selection follows its camera to its new place.
    EXPECT_EQ(Grid().SelectedRows(), std::vector<int>{2});
    pressHeader(modelLeft + header->sectionSize(3) / 2);
    EXPECT_EQ(models(), (QStringList{"QRV-K7P", "QRV-K7N", "QRV-K7"}));
    EXPECT_EQ(Grid().SelectedRows(), std::vector<int>{0});
    // A press on the divider between two headers resizes; it never sorts.
    pressHeader(modelLeft + 1);
    EXPECT_EQ(models(), (QStringList{"QRV-K7P", "QRV-K7N", "QRV-K7"}));
    Screenshot("sorted");

    // Space on the focused, selected row flips every selected row.
    Grid().setFocus();
    SelectRows({0, 2});
    QTest::keyClick(&Grid(), Qt::Key_Space);
    EXPECT_EQ(Targets().Row(0).target, 0);
    EXPECT_EQ(Targets().Row(1).target, 1);
    EXPECT_EQ(Targets().Row(2).target, 0);
    EXPECT_EQ(Grid().SelectedRows(), (std::vector<int>{0, 2}));

    // The Single login opens with the name ready for typing; a new account
    // takes the row's colour from an earlier test away.
    Targets().SetCheckResult(1, CheckResult::Passed);
    SelectRows({1});
    WhenModal<SingleLoginDialog>([this](SingleLoginDialog* dialog) {
        EXPECT_TRUE(dialog->NameEdit()->hasFocus());
        Type(dialog->NameEdit(), QStringLiteral("admin"));
        Type(dialog->PasswordEdit(), QStringLiteral("other"));
        dialog->OnOkButton();
    });
    Click(Button("accessSetting"));
    EXPECT_EQ(Targets().Row(1).password, u"other");
    EXPECT_EQ(Targets().Row(1).checkResult, CheckResult::None);

    // Batch login accepts empty boxes: they clear every selected row.
    SelectRows({0, 1});
    WhenModal<BatchLoginDialog>([this](BatchLoginDialog* dialog) {
        Type(dialog->NameEdit(), QString());
        Type(dialog->PasswordEdit(), QString());
        dialog->accept();
    });
    Click(Button("accessSetting"));
    for (int row : {0, 1}) {
        EXPECT_TRUE(Targets().Row(row).name.empty()) << row;
        EXPECT_TRUE(Targets().Row(row).password.empty()) << row;
    }
}

TEST_F(AutoModeTest, SharedAddressesLockTheModeUnlessRelaxed) {
    // Two cameras on one address (other ports), and one more.
    StartCameras("127.0.0.2\n127.0.0.2:8080\n127.0.0.3\n");
    for (const bool relaxed : {false, true}) {
        SCOPED_TRACE(relaxed ? "relaxed addressing" : "strict addressing");
        boxes_.Clear();
        OpenWizard();
        if (relaxed) {
            QTest::keyClick(Wizard().NextButton(), static_cast<Qt::Key>(WizardNextButton::kHiddenModeKey));
            ASSERT_TRUE(Wizard().HiddenAddressingMode());
            boxes_.Clear();
        }
        GoToCameraList();
        WaitForDiscoveryEnd();
        ASSERT_EQ(Grid().RowCount(), 3);
        Screenshot(relaxed ? "shared-address-relaxed" : "shared-address-locked");
        if (!relaxed) {
            ASSERT_EQ(boxes_.Count(), 1u);
            EXPECT_EQ(boxes_.Last(), Box(u"There is more than one camera with the same IP address as below.\r\n"
                                         u"#127.0.0.2\r\nPlease assign different addresses to avoid any conflict.",
                                         u"Error", BoxIcon::Stop));
            EXPECT_TRUE(ListPage().IsLocked());
            for (const char* name : {"selectAll", "accessSetting", "toggleExtra"}) {
                EXPECT_FALSE(Button(name)->isEnabled()) << name;
            }
            EXPECT_FALSE(Wizard().BackButton()->isEnabled());
        } else {
            EXPECT_EQ(boxes_.Count(), 0u);
            EXPECT_FALSE(ListPage().IsLocked());
            EXPECT_TRUE(Button("accessSetting")->isEnabled());
        }
        EXPECT_FALSE(Wizard().NextButton()->isEnabled());
        WizardTest::TearDown();
    }
}

// ---- batches ------------------------------------------------------------------------------

TEST_F(AutoModeTest, BatchesOfSixCamerasEndWithTheLogInEverySetupDataMode) {
    struct Run {
        const char* name;
        bool retain;
        bool backup;
        int filesKept;
        int parallel;  // the wizard's --parallel
    };
    for (const Run& run : {Run{"discard", false, false, 0, 2}, Run{"retain", true, false, 0, 2},
                           Run{"backup", true, true, 5, 4}}) {
        SCOPED_TRACE(run.name);
        // An upgraded camera comes back with its factory account: fresh cameras each time.
        sim_.reset();
        StartCameras("127.0.0.2\n127.0.0.3 model=QRV-K7N\n127.0.0.4 dhcp=on\n127.0.0.5:8080\n127.0.0.6 doctype=g3\n"
                     "127.0.0.7 admin=root:other\n");
        QDir(configRoot_.path()).removeRecursively();
        QDir().mkpath(configRoot_.path());
        boxes_.Clear();
        OpenWizard(kTimeScale, run.parallel);
        GoToCameraList();
        WaitForDiscoveryEnd();
        ASSERT_EQ(Grid().RowCount(), 6);
        GiveEveryRowAdmin();
        ASSERT_TRUE(Wizard().NextButton()->isEnabled());
        ClickNext();
        ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAutoProgress);
        EXPECT_EQ(Wizard().NextButton()->text(), QStringLiteral("&Upgrade"));
        EXPECT_EQ(ProgressPage().CounterText(), QStringLiteral("0/6"));
        ProgressListView& view = ProgressPage().ListView();
        ASSERT_EQ(view.model()->rowCount(), 6);
        const BatchRun& list = ProgressPage().Batch();

        // The setup data: Retain off clears and disables Backup.
        QCheckBox* retain = ProgressPage().RetainBox();
        QCheckBox* backup = ProgressPage().BackupBox();
        EXPECT_TRUE(retain->isChecked());
        EXPECT_FALSE(backup->isChecked());
        Click(backup);
        Click(retain);
        EXPECT_FALSE(backup->isChecked());
        EXPECT_FALSE(backup->isEnabled());
        if (run.retain) Click(retain);
        if (run.backup) Click(backup);

        if (run.retain && !run.backup) {
            // Cancel in the confirmation: both boxes come back, nothing starts.
            boxes_.Answer({BoxAnswer::Cancel});
            ClickNext();
            ASSERT_TRUE(WaitFor([&] { return boxes_.Count() == 1; }));
            EXPECT_EQ(boxes_.Last(), kProceed);
            EXPECT_TRUE(retain->isEnabled());
            EXPECT_TRUE(backup->isEnabled());
            EXPECT_FALSE(list.IsRunning() && list.Row(0).stage != kStandby);
            // A header press beeps and sorts nothing.
            const int beeps = beeps_;
            QHeaderView* header = view.horizontalHeader();
            QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                              QPoint(header->sectionViewportPosition(2) + 20, header->height() / 2));
            EXPECT_EQ(beeps_, beeps + 1);
            boxes_.Clear();
        }

        // Mid-batch picture once a bar moves.
        QTimer shot;
        bool shotTaken = false;
        QObject::connect(&shot, &QTimer::timeout, [&] {
            for (int row = 0; row < 6 && !shotTaken; ++row) {
                const int progress = list.Row(row).progress;
                if (progress > 0 && progress < 6000) {
                    shotTaken = true;
                    Screenshot("batch-running");
                }
            }
        });
        shot.start(20);
        const QString log = RunBatch();
        shot.stop();
        EXPECT_FALSE(retain->isEnabled());

        EXPECT_EQ(ProgressPage().LogShownCount(), 1);
        EXPECT_EQ(ProgressPage().CounterText(), QStringLiteral("6/6"));
        EXPECT_EQ(Wizard().CancelButton()->text(), QStringLiteral("&Finish"));
        EXPECT_TRUE(Wizard().CancelButton()->isEnabled());
        EXPECT_FALSE(Wizard().NextButton()->isEnabled());
        Screenshot("batch-finished");
        const QString expected = QStringLiteral(
            "QRV-K7(127.0.0.2) Completed successfully.\nQRV-K7N(127.0.0.3) Completed successfully.\n"
            "QRV-K7(DHCP:127.0.0.4) Completed successfully.\nQRV-K7(127.0.0.5:8080) Completed successfully.\n"
            "QRV-K7(127.0.0.6) Completed successfully.\nQRV-K7(127.0.0.7) Login error.\n");
        QStringList lines = log.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QStringList want = expected.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        lines.sort();
        want.sort();
        EXPECT_EQ(lines, want) << log.toStdString();
        EXPECT_EQ(list.Row(0).version, u"1.30");
        EXPECT_EQ(SavedConfigurations().size(), run.filesKept) << SavedConfigurations().join(u' ').toStdString();
        // The batch's report says what the log says, camera by camera.
        QStringList reported;
        for (const QJsonValue& value : ReadWizardReport(ProgressPage().LastReportPath(), configRoot_.path())) {
            const QJsonObject record = value.toObject();
            const QString result = record.value(QStringLiteral("result")).toString();
            reported << result;
            const bool good = result.endsWith(QStringLiteral("Completed successfully."));
            EXPECT_EQ(record.value(QStringLiteral("upgraded")).toBool(), good) << result.toStdString();
            EXPECT_EQ(record.value(QStringLiteral("version_after")).toString(), good ? QStringLiteral("1.30") : QString());
            EXPECT_TRUE(record.value(QStringLiteral("finished")).toBool());
            EXPECT_EQ(record.value(QStringLiteral("settings")).toString(), QString::fromLatin1(run.name));
        }
        reported.sort();
        EXPECT_EQ(reported, want);
        // As many jobs at once as asked for, never more, and one transfer at a time.
        const SimSchedule schedule = ScheduleOf(sim_->Events());
        // The next transfer may start while the camera still reads the last
        // milliseconds of an upload the program has finished writing (seen
        // under wine); a second transfer under way would overlap by far more.
        EXPECT_EQ(MostAtOnce(schedule.transfers, kUploadTailLag), 1) << DescribeSpans(schedule.transfers);
        EXPECT_LE(MostAtOnce(schedule.jobs), run.parallel);
        if (run.parallel > 2) {
            EXPECT_GT(MostAtOnce(schedule.jobs), 2);
        }
        // Finish leaves without asking.
        ClickCancel();
        EXPECT_TRUE(WizardClosed());
        WizardTest::TearDown();
    }
}

TEST_F(AutoModeTest, AbortLetsStartedCamerasFinishAndDropsTheRest) {
    StartCameras("127.0.0.2 write=3000\n127.0.0.3 write=3000\n127.0.0.4\n127.0.0.5\n");
    OpenWizard();
    GoToCameraList();
    WaitForDiscoveryEnd();
    GiveEveryRowAdmin();
    ClickNext();
    Click(ProgressPage().RetainBox());  // discard: the quickest batch
    QString log;
    CloseLogWhenItOpens(&log);
    boxes_.Answer({BoxAnswer::Ok});
    ClickNext();
    BatchRun& list = ProgressPage().Batch();
    ASSERT_TRUE(WaitFor([&] { return list.Row(0).stage != kStandby; }));
    ClickNext();  // "&Abort"
    EXPECT_FALSE(Wizard().NextButton()->isEnabled());
    Screenshot("aborting");
    ASSERT_TRUE(WaitFor([&] { return ProgressPage().LogShownCount() == 1; }, std::chrono::seconds(60)));
    WaitFor([] { return QApplication::activeModalWidget() == nullptr; }, std::chrono::seconds(5));
    int finished = 0;
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.Row(row).result == kCompleted) {
            ++finished;
        } else {
            EXPECT_EQ(list.Row(row).stage, kStandby) << row;
            EXPECT_EQ(list.Row(row).progress, 0) << row;
            EXPECT_TRUE(list.ResultLine(row).empty()) << row;
        }
    }
    EXPECT_GE(finished, 1);
    EXPECT_LE(finished, 2);
    EXPECT_EQ(log.count(QStringLiteral("Completed successfully.")), finished) << log.toStdString();
    EXPECT_EQ(ProgressPage().CounterText(), QStringLiteral("4/4"));
    EXPECT_EQ(Wizard().CancelButton()->text(), QStringLiteral("&Finish"));
}

TEST_F(AutoModeTest, ClosingTheWindowMidBatchStillWritesTheReport) {
    StartCameras("127.0.0.2 write=3000\n127.0.0.3 write=3000\n127.0.0.4\n");
    OpenWizard();
    GoToCameraList();
    WaitForDiscoveryEnd();
    GiveEveryRowAdmin();
    ClickNext();
    boxes_.Answer({BoxAnswer::Ok});
    ClickNext();
    BatchRun& list = ProgressPage().Batch();
    ASSERT_TRUE(WaitFor([&] { return list.Row(0).stage != kStandby; }));
    // The way out that an interrupt or the end of the session takes.
    Wizard().CloseWizard(QDialog::Rejected);
    const QJsonArray records = ReadWizardReport(ProgressPage().LastReportPath(), configRoot_.path());
    ASSERT_EQ(records.size(), 3);
    int unfinished = 0;
    for (const QJsonValue& value : records) {
        const QJsonObject record = value.toObject();
        const bool finished = record.value(QStringLiteral("finished")).toBool();
        unfinished += finished ? 0 : 1;
        // Nothing is claimed for a camera whose job had not ended.
        if (!finished) {
            EXPECT_FALSE(record.value(QStringLiteral("upgraded")).toBool());
        }
    }
    EXPECT_GE(unfinished, 1);
}

// ---- the drawn parts ----------------------------------------------------------------------

TEST(ProgressBarLayoutTest, BarWidthFollowsProgressInTheColumn) {
    const QRect cell(200, 40, 120, 20);
    struct Case {
        int progress;
        int width;
    };
    for (const Case c : {Case{0, 0}, Case{3000, 58}, Case{6000, 117}, Case{7000, 117}}) {
        const ProgressBarGeometry geometry = ProgressBarLayout(cell, 20, c.progress);
        EXPECT_EQ(geometry.bar.width(), c.width) << c.progress;
        EXPECT_EQ(geometry.bar.topLeft(), QPoint(201, 43)) << c.progress;
        EXPECT_EQ(geometry.bar.height(), 13) << c.progress;
    }
    const ProgressBarGeometry geometry = ProgressBarLayout(cell, 20, 0);
    EXPECT_EQ(geometry.lightFrame, QRect(QPoint(201, 43), QPoint(318, 56)));
    EXPECT_EQ(geometry.blackFrame, QRect(QPoint(200, 42), QPoint(317, 55)));
}

TEST(BitmapPushButtonTest, PicturesByStateAndADoubleClickIsTwoClicks) {
    BitmapPushButton button(QStringLiteral("PREV"));
    ASSERT_TRUE(button.AttachImages());
    EXPECT_EQ(button.size(), QSize(19, 19));
    const QImage normal = button.CurrentPicture().toImage();
    button.setDown(true);
    const QImage pressed = button.CurrentPicture().toImage();
    button.setDown(false);
    button.setEnabled(false);
    const QImage disabled = button.CurrentPicture().toImage();
    EXPECT_NE(pressed, normal);
    EXPECT_NE(disabled, normal);
    EXPECT_NE(disabled, pressed);
    button.setEnabled(true);

    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks] { ++clicks; });
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    // The desktop's order: press, release, double click, release.
    const QPointF centre(9, 9);
    QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, centre, button.mapToGlobal(centre), Qt::LeftButton,
                            Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&button, &doubleClick);
    EXPECT_TRUE(button.isDown());
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(button.isDown());

    // A missing disabled picture fails the load but keeps the ones before it.
    EXPECT_FALSE(button.LoadButtonImages(QStringLiteral("NEXTU"), QStringLiteral("NEXTD"), QStringLiteral("NEXTF"),
                                         QStringLiteral("NEXTZ")));
    EXPECT_FALSE(button.CurrentPicture().isNull());
    EXPECT_FALSE(BitmapPushButton(QStringLiteral("NOPE")).AttachImages());
}

}  // namespace
}  // namespace qrv::test
