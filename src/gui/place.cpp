#include "gui/place.hpp"

#include <algorithm>

namespace tess {

int popup_px(int px96, std::uint32_t dpi) {
    if (dpi == 0) dpi = 96;
    const long long scaled = static_cast<long long>(px96) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : -((-scaled + 48) / 96));
}

PopupPoint clamp_to(const PopupRect& work, PopupPoint at, int width, int height) {
    // Right and bottom first, so a window larger than the work area ends at its left and top.
    at.x = std::max(std::min(at.x, work.right - width), work.left);
    at.y = std::max(std::min(at.y, work.bottom - height), work.top);
    return at;
}

PopupPoint centre_within(const PopupRect& work, const PopupRect& over, int width, int height) {
    return clamp_to(
        work, {over.left + (over.width() - width) / 2, over.top + (over.height() - height) / 2},
        width, height);
}

}  // namespace tess
