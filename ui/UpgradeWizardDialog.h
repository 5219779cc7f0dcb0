#pragma once
// The wizard window: the page area, Back, Next and Cancel, the emergency
// picture. It owns the firmware package, the discovery of the first seconds,
// the pages and the manual upgrade, and moves between the steps.

#include <QDialog>
#include <QPointer>

#include <memory>
#include <string>

#include "discovery/DiscoveryTable.h"
#include "engine/FirmwarePackage.h"
#include "engine/ManualUpgradeSession.h"
#include "engine/Timing.h"
#include "platform/Clock.h"
#include "ui/AutoModePages.h"

class QLabel;
class QPushButton;
class QStackedWidget;

namespace qrv {

class AgreementPage;
class DiscoveryWindow;
class FirstPage;
class ManualProgressPage;
class ManualTargetPage;
class ModeSelectPage;
class QtOwnerPort;
class ResultPage;
class WizardNextButton;

struct WizardOptions {
    Timing timing = Timing::Production();
    int parallelJobs = 2;  // how many cameras a batch upgrades at once
};

class UpgradeWizardDialog : public QDialog, private ManualSessionView {
    Q_OBJECT
public:
    enum Step {
        kFirst = 0,
        kAgreement = 1,
        kMode = 2,
        kManualTarget = 3,
        kManualConfirm = 4,
        kManualRunning = 5,
        kManualResult = 6,
        kAutoList = 7,
        kAutoProgress = 8,
        kAutoAbortArmed = 9,
        kAutoAborting = 10,
    };

    explicit UpgradeWizardDialog(WizardOptions options = {}, QWidget* parent = nullptr);
    ~UpgradeWizardDialog() override;

    // What the buttons offer in a phase of the pages.
    enum class ButtonMode {
        NextOff = 0,  // "&Next >" disabled
        NextOn = 1,   // "&Next >" enabled
        Upgrade = 2,  // Next reads "&Upgrade"
        Abort = 3,    // Next reads "&Abort"; Back, Cancel and Close disabled
        Finish = 4,   // Next disabled; Cancel reads "&Finish"; Close enabled again
        Locked = 5,   // Next and Back disabled, Cancel enabled
    };
    // Called by the pages: relabel and enable the buttons for a phase.
    void SetButtonMode(ButtonMode mode);
    // NextOn when `nextAllowed`, else NextOff.
    void SetNextMode(bool nextAllowed) { SetButtonMode(nextAllowed ? ButtonMode::NextOn : ButtonMode::NextOff); }

    int WizardStep() const { return step_; }
    bool HiddenAddressingMode() const { return hiddenAddressing_; }
    const ModelList& Models() const { return package_.Models(); }
    const FirmwarePackage& Package() const { return package_; }
    const DiscoveryTable& Discovered() const { return discoveryTable_; }
    const Timing& Times() const { return options_.timing; }
    int ParallelJobs() const { return options_.parallelJobs; }
    bool CloseCommandEnabled() const { return closeEnabled_; }
    bool IsDiscoveryRunning() const;
    bool IsEmergencyPictureShown() const;
    QtOwnerPort& Port() { return *port_; }

    QPushButton* BackButton() const { return back_; }
    QPushButton* NextButton() const;
    QPushButton* CancelButton() const { return cancel_; }
    QWidget* CurrentPage() const;
    FirstPage* First() const { return firstPage_; }
    AgreementPage* Agreement() const { return agreementPage_; }
    ModeSelectPage* ModeSelect() const { return modePage_; }
    ManualTargetPage* ManualTarget() const { return targetPage_; }
    ManualProgressPage* ManualProgress() const { return progressPage_; }
    ResultPage* Result() const { return resultPage_; }
    const AutoModePages& AutoPages() const { return autoPages_; }
    ManualUpgradeSession& Session() { return *session_; }
    // The report file of the last manual upgrade (empty before the first).
    const std::string& LastManualReportPath() const { return manualReportPath_; }

    void OnNext();
    void OnBack();
    void OnOK();
    void OnCancel();
    void ShowStep();
    // Every way out ends here: discovery stopped and waited for, the manual
    // run released, then the window closes with `result`.
    void CloseWizard(int result);
    // SIGTERM, Ctrl+C or the end of the desktop session: every open box and
    // dialog gets its refusing answer, and once the probe or dialog waiting on
    // the stack has returned, the window leaves the way Close does (a running
    // batch is stopped, joined and its report written). Safe to call again.
    void EndSession();
    // The window has started to close (CloseWizard ran).
    bool IsClosing() const { return closing_; }

    int exec() override;

signals:
    // The page of a step has been shown (tests and the first-page check).
    void StepShown(int step);
    // The window has been painted (the first-page check waits for it).
    void Painted();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void paintEvent(QPaintEvent* event) override;

private:
    // ManualSessionView: the manual run reports here, on the GUI thread.
    void ShowStage(int stage) override;
    void ShowStep(ManualStep step) override;
    void ShowEmergencyPicture(bool shown) override;

    void BuildWindow();
    void CreatePages();
    void StartDiscovery();
    void OnTimer(int id);
    void OnJobMessage(int wParam, int lParam);
    void OnHiddenModeCommand();
    void NextFromTarget();
    void NextFromConfirmation();
    void EnterRunningStep();
    // `stopped`: the run was stopped before its end (the program is ending).
    void WriteManualReport(bool stopped = false);
    void RestoreButtonLabels();
    void SetCloseEnabled(bool enabled);
    void StopDiscovery();
    std::string EncodedCredentials();

    WizardOptions options_;
    std::unique_ptr<QtOwnerPort> port_;
    FirmwarePackage package_;
    DiscoveryTable discoveryTable_;
    std::unique_ptr<DiscoveryWindow> discovery_;
    std::unique_ptr<ManualUpgradeSession> session_;

    QStackedWidget* pageArea_ = nullptr;
    QPushButton* back_ = nullptr;
    WizardNextButton* next_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* emergencyPicture_ = nullptr;

    FirstPage* firstPage_ = nullptr;
    AgreementPage* agreementPage_ = nullptr;
    ModeSelectPage* modePage_ = nullptr;
    ManualTargetPage* targetPage_ = nullptr;
    ManualProgressPage* progressPage_ = nullptr;
    ResultPage* resultPage_ = nullptr;
    AutoModePages autoPages_;

    int step_ = kFirst;
    std::string targetAddress_;
    std::string targetCredentials_;
    WallTime manualStarted_{};
    bool manualReportPending_ = false;  // a manual run started and its report is not written yet
    std::string manualReportPath_;
    bool confirmOnCancel_ = false;
    bool abortArmed_ = false;
    bool finished_ = false;
    bool hiddenAddressing_ = false;
    bool closeEnabled_ = true;
    bool busy_ = false;     // a probe runs: no input, no close
    bool closing_ = false;  // the window is on its way out
    bool ending_ = false;   // EndSession was asked for
    int ownLoopLevel_ = 0;  // the event loop depth at which the window's own loop runs
};

}  // namespace qrv
