#pragma once
// The program's pictures, drawn in code and stored as PNG (Qt's
// QPixmap::loadFromData reads PNG without any plugin).

#include <cstdint>
#include <vector>

namespace qrv::pack {

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
};

// Row-major pixels, width * height of them.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;
};

// An 8-bit RGBA PNG of the picture.
std::vector<std::uint8_t> EncodePng(const Picture& picture);

// Bitmap 193: the 12 by 12 orange square shown while a camera is in its
// recovery state.
Picture EmergencySquare();
// Icon 128: a camera with an upward arrow on a blue rounded tile, 32 by 32.
// Other sizes draw the same shapes stretched (the desktop's hicolor icons).
Picture ProgramIcon(int size = 32);

// Bitmap 129: the camera grid's check boxes side by side, 20 by 16 each:
// empty, ticked, greyed.
Picture CheckBoxes();
// A row background: a 1-pixel-wide vertical strip from `top` to `bottom`.
Picture RowStrip(Rgba top, Rgba bottom, int height = 20);
// An image button's picture, 19 by 19: `glyph` is 0 PREV (left arrow), 1 NEXT
// (right arrow), 2 ADD (plus), 3 DEL (minus); `state` 0 normal, 1 pressed,
// 2 focused, 3 disabled.
Picture ButtonPicture(int glyph, int state);

}  // namespace qrv::pack
