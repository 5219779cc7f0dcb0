#include "ui/AutoModePages.h"

#include "ui/AutoCameraListPage.h"
#include "ui/AutoProgressPage.h"
#include "ui/UpgradeWizardDialog.h"

namespace qrv {

AutoModePages MakeAutoModePages(UpgradeWizardDialog& wizard, QWidget* parent) {
    auto* list = new AutoCameraListPage(wizard, parent);
    auto* progress = new AutoProgressPage(wizard, list->Targets(), parent);
    return {list, progress};
}

}  // namespace qrv
