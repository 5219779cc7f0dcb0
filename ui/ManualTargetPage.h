#pragma once
// Step 3: the camera to upgrade by hand (address and HTTP port), the
// administrator's name and password, and what happens to its settings.

#include <QString>

#include <array>
#include <cstdint>
#include <string>

#include "engine/SetupDataMode.h"
#include "ui/WizardPage.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace qrv {

class DiscoveryTable;
class Ipv4AddressEdit;

class ManualTargetPage : public WizardPage {
    Q_OBJECT
public:
    explicit ManualTargetPage(OwnerPort& owner, QWidget* parent = nullptr);

    // The wizard's table of discovered cameras, set each time the page is shown.
    void SetDiscoveredCameras(const DiscoveryTable* table) { discovered_ = table; }

    // Checks the fields in order; shows the first refusal and moves the focus
    // to the field to correct.
    bool Validate();
    // "a.b.c.d", or "a.b.c.d:port" when the custom port is chosen.
    std::string GetAddressText();
    // Name ":" password, exactly as typed.
    std::u16string GetCredentialText();
    // False, after the error box, when more than one discovered camera has
    // the typed address.
    bool CheckDuplicateAddress();

    bool Retain();
    bool Backup();
    SetupDataMode Mode() { return MakeSetupDataMode(Retain(), Backup()); }

    void OnPort80();
    void OnCustomPort();
    void OnRetainClicked();

    Ipv4AddressEdit* AddressControl() const { return address_; }
    void FocusAddress();

private:
    // The fields as the controls hold them; false when the custom port box
    // holds no unsigned number while it counts.
    bool ReadFields();

    const DiscoveryTable* discovered_ = nullptr;
    Ipv4AddressEdit* address_;
    QRadioButton* port80_;
    QRadioButton* customPortChoice_;
    QLineEdit* customPortEdit_;
    QLineEdit* adminName_;
    QLineEdit* adminPassword_;
    QCheckBox* retain_;
    QCheckBox* backup_;

    // The page's fields, read from the controls.
    std::array<std::uint8_t, 4> addressBytes_{};
    int portChoice_ = 0;
    unsigned customPort_ = 1024;
    QString name_;
    QString password_;
    bool retainValue_ = true;
    bool backupValue_ = false;
};

}  // namespace qrv
