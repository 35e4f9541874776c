// What the tray watch's window (class TessavoTray) receives besides the usual messages
// (its tick timer and the registered "TaskbarCreated" message).
#pragma once

#include "core/wm_app.hpp"

namespace tess {

// The notification icon's callback (NOTIFYICON_VERSION_4). LOWORD(lParam) = NIN_SELECT,
// NIN_KEYSELECT, WM_CONTEXTMENU or WM_LBUTTONDBLCLK act; the button-ups that come before
// them do not. A shell that refused version 4 sends WM_LBUTTONUP and WM_RBUTTONUP instead.
inline constexpr unsigned kTrayIcon = kWmApp + 10;
// Dev-tool check worker: result ready.
inline constexpr unsigned kTrayDevCheckDone = kWmApp + 11;
// Update check worker: result in its slot. wParam = 1 when the user asked for the check;
// lParam = 0 no newer version, 1 newer version found, 2 the check failed.
inline constexpr unsigned kTrayUpdateChecked = kWmApp + 12;
// Autopilot worker: run finished.
inline constexpr unsigned kTrayAutopilotDone = kWmApp + 14;
// Focus toggle worker: toggle finished.
inline constexpr unsigned kTrayFocusDone = kWmApp + 15;
// A toast: its action button was pressed. wParam = the ToastKind.
inline constexpr unsigned kTrayToastButton = kWmApp + 40;

}  // namespace tess
