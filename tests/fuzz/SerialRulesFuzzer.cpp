// Feeds arbitrary definitions to the serial rule set. Input: four lines, the
// order, the allow side, the deny side and a serial (missing lines are empty).
// Besides crashes, leaks and undefined behaviour, it traps when the rule set's
// answer differs from the allow/deny table worked out from its two sides, or
// when the program-wide set answers differently for the same serial.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "serial_protect/SerialRules.h"

namespace ns_serial_protect {
namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

std::string_view NextLine(std::string_view& rest) {
    const std::size_t newline = rest.find('\n');
    const std::string_view line = rest.substr(0, newline);
    rest = newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);
    return line;
}

// Whether one side covers the serial, read independently of SerialProtect.
bool SideMatches(std::string_view side, std::string_view serial) {
    if (side == "all") return true;
    if (side == "none") return false;
    return PatternList(side).Match(serial);
}

}  // namespace
}  // namespace ns_serial_protect

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ns_serial_protect;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view order = NextLine(rest);
    const std::string_view allow = NextLine(rest);
    const std::string_view deny = NextLine(rest);
    const std::string_view serial = rest;

    std::optional<SerialProtect> rules;
    try {
        rules.emplace(order, allow, deny);
    } catch (const SerialProtect::bad_serial_protect_def& e) {
        Check(std::string_view(e.what()).substr(0, 4) == "Bad ");
        return 0;
    }
    const bool allowed = SideMatches(allow, serial);
    const bool denied = SideMatches(deny, serial);
    const bool expected = order == "allow,deny" ? allowed && !denied : allowed || !denied;
    Check(rules->IsAllowed(serial) == expected);

    // The same text as UTF-16, one character per byte, through the program-wide set.
    InitSerialRules(order, allow, deny);
    std::u16string wide;
    for (char c : serial) wide.push_back(static_cast<unsigned char>(c));
    Check(IsSerialAllowed(wide) == expected);
    return 0;
}
