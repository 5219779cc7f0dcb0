#include "serial_protect/SerialProtect.h"

#include <string>

namespace ns_serial_protect {

SerialProtect::SerialProtect(std::string_view order, std::string_view allow,
                             std::string_view deny) {
    if (order == "allow,deny") {
        order_ = true;
    } else if (order == "deny,allow") {
        order_ = false;
    } else {
        throw bad_serial_protect_def("Bad 'order' definition:" + std::string(order) +
                                     " MUST be:\"allow,deny\" or \"deny,allow\".");
    }
    if (allow.empty()) throw bad_serial_protect_def("Bad 'allow' definition: Empty!");
    if (deny.empty()) throw bad_serial_protect_def("Bad 'deny' definition: Empty!");
    ReadSide("allow", allow, allowAll_, allowNone_, allowPatterns_);
    ReadSide("deny", deny, denyAll_, denyNone_, denyPatterns_);
}

void SerialProtect::ReadSide(std::string_view name, std::string_view text, bool& all, bool& none,
                             std::unique_ptr<PatternList>& patterns) {
    if (text == "all") {
        all = true;
    } else if (text == "none") {
        none = true;
    } else {
        try {
            patterns = std::make_unique<PatternList>(text);
        } catch (const Pattern::bad_pattern_def& e) {
            throw bad_serial_protect_def("Bad \"" + std::string(name) + "\" definition. " +
                                         e.what());
        }
    }
}

bool SerialProtect::Side(bool all, bool none, const std::unique_ptr<PatternList>& patterns,
                         std::string_view serial) {
    if (all) return true;
    if (none) return false;
    return patterns->Match(serial);
}

bool SerialProtect::IsAllowed(std::string_view serial) const {
    const bool allowed = Side(allowAll_, allowNone_, allowPatterns_, serial);
    const bool denied = Side(denyAll_, denyNone_, denyPatterns_, serial);
    return order_ ? (allowed && !denied) : (allowed || !denied);
}

}  // namespace ns_serial_protect
