#include "model/devclean.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "core/paths.hpp"
#include "core/text.hpp"
#include "core/timeutil.hpp"
#include "core/worker.hpp"

namespace tess {

namespace {

constexpr unsigned kFirstWorkDepth = 2;
constexpr unsigned kMaxWalkDepth = 7;
constexpr std::uint64_t kSecondsPerDay = 86'400;
constexpr std::uint32_t kTickAfterDays = 30;

// Entries that rebuilding rewrites, so they do not count as a change to the project.
constexpr std::string_view kRebuiltNames[] = {
    "bin",    "obj",    "venv",    "build",    ".next",       ".nuxt",        ".venv",
    "target", ".turbo", ".gradle", ".angular", ".svelte-kit", "node_modules", ".parcel-cache",
};

constexpr std::string_view kSkippedNames[] = {
    "windows",
    "appdata",
    "recovery",
    "perflogs",
    "msocache",
    "programdata",
    "$winreagent",
    "$recycle.bin",
    "$windows.~bt",
    "$windows.~ws",
    "onedrivetemp",
    "node_modules",
    "program files",
    "program files (x86)",
    "system volume information",
};

constexpr std::uint32_t kNotEnteredAttributes =
    kAttrHidden | kAttrSystem | kAttrOffline | kAttrRecallOnDataAccess | kAttrReparsePoint;

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (to_lower_ascii(a[i]) != to_lower_ascii(b[i])) return false;
    return true;
}

bool iends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           iequals(text.substr(text.size() - suffix.size()), suffix);
}

bool any_named(const std::vector<std::string>& names,
               std::initializer_list<std::string_view> wanted) {
    for (const auto& n : names)
        for (std::string_view w : wanted)
            if (iequals(n, w)) return true;
    return false;
}

bool is_rebuilt_name(std::string_view name) {
    for (std::string_view n : kRebuiltNames)
        if (iequals(name, n)) return true;
    return false;
}

std::string lower_slashes(std::string_view path) {
    std::string p = to_lower_ascii(path);
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

std::string trim_trailing_separators(std::string s) {
    while (!s.empty() && is_path_separator(s.back()))
        s.pop_back();
    return s;
}

// "X:\users" itself: the profiles folder of a drive. The user's own profile is a root.
bool is_drive_users_folder(std::string_view path) {
    const std::string p = to_lower_ascii(normalize_folder_path(path));
    return p.size() == 8 && p[1] == ':' && p.substr(2) == "\\users";
}

// The non-folder entries (files and folder links) a marker file is looked for among.
std::vector<std::string> names_beside(const std::vector<DirEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries)
        if (!is_directory(e.attributes) || is_link(e.attributes)) names.push_back(e.name);
    return names;
}

// The newest last write among a project's entries that rebuilding does not touch.
std::optional<std::uint64_t> newest_project_change(const std::vector<DirEntry>& entries) {
    std::optional<std::uint64_t> newest;
    for (const auto& e : entries)
        if (!is_rebuilt_name(e.name)) newest = std::max(newest.value_or(0), e.write_time);
    return newest;
}

struct Found {
    std::string path;
    DevFolderKind kind;
    std::optional<std::uint64_t> project_changed;
};

// Looks at one listed folder: its developer folders go to `found`, the sub-folders
// to walk further to `walk` (only when `may_descend`).
void visit(const std::string& dir, const std::vector<DirEntry>& entries, bool may_descend,
           const SystemPaths& system, const FileOps& fs, std::vector<Found>& found,
           std::vector<std::string>& walk) {
    const std::vector<std::string> beside = names_beside(entries);
    std::optional<std::uint64_t> changed;
    bool changed_known = false;
    for (const auto& e : entries) {
        if (is_link(e.attributes) || !is_directory(e.attributes)) continue;
        std::string sub = join_path(dir, e.name);
        if (auto kind = dev_folder_kind(e.name, beside, sub, fs)) {
            if (!changed_known) {
                changed = newest_project_change(entries);
                changed_known = true;
            }
            found.push_back({std::move(sub), *kind, changed});
            continue;
        }
        if (!may_descend || (e.attributes & kNotEnteredAttributes) || skip_while_walking(e.name) ||
            is_system_path(sub, system) || is_drive_users_folder(sub))
            continue;
        walk.push_back(std::move(sub));
    }
}

// Lower-cased, with the separator sorting before every other character, so whatever
// lies inside a folder comes right after it ("a\\x" before "a b").
std::string sort_key(std::string_view path) {
    std::string key = to_lower_ascii(normalize_folder_path(path));
    std::replace(key.begin(), key.end(), '\\', '\x01');
    return key;
}

// Sorted by path; anything equal to or inside an earlier path dropped.
template <class T, class PathOf>
void sort_and_drop_nested(std::vector<T>& items, PathOf path_of) {
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        keys.emplace_back(sort_key(path_of(items[i])), i);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<T> kept;
    std::string prefix;  // the last kept key, ending in a separator
    for (const auto& [key, index] : keys) {
        if (!kept.empty() && (key + '\x01' == prefix || starts_with(key, prefix))) continue;
        kept.push_back(std::move(items[index]));
        prefix = key.ends_with('\x01') ? key : key + '\x01';
    }
    items = std::move(kept);
}

std::optional<std::uint32_t> days_since(std::optional<std::uint64_t> changed, std::uint64_t now) {
    if (!changed) return std::nullopt;
    if (*changed >= now) return 0;
    const std::uint64_t days = (now - *changed) / kTicksPerSecond / kSecondsPerDay;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(days, 0xFFFFFFFFu));
}

// Adds up the files inside every folder on `workers` threads sharing one stack of
// folders, so one huge node_modules keeps every thread busy.
void measure_all(std::vector<DevFolder>& folders, unsigned workers, const FileOps& fs) {
    struct Task {
        std::size_t folder;
        std::string path;
    };
    std::vector<std::atomic<std::uint64_t>> files(folders.size()), bytes(folders.size());
    std::vector<Task> tasks;
    for (std::size_t i = 0; i < folders.size(); ++i)
        tasks.push_back({i, folders[i].path});
    std::mutex mutex;
    std::condition_variable wake;
    unsigned busy = 0;

    auto work = [&] {
        std::vector<DirEntry> entries;
        std::vector<Task> found;
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return !tasks.empty() || busy == 0; });
            if (tasks.empty()) return;  // nothing queued and nobody who could add more
            Task task = std::move(tasks.back());
            tasks.pop_back();
            ++busy;
            lock.unlock();

            entries.clear();
            found.clear();
            std::uint64_t n = 0, size = 0;
            if (list_folder(fs, task.path, {}, entries)) {
                for (const auto& e : entries) {
                    if (is_link(e.attributes)) continue;  // never entered, never counted
                    if (is_directory(e.attributes)) {
                        found.push_back({task.folder, join_path(task.path, e.name)});
                    } else {
                        ++n;
                        size += e.size;
                    }
                }
            }
            files[task.folder].fetch_add(n, std::memory_order_relaxed);
            bytes[task.folder].fetch_add(size, std::memory_order_relaxed);

            lock.lock();
            for (auto& t : found)
                tasks.push_back(std::move(t));
            --busy;
            if (!found.empty() || busy == 0) wake.notify_all();
        }
    };
    {
        std::vector<std::jthread> threads;
        for (unsigned i = 1; i < workers; ++i)
            threads.push_back(start_thread(work));
        work();
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        folders[i].files = files[i].load();
        folders[i].bytes = bytes[i].load();
    }
}

}  // namespace

std::string_view dev_folder_description(DevFolderKind kind) {
    switch (kind) {
        case DevFolderKind::JsPackages:
            return "JavaScript packages. npm install (or yarn / pnpm) downloads them again.";
        case DevFolderKind::RustBuild:
            return "Rust build output. cargo build makes it again.";
        case DevFolderKind::GradleBuild:
            return "Gradle / Android build output. The next build makes it again.";
        case DevFolderKind::GradleCache:
            return "Gradle's per-project cache. The next build makes it again.";
        case DevFolderKind::PythonVenv:
            return "Python virtual environment. Re-create it and pip install the requirements "
                   "again.";
        case DevFolderKind::DotnetBuild:
            return ".NET build output. dotnet build makes it again.";
        case DevFolderKind::WebBuildCache:
            return "Web framework build cache (Next.js, Nuxt, Angular...). The next dev run makes "
                   "it again.";
        case DevFolderKind::PackageCache:
            return "Downloaded packages kept for every project. They download again when a build "
                   "needs them.";
    }
    return {};
}

bool dev_folder_default_tick(const DevFolder& folder) {
    return folder.kind != DevFolderKind::PackageCache && folder.project_age_days &&
           *folder.project_age_days >= kTickAfterDays && folder.bytes > 0;
}

std::optional<DevFolderKind> dev_folder_kind(std::string_view name,
                                             const std::vector<std::string>& beside,
                                             const std::string& path, const FileOps& fs) {
    const std::string n = to_lower_ascii(name);
    if (n == "node_modules")
        return any_named(beside, {"package.json"}) ? std::optional(DevFolderKind::JsPackages)
                                                   : std::nullopt;
    if (n == "target")
        return any_named(beside, {"cargo.toml"}) ? std::optional(DevFolderKind::RustBuild)
                                                 : std::nullopt;
    if (n == "build")
        return any_named(beside, {"build.gradle", "build.gradle.kts"})
                   ? std::optional(DevFolderKind::GradleBuild)
                   : std::nullopt;
    if (n == ".gradle")
        return any_named(beside, {"build.gradle", "build.gradle.kts", "settings.gradle",
                                  "settings.gradle.kts"})
                   ? std::optional(DevFolderKind::GradleCache)
                   : std::nullopt;
    if (n == "env" || n == "venv" || n == ".env" || n == ".venv") {
        const auto marker = item_attributes(fs, join_path(path, "pyvenv.cfg"));
        return marker && !is_directory(*marker) ? std::optional(DevFolderKind::PythonVenv)
                                                : std::nullopt;
    }
    if (n == "bin" || n == "obj") {
        for (const auto& b : beside)
            if (iends_with(b, ".csproj") || iends_with(b, ".fsproj") || iends_with(b, ".vbproj"))
                return DevFolderKind::DotnetBuild;
        return std::nullopt;
    }
    if (n == ".next" || n == ".nuxt" || n == ".svelte-kit" || n == ".turbo" ||
        n == ".parcel-cache" || n == ".angular")
        return any_named(beside, {"package.json"}) ? std::optional(DevFolderKind::WebBuildCache)
                                                   : std::nullopt;
    return std::nullopt;
}

std::vector<PackageCache> package_caches(const EnvLookup& env, const FileOps& fs) {
    std::vector<PackageCache> candidates;
    auto absolute = [&](std::string_view name) -> std::optional<std::string> {
        auto v = env(name);
        if (!v || !is_absolute_path(*v)) return std::nullopt;
        return v;
    };
    if (auto profile = absolute("USERPROFILE")) {
        candidates.push_back({join_path(*profile, ".gradle\\caches"), "Gradle download cache"});
        candidates.push_back({join_path(*profile, ".m2\\repository"), "Maven repository"});
        candidates.push_back({join_path(*profile, ".nuget\\packages"), "NuGet packages"});
        candidates.push_back(
            {join_path(*profile, ".cargo\\registry"), "Cargo crates (downloaded)"});
        candidates.push_back({join_path(*profile, ".bun\\install\\cache"), "Bun package cache"});
    }
    if (auto local = absolute("LOCALAPPDATA"))
        candidates.push_back({join_path(*local, "pnpm\\store"), "pnpm store"});
    std::vector<PackageCache> caches;
    for (auto& c : candidates) {
        c.path = normalize_folder_path(c.path);
        if (real_folder_final_path(fs, c.path)) caches.push_back(std::move(c));
    }
    return caches;
}

SystemPaths system_paths(const EnvLookup& env) {
    SystemPaths s;
    if (auto root = env("SystemRoot"); root && is_absolute_path(*root))
        s.system_root = trim_trailing_separators(lower_slashes(*root));
    if (auto drive = env("SystemDrive"); drive && !drive->empty())
        s.system_drive = trim_trailing_separators(lower_slashes(*drive));
    if (auto profile = env("USERPROFILE"); profile && is_absolute_path(*profile))
        s.user_profile = trim_trailing_separators(lower_slashes(*profile));
    return s;
}

bool is_system_path(std::string_view path, const SystemPaths& system) {
    const std::string p = lower_slashes(path);
    if (!system.system_root.empty() && contains(p, system.system_root)) return true;
    if (contains(p, ":\\program files") || contains(p, ":\\programdata") ||
        contains(p, "\\appdata\\"))
        return true;
    if (starts_with(p, system.system_drive + "\\users\\")) {
        // Another user's profile, or the profiles folder's own entries; never our own.
        if (system.user_profile.empty() || !starts_with(p, system.user_profile + "\\")) return true;
    }
    return false;
}

bool skip_while_walking(std::string_view name) {
    const std::string n = to_lower_ascii(name);
    if (starts_with(n, ".")) return true;
    for (std::string_view s : kSkippedNames)
        if (n == s) return true;
    return false;
}

std::vector<std::string> dev_scan_roots(const EnvLookup& env,
                                        const std::vector<char>& fixed_drives) {
    std::vector<std::string> roots;
    if (auto over = env("TESS_DEV_ROOTS")) {
        std::size_t start = 0;
        while (start <= over->size()) {
            auto end = over->find(';', start);
            if (end == std::string::npos) end = over->size();
            if (end > start)
                roots.push_back(normalize_folder_path(over->substr(start, end - start)));
            start = end + 1;
        }
        return roots;
    }
    if (auto profile = env("USERPROFILE"); profile && is_absolute_path(*profile))
        roots.push_back(normalize_folder_path(*profile));
    for (char d : fixed_drives)
        roots.push_back(std::string(1, d) + ":\\");
    return roots;
}

unsigned dev_worker_count(unsigned processors, std::size_t items) {
    unsigned n = processors == 0 ? 4 : std::clamp(processors, 2u, 8u);
    if (items < n) n = static_cast<unsigned>(items);
    return std::max(n, 1u);
}

std::vector<DevFolder> scan_dev_folders(const DevScanSetup& setup, const FileOps& fs) {
    std::vector<Found> found;
    std::vector<std::string> items;
    std::vector<DirEntry> entries;
    for (const auto& root : setup.roots) {
        entries.clear();
        if (!list_folder(fs, root, {}, entries)) continue;
        visit(root, entries, true, setup.system, fs, found, items);
    }
    sort_and_drop_nested(items, [](const std::string& p) -> const std::string& { return p; });

    // The walk: workers take whole work items off a shared index, each walking its
    // item depth-first until the deadline.
    const unsigned workers = dev_worker_count(setup.processors, items.size());
    std::atomic<std::size_t> next_item{0};
    std::vector<std::vector<Found>> per_worker(workers);
    auto walk = [&](unsigned w) {
        std::vector<Found>& mine = per_worker[w];
        std::vector<std::pair<std::string, unsigned>> stack;
        std::vector<std::string> subs;
        std::vector<DirEntry> listing;
        for (;;) {
            const std::size_t i = next_item.fetch_add(1);
            if (i >= items.size()) return;
            stack.assign(1, {items[i], kFirstWorkDepth});
            while (!stack.empty()) {
                if (std::chrono::steady_clock::now() >= setup.deadline) return;
                auto [dir, depth] = std::move(stack.back());
                stack.pop_back();
                listing.clear();
                if (!list_folder(fs, dir, {}, listing)) continue;
                subs.clear();
                visit(dir, listing, depth < kMaxWalkDepth, setup.system, fs, mine, subs);
                // Reverse, so the stack pops them in listing order.
                for (auto it = subs.rbegin(); it != subs.rend(); ++it)
                    stack.emplace_back(std::move(*it), depth + 1);
            }
        }
    };
    {
        std::vector<std::jthread> threads;
        for (unsigned w = 1; w < workers; ++w)
            threads.push_back(start_thread([&walk, w] { walk(w); }));
        walk(0);
    }
    for (auto& part : per_worker)
        for (auto& f : part)
            found.push_back(std::move(f));
    sort_and_drop_nested(found, [](const Found& f) -> const std::string& { return f.path; });

    std::vector<DevFolder> folders;
    for (auto& f : found) {
        DevFolder d;
        d.name = std::string(path_name(f.path));
        d.project_name = std::string(path_name(parent_path(f.path)));
        d.path = std::move(f.path);
        d.kind = f.kind;
        d.project_age_days = days_since(f.project_changed, setup.now);
        folders.push_back(std::move(d));
    }
    for (const auto& c : setup.caches) {
        DevFolder d;
        d.path = c.path;
        d.kind = DevFolderKind::PackageCache;
        d.name = c.label;
        folders.push_back(std::move(d));
    }

    measure_all(folders, dev_worker_count(setup.processors, folders.size()), fs);
    std::erase_if(folders, [](const DevFolder& d) { return d.bytes == 0; });
    std::stable_sort(folders.begin(), folders.end(),
                     [](const DevFolder& a, const DevFolder& b) { return a.bytes > b.bytes; });
    return folders;
}

Status check_dev_folder(const std::string& raw_path, const EnvLookup& env, const FileOps& fs) {
    // Never a drive root, a relative path or one that climbs with "..".
    if (!is_below_root(raw_path)) return Error{std::string(kNotDevFolder)};
    const std::string path = normalize_folder_path(raw_path);
    const auto attributes = item_attributes(fs, path);
    if (!attributes) return Error{std::string(kDevFolderGone)};
    if (!is_real_directory(*attributes)) return Error{std::string(kNotDevFolder)};
    // Where it really is: a link higher up (or one the system does not mark) could make
    // a harmless-looking path land in a program's folder.
    const auto final_path = real_folder_final_path(fs, path);
    if (!final_path) return Error{std::string(kNotDevFolder)};

    const SystemPaths system = system_paths(env);
    for (const auto& cache : package_caches(env, fs)) {
        if (!same_path(cache.path, path)) continue;
        if (same_path(*final_path, path) || !is_system_path(*final_path, system)) return {};
        return Error{std::string(kDevFolderSystem)};
    }
    if (is_system_path(path, system) || is_system_path(*final_path, system))
        return Error{std::string(kDevFolderSystem)};

    const std::string_view name = path_name(path);
    const std::string parent(parent_path(path));
    if (name.empty() || parent.empty()) return Error{std::string(kNotDevFolder)};
    std::vector<DirEntry> entries;
    std::uint32_t error = 0;
    if (!list_folder(fs, parent, std::string(parent_path(*final_path)), entries, &error))
        return Error{error ? fs.error_text(error) : std::string(kNotDevFolder)};
    if (!dev_folder_kind(name, names_beside(entries), path, fs))
        return Error{std::string(kDevProjectFileMissing)};
    return {};
}

TreeDeleteResult delete_folder_tree(const std::string& raw_path, const FileOps& fs) {
    TreeDeleteResult result;
    const std::string root = normalize_folder_path(raw_path);
    const auto root_final = real_folder_final_path(fs, root);
    if (!root_final) return result;

    // Depth-first with an explicit stack, emptying each folder before removing it.
    struct Frame {
        std::string path;
        std::string expect;
        std::vector<DirEntry> entries;
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    auto open_frame = [&](std::string path, std::string expect) {
        Frame f{std::move(path), std::move(expect), {}, 0};
        list_folder(fs, f.path, f.expect, f.entries);
        stack.push_back(std::move(f));
    };
    open_frame(root, *root_final);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.entries.size()) {
            // Emptied as far as possible; a folder that stays is not counted.
            remove_folder_at(fs, top.path, top.expect);
            stack.pop_back();
            continue;
        }
        const DirEntry e = top.entries[top.next++];
        std::string path = join_path(top.path, e.name);
        std::string expect = join_path(top.expect, e.name);
        if (is_link(e.attributes)) {
            const FsOutcome r = remove_link_at(fs, path, expect);
            if (r == FsOutcome::Refused || r == FsOutcome::Failed) ++result.files_failed;
        } else if (is_directory(e.attributes)) {
            open_frame(std::move(path), std::move(expect));  // invalidates `top`
        } else {
            switch (delete_file_at(fs, path, expect, true)) {
                case FsOutcome::Done:
                    ++result.files_deleted;
                    result.bytes_freed += e.size;
                    break;
                case FsOutcome::Missing:
                    break;
                case FsOutcome::Refused:
                case FsOutcome::Failed:
                    ++result.files_failed;
                    break;
            }
        }
    }
    return result;
}

}  // namespace tess
