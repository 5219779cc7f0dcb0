#pragma once
// The simulator's record of what happened, for tests: one JSON object per
// line (schema in sim/README.md), and the raw bytes of every request.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "sim/HeaderList.h"

namespace qrv::sim {

// The fields of one event, in the order they were given. Texts are bytes:
// each byte b stands in the JSON text as the code point U+00bb, and every
// one outside printable ASCII is written escaped (\u00XX, or JSON's \n, \r,
// \t, \b, \f), so the line is ASCII and every byte comes back unchanged.
class JsonFields {
public:
    JsonFields& Str(std::string_view key, std::string_view value);
    JsonFields& Int(std::string_view key, int64_t value);
    JsonFields& Bool(std::string_view key, bool value);
    JsonFields& Headers(std::string_view key, const HeaderList& headers);
    // The fields of `other` after these (a key given again takes the later value).
    JsonFields& Append(const JsonFields& other);

    const nlohmann::ordered_json& Object() const { return object_; }

private:
    nlohmann::ordered_json object_ = nlohmann::ordered_json::object();
};

// One line of the log, its line end included: seq, time (seconds, to the
// microsecond), kind, camera (when not empty), then `fields`.
std::string EventLine(uint64_t seq, double seconds, std::string_view kind, std::string_view camera,
                      const JsonFields& fields);

std::string Sha256Hex(std::string_view bytes);

class EventLog {
public:
    EventLog();
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    bool Open(const std::string& path, std::string& error);
    // camera may be empty for events of the whole fleet.
    void Emit(std::string_view kind, std::string_view camera, const JsonFields& fields = {});
    // The same, stamped with a moment already past (a file's lines then are
    // in the order they were written, not always in the order of their times).
    void EmitAt(std::chrono::steady_clock::time_point at, std::string_view kind, std::string_view camera,
                const JsonFields& fields);

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::mutex mutex_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    uint64_t seq_ = 0;
    std::chrono::steady_clock::time_point start_;
};

// Keeps each request's raw bytes as DIR/<address>_<port>/NNNNNN.bin.
class CaptureStore {
public:
    bool Open(const std::string& dir, std::string& error);
    // Returns the file name relative to DIR, or "" when capturing is off.
    std::string Save(const std::string& camera, std::string_view bytes);

private:
    std::mutex mutex_;
    std::string dir_;
    std::map<std::string, uint64_t> counters_;
};

}  // namespace qrv::sim
