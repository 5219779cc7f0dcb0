#pragma once
// The camera's configuration file: a few KB of binary records (identity,
// accounts, network flags, filler) with a length and a CRC-32. The magic
// holds CR LF, 0x1A, NUL and 0xFF so that any text-mode handling on the way
// to disk and back breaks the file visibly.
#include <string>
#include <string_view>
#include <vector>

#include "sim/CameraSetup.h"

namespace qrv::sim {

struct CameraSettings {
    std::string model;
    std::string serial;
    std::string mac;
    Account admin;
    std::vector<Account> users;
    bool dhcp = false;
    bool dnsAuto = false;
};

std::string EncodeConfig(const CameraSettings& settings);

struct ConfigRead {
    bool ok = false;
    std::string reason;
    CameraSettings settings;
};

ConfigRead DecodeConfig(std::string_view bytes);

}  // namespace qrv::sim
