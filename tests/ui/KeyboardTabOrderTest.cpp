// The wizard under the keyboard and a screen reader: Tab walks every page
// and dialog in the order it is drawn, every control that takes the focus
// has a name to be read out, the dialogs own the boxes they raise, and the
// list file dialog shows files without an extension.

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QStackedWidget>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/SimProcess.h"
#include "tests/ui/KeyboardWizardTest.h"
#include "ui/AddCameraListView.h"
#include "ui/AddCamerasDialog.h"
#include "ui/AutoCameraListPage.h"
#include "ui/BitmapPushButton.h"
#include "ui/EntryTerminalsDialog.h"
#include "ui/Ipv4AddressEdit.h"
#include "ui/LoginDialogs.h"
#include "ui/CameraGridModel.h"
#include "ui/CameraGridView.h"
#include "batch/TargetGrid.h"

namespace qrv::test {
namespace {

// A control as a test names it: its object name, else a button's caption,
// else (a field of a compound control) its parent's object name.
QString Id(const QWidget* widget) {
    if (!widget) return QStringLiteral("<none>");
    if (qobject_cast<const Ipv4AddressEdit*>(widget->parentWidget())) {
        return widget->parentWidget()->objectName() + QLatin1Char('.') + widget->objectName();
    }
    if (!widget->objectName().isEmpty()) return widget->objectName();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    return widget->parentWidget() ? widget->parentWidget()->objectName() : QString();
}

// The controls Tab visits from `start` until it comes back to it.
std::string TabChain(QWidget* window, QWidget* start) {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    window->raise();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    start->setFocus(Qt::TabFocusReason);
    QStringList chain;
    QWidget* focused = QApplication::focusWidget();
    for (int i = 0; i < 40; ++i) {
        chain << Id(focused);
        QTest::keyClick(focused, Qt::Key_Tab);
        focused = QApplication::focusWidget();
        if (Id(focused) == chain.front()) break;
    }
    return chain.join(QStringLiteral(", ")).toStdString();
}

// Every control of `window` that can take the focus, unnamed for a screen reader.
std::string Unnamed(QWidget* window) {
    QStringList unnamed;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(window)) continue;
        // A view's scroll bars and viewport are its own parts, read with it.
        if (widget->objectName().startsWith(QLatin1String("qt_"))) continue;
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(widget);
        if (!reader || reader->text(QAccessible::Name).trimmed().isEmpty()) {
            unnamed << QStringLiteral("%1 (%2)").arg(Id(widget), QString::fromLatin1(widget->metaObject()->className()));
        }
    }
    return unnamed.join(QStringLiteral(", ")).toStdString();
}


// The letter a lone '&' marks in `text`, lower case; none when unmarked.
QChar Mnemonic(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] != QLatin1Char('&')) return text[i + 1].toLower();
        ++i;
    }
    return {};
}

// What is wrong with the mnemonics among `widgets` (one window's controls):
// a marked label without a control to go to, or one Alt+letter for two.
std::string MnemonicFaults(const QList<QWidget*>& widgets) {
    QStringList faults;
    QMap<QChar, QString> owners;
    for (QWidget* widget : widgets) {
        QString text;
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            text = label->text();
            if (!Mnemonic(text).isNull() && !label->buddy()) faults << text + QStringLiteral(" has no buddy");
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            text = button->text();
        } else if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
            text = group->title();
        }
        const QChar letter = Mnemonic(text);
        if (letter.isNull()) continue;
        // The camera list page's Testing button and its grid's title share
        // Alt+T on purpose today (the keyboard flow relies on it): that pair only.
        const bool known = (owners.value(letter) == QStringLiteral("&Target camera(s):") &&
                            text == QStringLiteral("&Testing...")) ||
                           (owners.value(letter) == QStringLiteral("&Testing...") &&
                            text == QStringLiteral("&Target camera(s):"));
        if (owners.contains(letter) && !known) {
            faults << QStringLiteral("%1 and %2 share Alt+%3").arg(owners[letter], text, letter);
        }
        owners[letter] = text;
    }
    return faults.join(QStringLiteral("; ")).toStdString();
}

class KeyboardTabOrderTest : public KeyboardWizardTest {
protected:
    void TearDown() override {
        SetListFileChooser({});
        dialog_.reset();
        login_.reset();
        KeyboardWizardTest::TearDown();
    }
    AddCamerasDialog& OpenDialog() {
        dialog_ = std::make_unique<AddCamerasDialog>(models_, 0, Timing::Production().Scaled(kTimeScale));
        dialog_->show();
        return *dialog_;
    }

    AutoCameraListPage& ListPage() { return *static_cast<AutoCameraListPage*>(Wizard().AutoPages().list); }
    // The wizard once it has reached `step` (null, with a failure, if it does not).
    QWidget* WizardAt(int step) {
        EXPECT_TRUE(WaitFor([&] { return Wizard().WizardStep() == step; }, std::chrono::seconds(60)))
            << "still on step " << Wizard().WizardStep();
        return Wizard().WizardStep() == step ? &Wizard() : nullptr;
    }

    const ModelList models_ = {"QRV-K7", "QRV-K7N", "QRV-K7P"};
    std::unique_ptr<AddCamerasDialog> dialog_;
    std::unique_ptr<QDialog> login_;
};

// The wizard's pages up to the manual target page, walked with Tab: the
// page's controls first, then Back, Next and Cancel below them.
TEST_F(KeyboardTabOrderTest, KeyboardWalksThePagesAsDrawnAndEveryControlIsNamed) {
    OpenWizard();
    struct Step {
        const char* page;
        const char* start;
        std::string chain;
    };
    const std::vector<Step> steps = {
        {"first", "precautions", "precautions, next, cancel"},
        {"agreement", "agreementText", "agreementText, notAgree, back, cancel"},
        {"mode", "automaticMode", "automaticMode, back, next, cancel"},
        {"manual target", "field0",
         "address.field0, port80, adminName, adminPassword, retain, backup, back, next, cancel"},
    };
    // The same pages with their other option chosen: a radio group is one
    // stop, and Tab lands on the chosen option.
    const std::vector<Step> chosen = {
        {"agreement", "agree", "agreementText, agree, back, next, cancel"},
        {"mode", "manualMode", "back, next, cancel, manualMode"},
        {"manual target", "customPortChoice",
         "address.field0, customPortChoice, customPort, adminName, adminPassword, retain, backup, back, next, cancel"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.page);
        EXPECT_EQ(TabChain(&Wizard(), Find<QWidget>(step.start)), step.chain);
        EXPECT_EQ(Unnamed(&Wizard()), "");
        for (const Step& other : chosen) {
            if (std::string(other.page) != step.page) continue;
            Click(Find<QAbstractButton>(other.start));
            // The walk starts on the chain's first control (a field by its own name).
            std::string first = other.chain.substr(0, other.chain.find(','));
            first = first.substr(first.find('.') + 1);
            EXPECT_EQ(TabChain(&Wizard(), Find<QWidget>(first.c_str())), other.chain);
        }
        if (std::string(step.page) != "manual target") ClickNext();
    }
}

// The pages after the mode page and the login dialogs, each reached in turn
// against simulated cameras: the camera list (its extra buttons in and out),
// Single and Batch login over the discovered rows, the automatic progress
// page, then the manual mode's confirmation and last page after an upgrade.
TEST_F(KeyboardTabOrderTest, KeyboardWalksTheCameraPagesAndLoginDialogsAsDrawn) {
    sim_ = std::make_unique<SimProcess>("127.0.0.2 serial=1000001 admin=admin:admin\n127.0.0.3\n", kTimeScale);
    OpenWizard();
    struct Walk {
        const char* what;
        std::function<QWidget*()> reach;  // brings the window walked to its state
        const char* start;
        std::string chain;
    };
    const std::vector<Walk> walks = {
        // No row has an account yet: Next is off and Tab passes it by.
        {"camera list",
         [&]() -> QWidget* {
             ClickNext();
             Click(Find<QRadioButton>("agree"));
             ClickNext();
             ClickNext();
             QWidget* wizard = WizardAt(UpgradeWizardDialog::kAutoList);
             EXPECT_TRUE(WaitFor([&] { return !ListPage().IsBusy(); }));
             EXPECT_EQ(ListPage().Targets().RowCount(), 2);
             return wizard;
         },
         "grid", "grid, selectAll, accessSetting, toggleExtra, back, cancel"},
        {"camera list, extra buttons out",
         [&]() -> QWidget* {
             Click(Find<QPushButton>("toggleExtra"));
             EXPECT_TRUE(WaitFor([&] { return ListPage().IsExpanded() && !ListPage().IsSliding(); }));
             return &Wizard();
         },
         "grid", "grid, selectAll, accessSetting, addOther, testing, toggleExtra, back, cancel"},
        // On the last row both PREV and NEXT are on.
        {"single login",
         [&]() -> QWidget* {
             ListPage().GridView().SelectFirstRow();
             ListPage().GridView().StepSelectionDown();
             login_ = std::make_unique<SingleLoginDialog>(ListPage().GridView(), ListPage().Targets(), &Wizard());
             login_->show();
             return login_.get();
         },
         "prev", "prev, next, adminName, adminPassword, ok, close"},
        {"batch login",
         [&]() -> QWidget* {
             login_.reset();
             ListPage().GridView().SelectAllRows();
             login_ = std::make_unique<BatchLoginDialog>(ListPage().GridView(), ListPage().Targets(), &Wizard());
             login_->show();
             return login_.get();
         },
         "adminName", "adminName, adminPassword, ok, cancel"},
        {"automatic progress",
         [&]() -> QWidget* {
             // Both rows get their account through the page's own opener.
             login_.reset();
             WhenModal<BatchLoginDialog>([this](BatchLoginDialog* batch) {
                 Type(batch->NameEdit(), QStringLiteral("admin"));
                 Type(batch->PasswordEdit(), QStringLiteral("admin"));
                 QTest::keyClick(batch->PasswordEdit(), Qt::Key_Return);
                 EXPECT_FALSE(batch->isVisible());
             });
             Click(Find<QPushButton>("accessSetting"));
             ClickNext();
             return WizardAt(UpgradeWizardDialog::kAutoProgress);
         },
         "progressList", "progressList, autoRetain, autoBackup, back, next, cancel"},
        // The confirmation has nothing to type: Back, Upgrade and Cancel.
        {"manual progress",
         [&]() -> QWidget* {
             ClickBack();
             ClickBack();
             Click(Find<QRadioButton>("manualMode"));
             ClickNext();
             if (!WizardAt(UpgradeWizardDialog::kManualTarget)) return nullptr;
             FillTarget({"127", "0", "0", "2"}, QStringLiteral("admin"), QStringLiteral("admin"));
             ClickNext();
             return WizardAt(UpgradeWizardDialog::kManualConfirm);
         },
         "back", "back, next, cancel"},
        // After the upgrade: Re-try and Finish.
        {"last page",
         [&]() -> QWidget* {
             ClickNext();
             return WizardAt(UpgradeWizardDialog::kManualResult);
         },
         "back", "back, cancel"},
    };
    for (const Walk& walk : walks) {
        SCOPED_TRACE(walk.what);
        QWidget* window = walk.reach();
        ASSERT_NE(window, nullptr);
        auto* start = window->findChild<QWidget*>(QString::fromLatin1(walk.start));
        ASSERT_NE(start, nullptr) << walk.start;
        EXPECT_EQ(TabChain(window, start), walk.chain);
        EXPECT_EQ(Unnamed(window), "");
        std::string shot = std::string("walk-") + walk.what;
        const auto unsafe = [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); };
        std::replace_if(shot.begin(), shot.end(), unsafe, '-');
        Shot(shot.c_str(), window == &Wizard() ? nullptr : window);
    }
}

// Add other cameras: the list, the buttons beside it top to bottom, then OK
// and Cancel; Entry terminals: the PREV..DEL row above the address and port.
TEST_F(KeyboardTabOrderTest, KeyboardWalksTheAddDialogsAsDrawnAndTheyOwnTheirBoxes) {
    AddCamerasDialog& dialog = OpenDialog();
    dialog.AddEntries({CameraAddress{{127, 0, 0, 9}, 80}});
    dialog.EnableOk(true);
    EXPECT_EQ(TabChain(&dialog, &dialog.EntryView()),
              "entryList, edit, add, delete, load, paste, addOk, addCancel");
    EXPECT_EQ(Unnamed(&dialog), "");

    {
        dialog.AppendRow();
        EntryTerminalsDialog entry(dialog, dialog.Capacity(), dialog.RowCount() - 1, &dialog);
        entry.show();
        EXPECT_EQ(TabChain(&entry, entry.PrevButton()),
                  "PREV, NEXT, ADD, entryAddress.field0, entryPort80, entryOk, entryClose");
        // A radio group is one stop: Tab lands on its chosen option.
        entry.PortCustom()->click();
        ASSERT_TRUE(entry.PortCustom()->isChecked());
        EXPECT_EQ(TabChain(&entry, entry.PrevButton()),
                  "PREV, NEXT, ADD, entryAddress.field0, entryPortCustom, entryCustomPort, entryOk, entryClose");
        EXPECT_EQ(Unnamed(&entry), "");

        // Its own refusal and question are its boxes, not the opener's.
        boxes_.Answer({BoxAnswer::Ok, BoxAnswer::Cancel});
        entry.CustomPortEdit()->setText(QStringLiteral("80"));
        entry.OnNextButton();
        entry.OnDelButton();
        EXPECT_EQ(boxes_.Owners(), (std::vector<QString>{"EntryTerminalsDialog", "EntryTerminalsDialog"}));
    }

    // The dialog's own question, and the importer's refusal of a missing file.
    boxes_.Clear();
    boxes_.Answer({BoxAnswer::Cancel});
    dialog.SelectRow(0);
    dialog.OnDelete();
    SetListFileChooser([](QWidget*) { return QStringLiteral("/nonexistent/sites.txt"); });
    dialog.OnLoad();
    ASSERT_EQ(boxes_.Count(), 2u);
    EXPECT_EQ(boxes_.Owners(), (std::vector<QString>{"AddCamerasDialog", "AddCamerasDialog"}));
}

// Every page and dialog: a marked label leads to a control, and each
// Alt+letter reaches one control of its window (a page shares its window
// with the wizard's Back, Next and Cancel).
TEST_F(KeyboardTabOrderTest, EveryMnemonicLeadsToOneControl) {
    OpenWizard();
    const QList<QAbstractButton*> wizardButtons = {Wizard().BackButton(), Wizard().NextButton(),
                                                   Wizard().CancelButton()};
    auto* pages = Find<QStackedWidget>("pageArea");
    ASSERT_NE(pages, nullptr);
    ASSERT_GE(pages->count(), 6);
    for (int i = 0; i < pages->count(); ++i) {
        QWidget* page = pages->widget(i);
        SCOPED_TRACE(page->metaObject()->className());
        QList<QWidget*> widgets = page->findChildren<QWidget*>();
        for (QAbstractButton* button : wizardButtons) widgets << button;
        EXPECT_EQ(MnemonicFaults(widgets), "");
    }

    TargetGrid grid;
    grid.AddRow(0, u"02:71:72:00:00:01", u"127.0.0.1", u"QRV-K7", u"1", u"1.20", {127, 0, 0, 1}, 80, -1);
    CameraGridModel model(grid);
    CameraGridView view(model);
    view.SelectAllRows();
    SingleLoginDialog single(view, grid);
    BatchLoginDialog batch(view, grid);
    AddCamerasDialog& add = OpenDialog();
    add.AppendRow();
    EntryTerminalsDialog entry(add, add.Capacity(), add.RowCount() - 1, &add);
    for (QWidget* window : std::initializer_list<QWidget*>{&single, &batch, &add, &entry}) {
        SCOPED_TRACE(window->objectName().toStdString());
        EXPECT_EQ(MnemonicFaults(window->findChildren<QWidget*>()), "");
    }
}

// The file dialog's last choice shows every file, "sites" without a dot too;
// the first two keep to the list files.
TEST_F(KeyboardTabOrderTest, ListFileFiltersShowFilesWithoutExtension) {
    struct Case {
        const char* file;
        std::vector<bool> shownBy;  // by each filter in turn
    };
    const std::vector<Case> cases = {
        {"sites", {false, false, true}},
        {"sites.txt", {true, false, true}},
        {"sites.csv", {false, true, true}},
    };
    const QStringList filters = ListFileFilters();
    ASSERT_EQ(filters.size(), 3);
    for (const Case& c : cases) {
        for (int i = 0; i < filters.size(); ++i) {
            const QString patterns =
                QRegularExpression(QStringLiteral("\\(([^)]*)\\)")).match(filters[i]).captured(1);
            bool shown = QDir::match(patterns.split(QLatin1Char(' ')), QString::fromLatin1(c.file));
#ifdef _WIN32
            // The Windows file dialog reads "*.*" as every file, with a dot or not.
            if (patterns == QLatin1String("*.*")) shown = true;
#endif
            EXPECT_EQ(shown, c.shownBy[static_cast<std::size_t>(i)])
                << c.file << " under " << filters[i].toStdString();
        }
    }
    EXPECT_TRUE(filters.back().startsWith(QStringLiteral("All Files (")));
}

}  // namespace
}  // namespace qrv::test
