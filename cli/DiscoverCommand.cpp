// discover [--seconds N] [--json] [--interface NAME]: one discovery window (on
// every interface, or on one), then the cameras that answered, in slot order.

#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommand.h"
#include "cli/CliOptions.h"
#include "cli/CliProgram.h"
#include "discovery/DiscoveryRoutes.h"
#include "platform/NetworkInterfaces.h"
#include "platform/Text.h"

namespace qrv::cli {

namespace {

// A camera's 8-bit text for the terminal: UTF-8, with control characters
// (which could break the columns or drive the terminal) shown as '?'.
std::string PlainText(std::string_view text) { return TerminalSafe(ToWide(text)); }

// A camera's 8-bit text as JSON takes it: UTF-8 of the code page.
std::string Utf8Text(std::string_view text) { return ToUtf8(ToWide(text)); }

const char* OnOff(std::int32_t flag) {
    return flag ? "on" : "off";
}

std::string LineOf(const DiscoveredCamera& camera) {
    return PlainText(FieldText(camera.mac)) + '\t' + AddressText(camera) + '\t' + PlainText(FieldText(camera.model)) +
           '\t' + PlainText(FieldText(camera.serial)) + '\t' + PlainText(FieldText(camera.version)) + '\t' +
           OnOff(camera.dhcp) + '\t' + OnOff(camera.dnsauto);
}

// One camera as one line of JSON, its keys in this order.
std::string JsonOf(const DiscoveredCamera& camera) {
    nlohmann::ordered_json object;
    object["mac"] = Utf8Text(FieldText(camera.mac));
    object["ip"] = DottedAddress(camera.ip);
    object["port"] = camera.port;
    object["model"] = Utf8Text(FieldText(camera.model));
    object["serial"] = Utf8Text(FieldText(camera.serial));
    object["version"] = Utf8Text(FieldText(camera.version));
    object["dhcp"] = camera.dhcp != 0;
    object["dnsauto"] = camera.dnsauto != 0;
    object["interface"] = Utf8Text(FieldText(camera.interfaceName));
    // Whatever a camera sent, the output stays valid UTF-8.
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void PrintCameras(CliIo& io, const std::vector<DiscoveredCamera>& cameras, bool json) {
    if (!json) {
        for (const DiscoveredCamera& camera : cameras) io.Out(LineOf(camera));
        return;
    }
    if (cameras.empty()) {
        io.Out("[]");
        return;
    }
    io.Out("[");
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        io.Out("  " + JsonOf(cameras[i]) + (i + 1 < cameras.size() ? "," : ""));
    }
    io.Out("]");
}

class DiscoverCommand final : public CommandBody {
public:
    explicit DiscoverCommand(CLI::App& app) {
        DeclareSeconds(app, seconds_,
                       "length of the discovery window (default 10); the request is\n"
                       "sent at the start and again at half time: to 255.255.255.255\n"
                       "from any address, and to the broadcast address of every\n"
                       "interface that is up, is not loopback and can broadcast, from\n"
                       "that interface's address");
        app.add_flag("--json", json_,
                     "a JSON array of {mac, ip, port, model, serial, version, dhcp,\n"
                     "dnsauto, interface} instead of tab-separated lines (mac,\n"
                     "address, model, serial, version, dhcp on|off, dnsauto on|off);\n"
                     "interface is the one the camera's latest reply came in on");
        interfaceOption_ = app.add_option("--interface", interface_,
                                          "only that interface (a name such as eth0, or an address\n"
                                          "label such as eth0:1): the request goes to its broadcast\n"
                                          "address and to 255.255.255.255, both from its address (the\n"
                                          "socket is also bound to the device where the system\n"
                                          "permits), so that cameras whose address lies outside its\n"
                                          "subnet answer too; nothing is sent elsewhere. An unknown\n"
                                          "interface, or one that is down, is an error (exit 2)")
                               ->option_text("NAME");
    }

    int Run(CliIo& io, std::span<const std::string>) override;

private:
    SecondsArgument seconds_;
    bool json_ = false;
    std::string interface_;
    CLI::Option* interfaceOption_ = nullptr;
};

int DiscoverCommand::Run(CliIo& io, std::span<const std::string>) {
    if (interfaceOption_->count() > 0 && interface_.empty()) {
        return UsageError(io, "--interface needs the name of a network interface.");
    }
    DiscoveryScope scope;
    scope.onlyInterface = interface_;
    if (!scope.onlyInterface.empty()) {
        // Checked before anything is sent; discovery lists the interfaces
        // again when it starts.
        const std::vector<NetworkInterface> interfaces = ListIpv4Interfaces();
        const DiscoveryRoutePlan plan = PlanDiscoveryRoutes(interfaces, scope);
        if (!plan.error.empty()) {
            io.Err(PlainText(plan.error));
            return kExitUsage;
        }
    }
    CliProgram program(io, false);
    DiscoveryTable table(program.package.Models());
    RunDiscoveryWindow(program, table, seconds_.Value(), scope);
    PrintCameras(io, table.Snapshot(), json_);
    return kExitOk;
}

const RegisterCommand kDiscover({
    "discover",
    "find the cameras on the local networks by UDP broadcast and list them",
    &DeclareBody<DiscoverCommand>,
});

}  // namespace

}  // namespace qrv::cli
