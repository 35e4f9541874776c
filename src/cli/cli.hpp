// tessavo-cli, the console face of the modules the window uses: what a command line
// asks for, the operations it turns into, and every text and JSON document the console
// prints. The rows, conversions and runs are the window's own, so the two never
// disagree; cli_win.cpp only reads the machine and writes the streams.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "autopilot/autopilot.hpp"
#include "autopilot/focus.hpp"
#include "changes/apply.hpp"
#include "core/json.hpp"
#include "core/result.hpp"
#include "core/settings.hpp"
#include "model/devclean.hpp"
#include "model/journal.hpp"
#include "model/junk.hpp"
#include "scan/scan.hpp"
#include "ui/rows.hpp"

namespace tess::cli {

// Exit codes: done; some changes did not work; the command line was wrong; the run was
// cancelled or refused (a "no" to the question, no console to ask on, a declined
// administrator approval).
inline constexpr int kExitDone = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRefused = 3;

// Every --json document carries it as "schema_version". Within one version fields are
// only ever added; removing or retyping one raises it (docs/schema/ holds the schemas).
inline constexpr int kJsonSchemaVersion = 1;

enum class Command : std::uint8_t {
    Help = 0,
    Scan = 1,
    Junk = 2,
    Clean = 3,
    Dev = 4,
    DevClean = 5,
    Optimise = 6,
    Focus = 7,      // operand: on, off or status
    Autopilot = 8,  // operand: run or status
    History = 9,
    Undo = 10,  // operands: journal entry ids
};

struct Request {
    Command command = Command::Help;
    std::vector<std::string> operands;  // junk category ids, folders or roots
    bool json = false;
    bool dry_run = false;
    bool yes = false;
    bool bench = false;

    bool operator==(const Request&) const = default;
};

std::string_view usage_text();
// The words after the program name. Each command takes only its own options; an
// unknown command or option, a missing operand or one too many is an error (exit 2).
Result<Request> parse_request(const std::vector<std::string>& args);

// The full scan's report, as `scan --json` prints it.
json::Out scan_json(const ScanResult& result);

// ---- junk and clean --------------------------------------------------------------------
json::Out junk_json(const std::vector<JunkRow>& rows);
// "[x] user_temp: Temporary files, 12 MB in 340 files", one line per category.
std::string junk_text(const std::vector<JunkRow>& rows);
// One clean_junk per id, titled as the Junk page does; an unknown id is an error.
Result<std::vector<Op>> clean_ops(const std::vector<std::string>& ids);

// ---- developer folders -----------------------------------------------------------------
// "js_packages", "rust_build", ... "package_cache".
std::string_view dev_kind_text(DevFolderKind kind);
json::Out dev_json(const std::vector<DevFolder>& folders);
std::string dev_text(const std::vector<DevFolder>& folders);
// One delete_dev_folder per absolute path, labelled as the Developer page labels its
// rows: "node_modules in myapp", or a listed package cache's label.
std::vector<Op> dev_clean_ops(const std::vector<std::string>& paths,
                              const std::vector<PackageCache>& caches);

// ---- a page-style run (clean, dev-clean) ----------------------------------------------------
// One line per journal entry the run appended ("Clean Temporary files: removed 3
// file(s), 2 KB"), then the status the page would show.
std::string changes_text(const ChangesRun& run);
// 1 when an entry did not work or the hand-over failed, else 3 when the administrator
// approval was declined, else 0.
int changes_exit_code(const ChangesRun& run);

// ---- optimise ------------------------------------------------------------------------------
// The Home proposal with its default ticks, converted as the window converts it.
struct OptimisePlan {
    ui::Changes changes;
    std::vector<Action> actions;
    std::uint64_t junk_estimate = 0;  // the bytes of the ticked junk rows
};
OptimisePlan optimise_plan(const ScanResult& scan);
// The window's question, "Optimise will:" and the list, ending in "Continue?".
std::string optimise_question(const OptimisePlan& plan, const std::vector<JournalEntry>& journal);
// "Closing idle programs", "Cleaning junk files", "Startup apps and services",
// "Measuring the result".
std::string_view phase_label(ApplyPhase phase);
// The Done screen in words: its title, then the result lines.
std::string optimise_text(const OptimiseResult& result);
// `result` is null when nothing was run (nothing to do).
json::Out optimise_json(const OptimisePlan& plan, const OptimiseResult* result);
// 1 with failures, else 3 with changes skipped at the approval prompt, else 0.
int optimise_exit_code(const OptimiseResult& result);

// ---- history and undo -----------------------------------------------------------------------
// The journal as the History page lists it (newest first, undo entries left out), one
// line per change: "#3  12 Dec 14:05  Disable \"Steam\" at startup: disabled (Can undo)".
// `stamp` turns a FILETIME into local text.
std::string history_text(const std::vector<JournalEntry>& journal,
                         const std::function<std::string(std::uint64_t)>& stamp);
json::Out history_json(const std::vector<JournalEntry>& journal,
                       const std::function<std::string(std::uint64_t)>& stamp);
// Decimal ids, a leading "#" allowed; anything else is an error.
Result<std::vector<std::uint64_t>> parse_ids(const std::vector<std::string>& operands);
// The History page's conversion of the given ids, with its skip notes; an id History
// does not list gives "#{} (not in the history)".
ui::Changes undo_changes(const std::vector<std::uint64_t>& ids,
                         const std::vector<JournalEntry>& journal);

// ---- Focus mode and Autopilot --------------------------------------------------------------
// "Focus mode is on: ..." or "Focus mode is off". An existing focus.json means on, even
// one that does not parse (`state` absent): it then says so, and how to end it.
std::string focus_status_text(bool on, const std::optional<FocusState>& state);
// "Autopilot is on: every 7 days; last run {stamp}: {result}" or "Autopilot is off ...".
// `stamp` turns Unix seconds into local text.
std::string autopilot_status_text(const Schedule& schedule,
                                  const std::function<std::string(std::uint64_t)>& stamp);
// 1 when a change of the run did not work.
int autopilot_exit_code(const AutopilotRun& run);
// "Focus mode: Set by your organisation": a change a policy forbids (exit 3).
std::string set_by_organisation_text(std::string_view what);

// "y" or "yes" in any case, white space around allowed.
bool is_yes(std::string_view answer);

}  // namespace tess::cli
