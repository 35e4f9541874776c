#include "changes/apply.hpp"

#include <algorithm>
#include <utility>

#include "core/text.hpp"

namespace tess {

namespace {

constexpr std::string_view kCheck = "\xE2\x9C\x94";     // "✔"
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // "…"

std::vector<Op> apply_ops_of(const std::vector<Action>& actions) {
    std::vector<Op> ops;
    ops.reserve(actions.size());
    for (const auto& a : actions)
        ops.push_back(ApplyOp{a});
    return ops;
}

bool is_startup_off(const Action& action) {
    const auto* s = std::get_if<SetStartupEnabled>(&action);
    return s && !s->enabled;
}

// The admin helper's tag: apart from the executor's here, so an entry this process
// could not save is never taken for one of the helper's.
std::string helper_run(const RunSystem& sys) {
    return sys.run.empty() ? std::string() : sys.run + "-admin";
}

// The admin helper's entries: those of the journal stamped with its tag.
void add_helper_entries(std::vector<JournalEntry>& entries, const RunSystem& sys) {
    const std::string tag = helper_run(sys);
    if (tag.empty()) return;
    for (const auto& e : sys.load_journal(sys.journal_path).entries)
        if (e.run == tag) entries.push_back(e);
}

bool helper_unsaved(const ElevationResult& elevation) {
    return elevation.kind == ElevationKind::Finished && elevation.exit_code == kHelperUnsaved;
}

}  // namespace

std::vector<std::string> result_lines(const OptimiseResult& r) {
    std::vector<std::string> lines;
    if (r.skipped > 0)
        lines.push_back(cat(num(r.skipped), " change(s) skipped: admin approval was cancelled"));
    for (std::size_t i = 0; i < r.failures.size(); ++i)
        lines.push_back(
            i == 0 ? cat(num(r.failures.size()), " change(s) didn't work: ", r.failures.front())
                   : cat("Also didn't work: ", r.failures[i]));
    const auto count = [](std::uint64_t n, std::string_view one, std::string_view many) {
        return cat(num(n), " ", n == 1 ? one : many);
    };
    if (r.test_run) {
        // Nothing was done: every line says what would have been.
        if (r.closed > 0)
            lines.push_back(cat("Would close ", count(r.closed, "idle program", "idle programs")));
        if (r.junk_bytes > 0)
            lines.push_back(cat("Would delete ", size_text(r.junk_bytes), " of junk files"));
        if (r.startup_off > 0)
            lines.push_back(
                cat("Would stop ", count(r.startup_off, "app", "apps"), " opening at sign-in"));
        if (r.services > 0)
            lines.push_back(cat("Would set ", count(r.services, "service", "services"),
                                " to start only when needed"));
        if (lines.empty()) lines.push_back("Nothing would need changing.");
        return lines;
    }
    // Committed memory moves by itself; only a run that closed programs freed any of it.
    if (r.closed > 0 && r.committed_after < r.committed_before)
        lines.push_back(
            cat("Freed ", size_text(r.committed_before - r.committed_after), " of memory"));
    if (r.closed > 0) lines.push_back(cat("Closed ", num(r.closed), " idle program group(s)"));
    if (r.junk_bytes > 0)
        lines.push_back(cat("Deleted ", size_text(r.junk_bytes), " of junk files"));
    if (r.startup_off > 0)
        lines.push_back(cat(num(r.startup_off), " app(s) no longer open at sign-in"));
    if (r.services > 0)
        lines.push_back(cat(num(r.services), " service(s) now start only when needed"));
    if (lines.empty()) lines.push_back("Nothing needed changing.");
    return lines;
}

bool has_problems(const OptimiseResult& r) {
    return r.skipped > 0 || !r.failures.empty();
}

bool nothing_worked(const OptimiseResult& r) {
    return has_problems(r) && r.applied == 0;
}

std::vector<std::string> fit_lines(std::vector<std::string> lines, std::size_t room) {
    if (lines.size() <= room) return lines;
    if (room == 0) return {};
    const std::size_t kept = room - 1;
    const std::size_t more = lines.size() - kept;
    lines.resize(kept);
    lines.push_back(cat(kEllipsis, "and ", num(more), " more"));
    return lines;
}

std::array<std::vector<Action>, 3> group_actions(const std::vector<Action>& actions) {
    std::array<std::vector<Action>, 3> groups;
    for (const auto& a : actions) {
        if (std::holds_alternative<KillProcesses>(a))
            groups[0].push_back(a);
        else if (std::holds_alternative<CleanJunk>(a))
            groups[1].push_back(a);
        else
            groups[2].push_back(a);
    }
    return groups;
}

void count_run_entries(OptimiseResult& r, std::span<const JournalEntry> entries) {
    for (const auto& e : entries) {
        if (!e.ok) {
            r.failures.push_back(e.message);
            continue;
        }
        ++r.applied;
        if (std::holds_alternative<KillProcesses>(e.action))
            ++r.closed;
        else if (std::holds_alternative<SetServiceStart>(e.action))
            ++r.services;
        else if (is_startup_off(e.action))
            ++r.startup_off;
        else if (std::holds_alternative<CleanJunk>(e.action) ||
                 std::holds_alternative<DeleteDevFolder>(e.action))
            r.junk_bytes += e.freed_bytes;
    }
}

void count_planned(OptimiseResult& r, const std::vector<Action>& actions,
                   std::uint64_t junk_estimate) {
    bool cleans_junk = false;
    r.applied = actions.size();
    for (const auto& a : actions) {
        if (std::holds_alternative<KillProcesses>(a)) ++r.closed;
        if (std::holds_alternative<SetServiceStart>(a)) ++r.services;
        if (is_startup_off(a)) ++r.startup_off;
        if (std::holds_alternative<CleanJunk>(a)) cleans_junk = true;
    }
    r.junk_bytes = cleans_junk ? junk_estimate : 0;
}

std::string handover_suffix(const ElevationResult& elevation, std::size_t count) {
    switch (elevation.kind) {
        case ElevationKind::Finished:
            // The words as a sentence: "Some changes ...".
            if (helper_unsaved(elevation)) return cat(" S", kHelperUnsavedText.substr(1), ".");
            return {};
        case ElevationKind::Cancelled:
            return cat(" ", num(count), " change(s) skipped because admin approval was cancelled.");
        case ElevationKind::Failed:
            break;
    }
    return cat(" ", num(count), " change(s) not applied: ", elevation.message, ".");
}

ChangesStatus changes_status(std::span<const JournalEntry> entries, const std::string& suffix) {
    std::uint64_t applied = 0, freed = 0;
    std::vector<const std::string*> failures;
    for (const auto& e : entries) {
        freed += e.freed_bytes;
        if (e.ok)
            ++applied;
        else
            failures.push_back(&e.message);
    }
    ChangesStatus status;
    if (!failures.empty())
        status.text = cat(num(applied), " change(s) applied, ", num(failures.size()),
                          " didn't work (", *failures.front(), ").");
    else if (freed > 0)
        status.text = cat(kCheck, " Done: ", num(applied), " change(s) applied, ", size_text(freed),
                          " deleted.");
    else
        status.text = cat(kCheck, " Done: ", num(applied), " change(s) applied.");
    status.text += suffix;
    status.success = failures.empty() && suffix.empty();
    return status;
}

OptimiseResult phased_run(const std::vector<Action>& actions, std::uint64_t junk_estimate,
                          const std::function<void(ApplyPhase)>& progress, const RunSystem& sys) {
    static constexpr ApplyPhase kGroupPhases[] = {ApplyPhase::EndPrograms, ApplyPhase::CleanJunk,
                                                  ApplyPhase::Other};
    OptimiseResult r;
    r.committed_before = sys.committed_memory();
    r.test_run = sys.dry_run;
    const auto groups = group_actions(actions);

    if (sys.dry_run) {
        for (ApplyPhase phase : kGroupPhases) {
            progress(phase);
            sys.sleep(500);
        }
        progress(ApplyPhase::Done);
        count_planned(r, actions, junk_estimate);
        r.committed_after = r.committed_before;
        return r;
    }

    std::vector<Op> for_helper;
    std::vector<JournalEntry> entries;
    std::optional<ElevationResult> elevation;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        progress(kGroupPhases[i]);
        ExecutorRun run = sys.apply(sys.journal_path, apply_ops_of(groups[i]));
        for (auto& op : run.deferred)
            for_helper.push_back(std::move(op));
        for (auto& e : run.entries)
            entries.push_back(std::move(e));
    }
    if (!for_helper.empty()) {
        const std::size_t count = for_helper.size();
        elevation = sys.elevate(Plan{sys.journal_path, std::move(for_helper), helper_run(sys)});
        if (elevation->kind == ElevationKind::Cancelled) r.skipped = count;
        if (elevation->kind == ElevationKind::Failed) r.failures.push_back(elevation->message);
        if (elevation->kind == ElevationKind::Finished) add_helper_entries(entries, sys);
    }
    progress(ApplyPhase::Done);
    count_run_entries(r, entries);
    if (elevation && helper_unsaved(*elevation))
        r.failures.push_back(std::string(kHelperUnsavedText));
    sys.sleep(1500);
    r.committed_after = sys.committed_memory();
    return r;
}

ChangesStatus test_run_status(const std::vector<Op>& ops, const Journal& journal) {
    constexpr std::size_t kListed = 3;
    std::vector<std::string> items;
    std::size_t applies = 0, undos = 0;
    for (const Op& op : ops) {
        if (const auto* apply = std::get_if<ApplyOp>(&op)) {
            ++applies;
            items.push_back(describe(apply->action));
            continue;
        }
        const std::uint64_t id = std::get<UndoOp>(op).id;
        const auto it = std::find_if(journal.entries.begin(), journal.entries.end(),
                                     [id](const JournalEntry& e) { return e.id == id; });
        if (it == journal.entries.end() || it->undone) continue;
        ++undos;
        items.push_back(cat("Undo: ", describe(it->action)));
    }
    ChangesStatus status;
    status.success = true;
    if (items.empty())
        status.text = "Nothing would be changed";
    else if (undos == 0)
        status.text = cat(num(applies), " change(s) would be applied: ");
    else if (applies == 0)
        status.text = cat(num(undos), " change(s) would be undone: ");
    else
        status.text =
            cat(num(applies), " change(s) would be applied and ", num(undos), " undone: ");
    for (std::size_t i = 0; i < items.size() && i < kListed; ++i) {
        if (i > 0) status.text += "; ";
        status.text += items[i];
    }
    if (items.size() > kListed) status.text += cat(" and ", num(items.size() - kListed), " more");
    status.text += " (test run: nothing was changed)";
    return status;
}

ChangesRun run_changes(const std::vector<Op>& ops, const RunSystem& sys) {
    ChangesRun run;
    if (sys.dry_run) {
        run.status = test_run_status(ops, sys.load_journal(sys.journal_path));
        return run;
    }
    ExecutorRun executed = sys.apply(sys.journal_path, ops);
    run.entries = std::move(executed.entries);
    run.skip_notes = std::move(executed.skip_notes);
    std::string suffix;
    if (!executed.deferred.empty()) {
        run.handed_over = executed.deferred.size();
        run.elevation =
            sys.elevate(Plan{sys.journal_path, std::move(executed.deferred), helper_run(sys)});
        if (run.elevation->kind == ElevationKind::Finished) add_helper_entries(run.entries, sys);
        suffix = handover_suffix(*run.elevation, run.handed_over);
    }
    if (!run.skip_notes.empty()) {
        std::string notes;
        for (const auto& note : run.skip_notes)
            notes += cat(notes.empty() ? "" : ", ", note);
        suffix += cat(" Skipped: ", notes, ".");
    }
    if (run.entries.empty() && !run.skip_notes.empty()) {
        // Nothing of its own was done: another process got there first.
        run.status = {cat("Nothing was changed.", suffix), false};
        return run;
    }
    run.status = changes_status(run.entries, suffix);
    return run;
}

ChangesStatus changes_run(const std::vector<Op>& ops, const RunSystem& sys) {
    return run_changes(ops, sys).status;
}

}  // namespace tess
