#include "cli/CliOptions.h"

#include <cstdio>

#include "engine/CameraClient.h"
#include "platform/HttpClient.h"
#include "platform/Text.h"

namespace qrv::cli {

namespace {

// The target page takes at most 16 characters for the name and the password.
constexpr size_t kMaxLoginText = 16;

void Complain(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

}  // namespace

std::optional<std::string> NormalizeAddress(const std::string& text) {
    const size_t colon = text.find(':');
    const std::string host = text.substr(0, colon);
    int port = 80;
    if (colon != std::string::npos) {
        const std::string portText = text.substr(colon + 1);
        if (portText.empty() || portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        port = std::stoi(portText);
        if (port != 80 && (port < 1024 || port > 65535)) return std::nullopt;
    }
    const std::optional<HttpEndpoint> endpoint = SplitAddress(host);
    if (!endpoint) return std::nullopt;
    // Four decimal fields without leading zeros, as the address control writes them.
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (std::sscanf(host.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return std::nullopt;
    std::string normal = std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." + std::to_string(d);
    if (port != 80) normal += ":" + std::to_string(port);
    return normal;
}

std::optional<CameraOptions> ReadCameraOptions(std::span<const std::string> args,
                                               const std::set<std::string>& allowedFlags) {
    CameraOptions options;
    std::optional<std::string> address, user, password;
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
        } else if (arg == "--user") {
            if (!(user = value())) return std::nullopt;
        } else if (arg == "--password") {
            if (!(password = value())) return std::nullopt;
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
            Complain("Unknown option " + arg + ".");
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
    const std::optional<std::string> normal = NormalizeAddress(*address);
    if (!normal) {
        Complain("Input the correct IP address of the target camera (a.b.c.d or a.b.c.d:port, port 1024 to 65535).");
        return std::nullopt;
    }
    if (!user || !password || user->empty() || password->empty() || user->size() > kMaxLoginText ||
        password->size() > kMaxLoginText) {
        Complain("Input the correct name and password (--user NAME --password PASS, at most 16 characters each).");
        return std::nullopt;
    }
    options.address = *normal;
    // The terminal speaks UTF-8; cameras take the name and password in the 8-bit code page.
    options.credentials = CameraClient::Base64Encode(ToNarrow(FromUtf8(*user + ":" + *password)));
    return options;
}

}  // namespace qrv::cli
