#include "discovery/DiscoveredCamera.h"

#include "engine/CameraAddress.h"

namespace qrv {

std::string DottedAddress(const std::array<std::uint8_t, 4>& ip) { return CameraAddress{ip}.Text8(); }

std::string AddressText(const DiscoveredCamera& camera) { return CameraAddress{camera.ip, camera.port}.Text8(); }

}  // namespace qrv
