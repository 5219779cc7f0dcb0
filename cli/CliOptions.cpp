#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>

#include "cli/CliCommand.h"
#include "engine/CameraAddress.h"
#include "engine/CameraClient.h"
#include "platform/Text.h"

namespace qrv::cli {

CLI::Validator ValueCheck(bool (*accepts)(const std::string&), std::string what) {
    return CLI::Validator(
        [accepts, what](std::string& text) { return accepts(text) ? std::string() : what + ", not '" + text + "'."; },
        std::string());
}

namespace {

bool IsTimeScale(const std::string& text) { return ParseTimeScale(text).has_value(); }

bool IsDiscoverySeconds(const std::string& text) { return ParseDiscoverySeconds(text).has_value(); }

}  // namespace

std::optional<double> ParseDiscoverySeconds(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value) || value <= 0 || value > kMaxDiscoverySeconds) return std::nullopt;
    return value;
}

double SecondsArgument::Value() const { return ParseDiscoverySeconds(text).value_or(kDefaultDiscoverySeconds); }

void DeclareSeconds(CLI::App& app, SecondsArgument& seconds, const std::string& help) {
    app.add_option("--seconds", seconds.text, help)
        ->option_text("N")
        ->check(ValueCheck(&IsDiscoverySeconds, "--seconds needs a number of seconds above 0 (at most 3600)"));
}

void DeclareLogin(CLI::App& app, LoginArguments& login, const std::string& account) {
    login.userOption = app.add_option("--user", login.user, "the administrator account of " + account)
                           ->option_text("NAME");
    login.passwordOption = app.add_option("--password", login.password,
                                          "its password; every user of the machine can read it in the process\n"
                                          "list: prefer --password-file or $QRV_PASSWORD")
                               ->option_text("PASS");
    login.passwordFileOption = app.add_option("--password-file", login.passwordFile,
                                              "the password from FILE's first line (not readable by others);\n"
                                              "without either: $QRV_PASSWORD, else a prompt on the terminal")
                                   ->option_text("FILE");
}

Timing TimeScaleArgument::Scaled() const {
    if (text.empty()) return Timing::Production();
    return Timing::Production().Scaled(ParseTimeScale(text).value_or(1.0));
}

void DeclareTimeScale(CLI::App& app, TimeScaleArgument& scale) {
    app.add_option("--time-scale", scale.text, "multiply every wait by S (simulated cameras)")
        ->option_text("S")
        ->check(ValueCheck(&IsTimeScale, "--time-scale needs a positive number"));
}

void DeclareCamera(CLI::App& app, CameraArguments& camera, bool login) {
    app.add_option("address", camera.address,
                   "the camera's IPv4 address; a port other than 80 must lie in 1024..65535")
        ->option_text("ADDRESS[:PORT]");
    if (login) DeclareLogin(app, camera.login, "the camera");
    DeclareTimeScale(app, camera.timeScale);
}

std::optional<Account> ReadAccount(CliIo& io, const LoginArguments& login) {
    const bool hasUser = login.userOption->count() > 0 && !login.user.empty();
    // The password is read (and asked for) only once the rest is right.
    if (!hasUser) {
        UsageError(io, kAccountError);
        return std::nullopt;
    }
    PasswordSources sources;
    if (login.passwordOption->count() > 0) sources.option = login.password;
    if (login.passwordFileOption->count() > 0) sources.file = login.passwordFile;
    if (sources.option && sources.file) {
        UsageError(io, "Give --password or --password-file, not both.");
        return std::nullopt;
    }
    const PasswordResult read = ReadPassword(sources, io);
    if (!read.error.empty()) {
        io.Err(read.error);
        return std::nullopt;
    }
    if (!read.password || read.password->empty()) {
        UsageError(io, kAccountError);
        return std::nullopt;
    }
    if (!CheckLoginTexts(io, login.user, *read.password)) return std::nullopt;
    return Account{login.user, *read.password};
}

std::optional<CameraOptions> ReadCameraOptions(CliIo& io, const CameraArguments& camera, bool login) {
    CameraOptions options;
    options.timing = camera.timeScale.Scaled();
    if (camera.address.empty()) {
        UsageError(io, "Give the camera's address.");
        return std::nullopt;
    }
    const std::optional<CameraAddress> address = CameraAddress::Parse(camera.address);
    if (!address) {
        UsageError(io, "Input the correct IP address of the target camera (a.b.c.d or a.b.c.d:port, port 1024 to "
                       "65535).");
        return std::nullopt;
    }
    // The lists' form: port 80 gives no suffix.
    options.address = address->Text8();
    if (!login) return options;
    std::optional<Account> account = ReadAccount(io, camera.login);
    if (!account) return std::nullopt;
    // The terminal speaks UTF-8; cameras take the name and password in the 8-bit code page.
    options.credentials = EncodeCredentials(account->user, account->password);
    Wipe(account->password);
    return options;
}

bool CheckLoginTexts(CliIo& io, const std::string& user, const std::string& password) {
    const std::optional<std::u16string> name = DecodeUtf8(user);
    const std::optional<std::u16string> secret = DecodeUtf8(password);
    if (!name || !secret) {
        UsageError(io, "The name and the password must be valid UTF-8 text.");
        return false;
    }
    if (name->empty() || secret->empty() || name->size() > kMaxLoginText || secret->size() > kMaxLoginText) {
        UsageError(io, kAccountError);
        return false;
    }
    return true;
}

std::string EncodeCredentials(const std::string& user, const std::string& password) {
    std::string account = ToNarrow(DecodeUtf8(user + ":" + password).value_or(std::u16string()));
    std::string encoded = CameraClient::Base64Encode(account);
    Wipe(account);
    return encoded;
}

namespace {

bool IsLoginOption(const std::string& word) { return word == "--user" || word == "--password"; }

bool HoldsLoginValue(const std::string& word) {
    return word.starts_with("--user=") || word.starts_with("--password=");
}

}  // namespace

bool MayBeSecret(std::span<const std::string> args, std::size_t at) {
    if (HoldsLoginValue(args[at])) return true;
    const auto before = [&](std::size_t back) { return at >= back ? args[at - back] : std::string(); };
    return IsLoginOption(before(1)) || IsLoginOption(before(2)) || HoldsLoginValue(before(1));
}

std::string WordForError(std::span<const std::string> args, std::size_t at) {
    return MayBeSecret(args, at) ? "(the word after --user or --password, not shown)" : "'" + args[at] + "'";
}

std::string WordForError(std::span<const std::string> args, const std::string& word) {
    // Hidden when any place of that word may hold a secret.
    for (std::size_t at = 0; at < args.size(); ++at) {
        if (args[at] == word && MayBeSecret(args, at)) return WordForError(args, at);
    }
    return "'" + word + "'";
}

}  // namespace qrv::cli
