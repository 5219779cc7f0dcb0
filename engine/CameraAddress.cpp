#include "engine/CameraAddress.h"

namespace qrv {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One address field: 1 to 3 digits, no leading zero, at most 255.
std::optional<std::uint8_t> ReadOctet(std::string_view field) {
    if (field.empty() || field.size() > 3 || (field.size() > 1 && field[0] == '0')) return std::nullopt;
    int value = 0;
    for (char c : field) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 255) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

}  // namespace

bool IsValidPort(int port) {
    return port == kDefaultHttpPort || (port >= kLowestCustomPort && port <= kHighestPort);
}

std::optional<CameraAddress> CameraAddress::Parse(std::string_view text) {
    CameraAddress address;
    const std::size_t colon = text.find(':');
    std::string_view host = text.substr(0, colon);
    if (colon != std::string_view::npos) {
        // Leading zeros are fine here ("0080" is port 80); more than five digits are not.
        const std::string_view portText = text.substr(colon + 1);
        if (portText.empty() || portText.size() > 5) return std::nullopt;
        int port = 0;
        for (char c : portText) {
            if (!IsDigit(c)) return std::nullopt;
            port = port * 10 + (c - '0');
        }
        if (!IsValidPort(port)) return std::nullopt;
        address.port = port;
    }
    for (std::size_t i = 0; i < address.ip.size(); ++i) {
        const std::size_t dot = host.find('.');
        const bool last = i + 1 == address.ip.size();
        if (last != (dot == std::string_view::npos)) return std::nullopt;
        const std::optional<std::uint8_t> octet = ReadOctet(host.substr(0, dot));
        if (!octet) return std::nullopt;
        address.ip[i] = *octet;
        if (!last) host.remove_prefix(dot + 1);
    }
    return address;
}

std::string CameraAddress::Text8() const {
    std::string text = std::to_string(ip[0]) + '.' + std::to_string(ip[1]) + '.' + std::to_string(ip[2]) + '.' +
                       std::to_string(ip[3]);
    if (port != kDefaultHttpPort) text += ':' + std::to_string(port);
    return text;
}

std::u16string CameraAddress::Text() const {
    const std::string narrow = Text8();
    return std::u16string(narrow.begin(), narrow.end());
}

}  // namespace qrv
