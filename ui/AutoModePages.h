#pragma once
// What the wizard asks of the two automatic-mode pages (steps 7 and 8). The
// wizard drives them only through these calls, so the pages can grow without
// the wizard's flow changing.

#include "ui/WizardPage.h"

namespace qrv {

class DiscoveryTable;
class UpgradeWizardDialog;

// Step 7: the cameras to upgrade.
class AutoListPageBase : public WizardPage {
    Q_OBJECT
public:
    using WizardPage::WizardPage;
    // Before each showing: the discovered cameras and the relaxed-addressing flag.
    virtual void SetDiscovery(const DiscoveryTable& table, bool relaxedAddressing) = 0;
    // The page has just been shown (buttons are the page's to set).
    virtual void OnShown() {}
};

// Step 8: the batch running.
class AutoProgressPageBase : public WizardPage {
    Q_OBJECT
public:
    using WizardPage::WizardPage;
    // The rows are made again on the next showing (moving on from step 7).
    virtual void RebuildOnNextShow() = 0;
    virtual void OnShown() {}
    // Next while it reads "&Upgrade": start the batch.
    virtual void StartBatch() = 0;
    // Next while it reads "&Abort".
    virtual void Abort() = 0;
    // The window closes: a batch that started and has not written its report
    // writes it now, the cameras still running marked as not finished.
    virtual void WriteUnwrittenReport() {}
};

struct AutoModePages {
    AutoListPageBase* list = nullptr;
    AutoProgressPageBase* progress = nullptr;
};

// Makes the automatic pages as children of `parent`.
AutoModePages MakeAutoModePages(UpgradeWizardDialog& wizard, QWidget* parent);

}  // namespace qrv
