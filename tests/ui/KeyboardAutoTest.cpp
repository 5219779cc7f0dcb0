// The automatic mode driven by keys alone against simulated cameras: the
// camera list (Select all, Access setting, the extra strip), Add other
// cameras with Entry terminals, Testing, the upgrade and its log, Finish.
// Only keys reach the wizard: Return, Alt+letter, Tab, Space, arrows and
// typing, each to whichever widget holds the focus. A screenshot shows the
// focus on every page and dialog passed.

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "batch/AddCameraList.h"
#include "batch/BatchRun.h"
#include "batch/TargetGrid.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/KeyboardWizardTest.h"
#include "ui/AddCamerasDialog.h"
#include "ui/AutoCameraListPage.h"
#include "ui/AutoProgressPage.h"
#include "ui/CameraGridView.h"
#include "ui/EntryTerminalsDialog.h"
#include "ui/Ipv4AddressEdit.h"
#include "ui/LoginDialogs.h"
#include "ui/ProgressListView.h"
#include "ui/UpgradeLogDialog.h"

namespace qrv::test {
namespace {

class KeyboardAutoMode : public KeyboardWizardTest {
protected:
    AutoCameraListPage& ListPage() { return *static_cast<AutoCameraListPage*>(Wizard().AutoPages().list); }
    AutoProgressPage& ProgressPage() { return *static_cast<AutoProgressPage*>(Wizard().AutoPages().progress); }
    TargetGrid& Targets() { return ListPage().Targets(); }

    // Tab until `target` holds the focus; false if it never does.
    static bool TabTo(QWidget* target, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        for (int presses = 0; presses < 12 && !target->hasFocus(); ++presses) {
            QWidget* focused = QApplication::focusWidget();
            if (!focused) return false;
            QTest::keyClick(focused, Qt::Key_Tab, modifiers);
        }
        return target->hasFocus();
    }
    // A closed dialog hands the activation back to its parent window: the
    // desktop's window manager does that, the offscreen platform does not.
    // The window's own focus is whatever it held before the dialog.
    static void Reactivate(QWidget* window) {
        QApplication::processEvents();
        if (window->isActiveWindow()) return;
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    }

    // The camera's version after the run, from the simulator's own record.
    std::string CameraVersion(const std::string& camera) const {
        std::string version;
        for (const SimEvent& event : sim_->Events()) {
            if (event.kind == "state" && event.camera == camera && !event.version.empty()) version = event.version;
        }
        return version;
    }

    // What a screen reader reads in each row's progress cell.
    std::vector<std::string> ProgressRead() {
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&ProgressPage().ListView());
        QAccessibleTableInterface* table = reader ? reader->tableInterface() : nullptr;
        if (!table) return {"<no table>"};
        std::vector<std::string> read;
        for (int row = 0; row < table->rowCount(); ++row) {
            QAccessibleInterface* cell = table->cellAt(row, static_cast<int>(ProgressColumn::Progress));
            read.push_back(cell ? cell->text(QAccessible::Name).toStdString() : "<no cell>");
        }
        return read;
    }

    // Types both credentials into the Batch login dialog and accepts with Return.
    void TypeBatchLogin(const char* shot) {
        WhenModal<BatchLoginDialog>([this, shot](BatchLoginDialog* dialog) {
            EXPECT_TRUE(dialog->NameEdit()->hasFocus());
            Key(Qt::Key_A, Qt::ControlModifier);
            Typed(QStringLiteral("admin"));
            Key(Qt::Key_Tab);
            EXPECT_TRUE(dialog->PasswordEdit()->hasFocus());
            Key(Qt::Key_A, Qt::ControlModifier);
            Typed(QStringLiteral("admin"));
            Shot(shot, dialog);
            Key(Qt::Key_Return);
            EXPECT_FALSE(dialog->isVisible());
        });
    }
};

TEST_F(KeyboardAutoMode, KeysAloneUpgradeDiscoveredAndTypedCameras) {
    // Two cameras answer the broadcast; the third only by its address.
    sim_ = std::make_unique<SimProcess>("127.0.0.2\n127.0.0.3\n127.0.0.10 fault=disc-silent\n", kTimeScale);
    OpenWizard();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Wizard()));
    Shot("first");
    Key(Qt::Key_Return);
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAgreement);
    Mnemonic(Find<QRadioButton>("agree")->text());
    Key(Qt::Key_Return);
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kMode);
    // The automatic mode is the one offered first.
    EXPECT_TRUE(Find<QRadioButton>("automaticMode")->isChecked());
    Shot("mode");
    Key(Qt::Key_Return);
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAutoList);
    ASSERT_TRUE(WaitFor([&] { return !ListPage().IsBusy(); }));
    ASSERT_EQ(Targets().RowCount(), 2);
    EXPECT_TRUE(ListPage().GridView().hasFocus());

    // Select all, then Access setting opens Batch login for both rows.
    auto* selectAll = Find<QPushButton>("selectAll");
    auto* access = Find<QPushButton>("accessSetting");
    Mnemonic(selectAll->text());
    EXPECT_EQ(ListPage().GridView().SelectedRows(), (std::vector<int>{0, 1}));
    Shot("list");
    TypeBatchLogin("batch-login");
    Mnemonic(access->text());
    Reactivate(&Wizard());
    for (int row = 0; row < 2; ++row) EXPECT_EQ(Targets().Row(row).password, u"admin") << row;
    EXPECT_TRUE(Wizard().NextButton()->isEnabled());

    // The extra strip slides out on its mnemonic.
    auto* toggle = Find<QPushButton>("toggleExtra");
    Mnemonic(toggle->text());
    ASSERT_TRUE(WaitFor([&] { return ListPage().IsExpanded() && !ListPage().IsSliding(); }));

    // Add other cameras: Add opens Entry terminals, where the third camera's
    // address is typed over the one offered; OK there, then OK once judged.
    WhenModal<AddCamerasDialog>([this](AddCamerasDialog* dialog) {
        Shot("add-cameras-empty", dialog);
        WhenModal<EntryTerminalsDialog>([this](EntryTerminalsDialog* entry) {
            EXPECT_TRUE(entry->AddressEdit()->Field(0)->hasFocus());
            Typed(QStringLiteral("127.0.0.10"));
            EXPECT_EQ(entry->AddressEdit()->Address(), (AddressBytes{127, 0, 0, 10}));
            Shot("entry-terminals", entry);
            Mnemonic(QStringLiteral("&OK"));
            EXPECT_FALSE(entry->isVisible());
        });
        Mnemonic(dialog->findChild<QPushButton*>("add")->text());
        Reactivate(dialog);
        ASSERT_EQ(dialog->RowCount(), 1);
        const AddCameraList& list = dialog->Entries();
        auto* ok = dialog->findChild<QPushButton*>("addOk");
        ASSERT_TRUE(WaitFor([&] { return list.PendingCount() == 0 && ok->isEnabled(); }, std::chrono::seconds(20)));
        EXPECT_EQ(list.Row(0).verdict, AddCameraItem::Verdict::Suitable);
        // Tab walks on to OK without touching the list's row; Return runs it.
        ASSERT_TRUE(TabTo(ok)) << QApplication::focusWidget()->objectName().toStdString();
        Shot("add-cameras", dialog);
        Key(Qt::Key_Return);
        EXPECT_FALSE(dialog->isVisible());
    });
    Mnemonic(Find<QPushButton>("addOther")->text());
    Reactivate(&Wizard());
    ASSERT_EQ(Targets().RowCount(), 3);
    EXPECT_EQ(Targets().Row(2).addressText, u"127.0.0.10");
    EXPECT_FALSE(Wizard().NextButton()->isEnabled()) << "the typed camera has no account yet";

    // The new row gets its account the same way, then Testing checks all three.
    Mnemonic(selectAll->text());
    TypeBatchLogin("batch-login-again");
    Mnemonic(access->text());
    Reactivate(&Wizard());
    EXPECT_EQ(Targets().Row(2).password, u"admin");
    // Alt+T is shared with the grid's title "Target camera(s):": a shared
    // mnemonic moves the focus between its owners, Return runs the button.
    auto* testing = Find<QPushButton>("testing");
    for (int presses = 0; presses < 2 && !testing->hasFocus(); ++presses) Mnemonic(testing->text());
    ASSERT_TRUE(testing->hasFocus()) << QApplication::focusWidget()->objectName().toStdString();
    EXPECT_FALSE(ListPage().IsTesting()) << "a shared mnemonic only moves the focus";
    Key(Qt::Key_Return);
    EXPECT_TRUE(ListPage().IsTesting());
    ASSERT_TRUE(WaitFor([&] { return !ListPage().IsTesting(); }));
    for (int row = 0; row < 3; ++row) EXPECT_EQ(Targets().Row(row).checkResult, CheckResult::Passed) << row;
    Shot("tested");

    // Return now would run Testing again (the focused button): Next's own
    // mnemonic goes on. On the progress page Return upgrades.
    ASSERT_TRUE(Wizard().NextButton()->isEnabled());
    Mnemonic(Wizard().NextButton()->text());
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAutoProgress);
    Shot("progress");
    EXPECT_EQ(ProgressRead(), (std::vector<std::string>{"0%", "0%", "0%"}));
    QString log;
    WhenModal<UpgradeLogDialog>([this, &log](UpgradeLogDialog* dialog) {
        log = dialog->LogBox()->toPlainText();
        EXPECT_TRUE(dialog->LogBox()->hasFocus());
        Shot("upgrade-log", dialog);
        // Return closes the log from its text box (the default Close).
        Key(Qt::Key_Return);
        EXPECT_FALSE(dialog->isVisible());
    });
    boxes_.Answer({BoxAnswer::Ok});
    Key(Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return ProgressPage().LogShownCount() == 1; }, std::chrono::seconds(120)));
    ASSERT_TRUE(WaitFor([] { return QApplication::activeModalWidget() == nullptr; }, std::chrono::seconds(5)));
    Reactivate(&Wizard());
    ASSERT_GE(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, u"Proceed to the firmware upgrade?");
    EXPECT_EQ(log.count(QStringLiteral("Completed successfully.")), 3) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("QRV-K7(127.0.0.10) Completed successfully."))) << log.toStdString();
    for (const char* camera : {"127.0.0.2:80", "127.0.0.3:80", "127.0.0.10:80"}) {
        EXPECT_EQ(CameraVersion(camera), "1.30") << camera;
    }
    EXPECT_EQ(ProgressRead(), (std::vector<std::string>{"100%", "100%", "100%"}));
    Shot("finished");

    // Alt+F finishes.
    EXPECT_EQ(Wizard().CancelButton()->text(), QStringLiteral("&Finish"));
    Mnemonic(Wizard().CancelButton()->text());
    EXPECT_TRUE(WaitFor([&] { return WizardClosed(); }));
}

}  // namespace
}  // namespace qrv::test
