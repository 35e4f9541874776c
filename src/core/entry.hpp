// Which role a process plays, decided from its command line and its own file name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

inline constexpr std::string_view kVersion = "0.5.0";

enum class Role : std::uint8_t {
    MainWindow = 0,
    AdminHelper = 1,
    TrayWatch = 2,
    Setup = 3,
    UpdateHandOver = 4,
    Uninstall = 5,
    QuietInstall = 6,  // "--install --quiet"
    LaterRemoval = 7,  // "--remove-after …": the uninstall's temporary copy
};

struct Dispatch {
    Role role = Role::MainWindow;
    // AdminHelper: the plan file (argv[2]) and its SHA-256 (argv[3]), empty when absent.
    std::string plan_file;
    std::string plan_sha256;
    bool quiet = false;  // Uninstall: "--quiet" anywhere on the command line; install:
                         // "--quiet" after "--install"
    // Install: the options after "--install", and the first one that is none of them.
    bool desktop_shortcut = true;  // off with "--no-desktop-shortcut"
    bool tray = true;              // off with "--no-tray"
    std::string unknown_option;
    // UpdateHandOver: the console companion the update downloaded (argv[2]) and the SHA-256
    // it was verified against (argv[3]); both empty when the release carried none.
    std::string companion;
    std::string companion_sha256;
    // LaterRemoval: argv[2..] (the inherited handle, the folder, the files in it).
    std::vector<std::string> later_removal;
};

// The file name up to its last "."; ".." and names whose only "." is a leading one
// are their own stem.
std::string file_stem(std::string_view file_name);

// Only argv[1] picks the role, compared byte for byte. `exe_stem` is the running
// executable's stem (nullopt when its path could not be read).
Dispatch choose_role(const std::vector<std::string>& args,
                     const std::optional<std::string>& exe_stem);

// A replaced program starts its successor with these arguments ("--after-update {pid}"),
// so the successor's main window waits for that process to let go of the single-instance
// name instead of bringing the old window back.
inline constexpr std::string_view kAfterUpdateArg = "--after-update";
// An uninstall whose own image is still in the folder hands the rest to a temporary copy
// of the program, started with "--remove-after {handle} {folder} {files…}".
inline constexpr std::string_view kRemoveAfterArg = "--remove-after";
std::string after_update_args(std::uint32_t pid);
// The pid following "--after-update" among argv[1..]; nullopt when absent or not a
// decimal 32-bit number.
std::optional<std::uint32_t> after_update_pid(const std::vector<std::string>& args);

// True for an update leftover beside the executable: the lower-cased name starts
// with the lower-cased stem and ends with ".old".
bool is_old_leftover(std::string_view lower_stem, std::string_view file_name);

}  // namespace tess
