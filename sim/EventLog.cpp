#include "sim/EventLog.h"

#include <openssl/evp.h>

#include <filesystem>
#include <fstream>

namespace qrv::sim {

std::string JsonString(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '"' || b == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b >= 0x7F) {
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

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

void JsonFields::Key(std::string_view key) {
    text_ += ',';
    text_ += JsonString(key);
    text_ += ':';
}

JsonFields& JsonFields::Str(std::string_view key, std::string_view value) {
    Key(key);
    text_ += JsonString(value);
    return *this;
}

JsonFields& JsonFields::Int(std::string_view key, int64_t value) {
    Key(key);
    text_ += std::to_string(value);
    return *this;
}

JsonFields& JsonFields::Bool(std::string_view key, bool value) {
    Key(key);
    text_ += value ? "true" : "false";
    return *this;
}

JsonFields& JsonFields::Headers(std::string_view key, const HeaderList& headers) {
    Key(key);
    text_ += '[';
    for (size_t i = 0; i < headers.size(); ++i) {
        if (i) text_ += ',';
        text_ += '[' + JsonString(headers[i].first) + ',' + JsonString(headers[i].second) + ']';
    }
    text_ += ']';
    return *this;
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
    char time[32];
    std::snprintf(time, sizeof time, "%.6f", seconds);
    std::string line = "{\"seq\":" + std::to_string(++seq_) + ",\"time\":" + time + ",\"kind\":" + JsonString(kind);
    if (!camera.empty()) line += ",\"camera\":" + JsonString(camera);
    line += fields.Text();
    line += "}\n";
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
