#include "ui/UpgradeWizardDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "discovery/DiscoveryWindow.h"
#include "engine/CameraClient.h"
#include "engine/JobStage.h"
#include "platform/Text.h"
#include "report/ReportFiles.h"
#include "resources/ResourcePack.h"
#include "resources/VersionBlock.h"
#include "serial_protect/SerialRules.h"
#include "ui/AgreementPage.h"
#include "ui/BusyWait.h"
#include "ui/FirstPage.h"
#include "ui/ManualProgressPage.h"
#include "ui/ManualTargetPage.h"
#include "ui/ModeSelectPage.h"
#include "ui/QtOwnerPort.h"
#include "ui/UiPictures.h"
#include "ui/UiText.h"
#include "ui/WizardNextButton.h"

namespace qrv {

namespace {

constexpr int kMsgNext = 159;
constexpr int kMsgBack = 162;
constexpr int kMsgCancel = 165;
constexpr int kMsgFinishManual = 194;
constexpr int kMsgRetry = 195;
constexpr int kMsgInProgress = 200;
constexpr int kMsgQuit = 248;
constexpr int kMsgUpgrade = 266;
constexpr int kMsgAbort = 267;
constexpr int kMsgFinishBatch = 268;
constexpr int kEmergencyBitmap = 193;

}  // namespace

UpgradeWizardDialog::UpgradeWizardDialog(WizardOptions options, QWidget* parent)
    : QDialog(parent),
      options_(options),
      port_(std::make_unique<QtOwnerPort>(this, [this](int id) { OnTimer(id); })),
      package_(EmbeddedResources(), port_.get()) {
    setWindowIcon(QIcon(ProgramIconPicture()));
    setWindowTitle(QString::fromUtf8(ProgramVersionBlock().fileDescription.data(),
                                     static_cast<qsizetype>(ProgramVersionBlock().fileDescription.size())));
    package_.LoadAll();
    discoveryTable_.SetModels(package_.Models());
    BuildWindow();
    ns_serial_protect::InitSerialRules();
    CreatePages();
    session_ = std::make_unique<ManualUpgradeSession>(*port_, package_, options_.timing, static_cast<ManualSessionView*>(this));
    StartDiscovery();
    step_ = kFirst;
    ShowStep();
}

UpgradeWizardDialog::~UpgradeWizardDialog() {
    closing_ = true;
    port_->RefuseWorkerBoxes();
    StopDiscovery();
    session_.reset();
}

void UpgradeWizardDialog::BuildWindow() {
    pageArea_ = new QStackedWidget(this);
    pageArea_->setObjectName(QStringLiteral("pageArea"));
    back_ = new QPushButton(Message(kMsgBack, port_.get()), this);
    back_->setObjectName(QStringLiteral("back"));
    next_ = new WizardNextButton(Message(kMsgNext, port_.get()), this);
    next_->setObjectName(QStringLiteral("next"));
    cancel_ = new QPushButton(Message(kMsgCancel, port_.get()), this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    // Enter runs the focused button; with the focus elsewhere, Next (OnOK).
    for (QPushButton* button : {back_, static_cast<QPushButton*>(next_), cancel_}) {
        button->setAutoDefault(true);
        button->setMinimumWidth(std::max(button->sizeHint().width(), 88));
    }
    next_->setDefault(true);
    connect(back_, &QPushButton::clicked, this, &UpgradeWizardDialog::OnBack);
    connect(next_, &QPushButton::clicked, this, &UpgradeWizardDialog::OnNext);
    connect(cancel_, &QPushButton::clicked, this, &UpgradeWizardDialog::OnCancel);
    connect(next_, &WizardNextButton::HiddenModeRequested, this, &UpgradeWizardDialog::OnHiddenModeCommand);

    emergencyPicture_ = new QLabel(this);
    emergencyPicture_->setObjectName(QStringLiteral("emergencyPicture"));
    emergencyPicture_->setPixmap(BitmapPicture(kEmergencyBitmap));
    emergencyPicture_->setToolTip(QStringLiteral("The camera is in its emergency state."));
    emergencyPicture_->hide();

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(emergencyPicture_);
    buttons->addStretch(1);
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addSpacing(12);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addWidget(pageArea_, 1);
    layout->addSpacing(6);
    layout->addWidget(rule);
    layout->addLayout(buttons);
    // Wide enough for the camera list's seven columns beside a scroll bar.
    setMinimumSize(640, 470);
}

void UpgradeWizardDialog::CreatePages() {
    const ModelList& models = package_.Models();
    const QString modelName = models.empty() ? QString() : ToQString(ToWide(models.front()));
    firstPage_ = new FirstPage(*port_, modelName, ToQString(ToWide(package_.CarriedVersion())), this, pageArea_);
    agreementPage_ = new AgreementPage(*port_, next_, pageArea_);
    modePage_ = new ModeSelectPage(*port_, pageArea_);
    targetPage_ = new ManualTargetPage(*port_, pageArea_);
    progressPage_ = new ManualProgressPage(*port_, pageArea_);
    resultPage_ = new ResultPage(*port_, pageArea_);
    autoPages_ = MakeAutoModePages(*this, pageArea_);
    firstPage_->setObjectName(QStringLiteral("FirstPage"));
    agreementPage_->setObjectName(QStringLiteral("AgreementPage"));
    modePage_->setObjectName(QStringLiteral("ModeSelectPage"));
    targetPage_->setObjectName(QStringLiteral("ManualTargetPage"));
    progressPage_->setObjectName(QStringLiteral("ManualProgressPage"));
    resultPage_->setObjectName(QStringLiteral("ResultPage"));
    autoPages_.list->setObjectName(QStringLiteral("AutoCameraListPage"));
    autoPages_.progress->setObjectName(QStringLiteral("AutoProgressPage"));
    for (QWidget* page : std::initializer_list<QWidget*>{firstPage_, agreementPage_, modePage_, targetPage_,
                                                          progressPage_, resultPage_, autoPages_.list,
                                                          autoPages_.progress}) {
        pageArea_->addWidget(page);
    }
    // Tab reaches the buttons after the page above them, as they are drawn.
    QWidget* last = previousInFocusChain();
    for (QWidget* button : std::initializer_list<QWidget*>{back_, next_, cancel_}) {
        setTabOrder(last, button);
        last = button;
    }
}

void UpgradeWizardDialog::StartDiscovery() {
    discovery_ = std::make_unique<DiscoveryWindow>(discoveryTable_, *port_, options_.timing);
    discovery_->Begin();
}

void UpgradeWizardDialog::StopDiscovery() {
    if (!discovery_) return;
    discovery_->StopAndWait();
    discovery_.reset();
}

bool UpgradeWizardDialog::IsDiscoveryRunning() const { return discovery_ && discovery_->IsRunning(); }

bool UpgradeWizardDialog::IsEmergencyPictureShown() const { return !emergencyPicture_->isHidden(); }

QPushButton* UpgradeWizardDialog::NextButton() const { return next_; }

QWidget* UpgradeWizardDialog::CurrentPage() const { return pageArea_->currentWidget(); }

// ---- steps -----------------------------------------------------------------------

void UpgradeWizardDialog::ShowStep() {
    switch (step_) {
    case kFirst:
        pageArea_->setCurrentWidget(firstPage_);
        back_->setEnabled(false);
        next_->setEnabled(true);
        break;
    case kAgreement:
        pageArea_->setCurrentWidget(agreementPage_);
        back_->setEnabled(true);
        next_->setEnabled(agreementPage_->IsAgreed());
        break;
    case kMode:
        pageArea_->setCurrentWidget(modePage_);
        // Coming back from the automatic list, Next may have been left off.
        back_->setEnabled(true);
        next_->setEnabled(true);
        modePage_->PrepareShow();
        break;
    case kManualTarget:
        targetPage_->SetDiscoveredCameras(&discoveryTable_);
        pageArea_->setCurrentWidget(targetPage_);
        emergencyPicture_->hide();
        next_->setText(Message(kMsgNext, port_.get()));
        back_->setEnabled(true);
        next_->setEnabled(true);
        cancel_->setEnabled(true);
        SetCloseEnabled(true);
        targetPage_->FocusAddress();
        break;
    case kManualConfirm: {
        pageArea_->setCurrentWidget(progressPage_);
        progressPage_->ResetProgress();
        progressPage_->SetNotice(u"");
        SetButtonMode(ButtonMode::Upgrade);
        progressPage_->SetAddressText(ToWide(targetAddress_));
        progressPage_->SetCurrentVersion(session_->LastProbe().versionBefore);
        progressPage_->SetNewVersion(ToWide(package_.CarriedVersion()));
        next_->setFocus();
        break;
    }
    case kManualRunning:
        pageArea_->setCurrentWidget(progressPage_);
        EnterRunningStep();
        break;
    case kManualResult:
        pageArea_->setCurrentWidget(resultPage_);
        back_->setText(Message(kMsgRetry, port_.get()));
        back_->setEnabled(true);
        next_->setEnabled(false);
        cancel_->setText(Message(kMsgFinishManual, port_.get()));
        cancel_->setEnabled(true);
        SetCloseEnabled(true);
        resultPage_->SetAddressText(ToWide(targetAddress_));
        resultPage_->SetResultVersion(ToWide(package_.CarriedVersion()));
        confirmOnCancel_ = false;
        cancel_->setFocus();
        break;
    case kAutoList:
        autoPages_.list->SetDiscovery(discoveryTable_, hiddenAddressing_);
        pageArea_->setCurrentWidget(autoPages_.list);
        autoPages_.list->OnShown();
        break;
    case kAutoProgress:
        pageArea_->setCurrentWidget(autoPages_.progress);
        autoPages_.progress->OnShown();
        break;
    default:  // 9 and 10: the automatic run goes on, the page stays
        break;
    }
    emit StepShown(step_);
}

// Step 5: from here on the window cannot be left until the job reports.
void UpgradeWizardDialog::EnterRunningStep() {
    back_->setEnabled(false);
    next_->setEnabled(false);
    cancel_->setEnabled(false);
    SetCloseEnabled(false);
    progressPage_->SetNotice(MessageU16(kMsgInProgress, port_.get()));
    const SetupDataMode mode = targetPage_->Mode();
    manualStarted_ = WallNow();
    manualReportPending_ = true;
    port_->ForgetLastBox();
    session_->Start(mode, &progressPage_->Progress());
}

// The record of the manual run, once it has ended, in the Reports folder; a
// failure is told in a box.
void UpgradeWizardDialog::WriteManualReport(bool stopped) {
    if (!manualReportPending_ || !session_ || (!stopped && !session_->IsFinished())) return;
    manualReportPending_ = false;
    BatchReport report = NewReport(package_, manualStarted_);
    report.records.push_back(RecordOfManualSession(*session_, targetAddress_, targetPage_->Mode(), manualStarted_,
                                                   WallNow(), report.carriedVersion,
                                                   ToUtf8(port_->LastBoxText())));
    std::string error;
    if (WriteProgramReport(report, manualStarted_, manualReportPath_, error)) return;
    Ask(*port_, u"The report of this upgrade could not be written to " + FromUtf8(manualReportPath_) + u": " +
                    FromUtf8(error) + u".",
        kCaptionInformation, BoxIcon::Exclamation, BoxButtons::Ok);
}

void UpgradeWizardDialog::SetButtonMode(ButtonMode mode) {
    if (finished_) return;
    switch (mode) {
    case ButtonMode::NextOff:
        next_->setText(Message(kMsgNext, port_.get()));
        next_->setEnabled(false);
        break;
    case ButtonMode::NextOn:
        next_->setText(Message(kMsgNext, port_.get()));
        next_->setEnabled(true);
        break;
    case ButtonMode::Upgrade:
        next_->setText(Message(kMsgUpgrade, port_.get()));
        next_->setEnabled(true);
        break;
    case ButtonMode::Abort:
        next_->setText(Message(kMsgAbort, port_.get()));
        next_->setEnabled(true);
        back_->setEnabled(false);
        cancel_->setEnabled(false);
        step_ = kAutoAbortArmed;
        SetCloseEnabled(false);
        abortArmed_ = true;
        break;
    case ButtonMode::Finish:
        next_->setEnabled(false);
        cancel_->setText(Message(kMsgFinishBatch, port_.get()));
        cancel_->setEnabled(true);
        SetCloseEnabled(true);
        finished_ = true;
        confirmOnCancel_ = false;
        break;
    case ButtonMode::Locked:
        next_->setEnabled(false);
        back_->setEnabled(false);
        cancel_->setEnabled(true);
        confirmOnCancel_ = false;
        break;
    default: break;
    }
}

void UpgradeWizardDialog::RestoreButtonLabels() {
    next_->setText(Message(kMsgNext, port_.get()));
    back_->setText(Message(kMsgBack, port_.get()));
    cancel_->setText(Message(kMsgCancel, port_.get()));
}

void UpgradeWizardDialog::SetCloseEnabled(bool enabled) {
    // Checked by closeEvent; changing the window's flags instead would hide
    // and re-show the window on some desktops.
    closeEnabled_ = enabled;
}

// ---- buttons ---------------------------------------------------------------------

void UpgradeWizardDialog::OnNext() {
    if (!next_->isEnabled() || busy_ || closing_ || ending_) return;
    if (abortArmed_) {
        next_->setEnabled(false);
        autoPages_.progress->Abort();
    }
    if (finished_) {
        CloseWizard(QDialog::Accepted);
        return;
    }
    switch (step_) {
    case kMode:
        if (modePage_->GetMode() == ModeSelectPage::kManual) {
            step_ = kManualTarget;
        } else {
            step_ = kAutoList;
            next_->setEnabled(discoveryTable_.StopRequested());
        }
        confirmOnCancel_ = true;
        break;
    case kManualTarget:
        NextFromTarget();
        return;
    case kManualConfirm:
        NextFromConfirmation();
        return;
    case kAutoList:
        autoPages_.progress->RebuildOnNextShow();
        step_ = kAutoProgress;
        break;
    case kAutoProgress:
        autoPages_.progress->StartBatch();
        break;
    default:
        ++step_;
        break;
    }
    ShowStep();
}

std::string UpgradeWizardDialog::EncodedCredentials() {
    return CameraClient::Base64Encode(ToNarrow(targetPage_->GetCredentialText()));
}

void UpgradeWizardDialog::NextFromTarget() {
    if (hiddenAddressing_ && !targetPage_->CheckDuplicateAddress()) {
        SetButtonMode(ButtonMode::Locked);
        return;
    }
    if (!targetPage_->Validate()) return;
    targetAddress_ = targetPage_->GetAddressText();
    targetCredentials_ = EncodedCredentials();
    busy_ = true;
    const bool accepted = RunBusy([this] { return session_->ProbeTarget(targetAddress_, targetCredentials_); });
    busy_ = false;
    if (!accepted || ending_) return;
    progressPage_->SetStage(kStandby);
    progressPage_->SetSetupData(targetPage_->Retain(), targetPage_->Backup());
    step_ = kManualConfirm;
    ShowStep();
}

void UpgradeWizardDialog::NextFromConfirmation() {
    targetCredentials_ = EncodedCredentials();
    busy_ = true;
    const bool confirmed = RunBusy([this] { return session_->ConfirmUpgrade(targetCredentials_); });
    busy_ = false;
    if (!confirmed || ending_) return;
    step_ = kManualRunning;
    ShowStep();
}

void UpgradeWizardDialog::OnBack() {
    if (!back_->isEnabled() || busy_ || closing_ || ending_) return;
    switch (step_) {
    case kManualTarget:
        step_ = kMode;
        break;
    case kManualResult:
        step_ = kManualTarget;
        RestoreButtonLabels();
        confirmOnCancel_ = true;
        break;
    case kAutoList:
        step_ = kMode;
        next_->setText(Message(kMsgNext, port_.get()));
        break;
    case kAutoProgress:
    case kAutoAbortArmed:
    case kAutoAborting:
        step_ = kAutoList;
        RestoreButtonLabels();
        abortArmed_ = false;
        finished_ = false;
        break;
    default:
        --step_;
        break;
    }
    ShowStep();
}

void UpgradeWizardDialog::OnOK() {
    if (back_->hasFocus()) {
        OnBack();
    } else if (cancel_->hasFocus()) {
        OnCancel();
    } else {
        OnNext();
    }
}

void UpgradeWizardDialog::OnCancel() {
    if (!cancel_->isEnabled() || busy_ || closing_ || ending_) return;
    if (confirmOnCancel_) {
        const BoxAnswer answer = Ask(*port_, MessageU16(kMsgQuit, port_.get()), kCaptionInformation,
                                     BoxIcon::Question, BoxButtons::YesNo);
        if (answer != BoxAnswer::Yes) return;
    }
    CloseWizard(QDialog::Rejected);
}

// Every way out: discovery stopped and waited for, the manual run and its
// saved-configuration object released, then the window closes.
void UpgradeWizardDialog::CloseWizard(int result) {
    if (autoPages_.progress) autoPages_.progress->WriteUnwrittenReport();
    closing_ = true;
    StopDiscovery();
    port_->RefuseWorkerBoxes();
    session_.reset();
    done(result);
}

int UpgradeWizardDialog::exec() {
    ownLoopLevel_ = QThread::currentThread()->loopLevel() + 1;
    return QDialog::exec();
}

void UpgradeWizardDialog::EndSession() {
    if (closing_) return;
    ending_ = true;
    port_->RefuseAllBoxes();
    // A probe under way ends now instead of at its inquiry's time-out.
    if (session_) session_->CancelProbes();
    // Boxes, the login and add-cameras dialogs, the file dialog and the
    // upgrade log: each runs its own loop that would outlive the window.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog && dialog != this && dialog->isVisible()) dialog->reject();
    }
    // The code that opened a dialog, or waits for a probe, still uses the
    // manual run: it is released only once that code has returned.
    if (busy_ || QThread::currentThread()->loopLevel() > ownLoopLevel_) {
        QTimer::singleShot(20, this, &UpgradeWizardDialog::EndSession);
        return;
    }
    // A manual upgrade that is running keeps its record: stopped and joined first.
    if (manualReportPending_ && session_) {
        session_->Stop();
        WriteManualReport(true);
    }
    CloseWizard(QDialog::Rejected);
}

void UpgradeWizardDialog::OnHiddenModeCommand() {
    if (step_ != kFirst) return;
    Ask(*port_, u"I become 'Quorrin' mode.\nThis mode would be released from using IP address strictly.",
        kCaptionInformation, BoxIcon::Information, BoxButtons::Ok);
    hiddenAddressing_ = true;
}

// ---- events ----------------------------------------------------------------------

bool UpgradeWizardDialog::event(QEvent* event) {
    if (event->type() == JobMessageEvent::Type()) {
        auto* message = static_cast<JobMessageEvent*>(event);
        OnJobMessage(message->WParam(), message->LParam());
        return true;
    }
    return QDialog::event(event);
}

void UpgradeWizardDialog::OnJobMessage(int wParam, int lParam) {
    if (session_ && !closing_) session_->OnJobMessage(wParam, lParam);
}

void UpgradeWizardDialog::OnTimer(int id) {
    if (closing_) return;
    if (discovery_ && discovery_->OnTimer(id)) return;
    if (session_) session_->OnTimer(id);
}

void UpgradeWizardDialog::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            OnOK();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            OnCancel();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void UpgradeWizardDialog::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    event->ignore();
    if (!closeEnabled_ || busy_) return;
    if (cancel_->isEnabled()) {
        OnCancel();
        return;
    }
    // The Close command is available while Cancel is not (never in practice):
    // leave the same clean way.
    CloseWizard(QDialog::Rejected);
}

void UpgradeWizardDialog::reject() { OnCancel(); }

void UpgradeWizardDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    emit Painted();
}

// ---- the manual run reports here ---------------------------------------------------

void UpgradeWizardDialog::ShowStage(int stage) { progressPage_->SetStage(stage); }

// The manual run names the wizard's steps by their numbers.
static_assert(static_cast<int>(ManualStep::Target) == UpgradeWizardDialog::kManualTarget &&
              static_cast<int>(ManualStep::Confirm) == UpgradeWizardDialog::kManualConfirm &&
              static_cast<int>(ManualStep::Running) == UpgradeWizardDialog::kManualRunning &&
              static_cast<int>(ManualStep::Result) == UpgradeWizardDialog::kManualResult);

void UpgradeWizardDialog::ShowStep(ManualStep step) {
    if (closing_) return;
    WriteManualReport();
    if (step == ManualStep::Target) {
        RestoreButtonLabels();
        back_->setEnabled(true);
        next_->setEnabled(true);
        cancel_->setEnabled(true);
        SetCloseEnabled(true);
        step_ = kManualTarget;
        // ShowStep puts the focus into the address, as on every showing.
        ShowStep();
        return;
    }
    step_ = static_cast<int>(step);
    ShowStep();
}

void UpgradeWizardDialog::ShowEmergencyPicture(bool shown) { emergencyPicture_->setVisible(shown); }

}  // namespace qrv
