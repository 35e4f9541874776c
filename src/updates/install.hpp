// Where Tessavo is installed for this user, and how a file that may be running is
// replaced. Both setup and the self-update decide from these.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tess {

struct InstallPaths {
    std::string folder;           // ...\Programs\Tessavo
    std::string start_menu_link;  // ...\Tessavo.lnk
    std::string desktop_link;     // ...\Tessavo.lnk
    std::string entry_name;       // the uninstall entry's key name
    bool real = true;             // false under TESS_INSTALL_ROOT

    bool operator==(const InstallPaths&) const = default;
};

// What install_paths reads from the system; an absent or empty text counts as unset.
struct InstallEnv {
    std::optional<std::string> install_root;     // TESS_INSTALL_ROOT
    std::optional<std::string> local_app_data;   // LOCALAPPDATA
    std::string temp_folder;                     // the system temporary folder
    std::optional<std::string> programs_folder;  // FOLDERID_Programs
    std::optional<std::string> app_data;         // APPDATA
    std::optional<std::string> desktop_folder;   // FOLDERID_Desktop
    std::optional<std::string> user_profile;     // USERPROFILE
};

InstallPaths install_paths_for(const InstallEnv& env);

inline constexpr std::string_view kExeName = "Tessavo.exe";
inline constexpr std::string_view kCliName = "tessavo-cli.exe";
inline constexpr std::string_view kNoticesName = "THIRD-PARTY-NOTICES.txt";
inline constexpr std::string_view kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr std::string_view kShortcutDescription = "Make your PC faster in one click";

// install folder\Tessavo.exe
std::string installed_exe(const InstallPaths& paths);

// The running executable lies in the install folder (ASCII letters compared without case).
bool is_installed_copy_at(std::string_view running_exe, const InstallPaths& paths);

// `to` with its extension replaced by ".{pid}.old": Tessavo.exe -> Tessavo.1234.old.
std::string moved_aside_name(std::string_view to, std::uint32_t pid);

// Replacing a file that may be in use: `to` is renamed to `aside` (Windows allows that for
// a running program's image), `from` copied to its place, and a failed copy moves the old
// file back, so the old file is never left out of place. Each step gives the system's
// error text, or nullopt on success.
using FileStep =
    std::function<std::optional<std::string>(const std::string& from, const std::string& to)>;
struct AsideReplace {
    std::optional<std::string> move_error;  // `to` could not be moved aside: nothing changed
    std::optional<std::string> copy_error;  // the copy failed after the move
    bool restored = true;                   // after a failed copy: the old file is back
};
AsideReplace replace_moving_aside(const FileStep& move, const FileStep& copy,
                                  const std::string& from, const std::string& to,
                                  const std::string& aside);

// Absolute, no "." or ".." component, and ends in "\programs\tessavo" or holds
// "tess-install-test" (ASCII letters without case).
bool install_folder_is_safe(std::string_view folder);

#ifdef _WIN32
InstallPaths install_paths();
// The running executable is the installed one.
bool is_installed_copy(const InstallPaths& paths);
#endif

}  // namespace tess
