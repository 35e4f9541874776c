// The apply runs as a window starts them: the real system, and the messages they post.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "changes/apply.hpp"

namespace tess {

// The window's code keeps the result under its lock, replacing the previous one.
using StoreOptimiseResult = std::function<void(OptimiseResult)>;
using StoreChangesStatus = std::function<void(ChangesStatus)>;

// data_dir's journal, the executor unelevated as the token says and run_elevated with its
// prompt owned by `owner`; `dry_run` as the entry read it.
RunSystem run_system(HWND owner, bool dry_run);

// `elevate` posts `message` to `window` with wParam 1 before it starts and 0 when it
// returns, so the window can say it waits for the approval instead of looking hung.
void tell_while_approving(RunSystem& sys, HWND window, UINT message);

// Posts kMainProgress with each phase, stores the result and posts kMainApplyDone.
void apply_run(HWND window, const std::vector<Action>& actions, std::uint64_t junk_estimate,
               const StoreOptimiseResult& store);
void apply_run(HWND window, const std::vector<Action>& actions, std::uint64_t junk_estimate,
               const StoreOptimiseResult& store, const RunSystem& sys);

// Stores the status and posts kMainChangesDone.
void apply_changes(const std::vector<Op>& ops, HWND window, const StoreChangesStatus& store);
void apply_changes(const std::vector<Op>& ops, HWND window, const StoreChangesStatus& store,
                   const RunSystem& sys);

// Posts kPanelStep with each phase as the step to show; logs the result lines, stores
// the result and posts kPanelApplyDone.
void quick_optimise(const std::vector<Action>& actions, std::uint64_t junk_estimate, HWND panel,
                    const StoreOptimiseResult& store);
void quick_optimise(const std::vector<Action>& actions, std::uint64_t junk_estimate, HWND panel,
                    const StoreOptimiseResult& store, const RunSystem& sys);

}  // namespace tess
