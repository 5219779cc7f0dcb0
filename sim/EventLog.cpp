#include "sim/EventLog.h"

#include <openssl/evp.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace qrv::sim {

namespace {

// The bytes as a JSON string: byte b is the code point U+00bb (Latin-1),
// which the reader maps back.
std::string Latin1(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < size; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

JsonFields& JsonFields::Str(std::string_view key, std::string_view value) {
    object_[Latin1(key)] = Latin1(value);
    return *this;
}

JsonFields& JsonFields::Int(std::string_view key, int64_t value) {
    object_[Latin1(key)] = value;
    return *this;
}

JsonFields& JsonFields::Bool(std::string_view key, bool value) {
    object_[Latin1(key)] = value;
    return *this;
}

JsonFields& JsonFields::Headers(std::string_view key, const HeaderList& headers) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& [name, value] : headers) list.push_back({Latin1(name), Latin1(value)});
    object_[Latin1(key)] = std::move(list);
    return *this;
}

JsonFields& JsonFields::Append(const JsonFields& other) {
    for (const auto& [key, value] : other.object_.items()) object_[key] = value;
    return *this;
}

std::string EventLine(uint64_t seq, double seconds, std::string_view kind, std::string_view camera,
                      const JsonFields& fields) {
    nlohmann::ordered_json event = nlohmann::ordered_json::object();
    event["seq"] = seq;
    event["time"] = std::round(seconds * 1e6) / 1e6;
    event["kind"] = Latin1(kind);
    if (!camera.empty()) event["camera"] = Latin1(camera);
    for (const auto& [key, value] : fields.Object().items()) event[key] = value;
    // ensure_ascii: every code point beyond ASCII (every byte beyond it) as
    // \u00XX. The texts are valid UTF-8 by construction; replace, not throw.
    return event.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace) + '\n';
}

EventLog::EventLog() : start_(std::chrono::steady_clock::now()) {}
EventLog::~EventLog() = default;

bool EventLog::Open(const std::string& path, std::string& error) {
    file_.reset(std::fopen(path.c_str(), "w"));
    if (!file_) {
        error = "cannot write the event log " + path;
        return false;
    }
    return true;
}

void EventLog::Emit(std::string_view kind, std::string_view camera, const JsonFields& fields) {
    EmitAt(std::chrono::steady_clock::now(), kind, camera, fields);
}

void EventLog::EmitAt(std::chrono::steady_clock::time_point at, std::string_view kind, std::string_view camera,
                      const JsonFields& fields) {
    const double seconds = std::chrono::duration<double>(at - start_).count();
    std::lock_guard lock(mutex_);
    if (!file_) return;
    std::string line;
    try {
        line = EventLine(++seq_, seconds, kind, camera, fields);
    } catch (const std::exception&) {
        return;  // no memory for the line: the event is lost, the simulator goes on
    }
    // Flushed line by line so that a test reading the log sees whole events.
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fflush(file_.get());
}

bool CaptureStore::Open(const std::string& dir, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        error = "cannot create the capture folder " + dir + ": " + ec.message();
        return false;
    }
    dir_ = dir;
    return true;
}

std::string CaptureStore::Save(const std::string& camera, std::string_view bytes) {
    if (dir_.empty()) return {};
    std::string folder = camera;
    for (char& c : folder)
        if (c == ':') c = '_';
    std::lock_guard lock(mutex_);
    char name[32];
    std::snprintf(name, sizeof name, "%06llu.bin", static_cast<unsigned long long>(++counters_[folder]));
    const std::string relative = folder + "/" + name;
    std::error_code ec;
    std::filesystem::create_directories(dir_ + "/" + folder, ec);
    std::ofstream out(dir_ + "/" + relative, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return relative;
}

}  // namespace qrv::sim
