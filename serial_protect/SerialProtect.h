#pragma once
// The allow/deny rule deciding from a camera's serial whether the carried
// firmware may be sent to it, in the manner of an access list.

#include <memory>
#include <stdexcept>
#include <string_view>

#include "serial_protect/Pattern.h"

namespace ns_serial_protect {

class SerialProtect {
public:
    class bad_serial_protect_def : public std::invalid_argument {
    public:
        using std::invalid_argument::invalid_argument;
    };

    // order: "allow,deny" or "deny,allow" exactly. allow, deny: "all", "none"
    // or a pattern list such as "12345??;2[0-4]00000". Throws
    // bad_serial_protect_def; a failed construction leaves nothing behind.
    SerialProtect(std::string_view order, std::string_view allow, std::string_view deny);

    // "allow,deny": allowed when allowed and not denied (default refuse).
    // "deny,allow": refused only when denied and not allowed (default accept).
    bool IsAllowed(std::string_view serial) const;

private:
    void ReadSide(std::string_view name, std::string_view text, bool& all, bool& none,
                  std::unique_ptr<PatternList>& patterns);
    static bool Side(bool all, bool none, const std::unique_ptr<PatternList>& patterns,
                     std::string_view serial);

    bool order_ = true;  // true for "allow,deny"
    bool allowAll_ = false;
    bool allowNone_ = false;
    bool denyAll_ = false;
    bool denyNone_ = false;
    std::unique_ptr<PatternList> allowPatterns_;
    std::unique_ptr<PatternList> denyPatterns_;
};

}  // namespace ns_serial_protect
