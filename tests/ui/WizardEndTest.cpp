// The wizard program, started as a process of its own, ends within a few
// seconds of SIGTERM wherever it stands: while its probe waits on a camera that
// never answers, and while a message box is open in front of it.

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/SimProcess.h"

namespace qrv::test {
namespace {

constexpr double kTimeScale = 0.1;  // the probe's inquiry waits 2 s for an answer

struct EndCase {
    const char* name;
    const char* fleet;
    // The driver's line after which the signal is sent.
    const char* waitForLine;
    // The probe's inquiry reached the camera (and waits there) before the signal.
    bool waitForInquiry;
};

void PrintTo(const EndCase& c, std::ostream* out) { *out << c.name; }

class WizardEndTest : public ::testing::TestWithParam<EndCase> {};

// Reads the child's output until `line` or the limit.
bool WaitForLine(QProcess& wizard, const QString& line, QByteArray& seen, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < limitMs) {
        if (wizard.waitForReadyRead(100)) seen += wizard.readAllStandardOutput();
        if (QString::fromUtf8(seen).contains(line)) return true;
        if (wizard.state() == QProcess::NotRunning) return false;
    }
    return false;
}

TEST_P(WizardEndTest, EndsWithinFiveSecondsOfSigterm) {
    const EndCase& c = GetParam();
    SimProcess sim(c.fleet, kTimeScale);
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());

    QProcess wizard;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(QRV_WIZARD_DRIVER_PATH));
    environment.insert(QStringLiteral("QRV_DRIVE_TARGET"), QStringLiteral("127.0.0.2"));
    environment.insert(QStringLiteral("ProgramFiles"), root.path());
    wizard.setProcessEnvironment(environment);
    wizard.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    wizard.start(QStringLiteral(QRV_WIZARD_PATH), {QStringLiteral("--time-scale"), QString::number(kTimeScale)});
    ASSERT_TRUE(wizard.waitForStarted(5000));

    QByteArray output;
    ASSERT_TRUE(WaitForLine(wizard, QString::fromUtf8(c.waitForLine), output, 20000)) << output.constData();
    if (c.waitForInquiry) {
        ASSERT_TRUE(sim.WaitForEvent(
            [](const SimEvent& e) { return e.kind == "request" && e.camera == "127.0.0.2:80"; },
            std::chrono::seconds(5)));
    }

    QElapsedTimer clock;
    clock.start();
    wizard.terminate();  // SIGTERM
    const bool ended = wizard.waitForFinished(5000);
    if (!ended) {
        wizard.kill();
        wizard.waitForFinished(5000);
    }
    output += wizard.readAllStandardOutput();
    EXPECT_TRUE(ended) << "still running 5 s after SIGTERM; its output:\n" << output.constData();
    EXPECT_EQ(wizard.exitStatus(), QProcess::NormalExit) << output.constData();
    EXPECT_EQ(wizard.exitCode(), 0);
    EXPECT_LT(clock.elapsed(), 5000);
}

INSTANTIATE_TEST_SUITE_P(
    Wizard, WizardEndTest,
    ::testing::Values(
        EndCase{"ProbeWaitingOnASilentCamera", "127.0.0.2 serial=1000001 admin=admin:admin fault=silent\n",
                "driver: next on the target page", true},
        // The probe's refusal: the wrong-model box is open; "not suitable" would follow it.
        EndCase{"RefusalBoxOpen", "127.0.0.2 model=QRV-X9 serial=1000001 admin=admin:admin\n",
                "driver: box: This program works for the QRV-K7. Please select the correct camera.", false}),
    [](const ::testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qrv::test
