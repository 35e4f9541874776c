// Where a small window goes: rectangles and points in pixels, and the arithmetic that
// keeps a window on its work area. Pure, so the placements are tested without a screen.
#pragma once

#include <cstdint>

namespace tess {

// Pixels at 96 DPI to pixels at `dpi`, rounded to the nearest.
int popup_px(int px96, std::uint32_t dpi);

struct PopupRect {
    int left = 0, top = 0, right = 0, bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const PopupRect&) const = default;
};

struct PopupPoint {
    int x = 0, y = 0;
    bool operator==(const PopupPoint&) const = default;
};

// `at` moved the least so that a window of `width` x `height` lies wholly inside `work`;
// one larger than `work` keeps its left and top edges on it.
PopupPoint clamp_to(const PopupRect& work, PopupPoint at, int width, int height);
// Centred over `over` (an owner window, or the work area itself), then clamped to `work`.
PopupPoint centre_within(const PopupRect& work, const PopupRect& over, int width, int height);

}  // namespace tess
