// Toasts: the program's own notification cards in the bottom-right corner. The tray
// watch raises them; their geometry and timing are decided here, the window lives in
// popup_win.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "gui/place.hpp"

namespace tess {

// What the toast's button asks its owner to do.
enum class ToastKind : std::uint8_t {
    None = 0,
    OpenPanel = 1,    // the quick panel
    OpenUpdate = 2,   // the update window
    OpenHistory = 3,  // the main window on its History page
};

struct Toast {
    std::string title;
    std::string body;
    std::string button;  // empty: no button
    ToastKind kind = ToastKind::None;

    bool operator==(const Toast&) const = default;
};

// Sizes at 96 DPI; `scale_px` turns them into the system DPI's pixels.
inline constexpr int kToastWidth = 372;
inline constexpr int kToastMaxBody = 80;  // taller bodies are cut with an ellipsis
inline constexpr int kCornerMargin = 12;  // from the work area's right and bottom edges
inline constexpr std::uint32_t kToastTimerMs = 500;
inline constexpr std::uint32_t kToastLifeMs = 9999;  // closes once the time away exceeds it

// Everything in pixels at `dpi`; `body_height` is the measured height of the wrapped body
// in width - 32.
struct ToastLayout {
    int width = 0;
    int height = 0;
    PopupRect close;   // id 101
    PopupRect action;  // id 102, empty when the toast has no button
    PopupRect icon;
    PopupRect title;
    PopupRect body;
};
ToastLayout toast_layout(std::uint32_t dpi, int body_height, bool has_button,
                         int button_text_width);

// `margin` pixels from the work area's right and bottom edges, or (-10000, -10000) off
// screen. Toasts and the quick panel both sit there.
PopupPoint corner_position(const PopupRect& work_area, int width, int height, int margin,
                           bool offscreen);

// A toast's place: the corner, or above the open quick panel (`panel`) with `margin`
// between them, so it never covers the panel; where there is no room above, left of it.
PopupPoint toast_position(const PopupRect& work_area, int width, int height, int margin,
                          const std::optional<PopupRect>& panel, bool offscreen);

// One 500 ms timer step: the time spent with the mouse away from the toast, and whether the
// toast closes now. With the mouse over it the time starts again; off screen (tests) it stays.
struct ToastTimer {
    std::uint32_t away_ms = 0;
    bool close = false;
};
ToastTimer toast_timer_step(std::uint32_t away_ms, bool mouse_over, bool offscreen);

}  // namespace tess
