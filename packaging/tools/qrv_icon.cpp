// Build-time tool: writes the program icon, the same picture the program
// embeds, as a PNG of the given size for the desktop's hicolor theme.
//
//   qrv_icon SIZE OUTPUT.png

#include <charconv>
#include <fstream>
#include <iostream>
#include <string_view>

#include "resources/tools/PngImage.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: qrv_icon SIZE OUTPUT.png\n";
        return 2;
    }
    const std::string_view text = argv[1];
    int size = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (error != std::errc{} || end != text.data() + text.size() || size < 16 || size > 1024) {
        std::cerr << "qrv_icon: the size must be a number from 16 to 1024, not '" << text << "'\n";
        return 2;
    }
    const auto png = qrv::pack::EncodePng(qrv::pack::ProgramIcon(size));
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    if (png.empty() || !out.flush()) {
        std::cerr << "qrv_icon: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
