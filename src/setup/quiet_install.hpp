// "Tessavo-Setup.exe --install --quiet [--no-desktop-shortcut] [--no-tray]": the setup
// window's install, for deployment tools, with no window and no message box.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/entry.hpp"
#include "setup/setup.hpp"

namespace tess {

inline constexpr int kQuietInstalled = 0;
inline constexpr int kQuietInstallFailed = 1;
inline constexpr int kQuietInstallBadOption = 2;

inline constexpr std::string_view kQuietInstallUsage =
    "--install --quiet [--no-desktop-shortcut] [--no-tray]";

struct QuietInstallResult {
    int code = kQuietInstalled;
    std::string line;  // what went wrong, for standard error or the log; empty on success
};

// Runs the window's own install (`install`: the executable to copy, desktop shortcut,
// tray watch at sign-in) unless the command line holds an option it does not know.
// `exe` is the running executable, or nullopt with the system's words in `exe_error`.
QuietInstallResult quiet_install(
    const Dispatch& d, const std::optional<std::string>& exe, std::string_view exe_error,
    const std::function<SetupError(const std::string& exe, bool desktop, bool tray)>& install);

}  // namespace tess
