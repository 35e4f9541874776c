#include "cli/cli.hpp"

#include <cstdint>
#include <utility>

#include "core/paths.hpp"
#include "core/policy.hpp"
#include "core/text.hpp"
#include "ui/home_text.hpp"

namespace tess::cli {

namespace {

struct CommandSpec {
    std::string_view word;
    Command command;
    bool json, dry_run, yes, bench;
    std::size_t min_operands, max_operands;
    std::string_view words = {};  // the operand must be one of these (space-separated)
};

constexpr std::size_t kAny = static_cast<std::size_t>(-1);

constexpr CommandSpec kCommands[] = {
    {"scan", Command::Scan, true, false, false, true, 0, 0},
    {"junk", Command::Junk, true, false, false, false, 0, 0},
    {"clean", Command::Clean, false, true, false, false, 1, kAny},
    {"dev", Command::Dev, true, false, false, false, 0, kAny},
    {"dev-clean", Command::DevClean, false, true, false, false, 1, kAny},
    {"optimise", Command::Optimise, true, true, true, false, 0, 0},
    {"focus", Command::Focus, false, false, false, false, 1, 1, "on off status"},
    {"autopilot", Command::Autopilot, false, true, false, false, 1, 1, "run status"},
    {"history", Command::History, true, false, false, false, 0, 0},
    {"undo", Command::Undo, false, true, false, false, 1, kAny},
};

bool one_of(std::string_view words, std::string_view word) {
    while (!words.empty()) {
        const auto space = words.find(' ');
        if (words.substr(0, space) == word) return true;
        if (space == std::string_view::npos) break;
        words.remove_prefix(space + 1);
    }
    return false;
}

// "12 MB in 340 files"; a total of nothing is "empty", as the Junk page says, or "size
// unknown" when not everything could be read.
std::string size_and_files(std::uint64_t bytes, std::uint64_t files, bool complete = true) {
    if (bytes == 0) return complete ? "empty" : "size unknown";
    return cat(size_text(bytes), " in ", num(files), files == 1 ? " file" : " files");
}

}  // namespace

std::string_view usage_text() {
    return "usage: tessavo-cli COMMAND [OPTIONS]\n"
           "  scan [--json | --bench]               the full scan and its Optimise proposal\n"
           "  junk [--json]                         the junk categories with their sizes\n"
           "  clean CATEGORY... [--dry-run]         clean junk categories by their age rules\n"
           "  dev [ROOT...] [--json]                developer folders that tools rebuild\n"
           "  dev-clean PATH... [--dry-run]         delete developer folders\n"
           "  optimise [--dry-run] [--yes] [--json] apply the Optimise proposal as ticked\n"
           "  focus on|off|status                   switch Focus mode or say whether it is on\n"
           "  autopilot run [--dry-run] | status    one Autopilot run now, or its schedule\n"
           "  history [--json]                      the changes made, as History lists them\n"
           "  undo ID... [--dry-run]                undo changes by their history ids\n"
           "exit codes: 0 done, 1 some changes did not work, 2 usage error, 3 cancelled or "
           "refused\n";
}

Result<Request> parse_request(const std::vector<std::string>& args) {
    Request r;
    if (args.empty()) return Error{"no command given"};
    if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        if (args.size() > 1) return Error{cat("unexpected ", args[1])};
        return r;
    }
    const CommandSpec* spec = nullptr;
    for (const auto& c : kCommands)
        if (c.word == args[0]) spec = &c;
    if (!spec) return Error{cat("unknown command ", args[0])};
    r.command = spec->command;
    bool options_ended = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        // "--" ends the options, so a folder may be named like one.
        if (!options_ended && a == "--") {
            options_ended = true;
        } else if (!options_ended && a.starts_with("-")) {
            if (a == "--json" && spec->json)
                r.json = true;
            else if (a == "--dry-run" && spec->dry_run)
                r.dry_run = true;
            else if (a == "--yes" && spec->yes)
                r.yes = true;
            else if (a == "--bench" && spec->bench)
                r.bench = true;
            else
                return Error{cat("unknown option ", a, " for ", spec->word)};
        } else {
            r.operands.push_back(a);
        }
    }
    if (r.json && r.bench) return Error{"--json and --bench cannot go together"};
    if (r.operands.size() < spec->min_operands) {
        if (!spec->words.empty()) return Error{cat(spec->word, " takes one of: ", spec->words)};
        return Error{cat(spec->word, " needs at least one ",
                         spec->command == Command::Clean  ? "category"
                         : spec->command == Command::Undo ? "id"
                                                          : "folder")};
    }
    if (r.operands.size() > spec->max_operands)
        return Error{cat("unexpected ", r.operands[spec->max_operands])};
    if (!spec->words.empty()) {
        if (!one_of(spec->words, r.operands[0]))
            return Error{cat(spec->word, " takes one of: ", spec->words)};
        if (r.dry_run && r.operands[0] != "run") return Error{"--dry-run goes with a run only"};
    }
    return r;
}

namespace {

json::Out document() {
    json::Out o = json::Out::object();
    o["schema_version"] = kJsonSchemaVersion;
    return o;
}

}  // namespace

json::Out scan_json(const ScanResult& result) {
    json::Out o = document();
    o.update(scan_result_json(result));
    return o;
}

// ---- junk and clean --------------------------------------------------------------------

json::Out junk_json(const std::vector<JunkRow>& rows) {
    json::Out list = json::Out::array();
    for (const JunkRow& row : rows)
        list.push_back(junk_row_json(row, true));
    json::Out o = document();
    o["junk"] = std::move(list);
    return o;
}

std::string junk_text(const std::vector<JunkRow>& rows) {
    std::string out;
    for (const JunkRow& row : rows) {
        out += cat("[", row.ticked ? "x" : " ", "] ", row.id, ": ", row.title, ", ",
                   size_and_files(row.bytes, row.files, row.complete));
        if (!row.complete) out += row.needs_admin ? " (needs admin to read)" : " (not all read)";
        out += "\n";
    }
    return out;
}

Result<std::vector<Op>> clean_ops(const std::vector<std::string>& ids) {
    std::vector<Op> ops;
    for (const auto& id : ids) {
        const auto category = junk_category(id);
        if (!category) return Error{unknown_junk_category_text(id)};
        ops.push_back(ApplyOp{CleanJunk{std::string(category->id), std::string(category->title)}});
    }
    return ops;
}

// ---- developer folders -----------------------------------------------------------------

std::string_view dev_kind_text(DevFolderKind kind) {
    switch (kind) {
        case DevFolderKind::JsPackages:
            return "js_packages";
        case DevFolderKind::RustBuild:
            return "rust_build";
        case DevFolderKind::GradleBuild:
            return "gradle_build";
        case DevFolderKind::GradleCache:
            return "gradle_cache";
        case DevFolderKind::PythonVenv:
            return "python_venv";
        case DevFolderKind::DotnetBuild:
            return "dotnet_build";
        case DevFolderKind::WebBuildCache:
            return "web_build_cache";
        case DevFolderKind::PackageCache:
            return "package_cache";
    }
    return "unknown";
}

json::Out dev_json(const std::vector<DevFolder>& folders) {
    json::Out list = json::Out::array();
    for (const DevFolder& f : folders) {
        json::Out i;
        i["path"] = f.path;
        i["kind"] = dev_kind_text(f.kind);
        i["name"] = f.name;
        i["project_name"] = f.project_name;
        i["label"] = ui::dev_folder_label(f);
        i["bytes"] = f.bytes;
        i["files"] = f.files;
        i["project_age_days"] =
            f.project_age_days ? json::Out(*f.project_age_days) : json::Out(nullptr);
        i["ticked"] = dev_folder_default_tick(f);
        list.push_back(std::move(i));
    }
    json::Out o = document();
    o["folders"] = std::move(list);
    return o;
}

std::string dev_text(const std::vector<DevFolder>& folders) {
    if (folders.empty()) return "No developer folders found.\n";
    std::string out;
    for (const DevFolder& f : folders) {
        out += cat("[", dev_folder_default_tick(f) ? "x" : " ", "] ", ui::dev_folder_title(f), ", ",
                   size_and_files(f.bytes, f.files));
        const std::string changed = ui::project_changed_text(f.project_age_days);
        if (!changed.empty()) out += cat(", project changed ", changed);
        out += cat("\n    ", f.path, "\n");
    }
    return out;
}

std::vector<Op> dev_clean_ops(const std::vector<std::string>& paths,
                              const std::vector<PackageCache>& caches) {
    std::vector<Op> ops;
    for (const auto& path : paths) {
        DevFolder folder;
        folder.path = normalize_folder_path(path);
        folder.name = std::string(path_name(folder.path));
        folder.project_name = std::string(path_name(parent_path(folder.path)));
        for (const auto& cache : caches) {
            if (same_path(cache.path, folder.path)) {
                folder.name = cache.label;
                folder.project_name.clear();
            }
        }
        ops.push_back(ApplyOp{DeleteDevFolder{folder.path, ui::dev_folder_label(folder)}});
    }
    return ops;
}

// ---- a page-style run --------------------------------------------------------------------

std::string changes_text(const ChangesRun& run) {
    std::string out;
    for (const JournalEntry& e : run.entries)
        out += cat(describe(e.action),
                   e.ok || made_unsaved(e) ? ": " : ": didn't work: ", e.message, "\n");
    out += run.status.text + "\n";
    return out;
}

int changes_exit_code(const ChangesRun& run) {
    for (const JournalEntry& e : run.entries)
        if (!e.ok) return kExitSomeFailed;
    // As when the notes are found before the run: another process undid it first.
    if (!run.skip_notes.empty()) return kExitSomeFailed;
    if (run.elevation && run.elevation->kind == ElevationKind::Failed) return kExitSomeFailed;
    if (run.elevation && run.elevation->kind == ElevationKind::Finished &&
        run.elevation->exit_code == kHelperUnsaved)
        return kExitSomeFailed;
    if (run.elevation && run.elevation->kind == ElevationKind::Cancelled) return kExitRefused;
    return kExitDone;
}

// ---- optimise ------------------------------------------------------------------------------

OptimisePlan optimise_plan(const ScanResult& scan) {
    const std::vector<ui::ListRow> rows = ui::proposal_rows(scan.report);
    std::vector<const ui::ListRow*> ticked;
    OptimisePlan plan;
    for (const auto& row : rows) {
        if (!row.checkbox || !row.default_tick) continue;
        ticked.push_back(&row);
        if (row.kind == ui::RowKind::Junk) plan.junk_estimate += row.bytes;
    }
    plan.changes = ui::rows_to_changes(ticked, ui::RowSources{&scan, nullptr});
    for (const Op& op : plan.changes.ops)
        if (const auto* apply = std::get_if<ApplyOp>(&op)) plan.actions.push_back(apply->action);
    return plan;
}

std::string optimise_question(const OptimisePlan& plan, const std::vector<JournalEntry>& journal) {
    return ui::confirm_text("Optimise will:", plan.changes, journal);
}

std::string_view phase_label(ApplyPhase phase) {
    switch (phase) {
        case ApplyPhase::EndPrograms:
            return "Closing idle programs";
        case ApplyPhase::CleanJunk:
            return "Cleaning junk files";
        case ApplyPhase::Other:
            return "Startup apps and services";
        case ApplyPhase::Done:
            return "Measuring the result";
    }
    return "";
}

std::string optimise_text(const OptimiseResult& result) {
    std::string out = cat(ui::done_title(result), "\n");
    for (const auto& line : result_lines(result))
        out += cat(line, "\n");
    return out;
}

json::Out optimise_json(const OptimisePlan& plan, const OptimiseResult* result) {
    json::Out o = document();
    json::Out actions = json::Out::array();
    for (const Action& a : plan.actions) {
        json::Out i;
        i["description"] = describe(a);
        i["action"] = write_action(a);
        actions.push_back(std::move(i));
    }
    o["actions"] = std::move(actions);
    o["skip_notes"] = plan.changes.skip_notes;
    o["junk_estimate"] = plan.junk_estimate;
    if (!result) {
        o["result"] = nullptr;
        o["lines"] = std::vector<std::string>{"Nothing needed changing."};
        return o;
    }
    json::Out r;
    r["test_run"] = result->test_run;
    r["applied"] = result->applied;
    r["closed"] = result->closed;
    r["services"] = result->services;
    r["startup_off"] = result->startup_off;
    r["junk_bytes"] = result->junk_bytes;
    r["skipped"] = result->skipped;
    r["failures"] = result->failures;
    r["committed_before"] = result->committed_before;
    r["committed_after"] = result->committed_after;
    o["result"] = std::move(r);
    o["lines"] = result_lines(*result);
    return o;
}

int optimise_exit_code(const OptimiseResult& result) {
    if (!result.failures.empty()) return kExitSomeFailed;
    if (result.skipped > 0) return kExitRefused;
    return kExitDone;
}

// ---- history and undo -----------------------------------------------------------------------

std::string history_text(const std::vector<JournalEntry>& journal,
                         const std::function<std::string(std::uint64_t)>& stamp) {
    const std::vector<ui::ListRow> rows = ui::journal_rows(journal, stamp);
    if (rows.empty()) return "No changes yet. Everything Tessavo changes shows up here.\n";
    std::string out;
    for (const auto& row : rows)
        out += cat("#", num(row.index), "  ", row.cells[0], "  ", row.cells[1], ": ", row.cells[2],
                   " (", row.cells[3], ")\n");
    return out;
}

json::Out history_json(const std::vector<JournalEntry>& journal,
                       const std::function<std::string(std::uint64_t)>& stamp) {
    json::Out list = json::Out::array();
    for (const auto& row : ui::journal_rows(journal, stamp)) {
        for (const JournalEntry& e : journal) {
            if (e.id != row.index || e.undo_of) continue;
            json::Out i;
            i["id"] = e.id;
            i["time"] = e.time;
            i["when"] = row.cells[0];
            i["description"] = row.cells[1];
            i["message"] = e.message;
            i["ok"] = e.ok;
            i["status"] = row.cells[3];
            i["undone"] = e.undone;
            i["freed_bytes"] = e.freed_bytes;
            i["action"] = write_action(e.action);
            list.push_back(std::move(i));
            break;
        }
    }
    json::Out o = document();
    o["history"] = std::move(list);
    return o;
}

Result<std::vector<std::uint64_t>> parse_ids(const std::vector<std::string>& operands) {
    std::vector<std::uint64_t> ids;
    for (const auto& text : operands) {
        std::string_view digits = text;
        if (digits.starts_with("#")) digits.remove_prefix(1);
        std::uint64_t id = 0;
        bool ok = !digits.empty();
        for (char c : digits) {
            const auto d = static_cast<std::uint64_t>(c - '0');
            if (c < '0' || c > '9' || id > (UINT64_MAX - d) / 10) {
                ok = false;
                break;
            }
            id = id * 10 + d;
        }
        if (!ok) return Error{cat("not a history id: ", text)};
        ids.push_back(id);
    }
    return ids;
}

ui::Changes undo_changes(const std::vector<std::uint64_t>& ids,
                         const std::vector<JournalEntry>& journal) {
    ScanResult view;
    view.journal = journal;
    ui::Changes out;
    for (std::uint64_t id : ids) {
        bool listed = false;
        for (const JournalEntry& e : journal)
            listed = listed || (e.id == id && !e.undo_of);
        if (!listed) {
            out.skip_notes.push_back(cat("#", num(id), " (not in the history)"));
            continue;
        }
        // The row as History would hold it, ticked, so the page's own notes apply.
        ui::ListRow row;
        row.kind = ui::RowKind::Journal;
        row.index = id;
        row.checkbox = true;
        const ui::ListRow* ticked[] = {&row};
        ui::Changes one = ui::rows_to_changes(ticked, ui::RowSources{&view, nullptr});
        for (auto& op : one.ops)
            out.ops.push_back(std::move(op));
        for (auto& note : one.skip_notes)
            out.skip_notes.push_back(std::move(note));
    }
    return out;
}

// ---- Focus mode and Autopilot --------------------------------------------------------------

std::string focus_status_text(bool on, const std::optional<FocusState>& state) {
    if (!on) return "Focus mode is off";
    if (!state)
        return "Focus mode is on: its saved state can't be read; \"focus off\" turns it off";
    return cat("Focus mode is on: ", focus_summary(*state));
}

std::string autopilot_status_text(const Schedule& schedule,
                                  const std::function<std::string(std::uint64_t)>& stamp) {
    std::string out = cat("Autopilot is ", schedule.enabled ? "on" : "off", ": every ",
                          num(schedule.every_days), schedule.every_days == 1 ? " day" : " days");
    if (schedule.close_dev_servers) out += ", closing idle dev servers too";
    if (schedule.last_run == 0) return out + "; never run";
    out += cat("; last run ", stamp(schedule.last_run));
    if (!schedule.last_result.empty()) out += cat(": ", schedule.last_result);
    return out;
}

int autopilot_exit_code(const AutopilotRun& run) {
    return run.failed > 0 ? kExitSomeFailed : kExitDone;
}

bool is_yes(std::string_view answer) {
    while (!answer.empty() && (answer.front() == ' ' || answer.front() == '\t'))
        answer.remove_prefix(1);
    while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\t' ||
                               answer.back() == '\r' || answer.back() == '\n'))
        answer.remove_suffix(1);
    const std::string a = to_lower_ascii(answer);
    return a == "y" || a == "yes";
}

std::string set_by_organisation_text(std::string_view what) {
    return cat(what, ": ", kSetByOrganisation);
}

}  // namespace tess::cli
