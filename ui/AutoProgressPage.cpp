#include "ui/AutoProgressPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "engine/EngineMessages.h"
#include "platform/Clock.h"
#include "platform/Text.h"
#include "report/ReportFiles.h"
#include "batch/BatchRun.h"
#include "ui/ProgressListModel.h"
#include "ui/ProgressListView.h"
#include "ui/QtOwnerPort.h"
#include "ui/UiText.h"
#include "ui/UpgradeLogDialog.h"
#include "ui/UpgradeWizardDialog.h"

namespace qrv {

namespace {

// How often progress written by the workers is looked at.
constexpr int kProgressRefreshMs = 100;

}  // namespace

AutoProgressPage::AutoProgressPage(UpgradeWizardDialog& wizard, const TargetGrid& sourceGrid, QWidget* parent)
    : AutoProgressPageBase(wizard.Port(), parent),
      wizard_(wizard),
      sourceGrid_(sourceGrid),
      port_(std::make_unique<QtOwnerPort>(this, [this](int id) { batch_->OnTimer(id); })),
      batch_(std::make_unique<BatchRun>(*port_, wizard.Package(), wizard.Times())),
      model_(std::make_unique<ProgressListModel>(*batch_)),
      list_(new ProgressListView(*model_, this)),
      retain_(new QCheckBox(QStringLiteral("&Retain the current settings"), this)),
      backup_(new QCheckBox(QStringLiteral("Backup the current &settings"), this)),
      counter_(new QLabel(this)) {
    list_->setObjectName(QStringLiteral("progressList"));
    retain_->setObjectName(QStringLiteral("autoRetain"));
    backup_->setObjectName(QStringLiteral("autoBackup"));
    counter_->setObjectName(QStringLiteral("proceededCounter"));
    retain_->setChecked(true);
    backup_->setChecked(false);
    connect(retain_, &QCheckBox::clicked, this, &AutoProgressPage::OnRetainClicked);

    auto* title = new QLabel(QStringLiteral("Target camera(s):"), this);
    MakeHeading(title, 0);
    // The template says "Completed:"; the page shows what has been dealt with.
    auto* proceeded = new QLabel(QStringLiteral("Proceeded:"), this);
    auto* heading = new QHBoxLayout;
    heading->addWidget(title);
    heading->addStretch(1);
    heading->addWidget(proceeded);
    heading->addWidget(counter_);

    auto* setup = new QGroupBox(QStringLiteral("Setup data"), this);
    auto* setupLayout = new QHBoxLayout(setup);
    setupLayout->addWidget(retain_);
    setupLayout->addSpacing(24);
    setupLayout->addWidget(backup_);
    setupLayout->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(heading);
    layout->addWidget(list_, 1);
    NameForReader(list_, title->text());
    layout->addWidget(setup);

    counterTimer_.setInterval(static_cast<int>(wizard.Times().counterTick.count()));
    connect(&counterTimer_, &QTimer::timeout, this, &AutoProgressPage::RefreshCounter);
    confirmTimer_.setSingleShot(true);
    confirmTimer_.setInterval(static_cast<int>(wizard.Times().confirmDelay.count()));
    connect(&confirmTimer_, &QTimer::timeout, this, &AutoProgressPage::OnConfirmTimer);
    progressRefresh_.setInterval(kProgressRefreshMs);
    connect(&progressRefresh_, &QTimer::timeout, this, [this] { model_->RefreshProgress(); });
    progressRefresh_.start();
}

AutoProgressPage::~AutoProgressPage() {
    counterTimer_.stop();
    confirmTimer_.stop();
    progressRefresh_.stop();
    WriteBatchReport(false);
    model_.reset();
    // The jobs stop and join their workers while the rows and the port live.
    batch_.reset();
}

QString AutoProgressPage::CounterText() const { return counter_->text(); }

void AutoProgressPage::OnShown() {
    if (built_) return;
    BatchRun& list = *batch_;
    list.Clear();
    list.SetParallelJobs(wizard_.ParallelJobs());
    list.AddTargets(sourceGrid_);
    built_ = true;
    lastShown_ = -1;
    wizard_.SetButtonMode(UpgradeWizardDialog::ButtonMode::Upgrade);
    RefreshCounter();
    counterTimer_.start();
}

void AutoProgressPage::OnRetainClicked() {
    if (retain_->isChecked()) {
        backup_->setEnabled(true);
    } else {
        backup_->setEnabled(false);
        backup_->setChecked(false);
    }
}

void AutoProgressPage::StartBatch() {
    // Keep the saved configurations only when a backup was asked for.
    batchTime_ = WallNow();
    batch_->SetRunParameters(retain_->isChecked(), !backup_->isChecked(), batchTime_);
    retain_->setEnabled(false);
    backup_->setEnabled(false);
    confirmTimer_.start();
}

void AutoProgressPage::OnConfirmTimer() {
    const BoxAnswer answer = Ask(Owner(), MessageU16(kMsgProceed, &Owner()), kCaptionInformation,
                                 BoxIcon::Question, BoxButtons::OkCancel);
    if (answer != BoxAnswer::Ok) {
        // Back to the choice: both boxes can be changed again.
        retain_->setEnabled(true);
        backup_->setEnabled(true);
        return;
    }
    retain_->setEnabled(false);
    backup_->setEnabled(false);
    wizard_.SetButtonMode(UpgradeWizardDialog::ButtonMode::Abort);
    settings_ = MakeSetupDataMode(retain_->isChecked(), backup_->isChecked());
    reportPending_ = true;
    batch_->StartScheduler();
}

void AutoProgressPage::Abort() {
    if (isVisible()) batch_->SetCancel();
}

void AutoProgressPage::RefreshCounter() {
    const BatchRun& list = *batch_;
    const int rows = list.RowCount();
    const int done = rows - list.QueuedCount();
    if (done == lastShown_) return;
    lastShown_ = done;
    counter_->setText(QStringLiteral("%1/%2").arg(done).arg(rows));
    if (list.QueuedCount() != 0) return;
    counterTimer_.stop();
    wizard_.SetButtonMode(UpgradeWizardDialog::ButtonMode::Finish);
    WriteBatchReport(true);
    UpgradeLogDialog log(list, this);
    ++logShown_;
    emit UpgradeLogOpening(&log);
    log.exec();
}

// A window closed mid-batch: the jobs stop first, so that a save that was
// under way is either whole and named in the report or gone.
void AutoProgressPage::WriteUnwrittenReport() {
    if (reportPending_) batch_->StopJobs();
    WriteBatchReport(false);
}

void AutoProgressPage::WriteBatchReport(bool tell) {
    if (!reportPending_) return;
    reportPending_ = false;
    BatchReport report = NewReport(wizard_.Package(), batchTime_);
    AddRecordsOfList(report, *batch_, settings_);
    std::string error;
    if (WriteProgramReport(report, batchTime_, reportPath_, error) || !tell) return;
    Ask(Owner(), u"The report of this batch could not be written to " + FromUtf8(reportPath_) + u": " +
                     FromUtf8(error) + u".",
        kCaptionInformation, BoxIcon::Exclamation, BoxButtons::Ok);
}

}  // namespace qrv
