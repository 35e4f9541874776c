// The toast window (class TessavoToast): one at a time, on the thread that shows it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "ui/popup.hpp"

namespace tess {

// Replaces any toast on screen. The action button posts kTrayToastButton with the kind to
// `owner` before the toast closes.
void show_toast(HWND owner, const Toast& toast);
void close_toast();
HWND toast_window();  // null when none is shown

// WM_PAINT of a small pop-up: `paint` draws the whole client area into a memory bitmap,
// which is then copied in one go, so nothing flickers.
void paint_buffered(HWND window, int width, int height, const std::function<void(HDC)>& paint);
// A 1-pixel border around `r`.
void frame_rect(HDC dc, const RECT& r, std::uint32_t rgb);

}  // namespace tess
