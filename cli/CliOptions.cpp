#include "cli/CliOptions.h"

#include <cstdio>

#include "cli/PasswordSource.h"
#include "engine/CameraAddress.h"
#include "engine/CameraClient.h"
#include "platform/Text.h"

namespace qrv::cli {

namespace {

void Complain(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

}  // namespace

bool CheckLoginTexts(const std::string& user, const std::string& password) {
    const std::optional<std::u16string> name = DecodeUtf8(user);
    const std::optional<std::u16string> secret = DecodeUtf8(password);
    if (!name || !secret) {
        Complain("The name and the password must be valid UTF-8 text.");
        return false;
    }
    if (name->empty() || secret->empty() || name->size() > kMaxLoginText || secret->size() > kMaxLoginText) {
        Complain("Input the correct name and password (--user NAME --password PASS, at most 16 characters each).");
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

bool MayBeSecret(std::span<const std::string> args, std::size_t at) {
    const auto isLogin = [&](std::size_t back) {
        return at >= back && (args[at - back] == "--user" || args[at - back] == "--password");
    };
    return isLogin(1) || isLogin(2);
}

std::string WordForError(std::span<const std::string> args, std::size_t at) {
    return MayBeSecret(args, at) ? "(the word after --user or --password, not shown)" : "'" + args[at] + "'";
}

std::optional<CameraOptions> ReadCameraOptions(std::span<const std::string> args,
                                               const std::set<std::string>& allowedFlags) {
    return ReadCommandOptions(args, OptionRules{allowedFlags, {}, true});
}

std::optional<CameraOptions> ReadCommandOptions(std::span<const std::string> args, const OptionRules& rules) {
    const std::set<std::string>& allowedFlags = rules.flags;
    CameraOptions options;
    std::optional<std::string> address, user;
    PasswordSources passwords;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                Complain(arg + " needs a value.");
                return std::nullopt;
            }
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        } else if (arg == "--user" && rules.login) {
            if (!(user = value())) return std::nullopt;
        } else if (arg == "--password" && rules.login) {
            if (!(passwords.option = value())) return std::nullopt;
        } else if (arg == "--password-file" && rules.login) {
            if (!(passwords.file = value())) return std::nullopt;
        } else if (rules.valueOptions.count(arg)) {
            const std::optional<std::string> text = value();
            if (!text) return std::nullopt;
            options.values[arg] = *text;
        } else if (arg == "--time-scale") {
            const std::optional<std::string> text = value();
            const std::optional<double> scale = text ? ParseTimeScale(*text) : std::nullopt;
            if (!scale) {
                Complain("--time-scale needs a positive number.");
                return std::nullopt;
            }
            options.timeScale = *scale;
            options.timing = Timing::Production().Scaled(*scale);
        } else if (allowedFlags.count(arg)) {
            options.flags.insert(arg);
        } else if (arg.starts_with("-")) {
            Complain("Unknown option " + (MayBeSecret(args, i) ? WordForError(args, i) : arg) + ".");
            return std::nullopt;
        } else if (!address) {
            address = arg;
        } else {
            Complain("Only one camera address may be given.");
            return std::nullopt;
        }
    }
    if (!address) {
        Complain("Give the camera's address.");
        return std::nullopt;
    }
    const std::optional<CameraAddress> camera = CameraAddress::Parse(*address);
    if (!camera) {
        Complain("Input the correct IP address of the target camera (a.b.c.d or a.b.c.d:port, port 1024 to 65535).");
        return std::nullopt;
    }
    // The lists' form: port 80 gives no suffix.
    options.address = camera->Text8();
    if (!rules.login) return options;
    if (!user || user->empty()) {
        Complain("Input the correct name and password (--user NAME --password PASS, at most 16 characters each).");
        return std::nullopt;
    }
    const PasswordResult read = ReadPassword(passwords);
    if (!read.error.empty()) {
        Complain(read.error);
        return std::nullopt;
    }
    const std::optional<std::string>& password = read.password;
    if (!password) {
        Complain("Input the correct name and password (--user NAME --password PASS, at most 16 characters each).");
        return std::nullopt;
    }
    if (!CheckLoginTexts(*user, *password)) return std::nullopt;
    // The terminal speaks UTF-8; cameras take the name and password in the 8-bit code page.
    options.credentials = EncodeCredentials(*user, *password);
    return options;
}

}  // namespace qrv::cli
