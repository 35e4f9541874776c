// The toast window (class TessavoToast): one at a time, on the thread that shows it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "gui/paint_win.hpp"
#include "gui/place_win.hpp"
#include "tray/toast.hpp"

namespace tess {

// Replaces any toast on screen. The action button posts kTrayToastButton with the kind to
// `owner` before the toast closes.
void show_toast(HWND owner, const Toast& toast);
void close_toast();
HWND toast_window();  // null when none is shown
// Moves the toast clear of the quick panel that just opened (or back to the corner).
void place_toast();

}  // namespace tess
