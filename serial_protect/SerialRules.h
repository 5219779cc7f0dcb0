#pragma once
// The program-wide serial rule set: built once at start, then asked about every
// camera before it may receive the firmware. Safe to use from any thread: the
// discovery receiver and the user-interface thread read it at the same time.

#include <string_view>

#include "serial_protect/SerialProtect.h"

namespace ns_serial_protect {

// The built-in definition: every serial is allowed.
inline constexpr std::string_view kBuiltInOrder = "allow,deny";
inline constexpr std::string_view kBuiltInAllow = "all";
inline constexpr std::string_view kBuiltInDeny = "none";

// Builds the rule set from the built-in definition (allow all, deny none).
// Called once while the program starts, before anything asks IsSerialAllowed.
// A rule set that already exists is kept, so one installed by the overload
// below (a test, a special build) survives the wizard's start-up.
void InitSerialRules();
// Replaces the program-wide rule set (tests and special builds). Throws
// SerialProtect::bad_serial_protect_def on a bad definition; the current rule
// set then stays in force. To return to the built-in set, pass the kBuiltIn
// texts above.
void InitSerialRules(std::string_view order, std::string_view allow, std::string_view deny);

// The serial as UTF-16 text, converted to the 8-bit code page (one byte per
// character; a character above 0xFF becomes '?'), against the program-wide
// rule set. Builds the built-in rule set first if none exists.
bool IsSerialAllowed(std::u16string_view serial);

}  // namespace ns_serial_protect
