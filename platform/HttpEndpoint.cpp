#include "platform/HttpClient.h"

// SplitAddress: pure, the same on every system (the HTTP clients themselves
// are HttpClient.cpp and win/).

#include <cctype>

namespace qrv {
namespace {

// Four decimal parts of 0..255 parted by dots, without leading zeros: what
// inet_pton takes for IPv4, parsed here so that every system takes the same.
bool IsDottedQuad(std::string_view text) {
    int parts = 0;
    size_t at = 0;
    while (parts < 4) {
        size_t digits = 0;
        int value = 0;
        while (at + digits < text.size() && digits < 4 && std::isdigit(static_cast<unsigned char>(text[at + digits]))) {
            value = value * 10 + (text[at + digits] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[at] == '0')) return false;
        at += digits;
        ++parts;
        if (parts < 4) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
    }
    return at == text.size();
}

}  // namespace

std::optional<HttpEndpoint> SplitAddress(std::string_view address) {
    HttpEndpoint endpoint;
    const size_t colon = address.find(':');
    endpoint.host = std::string(address.substr(0, colon));
    if (colon != std::string_view::npos) {
        std::string_view portText = address.substr(colon + 1, 10);
        long value = 0;
        size_t i = 0;
        for (; i < portText.size() && std::isdigit(static_cast<unsigned char>(portText[i])); ++i) {
            value = value * 10 + (portText[i] - '0');
        }
        if (i == 0 || value < 1 || value > 65535) return std::nullopt;
        endpoint.port = static_cast<int>(value);
    }
    if (!IsDottedQuad(endpoint.host)) return std::nullopt;
    return endpoint;
}

}  // namespace qrv
