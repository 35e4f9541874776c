#include "tray/toast.hpp"

#include <algorithm>

namespace tess {

ToastLayout toast_layout(std::uint32_t dpi, int body_height, bool has_button,
                         int button_text_width) {
    const auto px = [dpi](int v) { return popup_px(v, dpi); };
    ToastLayout l;
    l.width = px(kToastWidth);
    const int body = std::clamp(body_height, 0, px(kToastMaxBody));
    l.height = px(16 + 16 + 24 + 6) + (has_button ? px(14 + 34) : 0) + body;
    l.close = {l.width - px(42), px(5), l.width - px(42) + px(30), px(5) + px(30)};
    if (has_button) {
        const int w = std::max(0, button_text_width) + px(36);
        const int right = l.width - px(16);
        const int bottom = l.height - px(16);
        l.action = {right - w, bottom - px(34), right, bottom};
    }
    l.icon = {px(16), px(18), px(16) + px(20), px(18) + px(20)};
    l.title = {px(46), px(16), l.width - px(48), px(40)};
    l.body = {px(16), px(46), l.width - px(16), px(46) + body};
    return l;
}

PopupPoint corner_position(const PopupRect& work_area, int width, int height, int margin,
                           bool offscreen) {
    if (offscreen) return {-10000, -10000};
    return {work_area.right - margin - width, work_area.bottom - margin - height};
}

PopupPoint toast_position(const PopupRect& work_area, int width, int height, int margin,
                          const std::optional<PopupRect>& panel, bool offscreen) {
    if (offscreen) return {-10000, -10000};
    PopupPoint at = corner_position(work_area, width, height, margin, false);
    if (panel && panel->width() > 0 && panel->height() > 0) {
        if (panel->top - margin - height >= work_area.top)
            at = {panel->right - width, panel->top - margin - height};
        else
            at = {panel->left - margin - width, work_area.bottom - margin - height};
    }
    return clamp_to(work_area, at, width, height);
}

ToastTimer toast_timer_step(std::uint32_t away_ms, bool mouse_over, bool offscreen) {
    if (mouse_over) return {0, false};
    const std::uint32_t next = away_ms > kToastLifeMs ? away_ms : away_ms + kToastTimerMs;
    return {next, next > kToastLifeMs && !offscreen};
}

}  // namespace tess
