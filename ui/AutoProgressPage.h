#pragma once
// Step 8 of the wizard: one row per target with its progress and status, the
// setup data choice, the confirmation, and the batch running on the progress
// list's scheduler until every job has left the queue; then the counter reads
// n/n, Cancel becomes "&Finish" and the upgrade log opens once.

#include <QTimer>

#include <memory>
#include <string>

#include "engine/SetupDataMode.h"
#include "platform/Clock.h"

#include "ui/AutoModePages.h"

class QCheckBox;
class QLabel;

namespace qrv {

class BatchRun;
class ProgressListModel;
class ProgressListView;
class QtOwnerPort;
class TargetGrid;
class UpgradeWizardDialog;

// Owns the batch (on a port of its own, whose timers drive the scheduler and
// the jobs); the progress list view shows its rows through their model.
class AutoProgressPage : public AutoProgressPageBase {
    Q_OBJECT
public:
    // The rows are made from `sourceGrid`'s targets on each rebuild.
    AutoProgressPage(UpgradeWizardDialog& wizard, const TargetGrid& sourceGrid, QWidget* parent);
    ~AutoProgressPage() override;

    void RebuildOnNextShow() override { built_ = false; }
    void OnShown() override;
    void StartBatch() override;
    void Abort() override;
    void WriteUnwrittenReport() override;

    BatchRun& Batch() const { return *batch_; }
    ProgressListView& ListView() const { return *list_; }
    QCheckBox* RetainBox() const { return retain_; }
    QCheckBox* BackupBox() const { return backup_; }
    QString CounterText() const;
    // How often the upgrade log has been opened.
    int LogShownCount() const { return logShown_; }
    // The report file of the last batch (empty before the first is written).
    const std::string& LastReportPath() const { return reportPath_; }

signals:
    // The upgrade log is about to open (tests read it from here).
    void UpgradeLogOpening(QWidget* dialog);

private:
    void OnRetainClicked();
    void OnConfirmTimer();
    void RefreshCounter();
    // Writes the batch's report once; a failure is told in a box when `tell`.
    void WriteBatchReport(bool tell);

    UpgradeWizardDialog& wizard_;
    const TargetGrid& sourceGrid_;
    std::unique_ptr<QtOwnerPort> port_;
    std::unique_ptr<BatchRun> batch_;  // after the port: its jobs stop first
    std::unique_ptr<ProgressListModel> model_;
    QTimer progressRefresh_;  // progress written by the workers is looked at
    ProgressListView* list_;
    QCheckBox* retain_;
    QCheckBox* backup_;
    QLabel* counter_;
    bool built_ = false;
    int lastShown_ = -1;
    int logShown_ = 0;
    WallTime batchTime_{};
    SetupDataMode settings_ = SetupDataMode::Discard;
    bool reportPending_ = false;  // a batch started and its report is not written yet
    std::string reportPath_;
    QTimer counterTimer_;  // the counter and the end of the batch
    QTimer confirmTimer_;  // "&Upgrade" pressed -> the confirmation box
};

}  // namespace qrv
