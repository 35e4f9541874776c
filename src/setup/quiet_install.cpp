#include "setup/quiet_install.hpp"

namespace tess {

QuietInstallResult quiet_install(
    const Dispatch& d, const std::optional<std::string>& exe, std::string_view exe_error,
    const std::function<SetupError(const std::string& exe, bool desktop, bool tray)>& install) {
    if (!d.unknown_option.empty())
        return {kQuietInstallBadOption, "Tessavo setup: unknown option " + d.unknown_option +
                                            " (usage: " + std::string(kQuietInstallUsage) + ")"};
    if (!exe)
        return {kQuietInstallFailed, "Tessavo couldn't be installed: " + std::string(exe_error)};
    if (const SetupError e = install(*exe, d.desktop_shortcut, d.tray))
        return {kQuietInstallFailed, "Tessavo couldn't be installed: " + *e};
    return {};
}

}  // namespace tess
