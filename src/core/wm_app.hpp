// Window messages of the program's own are numbered from WM_APP. Each window lists the
// ones it receives in its own header (ui/ui_messages.hpp, tray/tray_messages.hpp,
// tray/panel_messages.hpp, setup/update_messages.hpp, setup/setup_messages.hpp), as plain
// numbers, so workers in portable files can name them without <windows.h>.
#pragma once

namespace tess {

inline constexpr unsigned kWmApp = 0x8000;  // WM_APP

}  // namespace tess
