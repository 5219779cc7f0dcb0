#include "discovery/DiscoveredCamera.h"

namespace qrv {

std::string DottedAddress(const std::array<std::uint8_t, 4>& ip) {
    return std::to_string(ip[0]) + '.' + std::to_string(ip[1]) + '.' + std::to_string(ip[2]) + '.' +
           std::to_string(ip[3]);
}

std::string AddressText(const DiscoveredCamera& camera) {
    std::string text = DottedAddress(camera.ip);
    if (camera.port != 80) text += ':' + std::to_string(camera.port);
    return text;
}

}  // namespace qrv
