#pragma once
// The program's embedded data (texts, model list, variant keys, firmware
// images, bitmaps), looked up by type and number. The build packs every item
// into one image that is linked into the executable; nothing is read from disk
// at run time. Tests build packs of their own to drive the failure paths.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace qrv {

enum class ResourceType : std::uint16_t {
    Bin = 1,     // numbered data items: message texts, model list, variant keys, images
    String = 2,  // the plain string table (103, 108, 123, 124)
    Bitmap = 3,
    Icon = 4,
};

using ResourceBytes = std::span<const std::byte>;

class ResourcePack {
public:
    ResourcePack() = default;
    // Items given directly (tests); the pack keeps its own copy of the bytes.
    explicit ResourcePack(std::map<std::pair<ResourceType, int>, std::vector<std::byte>> items);

    // A copy owns copies of the owned items, so its spans never point into the
    // pack it was copied from; moves keep the item buffers where they are.
    ResourcePack(const ResourcePack& other);
    ResourcePack& operator=(const ResourcePack& other);
    ResourcePack(ResourcePack&&) noexcept = default;
    ResourcePack& operator=(ResourcePack&&) noexcept = default;

    // Parses a packed image; the bytes must outlive the pack (the embedded
    // image lives for the whole run). An image that does not parse gives an
    // empty pack.
    static ResourcePack FromImage(ResourceBytes image);

    // The bytes of an item, or nothing when the pack has no such item.
    std::optional<ResourceBytes> Find(ResourceType type, int number) const;

    // Every item, in (type, number) order.
    const std::map<std::pair<ResourceType, int>, ResourceBytes>& Items() const { return index_; }

    // The packed image of every item, as FromImage reads it (the build's
    // packer writes the embedded image with it).
    std::vector<std::byte> ToImage() const;

private:
    std::map<std::pair<ResourceType, int>, ResourceBytes> index_;
    std::vector<std::vector<std::byte>> owned_;
};

// The pack built into this executable.
const ResourcePack& EmbeddedResources();

}  // namespace qrv
