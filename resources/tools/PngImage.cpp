#include "resources/tools/PngImage.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

namespace qrv::pack {

namespace {

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    PutU32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
    PutU32(out, static_cast<std::uint32_t>(crc));
}

// A shape: coverage test at a point and the colour it paints.
struct Shape {
    std::function<bool(double, double)> inside;
    Rgba colour;
};

bool InRoundedRect(double x, double y, double x0, double y0, double x1, double y1, double radius) {
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    const double cx = std::clamp(x, x0 + radius, x1 - radius);
    const double cy = std::clamp(y, y0 + radius, y1 - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

bool InCircle(double x, double y, double cx, double cy, double radius) {
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

// Paints the shapes in order with 4 x 4 samples per pixel for smooth edges.
// The shapes are drawn on a `design`-unit square, stretched to `size` pixels.
Picture Render(int size, const std::vector<Shape>& shapes, int design) {
    const double unit = static_cast<double>(design) / size;
    Picture picture{size, size, std::vector<Rgba>(static_cast<std::size_t>(size) * size)};
    constexpr int kSamples = 4;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double x = (px + (sx + 0.5) / kSamples) * unit;
                    const double y = (py + (sy + 0.5) / kSamples) * unit;
                    const Rgba* hit = nullptr;
                    for (const auto& shape : shapes) {
                        if (shape.inside(x, y)) hit = &shape.colour;
                    }
                    if (hit == nullptr) continue;
                    const double alpha = hit->a / 255.0;
                    r += hit->r * alpha;
                    g += hit->g * alpha;
                    b += hit->b * alpha;
                    a += alpha;
                }
            }
            Rgba& out = picture.pixels[static_cast<std::size_t>(py) * size + px];
            if (a > 0) {
                out = {static_cast<std::uint8_t>(std::lround(r / a)), static_cast<std::uint8_t>(std::lround(g / a)),
                       static_cast<std::uint8_t>(std::lround(b / a)),
                       static_cast<std::uint8_t>(std::lround(255.0 * a / (kSamples * kSamples)))};
            }
        }
    }
    return picture;
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const Picture& picture) {
    std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

    std::vector<std::uint8_t> header;
    PutU32(header, static_cast<std::uint32_t>(picture.width));
    PutU32(header, static_cast<std::uint32_t>(picture.height));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter set, no interlace
    PutChunk(out, "IHDR", header);

    std::vector<std::uint8_t> raw;
    for (int y = 0; y < picture.height; ++y) {
        raw.push_back(0);  // filter "none" on every row
        for (int x = 0; x < picture.width; ++x) {
            const Rgba& p = picture.pixels[static_cast<std::size_t>(y) * picture.width + x];
            raw.insert(raw.end(), {p.r, p.g, p.b, p.a});
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
        return {};
    packed.resize(packedSize);
    PutChunk(out, "IDAT", packed);
    PutChunk(out, "IEND", {});
    return out;
}

Picture EmergencySquare() {
    return Picture{12, 12, std::vector<Rgba>(144, Rgba{255, 128, 0, 255})};
}

Picture ProgramIcon(int size) {
    const Rgba tile{30, 90, 168, 255};
    const Rgba body{245, 247, 250, 255};
    const Rgba lens{30, 90, 168, 255};
    const Rgba glass{120, 180, 240, 255};
    const Rgba arrow{76, 196, 90, 255};
    return Render(size, {
        {[](double x, double y) { return InRoundedRect(x, y, 1, 1, 31, 31, 6); }, tile},
        // camera body with its viewfinder bump
        {[](double x, double y) { return InRoundedRect(x, y, 5, 12, 27, 26, 2.5); }, body},
        {[](double x, double y) { return InRoundedRect(x, y, 8, 9.5, 14, 13, 1); }, body},
        {[](double x, double y) { return InCircle(x, y, 16, 19, 5.2); }, lens},
        {[](double x, double y) { return InCircle(x, y, 16, 19, 3.2); }, glass},
        // upward arrow in the top right corner: the upgrade
        {[](double x, double y) { return y >= 3 && y <= 9 && std::abs(x - 24) <= (y - 3) * 0.9; }, arrow},
        {[](double x, double y) { return x >= 22.5 && x <= 25.5 && y >= 8.5 && y <= 12; }, arrow},
    }, 32);
}

Picture CheckBoxes() {
    constexpr int kBox = 20, kHeight = 16;
    Picture picture{3 * kBox, kHeight, std::vector<Rgba>(static_cast<std::size_t>(3 * kBox) * kHeight)};
    auto put = [&picture](int x, int y, Rgba colour) {
        picture.pixels[static_cast<std::size_t>(y) * picture.width + x] = colour;
    };
    const Rgba frames[3] = {{64, 64, 64, 255}, {64, 64, 64, 255}, {160, 160, 160, 255}};
    const Rgba faces[3] = {{255, 255, 255, 255}, {255, 255, 255, 255}, {224, 224, 224, 255}};
    for (int image = 0; image < 3; ++image) {
        const int left = image * kBox + 3;
        for (int y = 2; y < 15; ++y) {
            for (int x = left; x < left + 13; ++x) {
                const bool edge = y == 2 || y == 14 || x == left || x == left + 12;
                put(x, y, edge ? frames[image] : faces[image]);
            }
        }
        if (image == 0) continue;
        // The tick: down from the left, then up to the right, 2 pixels thick.
        const Rgba tick = image == 1 ? Rgba{0, 0, 0, 255} : Rgba{128, 128, 128, 255};
        for (int i = 0; i < 3; ++i) {
            put(left + 3 + i, 7 + i, tick);
            put(left + 3 + i, 8 + i, tick);
        }
        for (int i = 0; i < 5; ++i) {
            put(left + 6 + i, 9 - i, tick);
            put(left + 6 + i, 10 - i, tick);
        }
    }
    return picture;
}

Picture RowStrip(Rgba top, Rgba bottom, int height) {
    Picture picture{1, height, std::vector<Rgba>(static_cast<std::size_t>(height))};
    for (int y = 0; y < height; ++y) {
        const double t = height > 1 ? static_cast<double>(y) / (height - 1) : 0.0;
        auto mix = [t](std::uint8_t a, std::uint8_t b) {
            return static_cast<std::uint8_t>(std::lround(a + (b - a) * t));
        };
        picture.pixels[static_cast<std::size_t>(y)] = {mix(top.r, bottom.r), mix(top.g, bottom.g),
                                                       mix(top.b, bottom.b), 255};
    }
    return picture;
}

Picture ButtonPicture(int glyph, int state) {
    const Rgba faces[4] = {{236, 236, 236, 255}, {200, 200, 200, 255}, {236, 236, 236, 255}, {236, 236, 236, 255}};
    const Rgba border = state == 2 ? Rgba{30, 90, 168, 255} : Rgba{120, 120, 120, 255};
    const Rgba ink = state == 3 ? Rgba{168, 168, 168, 255} : Rgba{30, 90, 168, 255};
    const double shift = state == 1 ? 1.0 : 0.0;  // a pressed button's glyph sinks in
    std::vector<Shape> shapes = {
        {[](double x, double y) { return InRoundedRect(x, y, 0, 0, 19, 19, 3); }, border},
        {[&](double x, double y) { return InRoundedRect(x, y, state == 2 ? 2 : 1, state == 2 ? 2 : 1,
                                                        state == 2 ? 17 : 18, state == 2 ? 17 : 18, 2); },
         faces[state]},
    };
    switch (glyph) {
    case 0:  // PREV: a triangle pointing left
        shapes.push_back({[shift](double x, double y) {
                              x -= shift, y -= shift;
                              return x >= 5.5 && x <= 13 && std::abs(y - 9.5) <= (x - 5.5) * 0.75;
                          },
                          ink});
        break;
    case 1:  // NEXT: a triangle pointing right
        shapes.push_back({[shift](double x, double y) {
                              x -= shift, y -= shift;
                              return x >= 6 && x <= 13.5 && std::abs(y - 9.5) <= (13.5 - x) * 0.75;
                          },
                          ink});
        break;
    case 2:  // ADD: a plus
        shapes.push_back({[shift](double x, double y) {
                              x -= shift, y -= shift;
                              return (std::abs(x - 9.5) <= 1.5 && std::abs(y - 9.5) <= 5.5) ||
                                     (std::abs(y - 9.5) <= 1.5 && std::abs(x - 9.5) <= 5.5);
                          },
                          ink});
        break;
    default:  // DEL: a minus
        shapes.push_back({[shift](double x, double y) {
                              x -= shift, y -= shift;
                              return std::abs(y - 9.5) <= 1.5 && std::abs(x - 9.5) <= 5.5;
                          },
                          ink});
        break;
    }
    return Render(19, shapes, 19);
}

}  // namespace qrv::pack
