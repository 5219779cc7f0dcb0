// A Qt "generic" plugin that plays a user through the installed wizard
// program on Windows, where LD_PRELOAD does not exist: the wizard loads it
// through Qt's own plugin mechanism when started with
//   qrv-firmware-upgrade.exe -plugin qrvplayer      (QT_PLUGIN_PATH names this folder's parent)
// and the program itself stays as installed.
//
// With QRV_PLAYER_MODE=manual it runs the manual mode for the camera
// QRV_PLAYER_TARGET names (see PlayManual). Otherwise the automatic mode:
// agreement, automatic mode, the camera list
// once discovery has found QRV_PLAYER_CAMERAS cameras, Select all, Batch login with admin / admin, Next,
// Upgrade with OK in the confirmation, the upgrade log, Finish. Each page is
// photographed into QRV_SCREENSHOT_DIR (when set) as it is first shown, and
// every step and every box text is told on standard output, "player: ...".

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QGenericPlugin>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QStackedWidget>
#include <QTimer>

#include <cstdio>

namespace {

void Tell(const QString& line) {
    std::printf("player: %s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

void Photograph(QWidget* window, const QString& name) {
    const QString folder = qEnvironmentVariable("QRV_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    if (!window->grab().save(path)) Tell(QStringLiteral("cannot save ") + path);
}

// Queued: a click may open a box or a dialog that runs an event loop of its
// own, and the player's ticks must go on inside it.
void Press(QAbstractButton* button) {
    if (button && button->isEnabled() && button->isVisible()) {
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
    }
}

QAbstractButton* Button(QWidget* window, const char* name) {
    return window->findChild<QAbstractButton*>(QString::fromLatin1(name));
}

class Player : public QObject {
public:
    Player() {
        connect(&ticks_, &QTimer::timeout, this, &Player::Step);
        ticks_.start(100);
    }

private:
    QWidget* Wizard() const {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->findChild<QStackedWidget*>(QStringLiteral("pageArea"))) return window;
        }
        return nullptr;
    }

    // A box, a login dialog or the log: answered first, whatever the page.
    bool AnswerWindows() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible() || handled_.contains(window)) continue;
            if (auto* box = qobject_cast<QMessageBox*>(window)) {
                handled_.insert(box);
                Tell(QStringLiteral("box: ") + box->text());
                Photograph(box, QStringLiteral("box-%1").arg(++boxes_));
                Press(box->defaultButton() ? box->defaultButton() : box->buttons().value(0));
                return true;
            }
            if (window->objectName() == QLatin1String("BatchLoginDialog")) {
                handled_.insert(window);
                window->findChild<QLineEdit*>(QStringLiteral("adminName"))->setText(QStringLiteral("admin"));
                window->findChild<QLineEdit*>(QStringLiteral("adminPassword"))->setText(QStringLiteral("admin"));
                Photograph(window, QStringLiteral("batch-login"));
                Tell(QStringLiteral("batch login: admin"));
                Press(Button(window, "ok"));
                return true;
            }
            if (window->objectName() == QLatin1String("UpgradeLogDialog")) {
                handled_.insert(window);
                const auto* log = window->findChild<QPlainTextEdit*>();
                Tell(QStringLiteral("log: ") + (log ? log->toPlainText().replace(QLatin1Char('\n'), QLatin1String(" | "))
                                                    : QString()));
                QTimer::singleShot(300, window, [window] {
                    Photograph(window, QStringLiteral("upgrade-log"));
                    Press(Button(window, "close"));
                });
                return true;
            }
        }
        return false;
    }

    void Step() {
        if (AnswerWindows()) return;
        QWidget* wizard = Wizard();
        // The wizard itself runs modally; any other modal window waits for its answer.
        if (!wizard || (QApplication::activeModalWidget() && QApplication::activeModalWidget() != wizard)) return;
        const QString page =
            wizard->findChild<QStackedWidget*>(QStringLiteral("pageArea"))->currentWidget()->objectName();
        if (page != page_) {
            page_ = page;
            pageTicks_ = 0;
            Tell(QStringLiteral("page ") + page);
        }
        // A few ticks on each page first: painted, and for the list, discovered.
        if (++pageTicks_ == 5) Photograph(wizard, page);
        if (pageTicks_ < 6) return;
        if (page == QLatin1String("FirstPage")) Press(Button(wizard, "next"));
        if (page == QLatin1String("AgreementPage")) {
            Press(Button(wizard, "agree"));
            Press(Button(wizard, "next"));
        }
        if (page == QLatin1String("ModeSelectPage")) {
            Press(Button(wizard, manual_ ? "manualMode" : "automaticMode"));
            Press(Button(wizard, "next"));
        }
        if (manual_) {
            PlayManual(wizard, page);
            return;
        }
        if (page == QLatin1String("AutoCameraListPage")) {
            // Once discovery has found the cameras QRV_PLAYER_CAMERAS names,
            // every row gets admin / admin, which lets Next on.
            const auto* counter = wizard->findChild<QLabel*>(QStringLiteral("detectedCounter"));
            const QString found = qEnvironmentVariable("QRV_PLAYER_CAMERAS") + QLatin1Char('/');
            if (!loginGiven_ && counter && counter->text().startsWith(found) &&
                Button(wizard, "selectAll")->isEnabled()) {
                loginGiven_ = true;
                Press(Button(wizard, "selectAll"));
                Press(Button(wizard, "accessSetting"));
                Tell(QStringLiteral("select all, access setting"));
            } else if (loginGiven_ && pageTicks_ % 10 == 0) {
                Press(Button(wizard, "next"));
            }
        }
        if (page == QLatin1String("AutoProgressPage")) {
            QAbstractButton* cancel = Button(wizard, "cancel");
            if (!upgradePressed_) {
                upgradePressed_ = true;
                Tell(QStringLiteral("upgrade"));
                Press(Button(wizard, "next"));
            } else if (!finished_ && cancel->isEnabled() && cancel->text() == QLatin1String("&Finish")) {
                // The batch has ended and its log was read: the page as left, then Finish.
                finished_ = true;
                Photograph(wizard, QStringLiteral("AutoProgressPage-finished"));
                Tell(QStringLiteral("finish"));
                Press(cancel);
            }
        }
    }

    // The manual mode: the camera QRV_PLAYER_TARGET names, admin / admin,
    // its settings retained; Upgrade, OK, and Finish on the last page.
    void PlayManual(QWidget* wizard, const QString& page) {
        if (page == QLatin1String("ManualTargetPage") && !targetSent_) {
            targetSent_ = true;
            const QStringList address = qEnvironmentVariable("QRV_PLAYER_TARGET").split(QLatin1Char('.'));
            for (int i = 0; i < 4; ++i) {
                wizard->findChild<QLineEdit*>(QStringLiteral("field%1").arg(i))->setText(address.value(i));
            }
            wizard->findChild<QLineEdit*>(QStringLiteral("adminName"))->setText(QStringLiteral("admin"));
            wizard->findChild<QLineEdit*>(QStringLiteral("adminPassword"))->setText(QStringLiteral("admin"));
            if (!Button(wizard, "retain")->isChecked()) Press(Button(wizard, "retain"));
            Photograph(wizard, QStringLiteral("ManualTargetPage-filled"));
            Tell(QStringLiteral("target ") + address.join(QLatin1Char('.')));
            Press(Button(wizard, "next"));
        }
        if (page == QLatin1String("ManualProgressPage") && !upgradePressed_ && Button(wizard, "next")->isEnabled()) {
            upgradePressed_ = true;
            Tell(QStringLiteral("upgrade"));
            Press(Button(wizard, "next"));
        }
        QAbstractButton* cancel = Button(wizard, "cancel");
        if (page == QLatin1String("ResultPage") && !finished_ && cancel->text() == QLatin1String("&Finish")) {
            finished_ = true;
            Tell(QStringLiteral("finish"));
            Press(cancel);
        }
    }

    const bool manual_ = qEnvironmentVariable("QRV_PLAYER_MODE") == QLatin1String("manual");
    bool targetSent_ = false;
    QTimer ticks_;
    QSet<QWidget*> handled_;
    QString page_;
    int pageTicks_ = 0;
    int boxes_ = 0;
    bool loginGiven_ = false;
    bool upgradePressed_ = false;
    bool finished_ = false;
};

class PlayerPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "qrvplayer.json")

public:
    QObject* create(const QString& key, const QString&) override {
        if (key.compare(QLatin1String("qrvplayer"), Qt::CaseInsensitive) != 0) return nullptr;
        Tell(QStringLiteral("loaded"));
        return new Player;
    }
};

}  // namespace

#include "WizardPlayer.moc"
