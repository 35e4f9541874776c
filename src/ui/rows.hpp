// What the main window's list shows, and what its ticks become: one row model for the
// Home proposal, the five list pages and History, the action captions that follow the
// ticks, the conversion of ticked rows into executor operations, and the confirmation
// text. Pure functions of the scan's data, so every caption and note is tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "changes/plan.hpp"
#include "model/devclean.hpp"
#include "model/journal.hpp"
#include "model/junk.hpp"
#include "scan/analyze.hpp"
#include "scan/health.hpp"
#include "scan/scan.hpp"
#include "sys/services.hpp"
#include "sys/startup.hpp"

namespace tess::ui {

// The main window's pages, in sidebar order.
enum class Page : std::uint8_t {
    Home = 0,
    Junk = 1,
    DevJunk = 2,
    Apps = 3,
    Startup = 4,
    Services = 5,
    Autopilot = 6,
    History = 7,
};
inline constexpr int kPageCount = 8;

enum class RowKind : std::uint8_t {
    Proposal = 0,  // a suggestion of the Optimise proposal
    Junk = 1,
    Health = 2,
    App = 3,
    Startup = 4,
    Service = 5,
    Journal = 6,
    DevFolder = 7,
};

struct ListRow {
    RowKind kind = RowKind::Proposal;
    std::uint64_t index = 0;  // into its source list; the entry's id for journal rows
    std::vector<std::string> cells;
    std::string detail;                   // the status line's text when the row is selected
    std::optional<std::uint32_t> colour;  // 0xRRGGBB of column 0 (health findings)
    std::uint64_t bytes = 0;              // memory (proposal, app) or disk (junk, folder)
    bool default_tick = false;
    bool checkbox = false;  // without one the row can never be ticked

    bool operator==(const ListRow&) const = default;
};

struct Column {
    std::string_view title;
    int width = 0;  // at 96 DPI
};

struct PageColumns {
    std::span<const Column> columns;  // empty for the Autopilot & Focus page
    int emphasised = -1;              // drawn in the accent colour, semibold; -1: none
    int grey = -1;                    // drawn in the muted colour; -1: none
};
const PageColumns& page_columns(Page page);

inline constexpr std::uint32_t kTextColour = 0x0F172A;
inline constexpr std::uint32_t kEmphasisColour = 0x115E59;
inline constexpr std::uint32_t kMutedColour = 0x64748B;
inline constexpr std::uint32_t kAmberColour = 0xD97706;
inline constexpr std::uint32_t kRedColour = 0xDC2626;
inline constexpr std::uint32_t kGreenColour = 0x16A34A;

// ---- row builders --------------------------------------------------------------------
// "needs admin" (not measured completely), "empty" (0 bytes) or the size.
std::string junk_size_text(const JunkRow& row);
// "today", "yesterday", "{} days ago", "{} months ago", "{} years ago"; empty when unknown.
std::string project_changed_text(std::optional<std::uint32_t> days);
// "myapp — node_modules", or the folder's own name (or a cache's label) alone.
std::string dev_folder_title(const DevFolder& folder);
// The delete action's label: "node_modules in myapp", or the name alone.
std::string dev_folder_label(const DevFolder& folder);

std::vector<ListRow> junk_rows(const std::vector<JunkRow>& junk);
// Largest first; the index is the folder's position in `folders`.
std::vector<ListRow> dev_rows(const std::vector<DevFolder>& folders);
std::vector<ListRow> app_rows(const std::vector<AppGroup>& apps);
std::vector<ListRow> startup_rows(const std::vector<StartupEntry>& entries);
// One row per index of `shown` (into report.services); memory from report.processes.
std::vector<ListRow> service_rows(const ScanReport& report, const std::vector<std::size_t>& shown);
// Suggestions, then the junk worth cleaning, then the health findings.
std::vector<ListRow> proposal_rows(const ScanReport& report);
// Newest first, undo entries left out. `stamp` turns the entry's FILETIME into local text.
std::vector<ListRow> journal_rows(const std::vector<JournalEntry>& journal,
                                  const std::function<std::string(std::uint64_t)>& stamp);
// "Undone", "Can undo", "Done" or "Didn't work".
std::string_view journal_status(const JournalEntry& entry);

// What the page has to show from; absent parts mean "not scanned yet".
struct PageData {
    const ScanResult* scan = nullptr;
    const std::vector<DevFolder>* dev = nullptr;  // the developer-junk result
    bool proposal_phase = false;                  // Home builds rows only then
    bool scanning = false;                        // a full scan runs
};
std::vector<ListRow> page_rows(Page page, const PageData& data,
                               const std::function<std::string(std::uint64_t)>& stamp);
// The hint shown in the status line after the list is filled.
std::string_view hint_text(Page page, const PageData& data, bool has_rows);

// ---- captions ----------------------------------------------------------------------
struct Captions {
    std::string action;  // the page action button (204)
    bool action_enabled = false;
    std::string optimise_subtitle;  // under "Optimise now" (211)
    bool optimise_enabled = false;
    std::string select_all;  // "Select all" / "Clear all" (201)

    bool operator==(const Captions&) const = default;
};
// `ticked` runs parallel to `rows`; `has_data` says whether the page's data exists
// (page 2: a developer-junk result; the other pages: a full scan).
Captions compute_captions(Page page, std::span<const ListRow> rows, const std::vector<bool>& ticked,
                          bool has_data, bool busy);
// Every row that has a checkbox is ticked (and there is at least one).
bool all_ticked(std::span<const ListRow> rows, const std::vector<bool>& ticked);

// ---- from ticks to changes -------------------------------------------------------------
struct Changes {
    std::vector<Op> ops;
    std::vector<std::string> skip_notes;
};
// The data the rows were built from, to find each row's source item.
struct RowSources {
    const ScanResult* scan = nullptr;
    const std::vector<DevFolder>* dev = nullptr;
};
// The ticked rows in list order.
Changes rows_to_changes(std::span<const ListRow* const> ticked, const RowSources& sources);

// Optimise asks first only when a ticked row was not ticked by default.
bool ticks_beyond_defaults(std::span<const ListRow* const> ticked);
// What the ticked junk rows measured: the test run's estimate of what Optimise cleans.
std::uint64_t ticked_junk_estimate(std::span<const ListRow* const> ticked);

// The Yes/No question listing the changes under `heading` ("Optimise will:", "Tessavo will:").
std::string confirm_text(std::string_view heading, const Changes& changes,
                         const std::vector<JournalEntry>& journal);
// The page action's notice when nothing turned into a change.
std::string nothing_to_do_text(const std::vector<std::string>& skip_notes);

// The name shown for keeping a closed program running: "2 Gradle daemons" -> "Gradle daemon".
std::string keep_name(std::string_view label);

}  // namespace tess::ui
