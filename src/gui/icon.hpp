// The program's icons: which resource at which size, and the icon drawn in code when a
// resource cannot be loaded (a disc in the level colour).
#pragma once

#include <cstdint>
#include <vector>

namespace tess::ui {

// Icon resources: 1 the program icon, 2/3/4 the Normal/High/Critical level icons.
inline constexpr int kAppIcon = 1;
constexpr int level_icon(int level) {
    return 2 + (level < 0 ? 0 : level > 2 ? 2 : level);
}

// A system metric (SM_CXICON, SM_CXSMICON) as a requested icon size.
int icon_size_from_metric(int metric);
// The sidebar icon: dpi / 3 (32 at 96 DPI). The setup header's: 64 x dpi / 96.
constexpr int sidebar_icon_size(int dpi) {
    return dpi / 3;
}
constexpr int header_icon_size(int dpi) {
    return 64 * dpi / 96;
}

// The drawn icon's two images, ready for CreateBitmap.
struct DrawnIconImage {
    int size = 0;                     // the requested size clamped to 16-64
    std::vector<std::uint32_t> argb;  // size x size, row by row, 0xAARRGGBB
    std::vector<std::uint8_t> mask;   // 1 bit per pixel, 1 = transparent, rows of whole words
    int mask_stride = 0;              // bytes per mask row
};
// Level 0 green, 1 amber, 2 red (others count as 0): a filled disc with a darker 2-pixel
// rim, transparent outside.
DrawnIconImage drawn_icon_image(int level, int requested_size);

}  // namespace tess::ui
