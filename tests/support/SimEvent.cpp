#include "tests/support/SimEvent.h"

#include <cctype>
#include <cstddef>

#include <nlohmann/json.hpp>

namespace qrv::test {
namespace {

using Json = nlohmann::json;

// A text of the log back to its bytes: the simulator writes byte b as the
// code point U+00bb. Nothing for a code point beyond U+00FF, which it never writes.
std::optional<std::string> Bytes(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
        } else if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size()) {
            out += static_cast<char>(((lead & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// A scalar as the event's fields keep it: a text's bytes, a number or a
// literal as JSON writes it ("42", "1.5", "true").
std::optional<std::string> ScalarText(const Json& value) {
    if (value.is_string()) return Bytes(value.get_ref<const std::string&>());
    return value.dump();
}

bool ReadHeaders(const Json& list, std::vector<std::pair<std::string, std::string>>& headers) {
    if (!list.is_array()) return false;
    for (const Json& pair : list) {
        if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_string()) return false;
        std::optional<std::string> name = Bytes(pair[0].get_ref<const std::string&>());
        std::optional<std::string> value = Bytes(pair[1].get_ref<const std::string&>());
        if (!name || !value) return false;
        headers.emplace_back(std::move(*name), std::move(*value));
    }
    return true;
}

void Assign(const std::string& key, const Json& json, const std::string& value, SimEvent& e) {
    const auto number = [&]() -> uint64_t { return json.is_number_unsigned() ? json.get<uint64_t>() : 0; };
    if (key == "seq") e.seq = number();
    else if (key == "time") e.time = json.is_number() ? json.get<double>() : 0;
    else if (key == "kind") e.kind = value;
    else if (key == "camera") e.camera = value;
    else if (key == "exchange") e.exchange = number();
    else if (key == "connection") e.connection = number();
    else if (key == "method") e.method = value;
    else if (key == "target") e.target = value;
    else if (key == "path") e.path = value;
    else if (key == "http_version") e.httpVersion = value;
    else if (key == "body_length") e.bodyLength = number();
    else if (key == "body_sha256") e.bodySha256 = value;
    else if (key == "complete") e.complete = value == "true";
    else if (key == "capture") e.capture = value;
    else if (key == "status") e.status = static_cast<int>(number());
    else if (key == "what") e.what = value;
    else if (key == "ok") e.ok = value == "true";
    else if (key == "reason") e.reason = value;
    else if (key == "state") e.state = value;
    else if (key == "version") e.version = value;
}

bool ReadEvent(const Json& object, SimEvent& event) {
    if (!object.is_object()) return false;
    for (const auto& [key, value] : object.items()) {
        if (key == "headers") {
            if (!ReadHeaders(value, event.headers)) return false;
            continue;
        }
        if (value.is_structured()) continue;
        const std::optional<std::string> text = ScalarText(value);
        if (!text) return false;
        event.fields[key] = *text;
        Assign(key, value, *text, event);
    }
    return true;
}

}  // namespace

std::string SimEvent::Field(const std::string& name) const {
    const auto it = fields.find(name);
    return it == fields.end() ? std::string() : it->second;
}

std::optional<std::string> SimEvent::Header(const std::string& name) const {
    for (const auto& [n, v] : headers) {
        if (n.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < n.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(n[i])) == std::tolower(static_cast<unsigned char>(name[i]));
        if (same) return v;
    }
    return std::nullopt;
}

std::optional<SimEvent> ParseSimEvent(const std::string& line) {
    // The non-throwing parse: a line that is no JSON (one cut short) is discarded.
    const Json object = Json::parse(line, nullptr, false);
    if (object.is_discarded()) return std::nullopt;
    SimEvent event;
    try {
        if (!ReadEvent(object, event)) return std::nullopt;
    } catch (const Json::exception&) {
        return std::nullopt;
    }
    return event;
}

}  // namespace qrv::test
