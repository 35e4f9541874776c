#include "changes/executor.hpp"

#include <utility>

#include "core/overloaded.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"
#include "model/kb.hpp"
#include "sys/fsops.hpp"

namespace tess {

namespace {

constexpr std::string_view kArrow = " \xE2\x86\x92 ";  // " → "

const JournalEntry* find_entry(std::span<const JournalEntry> journal, std::uint64_t id) {
    for (const auto& e : journal)
        if (e.id == id) return &e;
    return nullptr;
}

Outcome ok_outcome(std::string message) {
    Outcome o;
    o.ok = true;
    o.message = std::move(message);
    return o;
}

Outcome failed_outcome(std::string message) {
    Outcome o;
    o.message = std::move(message);
    return o;
}

Outcome kill(const KillProcesses& a, const ExecutorSystem& sys) {
    KillCounts c;
    for (const auto& t : a.targets) {
        // The name in the action is what the scan saw; the running image is checked too,
        // since a plan is only text and a pid can name another program by now.
        if (t.pid == sys.own_pid || is_protected_process(t.name) ||
            is_protected_process(sys.process_image_name(t.pid))) {
            ++c.protected_;
            continue;
        }
        const EndResult r = sys.end_process(t.pid, t.created);
        switch (r.outcome) {
            case EndOutcome::Ended:
                ++c.ended;
                break;
            case EndOutcome::Gone:
                ++c.gone;
                break;
            case EndOutcome::Failed:
                ++(r.code == 5 ? c.denied : c.failed);
                break;
        }
    }
    Outcome o;
    o.message = kill_message(c);
    o.ok = c.denied == 0 && c.failed == 0;
    o.access_denied = c.denied >= 1;
    return o;
}

Outcome change_service(const SetServiceStart& a, const ExecutorSystem& sys) {
    const ServiceConfig config = sys.query_service(a.name);
    if (config.code != 0) return step_failure(kStepReadingService, config.code);
    if (const std::uint32_t code = sys.set_service_start(a.name, a.start); code != 0)
        return step_failure(kStepChangingStartType, code);
    std::string message = std::string(start_type_word(config.start_type)) + std::string(kArrow) +
                          std::string(start_type_word(a.start));
    if (a.stop) {
        if (const std::uint32_t code = sys.stop_service(a.name); code == 0)
            message += ", stopped";
        else
            message += ", could not stop it now (" + service_error_words(code) +
                       "); it won't start at next boot";
    }
    Outcome o = ok_outcome(std::move(message));
    o.previous = ServiceStart{config.start_type};
    return o;
}

Outcome switch_startup(const SetStartupEnabled& a, const ExecutorSystem& sys) {
    const ApprovedValue current = sys.read_startup_approved(a.location, a.value_name);
    if (current.state == ApprovedState::Error)
        return step_failure(kStepReadingStartup, current.code);
    std::optional<std::vector<unsigned char>> before;
    if (current.state == ApprovedState::Present) before = current.bytes;
    const std::vector<unsigned char> value = build_startup_approved(before, a.enabled, sys.now());
    if (const std::uint32_t code = sys.write_startup_approved(a.location, a.value_name, value);
        code != 0)
        return step_failure(kStepChangingStartup, code);
    Outcome o = ok_outcome(a.enabled ? "enabled" : "disabled");
    o.previous = StartupApproved{std::move(before)};
    return o;
}

Outcome clean_junk(const CleanJunk& a, const std::string& journal_path, const ExecutorSystem& sys) {
    auto result = sys.clean_junk_category(a.id, std::string(parent_path(journal_path)));
    if (!result) return failed_outcome(result.error());
    Outcome o =
        ok_outcome(removed_message(result->files_removed, result->bytes_freed, result->in_use));
    o.freed_bytes = result->bytes_freed;
    return o;
}

Outcome delete_dev_folder(const DeleteDevFolder& a, const ExecutorSystem& sys) {
    if (!is_below_root(a.path)) return failed_outcome(std::string(kNotDevFolder));
    if (const Status s = sys.check_dev_folder(a.path); !s) return failed_outcome(s.error());
    const TreeDeleteResult r = sys.delete_folder_tree(a.path);
    Outcome o = ok_outcome(removed_message(r.files_deleted, r.bytes_freed, r.files_failed));
    o.freed_bytes = r.bytes_freed;
    return o;
}

}  // namespace

Outcome step_failure(std::string_view step, std::uint32_t code) {
    Outcome o;
    o.message = std::string(step) + " failed: " + service_error_words(code);
    o.access_denied = code == 5;
    return o;
}

std::string kill_message(const KillCounts& c) {
    std::string out = "ended " + std::to_string(c.ended);
    auto part = [&](std::uint64_t n, std::string_view words) {
        if (n >= 1) out += ", " + std::to_string(n) + std::string(words);
    };
    part(c.gone, " had already exited");
    part(c.protected_, " protected, skipped");
    part(c.denied, " access denied");
    part(c.failed, " failed");
    return out;
}

std::string removed_message(std::uint64_t files, std::uint64_t bytes, std::uint64_t left) {
    std::string out = "removed " + std::to_string(files) + " file(s), " + size_text(bytes);
    if (left > 0) out += "; " + std::to_string(left) + " in use were left alone";
    return out;
}

bool needs_admin(const Action& action) {
    return std::visit(
        overloaded{
            [](const SetServiceStart&) { return true; },
            [](const SetStartupEnabled& a) { return a.location != StartupLocation::HkcuRun; },
            [](const CleanJunk& a) {
                const auto category = junk_category(a.id);
                return category && category->needs_admin;
            },
            [](const KillProcesses&) { return false; },
            [](const DeleteDevFolder&) { return false; },
        },
        action);
}

bool needs_admin(const Op& op, std::span<const JournalEntry> journal) {
    if (const auto* apply = std::get_if<ApplyOp>(&op)) return needs_admin(apply->action);
    const JournalEntry* entry = find_entry(journal, std::get<UndoOp>(op).id);
    return entry && needs_admin(entry->action);
}

std::optional<std::string> own_profile_step(const Action& action) {
    return std::visit(overloaded{
                          [](const SetStartupEnabled& a) -> std::optional<std::string> {
                              if (a.location != StartupLocation::HkcuRun) return std::nullopt;
                              return "changing \"" + a.value_name + "\" at startup";
                          },
                          [](const CleanJunk& a) -> std::optional<std::string> {
                              const auto category = junk_category(a.id);
                              if (!category || category->needs_admin) return std::nullopt;
                              return "cleaning " + a.label;
                          },
                          [](const auto&) -> std::optional<std::string> { return std::nullopt; },
                      },
                      action);
}

namespace {

// Refused before anything is read or changed, for an admin helper running as another
// account: the step would land in that account's profile and be journalled as the user's.
std::optional<Outcome> refused_for_other_account(const Action& action, const ExecutorSystem& sys) {
    if (!sys.other_account) return std::nullopt;
    auto step = own_profile_step(action);
    if (!step) return std::nullopt;
    return failed_outcome(*step + std::string(kSignedInAsYou));
}

}  // namespace

Outcome apply_action(const Action& action, const std::string& journal_path,
                     const ExecutorSystem& sys) {
    if (auto refused = refused_for_other_account(action, sys)) return std::move(*refused);
    return std::visit(overloaded{
                          [&](const KillProcesses& a) { return kill(a, sys); },
                          [&](const SetServiceStart& a) { return change_service(a, sys); },
                          [&](const SetStartupEnabled& a) { return switch_startup(a, sys); },
                          [&](const CleanJunk& a) { return clean_junk(a, journal_path, sys); },
                          [&](const DeleteDevFolder& a) { return delete_dev_folder(a, sys); },
                      },
                      action);
}

Outcome undo_entry(const JournalEntry& entry, const ExecutorSystem& sys) {
    if (const auto* a = std::get_if<SetServiceStart>(&entry.action)) {
        if (const auto* p = std::get_if<ServiceStart>(&entry.previous)) {
            if (const std::uint32_t code = sys.set_service_start(a->name, p->start); code != 0)
                return step_failure(kStepRestoringService, code);
            return ok_outcome("restored to " + std::string(start_type_word(p->start)));
        }
    }
    if (const auto* a = std::get_if<SetStartupEnabled>(&entry.action)) {
        if (const auto* p = std::get_if<StartupApproved>(&entry.previous)) {
            if (auto refused = refused_for_other_account(entry.action, sys))
                return std::move(*refused);
            const std::uint32_t code =
                p->bytes ? sys.write_startup_approved(a->location, a->value_name, *p->bytes)
                         : sys.delete_startup_approved(a->location, a->value_name);
            if (code != 0) return step_failure(kStepRestoringStartup, code);
            return ok_outcome("startup setting restored");
        }
    }
    return failed_outcome(std::string(kCannotUndo));
}

namespace {

JournalEntry* find_entry(Journal& journal, std::uint64_t id) {
    for (auto& e : journal.entries)
        if (e.id == id) return &e;
    return nullptr;
}

// The same entry as this run saved it; `undone` may have changed since.
bool holds(const Journal& journal, const JournalEntry& saved) {
    for (const auto& e : journal.entries)
        if (e.id == saved.id && e.time == saved.time && e.run == saved.run) return true;
    return false;
}

class Recorder {
public:
    Recorder(const std::string& journal_path, const ExecutorSystem& sys)
        : sys_(sys), journal_(sys.load_journal(journal_path)) {}

    const Journal& journal() const { return journal_; }
    ExecutorRun& run() { return run_; }

    // Saves the journal as it stands, so a journal that cannot be written stops the
    // change before it is made.
    bool writable() {
        return sys_.update_journal(journal_, [&](Journal& fresh) {
            note_lost(fresh);
            return true;
        });
    }

    // Under the lock: `act` decides from the file as it is now, fills `entry` and
    // returns true to have it appended.
    void record(const std::function<bool(Journal&, JournalEntry&)>& act) {
        JournalEntry entry;
        bool acted = false;
        const bool saved = sys_.update_journal(journal_, [&](Journal& fresh) {
            note_lost(fresh);
            acted = act(fresh, entry);
            if (!acted) return false;
            entry.run = sys_.run;
            entry = push_entry(fresh, std::move(entry), sys_.now());
            return true;
        });
        if (!acted) return;
        if (!saved) mark_unsaved(entry);
        run_.entries.push_back(std::move(entry));
    }

    void not_changed(const Action& action, std::string_view prefix,
                     std::optional<std::uint64_t> undo_of) {
        JournalEntry entry;
        entry.action = action;
        entry.message = std::string(prefix) + std::string(kNotChangedUnsaved);
        entry.undo_of = undo_of;
        log(entry);
        run_.entries.push_back(std::move(entry));
    }

private:
    // Entries this run saved that another process's copy of the file no longer has.
    void note_lost(const Journal& fresh) {
        for (auto& e : run_.entries)
            if (entry_saved(e) && !holds(fresh, e)) mark_unsaved(e);
    }

    void mark_unsaved(JournalEntry& e) {
        e.message += e.ok ? kUnsavedSuffix : kFailedUnsavedSuffix;
        e.id = 0;
        e.ok = false;
        log(e);
    }

    void log(const JournalEntry& e) const {
        if (sys_.log) sys_.log(describe(e.action) + ": " + e.message);
    }

    const ExecutorSystem& sys_;
    Journal journal_;
    ExecutorRun run_;
};

}  // namespace

ExecutorRun run_ops(const std::string& journal_path, const std::vector<Op>& ops, bool elevated,
                    const ExecutorSystem& sys) {
    Recorder rec(journal_path, sys);
    ExecutorRun& run = rec.run();
    for (const Op& op : ops) {
        if (!elevated && needs_admin(op, rec.journal().entries)) {
            run.deferred.push_back(op);
            continue;
        }
        if (const auto* apply = std::get_if<ApplyOp>(&op)) {
            if (!rec.writable()) {
                rec.not_changed(apply->action, {}, std::nullopt);
                continue;
            }
            Outcome outcome = apply_action(apply->action, journal_path, sys);
            // Unelevated, a refusal is retried by the admin helper, whose attempt is then
            // the only entry.
            if (outcome.access_denied && !elevated) {
                run.deferred.push_back(op);
                continue;
            }
            rec.record([&](Journal&, JournalEntry& entry) {
                entry.action = apply->action;
                entry.message = std::move(outcome.message);
                entry.previous = std::move(outcome.previous);
                entry.ok = outcome.ok;
                entry.freed_bytes = outcome.freed_bytes;
                return true;
            });
            continue;
        }
        const std::uint64_t id = std::get<UndoOp>(op).id;
        const std::string tag = cat("#", std::to_string(id));
        if (!rec.writable()) {
            if (const JournalEntry* known = find_entry(rec.journal().entries, id))
                rec.not_changed(known->action, kUndoPrefix, id);
            else
                run.skip_notes.push_back(tag + " (not in the history)");
            continue;
        }
        // Decided from the file under its lock, so of two processes undoing the same
        // entry only the first does it.
        bool deferred = false;
        rec.record([&](Journal& fresh, JournalEntry& entry) {
            JournalEntry* target = find_entry(fresh, id);
            if (!target || target->undone) {
                run.skip_notes.push_back(tag +
                                         (target ? " (already undone)" : " (not in the history)"));
                return false;
            }
            const Outcome outcome = undo_entry(*target, sys);
            if (outcome.access_denied && !elevated) {
                deferred = true;
                return false;
            }
            if (outcome.ok) target->undone = true;
            entry.action = target->action;
            entry.ok = outcome.ok;
            entry.message = std::string(kUndoPrefix) + outcome.message;
            entry.undo_of = id;
            return true;
        });
        if (deferred) run.deferred.push_back(op);
    }
    return std::move(run);
}

}  // namespace tess
