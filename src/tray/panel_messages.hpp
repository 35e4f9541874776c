// What the quick panel (class TessavoPanel) receives besides the usual messages. Its
// spinner is its own WM_TIMER; workers never post WM_TIMER (a posted WM_TIMER with an
// lParam is taken for a timer callback by DispatchMessageW).
#pragma once

#include "core/wm_app.hpp"

namespace tess {

// The panel's check worker: actions, lines and sizes stored.
inline constexpr unsigned kPanelCheckDone = kWmApp + 20;
// The one-click apply (quick_optimise): the OptimiseResult is stored.
inline constexpr unsigned kPanelApplyDone = kWmApp + 21;
// The check and the apply: progress. wParam = the step to show, 0-3.
inline constexpr unsigned kPanelStep = kWmApp + 22;
// The approval prompt opened (wParam 1) or closed (0).
inline constexpr unsigned kPanelApproval = kWmApp + 23;

}  // namespace tess
