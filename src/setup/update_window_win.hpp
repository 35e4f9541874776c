// The update window (class TessavoUpdate): offers a found update and installs it.
#pragma once

#include <windows.h>

#include "setup/update_window.hpp"
#include "updates/update.hpp"

namespace tess::ui {

// Modal over `owner` (or topmost without one); runs its own message loop until the
// window is gone and says how it ended.
UpdateOutcome show_update_window(HWND owner, const updates::UpdateInfo& info);

}  // namespace tess::ui
