// The apply runs: Optimise on the Home page, the list pages' and History's apply, and
// the quick panel's one click. Each applies what it can unelevated, hands the rest to
// the admin helper in one plan, and turns the run's own entries (the executor's, then
// the helper's, found in the journal by the run's tag) into counts and short texts for
// the window that started it. Other processes' entries never count.
//
// Every run blocks: call it on a worker thread. It never touches the window; it hands
// its result to the window's `store` function and posts a message (apply_win.hpp).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "changes/executor.hpp"
#include "changes/plan.hpp"
#include "model/actions.hpp"
#include "model/journal.hpp"

namespace tess {

// Phases of the Optimise run: ending programs, cleaning junk, the other changes, done.
enum class ApplyPhase : std::uint8_t { EndPrograms = 0, CleanJunk = 1, Other = 2, Done = 3 };

struct OptimiseResult {
    // A failed hand-over's message, then the message of every failed entry of the run
    // (one the journal could not take among them), then the helper's word that it could
    // not save a change.
    std::vector<std::string> failures;
    std::uint64_t applied = 0;  // entries that worked (test run: the number of actions)
    std::uint64_t closed = 0;   // ... of kind kill_processes
    std::uint64_t services = 0;
    std::uint64_t startup_off = 0;  // set_startup_enabled with enabled false
    std::uint64_t junk_bytes = 0;   // freed by clean_junk and delete_dev_folder
    std::uint64_t skipped = 0;      // not carried out: the user declined the approval
    std::uint64_t committed_before = 0;
    std::uint64_t committed_after = 0;
    bool test_run = false;  // TESS_DRY_RUN was set

    bool operator==(const OptimiseResult&) const = default;
};

// The lines Home, the quick panel and the console show: what went wrong first (changes
// skipped at the approval prompt, then one line per failure), then what worked;
// "Nothing needed changing." alone when no other line applies. "Freed ... of memory" only
// after a run that closed programs. A test run says what would have been done.
std::vector<std::string> result_lines(const OptimiseResult& result);
// Something failed or was skipped.
bool has_problems(const OptimiseResult& result);
// Problems, and not one change worked.
bool nothing_worked(const OptimiseResult& result);
// At most `room` lines: when more are given, the first `room` - 1 and "…and {} more".
// The failures come first, so they are the lines kept.
std::vector<std::string> fit_lines(std::vector<std::string> lines, std::size_t room);

// kill_processes; clean_junk; everything else. Order is kept within each group.
std::array<std::vector<Action>, 3> group_actions(const std::vector<Action>& actions);

// Adds the journal entries a run appended to its counts.
void count_run_entries(OptimiseResult& result, std::span<const JournalEntry> entries);
// A test run's counts: what the actions would do, the junk estimate when one of them
// cleans junk.
void count_planned(OptimiseResult& result, const std::vector<Action>& actions,
                   std::uint64_t junk_estimate);

struct ChangesStatus {
    std::string text;
    bool success = false;

    bool operator==(const ChangesStatus&) const = default;
};
// The list page's suffix for a hand-over of `count` operations: none when it finished,
// " {} change(s) skipped because admin approval was cancelled.",
// " {} change(s) not applied: {}." or, when the helper could not save a change, the
// unsaved sentence.
std::string handover_suffix(const ElevationResult& elevation, std::size_t count);
// "✔ Done: ..." or "{} change(s) applied, {} didn't work ({})." with the suffix; a
// success only with no failures and no suffix.
ChangesStatus changes_status(std::span<const JournalEntry> entries, const std::string& suffix);

// What the runs call, so that their order, counting and hand-over are tested without
// Windows; `run_system()` gives the real ones.
struct RunSystem {
    std::string journal_path;
    bool dry_run = false;
    // Stamped on the entries of this run, the admin helper's too.
    std::string run;
    // The executor, unelevated: its entries and the operations that need administrator
    // rights.
    std::function<ExecutorRun(const std::string&, const std::vector<Op>&)> apply;
    std::function<ElevationResult(const Plan&)> elevate;
    std::function<Journal(const std::string&)> load_journal;
    std::function<std::uint64_t()> committed_memory;
    std::function<void(std::uint32_t ms)> sleep;
};

// The phased Optimise run; `progress` receives 0, 1, 2 before each group and 3 when done.
OptimiseResult phased_run(const std::vector<Action>& actions, std::uint64_t junk_estimate,
                          const std::function<void(ApplyPhase)>& progress, const RunSystem& sys);
// A test run of a page apply: what the executor would do, ending with " (test run:
// nothing was changed)". Undos of entries the journal lacks or has undone already are
// left out, as the executor skips them.
ChangesStatus test_run_status(const std::vector<Op>& ops, const Journal& journal);

// What a list page's or History's run did.
struct ChangesRun {
    std::vector<JournalEntry> entries;         // appended by this run, in journal order
    std::size_t handed_over = 0;               // operations sent to the admin helper
    std::optional<ElevationResult> elevation;  // of that hand-over
    ChangesStatus status;
    // Undos the executor found gone or undone already: "#N (already undone)".
    std::vector<std::string> skip_notes;
};
// The admin helper's words when it could not save a change to the journal.
// Shown where a run shows its progress while the approval prompt is open.
inline constexpr std::string_view kWaitingForApproval = "Waiting for your approval\xE2\x80\xA6";
inline constexpr std::string_view kHelperUnsavedText =
    "some changes made with admin rights couldn't be saved to History, so they can't be undone";

// The list pages' and History's run: all operations in one executor call. A test run
// changes nothing and writes no entry.
ChangesRun run_changes(const std::vector<Op>& ops, const RunSystem& sys);
ChangesStatus changes_run(const std::vector<Op>& ops, const RunSystem& sys);

}  // namespace tess
