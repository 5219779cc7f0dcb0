// Cameras beyond the broadcast: the Add other cameras dialog with its Entry
// terminals dialog, the text import from a file and the clipboard, the
// conflict marks and the transfer into the camera list page's grid, against
// simulated cameras some of which answer only by address.

#include <QDir>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <fstream>
#include <memory>

#include "batch/AddCameraList.h"
#include "batch/TargetGrid.h"
#include "engine/JobStage.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/WizardHarness.h"
#include "ui/AddCameraListView.h"
#include "ui/AddCamerasDialog.h"
#include "ui/AutoCameraListPage.h"
#include "ui/AutoProgressPage.h"
#include "ui/BitmapPushButton.h"
#include "ui/CameraGridView.h"
#include "ui/DesktopActions.h"
#include "ui/EntryTerminalsDialog.h"
#include "ui/Ipv4AddressEdit.h"
#include "ui/LoginDialogs.h"
#include "ui/ProgressListView.h"
#include "ui/QtOwnerPort.h"
#include "ui/UpgradeLogDialog.h"

namespace qrv::test {
namespace {

using Conflict = AddCameraItem::Conflict;
using Verdict = AddCameraItem::Verdict;

const MessageBox kBadAddress = Box(u"Input the correct IP address of the target camera.", u"Information",
                                   BoxIcon::Exclamation);
const MessageBox kBadPort = Box(u"Input the correct port No. of the target camera.", u"Information",
                                BoxIcon::Exclamation);
const MessageBox kRemove = Box(u"Would you like to remove this camera?", u"Information", BoxIcon::Question,
                               BoxButtons::OkCancel);
const MessageBox kNotAllValid = Box(u"Not all the listed cameras are valid!", u"Information", BoxIcon::Question,
                                    BoxButtons::OkCancel);
const MessageBox kReleased = Box(u"All of the data will be released.", u"Information", BoxIcon::Question,
                                 BoxButtons::OkCancel);

class AddCamerasTest : public WizardTest {
protected:
    void TearDown() override {
        SetListFileChooser({});
        dialog_.reset();
        port_.reset();
        WizardTest::TearDown();
        sim_.reset();
    }
    void StartCameras(const std::string& fleet) { sim_ = std::make_unique<SimProcess>(fleet, kTimeScale); }

    // A dialog on its own, as if `targeted` cameras were in the grid already.
    AddCamerasDialog& OpenDialog(int targeted) {
        port_ = std::make_unique<QtOwnerPort>(nullptr, [](int) {});
        dialog_ = std::make_unique<AddCamerasDialog>(models_, targeted,
                                                     Timing::Production().Scaled(kTimeScale));
        dialog_->show();
        return *dialog_;
    }
    std::vector<std::u16string> Addresses(const AddCamerasDialog& dialog) const {
        std::vector<std::u16string> addresses;
        const AddCameraList& list = dialog.Entries();
        for (int row = 0; row < list.RowCount(); ++row) addresses.push_back(list.Row(row).address.Text());
        return addresses;
    }
    std::string WriteFile(const std::string& name, const std::string& text) {
        const std::string path = (folder_.path() + QLatin1Char('/') + QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    void SetAddress(EntryTerminalsDialog* entry, const QStringList& fields) {
        for (int i = 0; i < 4; ++i) Type(entry->AddressEdit()->Field(i), i < fields.size() ? fields[i] : QString());
    }

    const ModelList models_ = {"QRV-K7", "QRV-K7N", "QRV-K7P"};
    QTemporaryDir folder_;
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<QtOwnerPort> port_;
    std::unique_ptr<AddCamerasDialog> dialog_;
};

// ---- typed in through Entry terminals, judged, transferred, upgraded -----------------------

TEST_F(AddCamerasTest, TypedCamerasAreAskedMarkedAndJoinTheBatch) {
    // Two cameras answer the broadcast; two more answer only by address.
    StartCameras("127.0.0.2\n127.0.0.3\n127.0.0.10 fault=disc-silent\n127.0.0.11:8080 fault=disc-silent\n");
    ASSERT_TRUE(folder_.isValid());
    qputenv("ProgramFiles", QDir::toNativeSeparators(folder_.path()).toLocal8Bit());
    OpenWizard();
    ClickNext();
    Click(Find<QRadioButton>("agree"));
    ClickNext();
    Click(Find<QRadioButton>("automaticMode"));
    ClickNext();
    auto& page = *static_cast<AutoCameraListPage*>(Wizard().AutoPages().list);
    ASSERT_TRUE(WaitFor([&] { return !page.IsBusy(); }));
    ASSERT_EQ(page.Targets().RowCount(), 2);

    QObject::connect(&page, &AutoCameraListPage::AddCamerasOpening, [this](QDialog* opened) {
        auto* dialog = static_cast<AddCamerasDialog*>(opened);
        EXPECT_EQ(dialog->Capacity(), 254);
        EXPECT_EQ(dialog->CounterText(), QStringLiteral("254/254"));
        QObject::connect(dialog, &AddCamerasDialog::EntryDialogOpening, [this, dialog](QDialog* shown) {
            // Runs inside the entry dialog's own event loop.
            QTimer::singleShot(0, shown, [this, dialog, shown] {
                auto* entry = static_cast<EntryTerminalsDialog*>(shown);
                EXPECT_EQ(entry->CounterText(), QStringLiteral("1/254"));
                // The first row offers the starting address, port 80.
                EXPECT_EQ(entry->AddressEdit()->Address(), (AddressBytes{192, 168, 0, 100}));
                EXPECT_TRUE(entry->Port80()->isChecked());
                EXPECT_FALSE(entry->CustomPortEdit()->isEnabled());
                EXPECT_FALSE(entry->PrevButton()->isEnabled());
                EXPECT_FALSE(entry->DelButton()->isEnabled());
                // Refusals change nothing.
                SetAddress(entry, {});
                for (BitmapPushButton* button : {entry->NextButton(), entry->AddButton(), entry->PrevButton()}) {
                    boxes_.Clear();
                    button->setEnabled(true);
                    button->click();
                    EXPECT_EQ(boxes_.Boxes(), std::vector<MessageBox>{kBadAddress});
                    EXPECT_EQ(entry->Position(), 0);
                }
                Click(entry->PortCustom());
                Type(entry->CustomPortEdit(), QStringLiteral("1023"));
                boxes_.Clear();
                entry->OnNextButton();
                EXPECT_EQ(boxes_.Boxes(), std::vector<MessageBox>{kBadPort});
                Click(entry->Port80());  // the box no longer counts
                SetAddress(entry, {"127", "0", "0", "10"});
                QTest::keyClick(entry, Qt::Key_Return);  // Enter runs NEXT
                EXPECT_EQ(entry->Position(), 1);
                EXPECT_EQ(entry->CounterText(), QStringLiteral("2/254"));
                EXPECT_TRUE(entry->PrevButton()->isEnabled());
                // The new row starts with the address given last.
                EXPECT_EQ(entry->AddressEdit()->Address(), (AddressBytes{127, 0, 0, 10}));
                SetAddress(entry, {"127", "0", "0", "11"});
                Click(entry->PortCustom());
                Type(entry->CustomPortEdit(), QStringLiteral("8080"));
                entry->OnAddButton();
                Click(entry->Port80());
                SetAddress(entry, {"127", "0", "0", "2"});  // already in the grid
                entry->OnAddButton();
                SetAddress(entry, {"127", "0", "0", "20"});  // nobody there
                entry->OnAddButton();
                SetAddress(entry, {"127", "0", "0", "10"});  // twice in the list
                entry->OnPrevButton();                      // PREV saves the row too
                const AddCameraList& list = dialog->Entries();
                EXPECT_EQ(list.Row(0).conflict, Conflict::InList);
                EXPECT_EQ(list.Row(4).conflict, Conflict::InList);
                EXPECT_EQ(list.Row(2).conflict, Conflict::InGrid);
                Screenshot("entry-terminals", entry);
                entry->OnNextButton();
                EXPECT_EQ(entry->Position(), 4);
                // DEL asks, then removes the duplicate.
                boxes_.Clear();
                boxes_.Answer({BoxAnswer::Ok});
                entry->OnDelButton();
                EXPECT_EQ(boxes_.Boxes(), std::vector<MessageBox>{kRemove});
                EXPECT_EQ(entry->Position(), 3);
                EXPECT_EQ(list.Row(0).conflict, Conflict::None);
                entry->reject();
            });
        });
        QTimer::singleShot(0, dialog, [this, dialog] {
            dialog->OnAdd();
            EXPECT_EQ(Addresses(*dialog),
                      (std::vector<std::u16string>{u"127.0.0.10", u"127.0.0.11:8080", u"127.0.0.2", u"127.0.0.20"}));
            const AddCameraList& list = dialog->Entries();
            EXPECT_EQ(list.Row(2).conflict, Conflict::InGrid);
            EXPECT_TRUE(WaitFor([&] { return list.PendingCount() == 0; }, std::chrono::seconds(20)));
            EXPECT_TRUE(WaitFor([&] { return dialog->findChild<QPushButton*>("addOk")->isEnabled(); }));
            EXPECT_EQ(list.Row(0).verdict, Verdict::Suitable);
            EXPECT_EQ(list.Row(0).model, u"QRV-K7");
            EXPECT_EQ(list.Row(1).verdict, Verdict::Suitable);
            EXPECT_EQ(AddCameraColumnText(list.Row(3), AddCameraColumn::Model), u"No response");
            EXPECT_EQ(list.Row(3).verdict, Verdict::Unsuitable);
            Screenshot("add-cameras", dialog);
            // OK with invalid rows asks first; Cancel keeps the dialog.
            boxes_.Clear();
            boxes_.Answer({BoxAnswer::Cancel, BoxAnswer::Ok});
            dialog->accept();
            EXPECT_TRUE(dialog->isVisible());
            dialog->accept();
            EXPECT_EQ(boxes_.Boxes(), (std::vector<MessageBox>{kNotAllValid, kNotAllValid}));
        });
    });
    Click(Find<QPushButton>("addOther"));
    // Only the two good cameras joined the grid, without a MAC.
    ASSERT_EQ(page.Targets().RowCount(), 4);
    EXPECT_EQ(page.Targets().Row(2).addressText, u"127.0.0.10");
    EXPECT_EQ(page.Targets().Row(3).addressText, u"127.0.0.11:8080");
    EXPECT_TRUE(page.Targets().Row(3).mac.empty());
    EXPECT_EQ(Find<QLabel>("detectedCounter")->text(), QStringLiteral("4/256"));
    EXPECT_FALSE(Wizard().NextButton()->isEnabled()) << "the new rows have no account yet";

    // The whole batch, added cameras among the discovered ones.
    Click(Find<QPushButton>("selectAll"));
    QTimer::singleShot(0, [this] {
        auto* login = qobject_cast<BatchLoginDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(login, nullptr);
        Type(login->NameEdit(), QStringLiteral("admin"));
        Type(login->PasswordEdit(), QStringLiteral("admin"));
        login->accept();
    });
    Click(Find<QPushButton>("accessSetting"));
    ClickNext();
    auto& progress = *static_cast<AutoProgressPage*>(Wizard().AutoPages().progress);
    QString log;
    QObject::connect(&progress, &AutoProgressPage::UpgradeLogOpening, [&log](QWidget* dialog) {
        log = static_cast<UpgradeLogDialog*>(dialog)->LogBox()->toPlainText();
        QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog*>(dialog)->reject(); });
    });
    Click(progress.RetainBox());
    boxes_.Answer({BoxAnswer::Ok});
    ClickNext();
    ASSERT_TRUE(WaitFor([&] { return progress.LogShownCount() == 1; }, std::chrono::seconds(90)));
    EXPECT_EQ(log.count(QStringLiteral("Completed successfully.")), 4) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("QRV-K7(127.0.0.11:8080) Completed successfully."))) << log.toStdString();
    qunsetenv("ProgramFiles");
}

// ---- imported lists -------------------------------------------------------------------------

TEST_F(AddCamerasTest, ImportsFillTheRoomLeftAndARefusedFileChangesNothing) {
    AddCamerasDialog& dialog = OpenDialog(250);
    EXPECT_EQ(dialog.CounterText(), QStringLiteral("6/6"));
    // Cancel on an empty list closes without a question.
    // (Checked last; the dialog is needed first.)

    std::string ten;
    for (int i = 1; i <= 10; ++i) ten += "127.0.0." + std::to_string(100 + i) + "\r\n";
    const std::string good = WriteFile("ten.txt", ten);
    const std::string bad = WriteFile("bad.txt", "127.0.0.50\r\n\r\n127.0.0.300\r\n");
    std::string chosen = good;
    SetListFileChooser([&chosen](QWidget*) { return QString::fromStdString(chosen); });

    // Two rows pasted first; the file then fills the four places left.
    QApplication::clipboard()->setText(QStringLiteral("127.0.0.90,8080\n127.0.0.91\n"));
    dialog.OnPaste();
    EXPECT_EQ(Addresses(dialog), (std::vector<std::u16string>{u"127.0.0.90:8080", u"127.0.0.91"}));
    dialog.OnLoad();
    EXPECT_EQ(Addresses(dialog), (std::vector<std::u16string>{u"127.0.0.90:8080", u"127.0.0.91", u"127.0.0.101",
                                                              u"127.0.0.102", u"127.0.0.103", u"127.0.0.104"}));
    EXPECT_EQ(dialog.CounterText(), QStringLiteral("0/6"));
    for (const char* full : {"add", "load", "paste"}) {
        EXPECT_FALSE(dialog.findChild<QPushButton*>(full)->isEnabled()) << full;
    }
    Screenshot("imported", &dialog);

    // A double click opens a row's web page; a header press sorts, the
    // selection staying on its row.
    QStringList urls;
    SetDesktopActions({[&urls](const QString& url) { urls << url; }, {}, {}});
    AddCameraListView& view = dialog.EntryView();
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, Qt::NoModifier,
                       view.visualRect(view.model()->index(0, 1)).center());
    SetDesktopActions({});
    EXPECT_EQ(urls, QStringList{QStringLiteral("http://127.0.0.90:8080/")});
    dialog.SelectRow(1);  // 127.0.0.91
    QHeaderView* header = view.horizontalHeader();
    QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(0) + 12, header->height() / 2));
    EXPECT_EQ(Addresses(dialog).front(), u"127.0.0.104") << "column 0: the highest number first";
    EXPECT_EQ(dialog.Entries().Row(dialog.SelectedRow()).address.Text(), u"127.0.0.91");
    EXPECT_EQ(view.currentIndex().row(), dialog.SelectedRow()) << "the view shows the list's selected row";
    QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(0) + 12, header->height() / 2));
    EXPECT_EQ(Addresses(dialog).front(), u"127.0.0.90:8080");

    // Edit on the fourth row opens Entry terminals at 4/6.
    dialog.SelectRow(3);
    QObject::connect(&dialog, &AddCamerasDialog::EntryDialogOpening, [](QDialog* shown) {
        QTimer::singleShot(0, shown, [shown] {
            auto* entry = static_cast<EntryTerminalsDialog*>(shown);
            EXPECT_EQ(entry->CounterText(), QStringLiteral("4/6"));
            EXPECT_TRUE(entry->DelButton()->isEnabled());
            EXPECT_FALSE(entry->AddButton()->isEnabled()) << "the list is full";
            shown->reject();
        });
    });
    dialog.OnEdit();

    // A refused file shows its message and leaves the rows as they were.
    boxes_.Clear();
    dialog.OnDelete();  // Cancel by default? the recorder answers OK: one row goes
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Last().text, u"Would you like to delete the Queued...(127.0.0.102)?");
    EXPECT_EQ(dialog.RowCount(), 5);
    chosen = bad;
    boxes_.Clear();
    dialog.OnLoad();
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Last().caption, u"Information");
    EXPECT_EQ(dialog.RowCount(), 5);
    // A file the user cancelled changes nothing either.
    chosen.clear();
    dialog.OnLoad();
    EXPECT_EQ(dialog.RowCount(), 5);

    // Cancel with rows asks before it lets them go.
    boxes_.Clear();
    boxes_.Answer({BoxAnswer::Cancel});
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(boxes_.Boxes(), std::vector<MessageBox>{kReleased});

    AddCamerasDialog& empty = OpenDialog(0);
    boxes_.Clear();
    empty.reject();
    EXPECT_EQ(boxes_.Count(), 0u);
    EXPECT_FALSE(empty.isVisible());
}

}  // namespace
}  // namespace qrv::test
