// The main window's runs on a worker: each phase and the result are posted to the window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "changes/apply_win.hpp"

namespace tess {

// The window's code keeps the result under its lock, replacing the previous one.
using StoreOptimiseResult = std::function<void(OptimiseResult)>;
using StoreChangesStatus = std::function<void(ChangesStatus)>;

// Posts kMainProgress with each phase (kMainApproval around the prompt), stores the result
// and posts kMainApplyDone.
void apply_run(HWND window, const std::vector<Action>& actions, std::uint64_t junk_estimate,
               const StoreOptimiseResult& store);
void apply_run(HWND window, const std::vector<Action>& actions, std::uint64_t junk_estimate,
               const StoreOptimiseResult& store, const RunSystem& sys);

// Stores the status and posts kMainChangesDone.
void apply_changes(const std::vector<Op>& ops, HWND window, const StoreChangesStatus& store);
void apply_changes(const std::vector<Op>& ops, HWND window, const StoreChangesStatus& store,
                   const RunSystem& sys);

}  // namespace tess
