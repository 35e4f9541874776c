// What the update window (class TessavoUpdate) receives from the install worker besides
// the usual messages.
#pragma once

#include "core/wm_app.hpp"

namespace tess {

// Download progress. wParam = bytes so far; lParam = the asset's size when greater than 0.
inline constexpr unsigned kUpdateProgress = kWmApp + 41;
// Install finished. wParam = 1 success, 0 failure (the error text is in the shared slot).
inline constexpr unsigned kUpdateDone = kWmApp + 42;

}  // namespace tess
