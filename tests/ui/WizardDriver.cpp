// Loaded into the real wizard program (LD_PRELOAD) by the tests that start it
// as a process of its own: plays the user up to the manual target page, types
// the camera of QRV_DRIVE_TARGET (address, admin / admin), presses Next, and
// tells on standard output what it did and every message box that opens, so
// that the test knows where the program stands when it signals it.

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

void Tell(const QString& line) {
    std::printf("driver: %s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QWidget* FindWizard() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->findChild<QStackedWidget*>(QStringLiteral("pageArea"))) return window;
    }
    return nullptr;
}

void TypeInto(QWidget* wizard, const char* name, const QString& text) {
    auto* field = wizard->findChild<QLineEdit*>(QString::fromLatin1(name));
    if (!field) return;
    field->clear();
    QTest::keyClicks(field, text);
}

void Click(QWidget* wizard, const char* name) {
    // Queued: Next may open a box or wait for a probe in a loop of its own,
    // and this driver's ticks must go on meanwhile.
    auto* button = wizard->findChild<QAbstractButton*>(QString::fromLatin1(name));
    if (button && button->isEnabled()) QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

// One step per tick: the page shown decides what a user would do next.
void Step(bool& targetSent, QSet<QWidget*>& boxesSeen) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box && box->isVisible() && !boxesSeen.contains(box)) {
            boxesSeen.insert(box);
            Tell(QStringLiteral("box: ") + box->text());
        }
    }
    QWidget* wizard = FindWizard();
    if (!wizard || targetSent) return;
    const QString page = wizard->findChild<QStackedWidget*>(QStringLiteral("pageArea"))->currentWidget()->objectName();
    if (page == QLatin1String("AgreementPage")) Click(wizard, "agree");
    if (page == QLatin1String("ModeSelectPage")) Click(wizard, "manualMode");
    if (page == QLatin1String("ManualTargetPage")) {
        const QStringList address = qEnvironmentVariable("QRV_DRIVE_TARGET").split(QLatin1Char('.'));
        for (int i = 0; i < 4; ++i) {
            TypeInto(wizard, QStringLiteral("field%1").arg(i).toLatin1().constData(), address.value(i));
        }
        TypeInto(wizard, "adminName", QStringLiteral("admin"));
        TypeInto(wizard, "adminPassword", QStringLiteral("admin"));
        targetSent = true;
        Tell(QStringLiteral("next on the target page"));
    }
    Click(wizard, "next");
}

void StartDriver() {
    if (qEnvironmentVariableIsEmpty("QRV_DRIVE_TARGET")) return;
    auto* ticks = new QTimer(QCoreApplication::instance());
    auto targetSent = std::make_shared<bool>(false);
    auto boxesSeen = std::make_shared<QSet<QWidget*>>();
    QObject::connect(ticks, &QTimer::timeout, ticks, [targetSent, boxesSeen] { Step(*targetSent, *boxesSeen); });
    ticks->start(50);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriver)
