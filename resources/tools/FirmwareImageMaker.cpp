#include "resources/tools/FirmwareImageMaker.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qrv::pack {

namespace {

constexpr std::size_t kBlock = 512;
// 2010-01-01 00:00:00 UTC: a fixed time, so the archive never depends on the
// moment of the build.
constexpr unsigned long kFixedTime = 1262304000UL;

void PutText(Bytes& block, std::size_t at, std::size_t width, const std::string& text) {
    std::memcpy(block.data() + at, text.data(), std::min(width, text.size()));
}

void PutOctal(Bytes& block, std::size_t at, std::size_t width, unsigned long long value) {
    char field[32];
    std::snprintf(field, sizeof field, "%0*llo", static_cast<int>(width - 1), value);
    std::memcpy(block.data() + at, field, width - 1);  // the last byte stays NUL
}

Bytes TarHeader(const TarEntry& entry) {
    Bytes block(kBlock, 0);
    PutText(block, 0, 100, entry.name);
    PutOctal(block, 100, 8, 0644);
    PutOctal(block, 108, 8, 0);
    PutOctal(block, 116, 8, 0);
    PutOctal(block, 124, 12, entry.data.size());
    PutOctal(block, 136, 12, kFixedTime);
    block[156] = '0';
    PutText(block, 257, 8, std::string("ustar  ", 8));  // GNU form of the magic
    PutText(block, 265, 32, "root");
    PutText(block, 297, 32, "root");
    std::memset(block.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (auto b : block) sum += b;
    char field[8];
    std::snprintf(field, sizeof field, "%06o", sum);
    std::memcpy(block.data() + 148, field, 7);  // six digits, NUL, then the blank left in place
    return block;
}

std::uint64_t SplitMix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::string MemberName(const std::string& stem, int slot) {
    return "qrvk7_" + stem + std::to_string(slot) + ".tar.gz";
}

Bytes MemberContent(const FirmwarePart& part, int slot) {
    const std::string folder = part.stem + "/";
    const std::string note = "qrvk7 " + part.stem + " stand-in, slot " + std::to_string(slot) + "\n";
    return MakeTar({
        {folder + "README", Bytes(note.begin(), note.end())},
        {folder + part.stem + ".bin", PseudoRandomBytes(MemberName(part.stem, slot), part.payloadSize)},
    });
}

}  // namespace

Bytes MakeTar(const std::vector<TarEntry>& entries) {
    Bytes out;
    for (const auto& entry : entries) {
        const Bytes header = TarHeader(entry);
        out.insert(out.end(), header.begin(), header.end());
        out.insert(out.end(), entry.data.begin(), entry.data.end());
        out.resize((out.size() + kBlock - 1) / kBlock * kBlock, 0);
    }
    out.resize(out.size() + 2 * kBlock, 0);
    return out;
}

Bytes Gzip(const Bytes& data) {
    z_stream stream{};
    // Window bits 15 + 16: a gzip wrapper whose header has time 0 and no name.
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return status == Z_STREAM_END ? out : Bytes();
}

Bytes PseudoRandomBytes(const std::string& seed, std::size_t size) {
    std::uint64_t state = 0xCBF29CE484222325ULL;  // FNV-1a of the seed
    for (unsigned char c : seed) state = (state ^ c) * 0x100000001B3ULL;
    Bytes out(size);
    for (std::size_t at = 0; at < size; at += 8) {
        const std::uint64_t word = SplitMix64(state);
        for (std::size_t k = 0; k < 8 && at + k < size; ++k) out[at + k] = static_cast<std::uint8_t>(word >> (8 * k));
    }
    return out;
}

FirmwareLayout StandInLayout(int slot) {
    // Image 144 is 10,240 bytes longer than image 143; its firmware part grows.
    const std::size_t extra = slot == 2 ? 10240 : 0;
    return FirmwareLayout{slot, slot == 2 ? 3358720u : 3348480u,
                          {{"etc", 96000},
                           {"firm", 1480000 + extra},
                           {"kernel", 1150000},
                           {"lib", 420000},
                           {"tz", 18000},
                           {"web", 130000}}};
}

std::optional<Bytes> MakeFirmwareImage(const FirmwareLayout& layout) {
    std::vector<TarEntry> members;
    for (const auto& part : layout.parts) {
        Bytes gz = Gzip(MemberContent(part, layout.slot));
        if (gz.empty()) return std::nullopt;
        members.push_back({MemberName(part.stem, layout.slot), std::move(gz)});
    }
    Bytes image = MakeTar(members);
    if (image.size() > layout.imageSize) return std::nullopt;
    image.resize(layout.imageSize, 0);
    return image;
}

}  // namespace qrv::pack
