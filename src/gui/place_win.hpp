// The work areas windows open on.
#pragma once

#include <windows.h>

#include <optional>

#include "gui/place.hpp"

namespace tess {

// The window's rectangle when it shows with a size; nullopt for a hidden or empty one.
std::optional<PopupRect> visible_rect(HWND window);
// The work area a window should appear on: the monitor of `owner` when it is a visible
// window with a size, else the monitor under the cursor (or the primary one).
PopupRect work_area_near(HWND owner);
// Where the quick panel and toasts open: the work area of the taskbar's monitor, else
// work_area_near(nullptr); `dpi` receives that monitor's DPI.
PopupRect tray_work_area(int& dpi);

}  // namespace tess
