#pragma once
// One line of the camera simulator's event log, parsed (the schema is in
// sim/README.md).
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qrv::test {

struct SimEvent {
    uint64_t seq = 0;
    double time = 0;          // seconds since the simulator started
    std::string kind;         // "request", "response", "verdict", "state", "connect", "disconnect", "discovery", "ready", "stop"
    std::string camera;       // "127.0.0.2:80"; empty for events of the whole fleet

    // request and response
    uint64_t exchange = 0;
    uint64_t connection = 0;
    std::string method;
    std::string target;       // as sent, query included
    std::string path;
    std::string httpVersion;
    std::vector<std::pair<std::string, std::string>> headers;  // wire order
    uint64_t bodyLength = 0;
    std::string bodySha256;
    bool complete = false;    // the whole body arrived
    std::string capture;      // file of the raw request, relative to the capture folder
    int status = 0;           // response

    // verdict
    std::string what;
    bool ok = false;
    std::string reason;

    // state: "up", "writing", "rebooting", "reconfiguring", "down"
    std::string state;
    std::string version;      // the software version the camera reports

    // Every scalar field by name: texts as they decode, numbers and booleans
    // as written ("42", "true").
    std::map<std::string, std::string> fields;

    std::string Field(const std::string& name) const;
    bool Has(const std::string& name) const { return fields.count(name) != 0; }
    // First value of a request header, the name compared case-insensitively.
    std::optional<std::string> Header(const std::string& name) const;
};

// Parses one log line (with nlohmann-json); no value for a line that is not a
// complete event.
std::optional<SimEvent> ParseSimEvent(const std::string& line);

}  // namespace qrv::test
