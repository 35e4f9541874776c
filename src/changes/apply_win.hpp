// The real system an apply runs on. The windows that start a run turn its reports into
// posts of their own (ui/runs_win.hpp, tray/panel_runs_win.hpp).
#pragma once

#include <windows.h>

#include <functional>

#include "changes/apply.hpp"

namespace tess {

// data_dir's journal, the executor unelevated as the token says and run_elevated with its
// prompt owned by `owner`; `dry_run` as the entry read it.
RunSystem run_system(HWND owner, bool dry_run);

// `elevate` calls `approving(true)` before the prompt opens and `approving(false)` when it
// returns, so the window can say it waits for the approval instead of looking hung.
void tell_while_approving(RunSystem& sys, std::function<void(bool approving)> approving);

}  // namespace tess
