#pragma once
// Where a command's password comes from. A password on the command line can
// be read by every user of the machine (the process list), so there are
// quieter sources. The order, first match wins:
//   1. --password PASS or --password-file FILE (the caller refuses both);
//   2. the environment variable QRV_PASSWORD, when set and not empty;
//   3. a prompt on the terminal without echo, when standard input is one.
// FILE: its first line (without the line end) is the password; a file that
// its group or others may read is refused.

#include <optional>
#include <string>

#include "cli/CliIo.h"

namespace qrv::cli {

inline constexpr const char* kPasswordVariable = "QRV_PASSWORD";

struct PasswordSources {
    std::optional<std::string> option;  // --password
    std::optional<std::string> file;    // --password-file
};

struct PasswordResult {
    std::optional<std::string> password;  // nothing: no source gave one
    std::string error;                    // why a given source was refused (then no password)
};

// The prompt needs a terminal on `io`.
PasswordResult ReadPassword(const PasswordSources& sources, CliIo& io);

// The first line of a private password file; `error` says why not.
std::optional<std::string> ReadPasswordFile(const std::string& path, std::string& error);

}  // namespace qrv::cli
