#pragma once
// Argument reading shared by the commands: one camera address, --user and
// the password (--password, --password-file, QRV_PASSWORD or a prompt: see
// cli/PasswordSource.h), flags and --time-scale.

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "engine/Timing.h"

namespace qrv::cli {

struct CameraOptions {
    std::string address;      // "a.b.c.d", or "a.b.c.d:port" for a port other than 80
    std::string credentials;  // Base64 of user ":" password
    std::set<std::string> flags;
    std::map<std::string, std::string> values;  // the command's own options with a value
    Timing timing = Timing::Production();
    double timeScale = 1.0;
    bool help = false;
};

// Reads `args` (after the command name). `allowedFlags` are the options
// without a value ("--yes"). On a usage error prints why on stderr and
// returns nothing.
std::optional<CameraOptions> ReadCameraOptions(std::span<const std::string> args,
                                               const std::set<std::string>& allowedFlags);

struct OptionRules {
    std::set<std::string> flags;        // options without a value
    std::set<std::string> valueOptions; // the command's options with a value ("--out")
    bool login = true;                  // --user and a password are needed
};
std::optional<CameraOptions> ReadCommandOptions(std::span<const std::string> args, const OptionRules& rules);

}  // namespace qrv::cli
