// The quick panel window (class TessavoPanel). It lives on the tray watch's thread; only
// one exists at a time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tess {

struct PanelOwner {
    HWND owner = nullptr;                // the tray window
    std::function<void()> toggle_focus;  // the tray's toggle; it ignores a second one
    std::function<bool()> focus_is_on;
    std::function<std::string()> focus_summary;  // the Focus row's text while it is on
};

// Registers TessavoPanel (drop shadow); the tray watch does it at start.
void register_panel_class(HINSTANCE instance);
// Does nothing when the panel is already open.
void open_quick_panel(const PanelOwner& owner);
// Closes it unless it is applying changes.
void close_quick_panel();
// Closes it whatever it is doing: the tray watch is ending.
void close_quick_panel_now();
bool quick_panel_open();
HWND quick_panel_window();  // null while closed
bool quick_panel_applying();
// GetTickCount64 when it last closed; none before it first closed.
std::optional<std::uint64_t> quick_panel_closed_at();
void repaint_quick_panel();

}  // namespace tess
