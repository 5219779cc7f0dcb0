// The address control under the keyboard: typed forms over a pre-filled and
// an empty control, every way the focus enters it, and the manual target
// page's address typed over its initial value.

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <optional>

#include "tests/ui/WizardHarness.h"
#include "ui/AddCamerasDialog.h"
#include "ui/EntryTerminalsDialog.h"
#include "ui/Ipv4AddressEdit.h"
#include "ui/ManualTargetPage.h"
#include "ui/QtOwnerPort.h"

namespace qrv::test {
namespace {

using Texts = std::array<QString, 4>;

// Keys go to whichever widget holds the focus, as a user's would. In a script
// '\b' is Backspace, '<' '>' the arrows, 'H' 'E' Home and End, 'V' Ctrl+V;
// anything else is typed.
void Press(const QString& script) {
    for (const QChar c : script) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr) << "no focus before '" << QString(c).toStdString() << "'";
        switch (c.unicode()) {
        case u'\b': QTest::keyClick(focused, Qt::Key_Backspace); break;
        case u'<': QTest::keyClick(focused, Qt::Key_Left); break;
        case u'>': QTest::keyClick(focused, Qt::Key_Right); break;
        case u'H': QTest::keyClick(focused, Qt::Key_Home); break;
        case u'E': QTest::keyClick(focused, Qt::Key_End); break;
        case u'V': QTest::keyClick(focused, Qt::Key_V, Qt::ControlModifier); break;
        default: QTest::keyClick(focused, c.toLatin1()); break;
        }
    }
}

Texts FieldTexts(const Ipv4AddressEdit& edit) {
    Texts texts;
    for (int i = 0; i < 4; ++i) texts[static_cast<std::size_t>(i)] = edit.Field(i)->text();
    return texts;
}

std::string Show(const Texts& texts) {
    return QStringList(texts.begin(), texts.end()).join(u'|').toStdString();
}

// A window with a line edit before the control and one after it, and a label
// whose mnemonic leads to the control.
class KeyboardAddressEdit : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window_);
        before_ = new QLineEdit(&window_);
        edit_ = new Ipv4AddressEdit(&window_);
        after_ = new QLineEdit(&window_);
        auto* label = new QLabel(QStringLiteral("&Address:"), &window_);
        label->setBuddy(edit_);
        for (QWidget* widget : std::initializer_list<QWidget*>{label, before_, edit_, after_}) layout->addWidget(widget);
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    }
    void Prefill(bool prefilled) {
        before_->setFocus();
        if (prefilled) {
            edit_->SetAddress({192, 168, 0, 100});
        } else {
            edit_->Clear();
        }
    }

    QWidget window_;
    QLineEdit* before_ = nullptr;
    Ipv4AddressEdit* edit_ = nullptr;
    QLineEdit* after_ = nullptr;
};

TEST_F(KeyboardAddressEdit, TypedFormsGiveTheirAddressOverAPrefilledAndAnEmptyControl) {
    struct Case {
        const char* what;
        QString keys;
        QString clipboard;
        Texts overPrefilled;  // over 192.168.0.100
        Texts overEmpty;
    };
    const std::vector<Case> cases = {
        {"dots", "127.0.0.3", {}, {"127", "0", "0", "3"}, {"127", "0", "0", "3"}},
        {"short and long fields", "10.1.2.30", {}, {"10", "1", "2", "30"}, {"10", "1", "2", "30"}},
        {"a dot after every field", "1.2.3.4", {}, {"1", "2", "3", "4"}, {"1", "2", "3", "4"}},
        {"blanks as dots", "10 20 30 40", {}, {"10", "20", "30", "40"}, {"10", "20", "30", "40"}},
        {"three digits moving on by themselves", "192168100200", {}, {"192", "168", "100", "200"},
         {"192", "168", "100", "200"}},
        {"three digits and the habitual dot", "192.168.100.200", {}, {"192", "168", "100", "200"},
         {"192", "168", "100", "200"}},
        {"above 255 becomes 255 and moves on", "300.7.8.9", {}, {"255", "7", "8", "9"}, {"255", "7", "8", "9"}},
        // An empty field takes no dot; a filled one passes it on.
        {"a second dot", "1..2", {}, {"1", "168", "2", "100"}, {"1", "2", "", ""}},
        {"a dot in the last field", "1.2.3.4.5", {}, {"1", "2", "3", "45"}, {"1", "2", "3", "45"}},
        {"backspace across fields", "1.2.3.4\b\b\b\b\b9", {}, {"1", "9", "", ""}, {"1", "9", "", ""}},
        {"backspace into a field typed again", "12.34\b\b\b\b5", {}, {"15", "", "0", "100"}, {"15", "", "", ""}},
        {"right arrow at a field's end", "12>34", {}, {"12", "34", "0", "100"}, {"12", "34", "", ""}},
        // A selected field's first Left only ends the selection, as in any line edit.
        {"left arrow at a field's start", "12.<7", {}, {"12", "168", "0", "100"}, {"7", "", "", ""}},
        {"end then home", "1E\b9H5", {}, {"51", "168", "0", "109"}, {"51", "", "9", ""}},
        {"pasted dotted address", "V", "10.20.30.40", {"10", "20", "30", "40"}, {"10", "20", "30", "40"}},
        {"pasted with blanks around", "V", " 172.16.5.9\n", {"172", "16", "5", "9"}, {"172", "16", "5", "9"}},
        {"pasted short address", "V", "10.1", {"10", "1", "", ""}, {"10", "1", "", ""}},
        {"pasted digits go into one field", "V", "77", {"77", "168", "0", "100"}, {"77", "", "", ""}},
        {"pasted text that is no address", "V", "a.b.c.d", {"192", "168", "0", "100"}, {"", "", "", ""}},
        {"pasted five parts", "V", "1.2.3.4.5", {"192", "168", "0", "100"}, {"", "", "", ""}},
    };
    for (const Case& c : cases) {
        for (const bool prefilled : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (prefilled ? " over 192.168.0.100" : " over nothing"));
            Prefill(prefilled);
            if (!c.clipboard.isNull()) QApplication::clipboard()->setText(c.clipboard);
            edit_->setFocus();
            Press(c.keys);
            EXPECT_EQ(Show(FieldTexts(*edit_)), Show(prefilled ? c.overPrefilled : c.overEmpty));
        }
    }
}

// However the focus comes in, the first field's text is selected and typing
// replaces it.
TEST_F(KeyboardAddressEdit, EveryWayInSelectsTheFirstField) {
    struct Way {
        const char* what;
        std::function<void()> enter;
    };
    const std::vector<Way> ways = {
        {"focus given by the program", [this] { edit_->setFocus(); }},
        {"Tab from the field before", [this] { QTest::keyClick(before_, Qt::Key_Tab); }},
        {"Shift+Tab from the field after",
         [this] {
             after_->setFocus();
             QTest::keyClick(after_, Qt::Key_Backtab, Qt::ShiftModifier);
         }},
        {"the label's mnemonic", [this] { QTest::keyClick(before_, Qt::Key_A, Qt::AltModifier); }},
        {"focus before the address is filled in",
         [this] {
             edit_->setFocus();
             edit_->SetAddress({10, 20, 30, 40});
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.what);
        Prefill(true);
        way.enter();
        ASSERT_TRUE(edit_->Field(0)->hasFocus());
        EXPECT_EQ(edit_->Field(0)->selectedText(), edit_->Field(0)->text());
        Press(QStringLiteral("127.0.0.3"));
        EXPECT_EQ(Show(FieldTexts(*edit_)), Show({"127", "0", "0", "3"}));
        EXPECT_TRUE(edit_->Field(3)->hasFocus());
    }
}

class KeyboardManualTargetAddress : public WizardTest {};

TEST_F(KeyboardManualTargetAddress, TypingOverTheInitialAddressGivesTheTypedOne) {
    OpenWizard();
    GoToManualTarget();
    ManualTargetPage* page = Wizard().ManualTarget();
    ASSERT_EQ(page->GetAddressText(), "192.168.0.100");
    Press(QStringLiteral("127.0.0.3"));
    Screenshot("typed");
    EXPECT_EQ(Show(FieldTexts(*Find<Ipv4AddressEdit>("address"))), Show({"127", "0", "0", "3"}));

    // Back in by the mnemonic from another field, the address is typed over again.
    Find<QLineEdit>("adminName")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_I, Qt::AltModifier);
    Press(QStringLiteral("10.1.2.30"));
    EXPECT_EQ(Show(FieldTexts(*Find<Ipv4AddressEdit>("address"))), Show({"10", "1", "2", "30"}));
}

// Entry terminals focuses the address before it fills in each row's value:
// typing still replaces it, on the first row and on the next.
TEST_F(KeyboardManualTargetAddress, EntryTerminalsRowsAreTypedOver) {
    QtOwnerPort port(nullptr, [](int) {});
    AddCamerasDialog dialog({"QRV-K7"}, 0, Timing::Production().Scaled(kTimeScale));
    dialog.show();
    std::vector<std::string> typed;
    QObject::connect(&dialog, &AddCamerasDialog::EntryDialogOpening, [&](QDialog* shown) {
        QTimer::singleShot(0, shown, [&, shown] {
            auto* entry = static_cast<EntryTerminalsDialog*>(shown);
            EXPECT_TRUE(QTest::qWaitForWindowActive(shown));
            Press(QStringLiteral("127.0.0.3"));
            typed.push_back(Show(FieldTexts(*entry->AddressEdit())));
            entry->OnNextButton();
            Press(QStringLiteral("10.1.2.30"));
            typed.push_back(Show(FieldTexts(*entry->AddressEdit())));
            Screenshot("entry", shown);
            shown->reject();
        });
    });
    dialog.OnAdd();
    EXPECT_EQ(typed, (std::vector<std::string>{"127|0|0|3", "10|1|2|30"}));
}

}  // namespace
}  // namespace qrv::test
