// The wizard under the keyboard against simulated cameras: each list is one
// tab stop whose selection Tab leaves alone, Enter runs the focused button
// or else the window's default, the camera list page acts only while it is
// shown, and the end of the rows flashes the dialog even while it is active.

#include <QDir>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolTip>

#include <memory>

#include "batch/TargetGrid.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/SimWizardTest.h"
#include "tests/ui/WizardHarness.h"
#include "ui/AddCameraListView.h"
#include "ui/AddCamerasDialog.h"
#include "ui/AutoCameraListPage.h"
#include "ui/BitmapPushButton.h"
#include "ui/CameraGridView.h"
#include "ui/DesktopActions.h"
#include "ui/EntryTerminalsDialog.h"
#include "ui/Ipv4AddressEdit.h"
#include "ui/LoginDialogs.h"
#include "ui/ProgressListView.h"

namespace qrv::test {
namespace {

class KeyboardTest : public SimWizardTest {
protected:
    void SetUp() override {
        SimWizardTest::SetUp();
        // The caption flash stays the program's own: the tests look at it.
        SetDesktopActions({[](const QString&) {}, [this] { ++beeps_; }, {}});
    }
    void TearDown() override {
        SimWizardTest::TearDown();
        SetDesktopActions({});
    }

    AutoCameraListPage& ListPage() { return *static_cast<AutoCameraListPage*>(Wizard().AutoPages().list); }
    CameraGridView& Grid() { return ListPage().GridView(); }
    TargetGrid& Targets() { return ListPage().Targets(); }
    QPushButton* Button(const char* name) { return Find<QPushButton>(name); }

    void GoToCameraList() {
        ClickNext();
        Click(Find<QRadioButton>("agree"));
        ClickNext();
        Click(Find<QRadioButton>("automaticMode"));
        ClickNext();
        ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAutoList);
    }
    void WaitForDiscoveryEnd() { ASSERT_TRUE(WaitFor([&] { return !ListPage().IsBusy(); })); }
    // A closed dialog gives the activation back to the wizard a moment later.
    void WaitForWizardActive() {
        Wizard().activateWindow();
        ASSERT_TRUE(WaitFor([&] { return Wizard().isActiveWindow(); }, std::chrono::seconds(2)));
    }
    void SelectGridRows(std::initializer_list<int> rows) {
        Grid().clearSelection();
        for (int row : rows) {
            Grid().selectionModel()->select(Grid().model()->index(row, 1),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        Grid().selectionModel()->setCurrentIndex(Grid().model()->index(*rows.begin(), 1),
                                                 QItemSelectionModel::NoUpdate);
    }
    static std::vector<int> SelectedRows(QAbstractItemView* view) {
        std::vector<int> rows;
        for (const QModelIndex& index : view->selectionModel()->selectedRows()) rows.push_back(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    // Tab out of `view` and Shift+Tab back in: the focus leaves the list at
    // once and comes back, and the selection is what it was.
    static void ExpectOneTabStop(QTableView* view, const char* what) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(view->tabKeyNavigation());
        view->setFocus();
        ASSERT_TRUE(view->hasFocus());
        const std::vector<int> before = SelectedRows(view);
        QTest::keyClick(view, Qt::Key_Tab);
        EXPECT_FALSE(view->hasFocus());
        EXPECT_EQ(SelectedRows(view), before);
        QWidget* next = QApplication::focusWidget();
        ASSERT_NE(next, nullptr);
        QTest::keyClick(next, Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_TRUE(view->hasFocus());
        EXPECT_EQ(SelectedRows(view), before);
        EXPECT_EQ(view->horizontalHeader()->defaultAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    }

    int beeps_ = 0;
};

// ---- lists ----------------------------------------------------------------------------------

TEST_F(KeyboardTest, ListsAreOneTabStopAndEnterRunsTheFocusedButton) {
    StartCameras("127.0.0.2\n127.0.0.3\n127.0.0.4 dhcp=on\n127.0.0.5\n");
    OpenWizard();
    GoToCameraList();
    WaitForDiscoveryEnd();
    ASSERT_EQ(Grid().RowCount(), 4);

    // Enter on a focused page button runs that button, not Next.
    Button("selectAll")->setFocus();
    QTest::keyClick(Button("selectAll"), Qt::Key_Return);
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAutoList);
    EXPECT_EQ(Grid().SelectedRows(), (std::vector<int>{0, 1, 2, 3}));

    // Two rows chosen: Tab leaves the grid and keeps both, so Access setting
    // still speaks to both rows at once.
    SelectGridRows({1, 2});
    ExpectOneTabStop(&Grid(), "camera grid");
    EXPECT_EQ(Grid().SelectedRows(), (std::vector<int>{1, 2}));
    bool batch = false;
    WhenModal<QDialog>([&batch](QDialog* dialog) {
        batch = qobject_cast<BatchLoginDialog*>(dialog) != nullptr;
        dialog->reject();
    });
    Click(Button("accessSetting"));
    EXPECT_TRUE(batch);

    // The arrows move inside the grid: one row down, the focus stays.
    WaitForWizardActive();
    Grid().setFocus();
    QTest::keyClick(&Grid(), Qt::Key_Down);
    EXPECT_TRUE(Grid().hasFocus());
    EXPECT_EQ(Grid().SelectedRows(), std::vector<int>{2});

    // A DHCP row's address tip comes up at the grid's short delay.
    EXPECT_EQ(Grid().viewport()->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, Grid().viewport()),
              kAddressTipDelayMs);

    // The add-cameras list is one tab stop too.
    WhenModal<AddCamerasDialog>([this](AddCamerasDialog* dialog) {
        ExpectOneTabStop(&dialog->EntryView(), "add-cameras list");
        Screenshot("add-cameras-after-tab", dialog);
        dialog->reject();
    });
    Click(Button("toggleExtra"));
    ASSERT_TRUE(WaitFor([&] { return ListPage().IsExpanded() && !ListPage().IsSliding(); }));
    Click(Button("addOther"));

    // Every row given an account; Enter on the focused grid is the window's
    // default: Next, to the progress page.
    Grid().selectAll();
    WhenModal<BatchLoginDialog>([this](BatchLoginDialog* dialog) {
        Type(dialog->NameEdit(), QStringLiteral("admin"));
        Type(dialog->PasswordEdit(), QStringLiteral("admin"));
        QTest::keyClick(dialog->PasswordEdit(), Qt::Key_Return);
    });
    Click(Button("accessSetting"));
    ASSERT_TRUE(Wizard().NextButton()->isEnabled());
    WaitForWizardActive();
    Grid().setFocus();
    QTest::keyClick(&Grid(), Qt::Key_Return);
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAutoProgress);

    auto* progress = Wizard().findChild<ProgressListView*>();
    ASSERT_NE(progress, nullptr);
    ASSERT_EQ(progress->model()->rowCount(), 4);
    progress->selectionModel()->setCurrentIndex(progress->model()->index(2, 1),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ExpectOneTabStop(progress, "progress list");
    EXPECT_EQ(SelectedRows(progress), std::vector<int>{2});
    Screenshot("progress-list-after-tab");

    // Enter on a focused Back runs Back.
    Wizard().BackButton()->setFocus();
    QTest::keyClick(Wizard().BackButton(), Qt::Key_Return);
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAutoList);
}

// ---- Enter in the Single login dialog -------------------------------------------------------

TEST_F(KeyboardTest, EnterRunsTheFocusedButtonOrElseNext) {
    StartCameras("127.0.0.2\n127.0.0.3\n");
    OpenWizard();
    GoToCameraList();
    WaitForDiscoveryEnd();
    ASSERT_EQ(Grid().RowCount(), 2);

    struct Case {
        const char* focus;  // the dialog's child that has the focus when Enter comes
        bool closes;        // the dialog has closed
        int rowAfter;       // the dialog's row after Enter, while it is open
        bool saved;         // the typed name reached the first row
    };
    const Case cases[] = {
        {"adminName", false, 1, true},  // no button focused: NEXT
        {"next", false, 1, true},
        {"ok", true, 0, true},
        {"close", true, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.focus);
        Targets().SetCredentials(0, u"", u"");
        SelectGridRows({0});
        bool open = true;
        int row = -1;
        WhenModal<SingleLoginDialog>([&](SingleLoginDialog* dialog) {
            Type(dialog->NameEdit(), QStringLiteral("kbd"));
            auto* focus = dialog->findChild<QWidget*>(QString::fromLatin1(c.focus));
            ASSERT_NE(focus, nullptr);
            focus->setFocus();
            QTest::keyClick(focus, Qt::Key_Return);
            open = dialog->isVisible();
            row = dialog->CurrentRow();
            if (open) dialog->reject();
        });
        Click(Button("accessSetting"));
        EXPECT_EQ(open, !c.closes);
        if (!c.closes) {
            EXPECT_EQ(row, c.rowAfter);
        }
        EXPECT_EQ(Targets().Row(0).name == u"kbd", c.saved);
    }
}

// ---- the end of the rows --------------------------------------------------------------------

// Return on the last row of Single login and of Entry terminals: NEXT has
// nowhere to go, so the dialog beeps and flashes while it is the active window.
TEST_F(KeyboardTest, EndOfRowsBeepsAndFlashesTheActiveDialog) {
    StartCameras("127.0.0.2\n127.0.0.3\n");
    OpenWizard();
    GoToCameraList();
    WaitForDiscoveryEnd();
    const auto expectFlash = [this](QDialog* dialog, const char* shot) {
        SCOPED_TRACE(shot);
        ASSERT_TRUE(dialog->isActiveWindow());
        EXPECT_EQ(dialog->findChild<FlashFrame*>(), nullptr);
        const int beepsBefore = beeps_;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(beeps_, beepsBefore + 1);
        auto* frame = dialog->findChild<FlashFrame*>();
        ASSERT_NE(frame, nullptr);
        EXPECT_TRUE(frame->isVisible());
        EXPECT_EQ(frame->geometry(), dialog->rect());
        Screenshot(shot, dialog);
        // It blinks off and on, then is gone, and the dialog takes input again.
        EXPECT_TRUE(WaitFor([frame] { return frame->isHidden(); }, std::chrono::seconds(2)));
        EXPECT_TRUE(WaitFor([frame] { return frame->isVisible(); }, std::chrono::seconds(2)));
        EXPECT_TRUE(WaitFor([frame] { return frame->isHidden(); }, std::chrono::seconds(2)));
        EXPECT_TRUE(frame->testAttribute(Qt::WA_TransparentForMouseEvents));
    };

    SelectGridRows({1});
    WhenModal<SingleLoginDialog>([&](SingleLoginDialog* dialog) {
        EXPECT_TRUE(dialog->NameEdit()->hasFocus());
        expectFlash(dialog, "single-login-flash");
        EXPECT_EQ(dialog->CurrentRow(), 1);
        dialog->reject();
    });
    Click(Button("accessSetting"));

    // Add other cameras with room for one more camera: its one row typed in.
    WaitForWizardActive();
    AddCamerasDialog add(Wizard().Models(), kMaxListedCameras - 1, Wizard().Times(), &Wizard());
    add.AppendRow();
    WhenModal<EntryTerminalsDialog>([&](EntryTerminalsDialog* entry) {
        ASSERT_TRUE(entry->AddressEdit()->Field(0)->hasFocus());
        // Each key to the field that has the focus, as typed.
        for (const char c : std::string("127.0.0.9")) QTest::keyClick(QApplication::focusWidget(), c);
        expectFlash(entry, "entry-terminals-flash");
        // The row is kept and no other row is made.
        EXPECT_EQ(add.RowCount(), 1);
        EXPECT_EQ(add.GetSelectedAddress().ip, (AddressBytes{127, 0, 0, 9}));
        EXPECT_EQ(entry->CounterText(), QStringLiteral("1/1"));
        entry->reject();
    });
    EntryTerminalsDialog(add, add.Capacity(), 0, &add).exec();
}

// ---- the camera list page's timer -----------------------------------------------------------

TEST_F(KeyboardTest, CameraListPageActsOnlyWhileShown) {
    // Two cameras on one address: the list page locks the automatic mode.
    StartCameras("127.0.0.2\n127.0.0.2:8080\n127.0.0.3\n");
    // Discovery runs for two seconds here: long enough to go Back meanwhile.
    OpenWizard(0.1);
    GoToCameraList();
    ASSERT_TRUE(ListPage().IsBusy());
    ClickBack();
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kMode);
    ASSERT_TRUE(WaitFor([&] { return !Wizard().IsDiscoveryRunning(); }));
    // A few of the page's ticks later the mode page is as it was.
    QTest::qWait(300);
    EXPECT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kMode);
    EXPECT_TRUE(Wizard().NextButton()->isEnabled());
    EXPECT_TRUE(Wizard().BackButton()->isEnabled());
    EXPECT_EQ(boxes_.Count(), 0u);
    Screenshot("mode-page-after-discovery");

    // Shown again, the page finds the shared address and locks.
    ClickNext();
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kAutoList);
    EXPECT_FALSE(ListPage().IsBusy());
    EXPECT_NE(ListPage().cursor().shape(), Qt::WaitCursor);
    EXPECT_TRUE(ListPage().IsLocked());
    EXPECT_EQ(boxes_.Count(), 1u);
    EXPECT_FALSE(Wizard().NextButton()->isEnabled());
    EXPECT_FALSE(Wizard().BackButton()->isEnabled());
}

}  // namespace
}  // namespace qrv::test
