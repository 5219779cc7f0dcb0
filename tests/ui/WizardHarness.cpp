#include "tests/ui/WizardHarness.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QRegularExpression>
#include <QCheckBox>
#include <QRadioButton>
#include <QTimer>

#include <ostream>

#include "platform/Text.h"
#include "ui/QtOwnerPort.h"

namespace qrv::test {

BoxRecorder::BoxRecorder() {
    SetBoxPresenter([this](QWidget* owner, const MessageBox& box) {
        boxes_.push_back(box);
        owners_.push_back(owner ? owner->objectName() : QString());
        if (onBox) onBox(box);
        if (!script_.empty()) {
            const BoxAnswer answer = script_.front();
            script_.pop_front();
            return answer;
        }
        return box.buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
    });
}

BoxRecorder::~BoxRecorder() { SetBoxPresenter({}); }

void BoxRecorder::Answer(std::initializer_list<BoxAnswer> answers) { script_.insert(script_.end(), answers); }

std::string Utf8(const std::u16string& text) { return ToUtf8(text); }

QJsonArray ReadWizardReport(const std::string& path, const QString& configRoot) {
    const QString file = QDir::fromNativeSeparators(QString::fromStdString(path));
    const QString folder = QDir::fromNativeSeparators(configRoot) + QStringLiteral("/VEXA/QRV FirmwareUpgrade/Reports/");
    EXPECT_TRUE(file.startsWith(folder)) << path;
    // <yymmddHHMMSS>.json, or <yymmddHHMMSS>-N.json for a later run in the same second
    EXPECT_TRUE(
        QFileInfo(file).fileName().contains(QRegularExpression(QStringLiteral("^[0-9]{12}(-[0-9]+)?\\.json$"))))
        << path;
#ifndef _WIN32
    // The file 0600 and its folder 0700: nobody else reads what was done.
    // (Windows gives them an owner-only access list instead, which Qt does
    // not read; the platform's own tests check it.)
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFileInfo(file).permissions() & others, QFile::Permissions()) << path;
    EXPECT_EQ(QFileInfo(QFileInfo(file).path()).permissions() & others, QFile::Permissions()) << path;
#endif
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no report at " << path;
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(in.readAll(), &error);
    if (!doc.isObject()) {
        ADD_FAILURE() << "the report does not parse: " << error.errorString().toStdString();
        return {};
    }
    const QJsonObject top = doc.object();
    EXPECT_EQ(top.value(QStringLiteral("carried_version")).toString(), QStringLiteral("1.30"));
    EXPECT_FALSE(top.value(QStringLiteral("batch_time")).toString().isEmpty());
    return top.value(QStringLiteral("records")).toArray();
}

MessageBox Box(const std::u16string& text, const std::u16string& caption, BoxIcon icon, BoxButtons buttons) {
    MessageBox box;
    box.text = text;
    box.caption = caption;
    box.icon = icon;
    box.buttons = buttons;
    return box;
}

void WizardTest::SetUp() {}

void WizardTest::TearDown() {
    if (wizard_ && !closed_) wizard_->CloseWizard(QDialog::Rejected);
    wizard_.reset();
}

UpgradeWizardDialog& WizardTest::OpenWizard(double timeScale, int parallelJobs) {
    closed_ = false;
    wizard_ = std::make_unique<UpgradeWizardDialog>(WizardOptions{Timing::Production().Scaled(timeScale), parallelJobs});
    QObject::connect(wizard_.get(), &QDialog::finished, [this] { closed_ = true; });
    QObject::connect(wizard_.get(), &UpgradeWizardDialog::StepShown, [this] {
        if (wizard_ && wizard_->isVisible()) Screenshot(wizard_->CurrentPage()->objectName().toStdString());
    });
    boxes_.onBox = [this](const MessageBox&) {
        if (wizard_ && wizard_->isVisible()) Screenshot("box");
    };
    wizard_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(wizard_.get()));
    Screenshot(wizard_->CurrentPage()->objectName().toStdString());
    return *wizard_;
}

void WizardTest::Screenshot(const std::string& name, QWidget* widget) {
    const QByteArray root = qgetenv("QRV_SCREENSHOT_DIR");
    const QString dir = root.isEmpty() ? QStringLiteral("screenshots") : QString::fromLocal8Bit(root);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString test = info ? QStringLiteral("%1.%2").arg(info->test_suite_name(), info->name())
                              : QStringLiteral("wizard");
    if (shots_ == 0) QDir(dir + QLatin1Char('/') + test).removeRecursively();
    QDir().mkpath(dir + QLatin1Char('/') + test);
    const QString file = QStringLiteral("%1/%2/%3-%4.png")
                             .arg(dir, test)
                             .arg(++shots_, 2, 10, QLatin1Char('0'))
                             .arg(QString::fromStdString(name));
    (widget ? widget : wizard_.get())->grab().save(file);
}

void WizardTest::Click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    // Radios and check boxes take clicks on their indicator and caption only,
    // which sit at the left of a widget that the layout may make wide.
    const bool indicator = qobject_cast<QRadioButton*>(button) || qobject_cast<QCheckBox*>(button);
    const QPoint where = indicator ? QPoint(8, button->height() / 2) : button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, where);
    QApplication::processEvents();
}

void WizardTest::PressEnter() {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : wizard_.get(), Qt::Key_Return);
    QApplication::processEvents();
}

void WizardTest::Type(QLineEdit* field, const QString& text) {
    ASSERT_NE(field, nullptr);
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    if (!text.isEmpty()) QTest::keyClicks(field, text);
}

void WizardTest::GoToManualTarget() {
    ClickNext();
    Click(Find<QRadioButton>("agree"));
    ClickNext();
    Click(Find<QRadioButton>("manualMode"));
    ClickNext();
    ASSERT_EQ(Wizard().WizardStep(), UpgradeWizardDialog::kManualTarget);
}

void WizardTest::FillTarget(const QStringList& address, const QString& name, const QString& password) {
    for (int i = 0; i < 4; ++i) {
        Type(Find<QLineEdit>(QStringLiteral("field%1").arg(i).toLatin1().constData()),
             i < address.size() ? address[i] : QString());
    }
    Type(Find<QLineEdit>("adminName"), name);
    Type(Find<QLineEdit>("adminPassword"), password);
}

void WizardTest::ChooseCustomPort(const QString& port) {
    Click(Find<QRadioButton>("customPortChoice"));
    Type(Find<QLineEdit>("customPort"), port);
}

bool WizardTest::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return QTest::qWaitFor(done, static_cast<int>(limit.count()));
}

QString WizardTest::Text(const char* objectName) const {
    if (auto* line = wizard_->findChild<QLineEdit*>(QString::fromLatin1(objectName))) return line->text();
    if (auto* label = wizard_->findChild<QLabel*>(QString::fromLatin1(objectName))) return label->text();
    return {};
}

}  // namespace qrv::test

namespace qrv {

// Readable box values in assertion messages.
void PrintTo(const MessageBox& box, std::ostream* out) {
    *out << "{\"" << ToUtf8(box.text) << "\", caption \"" << ToUtf8(box.caption) << "\", icon "
         << static_cast<int>(box.icon) << ", buttons " << static_cast<int>(box.buttons) << "}";
}

}  // namespace qrv
