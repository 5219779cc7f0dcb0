#include "sim/FleetFile.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <set>

namespace qrv::sim {
namespace {

constexpr uint32_t kFirstOrdinaryAddress = (127u << 24) | 2u;

std::vector<std::string_view> Tokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;  // "#" at the start of a token begins a comment
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

bool ParseInt(std::string_view text, long long low, long long high, long long& value) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

bool ParseAddressAndPort(std::string_view token, CameraSetup& camera, std::string& error) {
    std::string_view address = token;
    const auto colon = token.find(':');
    if (colon != std::string_view::npos) {
        address = token.substr(0, colon);
        long long port = 0;
        if (!ParseInt(token.substr(colon + 1), 1, 65535, port)) {
            error = "bad port in '" + std::string(token) + "'";
            return false;
        }
        camera.port = static_cast<uint16_t>(port);
    }
    uint32_t value = 0;
    int parts = 0;
    size_t start = 0;
    while (start <= address.size()) {
        const auto dot = address.find('.', start);
        const auto part = address.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        long long number = 0;
        if (!ParseInt(part, 0, 255, number)) break;
        value = (value << 8) | static_cast<uint32_t>(number);
        ++parts;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    // 127.x.y.z, or a private-range address that must then be an address of
    // a veth interface of the simulator's namespace (checked at start).
    const bool loopback = (value >> 24) == 127;
    const bool privateRange = (value >> 24) == 10u                   // 10.0.0.0/8
                              || (value >> 20) == ((172u << 4) | 1u)  // 172.16.0.0/12
                              || (value >> 16) == ((192u << 8) | 168u);  // 192.168.0.0/16
    if (parts != 4 || !(loopback || privateRange)) {
        error = "'" + std::string(address) + "' is not an address 127.x.y.z or a private-range address (10.x.y.z, "
                "172.16-31.y.z, 192.168.y.z)";
        return false;
    }
    camera.address = value;
    return true;
}

bool IsMacText(std::string_view mac) {
    if (mac.size() != 17) return false;
    for (size_t i = 0; i < mac.size(); ++i) {
        const bool separator = i % 3 == 2;
        if (separator ? mac[i] != ':' : !std::isxdigit(static_cast<unsigned char>(mac[i]))) return false;
    }
    return true;
}

bool ParseOnOff(std::string_view value, bool& flag) {
    if (value == "on" || value == "ON") {
        flag = true;
        return true;
    }
    if (value == "off" || value == "OFF") {
        flag = false;
        return true;
    }
    return false;
}

bool ParseFault(std::string_view token, Faults& faults, std::string& error) {
    const auto colon = token.find(':');
    const std::string_view name = token.substr(0, colon);
    const bool hasArg = colon != std::string_view::npos;
    const std::string arg = hasArg ? std::string(token.substr(colon + 1)) : std::string();
    long long number = 0;
    auto needNumber = [&](long long low, long long high) {
        if (hasArg && ParseInt(arg, low, high, number)) return true;
        error = "fault '" + std::string(name) + "' needs a number";
        return false;
    };
    auto noArg = [&](bool& flag) {
        if (hasArg) {
            error = "fault '" + std::string(name) + "' takes no argument";
            return false;
        }
        flag = true;
        return true;
    };
    auto text = [&](std::optional<std::string>& field) {
        if (!hasArg) {
            error = "fault '" + std::string(name) + "' needs ':TEXT' (TEXT may be empty)";
            return false;
        }
        field = arg;
        return true;
    };
    if (name == "silent") return noArg(faults.silent);
    if (name == "delay") {
        if (!needNumber(0, 3600000)) return false;
        faults.delayMs = static_cast<int>(number);
        return true;
    }
    if (name == "always401") return noArg(faults.always401);
    auto configFault = [&](ConfigFault kind) {
        bool named = false;
        if (!noArg(named)) return false;
        faults.config = kind;
        return true;
    };
    if (name == "html-config") return configFault(ConfigFault::Html);
    if (name == "config-empty") return configFault(ConfigFault::Empty);
    if (name == "config-html-lower") return configFault(ConfigFault::HtmlLower);
    if (name == "config-redirect") return configFault(ConfigFault::Redirect);
    if (name == "config-cut") return configFault(ConfigFault::Cut);
    if (name == "config-endless") return configFault(ConfigFault::Endless);
    if (name == "config-drip") {
        if (!needNumber(0, 3600000)) return false;
        faults.config = ConfigFault::Drip;
        faults.configDripMs = static_cast<int>(number);
        return true;
    }
    if (name == "text-control") return noArg(faults.textControl);
    if (name == "version-formula") return noArg(faults.versionFormula);
    if (name == "drop-upload") {
        if (!needNumber(0, 1LL << 40)) return false;
        faults.dropUploadAfter = static_cast<uint64_t>(number);
        return true;
    }
    if (name == "upload-no-answer") return noArg(faults.uploadNoAnswer);
    if (name == "reboot-old") return noArg(faults.rebootOld);
    if (name == "never-back") return noArg(faults.neverBack);
    if (name == "restore-refuse") {
        if (!needNumber(0, 1000000)) return false;
        faults.restoreRefuse = static_cast<int>(number);
        return true;
    }
    if (name == "restore-reject") {
        if (!needNumber(0, 1000000)) return false;
        faults.restoreReject = static_cast<int>(number);
        return true;
    }
    if (name == "big-reply") return noArg(faults.bigReply);
    if (name == "slow-reply") return noArg(faults.slowReply);
    if (name == "garbage") return noArg(faults.garbage);
    if (name == "disc-duplicate") return noArg(faults.discDuplicate);
    if (name == "disc-silent") return noArg(faults.discSilent);
    if (name == "disc-model") return text(faults.discModel);
    if (name == "disc-serial") return text(faults.discSerial);
    if (name == "disc-ipadr") return text(faults.discIpadr);
    if (name == "disc-webport") return text(faults.discWebport);
    if (name == "disc-dhcp") return text(faults.discDhcp);
    if (name == "disc-ack") return noArg(faults.discAck);
    if (name == "disc-nak") return noArg(faults.discNak);
    if (name == "disc-ack-in-reply") return noArg(faults.discAckInReply);
    error = "unknown fault '" + std::string(name) + "'";
    return false;
}

bool ParseAccount(std::string_view value, bool withLevel, Account& account, std::string& error) {
    // NAME:PASSWORD[:LEVEL]; the name ends at the first ':', the level starts
    // after the last one, so a password may hold ':'.
    const auto first = value.find(':');
    if (first == std::string_view::npos || first == 0) {
        error = "account '" + std::string(value) + "' is not NAME:PASSWORD";
        return false;
    }
    std::string_view rest = value;
    if (withLevel) {
        const auto last = value.rfind(':');
        long long level = 0;
        if (last == first || !ParseInt(value.substr(last + 1), 0, 99, level)) {
            error = "account '" + std::string(value) + "' is not NAME:PASSWORD:LEVEL";
            return false;
        }
        account.level = static_cast<int>(level);
        rest = value.substr(0, last);
    }
    account.credentials = std::string(rest);
    return true;
}

bool ParseDuration(std::string_view value, int& ms) {
    long long number = 0;
    if (!ParseInt(value, 0, 24LL * 3600 * 1000, number)) return false;
    ms = static_cast<int>(number);
    return true;
}

bool ApplySetting(std::string_view token, CameraSetup& camera, std::string& error) {
    const auto eq = token.find('=');
    if (eq == std::string_view::npos) {
        error = "'" + std::string(token) + "' is not key=value";
        return false;
    }
    const std::string_view key = token.substr(0, eq);
    const std::string_view value = token.substr(eq + 1);
    if (key == "model") {
        if (value.empty()) {
            error = "empty model";
            return false;
        }
        camera.model = value;
    } else if (key == "serial") {
        camera.serial = value;
    } else if (key == "mac") {
        if (!IsMacText(value)) {
            error = "mac '" + std::string(value) + "' is not of the form aa:bb:cc:dd:ee:ff";
            return false;
        }
        camera.mac = value;
    } else if (key == "version") {
        camera.version = value;
    } else if (key == "newversion") {
        camera.newVersion = value;
    } else if (key == "doctype") {
        camera.docType = std::string(value);
    } else if (key == "admin") {
        if (!ParseAccount(value, false, camera.admin, error)) return false;
        camera.admin.level = 4;
    } else if (key == "user") {
        Account user;
        if (!ParseAccount(value, true, user, error)) return false;
        camera.users.push_back(user);
    } else if (key == "dhcp" || key == "dnsauto") {
        if (!ParseOnOff(value, key == "dhcp" ? camera.dhcp : camera.dnsAuto)) {
            error = std::string(key) + " must be on or off";
            return false;
        }
    } else if (key == "write" || key == "reboot" || key == "reconfig") {
        int& field = key == "write" ? camera.writeMs : key == "reboot" ? camera.rebootMs : camera.reconfigMs;
        if (!ParseDuration(value, field)) {
            error = std::string(key) + " must be a number of milliseconds";
            return false;
        }
    } else if (key == "fault") {
        return ParseFault(value, camera.faults, error);
    } else {
        error = "unknown key '" + std::string(key) + "'";
        return false;
    }
    return true;
}

}  // namespace

std::string DefaultSerial(int index) { return std::to_string(1000001 + index); }

std::string DefaultMac(int index) {
    const unsigned n = static_cast<unsigned>(index + 1);
    char text[18];
    std::snprintf(text, sizeof text, "02:71:72:%02x:%02x:%02x", (n >> 16) & 0xFF, (n >> 8) & 0xFF, n & 0xFF);
    return text;
}

bool ParseFleet(std::string_view text, std::vector<CameraSetup>& cameras, std::string& error) {
    cameras.clear();
    std::set<std::pair<uint32_t, uint16_t>> endpoints;
    int lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        const auto tokens = Tokens(line);
        if (tokens.empty()) continue;
        CameraSetup camera;
        const int index = static_cast<int>(cameras.size());
        camera.serial = DefaultSerial(index);
        camera.mac = DefaultMac(index);
        std::string why;
        bool ok = ParseAddressAndPort(tokens[0], camera, why);
        for (size_t i = 1; ok && i < tokens.size(); ++i) ok = ApplySetting(tokens[i], camera, why);
        if (ok && !endpoints.insert({camera.address, camera.port}).second) {
            why = "a second camera on " + camera.Label();
            ok = false;
        }
        if (!ok) {
            error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        }
        cameras.push_back(std::move(camera));
    }
    if (cameras.empty()) {
        error = "the fleet has no camera";
        return false;
    }
    return true;
}

std::vector<CameraSetup> MakeOrdinaryFleet(int count) {
    std::vector<CameraSetup> cameras(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        cameras[i].address = kFirstOrdinaryAddress + static_cast<uint32_t>(i);
        cameras[i].serial = DefaultSerial(i);
        cameras[i].mac = DefaultMac(i);
    }
    return cameras;
}

}  // namespace qrv::sim
