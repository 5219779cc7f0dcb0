#pragma once
// What one simulated camera is at start: identity, accounts, timings and the
// faults it shows. Filled from a fleet file line or by --cameras.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qrv::sim {

// An account as the camera keeps it: the text a Basic credential decodes to
// ("name:password"; the factory administrator has a text of its own).
struct Account {
    std::string credentials;
    int level = 4;
};

// The factory administrator that a camera falls back to after new firmware.
inline constexpr const char* kFactoryToken = "TWFkZVVwVmFsdWU=";
Account FactoryAdministrator();

// How the configuration download goes wrong; one at a time, the last one
// named on a fleet line wins.
enum class ConfigFault {
    None,
    Html,       // html-config: a web page instead of the file
    Empty,      // config-empty: 200 with no body
    HtmlLower,  // config-html-lower: a lowercase web page after white space
    Redirect,   // config-redirect: 302 to the login page
    Cut,        // config-cut: chunked, half the file, no last chunk
    Drip,       // config-drip:MS: the file a byte at a time
    Endless,    // config-endless: chunked lines without end
};

struct Faults {
    bool silent = false;
    std::optional<int> delayMs;
    bool always401 = false;
    ConfigFault config = ConfigFault::None;
    int configDripMs = 0;  // the pause between two bytes of config-drip
    std::optional<uint64_t> dropUploadAfter;
    bool uploadNoAnswer = false;
    bool rebootOld = false;
    bool neverBack = false;
    int restoreRefuse = 0;
    int restoreReject = 0;
    bool bigReply = false;
    bool slowReply = false;
    bool garbage = false;
    bool textControl = false;     // control characters in the reported serial and camera name
    bool versionFormula = false;  // SoftVersion reported as "=1+2"
    bool discDuplicate = false;
    bool discSilent = false;
    std::optional<std::string> discModel;
    std::optional<std::string> discSerial;
    std::optional<std::string> discIpadr;
    std::optional<std::string> discWebport;
    std::optional<std::string> discDhcp;
    bool discAck = false;
    bool discNak = false;
    bool discAckInReply = false;
};

struct CameraSetup {
    uint32_t address = 0;  // host byte order: 127.x.y.z, or an address of a veth interface (see LocalNetwork.h)
    uint16_t port = 80;
    std::string model = "QRV-K7";
    std::string serial;
    std::string mac;
    std::string version = "1.20";  // "emergency" puts the camera in its emergency state
    std::string newVersion = "1.30";
    std::optional<std::string> docType;
    Account admin{"admin:admin", 4};
    std::vector<Account> users;
    bool dhcp = false;
    bool dnsAuto = false;
    int writeMs = 20000;
    int rebootMs = 60000;
    int reconfigMs = 30000;
    Faults faults;

    std::string AddressText() const;  // "127.0.0.2"
    std::string Label() const;        // "127.0.0.2:80", the camera's name in events and captures
};

std::string AddressText(uint32_t address);

}  // namespace qrv::sim
