#include "gui/place_win.hpp"

#include "gui/paint_win.hpp"

namespace tess {

namespace {

PopupRect rect_of(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace

std::optional<PopupRect> visible_rect(HWND window) {
    RECT r{};
    if (!window || !::IsWindowVisible(window) || !::GetWindowRect(window, &r) ||
        r.right <= r.left || r.bottom <= r.top)
        return std::nullopt;
    return rect_of(r);
}

PopupRect tray_work_area(int& dpi) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (const HMONITOR tray = ui::tray_monitor(); tray && ::GetMonitorInfoW(tray, &info)) {
        dpi = ui::monitor_dpi(tray);
        return rect_of(info.rcWork);
    }
    const PopupRect work = work_area_near(nullptr);
    const RECT r{work.left, work.top, work.right, work.bottom};
    dpi = ui::monitor_dpi(::MonitorFromRect(&r, MONITOR_DEFAULTTOPRIMARY));
    return work;
}

PopupRect work_area_near(HWND owner) {
    HMONITOR monitor = nullptr;
    // The hidden tray window (0 x 0 at the origin) says nothing about where the user is.
    if (visible_rect(owner)) {
        monitor = ::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST);
    } else {
        POINT cursor{};
        ::GetCursorPos(&cursor);
        monitor = ::MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY);
    }
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor && ::GetMonitorInfoW(monitor, &info)) return rect_of(info.rcWork);
    RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return rect_of(work);
}

}  // namespace tess
