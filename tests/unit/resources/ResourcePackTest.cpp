// The packed image the build embeds: it must read back exactly, refuse damaged
// images as a whole, and keep test-built items valid for the pack's lifetime.

#include "resources/ResourcePack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace qrv {
namespace {

using Items = std::map<std::pair<ResourceType, int>, std::vector<std::byte>>;

std::vector<std::byte> Text(std::string_view text) {
    std::vector<std::byte> out;
    for (char c : text) out.push_back(static_cast<std::byte>(c));
    return out;
}

std::vector<std::byte> Copy(ResourceBytes bytes) { return {bytes.begin(), bytes.end()}; }

Items SampleItems() {
    return Items{
        {{ResourceType::Bin, 146}, Text("QRV-K7\r\nQRV-K7N")},
        {{ResourceType::Bin, 143}, std::vector<std::byte>(1000, std::byte{0x5A})},
        {{ResourceType::String, 146}, Text("same number, other type")},
        {{ResourceType::Bitmap, 193}, Text("x")},
        {{ResourceType::Icon, 128}, {}},
    };
}

void WriteU32(std::vector<std::byte>& image, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<std::byte>(value >> (8 * i));
}

TEST(ResourcePackImage, ReadsBackEveryItemByTypeAndNumber) {
    const Items items = SampleItems();
    const auto image = ResourcePack(items).ToImage();
    const auto pack = ResourcePack::FromImage(image);
    ASSERT_EQ(pack.Items().size(), items.size());
    for (const auto& [key, bytes] : items) {
        const auto found = pack.Find(key.first, key.second);
        ASSERT_TRUE(found) << key.second;
        EXPECT_EQ(Copy(*found), bytes) << key.second;
    }
    EXPECT_FALSE(pack.Find(ResourceType::Bin, 144));
    EXPECT_FALSE(pack.Find(ResourceType::Bitmap, 128));
}

TEST(ResourcePackImage, ItemsAreReadInPlaceAndAligned) {
    const auto image = ResourcePack(SampleItems()).ToImage();
    const auto pack = ResourcePack::FromImage(image);
    const auto big = pack.Find(ResourceType::Bin, 143);
    ASSERT_TRUE(big);
    EXPECT_GE(big->data(), image.data());
    EXPECT_LE(big->data() + big->size(), image.data() + image.size());
    EXPECT_EQ((big->data() - image.data()) % 16, 0);
}

TEST(ResourcePackImage, DamagedImagesGiveAnEmptyPack) {
    const auto good = ResourcePack(SampleItems()).ToImage();
    ASSERT_FALSE(ResourcePack::FromImage(good).Items().empty());

    EXPECT_TRUE(ResourcePack::FromImage({}).Items().empty());
    EXPECT_TRUE(ResourcePack::FromImage(ResourceBytes(good).first(15)).Items().empty());
    // Cut off inside the last item's bytes.
    EXPECT_TRUE(ResourcePack::FromImage(ResourceBytes(good).first(good.size() - 20)).Items().empty());

    auto badMagic = good;
    badMagic[0] = std::byte{'X'};
    EXPECT_TRUE(ResourcePack::FromImage(badMagic).Items().empty());

    auto hugeCount = good;
    WriteU32(hugeCount, 8, 0xFFFFFFFF);
    EXPECT_TRUE(ResourcePack::FromImage(hugeCount).Items().empty());

    auto pastTheEnd = good;
    WriteU32(pastTheEnd, 16 + 8, 0xFFFFFFF0);  // first entry's offset
    WriteU32(pastTheEnd, 16 + 12, 0x20);       // and size: the sum wraps in 32 bits
    EXPECT_TRUE(ResourcePack::FromImage(pastTheEnd).Items().empty());

    auto unknownType = good;
    WriteU32(unknownType, 16, 9);
    EXPECT_TRUE(ResourcePack::FromImage(unknownType).Items().empty());

    auto twice = good;  // the second entry made a copy of the first one's key
    for (int i = 0; i < 8; ++i) twice[32 + i] = twice[16 + i];
    EXPECT_TRUE(ResourcePack::FromImage(twice).Items().empty());
}

TEST(ResourcePackOwnership, CopiesAndMovesStayValidAfterTheOriginalIsGone) {
    auto original = std::make_unique<ResourcePack>(SampleItems());
    const ResourcePack copy(*original);
    ResourcePack assigned;
    assigned = *original;
    const auto* before = original->Find(ResourceType::Bin, 143)->data();
    ResourcePack moved(std::move(*original));
    EXPECT_EQ(moved.Find(ResourceType::Bin, 143)->data(), before);  // moving keeps spans handed out earlier
    original.reset();
    for (const ResourcePack* pack : std::initializer_list<const ResourcePack*>{&copy, &assigned, &moved}) {
        const auto models = pack->Find(ResourceType::Bin, 146);
        ASSERT_TRUE(models);
        EXPECT_EQ(Copy(*models), Text("QRV-K7\r\nQRV-K7N"));
        EXPECT_EQ(pack->Find(ResourceType::Bin, 143)->size(), 1000u);
        EXPECT_TRUE(pack->Find(ResourceType::Icon, 128));
    }
}

// PNG width and height, or {0, 0} when the bytes are not a PNG.
std::pair<int, int> PngSize(ResourceBytes bytes) {
    const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() < 24 || std::memcmp(bytes.data(), signature, 8) != 0 ||
        std::memcmp(bytes.data() + 12, "IHDR", 4) != 0)
        return {0, 0};
    auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | std::to_integer<std::uint32_t>(bytes[at + i]);
        return static_cast<int>(v);
    };
    return {u32(16), u32(20)};
}

TEST(EmbeddedPictures, EmergencySquareAndProgramIconArePngOfTheirSizes) {
    const auto square = EmbeddedResources().Find(ResourceType::Bitmap, 193);
    const auto icon = EmbeddedResources().Find(ResourceType::Icon, 128);
    ASSERT_TRUE(square && icon);
    EXPECT_EQ(PngSize(*square), std::make_pair(12, 12));
    EXPECT_EQ(PngSize(*icon), std::make_pair(32, 32));
}

}  // namespace
}  // namespace qrv
