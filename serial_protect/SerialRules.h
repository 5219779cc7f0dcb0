#pragma once
// The program-wide serial rule set: built once at start, then asked about every
// camera before it may receive the firmware.

#include <string_view>

namespace ns_serial_protect {

class SerialProtect;

// Builds the rule set from the built-in definition (allow all, deny none).
// Called once while the program starts, before anything asks IsSerialAllowed.
void InitSerialRules();
// Replaces the program-wide rule set (tests and special builds).
void InitSerialRules(std::string_view order, std::string_view allow, std::string_view deny);

// The serial as UTF-16 text, converted to the 8-bit code page, against the
// program-wide rule set. Builds the built-in rule set first if none exists.
bool IsSerialAllowed(std::u16string_view serial);

}  // namespace ns_serial_protect
