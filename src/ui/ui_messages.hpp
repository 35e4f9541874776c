// What the main window (class TessavoWindow) receives besides the usual messages. Workers
// store their result in the window's shared state under its lock first, then post.
#pragma once

#include "core/wm_app.hpp"

namespace tess {

// Full scan worker: scan stored. wParam = the quiet flag it was started with.
inline constexpr unsigned kMainScanDone = kWmApp + 1;
// Page apply (apply_changes): changes applied, a pending status stored.
inline constexpr unsigned kMainChangesDone = kWmApp + 2;
// The window itself: ticks changed, recompute the captions (one post for many rows).
inline constexpr unsigned kMainTicksChanged = kWmApp + 3;
// Full scan worker and Optimise run: progress. wParam = the scan step (0-3) or the
// `ApplyPhase` (0-3).
inline constexpr unsigned kMainProgress = kWmApp + 4;
// The approval prompt opened (wParam 1) or closed (0).
inline constexpr unsigned kMainApproval = kWmApp + 12;
// Optimise run (apply_run): the OptimiseResult is stored.
inline constexpr unsigned kMainApplyDone = kWmApp + 5;
// Start-up update check: a newer version is in the update slot.
inline constexpr unsigned kMainUpdateFound = kWmApp + 6;
// Developer-junk scan: result stored.
inline constexpr unsigned kMainDevScanDone = kWmApp + 9;
// Focus load at start-up and the page's Focus toggle: Focus state stored, maybe a
// pending status.
inline constexpr unsigned kMainFocusDone = kWmApp + 10;
// Autopilot "Run now": run finished, a pending status stored.
inline constexpr unsigned kMainAutopilotDone = kWmApp + 11;

}  // namespace tess
