#include "ui/BusyWait.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>

#include <thread>

namespace qrv {

bool RunBusy(const std::function<bool()>& work) {
    QEventLoop loop;
    bool result = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        std::jthread worker([&] {
            result = work();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }  // joins; the worker has posted its quit, so it is at its end
    QApplication::restoreOverrideCursor();
    return result;
}

}  // namespace qrv
