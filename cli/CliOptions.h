#pragma once
// Argument reading shared by the commands: one camera address, --user and
// the password (--password, --password-file, QRV_PASSWORD or a prompt: see
// cli/PasswordSource.h), flags and --time-scale.

#include <cstddef>
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

// The wizard takes at most 16 characters for the name and the password.
inline constexpr std::size_t kMaxLoginText = 16;
// Whether a name and password typed on the command line (UTF-8) can log in:
// both valid UTF-8, not empty, at most 16 characters each. Prints why not.
bool CheckLoginTexts(const std::string& user, const std::string& password);
// The account as the cameras take it: Base64 of "user:password" in the 8-bit
// code page. The texts must have passed CheckLoginTexts.
std::string EncodeCredentials(const std::string& user, const std::string& password);

// Whether args[at] may be a secret and must not be echoed: the value of
// --user or --password, or the word after it, as a forgotten "--password"
// leaves it ("--user admin s3cret").
bool MayBeSecret(std::span<const std::string> args, std::size_t at);
// How an error names args[at]: "'WORD'", or a description of its place when
// it may be a secret.
std::string WordForError(std::span<const std::string> args, std::size_t at);

}  // namespace qrv::cli
