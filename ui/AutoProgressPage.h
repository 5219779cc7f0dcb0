#pragma once
// Step 8 of the wizard: one row per target with its progress and status, the
// setup data choice, the confirmation, and the batch running on the progress
// list's scheduler until every job has left the queue; then the counter reads
// n/n, Cancel becomes "&Finish" and the upgrade log opens once.

#include <QTimer>

#include "ui/AutoModePages.h"

class QCheckBox;
class QLabel;

namespace qrv {

class CameraGridCtrl;
class ProgressListCtrl;
class UpgradeWizardDialog;

class AutoProgressPage : public AutoProgressPageBase {
    Q_OBJECT
public:
    AutoProgressPage(UpgradeWizardDialog& wizard, CameraGridCtrl& sourceGrid, QWidget* parent);
    ~AutoProgressPage() override;

    void RebuildOnNextShow() override { built_ = false; }
    void OnShown() override;
    void StartBatch() override;
    void Abort() override;

    ProgressListCtrl& List() const { return *list_; }
    QCheckBox* RetainBox() const { return retain_; }
    QCheckBox* BackupBox() const { return backup_; }
    QString CounterText() const;
    // How often the upgrade log has been opened.
    int LogShownCount() const { return logShown_; }

signals:
    // The upgrade log is about to open (tests read it from here).
    void UpgradeLogOpening(QWidget* dialog);

private:
    void OnRetainClicked();
    void OnConfirmTimer();
    void RefreshCounter();

    UpgradeWizardDialog& wizard_;
    CameraGridCtrl& sourceGrid_;
    ProgressListCtrl* list_;
    QCheckBox* retain_;
    QCheckBox* backup_;
    QLabel* counter_;
    bool built_ = false;
    int lastShown_ = -1;
    int logShown_ = 0;
    QTimer counterTimer_;  // the counter and the end of the batch
    QTimer confirmTimer_;  // "&Upgrade" pressed -> the confirmation box
};

}  // namespace qrv
