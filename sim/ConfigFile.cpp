#include "sim/ConfigFile.h"

#include <zlib.h>

#include <cstdint>

namespace qrv::sim {
namespace {

constexpr std::string_view kMagic{"QRVCFG\r\n\x1a\0\xff\x01", 12};
constexpr size_t kFileSize = 4096;

enum Record : uint16_t { kModel = 1, kSerial = 2, kMac = 3, kAdmin = 4, kUser = 5, kDhcp = 6, kDnsAuto = 7, kFiller = 0x7F };

void PutU16(std::string& out, uint16_t v) {
    out += char(v & 0xFF);
    out += char(v >> 8);
}

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
}

uint32_t GetU32(std::string_view in, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(in[at + i])) << (8 * i);
    return v;
}

uint16_t GetU16(std::string_view in, size_t at) { return uint16_t(uint8_t(in[at]) | (uint8_t(in[at + 1]) << 8)); }

void PutRecord(std::string& out, Record type, std::string_view data) {
    PutU16(out, type);
    PutU16(out, static_cast<uint16_t>(data.size()));
    out += data;
}

uint32_t Crc(std::string_view bytes) {
    return static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Deterministic per-camera bytes of every value, standing in for the rest of
// a real camera's settings; never containing "<HTML>", which would make the
// file look like a web page.
std::string Filler(size_t size, std::string_view seedText) {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (char c : seedText) state = (state ^ uint8_t(c)) * 0x100000001B3ull;
    std::string bytes;
    do {
        bytes.clear();
        for (size_t i = 0; i < size; ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            bytes += char(state & 0xFF);
        }
    } while (bytes.find("<HTML>") != std::string::npos);
    return bytes;
}

}  // namespace

std::string EncodeConfig(const CameraSettings& settings) {
    std::string out(kMagic);
    PutU32(out, 0);  // total length, filled in below
    PutRecord(out, kModel, settings.model);
    PutRecord(out, kSerial, settings.serial);
    PutRecord(out, kMac, settings.mac);
    PutRecord(out, kAdmin, settings.admin.credentials);
    for (const auto& user : settings.users)
        PutRecord(out, kUser, std::string(1, char(user.level)) + user.credentials);
    PutRecord(out, kDhcp, std::string(1, settings.dhcp ? '\1' : '\0'));
    PutRecord(out, kDnsAuto, std::string(1, settings.dnsAuto ? '\1' : '\0'));
    const size_t used = out.size() + 4 + 4;  // filler record header and the CRC
    const size_t fill = used < kFileSize ? kFileSize - used : 0;
    PutRecord(out, kFiller, Filler(fill, settings.serial + settings.mac));
    const uint32_t total = static_cast<uint32_t>(out.size() + 4);
    for (int i = 0; i < 4; ++i) out[kMagic.size() + i] = char((total >> (8 * i)) & 0xFF);
    PutU32(out, Crc(out));
    return out;
}

ConfigRead DecodeConfig(std::string_view bytes) {
    ConfigRead read;
    if (bytes.size() < kMagic.size() + 8 || bytes.substr(0, kMagic.size()) != kMagic) {
        read.reason = "not a configuration file of this camera (no magic)";
        return read;
    }
    if (GetU32(bytes, kMagic.size()) != bytes.size()) {
        read.reason = "configuration file length " + std::to_string(bytes.size()) + " differs from the recorded " +
                      std::to_string(GetU32(bytes, kMagic.size()));
        return read;
    }
    const size_t end = bytes.size() - 4;
    if (Crc(bytes.substr(0, end)) != GetU32(bytes, end)) {
        read.reason = "configuration file CRC does not match";
        return read;
    }
    bool hasModel = false, hasAdmin = false;
    size_t at = kMagic.size() + 4;
    while (at < end) {
        if (at + 4 > end || at + 4 + GetU16(bytes, at + 2) > end) {
            read.reason = "configuration record runs past the end";
            return read;
        }
        const uint16_t type = GetU16(bytes, at);
        const std::string_view data = bytes.substr(at + 4, GetU16(bytes, at + 2));
        at += 4 + data.size();
        switch (type) {
            case kModel: read.settings.model = data; hasModel = true; break;
            case kSerial: read.settings.serial = data; break;
            case kMac: read.settings.mac = data; break;
            case kAdmin: read.settings.admin = Account{std::string(data), 4}; hasAdmin = true; break;
            case kUser:
                if (data.empty()) {
                    read.reason = "empty user record";
                    return read;
                }
                read.settings.users.push_back(Account{std::string(data.substr(1)), uint8_t(data[0])});
                break;
            case kDhcp: read.settings.dhcp = !data.empty() && data[0] != 0; break;
            case kDnsAuto: read.settings.dnsAuto = !data.empty() && data[0] != 0; break;
            default: break;  // filler and records of later firmware
        }
    }
    if (!hasModel || !hasAdmin) {
        read.reason = "configuration file lacks the model or the administrator";
        return read;
    }
    read.ok = true;
    return read;
}

}  // namespace qrv::sim
