// Installing per user without admin rights, the update hand-over and the uninstall.
// Every step is decided here, over a seam of plain functions (`SetupSystem`), so the
// order of the steps, the texts and the safety rules are tested without Windows;
// setup_win.cpp wires the seam to the real system.
//
// Safety: an uninstall deletes nothing until the install folder has passed its check,
// and the folder is emptied with the link-safe deletion of the junk cleaners, so a link
// or junction inside it is removed as a link and its target is never touched.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sys/fsops.hpp"
#include "updates/install.hpp"

namespace tess {

// ---- the uninstall entry ------------------------------------------------------------
struct RegValue {
    enum class Type : std::uint8_t { Sz = 0, Dword = 1 };
    std::string name;
    Type type = Type::Sz;
    std::string text;         // Sz
    std::uint32_t dword = 0;  // Dword

    bool operator==(const RegValue&) const = default;
};

struct LocalDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// Every value of the entry in the order they are written. `exe_size` is nullopt when
// the installed executable's size cannot be read.
std::vector<RegValue> uninstall_entry_values(const InstallPaths& paths,
                                             std::optional<std::uint64_t> exe_size, LocalDate date);

// ---- the seam ------------------------------------------------------------------------
struct RunningImage {
    std::uint32_t pid = 0;
    std::uint64_t created = 0;
    std::string image_path;
};

struct SetupSystem {
    std::uint32_t own_pid = 0;
    // Files. Codes are 0 or the Windows error code.
    std::function<std::uint32_t(const std::string& folder)> create_dirs;
    std::function<bool(const std::string& a, const std::string& b)> same_file;
    std::function<std::uint32_t(const std::string& from, const std::string& to)> copy_file;
    // Renames, replacing an existing file of the new name.
    std::function<std::uint32_t(const std::string& from, const std::string& to)> move_file;
    std::function<bool(const std::string& path)> file_exists;
    std::function<std::uint32_t(const std::string& path)> delete_file;
    std::function<std::optional<std::uint64_t>(const std::string& path)> file_size;
    // Lower-case hex SHA-256 of the file's bytes; nullopt when it cannot be read.
    std::function<std::optional<std::string>(const std::string& path)> sha256_file;
    std::function<bool(const std::string& path, std::string_view bytes)> write_file;
    // The notices file's bytes as built into the program.
    std::function<std::string()> notices;
    // nullopt on success, else the error text of create_shortcut.
    std::function<std::optional<std::string>(const std::string& link, const std::string& target)>
        create_shortcut;
    // Registry: the uninstall entry (creating the key: 0 or its code; each value's
    // failure is ignored), its removal (0, ERROR_FILE_NOT_FOUND or a code), the Run value.
    std::function<std::uint32_t(const std::string& entry_name, const std::vector<RegValue>& values)>
        write_uninstall_entry;
    std::function<std::uint32_t(const std::string& entry_name)> delete_uninstall_entry;
    std::function<std::uint32_t(bool on, const std::string& exe)> set_run_value;
    std::function<bool()> run_value_present;
    // Processes and windows.
    std::function<void()> post_close_to_windows;  // WM_CLOSE to the main window and tray watch
    std::function<bool()> tray_running;
    std::function<std::vector<RunningImage>()> running_images;
    std::function<void(std::uint32_t pid, std::uint64_t created)> end_process;
    std::function<void(std::uint32_t ms)> sleep_ms;
    // Starts a program detached; false when it could not be started.
    std::function<bool(const std::string& exe, const std::string& args)> start_detached;
    // Starts a temporary copy of this program that removes `files` and then `folder` once
    // this process has ended; 0 or the Windows code.
    std::function<std::uint32_t(const std::string& folder, const std::vector<std::string>& files)>
        start_later_removal;
    // The running executable's path, or the system's words for why it cannot be read.
    std::function<std::optional<std::string>(std::string& error)> exe_path;
    std::function<LocalDate()> today;
    std::function<std::string(std::uint32_t code)> error_text;
    std::function<std::string()> data_dir;
    // Message boxes: the question (true for Yes) and the notices.
    std::function<bool(const std::string& text)> ask_yes_no;
    std::function<void(const std::string& text)> show_info;
    std::function<void(const std::string& text)> show_error;
    bool offscreen = false;  // TESS_OFFSCREEN: no boxes in the update hand-over
    FileOps fs;              // the link-safe deletion
};

// ---- operations ------------------------------------------------------------------------
// Each returns nullopt on success or the short error text.
using SetupError = std::optional<std::string>;

SetupError copy_or_replace(const std::string& from, const std::string& to, const SetupSystem& sys);
// The bytes an install from `exe` writes: the program, the console companion beside it
// (when there is one) and the notices file; 0 when the program's size cannot be read.
std::uint64_t install_size(const std::string& exe, const SetupSystem& sys);
// Real install only: asks the main window and tray watch to close, waits up to 30 x 100 ms
// for the installed executable's processes to go, then ends those left.
void close_running_copies(const InstallPaths& paths, const SetupSystem& sys);
// With the console companion beside `exe`, when there is one.
SetupError install_from(const std::string& exe, const InstallPaths& paths, bool desktop, bool tray,
                        const SetupSystem& sys);
// With `companion` (nullopt: none) as the console companion.
SetupError install_files(const std::string& exe, const std::optional<std::string>& companion,
                         const InstallPaths& paths, bool desktop, bool tray,
                         const SetupSystem& sys);

// A file the update downloaded and verified, with the SHA-256 it matched.
struct VerifiedFile {
    std::string path;
    std::string sha256;
};

// 0 or 2. The hand-over runs from the temporary folder, so it installs no companion but
// `companion`, and that only when the file still has the checksum it was verified with.
int update_handover(const InstallPaths& paths, const std::optional<VerifiedFile>& companion,
                    const SetupSystem& sys);

// The removal steps of the uninstall, after the question.
SetupError remove_install(const InstallPaths& paths, const SetupSystem& sys);
// 0 removed, 1 cancelled by the user, 2 failed.
int uninstall(const InstallPaths& paths, bool quiet, const SetupSystem& sys);

// Deletes a folder and everything in it with the link-safe deletion: links inside are
// removed as links (or left, where the system hides them), never followed; a folder that
// is itself a link is left alone.
struct FolderRemoval {
    bool removed = false;                 // gone now, or never there
    std::vector<std::string> files_left;  // real files in place that could not be deleted
    std::uint32_t error = 0;              // why the folder stayed; 0 when it is a link
};
FolderRemoval remove_folder_tree(const std::string& folder, const FileOps& fs);

// What the uninstall's temporary copy removes once the process behind `handle` (inherited
// from the uninstall) has ended: `files`, each directly in `folder`, then the folder.
struct LaterRemoval {
    std::uint64_t handle = 0;
    std::string folder;
    std::vector<std::string> files;

    bool operator==(const LaterRemoval&) const = default;
};
// The arguments after the program: "--remove-after {handle} "{folder}" "{file}"…".
std::string later_removal_args(const LaterRemoval& removal);
// From argv[2..]; nothing unless the folder is an install folder (install_folder_is_safe)
// and every file lies directly in it, so the copy never deletes anything else.
std::optional<LaterRemoval> parse_later_removal(const std::vector<std::string>& args);
// The copy waits this long for the uninstall to end, then tries each deletion this many
// times this far apart (a scanner may hold a file for a moment); what still stays goes at
// the next restart.
inline constexpr std::uint32_t kLaterRemovalWaitMs = 60'000;
inline constexpr int kLaterRemovalTries = 40;
inline constexpr std::uint32_t kLaterRemovalRetryMs = 250;

// ---- texts ----------------------------------------------------------------------------------
inline constexpr std::string_view kUninstallQuestion =
    "Remove Tessavo from this PC?\n\nThis removes the app, its shortcuts, its tray icon and its "
    "history.\nChanges it made to your PC stay as they are (undo them first in History & undo if "
    "you want them back).";
inline constexpr std::string_view kUninstalled = "Tessavo was removed.";
std::string uninstall_failed_text(std::string_view error);
// `still_works`: the installed program is in its place, so the box may say it still works;
// otherwise it says where to get Tessavo again.
std::string update_failed_text(std::string_view error, bool still_works);
inline constexpr std::string_view kReleasesPage = "https://github.com/Corvath/tessavo/releases";
std::string updated_text();

#ifdef _WIN32
InstallPaths install_paths();
SetupSystem setup_system();
// "DisplayVersion" of the uninstall entry, when it is a REG_SZ.
std::optional<std::string> installed_version(const InstallPaths& paths);
bool is_installed_copy(const InstallPaths& paths);
std::optional<std::string> create_shortcut(const std::string& link, const std::string& target);
// install_from, taking turns with any other setup on the same install folder.
SetupError install_locked(const std::string& exe, const InstallPaths& paths, bool desktop,
                          bool tray, const SetupSystem& sys);
#endif

}  // namespace tess
