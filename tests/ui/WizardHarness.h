#pragma once

#include <QJsonArray>
// What the wizard's tests share: the recording box presenter, screenshots of
// every page a test passes through, and small helpers that act as a user
// would (click, type, press keys) and wait without blocking the event loop.

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QPushButton>
#include <QLineEdit>
#include <QString>
#include <QTest>

#include <chrono>
#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Timing.h"
#include "platform/OwnerPort.h"
#include "ui/AgreementPage.h"
#include "ui/FirstPage.h"
#include "ui/ManualProgressPage.h"
#include "ui/ManualTargetPage.h"
#include "ui/ModeSelectPage.h"
#include "ui/UpgradeWizardDialog.h"

namespace qrv {
// Readable boxes in assertion messages.
void PrintTo(const MessageBox& box, std::ostream* out);
}  // namespace qrv

namespace qrv::test {

// The message box seam: every box the program shows is recorded and answered
// from a script (the default answers OK or Yes).
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();

    void Answer(std::initializer_list<BoxAnswer> answers);
    std::vector<MessageBox> Boxes() const { return boxes_; }
    // The object name of each box's owner window ("" for none).
    std::vector<QString> Owners() const { return owners_; }
    std::size_t Count() const { return boxes_.size(); }
    const MessageBox& Last() const { return boxes_.back(); }
    void Clear() {
        boxes_.clear();
        owners_.clear();
    }
    // Called for every box before it is answered (e.g. a screenshot).
    std::function<void(const MessageBox&)> onBox;

private:
    std::vector<MessageBox> boxes_;
    std::vector<QString> owners_;
    std::deque<BoxAnswer> script_;
};

// The text of a recorded box, for readable failures.
std::string Utf8(const std::u16string& text);
MessageBox Box(const std::u16string& text, const std::u16string& caption, BoxIcon icon,
               BoxButtons buttons = BoxButtons::Ok);

// The records of a report the wizard wrote below `configRoot`'s Reports
// folder, read with Qt's own JSON parser; checks that the file is there, is
// the owner's alone, and parses. Empty (with a failure) otherwise.
QJsonArray ReadWizardReport(const std::string& path, const QString& configRoot);

// Acts on the next modal dialog of type T once it is up and has become the
// active window (its focus is given then; a busy machine shows the dialog a
// moment before it activates it), from inside its own event loop (exec()
// does not return before the dialog closes). After two seconds up it acts
// all the same.
template <class T>
void WhenModal(std::function<void(T*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    auto polls = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, act, polls] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog && !dialog->isActiveWindow() && ++*polls < 400) return;
        if (dialog) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
        }
    });
    poll->start();
}

// The wizard under test with scaled time, its pages reached as a user would.
class WizardTest : public ::testing::Test {
protected:
    static constexpr double kTimeScale = 0.01;

    void SetUp() override;
    void TearDown() override;

    // Creates and shows the wizard (discovery starts at once).
    UpgradeWizardDialog& OpenWizard(double timeScale = kTimeScale, int parallelJobs = 2);
    UpgradeWizardDialog& Wizard() { return *wizard_; }
    bool WizardClosed() const { return closed_; }

    // Saves a picture of the whole window (or of `widget`, a dialog) under
    // <build>/screenshots/.
    void Screenshot(const std::string& name, QWidget* widget = nullptr);

    void Click(QAbstractButton* button);
    void ClickNext() { Click(Wizard().NextButton()); }
    void ClickBack() { Click(Wizard().BackButton()); }
    void ClickCancel() { Click(Wizard().CancelButton()); }
    void PressEnter();
    // Replaces a field's text by typing, as a user would.
    void Type(QLineEdit* field, const QString& text);
    // First page -> agreement (Agree) -> mode page -> manual target page.
    void GoToManualTarget();
    // Types the address fields ("" leaves a field empty), name and password.
    void FillTarget(const QStringList& address, const QString& name, const QString& password);
    void ChooseCustomPort(const QString& port);

    // Runs the event loop until `done` or the limit; false on the limit.
    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(30));
    QString Text(const char* objectName) const;
    template <class T>
    T* Find(const char* objectName) const {
        return wizard_->findChild<T*>(QString::fromLatin1(objectName));
    }

    BoxRecorder boxes_;

private:
    std::unique_ptr<UpgradeWizardDialog> wizard_;
    bool closed_ = false;
    int shots_ = 0;
};

}  // namespace qrv::test
