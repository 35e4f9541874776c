// Loading the program's icons, with the drawn icon when a resource is missing.
#pragma once

#include <windows.h>

#include "core/win.hpp"

namespace tess::ui {

using Icon = win::unique_hicon;

// SM_CXSMICON (small) or SM_CXICON clamped to 16-256, at `dpi` when it is given.
int system_icon_size(bool small, int dpi = 0);

// Icon resource `resource` of `module` (null: this executable) at `size` pixels; the drawn
// icon of the resource's level when the resource cannot be loaded.
Icon load_icon(HINSTANCE module, int resource, int size);

// The disc in the level's colour (0 green, 1 amber, 2 red) at `size` clamped to 16-64.
// Null only when Windows cannot create the icon at all.
Icon drawn_icon(int level, int size);

}  // namespace tess::ui
