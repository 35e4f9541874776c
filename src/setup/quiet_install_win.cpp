#include <windows.h>

#include "core/log.hpp"
#include "core/policy.hpp"
#include "core/roles.hpp"
#include "setup/quiet_install.hpp"

namespace tess {

namespace {

// Standard error when the caller gave one (a redirected or inherited handle: this is a
// window program, so a console has none), else the activity log.
void report(const std::string& line) {
    const HANDLE h = ::GetStdHandle(STD_ERROR_HANDLE);
    const std::string text = line + "\r\n";
    DWORD done = 0;
    if (h != nullptr && h != INVALID_HANDLE_VALUE &&
        ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
        done == text.size())
        return;
    log_line(line);
}

}  // namespace

// The tray watch is not started here: it would put a window on the screen, and the Run
// value starts it at the next sign-in.
int run_quiet_install(const Dispatch& d) {
    const SetupSystem sys = setup_system();
    std::string error;
    std::optional<std::string> exe;
    if (d.unknown_option.empty()) exe = sys.exe_path(error);
    const QuietInstallResult r =
        quiet_install(d, exe, error, [&](const std::string& from, bool desktop, bool tray) {
            // A policy on the tray watch at sign-in decides the Run value.
            return install_locked(from, install_paths(), desktop,
                                  load_policy().tray_at_sign_in.value_or(tray), sys);
        });
    if (!r.line.empty()) report(r.line);
    return r.code;
}

}  // namespace tess
