// Drives the wizard's automatic mode on the offscreen platform against the
// simulated fleet that bench/ui_stall starts, and measures how long the GUI
// thread ever went without serving a 5 ms heartbeat timer: first on the idle
// first page (the peer: what the event loop itself costs), then from Select
// all through the login checks and the whole batch to the upgrade log.
//
//   qrv-bench-ui-stall CAMERAS TIME_SCALE

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "batch/BatchRun.h"
#include "batch/TargetGrid.h"
#include "engine/JobStage.h"
#include "ui/AutoCameraListPage.h"
#include "ui/AutoProgressPage.h"
#include "ui/LoginDialogs.h"
#include "ui/QtOwnerPort.h"
#include "ui/UpgradeWizardDialog.h"

namespace {

using qrv::UpgradeWizardDialog;

// Records the gaps between ticks of a 5 ms timer on the GUI thread.
class Heartbeat {
public:
    Heartbeat() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            gaps_.push_back(static_cast<double>(clock_.nsecsElapsed()) / 1e6);
            clock_.restart();
        });
    }
    void Start() {
        gaps_.clear();
        clock_.start();
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    double Longest() const { return gaps_.empty() ? 0 : *std::max_element(gaps_.begin(), gaps_.end()); }
    double Percentile(double p) const {
        if (gaps_.empty()) return 0;
        std::vector<double> sorted = gaps_;
        std::sort(sorted.begin(), sorted.end());
        return sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1))];
    }
    std::size_t Count() const { return gaps_.size(); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    std::vector<double> gaps_;
};

// Runs the event loop (without spinning) until `done` or the limit.
bool WaitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > limitMs) loop.quit();
    });
    poll.start(10);
    if (!done()) loop.exec();
    return done();
}

void Wait(int ms) {
    WaitFor([] { return false; }, ms);
}

template <class T>
T* Find(QWidget& root, const char* name) {
    return root.findChild<T*>(QString::fromLatin1(name));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 3) {
        std::fprintf(stderr, "usage: qrv-bench-ui-stall CAMERAS TIME_SCALE\n");
        return 2;
    }
    const int cameras = std::atoi(argv[1]);
    const double scale = std::atof(argv[2]);
    // Every box (the confirmation) is answered OK at once.
    qrv::SetBoxPresenter([](QWidget*, const qrv::MessageBox&) { return qrv::BoxAnswer::Ok; });

    UpgradeWizardDialog wizard(qrv::WizardOptions{qrv::Timing::Production().Scaled(scale)});
    wizard.show();
    Heartbeat heartbeat;

    // The peer: the idle wizard while discovery runs.
    heartbeat.Start();
    Wait(2000);
    heartbeat.Stop();
    const double idleLongest = heartbeat.Longest();
    const double idleP99 = heartbeat.Percentile(0.99);

    wizard.NextButton()->click();
    Find<QRadioButton>(wizard, "agree")->click();
    wizard.NextButton()->click();
    Find<QRadioButton>(wizard, "automaticMode")->click();
    wizard.NextButton()->click();
    auto& list = *static_cast<qrv::AutoCameraListPage*>(wizard.AutoPages().list);
    auto& progress = *static_cast<qrv::AutoProgressPage*>(wizard.AutoPages().progress);
    if (!WaitFor([&] { return !list.IsBusy(); }, 60000)) {
        std::fprintf(stderr, "ui_stall: discovery did not end\n");
        return 1;
    }
    std::printf("cameras found: %d of %d\n", list.Targets().RowCount(), cameras);

    heartbeat.Start();
    QElapsedTimer batchClock;
    batchClock.start();
    Find<QPushButton>(wizard, "selectAll")->click();
    // Access setting: the Batch login dialog gives every row admin / admin.
    QTimer login;
    QObject::connect(&login, &QTimer::timeout, [&login] {
        auto* dialog = qobject_cast<qrv::BatchLoginDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        login.stop();
        dialog->NameEdit()->setText(QStringLiteral("admin"));
        dialog->PasswordEdit()->setText(QStringLiteral("admin"));
        dialog->accept();
    });
    login.start(5);
    Find<QPushButton>(wizard, "accessSetting")->click();
    Find<QPushButton>(wizard, "testing")->click();
    if (!WaitFor([&] { return !list.IsTesting(); }, 600000)) {
        std::fprintf(stderr, "ui_stall: the login checks did not end\n");
        return 1;
    }
    std::printf("login checks done\n");
    const double testingSeconds = static_cast<double>(batchClock.elapsed()) / 1000.0;
    wizard.NextButton()->click();  // to the progress page
    QObject::connect(&progress, &qrv::AutoProgressPage::UpgradeLogOpening, [](QWidget* dialog) {
        QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog*>(dialog)->reject(); });
    });
    progress.RetainBox()->click();  // Discard: the shortest batch per camera
    wizard.NextButton()->click();   // "&Upgrade", then the confirmation
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        std::printf("  proceeded %s\n", progress.CounterText().toLocal8Bit().constData());
    });
    report.start(10000);
    if (!WaitFor([&] { return progress.LogShownCount() > 0; }, 3600000)) {
        std::fprintf(stderr, "ui_stall: the batch did not end\n");
        return 1;
    }
    heartbeat.Stop();
    const double batchSeconds = static_cast<double>(batchClock.elapsed()) / 1000.0;

    const qrv::BatchRun& rows = progress.Batch();
    int completed = 0;
    for (int row = 0; row < rows.RowCount(); ++row) completed += rows.Row(row).result == qrv::kCompleted ? 1 : 0;
    std::printf("login checks: %.1f s; checks and batch: %.1f s; %d of %d cameras completed\n", testingSeconds,
                batchSeconds, completed, rows.RowCount());
    std::printf("heartbeat ticks: %zu\n", heartbeat.Count());
    std::printf("idle wizard (peer): longest gap %.1f ms, 99th percentile %.1f ms\n", idleLongest, idleP99);
    std::printf("automatic mode:     longest gap %.1f ms, 99th percentile %.1f ms\n", heartbeat.Longest(),
                heartbeat.Percentile(0.99));
    std::printf("longest stall %.1f ms (goal below 100 ms); ratio to the idle peer %.2f\n", heartbeat.Longest(),
                idleLongest > 0 ? heartbeat.Longest() / idleLongest : 0.0);
    wizard.CloseWizard(QDialog::Accepted);
    return 0;
}
