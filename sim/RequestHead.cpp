#include "sim/RequestHead.h"

#include <charconv>
#include <cstdint>

namespace qrv::sim {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool IsToken(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c <= 32 || c >= 127 || c == ':') return false;
    return true;
}

bool HasToken(std::string_view list, std::string_view token) {
    size_t start = 0;
    while (start <= list.size()) {
        auto comma = list.find(',', start);
        if (comma == std::string_view::npos) comma = list.size();
        if (SameName(Trim(list.substr(start, comma - start)), token)) return true;
        start = comma + 1;
    }
    return false;
}

}  // namespace

bool ParseRequestHead(std::string_view head, RequestHead& out, std::string& reason) {
    out = RequestHead{};
    size_t lineStart = 0;
    bool first = true;
    while (lineStart < head.size() || first) {
        auto end = head.find("\r\n", lineStart);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = head.substr(lineStart, end - lineStart);
        lineStart = end + 2;
        if (line.find('\n') != std::string_view::npos || line.find('\r') != std::string_view::npos) {
            reason = "a line of the head is not ended by CR LF";
            return false;
        }
        if (first) {
            first = false;
            const auto sp1 = line.find(' ');
            const auto sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
            if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
                reason = "request line is not METHOD TARGET VERSION";
                return false;
            }
            out.method = line.substr(0, sp1);
            out.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
            out.version = line.substr(sp2 + 1);
            if (!IsToken(out.method) || out.target.empty() || (out.version != "HTTP/1.1" && out.version != "HTTP/1.0")) {
                reason = "bad request line";
                return false;
            }
            out.path = out.target.substr(0, out.target.find('?'));
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
            reason = "header line without a name and ':'";
            return false;
        }
        out.headers.emplace_back(std::string(line.substr(0, colon)), std::string(Trim(line.substr(colon + 1))));
    }
    return true;
}

BodyFraming FindBodyLength(const RequestHead& head) {
    BodyFraming framing;
    if (!HeaderValues(head.headers, "Transfer-Encoding").empty()) {
        framing.status = 411;
        framing.reason = "Transfer-Encoding is not supported; the camera needs Content-Length";
        return framing;
    }
    const auto lengths = HeaderValues(head.headers, "Content-Length");
    if (lengths.empty()) {
        framing.ok = true;
        return framing;
    }
    for (const auto& text : lengths) {
        if (text != lengths.front()) {
            framing.reason = "Content-Length headers disagree";
            return framing;
        }
    }
    const std::string& text = lengths.front();
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), framing.length);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        framing.reason = "Content-Length is not a number: " + text;
        return framing;
    }
    framing.ok = true;
    return framing;
}

bool WantsKeepAlive(const RequestHead& head) {
    const auto connection = HeaderValues(head.headers, "Connection");
    for (const auto& value : connection) {
        if (HasToken(value, "close")) return false;
        if (HasToken(value, "keep-alive")) return true;
    }
    return head.version == "HTTP/1.1";
}

ShapedResponse ShapeResponse(std::string_view raw, bool keepAlive) {
    ShapedResponse shaped;
    const auto headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string_view::npos || raw.substr(0, 9) != "HTTP/1.1 ") return shaped;
    const auto head = raw.substr(0, headEnd);
    const auto body = raw.substr(headEnd + 4);
    const auto firstEnd = head.find("\r\n");
    const auto statusLine = head.substr(0, firstEnd);
    const auto [end, ec] = std::from_chars(statusLine.data() + 9, statusLine.data() + statusLine.size(), shaped.status);
    if (ec != std::errc()) return shaped;
    std::string out(statusLine);
    out += "\r\n";
    bool hasLength = false;
    size_t lineStart = firstEnd == std::string_view::npos ? head.size() : firstEnd + 2;
    while (lineStart < head.size()) {
        auto lineEnd = head.find("\r\n", lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = head.size();
        const auto line = head.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        const auto name = line.substr(0, line.find(':'));
        if (SameName(name, "Connection") || SameName(name, "Keep-Alive")) continue;
        if (SameName(name, "Content-Length")) hasLength = true;
        out += line;
        out += "\r\n";
    }
    if (!hasLength) out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    out += body;
    shaped.bodyLength = body.size();
    shaped.wire = std::move(out);
    shaped.ok = true;
    return shaped;
}

}  // namespace qrv::sim
