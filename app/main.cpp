// The wizard program: checks that the network can be used, then runs the
// upgrade wizard modally; the program ends when the wizard closes.

#include <QApplication>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>
#include <string>
#include <vector>

#include "app/WizardCommandLine.h"
#include "platform/OwnerPort.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "platform/UdpSocket.h"
#include "resources/MessageTable.h"
#include "resources/VersionBlock.h"
#include "ui/QtOwnerPort.h"
#include "ui/UpgradeWizardDialog.h"

namespace {

// The start-up check of the socket layer: a UDP socket can be opened.
bool SocketsUsable() {
    qrv::UdpSocket probe;
    return probe.Open();
}

void ShowStartFailure() {
    qrv::MessageBox box;
    box.text = qrv::LoadString(103).value_or(u"");
    const auto& description = qrv::ProgramVersionBlock().fileDescription;
    box.caption = qrv::ToWide(std::string(description));
    box.icon = qrv::BoxIcon::Stop;
    qrv::PresentBox(nullptr, box);
}

// A request to quit (the platform's, or the session manager's at log-off)
// would end the window's event loop under a running probe or batch: the
// wizard ends its session instead, and the request passes once it is closing.
class QuitRequests : public QObject {
public:
    explicit QuitRequests(qrv::UpgradeWizardDialog& wizard) : wizard_(wizard) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Quit || wizard_.IsClosing()) return QObject::eventFilter(watched, event);
        wizard_.EndSession();
        return true;
    }

private:
    qrv::UpgradeWizardDialog& wizard_;
};

}  // namespace

int main(int argc, char** argv) {
    // Read before the window system is opened, so that --help and mistakes
    // are answered on a machine without a display too.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    const auto line = qrv::ParseWizardCommandLine(arguments, error);
    if (!line) {
        std::fprintf(stderr, "qrv-firmware-upgrade: %s\n%s", error.c_str(), qrv::WizardUsage().c_str());
        return 2;
    }
    if (line->help) {
        std::fputs(qrv::WizardUsage().c_str(), stdout);
        return 0;
    }
    QApplication application(argc, argv);
    if (!SocketsUsable()) {
        ShowStartFailure();
        return 1;
    }

    qrv::UpgradeWizardDialog wizard(qrv::WizardOptions{line->timing, line->parallelJobs});
    if (line->quitAfterFirstPage) {
        // Once the first page has been painted, report it and leave the clean way.
        QObject::connect(&wizard, &qrv::UpgradeWizardDialog::Painted, &wizard, [&wizard] {
            QTimer::singleShot(0, &wizard, [&wizard] {
                if (wizard.WizardStep() != qrv::UpgradeWizardDialog::kFirst) return;
                std::printf("first page shown: %s\n", wizard.windowTitle().toUtf8().constData());
                std::fflush(stdout);
                wizard.CloseWizard(QDialog::Accepted);
            });
        }, Qt::SingleShotConnection);
    }
    // Ctrl+C, SIGTERM, the end of the desktop session or a quit request:
    // boxes answered, workers stopped and joined, a running batch's report
    // written, then the window closes.
    qrv::CatchInterrupts();
    QTimer interrupts;
    QObject::connect(&interrupts, &QTimer::timeout, &wizard, [&wizard] {
        if (qrv::InterruptCount() > 0) wizard.EndSession();
    });
    interrupts.start(200);
#ifndef QT_NO_SESSIONMANAGER
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &wizard,
                     [&wizard](QSessionManager&) { wizard.EndSession(); });
#endif
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &wizard, [&wizard] { wizard.EndSession(); });
    QuitRequests quitRequests(wizard);
    application.installEventFilter(&quitRequests);
    wizard.exec();
    return 0;
}
