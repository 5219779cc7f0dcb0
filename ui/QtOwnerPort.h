#pragma once
// The owner port of the window program: numeric timers become QTimers on the
// GUI thread, the job message becomes a posted JobMessageEvent, and message
// boxes asked for by worker threads are shown on the GUI thread while the
// worker waits for the answer.

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/OwnerPort.h"

class QWidget;

namespace qrv {

// The job message (kJobMessage) as a Qt event.
class JobMessageEvent : public QEvent {
public:
    JobMessageEvent(int wParam, int lParam) : QEvent(Type()), wParam_(wParam), lParam_(lParam) {}
    static QEvent::Type Type();
    int WParam() const { return wParam_; }
    int LParam() const { return lParam_; }

private:
    int wParam_;
    int lParam_;
};

// Puts a box in front of the user and returns the answer; runs on the GUI
// thread. The real one is a QMessageBox; tests install one that records the
// box and answers from a script.
using BoxPresenter = std::function<BoxAnswer(QWidget* parent, const MessageBox& box)>;
// An empty presenter brings back the QMessageBox.
void SetBoxPresenter(BoxPresenter presenter);
BoxAnswer PresentBox(QWidget* parent, const MessageBox& box);

class QtOwnerPort : public QObject, public OwnerPort {
    Q_OBJECT
public:
    using TimerHandler = std::function<void(int id)>;

    // `window` owns the boxes and receives the job events; `onTimer` runs on
    // the GUI thread for every tick.
    QtOwnerPort(QWidget* window, TimerHandler onTimer);
    ~QtOwnerPort() override;

    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void PostJobMessage(int wParam, int lParam) override;
    BoxAnswer ShowMessageBox(const MessageBox& box) override;

    // GUI thread only.
    bool IsTimerRunning(int id) const;
    // While the window closes and joins its workers: a worker that asks for a
    // box from now on (or is still waiting for one) gets the refusing answer
    // at once instead of waiting for a GUI thread that waits for it.
    void RefuseWorkerBoxes();
    // The program is ending: from now on every box, the GUI thread's too, gets
    // the refusing answer without being shown.
    void RefuseAllBoxes();
    // The text of the last box shown through this port (from any thread),
    // and forgetting it: a run's failure is the last box it showed.
    std::u16string LastBoxText() const;
    void ForgetLastBox();

private:
    struct PendingBox {
        MessageBox box;
        bool answered = false;
        BoxAnswer answer = BoxAnswer::Cancel;
    };

    bool OnGuiThread() const;
    void StartOnGui(int id, int periodMs);
    void StopOnGui(int id);
    void AnswerOnGui(const std::shared_ptr<PendingBox>& pending);

    QPointer<QWidget> window_;
    TimerHandler onTimer_;
    std::map<int, std::unique_ptr<QTimer>> timers_;

    mutable std::mutex boxMutex_;
    std::condition_variable boxAnswered_;
    bool refuseWorkerBoxes_ = false;
    bool refuseAllBoxes_ = false;  // GUI thread only
    std::u16string lastBoxText_;  // guarded by boxMutex_
};

// The answer a box gets when nobody can answer it: the cautious one.
BoxAnswer RefusingAnswer(BoxButtons buttons);

}  // namespace qrv
