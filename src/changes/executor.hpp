// The executor: the only code that changes the computer. It carries out apply and undo
// operations in order, captures what was there before, words every outcome and appends
// one journal entry per operation it handles. Unelevated, it hands back the operations
// that need administrator rights instead of attempting or failing them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "changes/plan.hpp"
#include "core/result.hpp"
#include "model/actions.hpp"
#include "model/devclean.hpp"
#include "model/journal.hpp"
#include "model/junk.hpp"
#include "sys/procs.hpp"
#include "sys/services.hpp"
#include "sys/startup.hpp"

namespace tess {

// The result of one operation before it is journalled.
struct Outcome {
    bool ok = false;
    std::string message;
    Previous previous = Nothing{};
    std::uint64_t freed_bytes = 0;
    bool access_denied = false;  // the failure was Windows error 5

    bool operator==(const Outcome&) const = default;
};

// The end of the failure of a step on the user's own profile (their HKCU, their
// folders) in an admin helper approved as another account, whose profile is not theirs:
// "changing \"{value name}\" at startup needs to be done while signed in as you".
inline constexpr std::string_view kSignedInAsYou = " needs to be done while signed in as you";

// What an action does to the profile of the account that runs it, as the start of a
// refusal ("changing \"OneDrive\" at startup", "cleaning Temporary files"); nullopt
// for an action on the machine or on named processes and paths.
std::optional<std::string> own_profile_step(const Action& action);

// Step words of "{step} failed: {error words}".
inline constexpr std::string_view kStepReadingService = "Reading service";
inline constexpr std::string_view kStepChangingStartType = "Changing start type";
inline constexpr std::string_view kStepRestoringService = "Restoring service";
inline constexpr std::string_view kStepReadingStartup = "Reading startup state";
inline constexpr std::string_view kStepChangingStartup = "Changing startup state";
inline constexpr std::string_view kStepRestoringStartup = "Restoring startup setting";

inline constexpr std::string_view kCannotUndo =
    "this change cannot be undone (closed apps start again when you open them; deleted files "
    "are gone)";
inline constexpr std::string_view kUndoPrefix = "Undo: ";
// An operation the journal could not take: not carried out when the journal refused
// the write before it, or carried out and then not recorded.
inline constexpr std::string_view kNotChangedUnsaved =
    "History couldn't be saved, so nothing was changed";
inline constexpr std::string_view kUnsavedSuffix =
    ", but couldn't be saved to History, so it can't be undone";
inline constexpr std::string_view kFailedUnsavedSuffix = " (not saved to History)";

// Not ok, with "{step} failed: {service_error_words(code)}"; access_denied for code 5.
Outcome step_failure(std::string_view step, std::uint32_t code);

struct KillCounts {
    std::uint64_t ended = 0;
    std::uint64_t gone = 0;
    std::uint64_t protected_ = 0;
    std::uint64_t denied = 0;
    std::uint64_t failed = 0;
};
// "ended 3, 1 had already exited, ..." with the non-zero counts after "ended".
std::string kill_message(const KillCounts& counts);

// "removed {} file(s), {size}" and "; {} in use were left alone" when files were left.
std::string removed_message(std::uint64_t files, std::uint64_t bytes, std::uint64_t left);

// Services and machine-wide startup entries always, a junk category when it says so.
bool needs_admin(const Action& action);
// An undo by the action of the entry it undoes (an unknown id never).
bool needs_admin(const Op& op, std::span<const JournalEntry> journal);

// The calls the executor makes, so that its order of work, deferral, wording and
// journalling are decided and tested without Windows. `executor_system()` gives the
// real ones.
struct ExecutorSystem {
    std::uint32_t own_pid = 0;
    std::function<std::uint64_t()> now;  // FILETIME
    std::function<EndResult(std::uint32_t pid, std::uint64_t created)> end_process;
    // The image file name of the running process `pid`; empty when it cannot be read.
    std::function<std::string(std::uint32_t pid)> process_image_name;
    std::function<ApprovedValue(StartupLocation, std::string_view)> read_startup_approved;
    std::function<std::uint32_t(StartupLocation, std::string_view, std::span<const unsigned char>)>
        write_startup_approved;
    std::function<std::uint32_t(StartupLocation, std::string_view)> delete_startup_approved;
    // Opens the service manager and reads the configuration; code 0 or the Windows code.
    std::function<ServiceConfig(std::string_view)> query_service;
    std::function<std::uint32_t(std::string_view, std::uint32_t)> set_service_start;
    std::function<std::uint32_t(std::string_view)> stop_service;
    // Cleans a category, leaving `keep` (the journal's folder) and everything in it alone.
    std::function<Result<JunkCleanResult>(std::string_view id, const std::string& keep)>
        clean_junk_category;
    std::function<Status(const std::string&)> check_dev_folder;
    std::function<TreeDeleteResult(const std::string&)> delete_folder_tree;
    // The journal: a plain read, and the locked read-change-save of every write.
    std::function<Journal(const std::string&)> load_journal;
    std::function<bool(Journal&, const std::function<bool(Journal&)>&)> update_journal;
    // Stamped on every entry: the run the entries belong to.
    std::string run;
    // Where an operation that could not be journalled is noted; may be empty.
    std::function<void(std::string_view)> log;
    // This process runs as another account than the user it works for (an admin helper
    // approved with an administrator's credentials): its HKCU and profile folders are
    // not the user's, so every step on them is refused.
    bool other_account = false;
};

// What one call of the executor did.
struct ExecutorRun {
    std::vector<Op> deferred;  // for elevation, in the order given
    // One per operation handled, in order, as saved to the journal; an entry the journal
    // could not take (or lost to another process's copy) has id 0, is never ok and
    // says so in its message.
    std::vector<JournalEntry> entries;
    // Undos found, under the journal's lock, to be gone or undone already:
    // "#N (not in the history)", "#N (already undone)".
    std::vector<std::string> skip_notes;
};

// Whether `entry` stands in the journal: an entry of id 0 never reached it.
inline bool entry_saved(const JournalEntry& entry) {
    return entry.id != 0;
}
// A change that was made but is not in the journal.
inline bool made_unsaved(const JournalEntry& entry) {
    return !entry_saved(entry) && entry.message.ends_with(kUnsavedSuffix);
}

// `journal_path` is the journal the outcome goes to: a junk clean never touches its folder.
Outcome apply_action(const Action& action, const std::string& journal_path,
                     const ExecutorSystem& sys);
// The undo of `entry` (found and not undone), without the "Undo: " prefix.
Outcome undo_entry(const JournalEntry& entry, const ExecutorSystem& sys);

// The executor's loop with the elevation given. Before each operation the journal is
// saved as it stands, so one that cannot be written stops the change; an undo is
// decided, carried out and recorded under the journal's lock in one step.
ExecutorRun run_ops(const std::string& journal_path, const std::vector<Op>& ops, bool elevated,
                    const ExecutorSystem& sys);

#ifdef _WIN32
// The process token's TokenElevation; false on any failure.
bool process_elevated();
ExecutorSystem executor_system();

// A tag no other run shares: process id, time and a counter.
std::string new_run_id();

// `in_admin_helper` is true only in the admin helper, which runs everything; otherwise the
// process token says whether this process is elevated. `run` is stamped on the entries
// (a new one when empty).
ExecutorRun apply_ops(const std::string& journal_path, const std::vector<Op>& ops,
                      bool in_admin_helper, const std::string& run = {});
// apply_ops with the elevation stated instead of asked. Wine runs every process
// elevated, so tests show the unelevated behaviour through this.
ExecutorRun apply_ops_as(const std::string& journal_path, const std::vector<Op>& ops, bool elevated,
                         const std::string& run = {});
#endif

}  // namespace tess
