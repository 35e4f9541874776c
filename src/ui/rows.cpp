#include "ui/rows.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "changes/executor.hpp"
#include "core/text.hpp"
#include "model/kb.hpp"

namespace tess::ui {
namespace {

constexpr std::string_view kAdminApproval = " Windows will ask for admin approval.";

constexpr std::array<Column, 3> kHomeColumns{{{"Fix", 420}, {"Frees", 100}, {"Why", 380}}};
constexpr std::array<Column, 4> kJunkColumns{
    {{"Junk", 320}, {"Size", 120}, {"Files", 80}, {"What it is", 420}}};
constexpr std::array<Column, 4> kDevColumns{
    {{"Folder", 340}, {"Size", 100}, {"Project changed", 140}, {"What it is", 420}}};
constexpr std::array<Column, 4> kAppColumns{
    {{"App", 230}, {"Memory", 110}, {"Processes", 95}, {"What it is", 420}}};
constexpr std::array<Column, 3> kStartupColumns{
    {{"App", 300}, {"Opens at sign-in", 150}, {"Program", 520}}};
constexpr std::array<Column, 5> kServiceColumns{
    {{"Service", 320}, {"Starts", 110}, {"Running", 90}, {"Memory", 90}, {"What it is", 420}}};
constexpr std::array<Column, 4> kHistoryColumns{
    {{"When", 130}, {"What changed", 450}, {"Result", 330}, {"Status", 120}}};

// The program's own processes are kept like Windows' own, but they are not Windows:
// saying so would tell the user something false about this very app.
bool is_this_app(const AppGroup& a) {
    const std::string name = to_lower_ascii(a.display_name);
    return name == "tessavo" || name == "memvane";
}

std::string plural(std::uint64_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string_view location_words(StartupLocation location) {
    switch (location) {
        case StartupLocation::HkcuRun:
            return "This user";
        case StartupLocation::HklmRun:
            return "All users";
        case StartupLocation::HklmRun32:
            return "All users (32-bit)";
    }
    return "This user";
}

constexpr std::uint32_t kStartManual = 3;
constexpr std::uint32_t kStartDisabled = 4;

std::string_view section_word(SuggestionSection section) {
    switch (section) {
        case SuggestionSection::DevTool:
            return "Idle dev tool";
        case SuggestionSection::BackgroundApp:
            return "Background helper";
        case SuggestionSection::Service:
            return "Service";
        case SuggestionSection::StartupApp:
            return "Startup app";
    }
    return "";
}

std::string service_what(const ServiceInfo& service) {
    if (is_protected_service(service.name))
        return "Keeps hardware or security working — left alone.";
    if (auto d = service_description(service.name)) return *d;
    return "";
}

bool junk_worth_a_box(const JunkRow& row) {
    return row.bytes > 0 || (!row.complete && row.needs_admin);
}

const JournalEntry* find_entry(const std::vector<JournalEntry>& journal, std::uint64_t id) {
    for (const JournalEntry& e : journal)
        if (e.id == id) return &e;
    return nullptr;
}

// Changes that only end, clean or delete leave nothing to put back.
bool undoable_kind(const Action& action) {
    return std::holds_alternative<SetServiceStart>(action) ||
           std::holds_alternative<SetStartupEnabled>(action);
}

}  // namespace

const PageColumns& page_columns(Page page) {
    static const std::array<PageColumns, kPageCount> table{{
        {kHomeColumns, 1, 2},
        {kJunkColumns, 1, 3},
        {kDevColumns, 1, 3},
        {kAppColumns, 1, 3},
        {kStartupColumns, -1, 2},
        {kServiceColumns, 3, 4},
        {{}, -1, -1},
        {kHistoryColumns, -1, 2},
    }};
    return table[static_cast<std::size_t>(page) % table.size()];
}

std::string junk_size_text(const JunkRow& row) {
    if (!row.complete) return "needs admin";
    if (row.bytes == 0) return "empty";
    return size_text(row.bytes);
}

std::string project_changed_text(std::optional<std::uint32_t> days) {
    if (!days) return "";
    if (*days == 0) return "today";
    if (*days == 1) return "yesterday";
    if (*days < 60) return std::to_string(*days) + " days ago";
    if (*days < 730) return std::to_string(*days / 30) + " months ago";
    return std::to_string(*days / 365) + " years ago";
}

std::string dev_folder_title(const DevFolder& folder) {
    if (folder.project_name.empty()) return folder.name;
    return folder.project_name + " — " + folder.name;
}

std::string dev_folder_label(const DevFolder& folder) {
    if (folder.project_name.empty()) return folder.name;
    return folder.name + " in " + folder.project_name;
}

std::vector<ListRow> junk_rows(const std::vector<JunkRow>& junk) {
    std::vector<ListRow> rows;
    for (std::size_t i = 0; i < junk.size(); ++i) {
        const JunkRow& j = junk[i];
        ListRow row;
        row.kind = RowKind::Junk;
        row.index = i;
        row.cells = {j.title, junk_size_text(j), j.complete ? std::to_string(j.files) : "",
                     j.description};
        row.detail = j.title + ": " + j.description;
        if (j.needs_admin) row.detail += kAdminApproval;
        row.bytes = j.bytes;
        row.default_tick = j.bytes > 0 && j.ticked;
        row.checkbox = junk_worth_a_box(j);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ListRow> dev_rows(const std::vector<DevFolder>& folders) {
    std::vector<std::size_t> order(folders.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return folders[a].bytes > folders[b].bytes;
    });
    std::vector<ListRow> rows;
    rows.reserve(order.size());
    for (std::size_t i : order) {
        const DevFolder& f = folders[i];
        const std::string what(dev_folder_description(f.kind));
        ListRow row;
        row.kind = RowKind::DevFolder;
        row.index = i;
        row.cells = {dev_folder_title(f), size_text(f.bytes),
                     project_changed_text(f.project_age_days), what};
        row.detail = f.path + " — " + what;
        row.bytes = f.bytes;
        row.default_tick = dev_folder_default_tick(f);
        row.checkbox = true;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ListRow> app_rows(const std::vector<AppGroup>& apps) {
    std::vector<ListRow> rows;
    rows.reserve(apps.size());
    for (std::size_t i = 0; i < apps.size(); ++i) {
        const AppGroup& a = apps[i];
        ListRow row;
        row.kind = RowKind::App;
        row.index = i;
        std::string what = a.friendly_name;
        if (a.is_protected && is_this_app(a))
            what = (what.empty() ? std::string("Tessavo (this app)") : what) +
                   " — can't be closed here";
        else if (a.is_protected)
            what = (what.empty() ? std::string("System process") : what) +
                   " — part of Windows, can't be closed here";
        row.cells = {a.display_name, size_text(a.private_bytes), std::to_string(a.process_count),
                     what};
        if (a.is_protected && is_this_app(a))
            row.detail = a.display_name + " is this app, so it won't be closed.";
        else if (a.is_protected)
            row.detail = a.display_name + " is part of Windows, so it won't be closed.";
        else
            row.detail = a.display_name + " uses " + size_text(a.private_bytes) + " across " +
                         std::to_string(a.process_count) + " process(es); " +
                         size_text(a.working_set) +
                         " of it is in fast RAM right now. Tick it to close it.";
        row.bytes = a.private_bytes;
        row.checkbox = !a.is_protected && !a.targets.empty();
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ListRow> startup_rows(const std::vector<StartupEntry>& entries) {
    std::vector<ListRow> rows;
    rows.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const StartupEntry& e = entries[i];
        const bool needed = is_protected_startup(e.name);
        ListRow row;
        row.kind = RowKind::Startup;
        row.index = i;
        row.cells = {e.name, e.enabled ? "Yes" : "No", e.command};
        std::string tip;
        if (needed) {
            tip = "Windows needs this one, so it's left alone.";
        } else {
            tip = std::string("Tick it to turn it ") + (e.enabled ? "off" : "back on") + ".";
            if (needs_admin(SetStartupEnabled{e.location, e.name, !e.enabled}))
                tip += kAdminApproval;
        }
        row.detail = e.name + " — " + (e.enabled ? "opens when you sign in" : "turned off") + " (" +
                     std::string(location_words(e.location)) + "). " + tip;
        row.checkbox = !needed;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ListRow> service_rows(const ScanReport& report, const std::vector<std::size_t>& shown) {
    std::vector<ListRow> rows;
    rows.reserve(shown.size());
    for (std::size_t index : shown) {
        if (index >= report.services.size()) continue;
        const ServiceInfo& s = report.services[index];
        std::string memory;
        if (s.running && s.pid != 0) {
            for (const ProcessInfo& p : report.processes) {
                // svchost hosts many services at once: its memory is not this service's.
                if (p.pid == s.pid && to_lower_ascii(p.name) != "svchost.exe") {
                    memory = size_text(p.private_bytes);
                    break;
                }
            }
        }
        const std::string display = s.display.empty() ? s.name : s.display;
        const std::string what = service_what(s);
        ListRow row;
        row.kind = RowKind::Service;
        row.index = index;
        row.cells = {display, std::string(services_page_word(s.start_type)),
                     s.running ? "Yes" : "No", memory, what};
        row.detail = display + " (" + s.name + "). " + what;
        row.checkbox =
            !is_protected_service(s.name) && !(s.start_type == kStartManual && !s.running);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ListRow> proposal_rows(const ScanReport& report) {
    std::vector<ListRow> rows;
    for (std::size_t i = 0; i < report.suggestions.size(); ++i) {
        const Suggestion& s = report.suggestions[i];
        ListRow row;
        row.kind = RowKind::Proposal;
        row.index = i;
        row.cells = {s.title, s.bytes == 0 ? std::string("at restart") : size_text(s.bytes),
                     s.detail};
        row.detail = std::string(section_word(s.section)) + ": " + s.detail;
        row.bytes = s.bytes;
        row.default_tick = s.ticked;
        row.checkbox = true;
        rows.push_back(std::move(row));
    }
    for (std::size_t i = 0; i < report.junk.size(); ++i) {
        const JunkRow& j = report.junk[i];
        if (!j.ticked || !junk_worth_a_box(j)) continue;
        ListRow row;
        row.kind = RowKind::Junk;
        row.index = i;
        row.cells = {"Clean " + j.title, junk_size_text(j), j.description};
        row.detail = "Junk files: " + j.description;
        if (j.needs_admin) row.detail += kAdminApproval;
        row.bytes = j.bytes;
        row.default_tick = true;
        row.checkbox = true;
        rows.push_back(std::move(row));
    }
    for (std::size_t i = 0; i < report.health.size(); ++i) {
        const HealthItem& h = report.health[i];
        ListRow row;
        row.kind = RowKind::Health;
        row.index = i;
        row.cells = {std::string(severity_text(h.severity)) + ": " + h.title, "", h.text};
        row.detail = h.title + ". " + h.text;
        row.colour = h.severity == Severity::Problem   ? kRedColour
                     : h.severity == Severity::Warning ? kAmberColour
                                                       : kTextColour;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string_view journal_status(const JournalEntry& entry) {
    if (entry.undone) return "Undone";
    if (!entry.ok) return "Didn't work";
    return undoable_kind(entry.action) ? "Can undo" : "Done";
}

std::vector<ListRow> journal_rows(const std::vector<JournalEntry>& journal,
                                  const std::function<std::string(std::uint64_t)>& stamp) {
    std::vector<ListRow> rows;
    rows.reserve(journal.size());
    for (auto it = journal.rbegin(); it != journal.rend(); ++it) {
        const JournalEntry& e = *it;
        if (e.undo_of) continue;
        const std::string what = describe(e.action);
        const std::string_view status = journal_status(e);
        ListRow row;
        row.kind = RowKind::Journal;
        row.index = e.id;
        row.cells = {stamp(e.time), what, e.message, std::string(status)};
        row.detail = what + " — " + e.message;
        row.checkbox = status == "Can undo";
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ListRow> page_rows(Page page, const PageData& data,
                               const std::function<std::string(std::uint64_t)>& stamp) {
    if (page == Page::DevJunk) return data.dev ? dev_rows(*data.dev) : std::vector<ListRow>{};
    if (!data.scan) return {};
    const ScanResult& scan = *data.scan;
    switch (page) {
        case Page::Home:
            return data.proposal_phase ? proposal_rows(scan.report) : std::vector<ListRow>{};
        case Page::Junk:
            return junk_rows(scan.report.junk);
        case Page::Apps:
            return app_rows(scan.apps);
        case Page::Startup:
            return startup_rows(scan.report.startup);
        case Page::Services:
            return service_rows(scan.report, scan.services_shown);
        case Page::History:
            return journal_rows(scan.journal, stamp);
        default:
            return {};
    }
}

std::string_view hint_text(Page page, const PageData& data, bool has_rows) {
    if (page == Page::DevJunk) {
        if (!data.dev)
            return "Looking for developer folders on your drives… This takes up to half a minute.";
        if (!has_rows)
            return "No developer junk found: no node_modules, build folders or package caches "
                   "worth "
                   "cleaning.";
        return "Click a row to see where it is. Folders come back when you install or build again; "
               "package caches are never ticked for you.";
    }
    if (!data.scan)
        return data.scanning ? "Scanning your PC\u2026 This list fills in when the scan is done."
                             : "Press Scan now on Home first.";
    switch (page) {
        case Page::Home:
            return has_rows ? "Click a row to read more. Closed programs start again when you open "
                              "them; "
                              "deleted junk can't be restored."
                            : "Nothing to fix right now. Your PC is in good shape.";
        case Page::Junk:
            return "Ticked categories are safe to clean. Files that are in use are skipped "
                   "automatically.";
        case Page::Apps:
            return "Click a row to see details. Tick only apps you don't need right now.";
        case Page::History:
            return has_rows ? "Click a row to see details."
                            : "No changes yet. Everything Tessavo changes shows up here.";
        case Page::Startup:
        case Page::Services:
            return has_rows ? "Click a row to see details." : "";
        default:
            return "";
    }
}

bool all_ticked(std::span<const ListRow> rows, const std::vector<bool>& ticked) {
    bool any_box = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].checkbox) continue;
        any_box = true;
        if (i >= ticked.size() || !ticked[i]) return false;
    }
    return any_box;
}

Captions compute_captions(Page page, std::span<const ListRow> rows, const std::vector<bool>& ticked,
                          bool has_data, bool busy) {
    std::uint64_t count = 0, memory = 0, disk = 0;
    for (std::size_t i = 0; i < rows.size() && i < ticked.size(); ++i) {
        if (!ticked[i]) continue;
        ++count;
        switch (rows[i].kind) {
            case RowKind::Proposal:
            case RowKind::App:
                memory += rows[i].bytes;
                break;
            case RowKind::Junk:
            case RowKind::DevFolder:
                disk += rows[i].bytes;
                break;
            default:
                break;
        }
    }
    Captions c;
    if (busy) {
        c.action = "Working…";
    } else if (!has_data) {
        c.action = page == Page::DevJunk ? "Looking for folders…" : "Scan first (Home)";
    } else if (count == 0) {
        switch (page) {
            case Page::Junk:
                c.action = "Tick junk to clean";
                break;
            case Page::DevJunk:
                c.action = "Tick folders to clean";
                break;
            case Page::Apps:
                c.action = "Tick apps to close";
                break;
            case Page::Startup:
                c.action = "Tick apps to switch";
                break;
            case Page::Services:
                c.action = "Tick services to change";
                break;
            case Page::History:
                c.action = "Tick changes to undo";
                break;
            default:
                break;
        }
    } else {
        c.action_enabled = true;
        switch (page) {
            case Page::Junk:
                c.action = disk > 0 ? "Clean " + size_text(disk)
                                    : "Clean " + plural(count, "category", "categories");
                break;
            case Page::DevJunk:
                c.action =
                    "Delete " + plural(count, "folder", "folders") + " (" + size_text(disk) + ")";
                break;
            case Page::Apps:
                c.action = "Close " + plural(count, "app", "apps") + " (" + size_text(memory) + ")";
                break;
            case Page::Startup:
                c.action = "Switch " + std::to_string(count) + " on/off";
                break;
            case Page::Services:
                c.action = "Start " + std::to_string(count) + " only when needed";
                break;
            case Page::History:
                c.action = "Undo " + plural(count, "change", "changes");
                break;
            default:
                c.action_enabled = false;
                break;
        }
    }
    if (count == 0)
        c.optimise_subtitle = "tick something first";
    else if (memory > 0 && disk > 0)
        c.optimise_subtitle = "frees " + size_text(memory) + " RAM · " + size_text(disk) + " disk";
    else if (memory > 0)
        c.optimise_subtitle = "frees " + size_text(memory) + " of RAM";
    else if (disk > 0)
        c.optimise_subtitle = "frees " + size_text(disk) + " of disk";
    else
        c.optimise_subtitle = plural(count, "fix", "fixes");
    c.optimise_enabled = count > 0 && !busy;
    c.select_all = all_ticked(rows, ticked) ? "Clear all" : "Select all";
    return c;
}

Changes rows_to_changes(std::span<const ListRow* const> ticked, const RowSources& sources) {
    Changes out;
    const ScanResult* scan = sources.scan;
    auto apply = [&](Action a) { out.ops.push_back(ApplyOp{std::move(a)}); };
    for (const ListRow* row : ticked) {
        if (!row || !row->checkbox) continue;
        const std::uint64_t i = row->index;
        switch (row->kind) {
            case RowKind::Proposal:
                if (scan && i < scan->report.suggestions.size())
                    apply(scan->report.suggestions[i].action);
                break;
            case RowKind::Junk:
                if (scan && i < scan->report.junk.size())
                    apply(CleanJunk{scan->report.junk[i].id, scan->report.junk[i].title});
                break;
            case RowKind::App:
                if (scan && i < scan->apps.size()) {
                    const AppGroup& a = scan->apps[i];
                    if (a.is_protected || a.targets.empty())
                        out.skip_notes.push_back(a.display_name + (is_this_app(a)
                                                                       ? " (this app)"
                                                                       : " (part of Windows)"));
                    else
                        apply(KillProcesses{a.display_name, a.targets});
                }
                break;
            case RowKind::Startup:
                if (scan && i < scan->report.startup.size()) {
                    const StartupEntry& e = scan->report.startup[i];
                    if (is_protected_startup(e.name))
                        out.skip_notes.push_back(e.name + " (needed by Windows)");
                    else
                        apply(SetStartupEnabled{e.location, e.name, !e.enabled});
                }
                break;
            case RowKind::Service:
                if (scan && i < scan->report.services.size()) {
                    const ServiceInfo& s = scan->report.services[i];
                    const std::string display = s.display.empty() ? s.name : s.display;
                    if (is_protected_service(s.name))
                        out.skip_notes.push_back(display + " (keeps hardware or security working)");
                    else if (s.start_type == kStartManual && !s.running)
                        out.skip_notes.push_back(display + " (already starts only when needed)");
                    else
                        apply(SetServiceStart{
                            s.name, display,
                            s.start_type == kStartDisabled ? kStartDisabled : kStartManual,
                            s.running});
                }
                break;
            case RowKind::DevFolder:
                if (sources.dev && i < sources.dev->size()) {
                    const DevFolder& f = (*sources.dev)[i];
                    apply(DeleteDevFolder{f.path, dev_folder_label(f)});
                }
                break;
            case RowKind::Journal: {
                const JournalEntry* e = scan ? find_entry(scan->journal, i) : nullptr;
                if (!e) {
                    out.ops.push_back(UndoOp{i});
                } else if (e->undone) {
                    out.skip_notes.push_back("#" + std::to_string(i) + " (already undone)");
                } else if (!e->ok || !undoable_kind(e->action)) {
                    out.skip_notes.push_back(describe(e->action) + " (nothing to undo)");
                } else {
                    out.ops.push_back(UndoOp{i});
                }
                break;
            }
            case RowKind::Health:
                break;
        }
    }
    return out;
}

bool ticks_beyond_defaults(std::span<const ListRow* const> ticked) {
    return std::any_of(ticked.begin(), ticked.end(),
                       [](const ListRow* r) { return r && r->checkbox && !r->default_tick; });
}

std::uint64_t ticked_junk_estimate(std::span<const ListRow* const> ticked) {
    std::uint64_t bytes = 0;
    for (const ListRow* r : ticked)
        if (r && r->checkbox && r->kind == RowKind::Junk) bytes += r->bytes;
    return bytes;
}

std::string confirm_text(std::string_view heading, const Changes& changes,
                         const std::vector<JournalEntry>& journal) {
    constexpr std::size_t kListed = 14;
    std::string text = std::string(heading) + "\n\n";
    bool kills = false, junk = false, folders = false, admin = false;
    for (std::size_t i = 0; i < changes.ops.size(); ++i) {
        const Op& op = changes.ops[i];
        std::string line;
        if (const auto* a = std::get_if<ApplyOp>(&op)) {
            line = describe(a->action);
            kills = kills || std::holds_alternative<KillProcesses>(a->action);
            junk = junk || std::holds_alternative<CleanJunk>(a->action);
            folders = folders || std::holds_alternative<DeleteDevFolder>(a->action);
        } else {
            const std::uint64_t id = std::get<UndoOp>(op).id;
            const JournalEntry* e = find_entry(journal, id);
            line = e ? "Undo: " + describe(e->action) : "Undo change #" + std::to_string(id);
        }
        admin = admin || needs_admin(op, journal);
        if (i < kListed) text += "• " + line + "\n";
    }
    if (changes.ops.size() > kListed)
        text += "• …and " + std::to_string(changes.ops.size() - kListed) + " more\n";
    if (!changes.skip_notes.empty()) {
        text += "\nSkipped: ";
        for (std::size_t i = 0; i < changes.skip_notes.size(); ++i)
            text += (i ? ", " : "") + changes.skip_notes[i];
        text += "\n";
    }
    if (kills) text += "\nApps that are closed lose unsaved work.";
    if (folders)
        text +=
            "\nDeleted folders can't be restored; npm install, cargo build and the like make "
            "them again when you need them.";
    else if (junk)
        text += "\nDeleted junk files can't be restored.";
    if (admin) text += "\nSome changes need admin rights: Windows will ask once.";
    text += "\n\nContinue?";
    return text;
}

std::string nothing_to_do_text(const std::vector<std::string>& skip_notes) {
    if (skip_notes.empty()) return "Tick at least one row first.";
    std::string text = "Nothing to do. Skipped:";
    for (const std::string& note : skip_notes)
        text += "\n• " + note;
    return text;
}

std::string keep_name(std::string_view label) {
    // Drop the leading words made of digits only (an empty word counts as one).
    std::vector<std::string_view> words;
    std::size_t start = 0;
    while (true) {
        const std::size_t space = label.find(' ', start);
        words.push_back(
            label.substr(start, space == std::string_view::npos ? label.npos : space - start));
        if (space == std::string_view::npos) break;
        start = space + 1;
    }
    std::size_t first = 0;
    while (first < words.size() && std::all_of(words[first].begin(), words[first].end(),
                                               [](char c) { return c >= '0' && c <= '9'; }))
        ++first;
    std::string name;
    for (std::size_t i = first; i < words.size(); ++i)
        name += (i > first ? " " : "") + std::string(words[i]);
    auto replace_all = [&](std::string_view from, std::string_view to) {
        for (std::size_t at = name.find(from); at != std::string::npos;
             at = name.find(from, at + to.size()))
            name.replace(at, from.size(), to);
    };
    replace_all("daemons", "daemon");
    replace_all("servers", "server");
    const std::string key = keep_key(label);
    if (keep_key(name) == key) return name;
    std::string shown = key;
    if (!shown.empty() && shown[0] >= 'a' && shown[0] <= 'z')
        shown[0] = static_cast<char>(shown[0] - 32);
    return shown;
}

}  // namespace tess::ui
