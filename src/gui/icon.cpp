#include "gui/icon.hpp"

#include <algorithm>
#include <cmath>

namespace tess::ui {

int icon_size_from_metric(int metric) {
    return std::clamp(metric, 16, 256);
}

DrawnIconImage drawn_icon_image(int level, int requested_size) {
    static constexpr std::uint8_t kBase[3][3] = {{34, 197, 94}, {245, 158, 11}, {239, 68, 68}};
    const auto& base = kBase[level >= 0 && level <= 2 ? level : 0];
    DrawnIconImage img;
    const int n = std::clamp(requested_size, 16, 64);
    img.size = n;
    img.argb.assign(static_cast<std::size_t>(n) * n, 0);
    img.mask_stride = (n + 15) / 16 * 2;
    img.mask.assign(static_cast<std::size_t>(img.mask_stride) * n, 0xFF);
    const double c = n / 2.0;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const double r = std::hypot(x + 0.5 - c, y + 0.5 - c);
            if (r > c - 0.5) continue;
            const double k = r <= c - 2 ? 1.0 : 0.7;
            const auto ch = [&](int i) { return static_cast<std::uint32_t>(base[i] * k); };
            img.argb[static_cast<std::size_t>(y) * n + x] =
                0xFF000000u | ch(0) << 16 | ch(1) << 8 | ch(2);
            img.mask[static_cast<std::size_t>(y) * img.mask_stride + x / 8] &=
                static_cast<std::uint8_t>(~(0x80u >> (x % 8)));
        }
    }
    return img;
}

}  // namespace tess::ui
