// Starting the admin helper: the declarations that need Win32 types.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <string>

#include "changes/executor.hpp"
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
// protected ACL that lets only this user, administrators and SYSTEM in. The plan's `sid`
// is this process's user, from its token, whatever `plan` says.
Result<PlanFile> write_plan_file(const Plan& plan);

// Hands the plan over in a file and starts the admin helper with the "runas" verb, the
// approval prompt owned by `owner` (may be null); waits for it without a time-out and
// reports its exit code; Cancelled when the user declined. The plan file is gone after.
ElevationResult run_elevated(const Plan& plan, HWND owner);
ElevationResult run_elevated(const Plan& plan, HWND owner, const ShellExecuteFn& shell_execute);

// The executor's calls in the admin helper, working for the plan's user: the log and the
// folders a junk clean keeps are the plan's data folder, and the journal's and the log's
// locks admit the plan's account. Run as another account than the plan's (`own_sid`),
// the steps on its own profile are refused and its own data_dir() is never used.
ExecutorSystem helper_system(const Plan& plan, std::string_view own_sid);

// The admin helper as the account `own_sid`; the role passes its token's. Wine runs
// everything as one user, so tests show a helper approved as another account through it.
int run_admin_helper(const std::string& plan_file, std::string_view plan_sha256,
                     std::string_view own_sid);

}  // namespace tess
