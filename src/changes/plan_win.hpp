// Starting the admin helper: the declarations that need Win32 types.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <string>

#include "changes/plan.hpp"

namespace tess {

// ShellExecuteExW, or a stand-in: Wine never shows the approval prompt, so a declined
// prompt (ERROR_CANCELLED) can only be shown through one.
using ShellExecuteFn = std::function<BOOL(SHELLEXECUTEINFOW*)>;

// The shell's limit on "file" plus parameters (INTERNET_MAX_URL_LENGTH, less its NUL).
inline constexpr std::size_t kMaxShellCommandLine = 2'048;

struct PlanFile {
    std::string path;
    std::string sha256;
};

// Writes the plan to a new file in plan_folder(plan.journal), creating that folder with a
// protected ACL that lets only this user, administrators and SYSTEM in.
Result<PlanFile> write_plan_file(const Plan& plan);

// Hands the plan over in a file and starts the admin helper with the "runas" verb, the
// approval prompt owned by `owner` (may be null); waits for it without a time-out and
// reports its exit code; Cancelled when the user declined. The plan file is gone after.
ElevationResult run_elevated(const Plan& plan, HWND owner);
ElevationResult run_elevated(const Plan& plan, HWND owner, const ShellExecuteFn& shell_execute);

}  // namespace tess
