// The stand-in firmware images: what a camera receives is the whole image, so
// its size and archive form must be exactly what the package describes.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/ResourcePack.h"
#include "resources/tools/FirmwareImageMaker.h"

namespace qrv {
namespace {

constexpr std::size_t kBlock = 512;

struct TarMember {
    std::string name;
    std::string magic;
    std::size_t offset = 0;  // of the data
    std::size_t size = 0;
};

std::string Field(const std::uint8_t* header, std::size_t at, std::size_t width) {
    const auto* p = reinterpret_cast<const char*>(header + at);
    return std::string(p, strnlen(p, width));
}

// The members of a tar archive up to its first zero block.
std::vector<TarMember> ReadTar(const std::uint8_t* data, std::size_t size) {
    std::vector<TarMember> members;
    std::size_t at = 0;
    while (at + kBlock <= size && data[at] != 0) {
        TarMember m{Field(data + at, 0, 100), std::string(reinterpret_cast<const char*>(data + at + 257), 8),
                    at + kBlock, std::stoul(Field(data + at, 124, 12), nullptr, 8)};
        members.push_back(m);
        at = m.offset + (m.size + kBlock - 1) / kBlock * kBlock;
    }
    return members;
}

std::vector<std::uint8_t> Gunzip(const std::uint8_t* data, std::size_t size) {
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK) return {};
    std::vector<std::uint8_t> out(8 << 20);
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    const bool whole = status == Z_STREAM_END && stream.avail_in == 0;
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return whole ? out : std::vector<std::uint8_t>();
}

std::span<const std::uint8_t> Embedded(int number) {
    const auto item = EmbeddedResources().Find(ResourceType::Bin, number);
    if (!item) return {};
    return {reinterpret_cast<const std::uint8_t*>(item->data()), item->size()};
}

void ExpectStandInImage(int number, std::size_t size, char slot) {
    SCOPED_TRACE(number);
    const auto image = Embedded(number);
    ASSERT_EQ(image.size(), size);
    const auto members = ReadTar(image.data(), image.size());
    const char* stems[] = {"etc", "firm", "kernel", "lib", "tz", "web"};
    ASSERT_EQ(members.size(), 6u);
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto& m = members[i];
        EXPECT_EQ(m.name, std::string("qrvk7_") + stems[i] + slot + ".tar.gz");
        EXPECT_EQ(m.magic, std::string("ustar  \0", 8));
        ASSERT_LE(m.offset + m.size, image.size());
        ASSERT_GE(m.size, 18u);
        EXPECT_EQ(image[m.offset], 0x1F);  // gzip
        EXPECT_EQ(image[m.offset + 1], 0x8B);
        EXPECT_EQ(std::memcmp(image.data() + m.offset + 4, "\0\0\0\0", 4), 0);  // no time stamp

        const auto inner = Gunzip(image.data() + m.offset, m.size);
        ASSERT_FALSE(inner.empty()) << m.name;
        const auto files = ReadTar(inner.data(), inner.size());
        ASSERT_FALSE(files.empty()) << m.name;
        EXPECT_EQ(files[0].magic.substr(0, 5), "ustar");
        EXPECT_EQ(files[0].name.rfind(std::string(stems[i]) + "/", 0), 0u) << files[0].name;
    }
    // After the last member: the two end blocks and zero padding to the size.
    const auto& last = members.back();
    const std::size_t end = last.offset + (last.size + kBlock - 1) / kBlock * kBlock;
    for (std::size_t at = end; at < image.size(); ++at) ASSERT_EQ(image[at], 0) << at;
    EXPECT_GE(image.size() - end, 2 * kBlock);
}

TEST(EmbeddedFirmwareImages, Image143IsTheSlotOneArchiveOfItsExactSize) {
    ExpectStandInImage(143, 3348480, '1');
}

TEST(EmbeddedFirmwareImages, Image144IsTheSlotTwoArchiveOfItsExactSize) {
    ExpectStandInImage(144, 3358720, '2');
}

TEST(EmbeddedFirmwareImages, TheTwoImagesDiffer) {
    const auto a = Embedded(143);
    const auto b = Embedded(144);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_NE(std::memcmp(a.data() + 2048, b.data() + 2048, 4096), 0);
}

pack::FirmwareLayout SmallLayout(std::size_t imageSize) {
    return {1, imageSize, {{"etc", 700}, {"firm", 3000}}};
}

TEST(FirmwareImageMaker, SameLayoutGivesTheSameBytes) {
    const auto first = pack::MakeFirmwareImage(SmallLayout(40960));
    const auto second = pack::MakeFirmwareImage(SmallLayout(40960));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, *second);
    EXPECT_EQ(first->size(), 40960u);
}

TEST(FirmwareImageMaker, ContentThatDoesNotFitMakesNoImage) {
    // 3,700 bytes of incompressible content plus headers need more than 4 KiB.
    EXPECT_FALSE(pack::MakeFirmwareImage(SmallLayout(4096)));
}

TEST(FirmwareImageMaker, MembersCarryTheirPayloadUnchanged) {
    const auto image = pack::MakeFirmwareImage(SmallLayout(40960));
    ASSERT_TRUE(image);
    const auto members = ReadTar(image->data(), image->size());
    ASSERT_EQ(members.size(), 2u);
    const auto inner = Gunzip(image->data() + members[1].offset, members[1].size);
    const auto files = ReadTar(inner.data(), inner.size());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].name, "firm/firm.bin");
    ASSERT_EQ(files[1].size, 3000u);
    const auto expected = pack::PseudoRandomBytes("qrvk7_firm1.tar.gz", 3000);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), inner.begin() + static_cast<long>(files[1].offset)));
}

TEST(FirmwareImageMaker, TarHeaderChecksumIsValid) {
    const auto tar = pack::MakeTar({{"a/b.txt", {'h', 'i'}}});
    ASSERT_EQ(tar.size(), 4 * kBlock);  // header, data block, two end blocks
    unsigned sum = 0;
    for (std::size_t i = 0; i < kBlock; ++i) sum += (i >= 148 && i < 156) ? ' ' : tar[i];
    EXPECT_EQ(std::stoul(Field(tar.data(), 148, 8), nullptr, 8), sum);
    EXPECT_EQ(Field(tar.data(), 100, 8), "0000644");
    EXPECT_EQ(tar[156], '0');  // a regular file
}

}  // namespace
}  // namespace qrv
