// Starting the admin helper: the declarations that need Win32 types.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <functional>

#include "changes/plan.hpp"

namespace tess {

// ShellExecuteExW, or a stand-in: Wine never shows the approval prompt, so a declined
// prompt (ERROR_CANCELLED) can only be shown through one.
using ShellExecuteFn = std::function<BOOL(SHELLEXECUTEINFOW*)>;

// Starts the admin helper with the "runas" verb and the plan on its command line, waits
// for it without a time-out and reports its exit code; Cancelled when the user declined.
ElevationResult run_elevated(const Plan& plan);
ElevationResult run_elevated(const Plan& plan, const ShellExecuteFn& shell_execute);

}  // namespace tess
