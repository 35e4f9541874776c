// The quick panel's Optimise on a worker: each phase and the result are posted to the panel.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "changes/apply_win.hpp"

namespace tess {

// Posts kPanelStep with each phase as the step to show (kPanelApproval around the
// prompt); logs the result lines, stores the result and posts kPanelApplyDone.
void quick_optimise(const std::vector<Action>& actions, std::uint64_t junk_estimate, HWND panel,
                    const std::function<void(OptimiseResult)>& store);
void quick_optimise(const std::vector<Action>& actions, std::uint64_t junk_estimate, HWND panel,
                    const std::function<void(OptimiseResult)>& store, const RunSystem& sys);

}  // namespace tess
