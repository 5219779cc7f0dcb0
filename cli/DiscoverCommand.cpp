// discover [--seconds N] [--json]: one discovery window, then the cameras that
// answered, in slot order.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/CliProgram.h"
#include "discovery/BatchReport.h"
#include "platform/Text.h"

namespace qrv::cli {

namespace {

constexpr double kDefaultSeconds = 10.0;
constexpr double kMaxSeconds = 3600.0;

struct DiscoverOptions {
    double seconds = kDefaultSeconds;
    bool json = false;
};

std::optional<double> ReadSeconds(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value) || value <= 0 || value > kMaxSeconds) return std::nullopt;
    return value;
}

std::optional<DiscoverOptions> ReadOptions(std::span<const std::string> args) {
    DiscoverOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            options.json = true;
        } else if (args[i] == "--seconds" && i + 1 < args.size()) {
            const std::optional<double> seconds = ReadSeconds(args[++i]);
            if (!seconds) {
                std::fprintf(stderr, "--seconds needs a number of seconds above 0 (at most 3600), not '%s'\n",
                             args[i].c_str());
                return std::nullopt;
            }
            options.seconds = *seconds;
        } else {
            std::fprintf(stderr, "unknown or incomplete option '%s'\n", args[i].c_str());
            return std::nullopt;
        }
    }
    return options;
}

// A camera's 8-bit text for the terminal: UTF-8, with control characters
// (which could break the columns or drive the terminal) shown as '?'.
std::string PlainText(std::string_view text) {
    std::string safe(text);
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return ToUtf8(ToWide(safe));
}

std::string JsonText(std::string_view text) { return JsonString(ToUtf8(ToWide(text))); }

const char* OnOff(std::int32_t flag) {
    return flag ? "on" : "off";
}

std::string LineOf(const DiscoveredCamera& camera) {
    return PlainText(FieldText(camera.mac)) + '\t' + AddressText(camera) + '\t' + PlainText(FieldText(camera.model)) +
           '\t' + PlainText(FieldText(camera.serial)) + '\t' + PlainText(FieldText(camera.version)) + '\t' +
           OnOff(camera.dhcp) + '\t' + OnOff(camera.dnsauto);
}

std::string JsonOf(const DiscoveredCamera& camera) {
    return "{\"mac\":" + JsonText(FieldText(camera.mac)) + ",\"ip\":\"" + DottedAddress(camera.ip) +
           "\",\"port\":" + std::to_string(camera.port) + ",\"model\":" + JsonText(FieldText(camera.model)) +
           ",\"serial\":" + JsonText(FieldText(camera.serial)) + ",\"version\":" +
           JsonText(FieldText(camera.version)) + ",\"dhcp\":" + (camera.dhcp ? "true" : "false") +
           ",\"dnsauto\":" + (camera.dnsauto ? "true" : "false") + "}";
}

void PrintCameras(const std::vector<DiscoveredCamera>& cameras, bool json) {
    if (!json) {
        for (const DiscoveredCamera& camera : cameras) PrintLine(LineOf(camera));
        return;
    }
    if (cameras.empty()) {
        PrintLine("[]");
        return;
    }
    PrintLine("[");
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        PrintLine("  " + JsonOf(cameras[i]) + (i + 1 < cameras.size() ? "," : ""));
    }
    PrintLine("]");
}

int RunDiscover(std::span<const std::string> args) {
    const std::optional<DiscoverOptions> options = ReadOptions(args);
    if (!options) return kExitUsage;
    CliProgram program(false);
    DiscoveryTable table(program.package.Models());
    RunDiscoveryWindow(program, table, options->seconds);
    PrintCameras(table.Snapshot(), options->json);
    return kExitOk;
}

const RegisterCommand kDiscover({
    "discover",
    "[--seconds N] [--json]",
    "find the cameras on the local network by the UDP broadcast and list them",
    "  --seconds N   length of the discovery window (default 10); the request is\n"
    "                sent at the start and again at half time\n"
    "  --json        a JSON array of {mac, ip, port, model, serial, version, dhcp,\n"
    "                dnsauto} instead of tab-separated lines (mac, address, model,\n"
    "                serial, version, dhcp on|off, dnsauto on|off)",
    &RunDiscover,
});

}  // namespace

}  // namespace qrv::cli
