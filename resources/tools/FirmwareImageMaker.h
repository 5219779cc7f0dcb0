#pragma once
// Builds the stand-in firmware images the program carries: a tar archive
// (GNU ustar headers) of six gzip-compressed tar members, zero-padded to an
// exact size. The content is pseudo-random but fixed, so every build makes
// the same bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qrv::pack {

using Bytes = std::vector<std::uint8_t>;

struct TarEntry {
    std::string name;  // at most 99 bytes
    Bytes data;
};

// A tar archive of regular files with fixed owner, mode and time, ended by
// two zero blocks (no padding to a record size).
Bytes MakeTar(const std::vector<TarEntry>& entries);
// A gzip stream with modification time 0 and no file name.
Bytes Gzip(const Bytes& data);
// `size` bytes from a generator seeded by `seed`.
Bytes PseudoRandomBytes(const std::string& seed, std::size_t size);

struct FirmwarePart {
    std::string stem;         // "etc", "firm", ...
    std::size_t payloadSize;  // bytes of the part's pseudo-random content
};

struct FirmwareLayout {
    int slot = 1;                 // 1 for image 143, 2 for image 144
    std::size_t imageSize = 0;    // exact size of the padded image
    std::vector<FirmwarePart> parts;
};

// The layout of image 143 (slot 1) or 144 (slot 2).
FirmwareLayout StandInLayout(int slot);

// Member "qrvk7_<stem><slot>.tar.gz" per part; nothing when the archive does
// not fit into the image size.
std::optional<Bytes> MakeFirmwareImage(const FirmwareLayout& layout);

}  // namespace qrv::pack
