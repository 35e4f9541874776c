// Junk files: the seven categories, their folders on this PC, how much each would
// free, and the cleaning of their old files. Only files (and sub-folders emptied or
// found empty) are ever deleted, never a category folder, and only inside folders
// whose path ends in a known junk folder name.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"
#include "sys/fsops.hpp"

namespace tess {

struct JunkCategory {
    std::string_view id;
    std::string_view title;
    std::string_view description;
    std::uint32_t min_age_days = 0;
    bool needs_admin = false;
    bool ticked = false;  // the default tick
    bool recycle_bin = false;
};

// The seven categories, in the order of the scan results and of the Junk page.
const std::array<JunkCategory, 7>& junk_categories();
// Exact id match.
std::optional<JunkCategory> junk_category(std::string_view id);

struct JunkRow {
    std::string id;
    std::string title;
    std::string description;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    bool complete = true;  // every folder could be listed (and the Recycle Bin queried)
    bool needs_admin = false;
    bool ticked = false;

    bool operator==(const JunkRow&) const = default;
};

struct JunkCleanResult {
    std::uint64_t files_removed = 0;
    std::uint64_t bytes_freed = 0;
    std::uint64_t in_use = 0;  // files that could not be deleted

    bool operator==(const JunkCleanResult&) const = default;
};

// Looks up an environment variable; nullopt when it is not set.
using EnvLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The text rule of a junk folder: absolute, at least three components (C:\Temp yes,
// C:\ no), no "." or ".." component, and - lower-cased, "/" as "\", trailing
// separators dropped - ending in one of the known junk folder names.
bool is_safe_junk_path(std::string_view path);
// The text rule, and the folder exists as a real directory (not a link, junction or
// other reparse point) whose final location passes the text rule too.
bool is_safe_junk_root(const std::string& path, const FileOps& fs);

// The category's folders from the environment (used only when absolute) and, for
// browser caches, the profiles found under each browser's User Data folder.
std::vector<std::string> junk_roots(std::string_view id, const EnvLookup& env, const FileOps& fs);

// Now minus the last write, in whole seconds, is at least the minimum age; a last
// write in the future never qualifies, except that minimum age 0 takes every file.
bool junk_age_qualifies(std::uint64_t write_time, std::uint64_t now, std::uint32_t min_age_days);

// The category's texts and flags, nothing measured yet.
JunkRow junk_row(const JunkCategory& category);

// Files and bytes of the qualifying files under the safe, real folders among
// `roots`; `complete` false when one of them could not be listed. Folders whose final
// path is in or under one of `keep` (final paths) are neither counted nor entered.
JunkRow measure_junk_folders(const JunkCategory& category, const std::vector<std::string>& roots,
                             std::uint64_t now, const FileOps& fs,
                             const std::vector<std::string>& keep = {});
// Deletes the qualifying files under the safe, real folders among `roots`, and the
// sub-folders left empty, never a root itself nor anything in or under `keep`.
JunkCleanResult clean_junk_folders(const JunkCategory& category,
                                   const std::vector<std::string>& roots, std::uint64_t now,
                                   const FileOps& fs, const std::vector<std::string>& keep = {});

// "junk {:<14} {:>6} ms  {} files  {} bytes"
std::string junk_trace_line(std::string_view id, std::uint64_t elapsed_ms, std::uint64_t files,
                            std::uint64_t bytes);

// The Recycle Bin's clean from what its query and empty calls reported.
Result<JunkCleanResult> recycle_bin_outcome(bool query_ok, std::int64_t items, std::int64_t bytes,
                                            std::int32_t empty_hresult);

// "unknown junk category {}"
std::string unknown_junk_category_text(std::string_view id);

#ifdef _WIN32
std::vector<std::string> junk_roots(std::string_view id);
bool is_safe_junk_root(const std::string& path);
JunkRow measure_junk_category(const JunkCategory& category, bool trace);
// Seven measurements on seven threads, in table order.
std::vector<JunkRow> scan_junk();
// Never touches the folders in `keep` nor anything in them: the data folder of the user
// the clean is for, and the journal's. The caller names them, since an admin helper
// approved as another account must not take its own data directory for the user's.
Result<JunkCleanResult> clean_junk_category(std::string_view id,
                                            const std::vector<std::string>& keep);
#endif

}  // namespace tess
