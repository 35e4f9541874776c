// Developer junk: folders that developer tools rebuild (installed packages, build
// outputs, virtual environments, framework caches) and the global package caches of
// build tools; finding and measuring them, and the safety rules for deleting one.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"
#include "model/junk.hpp"
#include "sys/fsops.hpp"

namespace tess {

enum class DevFolderKind : std::uint8_t {
    JsPackages = 0,
    RustBuild = 1,
    GradleBuild = 2,
    GradleCache = 3,
    PythonVenv = 4,
    DotnetBuild = 5,
    WebBuildCache = 6,
    PackageCache = 7,
};

// The Developer page's description of the kind.
std::string_view dev_folder_description(DevFolderKind kind);

struct DevFolder {
    std::string path;
    DevFolderKind kind = DevFolderKind::JsPackages;
    std::string name;          // the folder's own name; a package cache's label
    std::string project_name;  // the project folder's name; "" for package caches
    std::uint64_t bytes = 0;
    std::uint64_t files = 0;
    // Whole days since the project last changed, rebuildable folders not counting;
    // absent for package caches.
    std::optional<std::uint32_t> project_age_days;

    bool operator==(const DevFolder&) const = default;
};

// Ticked by default: not a package cache, project untouched for 30 days or more, not empty.
bool dev_folder_default_tick(const DevFolder& folder);

// Which rebuildable folder `name` is, given the names of the non-folder entries
// beside it (files and folder links); kinds 0..6 only. Names compare ASCII
// case-insensitively. A virtual environment is recognized by the pyvenv.cfg inside it.
std::optional<DevFolderKind> dev_folder_kind(std::string_view name,
                                             const std::vector<std::string>& names_beside,
                                             const std::string& path, const FileOps& fs);

struct PackageCache {
    std::string path;
    std::string label;

    bool operator==(const PackageCache&) const = default;
};
// The build tools' global caches that exist as real folders, in fixed order.
std::vector<PackageCache> package_caches(const EnvLookup& env, const FileOps& fs);

// The folders is_system_path compares against, lower-cased, without trailing separators.
struct SystemPaths {
    std::string system_root = "c:\\windows";
    std::string system_drive = "c:";
    std::string user_profile;  // "" when USERPROFILE is not absolute
};
SystemPaths system_paths(const EnvLookup& env);

// Windows' folders, program folders, application data and other users' profiles.
bool is_system_path(std::string_view path, const SystemPaths& system);
// Folder names never walked into: dot-folders, Windows' own, node_modules...
bool skip_while_walking(std::string_view name);

// TESS_DEV_ROOTS split at ";" when set; otherwise the user's profile (when absolute)
// and the root of every fixed drive.
std::vector<std::string> dev_scan_roots(const EnvLookup& env,
                                        const std::vector<char>& fixed_drives);
// Processor count clamped to 2..8 (4 when unknown), no more than the items, at least 1.
unsigned dev_worker_count(unsigned processors, std::size_t items);

struct DevScanSetup {
    std::vector<std::string> roots;
    std::vector<PackageCache> caches;
    SystemPaths system;
    std::uint64_t now = 0;  // FILETIME
    std::chrono::steady_clock::time_point deadline;
    unsigned processors = 0;
};
// Walks the roots (depth-limited, excluded folders skipped, until the deadline),
// measures what it found and the caches, drops empty ones; largest first.
std::vector<DevFolder> scan_dev_folders(const DevScanSetup& setup, const FileOps& fs);

inline constexpr std::string_view kDevFolderGone = "the folder is already gone";
inline constexpr std::string_view kNotDevFolder = "not a developer folder";
inline constexpr std::string_view kDevFolderSystem =
    "that folder belongs to Windows or another user";
inline constexpr std::string_view kDevProjectFileMissing =
    "its project file is missing, so it was left alone";

// Fails with why the folder must not be deleted.
Status check_dev_folder(const std::string& path, const EnvLookup& env, const FileOps& fs);

struct TreeDeleteResult {
    std::uint64_t files_deleted = 0;
    std::uint64_t bytes_freed = 0;
    std::uint64_t files_failed = 0;  // files (and links) that could not be deleted

    bool operator==(const TreeDeleteResult&) const = default;
};
// Deletes everything inside a real folder and then the folder; links inside are
// removed as links, never followed. A folder that is a link is left alone.
TreeDeleteResult delete_folder_tree(const std::string& path, const FileOps& fs);

#ifdef _WIN32
std::vector<DevFolder> scan_dev_junk();
// With `roots` (when not empty) instead of the drives and without the package caches.
std::vector<DevFolder> scan_dev_junk(const std::vector<std::string>& roots);
std::optional<DevFolderKind> dev_folder_kind(std::string_view name,
                                             const std::vector<std::string>& names_beside,
                                             const std::string& path);
std::vector<PackageCache> package_caches();
bool is_system_path(std::string_view path);
Status check_dev_folder(const std::string& path);
TreeDeleteResult delete_folder_tree(const std::string& path);
#endif

}  // namespace tess
