#include "resources/ResourcePack.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qrv {

// Packed image layout, all numbers little-endian:
//   magic "QRVPACK" 0x01 | u32 item count | u32 zero
//   one 16-byte entry per item: u16 type | u16 zero | i32 number | u32 offset | u32 size
//   item bytes, each starting on a 16-byte boundary (images are read in place).
namespace {

constexpr std::array<unsigned char, 8> kMagic{'Q', 'R', 'V', 'P', 'A', 'C', 'K', 0x01};
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kAlignment = 16;

std::uint32_t ReadU32(ResourceBytes bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | std::to_integer<std::uint32_t>(bytes[at + i]);
    return value;
}

void WriteU32(std::vector<std::byte>& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
}

std::size_t AlignUp(std::size_t n) { return (n + kAlignment - 1) / kAlignment * kAlignment; }

bool IsKnownType(std::uint32_t type) {
    return type >= static_cast<std::uint32_t>(ResourceType::Bin) && type <= static_cast<std::uint32_t>(ResourceType::Icon);
}

}  // namespace

ResourcePack::ResourcePack(std::map<std::pair<ResourceType, int>, std::vector<std::byte>> items) {
    owned_.reserve(items.size());
    for (auto& [key, bytes] : items) {
        owned_.push_back(std::move(bytes));
        index_[key] = ResourceBytes(owned_.back());
    }
}

ResourcePack::ResourcePack(const ResourcePack& other) : owned_(other.owned_) {
    // An owned item is always one whole buffer; anything else points into an
    // image that outlives both packs and is shared as it is.
    for (const auto& [key, bytes] : other.index_) {
        ResourceBytes mine = bytes;
        for (std::size_t i = 0; i < other.owned_.size(); ++i) {
            if (!bytes.empty() && bytes.data() == other.owned_[i].data()) {
                mine = ResourceBytes(owned_[i]);
                break;
            }
        }
        index_[key] = mine;
    }
}

ResourcePack& ResourcePack::operator=(const ResourcePack& other) {
    if (this != &other) *this = ResourcePack(other);
    return *this;
}

ResourcePack ResourcePack::FromImage(ResourceBytes image) {
    if (image.size() < kHeaderSize || std::memcmp(image.data(), kMagic.data(), kMagic.size()) != 0) return {};
    const std::uint64_t count = ReadU32(image, 8);
    if (count > (image.size() - kHeaderSize) / kEntrySize) return {};

    ResourcePack pack;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t at = kHeaderSize + i * kEntrySize;
        const std::uint32_t type = ReadU32(image, at) & 0xFFFF;
        const auto number = static_cast<std::int32_t>(ReadU32(image, at + 4));
        const std::uint64_t offset = ReadU32(image, at + 8);
        const std::uint64_t size = ReadU32(image, at + 12);
        if (!IsKnownType(type) || offset + size > image.size()) return {};
        const auto key = std::make_pair(static_cast<ResourceType>(type), static_cast<int>(number));
        if (!pack.index_.emplace(key, image.subspan(offset, size)).second) return {};
    }
    return pack;
}

std::optional<ResourceBytes> ResourcePack::Find(ResourceType type, int number) const {
    const auto it = index_.find({type, number});
    if (it == index_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::byte> ResourcePack::ToImage() const {
    std::size_t size = AlignUp(kHeaderSize + index_.size() * kEntrySize);
    for (const auto& [key, bytes] : index_) size = AlignUp(size + bytes.size());

    std::vector<std::byte> out(size);
    std::memcpy(out.data(), kMagic.data(), kMagic.size());
    WriteU32(out, 8, static_cast<std::uint32_t>(index_.size()));

    std::size_t entry = kHeaderSize;
    std::size_t data = AlignUp(kHeaderSize + index_.size() * kEntrySize);
    for (const auto& [key, bytes] : index_) {
        WriteU32(out, entry, static_cast<std::uint32_t>(key.first));
        WriteU32(out, entry + 4, static_cast<std::uint32_t>(key.second));
        WriteU32(out, entry + 8, static_cast<std::uint32_t>(data));
        WriteU32(out, entry + 12, static_cast<std::uint32_t>(bytes.size()));
        if (!bytes.empty()) std::memcpy(out.data() + data, bytes.data(), bytes.size());
        entry += kEntrySize;
        data = AlignUp(data + bytes.size());
    }
    return out;
}

}  // namespace qrv
