#pragma once
// Numbers of the pictures the camera lists and the image buttons draw with,
// shared by the packer that draws them and the windows that show them.

#include <array>
#include <string_view>

namespace qrv {

inline constexpr int kCheckBoxBitmap = 129;      // 60 x 16: empty, ticked and greyed box, 20 pixels each
inline constexpr int kRowNormalBitmap = 130;     // 1-pixel strips, stretched over a row
inline constexpr int kRowSelectedBitmap = 131;
inline constexpr int kRowFailedBitmap = 194;     // login check failed; also "already in the grid"
inline constexpr int kRowConflictBitmap = 195;   // the same address twice in a list
inline constexpr int kProgressBarBitmap = 252;   // 1 x 11, stretched into the progress bar
inline constexpr int kRowPassedBitmap = 262;     // login check passed

// The image buttons take four pictures named after their caption plus U
// (normal), D (pressed), F (focused) and X (disabled).
inline constexpr std::array<std::string_view, 4> kButtonCaptions = {"PREV", "NEXT", "ADD", "DEL"};
inline constexpr std::string_view kButtonStates = "UDFX";
inline constexpr int kFirstButtonBitmap = 400;

// Number of the picture called `name` ("PREVU", "NEXTX", ...), or 0 when the
// program has no picture of that name.
constexpr int NamedBitmapNumber(std::string_view name) {
    for (std::size_t c = 0; c < kButtonCaptions.size(); ++c) {
        const std::string_view caption = kButtonCaptions[c];
        if (name.size() != caption.size() + 1 || name.substr(0, caption.size()) != caption) continue;
        const std::size_t state = kButtonStates.find(name.back());
        if (state == std::string_view::npos) return 0;
        return kFirstButtonBitmap + static_cast<int>(c * kButtonStates.size() + state);
    }
    return 0;
}

}  // namespace qrv
