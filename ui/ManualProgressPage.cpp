#include "ui/ManualProgressPage.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextDocument>
#include <QTextOption>
#include <QVBoxLayout>

#include <algorithm>

#include "engine/JobStage.h"
#include "ui/ProgressBarSink.h"
#include "ui/UiText.h"

namespace qrv {

namespace {

QLineEdit* ReadOnlyLine(const QString& name, QWidget* parent, bool centred = false) {
    auto* line = new QLineEdit(parent);
    line->setObjectName(name);
    line->setReadOnly(true);
    line->setFocusPolicy(Qt::NoFocus);
    if (centred) {
        // A status line of the page rather than a field: no frame, no white box.
        line->setAlignment(Qt::AlignCenter);
        line->setFrame(false);
        QPalette palette = line->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        line->setPalette(palette);
    }
    return line;
}

QGroupBox* TargetGroup(OwnerPort& owner, QLineEdit* address, QWidget* parent) {
    auto* group = new QGroupBox(Message(218, &owner), parent);
    group->setObjectName(QStringLiteral("targetGroup"));
    auto* form = new QFormLayout(group);
    form->addRow(Message(219, &owner), address);
    return group;
}

}  // namespace

void StyleProgressBar(QProgressBar* bar) {
    bar->setObjectName(QStringLiteral("progress"));
    bar->setRange(0, ManualProgressPage::kProgressRange);
    bar->setTextVisible(false);
    bar->setFixedHeight(18);
    bar->setStyleSheet(QStringLiteral("QProgressBar { border: 1px solid palette(mid); background: palette(base); }"
                                      "QProgressBar::chunk { background-color: rgb(10, 36, 106); }"));
}

ManualProgressPage::ManualProgressPage(OwnerPort& owner, QWidget* parent)
    : WizardPage(owner, parent),
      address_(ReadOnlyLine(QStringLiteral("address"), this)),
      currentVersion_(ReadOnlyLine(QStringLiteral("currentVersion"), this)),
      newVersion_(ReadOnlyLine(QStringLiteral("newVersion"), this)),
      notice_(ReadOnlyLine(QStringLiteral("notice"), this, true)),
      stage_(ReadOnlyLine(QStringLiteral("stage"), this, true)),
      setupData_(ReadOnlyLine(QStringLiteral("setupData"), this, true)),
      bar_(new QProgressBar(this)),
      sink_(std::make_unique<ProgressBarSink>(bar_)) {
    StyleProgressBar(bar_);
    bar_->setValue(0);
    MakeHeading(notice_, 0);

    auto* versions = new QGroupBox(Message(237, &Owner()), this);
    versions->setObjectName(QStringLiteral("versionGroup"));
    auto* versionForm = new QFormLayout(versions);
    versionForm->addRow(Message(236, &Owner()), currentVersion_);
    versionForm->addRow(Message(238, &Owner()), newVersion_);

    auto* target = TargetGroup(Owner(), address_, this);
    // Both groups' labels take the wider of the two widths, so the fields align.
    auto* targetForm = static_cast<QFormLayout*>(target->layout());
    const int labelWidth = std::max({targetForm->itemAt(0, QFormLayout::LabelRole)->sizeHint().width(),
                                     versionForm->itemAt(0, QFormLayout::LabelRole)->sizeHint().width(),
                                     versionForm->itemAt(1, QFormLayout::LabelRole)->sizeHint().width()});
    for (QFormLayout* form : {targetForm, versionForm}) {
        for (int row = 0; row < form->rowCount(); ++row) {
            form->itemAt(row, QFormLayout::LabelRole)->widget()->setMinimumWidth(labelWidth);
        }
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(target);
    layout->addWidget(versions);
    layout->addStretch(1);
    layout->addWidget(notice_);
    layout->addWidget(stage_);
    layout->addWidget(setupData_);
    layout->addSpacing(6);
    layout->addWidget(bar_);
}

ManualProgressPage::~ManualProgressPage() = default;

void ManualProgressPage::SetAddressText(const std::u16string& text) { address_->setText(ToQString(text)); }
void ManualProgressPage::SetCurrentVersion(const std::u16string& text) { currentVersion_->setText(ToQString(text)); }
void ManualProgressPage::SetNewVersion(const std::u16string& text) { newVersion_->setText(ToQString(text)); }
void ManualProgressPage::SetNotice(const std::u16string& text) { notice_->setText(ToQString(text)); }

void ManualProgressPage::SetStage(int stage) {
    if (stage == kStandby) {
        stage_->clear();
        return;
    }
    const int number = ManualStageMessage(stage);
    if (number != 0) stage_->setText(Message(number, &Owner()));
}

void ManualProgressPage::ResetProgress() { sink_->SetPosition(0); bar_->setValue(0); }

void ManualProgressPage::SetSetupData(bool retain, bool backup) {
    if (!retain) {
        setupData_->setText(QStringLiteral("Discard the current settings."));
    } else if (backup) {
        setupData_->setText(QStringLiteral("Retain and backup the current settings."));
    } else {
        setupData_->setText(QStringLiteral("Retain the current settings."));
    }
}

ProgressSink& ManualProgressPage::Progress() { return *sink_; }

QString ManualProgressPage::AddressText() const { return address_->text(); }
QString ManualProgressPage::CurrentVersion() const { return currentVersion_->text(); }
QString ManualProgressPage::NewVersion() const { return newVersion_->text(); }
QString ManualProgressPage::Notice() const { return notice_->text(); }
QString ManualProgressPage::StageText() const { return stage_->text(); }
QString ManualProgressPage::SetupDataText() const { return setupData_->text(); }

ResultPage::ResultPage(OwnerPort& owner, QWidget* parent)
    : WizardPage(owner, parent),
      address_(ReadOnlyLine(QStringLiteral("address"), this)),
      result_(new QPlainTextEdit(this)),
      bar_(new QProgressBar(this)) {
    StyleProgressBar(bar_);
    bar_->setValue(ManualProgressPage::kProgressRange);
    result_->setObjectName(QStringLiteral("resultText"));
    result_->setReadOnly(true);
    result_->setFocusPolicy(Qt::NoFocus);
    result_->setFrameShape(QFrame::NoFrame);
    result_->viewport()->setAutoFillBackground(false);
    result_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    result_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    result_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MakeHeading(result_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(TargetGroup(Owner(), address_, this));
    layout->addSpacing(16);
    layout->addWidget(result_, 1);
    layout->addWidget(bar_);
    SetResultText(Message(222, &Owner()));
}

void ResultPage::SetAddressText(const std::u16string& text) { address_->setText(ToQString(text)); }

void ResultPage::SetResultVersion(const std::u16string& version) {
    const std::u16string shortened = version.size() > 3 ? version.substr(3) : std::u16string();
    SetResultText(ToQString(MessageU16(222, &Owner()) + MessageU16(234, &Owner()) + shortened +
                            MessageU16(235, &Owner())));
}

// Every line centred, as the result box shows it.
void ResultPage::SetResultText(const QString& text) {
    QTextOption option = result_->document()->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    result_->document()->setDefaultTextOption(option);
    result_->setPlainText(text);
}

QString ResultPage::AddressText() const { return address_->text(); }
QString ResultPage::ResultText() const { return result_->toPlainText(); }

}  // namespace qrv
