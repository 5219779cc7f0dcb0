// Build-time tool: writes the program icon, the same picture the program
// embeds, as a PNG of the given size for the desktop's hicolor theme, or as a
// Windows icon file holding it at the sizes Windows looks for (each size a
// PNG entry, as Windows reads them since Vista).
//
//   qrv_icon SIZE OUTPUT.png
//   qrv_icon --ico OUTPUT.ico

#include <charconv>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string_view>
#include <vector>

#include "resources/tools/PngImage.h"

namespace {

void PutLittle(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// ICONDIR, one ICONDIRENTRY per size, then the PNG images in that order.
std::vector<std::uint8_t> IconFile() {
    constexpr int kSizes[] = {16, 20, 24, 32, 40, 48, 64, 256};
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : kSizes) images.push_back(qrv::pack::EncodePng(qrv::pack::ProgramIcon(size)));
    std::vector<std::uint8_t> out;
    PutLittle(out, 0, 2);  // reserved
    PutLittle(out, 1, 2);  // type: icon
    PutLittle(out, static_cast<std::uint32_t>(images.size()), 2);
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::uint32_t side = kSizes[i] >= 256 ? 0 : static_cast<std::uint32_t>(kSizes[i]);  // 0 means 256
        PutLittle(out, side, 1);   // width
        PutLittle(out, side, 1);   // height
        PutLittle(out, 0, 1);      // no palette
        PutLittle(out, 0, 1);      // reserved
        PutLittle(out, 1, 2);      // colour planes
        PutLittle(out, 32, 2);     // bits per pixel
        PutLittle(out, static_cast<std::uint32_t>(images[i].size()), 4);
        PutLittle(out, offset, 4);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) {
        if (image.empty()) return {};
        out.insert(out.end(), image.begin(), image.end());
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: qrv_icon SIZE OUTPUT.png | qrv_icon --ico OUTPUT.ico\n";
        return 2;
    }
    const std::string_view text = argv[1];
    std::vector<std::uint8_t> bytes;
    if (text == "--ico") {
        bytes = IconFile();
    } else {
        int size = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
        if (error != std::errc{} || end != text.data() + text.size() || size < 16 || size > 1024) {
            std::cerr << "qrv_icon: the size must be a number from 16 to 1024, not '" << text << "'\n";
            return 2;
        }
        bytes = qrv::pack::EncodePng(qrv::pack::ProgramIcon(size));
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (bytes.empty() || !out.flush()) {
        std::cerr << "qrv_icon: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
