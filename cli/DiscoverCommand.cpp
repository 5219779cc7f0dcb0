// discover [--seconds N] [--json] [--interface NAME]: one discovery window (on
// every interface, or on one), then the cameras that answered, in slot order.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/CliProgram.h"
#include "discovery/DiscoveryRoutes.h"
#include "platform/NetworkInterfaces.h"
#include "platform/Text.h"
#include "report/BatchReport.h"

namespace qrv::cli {

namespace {

constexpr double kDefaultSeconds = 10.0;
constexpr double kMaxSeconds = 3600.0;

struct DiscoverOptions {
    double seconds = kDefaultSeconds;
    bool json = false;
    DiscoveryScope scope;
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
        } else if (args[i] == "--interface" && i + 1 < args.size()) {
            options.scope.onlyInterface = args[++i];
            if (options.scope.onlyInterface.empty()) {
                std::fprintf(stderr, "--interface needs the name of a network interface\n");
                return std::nullopt;
            }
        } else {
            std::fprintf(stderr, "unknown or incomplete option '%s'\n", args[i].c_str());
            return std::nullopt;
        }
    }
    return options;
}

// A camera's 8-bit text for the terminal: UTF-8, with control characters
// (which could break the columns or drive the terminal) shown as '?'.
std::string PlainText(std::string_view text) { return TerminalSafe(ToWide(text)); }

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
           ",\"dnsauto\":" + (camera.dnsauto ? "true" : "false") +
           ",\"interface\":" + JsonText(FieldText(camera.interfaceName)) + "}";
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
    if (!options->scope.onlyInterface.empty()) {
        // Checked before anything is sent; discovery lists the interfaces
        // again when it starts.
        const std::vector<NetworkInterface> interfaces = ListIpv4Interfaces();
        const DiscoveryRoutePlan plan = PlanDiscoveryRoutes(interfaces, options->scope);
        if (!plan.error.empty()) {
            std::fprintf(stderr, "%s\n", PlainText(plan.error).c_str());
            return kExitUsage;
        }
    }
    CliProgram program(false);
    DiscoveryTable table(program.package.Models());
    RunDiscoveryWindow(program, table, options->seconds, options->scope);
    PrintCameras(table.Snapshot(), options->json);
    return kExitOk;
}

const RegisterCommand kDiscover({
    "discover",
    "[--seconds N] [--json] [--interface NAME]",
    "find the cameras on the local networks by UDP broadcast and list them",
    "  --seconds N   length of the discovery window (default 10); the request is\n"
    "                sent at the start and again at half time: to 255.255.255.255\n"
    "                from any address, and to the broadcast address of every\n"
    "                interface that is up, is not loopback and can broadcast, from\n"
    "                that interface's address\n"
    "  --json        a JSON array of {mac, ip, port, model, serial, version, dhcp,\n"
    "                dnsauto, interface} instead of tab-separated lines (mac,\n"
    "                address, model, serial, version, dhcp on|off, dnsauto on|off);\n"
    "                interface is the one the camera's latest reply came in on\n"
    "  --interface NAME\n"
    "                only that interface (a name such as eth0, or an address\n"
    "                label such as eth0:1): the request goes to its broadcast\n"
    "                address and to 255.255.255.255, both from its address (the\n"
    "                socket is also bound to the device where the system\n"
    "                permits), so that cameras whose address lies outside its\n"
    "                subnet answer too; nothing is sent elsewhere. An unknown\n"
    "                interface, or one that is down, is an error (exit 2)",
    &RunDiscover,
});

}  // namespace

}  // namespace qrv::cli
