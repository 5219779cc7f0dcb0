#include "sim/TarMembers.h"

#include <algorithm>
#include <cstdint>

namespace qrv::sim {
namespace {

constexpr size_t kBlock = 512;

bool ReadOctal(std::string_view field, uint64_t& value) {
    value = 0;
    size_t i = 0;
    while (i < field.size() && field[i] == ' ') ++i;
    bool any = false;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '7'; ++i) {
        value = value * 8 + static_cast<uint64_t>(field[i] - '0');
        any = true;
    }
    for (; i < field.size(); ++i)
        if (field[i] != ' ' && field[i] != '\0') return false;
    return any;
}

std::string CString(std::string_view field) { return std::string(field.substr(0, field.find('\0'))); }

bool ChecksumMatches(std::string_view header) {
    uint64_t stored = 0;
    if (!ReadOctal(header.substr(148, 8), stored)) return false;
    uint64_t sum = 0;
    for (size_t i = 0; i < kBlock; ++i) sum += (i >= 148 && i < 156) ? uint8_t(' ') : uint8_t(header[i]);
    return sum == stored;
}

}  // namespace

TarListing ListUstarMembers(std::string_view archive) {
    TarListing listing;
    size_t offset = 0;
    while (offset + kBlock <= archive.size()) {
        const std::string_view header = archive.substr(offset, kBlock);
        if (std::all_of(header.begin(), header.end(), [](char c) { return c == '\0'; })) {
            listing.ok = !listing.names.empty();
            if (!listing.ok) listing.reason = "the archive has no member";
            return listing;
        }
        if (header.substr(257, 5) != "ustar") {
            listing.reason = "no ustar header at offset " + std::to_string(offset);
            return listing;
        }
        if (!ChecksumMatches(header)) {
            listing.reason = "bad header checksum at offset " + std::to_string(offset);
            return listing;
        }
        uint64_t size = 0;
        if (!ReadOctal(header.substr(124, 12), size)) {
            listing.reason = "bad member size at offset " + std::to_string(offset);
            return listing;
        }
        const char type = header[156];
        std::string name = CString(header.substr(0, 100));
        const std::string prefix = CString(header.substr(345, 155));
        if (!prefix.empty()) name = prefix + "/" + name;
        if (type == '0' || type == '\0') listing.names.push_back(name);
        const uint64_t padded = (size + kBlock - 1) / kBlock * kBlock;
        if (padded > archive.size() - offset - kBlock) {
            listing.reason = "member " + name + " runs past the end of the archive";
            return listing;
        }
        offset += kBlock + static_cast<size_t>(padded);
    }
    listing.ok = !listing.names.empty() && offset == archive.size();
    if (!listing.ok) listing.reason = listing.names.empty() ? "the archive has no member" : "the archive ends inside a block";
    return listing;
}

bool ImageFits(const TarListing& listing, std::string_view docType, std::string& reason) {
    if (!listing.ok) {
        reason = "not a firmware image: " + listing.reason;
        return false;
    }
    const std::string wanted = std::string(docType == "g3" ? "2" : "1") + ".tar.gz";
    for (const auto& name : listing.names) {
        if (name.size() <= wanted.size() || name.compare(name.size() - wanted.size(), wanted.size(), wanted) != 0) {
            reason = "member " + name + " is not for DocType \"" + std::string(docType) + "\" (expected names ending in " +
                     wanted + ")";
            return false;
        }
    }
    return true;
}

}  // namespace qrv::sim
