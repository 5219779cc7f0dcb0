#include "ui/AutoModePages.h"

#include <QLabel>
#include <QListWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "discovery/DiscoveryTable.h"
#include "ui/QtOwnerPort.h"
#include "ui/UpgradeWizardDialog.h"

namespace qrv {

namespace {

// Until the automatic mode arrives, step 7 lists what discovery found and
// says plainly that the batch upgrade is not available; Next stays off.
class DiscoveredCamerasPage : public AutoListPageBase {
public:
    DiscoveredCamerasPage(UpgradeWizardDialog& wizard, QWidget* parent)
        : AutoListPageBase(wizard.Port(), parent), wizard_(wizard), list_(new QListWidget(this)) {
        auto* note = new QLabel(
            QStringLiteral("Automatic upgrade is not available in this version. Go back and choose "
                           "\"Manual mode\" to upgrade the cameras below one by one."),
            this);
        note->setWordWrap(true);
        list_->setObjectName(QStringLiteral("discoveredCameras"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new QLabel(QStringLiteral("Detected camera(s):"), this));
        layout->addWidget(list_, 1);
        layout->addWidget(note);
        refresh_.setInterval(500);
        connect(&refresh_, &QTimer::timeout, this, [this] { Refresh(); });
    }

    void SetDiscovery(const DiscoveryTable& table, bool) override { table_ = &table; }

    void OnShown() override {
        wizard_.SetButtonMode(0);
        Refresh();
        refresh_.start();
    }

private:
    void Refresh() {
        if (!isVisible()) refresh_.stop();
        if (!table_) return;
        list_->clear();
        for (const DiscoveredCamera& camera : table_->Snapshot()) {
            list_->addItem(QStringLiteral("%1   %2   %3   %4")
                               .arg(QString::fromLatin1(AddressText(camera).c_str()),
                                    QString::fromLatin1(FieldText(camera.model)),
                                    QString::fromLatin1(FieldText(camera.serial)),
                                    QString::fromLatin1(FieldText(camera.version))));
        }
    }

    UpgradeWizardDialog& wizard_;
    QListWidget* list_;
    QTimer refresh_;
    const DiscoveryTable* table_ = nullptr;
};

class EmptyProgressPage : public AutoProgressPageBase {
public:
    EmptyProgressPage(UpgradeWizardDialog& wizard, QWidget* parent) : AutoProgressPageBase(wizard.Port(), parent) {}
    void RebuildOnNextShow() override {}
    void StartBatch() override {}
    void Abort() override {}
};

}  // namespace

AutoModePages MakeAutoModePages(UpgradeWizardDialog& wizard, QWidget* parent) {
    return {new DiscoveredCamerasPage(wizard, parent), new EmptyProgressPage(wizard, parent)};
}

}  // namespace qrv
