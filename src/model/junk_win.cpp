#include "core/win.hpp"

#include <shellapi.h>

#include <chrono>
#include <cstdio>

#include "core/paths.hpp"
#include "core/settings.hpp"
#include "core/worker.hpp"
#include "model/junk.hpp"

namespace tess {

namespace {

struct BinQuery {
    bool ok = false;
    std::int64_t items = 0;
    std::int64_t bytes = 0;
};

BinQuery query_recycle_bin() {
    SHQUERYRBINFO info{};
    info.cbSize = sizeof info;
#ifdef _WIN64
    static_assert(sizeof(SHQUERYRBINFO) == 24);
#endif
    BinQuery q;
    // No root path: every drive's Recycle Bin.
    if (SUCCEEDED(::SHQueryRecycleBinW(nullptr, &info))) {
        q.ok = true;
        q.items = info.i64NumItems;
        q.bytes = info.i64Size;
    }
    return q;
}

EnvLookup process_env() {
    return [](std::string_view name) { return win::get_env(name); };
}

// The program's data folders, each as given and where it really is: without
// LOCALAPPDATA the data lives in the temp folder, and a link or another spelling must
// not make the settings or the journal look like junk.
std::vector<std::string> kept_folders(const std::vector<std::string>& keep) {
    std::vector<std::string> out;
    auto add = [&](const std::string& folder) {
        if (!is_absolute_path(folder)) return;
        out.push_back(plain_final_path(folder));
        if (auto real = resolved_path(folder)) out.push_back(std::move(*real));
    };
    for (const auto& folder : keep)
        add(folder);
    return out;
}

}  // namespace

std::vector<std::string> junk_roots(std::string_view id) {
    return junk_roots(id, process_env(), system_file_ops());
}

bool is_safe_junk_root(const std::string& path) {
    return is_safe_junk_root(path, system_file_ops());
}

JunkRow measure_junk_category(const JunkCategory& category, bool trace) {
    const auto start = std::chrono::steady_clock::now();
    JunkRow row;
    if (category.recycle_bin) {
        row = junk_row(category);
        row.complete = false;
        const BinQuery q = query_recycle_bin();
        row.complete = q.ok;
        if (q.ok) {
            row.files = q.items < 0 ? 0 : static_cast<std::uint64_t>(q.items);
            row.bytes = q.bytes < 0 ? 0 : static_cast<std::uint64_t>(q.bytes);
        }
    } else {
        const std::uint64_t now = win::filetime_now();
        row = measure_junk_folders(category, junk_roots(category.id), now, system_file_ops(),
                                   kept_folders({data_dir()}));
    }
    if (trace) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        const std::string line =
            junk_trace_line(category.id, static_cast<std::uint64_t>(ms), row.files, row.bytes);
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    return row;
}

std::vector<JunkRow> scan_junk() {
    const bool trace = win::get_env("TESS_TRACE").has_value();
    const auto& categories = junk_categories();
    std::vector<JunkRow> rows;
    for (const auto& c : categories)
        rows.push_back(junk_row(c));
    rows.back().complete = false;
    {
        std::vector<std::jthread> threads;
        threads.reserve(categories.size());
        for (std::size_t i = 0; i < categories.size(); ++i) {
            threads.push_back(start_thread([&rows, &categories, i, trace] {
                try {
                    rows[i] = measure_junk_category(categories[i], trace);
                } catch (...) {
                    // Keeps the unmeasured row (id and title, nothing found).
                }
            }));
        }
    }
    return rows;
}

Result<JunkCleanResult> clean_junk_category(std::string_view id,
                                            const std::vector<std::string>& keep) {
    const auto category = junk_category(id);
    if (!category) return Error{unknown_junk_category_text(id)};
    if (category->recycle_bin) {
        const BinQuery q = query_recycle_bin();
        const HRESULT hr = ::SHEmptyRecycleBinW(
            nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
        return recycle_bin_outcome(q.ok, q.items, q.bytes, static_cast<std::int32_t>(hr));
    }
    const std::uint64_t now = win::filetime_now();
    return clean_junk_folders(*category, junk_roots(id), now, system_file_ops(),
                              kept_folders(keep));
}

}  // namespace tess
