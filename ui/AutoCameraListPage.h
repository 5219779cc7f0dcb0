#pragma once
// Step 7 of the wizard: the cameras found by discovery in the target grid,
// where the operator chooses targets, gives credentials and tests them. The
// page waits (busy) while discovery still runs, and locks the automatic mode
// while two cameras share an address.

#include <QPointer>
#include <QTimer>

#include <memory>

#include "batch/LoginChecks.h"
#include "batch/TargetGrid.h"
#include "ui/AutoModePages.h"

class QLabel;
class QPushButton;

namespace qrv {

class CameraGridModel;
class CameraGridView;
class QtOwnerPort;
class UpgradeWizardDialog;

// Owns the grid's rows and their login checks (on a port of its own, whose
// timer drives them); the grid view shows the rows through their model.
class AutoCameraListPage : public AutoListPageBase, private LoginCheckObserver {
    Q_OBJECT
public:
    AutoCameraListPage(UpgradeWizardDialog& wizard, QWidget* parent);
    ~AutoCameraListPage() override;

    void SetDiscovery(const DiscoveryTable& table, bool relaxedAddressing) override;
    void OnShown() override;

    TargetGrid& Targets() { return targets_; }
    const TargetGrid& Targets() const { return targets_; }
    CameraGridView& GridView() const { return *grid_; }
    bool IsBusy() const { return busy_; }
    bool IsTesting() const { return testing_; }
    bool IsLocked() const { return locked_; }
    bool IsExpanded() const { return expanded_; }
    bool IsSliding() const { return slide_.isActive(); }

    void OnSelectAll();
    void OnAccessSetting();
    void OnToggleExtraButtons();
    void OnTesting();
    void OnAddOtherCameras();

signals:
    // The Add other cameras dialog is about to run (tests drive it from here).
    void AddCamerasOpening(QDialog* dialog);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void OnPageTimer();
    void OnLoginChecksFinished() override;
    // Appends what discovery found; the counter and, while shown, Next follow.
    void RefreshGrid();
    bool DuplicatesPass();
    void Lock();
    void SetNextByCredentials();
    void EnableAccessAndTesting(bool enable);
    void LayoutStrip(int hiddenWidth);
    void OnSlideStep();
    void RefreshCursor();

    UpgradeWizardDialog& wizard_;
    const DiscoveryTable* table_ = nullptr;
    bool relaxed_ = false;
    bool busy_ = false;
    bool testing_ = false;
    bool expanded_ = false;
    bool locked_ = false;

    TargetGrid targets_;
    std::unique_ptr<CameraGridModel> model_;
    std::unique_ptr<QtOwnerPort> port_;
    std::unique_ptr<LoginChecks> checks_;  // after the port: its timer stops first
    CameraGridView* grid_;
    QLabel* counter_;
    QPushButton* selectAll_;
    QPushButton* access_;
    QPushButton* addOther_;
    QPushButton* testingButton_;
    QPushButton* toggle_;
    QWidget* strip_;  // holds the two extra buttons; clips them while they slide
    QTimer pageTimer_;
    QTimer slide_;
    int slideStep_ = 0;
};

}  // namespace qrv
