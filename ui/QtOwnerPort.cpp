#include "ui/QtOwnerPort.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>
#include <QWidget>

#include "ui/UiText.h"

namespace qrv {

namespace {

BoxPresenter& Presenter() {
    static BoxPresenter presenter;
    return presenter;
}

QMessageBox::Icon ToQtIcon(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::Information: return QMessageBox::Information;
    case BoxIcon::Exclamation: return QMessageBox::Warning;
    case BoxIcon::Question: return QMessageBox::Question;
    case BoxIcon::Stop: return QMessageBox::Critical;
    case BoxIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

BoxAnswer ShowQtBox(QWidget* parent, const MessageBox& box) {
    QMessageBox dialog(ToQtIcon(box.icon), ToQString(box.caption), ToQString(box.text), QMessageBox::NoButton,
                       parent);
    switch (box.buttons) {
    case BoxButtons::Ok: dialog.setStandardButtons(QMessageBox::Ok); break;
    case BoxButtons::OkCancel:
        dialog.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        dialog.setDefaultButton(QMessageBox::Ok);
        break;
    case BoxButtons::YesNo:
        dialog.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        dialog.setDefaultButton(QMessageBox::Yes);
        break;
    }
    switch (dialog.exec()) {
    case QMessageBox::Ok: return BoxAnswer::Ok;
    case QMessageBox::Yes: return BoxAnswer::Yes;
    case QMessageBox::No: return BoxAnswer::No;
    default: return box.buttons == BoxButtons::Ok ? BoxAnswer::Ok : RefusingAnswer(box.buttons);
    }
}

}  // namespace

QEvent::Type JobMessageEvent::Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType(QEvent::User + 100));
    return type;
}

void SetBoxPresenter(BoxPresenter presenter) { Presenter() = std::move(presenter); }

BoxAnswer PresentBox(QWidget* parent, const MessageBox& box) {
    const BoxPresenter& presenter = Presenter();
    return presenter ? presenter(parent, box) : ShowQtBox(parent, box);
}

BoxAnswer RefusingAnswer(BoxButtons buttons) {
    switch (buttons) {
    case BoxButtons::Ok: return BoxAnswer::Ok;
    case BoxButtons::OkCancel: return BoxAnswer::Cancel;
    case BoxButtons::YesNo: return BoxAnswer::No;
    }
    return BoxAnswer::Cancel;
}

QtOwnerPort::QtOwnerPort(QWidget* window, TimerHandler onTimer) : window_(window), onTimer_(std::move(onTimer)) {}

QtOwnerPort::~QtOwnerPort() { RefuseWorkerBoxes(); }

bool QtOwnerPort::OnGuiThread() const { return QThread::currentThread() == thread(); }

void QtOwnerPort::StartTimer(int id, int periodMs) {
    if (OnGuiThread()) {
        StartOnGui(id, periodMs);
        return;
    }
    QMetaObject::invokeMethod(this, [this, id, periodMs] { StartOnGui(id, periodMs); }, Qt::QueuedConnection);
}

void QtOwnerPort::StopTimer(int id) {
    if (OnGuiThread()) {
        StopOnGui(id);
        return;
    }
    QMetaObject::invokeMethod(this, [this, id] { StopOnGui(id); }, Qt::QueuedConnection);
}

void QtOwnerPort::StartOnGui(int id, int periodMs) {
    std::unique_ptr<QTimer>& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, this, [this, id] {
            if (onTimer_) onTimer_(id);
        });
    }
    timer->start(periodMs);
}

void QtOwnerPort::StopOnGui(int id) {
    auto found = timers_.find(id);
    if (found != timers_.end()) found->second->stop();
}

bool QtOwnerPort::IsTimerRunning(int id) const {
    auto found = timers_.find(id);
    return found != timers_.end() && found->second->isActive();
}

void QtOwnerPort::PostJobMessage(int wParam, int lParam) {
    if (window_) QCoreApplication::postEvent(window_, new JobMessageEvent(wParam, lParam));
}

BoxAnswer QtOwnerPort::ShowMessageBox(const MessageBox& box) {
    {
        std::lock_guard lock(boxMutex_);
        lastBoxText_ = box.text;
    }
    if (OnGuiThread()) return refuseAllBoxes_ ? RefusingAnswer(box.buttons) : PresentBox(window_, box);
    auto pending = std::make_shared<PendingBox>();
    pending->box = box;
    {
        std::lock_guard lock(boxMutex_);
        if (refuseWorkerBoxes_) return RefusingAnswer(box.buttons);
    }
    QMetaObject::invokeMethod(this, [this, pending] { AnswerOnGui(pending); }, Qt::QueuedConnection);
    std::unique_lock lock(boxMutex_);
    boxAnswered_.wait(lock, [&] { return pending->answered || refuseWorkerBoxes_; });
    return pending->answered ? pending->answer : RefusingAnswer(box.buttons);
}

std::u16string QtOwnerPort::LastBoxText() const {
    std::lock_guard lock(boxMutex_);
    return lastBoxText_;
}

void QtOwnerPort::ForgetLastBox() {
    std::lock_guard lock(boxMutex_);
    lastBoxText_.clear();
}

void QtOwnerPort::AnswerOnGui(const std::shared_ptr<PendingBox>& pending) {
    {
        std::lock_guard lock(boxMutex_);
        if (refuseWorkerBoxes_) return;
    }
    const BoxAnswer answer = PresentBox(window_, pending->box);
    std::lock_guard lock(boxMutex_);
    pending->answer = answer;
    pending->answered = true;
    boxAnswered_.notify_all();
}

void QtOwnerPort::RefuseWorkerBoxes() {
    std::lock_guard lock(boxMutex_);
    refuseWorkerBoxes_ = true;
    boxAnswered_.notify_all();
}

void QtOwnerPort::RefuseAllBoxes() {
    refuseAllBoxes_ = true;
    RefuseWorkerBoxes();
}

}  // namespace qrv
