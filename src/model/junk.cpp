#include "model/junk.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "core/paths.hpp"
#include "core/text.hpp"
#include "core/timeutil.hpp"

namespace tess {

namespace {

constexpr std::uint64_t kSecondsPerDay = 86'400;

// Folder names (lower case, with their leading separator) a junk folder may end in.
constexpr std::string_view kJunkSuffixes[] = {
    "\\temp",
    "\\tmp",
    "\\crashdumps",
    "\\wer\\reportarchive",
    "\\wer\\reportqueue",
    "\\cache\\cache_data",
    "\\code cache",
    "\\gpucache",
    "\\npm-cache\\_cacache",
    "\\pip\\cache",
    "\\yarn\\cache",
    "\\softwaredistribution\\download",
};

std::optional<std::string> absolute_env(const EnvLookup& env, std::string_view name) {
    auto value = env(name);
    if (!value || !is_absolute_path(*value)) return std::nullopt;
    return value;
}

std::string folder(std::string_view base, std::string_view relative) {
    return normalize_folder_path(join_path(base, relative));
}

// The final location of a root that may be walked and cleaned, or nullopt. `error`
// gets the code of a failed open.
std::optional<std::string> safe_root_final(const std::string& path, const FileOps& fs,
                                           std::uint32_t* error = nullptr) {
    if (error) *error = 0;
    if (!is_safe_junk_path(path)) return std::nullopt;
    auto final_path = real_folder_final_path(fs, normalize_folder_path(path), error);
    // A root reached through a link must land in a junk folder as well.
    if (!final_path || !is_safe_junk_path(*final_path)) return std::nullopt;
    return final_path;
}

// Inside one of the folders a walk must leave alone; both sides are final paths.
bool is_kept(std::string_view final_path, const std::vector<std::string>& keep) {
    for (const auto& k : keep)
        if (path_within(final_path, k)) return true;
    return false;
}

}  // namespace

const std::array<JunkCategory, 7>& junk_categories() {
    static const std::array<JunkCategory, 7> table{{
        {"user_temp", "Temporary files",
         "Leftovers apps put in your temp folder and never cleaned up. Only files untouched for 7+ "
         "days are removed.",
         7, false, true, false},
        {"crash_dumps", "Crash dumps & error reports",
         "Copies of memory saved when apps crashed. Only useful to developers.", 1, false, true,
         false},
        {"windows_temp", "Windows temporary files",
         "Windows' own temp folder and system error reports. Files untouched for 7+ days are "
         "removed. Needs admin.",
         7, true, true, false},
        {"browser_cache", "Browser cache (Chrome, Edge, Brave)",
         "Saved copies of websites. You stay signed in; sites load a little slower the first time.",
         0, false, false, false},
        {"dev_cache", "Developer caches (npm, pip, Yarn)",
         "Downloaded packages kept for reuse. They download again when a project needs them.", 0,
         false, false, false},
        {"update_cache", "Windows Update downloads",
         "Installer files Windows already used. Only files older than 10 days are removed. Needs "
         "admin.",
         10, true, false, false},
        {"recycle_bin", "Recycle Bin", "Files you deleted. Emptying it removes them for good.", 0,
         false, false, true},
    }};
    return table;
}

std::optional<JunkCategory> junk_category(std::string_view id) {
    for (const auto& c : junk_categories())
        if (c.id == id) return c;
    return std::nullopt;
}

std::string unknown_junk_category_text(std::string_view id) {
    return "unknown junk category " + std::string(id);
}

bool is_safe_junk_path(std::string_view path) {
    if (!is_below_root(path)) return false;
    const std::string p = to_lower_ascii(normalize_folder_path(path));
    for (std::string_view suffix : kJunkSuffixes)
        if (ends_with(p, suffix)) return true;
    return false;
}

bool is_safe_junk_root(const std::string& path, const FileOps& fs) {
    return safe_root_final(path, fs).has_value();
}

std::vector<std::string> junk_roots(std::string_view id, const EnvLookup& env, const FileOps& fs) {
    std::vector<std::string> roots;
    const auto local = absolute_env(env, "LOCALAPPDATA");
    const std::string system_root = absolute_env(env, "SystemRoot").value_or("C:\\Windows");
    const std::string program_data = absolute_env(env, "ProgramData").value_or("C:\\ProgramData");
    if (id == "user_temp") {
        if (auto temp = absolute_env(env, "TEMP"))
            roots.push_back(normalize_folder_path(*temp));
        else if (local)
            roots.push_back(folder(*local, "Temp"));
    } else if (id == "crash_dumps") {
        if (local) {
            roots.push_back(folder(*local, "CrashDumps"));
            roots.push_back(folder(*local, "Microsoft\\Windows\\WER\\ReportArchive"));
            roots.push_back(folder(*local, "Microsoft\\Windows\\WER\\ReportQueue"));
        }
    } else if (id == "windows_temp") {
        roots.push_back(folder(system_root, "Temp"));
        roots.push_back(folder(program_data, "Microsoft\\Windows\\WER\\ReportArchive"));
        roots.push_back(folder(program_data, "Microsoft\\Windows\\WER\\ReportQueue"));
    } else if (id == "browser_cache") {
        if (local) {
            for (std::string_view browser :
                 {"Google\\Chrome", "Microsoft\\Edge", "BraveSoftware\\Brave-Browser"}) {
                const std::string user_data = folder(folder(*local, browser), "User Data");
                std::vector<DirEntry> entries;
                if (!list_folder(fs, user_data, {}, entries)) continue;
                std::sort(entries.begin(), entries.end(),
                          [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
                for (const auto& e : entries) {
                    if (!is_real_directory(e.attributes)) continue;
                    if (e.name != "Default" && !starts_with(e.name, "Profile ")) continue;
                    const std::string profile = join_path(user_data, e.name);
                    roots.push_back(folder(profile, "Cache\\Cache_Data"));
                    roots.push_back(folder(profile, "Code Cache"));
                    roots.push_back(folder(profile, "GPUCache"));
                }
            }
        }
    } else if (id == "dev_cache") {
        if (local) {
            roots.push_back(folder(*local, "npm-cache\\_cacache"));
            roots.push_back(folder(*local, "pip\\Cache"));
            roots.push_back(folder(*local, "Yarn\\Cache"));
        }
    } else if (id == "update_cache") {
        roots.push_back(folder(system_root, "SoftwareDistribution\\Download"));
    }
    return roots;
}

bool junk_age_qualifies(std::uint64_t write_time, std::uint64_t now, std::uint32_t min_age_days) {
    if (min_age_days == 0) return true;
    if (write_time > now) return false;
    return (now - write_time) / kTicksPerSecond >= std::uint64_t{min_age_days} * kSecondsPerDay;
}

JunkRow junk_row(const JunkCategory& c) {
    JunkRow row;
    row.id = std::string(c.id);
    row.title = std::string(c.title);
    row.description = std::string(c.description);
    row.needs_admin = c.needs_admin;
    row.ticked = c.ticked;
    return row;
}

JunkRow measure_junk_folders(const JunkCategory& category, const std::vector<std::string>& roots,
                             std::uint64_t now, const FileOps& fs,
                             const std::vector<std::string>& keep) {
    JunkRow row = junk_row(category);
    // Each folder with where it really is, to recognise the kept folders under any name.
    std::vector<std::pair<std::string, std::string>> stack;
    std::vector<DirEntry> entries;
    for (const auto& root : roots) {
        std::uint32_t error = 0;
        const auto root_final = safe_root_final(root, fs, &error);
        if (!root_final) {
            // A category folder that is there but cannot even be opened is not complete.
            if (error != 0 && !is_missing_error(error)) row.complete = false;
            continue;
        }
        if (is_kept(*root_final, keep)) continue;
        stack.assign(1, {normalize_folder_path(root), *root_final});
        bool at_root = true;
        while (!stack.empty()) {
            const auto [dir, real] = std::move(stack.back());
            stack.pop_back();
            entries.clear();
            if (!list_folder(fs, dir, {}, entries)) {
                // Only the category folder itself counts; a deeper unreadable folder is skipped.
                if (at_root) row.complete = false;
                at_root = false;
                continue;
            }
            at_root = false;
            for (auto& e : entries) {
                if (is_link(e.attributes)) continue;  // neither counted nor entered
                if (is_directory(e.attributes)) {
                    std::string real_sub = join_path(real, e.name);
                    if (!is_kept(real_sub, keep))
                        stack.emplace_back(join_path(dir, e.name), std::move(real_sub));
                } else if (junk_age_qualifies(e.write_time, now, category.min_age_days)) {
                    ++row.files;
                    row.bytes += e.size;
                }
            }
        }
    }
    return row;
}

JunkCleanResult clean_junk_folders(const JunkCategory& category,
                                   const std::vector<std::string>& roots, std::uint64_t now,
                                   const FileOps& fs, const std::vector<std::string>& keep) {
    JunkCleanResult result;
    // An empty sub-folder nobody touched lately goes too, but never one younger than a day.
    const std::uint32_t folder_age = std::max<std::uint32_t>(category.min_age_days, 1);

    // Depth-first with an explicit stack of open folders, so a hostile depth cannot
    // exhaust the thread's stack. Each folder reports to its parent whether everything
    // inside is gone and whether something was removed in this run.
    struct Frame {
        std::string path;
        std::string expect;  // where its final path must be
        std::uint64_t write_time = 0;
        std::vector<DirEntry> entries;
        std::size_t next = 0;
        bool all_gone = true;
        bool removed = false;
    };
    for (const auto& root : roots) {
        const auto root_final = safe_root_final(root, fs);
        if (!root_final || is_kept(*root_final, keep)) continue;
        std::vector<Frame> stack;
        auto open_frame = [&](std::string path, std::string expect, std::uint64_t write_time) {
            Frame f;
            f.path = std::move(path);
            f.expect = std::move(expect);
            f.write_time = write_time;
            if (!list_folder(fs, f.path, f.expect, f.entries)) f.all_gone = false;
            stack.push_back(std::move(f));
        };
        open_frame(normalize_folder_path(root), *root_final, 0);
        while (!stack.empty()) {
            Frame& top = stack.back();
            if (top.next < top.entries.size()) {
                const DirEntry& e = top.entries[top.next++];
                const std::string path = join_path(top.path, e.name);
                const std::string expect = join_path(top.expect, e.name);
                if (is_link(e.attributes) ||
                    (is_directory(e.attributes) && is_kept(expect, keep))) {
                    top.all_gone = false;  // left untouched, not entered
                } else if (is_directory(e.attributes)) {
                    open_frame(path, expect, e.write_time);  // invalidates `top`
                } else if (!junk_age_qualifies(e.write_time, now, category.min_age_days)) {
                    top.all_gone = false;
                } else {
                    switch (delete_file_at(fs, path, expect, false)) {
                        case FsOutcome::Done:
                            ++result.files_removed;
                            result.bytes_freed += e.size;
                            top.removed = true;
                            break;
                        case FsOutcome::Missing:
                            break;  // gone meanwhile
                        case FsOutcome::Refused:
                        case FsOutcome::Failed:
                            ++result.in_use;
                            top.all_gone = false;
                            break;
                    }
                }
                continue;
            }
            Frame done = std::move(stack.back());
            stack.pop_back();
            if (stack.empty()) break;  // the category folder itself stays
            Frame& parent = stack.back();
            parent.removed = parent.removed || done.removed;
            const bool remove =
                done.all_gone &&
                (done.removed || junk_age_qualifies(done.write_time, now, folder_age));
            if (!remove) {
                parent.all_gone = false;
                continue;
            }
            switch (remove_folder_at(fs, done.path, done.expect)) {
                case FsOutcome::Done:
                    parent.removed = true;
                    break;
                case FsOutcome::Missing:
                    break;
                case FsOutcome::Refused:
                case FsOutcome::Failed:
                    parent.all_gone = false;
                    break;
            }
        }
    }
    return result;
}

std::string junk_trace_line(std::string_view id, std::uint64_t elapsed_ms, std::uint64_t files,
                            std::uint64_t bytes) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "junk %-14.*s %6llu ms  %llu files  %llu bytes",
                  static_cast<int>(id.size()), id.data(),
                  static_cast<unsigned long long>(elapsed_ms),
                  static_cast<unsigned long long>(files), static_cast<unsigned long long>(bytes));
    return buf;
}

Result<JunkCleanResult> recycle_bin_outcome(bool query_ok, std::int64_t items, std::int64_t bytes,
                                            std::int32_t empty_hresult) {
    JunkCleanResult r;
    if (query_ok) {
        r.files_removed = items < 0 ? 0 : static_cast<std::uint64_t>(items);
        r.bytes_freed = bytes < 0 ? 0 : static_cast<std::uint64_t>(bytes);
    }
    if (empty_hresult < 0 && r.files_removed > 0) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "Recycle Bin could not be emptied (0x%08X)",
                      static_cast<unsigned>(empty_hresult));
        return Error{buf};
    }
    return r;
}

}  // namespace tess
