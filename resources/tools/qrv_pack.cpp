// Build-time packer: reads the text sources, makes the stand-in firmware
// images and the pictures, and writes the one packed image that the program
// embeds.
//
//   qrv_pack MESSAGES STRINGS PACKAGE OUTPUT

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

#include "resources/ResourcePack.h"
#include "resources/tools/FirmwareImageMaker.h"
#include "resources/tools/PackSource.h"
#include "resources/PictureNumbers.h"
#include "resources/tools/PngImage.h"

namespace {

using qrv::ResourceType;
using Items = std::map<std::pair<ResourceType, int>, std::vector<std::byte>>;
using Encoder = std::vector<std::byte> (*)(const qrv::pack::SourceItem&);

constexpr int kFirstImage = 143;
constexpr int kEmergencyBitmap = 193;
constexpr int kProgramIcon = 128;

template <typename Container>
std::vector<std::byte> AsBytes(const Container& bytes) {
    std::vector<std::byte> out(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<std::byte>(bytes[i]);
    return out;
}

bool AddSource(Items& items, const std::filesystem::path& path, ResourceType type, Encoder encode) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "qrv_pack: cannot read " << path << "\n";
        return false;
    }
    const std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto parsed = qrv::pack::ParseSource(source);
    if (!parsed.error.empty()) {
        std::cerr << path.string() << ": " << parsed.error << "\n";
        return false;
    }
    for (const auto& item : parsed.items) {
        if (!items.emplace(std::make_pair(type, item.number), encode(item)).second) {
            std::cerr << path.string() << ":" << item.line << ": item " << item.number << " is already packed\n";
            return false;
        }
    }
    return true;
}

bool AddImages(Items& items) {
    for (int slot = 1; slot <= 2; ++slot) {
        const auto layout = qrv::pack::StandInLayout(slot);
        const auto image = qrv::pack::MakeFirmwareImage(layout);
        if (!image) {
            std::cerr << "qrv_pack: firmware image " << kFirstImage + slot - 1 << " does not fit into "
                      << layout.imageSize << " bytes\n";
            return false;
        }
        if (!items.emplace(std::make_pair(ResourceType::Bin, kFirstImage + slot - 1), AsBytes(*image)).second) {
            std::cerr << "qrv_pack: item " << kFirstImage + slot - 1 << " is already packed\n";
            return false;
        }
    }
    return true;
}

bool WriteFile(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
    const auto temporary = std::filesystem::path(path).concat(".part");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::cerr << "qrv_pack: cannot write " << temporary << "\n";
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);  // a half-written pack never takes the real name
    if (error) std::cerr << "qrv_pack: cannot rename to " << path << ": " << error.message() << "\n";
    return !error;
}

}  // namespace

// The camera lists' check boxes, row strips and progress bar, and the image
// buttons' pictures.
void AddListPictures(Items& items) {
    using qrv::pack::EncodePng;
    using qrv::pack::RowStrip;
    auto bitmap = [&items](int number, const qrv::pack::Picture& picture) {
        items[{ResourceType::Bitmap, number}] = AsBytes(EncodePng(picture));
    };
    bitmap(qrv::kCheckBoxBitmap, qrv::pack::CheckBoxes());
    bitmap(qrv::kRowNormalBitmap, RowStrip({255, 255, 255, 255}, {240, 243, 247, 255}));
    bitmap(qrv::kRowSelectedBitmap, RowStrip({86, 140, 214, 255}, {50, 104, 184, 255}));
    bitmap(qrv::kRowFailedBitmap, RowStrip({255, 214, 214, 255}, {246, 176, 176, 255}));
    bitmap(qrv::kRowConflictBitmap, RowStrip({255, 240, 190, 255}, {246, 222, 140, 255}));
    bitmap(qrv::kRowPassedBitmap, RowStrip({210, 246, 210, 255}, {164, 226, 164, 255}));
    bitmap(qrv::kProgressBarBitmap, RowStrip({120, 210, 120, 255}, {40, 150, 60, 255}, 11));
    for (std::size_t glyph = 0; glyph < qrv::kButtonCaptions.size(); ++glyph) {
        for (std::size_t state = 0; state < qrv::kButtonStates.size(); ++state) {
            bitmap(qrv::kFirstButtonBitmap + static_cast<int>(glyph * qrv::kButtonStates.size() + state),
                   qrv::pack::ButtonPicture(static_cast<int>(glyph), static_cast<int>(state)));
        }
    }
}

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: qrv_pack MESSAGES STRINGS PACKAGE OUTPUT\n";
        return 2;
    }
    Items items;
    const bool ok = AddSource(items, argv[1], ResourceType::Bin, qrv::pack::EncodeMessage) &&
                    AddSource(items, argv[2], ResourceType::String, qrv::pack::EncodeString) &&
                    AddSource(items, argv[3], ResourceType::Bin, qrv::pack::EncodeData) && AddImages(items);
    if (!ok) return 1;
    items[{ResourceType::Bitmap, kEmergencyBitmap}] = AsBytes(qrv::pack::EncodePng(qrv::pack::EmergencySquare()));
    items[{ResourceType::Icon, kProgramIcon}] = AsBytes(qrv::pack::EncodePng(qrv::pack::ProgramIcon()));
    AddListPictures(items);
    return WriteFile(argv[4], qrv::ResourcePack(std::move(items)).ToImage()) ? 0 : 1;
}
