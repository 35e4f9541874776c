// The toast window (class TessavoToast): one at a time, on the thread that shows it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "ui/paint_win.hpp"
#include "ui/popup.hpp"

namespace tess {

// Replaces any toast on screen. The action button posts kTrayToastButton with the kind to
// `owner` before the toast closes.
void show_toast(HWND owner, const Toast& toast);
void close_toast();
HWND toast_window();  // null when none is shown
// Moves the toast clear of the quick panel that just opened (or back to the corner).
void place_toast();

// The window's rectangle when it shows with a size; nullopt for a hidden or empty one.
std::optional<PopupRect> visible_rect(HWND window);
// The work area a window should appear on: the monitor of `owner` when it is a visible
// window with a size, else the monitor under the cursor (or the primary one).
PopupRect work_area_near(HWND owner);
// Where the quick panel and toasts open: the work area of the taskbar's monitor, else
// work_area_near(nullptr); `dpi` receives that monitor's DPI.
PopupRect tray_work_area(int& dpi);

// WM_PAINT of a small pop-up: `paint` draws the whole client area into a memory bitmap,
// which is then copied in one go, so nothing flickers.
void paint_buffered(HWND window, int width, int height, const std::function<void(HDC)>& paint);
// A 1-pixel border around `r`.
void frame_rect(HDC dc, const RECT& r, std::uint32_t rgb);

// The icon font's close (U+E711) and check-mark (U+E73E) glyphs centred in `r`, drawn as
// strokes where the font is missing (before Windows 10, and under Wine).
void draw_close_mark(HDC dc, const ui::FontSet& fonts, ui::Rect r, std::uint32_t rgb);
void draw_check_mark(HDC dc, const ui::FontSet& fonts, ui::Rect r, std::uint32_t rgb);

}  // namespace tess
