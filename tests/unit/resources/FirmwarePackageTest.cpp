// What the program installs and on which camera: models, variant keys, images
// by slot, the carried version, and the box a missing item brings up.

#include "engine/FirmwarePackage.h"

#include <gtest/gtest.h>

#include "platform/HeadlessOwner.h"
#include "resources/ResourcePack.h"
#include "resources/VersionBlock.h"

namespace qrv {
namespace {

using Items = std::map<std::pair<ResourceType, int>, std::vector<std::byte>>;

const MessageBox kMissingFile{u"Cannot find the upgrade file.", u"Error", BoxIcon::Stop, BoxButtons::Ok};

std::vector<std::byte> Data(std::string_view text) {
    std::vector<std::byte> out;
    for (char c : text) out.push_back(static_cast<std::byte>(c));
    return out;
}

std::vector<std::byte> Wide(std::u16string_view text) {
    std::vector<std::byte> out;
    for (char16_t c : text) {
        out.push_back(static_cast<std::byte>(c & 0xFF));
        out.push_back(static_cast<std::byte>(c >> 8));
    }
    return out;
}

// A complete small package; tests take items out of it or change them.
Items SmallPackage() {
    return Items{
        {{ResourceType::Bin, 146}, Data(std::string_view("QRV-K7\r\nQRV-K7N\r\nQRV-K7P\0", 26))},
        {{ResourceType::Bin, 353}, Data(std::string_view("\r\ng3\r\n \r\n \r\n \0", 14))},
        {{ResourceType::Bin, 143}, Data("image for any camera")},
        {{ResourceType::Bin, 144}, Data("image for g3 cameras")},
        {{ResourceType::Bin, 145}, Data("never loaded")},
        {{ResourceType::String, 108}, Wide(std::u16string_view(u"1.30\0", 5))},
    };
}

std::string AsText(std::span<const std::uint8_t> image) { return {image.begin(), image.end()}; }

TEST(FirmwarePackageEmbedded, LoadsModelsKeysImagesAndVersionWithoutAnyBox) {
    HeadlessOwner owner;
    FirmwarePackage package(EmbeddedResources(), &owner);
    package.LoadAll();
    EXPECT_TRUE(owner.Boxes().empty());
    EXPECT_EQ(package.Models(), (ModelList{"QRV-K7", "QRV-K7N", "QRV-K7P"}));
    EXPECT_EQ(package.CarriedVersion(), "ver1.30" + std::string(ProgramVersionBlock().specialBuild));
    EXPECT_EQ(package.VariantKey(0), "");
    EXPECT_EQ(package.VariantKey(1), "g3");
    for (int slot = 2; slot < FirmwarePackage::kSlots; ++slot) EXPECT_EQ(package.VariantKey(slot), "") << slot;
    EXPECT_EQ(package.Image(0).size(), 3348480u);
    EXPECT_EQ(package.Image(1).size(), 3358720u);
    for (int slot = 2; slot < FirmwarePackage::kSlots; ++slot) EXPECT_TRUE(package.Image(slot).empty()) << slot;
}

TEST(FirmwarePackageEmbedded, ImagesAreTheEmbeddedBytesNotCopies) {
    FirmwarePackage package;
    package.LoadAll();
    const auto item = EmbeddedResources().Find(ResourceType::Bin, 143);
    ASSERT_TRUE(item);
    EXPECT_EQ(static_cast<const void*>(package.Image(0).data()), static_cast<const void*>(item->data()));
}

TEST(FirmwarePackageSelectVariant, OnlyDocTypeG3GetsSlotOne) {
    FirmwarePackage package;
    package.LoadVariantKeys();
    EXPECT_EQ(package.SelectVariant("g3"), 1);
    EXPECT_EQ(package.SelectVariant(""), 0);
    EXPECT_EQ(package.SelectVariant("G3"), 0);   // exact, case-sensitive
    EXPECT_EQ(package.SelectVariant("g3 "), 0);  // the camera's text is not trimmed
    EXPECT_EQ(package.SelectVariant(" "), 0);    // blank keys were trimmed to empty
    EXPECT_EQ(package.SelectVariant("g4"), 0);
}

TEST(FirmwarePackageSelectVariant, BeforeTheKeysAreLoadedEveryCameraGetsSlotZero) {
    FirmwarePackage package;
    EXPECT_EQ(package.SelectVariant("g3"), 0);
}

TEST(FirmwarePackageSlots, BlankKeysLeaveSlotsTwoToFourUnloaded) {
    const ResourcePack pack(SmallPackage());
    FirmwarePackage package(pack);
    package.LoadVariantKeys();
    package.LoadImages();
    EXPECT_EQ(AsText(package.Image(0)), "image for any camera");
    EXPECT_EQ(AsText(package.Image(1)), "image for g3 cameras");
    EXPECT_TRUE(package.Image(2).empty());  // 145 exists but its key is a blank
    EXPECT_TRUE(package.Image(5).empty());
    EXPECT_TRUE(package.Image(-1).empty());
    EXPECT_EQ(package.VariantKey(7), "");
}

TEST(FirmwarePackageSlots, AFilledKeyLoadsItsSlotAndSelectsIt) {
    auto items = SmallPackage();
    items[{ResourceType::Bin, 353}] = Data(std::string_view("\r\ng3\r\nh5  \0", 11));
    const ResourcePack pack(std::move(items));
    FirmwarePackage package(pack);
    package.LoadVariantKeys();
    package.LoadImages();
    EXPECT_EQ(package.VariantKey(2), "h5");
    EXPECT_EQ(package.SelectVariant("h5"), 2);
    EXPECT_EQ(AsText(package.Image(2)), "never loaded");
}

TEST(FirmwarePackageModels, LastNameWithoutLineEndIsKept) {
    auto items = SmallPackage();
    items[{ResourceType::Bin, 146}] = Data("QRV-K7\r\nQRV-K7N");  // no CR LF, not even a zero byte
    const ResourcePack pack(std::move(items));
    FirmwarePackage package(pack);
    package.LoadModelList();
    EXPECT_EQ(package.Models(), (ModelList{"QRV-K7", "QRV-K7N"}));
}

TEST(FirmwarePackageModels, TrailingLineEndEmptyLinesAndTextAfterTheZeroByteGiveNoNames) {
    auto items = SmallPackage();
    items[{ResourceType::Bin, 146}] = Data(std::string_view("A\r\n\r\nB\r\n\0C\r\n", 12));
    const ResourcePack pack(std::move(items));
    FirmwarePackage package(pack);
    package.LoadModelList();
    EXPECT_EQ(package.Models(), (ModelList{"A", "B"}));
}

TEST(FirmwarePackageModels, AtMostNineNamesAreKept) {
    auto items = SmallPackage();
    items[{ResourceType::Bin, 146}] = Data("M1\r\nM2\r\nM3\r\nM4\r\nM5\r\nM6\r\nM7\r\nM8\r\nM9\r\nM10\r\nM11");
    const ResourcePack pack(std::move(items));
    FirmwarePackage package(pack);
    package.LoadModelList();
    ASSERT_EQ(package.Models().size(), 9u);
    EXPECT_EQ(package.Models().back(), "M9");
}

TEST(FirmwarePackageVersion, SpecialBuildIsAppendedWhenNotEmpty) {
    const ResourcePack pack(SmallPackage());
    FirmwarePackage package(pack);
    package.LoadVersion("");
    EXPECT_EQ(package.CarriedVersion(), "ver1.30");
    package.LoadVersion("-test7");
    EXPECT_EQ(package.CarriedVersion(), "ver1.30-test7");
}

// Loads one part of a package that lacks `missing` and returns the boxes shown.
std::vector<MessageBox> BoxesWithout(std::pair<ResourceType, int> missing, void (*load)(FirmwarePackage&)) {
    auto items = SmallPackage();
    items.erase(missing);
    const ResourcePack pack(std::move(items));
    HeadlessOwner owner;
    FirmwarePackage package(pack, &owner);
    package.LoadVariantKeys();  // the keys decide which images load
    load(package);
    return owner.Boxes();
}

TEST(FirmwarePackageMissingItems, EachShowsCannotFindTheUpgradeFileOnce) {
    using Load = void (*)(FirmwarePackage&);
    const std::pair<std::pair<ResourceType, int>, Load> cases[] = {
        {{ResourceType::Bin, 146}, [](FirmwarePackage& p) { p.LoadModelList(); }},
        {{ResourceType::Bin, 143}, [](FirmwarePackage& p) { p.LoadImages(); }},
        {{ResourceType::Bin, 144}, [](FirmwarePackage& p) { p.LoadImages(); }},
        {{ResourceType::String, 108}, [](FirmwarePackage& p) { p.LoadVersion(""); }},
    };
    for (const auto& [missing, load] : cases) {
        const auto boxes = BoxesWithout(missing, load);
        ASSERT_EQ(boxes.size(), 1u) << missing.second;
        EXPECT_EQ(boxes[0], kMissingFile) << missing.second;
    }
}

TEST(FirmwarePackageMissingItems, MissingKeysShowTheBoxAndLeaveEveryCameraOnSlotZero) {
    auto items = SmallPackage();
    items.erase({ResourceType::Bin, 353});
    const ResourcePack pack(std::move(items));
    HeadlessOwner owner;
    FirmwarePackage package(pack, &owner);
    package.LoadVariantKeys();
    package.LoadImages();
    ASSERT_EQ(owner.Boxes().size(), 1u);
    EXPECT_EQ(owner.Boxes()[0], kMissingFile);
    EXPECT_EQ(package.SelectVariant("g3"), 0);
    EXPECT_EQ(AsText(package.Image(0)), "image for any camera");
    EXPECT_TRUE(package.Image(1).empty());
}

TEST(FirmwarePackageMissingItems, AMissingFirstImageStopsTheLoadWithOneBox) {
    auto items = SmallPackage();
    items.erase({ResourceType::Bin, 143});
    const ResourcePack pack(std::move(items));
    HeadlessOwner owner;
    FirmwarePackage package(pack, &owner);
    package.LoadAll();
    EXPECT_EQ(owner.Boxes().size(), 1u);
    EXPECT_TRUE(package.Image(0).empty());
    EXPECT_TRUE(package.Image(1).empty());  // no further slot after a failure
    EXPECT_EQ(package.Models().size(), 3u);
}

TEST(FirmwarePackageMissingItems, AMissingVersionLeavesNoVersionThatACameraCouldMatch) {
    auto items = SmallPackage();
    items.erase({ResourceType::String, 108});
    const ResourcePack pack(std::move(items));
    FirmwarePackage package(pack);  // no owner: nothing shown, nothing breaks
    package.LoadVersion("");
    EXPECT_EQ(package.CarriedVersion(), "");
}

TEST(FirmwarePackageMissingItems, AnEmptyImageCountsAsMissing) {
    auto items = SmallPackage();
    items[{ResourceType::Bin, 144}] = {};
    const ResourcePack pack(std::move(items));
    HeadlessOwner owner;
    FirmwarePackage package(pack, &owner);
    package.LoadVariantKeys();
    package.LoadImages();
    EXPECT_EQ(owner.Boxes().size(), 1u);
    EXPECT_FALSE(package.Image(0).empty());
    EXPECT_TRUE(package.Image(1).empty());
}

}  // namespace
}  // namespace qrv
