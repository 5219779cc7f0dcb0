#include "sim/CameraSetup.h"

#include "sim/Base64.h"

namespace qrv::sim {

Account FactoryAdministrator() {
    // The factory token decodes to a text without a colon; the camera keeps
    // the decoded text like any other credential.
    return Account{Base64Decode(kFactoryToken).value_or(""), 4};
}

std::string AddressText(uint32_t address) {
    return std::to_string((address >> 24) & 0xFF) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string CameraSetup::AddressText() const { return sim::AddressText(address); }

std::string CameraSetup::Label() const { return AddressText() + ":" + std::to_string(port); }

}  // namespace qrv::sim
