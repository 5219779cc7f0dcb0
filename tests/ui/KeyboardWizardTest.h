#pragma once
// The wizard driven by keys alone: each key goes to whichever widget holds the
// focus, as a user's would, and saved configurations go to a folder of the test.

#include <QDir>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>

#include "tests/ui/SimWizardTest.h"

namespace qrv::test {

class KeyboardWizardTest : public SimWizardTest {
protected:

    static void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        QTest::keyClick(focused, key, modifiers);
        QApplication::processEvents();
    }
    static void Typed(const QString& text) {
        for (const QChar c : text) {
            QWidget* focused = QApplication::focusWidget();
            ASSERT_NE(focused, nullptr);
            QTest::keyClick(focused, c.toLatin1());
        }
    }
    // Alt and the letter a control's text marks with '&'. A button's mnemonic
    // clicks it after its pressed look has shown (a short timer); a dialog it
    // opens runs inside that wait.
    static void Mnemonic(const QString& text) {
        const qsizetype at = text.indexOf(u'&');
        ASSERT_GE(at, 0) << "no mnemonic in " << text.toStdString();
        const QChar letter = text.at(at + 1).toUpper();
        const Qt::Key key = letter.isLetter() ? static_cast<Qt::Key>(Qt::Key_A + (letter.toLatin1() - 'A'))
                                              : static_cast<Qt::Key>(letter.unicode());
        Key(key, Qt::AltModifier);
        QTest::qWait(250);
    }
    void Shot(const char* name, QWidget* dialog = nullptr) { Screenshot(std::string("focus-") + name, dialog); }

};

}  // namespace qrv::test
