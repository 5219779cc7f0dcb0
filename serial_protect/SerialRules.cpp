#include "serial_protect/SerialRules.h"

#include <memory>
#include <mutex>
#include <string>

namespace ns_serial_protect {

namespace {

// Readers copy the pointer under the lock and match without it; a replaced
// rule set lives on until its last reader lets go.
std::mutex rulesMutex;
std::shared_ptr<const SerialProtect> rules;

std::shared_ptr<const SerialProtect> BuiltIn() {
    return std::make_shared<const SerialProtect>(kBuiltInOrder, kBuiltInAllow, kBuiltInDeny);
}

std::shared_ptr<const SerialProtect> CurrentRules() {
    std::lock_guard lock(rulesMutex);
    if (!rules) rules = BuiltIn();
    return rules;
}

std::string ToCodePage(std::u16string_view serial) {
    std::string narrow;
    narrow.reserve(serial.size());
    for (char16_t c : serial) narrow.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return narrow;
}

}  // namespace

void InitSerialRules() { CurrentRules(); }

void InitSerialRules(std::string_view order, std::string_view allow, std::string_view deny) {
    // Built outside the lock: a bad definition throws before anything changes.
    auto replacement = std::make_shared<const SerialProtect>(order, allow, deny);
    std::lock_guard lock(rulesMutex);
    rules = std::move(replacement);
}

bool IsSerialAllowed(std::u16string_view serial) {
    return CurrentRules()->IsAllowed(ToCodePage(serial));
}

}  // namespace ns_serial_protect
