#include "discovery/DiscoveryRoutes.h"

#include <algorithm>

namespace qrv {
namespace {

bool Named(const NetworkInterface& entry, std::string_view name) {
    return entry.name == name || DeviceName(entry.name) == name;
}

std::string KnownNames(std::span<const NetworkInterface> interfaces) {
    std::vector<std::string> names;
    for (const NetworkInterface& entry : interfaces) {
        if (std::find(names.begin(), names.end(), entry.name) == names.end()) names.push_back(entry.name);
    }
    if (names.empty()) return "none";
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

DiscoveryRoutePlan AllInterfaces(std::span<const NetworkInterface> interfaces) {
    DiscoveryRoutePlan plan;
    plan.routes.push_back(DiscoveryRoute{"", "", {}, {}, {kLimitedBroadcast}, true});
    for (const NetworkInterface& entry : interfaces) {
        if (!entry.up || entry.loopback || !entry.canBroadcast || entry.address == Ipv4Address{}) continue;
        const std::optional<Ipv4Address> target = BroadcastTarget(entry);
        if (!target) continue;
        plan.routes.push_back(DiscoveryRoute{entry.name, "", entry.address, entry.netmask, {*target}, false});
    }
    return plan;
}

DiscoveryRoutePlan OneInterface(std::span<const NetworkInterface> interfaces, std::string_view name) {
    DiscoveryRoutePlan plan;
    bool known = false;
    for (const NetworkInterface& entry : interfaces) {
        if (!Named(entry, name)) continue;
        known = true;
        if (!entry.up || entry.address == Ipv4Address{}) continue;
        DiscoveryRoute route{entry.name, std::string(DeviceName(entry.name)), entry.address, entry.netmask, {}, true};
        if (const std::optional<Ipv4Address> target = BroadcastTarget(entry)) route.targets.push_back(*target);
        route.targets.push_back(kLimitedBroadcast);
        plan.routes.push_back(std::move(route));
    }
    if (!known) {
        plan.error = "no network interface with an IPv4 address is named '" + std::string(name) +
                     "' (there are: " + KnownNames(interfaces) + ")";
    } else if (plan.routes.empty()) {
        plan.error = "the network interface '" + std::string(name) + "' is down";
    }
    return plan;
}

}  // namespace

DiscoveryRoutePlan PlanDiscoveryRoutes(std::span<const NetworkInterface> interfaces, const DiscoveryScope& scope) {
    return scope.onlyInterface.empty() ? AllInterfaces(interfaces) : OneInterface(interfaces, scope.onlyInterface);
}

std::string ReplyInterface(std::span<const NetworkInterface> interfaces, std::string_view arrivalDevice,
                           const Ipv4Address& sender, std::string_view socketInterface) {
    bool fromThisHost = sender[0] == 127;
    for (const NetworkInterface& entry : interfaces) fromThisHost = fromThisHost || entry.address == sender;
    if (!arrivalDevice.empty() && !fromThisHost) return std::string(arrivalDevice);
    for (const NetworkInterface& entry : interfaces) {
        if (entry.up && PrefixLength(entry.netmask) > 0 && InSubnet(sender, entry.address, entry.netmask)) {
            return std::string(DeviceName(entry.name));
        }
    }
    if (!arrivalDevice.empty()) return std::string(arrivalDevice);
    return std::string(DeviceName(socketInterface));
}

}  // namespace qrv
