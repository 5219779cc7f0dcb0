#pragma once
// The options several commands share, declared once here on a command's
// CLI11 subcommand: the camera address, --user and the password sources
// (--password, --password-file, QRV_PASSWORD or a prompt: see
// cli/PasswordSource.h) and --time-scale; the value checks that CLI11 runs as
// validators; and the checks of the values read, which need the run's
// streams (the password may be read from a file or a terminal).

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "cli/CliIo.h"
#include "cli/PasswordSource.h"
#include "engine/Timing.h"

namespace CLI {
class App;
class Option;
class Validator;
}  // namespace CLI

namespace qrv::cli {

// A value check: `accepts` tells whether the text may be taken; the message
// is `what` followed by the text refused (never given to --user or --password).
CLI::Validator ValueCheck(bool (*accepts)(const std::string&), std::string what);

// --seconds N: the length of a discovery window.
inline constexpr double kDefaultDiscoverySeconds = 10.0;
inline constexpr double kMaxDiscoverySeconds = 3600.0;
// A number of seconds above 0, at most an hour.
std::optional<double> ParseDiscoverySeconds(const std::string& text);
struct SecondsArgument {
    std::string text;
    double Value() const;
};
void DeclareSeconds(CLI::App& app, SecondsArgument& seconds, const std::string& help);

// --user NAME, --password PASS, --password-file FILE.
struct LoginArguments {
    std::string user;
    std::string password;
    std::string passwordFile;
    CLI::Option* userOption = nullptr;
    CLI::Option* passwordOption = nullptr;
    CLI::Option* passwordFileOption = nullptr;
};
// `account` names whose account it is ("the camera's", "every camera's").
void DeclareLogin(CLI::App& app, LoginArguments& login, const std::string& account);

// --time-scale S.
struct TimeScaleArgument {
    std::string text;
    Timing Scaled() const;
};
void DeclareTimeScale(CLI::App& app, TimeScaleArgument& scale);

// ADDRESS[:PORT] (one camera), the login and --time-scale.
struct CameraArguments {
    std::string address;
    LoginArguments login;
    TimeScaleArgument timeScale;
};
// `login`: the command needs --user and a password.
void DeclareCamera(CLI::App& app, CameraArguments& camera, bool login);

// A camera's arguments once checked.
struct CameraOptions {
    std::string address;      // "a.b.c.d", or "a.b.c.d:port" for a port other than 80
    std::string credentials;  // Base64 of user ":" password; empty without login
    Timing timing = Timing::Production();
};
// Checks the address and, with `login`, reads the password from its source
// and checks the account. On an error says why (a usage error, or the refusal
// of a password file) and returns nothing: exit kExitUsage.
std::optional<CameraOptions> ReadCameraOptions(CliIo& io, const CameraArguments& camera, bool login);

// The user and password of `login`, read from the first source given; says
// why not and returns nothing when none gives a usable account.
struct Account {
    std::string user;
    std::string password;
};
std::optional<Account> ReadAccount(CliIo& io, const LoginArguments& login);

// The wizard takes at most 16 characters for the name and the password.
inline constexpr std::size_t kMaxLoginText = 16;
// Whether a name and password typed on the command line (UTF-8) can log in:
// both valid UTF-8, not empty, at most 16 characters each. Says why not.
bool CheckLoginTexts(CliIo& io, const std::string& user, const std::string& password);
// The account as the cameras take it: Base64 of "user:password" in the 8-bit
// code page. The texts must have passed CheckLoginTexts.
std::string EncodeCredentials(const std::string& user, const std::string& password);

// The usage error about a missing or unusable account.
inline constexpr const char* kAccountError =
    "Input the correct name and password (--user NAME --password PASS, at most 16 characters each).";

// Whether args[at] may be a secret and must not be echoed: the value of
// --user or --password, or the word after it, as a forgotten "--password"
// leaves it ("--user admin s3cret"); also when given as --user=NAME.
bool MayBeSecret(std::span<const std::string> args, std::size_t at);
// How an error names args[at]: "'WORD'", or a description of its place when
// it may be a secret.
std::string WordForError(std::span<const std::string> args, std::size_t at);
// The same for a word of `args` found by its text (its first place there).
std::string WordForError(std::span<const std::string> args, const std::string& word);

}  // namespace qrv::cli
