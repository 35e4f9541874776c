#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/rows.hpp"

namespace tess::ui {
namespace {

constexpr std::uint64_t kMB = 1024ull * 1024;

JunkRow junk(std::string id, std::uint64_t bytes, bool complete, bool needs_admin, bool ticked) {
    JunkRow r;
    r.id = id;
    r.title = "T-" + id;
    r.description = "D-" + id;
    r.files = 3;
    r.bytes = bytes;
    r.complete = complete;
    r.needs_admin = needs_admin;
    r.ticked = ticked;
    return r;
}

DevFolder folder(std::string path, std::string name, std::string project, std::uint64_t bytes,
                 std::optional<std::uint32_t> age, DevFolderKind kind = DevFolderKind::JsPackages) {
    DevFolder f;
    f.path = path;
    f.name = name;
    f.project_name = project;
    f.bytes = bytes;
    f.project_age_days = age;
    f.kind = kind;
    return f;
}

std::string stamp(std::uint64_t t) {
    return "t" + std::to_string(t);
}

JournalEntry entry(std::uint64_t id, Action action, bool ok, bool undone = false,
                   std::optional<std::uint64_t> undo_of = std::nullopt) {
    JournalEntry e;
    e.id = id;
    e.time = id * 10;
    e.action = std::move(action);
    e.ok = ok;
    e.message = ok ? "done" : "access denied";
    e.undone = undone;
    e.undo_of = undo_of;
    return e;
}

std::vector<const ListRow*> all(const std::vector<ListRow>& rows) {
    std::vector<const ListRow*> out;
    for (const ListRow& r : rows)
        out.push_back(&r);
    return out;
}

TEST(Rows, JunkRowsSizeTickAndCheckbox) {
    const auto rows = junk_rows(
        {junk("temp", 5 * kMB, true, false, true), junk("empty", 0, true, false, true),
         junk("prefetch", 0, false, true, true), junk("thumbs", 2 * kMB, true, false, false)});
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"T-temp", "5 MB", "3", "D-temp"}));
    EXPECT_TRUE(rows[0].default_tick);
    EXPECT_TRUE(rows[0].checkbox);
    EXPECT_EQ(rows[0].detail, "T-temp: D-temp");
    // Measured completely and empty: nothing to tick.
    EXPECT_EQ(rows[1].cells[1], "empty");
    EXPECT_FALSE(rows[1].checkbox);
    EXPECT_FALSE(rows[1].default_tick);
    // Could not be measured and needs admin: a box, not ticked, no file count.
    EXPECT_EQ(rows[2].cells[1], "needs admin");
    EXPECT_EQ(rows[2].cells[2], "");
    EXPECT_TRUE(rows[2].checkbox);
    EXPECT_FALSE(rows[2].default_tick);
    EXPECT_EQ(rows[2].detail, "T-prefetch: D-prefetch Windows will ask for admin approval.");
    EXPECT_FALSE(rows[3].default_tick);
}

TEST(Rows, ProjectChangedText) {
    const std::pair<std::optional<std::uint32_t>, std::string> cases[] = {
        {std::nullopt, ""},     {0, "today"},         {1, "yesterday"},
        {2, "2 days ago"},      {59, "59 days ago"},  {60, "2 months ago"},
        {729, "24 months ago"}, {730, "2 years ago"}, {1200, "3 years ago"},
    };
    for (const auto& [days, text] : cases)
        EXPECT_EQ(project_changed_text(days), text);
}

TEST(Rows, DevRowsLargestFirstWithTicksByAge) {
    const std::vector<DevFolder> folders = {
        folder("C:\\p\\a\\node_modules", "node_modules", "a", 10, 29),
        folder("C:\\p\\b\\target", "target", "b", 30, 30, DevFolderKind::RustBuild),
        folder("C:\\Users\\x\\.npm", "npm cache", "", 20, std::nullopt,
               DevFolderKind::PackageCache),
        folder("D:\\node_modules", "node_modules", "", 5, 400),
    };
    const auto rows = dev_rows(folders);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].index, 1u);
    EXPECT_EQ(rows[0].cells[0], "b — target");
    EXPECT_TRUE(rows[0].default_tick);  // 30 days
    EXPECT_EQ(rows[1].cells[0], "npm cache");
    EXPECT_EQ(rows[1].cells[2], "");
    EXPECT_FALSE(rows[1].default_tick);  // package caches are never ticked
    EXPECT_EQ(rows[2].cells[0], "a — node_modules");
    EXPECT_FALSE(rows[2].default_tick);  // 29 days
    EXPECT_EQ(rows[3].cells[0], "node_modules");
    for (const ListRow& r : rows)
        EXPECT_TRUE(r.checkbox);

    const ListRow* ticked[] = {&rows[2], &rows[3], &rows[1]};
    const Changes c = rows_to_changes(ticked, {nullptr, &folders});
    ASSERT_EQ(c.ops.size(), 3u);
    EXPECT_EQ(std::get<ApplyOp>(c.ops[0]).action,
              Action(DeleteDevFolder{"C:\\p\\a\\node_modules", "node_modules in a"}));
    EXPECT_EQ(std::get<ApplyOp>(c.ops[1]).action,
              Action(DeleteDevFolder{"D:\\node_modules", "node_modules"}));
    EXPECT_EQ(std::get<ApplyOp>(c.ops[2]).action,
              Action(DeleteDevFolder{"C:\\Users\\x\\.npm", "npm cache"}));
}

ScanResult sample_scan() {
    ScanResult s;
    ServiceInfo hosted{"HostedSvc", "Hosted service", "", 2, 100, true};
    ServiceInfo own{"TestSvc", "Test service", "", 2, 200, true};
    ServiceInfo stopped{"Manual", "Manual one", "", 3, 0, false};
    ServiceInfo disabled{"Off", "", "", 4, 300, true};
    ServiceInfo guard{"WinDefend", "Defender", "", 2, 0, false};
    s.report.services = {hosted, own, stopped, disabled, guard};
    ProcessInfo svchost;
    svchost.name = "SvcHost.EXE";
    svchost.pid = 100;
    svchost.private_bytes = 50 * kMB;
    ProcessInfo mine;
    mine.name = "testsvc.exe";
    mine.pid = 200;
    mine.private_bytes = 7 * kMB;
    s.report.processes = {svchost, mine};
    s.services_shown = {0, 1, 2, 3, 4};
    s.report.startup = {{"Updater", "\"C:\\u.exe\" /bg", StartupLocation::HkcuRun, true},
                        {"Machine", "C:\\m.exe", StartupLocation::HklmRun, false},
                        {"SecurityHealth", "C:\\s.exe", StartupLocation::HklmRun, true}};
    AppGroup chrome;
    chrome.display_name = "chrome";
    chrome.friendly_name = "Google Chrome";
    chrome.targets = {{10, "chrome.exe", 1}, {11, "chrome.exe", 2}};
    chrome.process_count = 2;
    chrome.private_bytes = 300 * kMB;
    chrome.working_set = 100 * kMB;
    AppGroup csrss;
    csrss.display_name = "csrss";
    csrss.process_count = 1;
    csrss.private_bytes = 2 * kMB;
    csrss.is_protected = true;
    s.apps = {chrome, csrss};
    return s;
}

TEST(Rows, ServiceRowsMemoryAndCheckboxes) {
    const ScanResult s = sample_scan();
    const auto rows = service_rows(s.report, s.services_shown);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].cells[3], "");  // svchost is shared, whatever its letter case
    EXPECT_EQ(rows[1].cells,
              (std::vector<std::string>{"Test service", "Always", "Yes", "7 MB", ""}));
    EXPECT_EQ(rows[2].cells[3], "");  // not running
    EXPECT_FALSE(rows[2].checkbox);   // already starts when needed and stopped
    EXPECT_EQ(rows[2].cells[1], "When needed");
    EXPECT_EQ(rows[3].cells[1], "Never");
    EXPECT_FALSE(rows[4].checkbox);  // protected
    EXPECT_EQ(rows[4].cells[4], "Keeps hardware or security working — left alone.");
    EXPECT_EQ(rows[4].detail,
              "Defender (WinDefend). Keeps hardware or security working — left alone.");

    // Ticked anyway (the list changed under the ticks): the notes and the new start types.
    std::vector<ListRow> forced = rows;
    for (ListRow& r : forced)
        r.checkbox = true;
    const Changes c = rows_to_changes(all(forced), {&s, nullptr});
    EXPECT_EQ(c.skip_notes,
              (std::vector<std::string>{"Manual one (already starts only when needed)",
                                        "Defender (keeps hardware or security working)"}));
    ASSERT_EQ(c.ops.size(), 3u);
    EXPECT_EQ(std::get<ApplyOp>(c.ops[0]).action,
              Action(SetServiceStart{"HostedSvc", "Hosted service", 3, true}));
    EXPECT_EQ(std::get<ApplyOp>(c.ops[1]).action,
              Action(SetServiceStart{"TestSvc", "Test service", 3, true}));
    // Already disabled stays "Never"; a display name falls back to the key name.
    EXPECT_EQ(std::get<ApplyOp>(c.ops[2]).action, Action(SetServiceStart{"Off", "Off", 4, true}));
    // Rows without a box give nothing at all.
    EXPECT_TRUE(rows_to_changes(all(rows), {&s, nullptr}).skip_notes.empty());
}

// The Starts column uses the same words as the service layer, an unreadable
// configuration included: it is Windows' own service, not a blank.
TEST(Rows, StartsColumnForEveryStartType) {
    const struct {
        std::uint32_t type;
        const char* word;
    } cases[] = {{0, "By Windows"},
                 {1, "By Windows"},
                 {2, "Always"},
                 {3, "When needed"},
                 {4, "Never"},
                 {7, "By Windows"},
                 {kStartTypeUnknown, "By Windows"}};
    ScanReport report;
    std::vector<std::size_t> shown;
    for (const auto& c : cases) {
        report.services.push_back({"S" + std::to_string(shown.size()), "", "", c.type, 0, false});
        shown.push_back(shown.size());
    }
    const auto rows = service_rows(report, shown);
    ASSERT_EQ(rows.size(), std::size(cases));
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].cells[1], cases[i].word) << cases[i].type;
}

TEST(Rows, StartupRowsDetailsAndChanges) {
    const ScanResult s = sample_scan();
    const auto rows = startup_rows(s.report.startup);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].detail,
              "Updater — opens when you sign in (This user). Tick it to turn it off.");
    EXPECT_EQ(rows[1].detail,
              "Machine — turned off (All users). Tick it to turn it back on. Windows will ask for "
              "admin approval.");
    EXPECT_EQ(rows[1].cells[1], "No");
    EXPECT_FALSE(rows[2].checkbox);
    EXPECT_EQ(
        rows[2].detail,
        "SecurityHealth — opens when you sign in (All users). Windows needs this one, so it's "
        "left alone.");

    const ListRow* ticked[] = {&rows[0], &rows[1]};
    const Changes c = rows_to_changes(ticked, {&s, nullptr});
    ASSERT_EQ(c.ops.size(), 2u);
    EXPECT_EQ(std::get<ApplyOp>(c.ops[1]).action,
              Action(SetStartupEnabled{StartupLocation::HklmRun, "Machine", true}));
    // A machine-wide entry ends the question with the admin line.
    const std::string q = confirm_text("Tessavo will:", c, {});
    EXPECT_NE(q.find("\nSome changes need admin rights: Windows will ask once.\n\nContinue?"),
              std::string::npos);
}

TEST(Rows, AppRowsAndSkipNotes) {
    const ScanResult s = sample_scan();
    const auto rows = app_rows(s.apps);
    EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"chrome", "300 MB", "2", "Google Chrome"}));
    EXPECT_EQ(rows[0].detail,
              "chrome uses 300 MB across 2 process(es); 100 MB of it is in fast RAM right now. "
              "Tick it to close it.");
    EXPECT_FALSE(rows[0].default_tick);
    EXPECT_EQ(rows[1].cells[3], "System process — part of Windows, can't be closed here");
    EXPECT_FALSE(rows[1].checkbox);

    ListRow forced = rows[1];
    forced.checkbox = true;  // a list that changed under the ticks
    const ListRow* ticked[] = {&forced};
    const Changes c = rows_to_changes(ticked, {&s, nullptr});
    EXPECT_TRUE(c.ops.empty());
    EXPECT_EQ(nothing_to_do_text(c.skip_notes),
              "Nothing to do. Skipped:\n• csrss (part of Windows)");
    EXPECT_EQ(nothing_to_do_text({}), "Tick at least one row first.");
}

// The program's own group is kept like Windows' own, but never called part of Windows.
TEST(Rows, ThisAppIsKeptWithoutBeingCalledWindows) {
    ScanResult s;
    AppGroup self;
    self.display_name = "Tessavo";
    self.friendly_name = "Tessavo (this app)";
    self.process_count = 1;
    self.is_protected = true;
    s.apps = {self};
    const auto rows = app_rows(s.apps);
    EXPECT_EQ(rows[0].cells[3], "Tessavo (this app) — can't be closed here");
    EXPECT_EQ(rows[0].detail, "Tessavo is this app, so it won't be closed.");
    ListRow forced = rows[0];
    forced.checkbox = true;
    const ListRow* ticked[] = {&forced};
    const Changes c = rows_to_changes(ticked, {&s, nullptr});
    EXPECT_TRUE(c.ops.empty());
    EXPECT_EQ(c.skip_notes, (std::vector<std::string>{"Tessavo (this app)"}));
}

TEST(Rows, ProposalRows) {
    ScanReport r;
    r.suggestions = {
        {"Close 2 Gradle daemons", "idle for 3h", KillProcesses{"2 Gradle daemons", {}}, 0, true,
         SuggestionSection::DevTool},
    };
    r.junk = {junk("temp", 5 * kMB, true, false, true), junk("none", 0, true, false, true),
              junk("admin", 0, false, true, true), junk("off", 9 * kMB, true, false, false)};
    r.health = {{"Disk almost full", "Free some space", Severity::Problem},
                {"Restart", "Up 30 days", Severity::Tip}};
    const auto rows = proposal_rows(r);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].cells[1], "at restart");
    EXPECT_EQ(rows[0].detail, "Idle dev tool: idle for 3h");
    EXPECT_EQ(rows[1].cells, (std::vector<std::string>{"Clean T-temp", "5 MB", "D-temp"}));
    EXPECT_EQ(rows[2].cells[1], "needs admin");
    EXPECT_EQ(rows[2].detail, "Junk files: D-admin Windows will ask for admin approval.");
    EXPECT_EQ(rows[3].cells[0], "Problem: Disk almost full");
    EXPECT_EQ(rows[3].colour, kRedColour);
    EXPECT_FALSE(rows[3].checkbox);
    EXPECT_EQ(rows[4].colour, kTextColour);
    EXPECT_EQ(rows[4].detail, "Restart. Up 30 days");
}

// Optimise asks only when the user ticked a row the proposal left unticked; the junk
// estimate counts the ticked junk rows only.
TEST(Rows, OptimiseQuestionAndJunkEstimate) {
    ListRow kept_default{RowKind::Proposal, 0, {}, "", {}, 7 * kMB, true, true};
    ListRow added{RowKind::Proposal, 1, {}, "", {}, 3 * kMB, false, true};
    ListRow junk_row{RowKind::Junk, 0, {}, "", {}, 5 * kMB, true, true};
    ListRow other_junk{RowKind::Junk, 2, {}, "", {}, 2 * kMB, false, true};
    ListRow finding{RowKind::Health, 0, {}, "", {}, 0, false, false};
    const struct {
        std::vector<const ListRow*> ticked;
        bool ask;
        std::uint64_t junk;
    } cases[] = {
        {{}, false, 0},
        {{&kept_default, &junk_row}, false, 5 * kMB},  // the proposal as it came
        {{&junk_row}, false, 5 * kMB},                 // unticking never asks
        {{&kept_default, &added}, true, 0},            // ticking an unticked row does
        {{&junk_row, &other_junk}, true, 7 * kMB},
        {{&finding}, false, 0},  // a row without a box never counts
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ticks_beyond_defaults(c.ticked), c.ask) << c.ticked.size();
        EXPECT_EQ(ticked_junk_estimate(c.ticked), c.junk) << c.ticked.size();
    }
}

TEST(Rows, Captions) {
    auto row = [](RowKind kind, std::uint64_t bytes) {
        ListRow r;
        r.kind = kind;
        r.bytes = bytes;
        r.checkbox = true;
        return r;
    };
    const std::vector<ListRow> junk2 = {row(RowKind::Junk, 5 * kMB), row(RowKind::Junk, 0)};
    const std::vector<ListRow> empties = {row(RowKind::Junk, 0), row(RowKind::Junk, 0)};
    const std::vector<ListRow> dev = {row(RowKind::DevFolder, 3 * kMB)};
    const std::vector<ListRow> apps = {row(RowKind::App, kMB), row(RowKind::App, kMB)};
    const std::vector<ListRow> other = {row(RowKind::Startup, 0)};
    const std::vector<ListRow> history = {row(RowKind::Journal, 0), row(RowKind::Journal, 0)};
    const std::vector<ListRow> mixed = {row(RowKind::Proposal, 2 * kMB), row(RowKind::Junk, kMB)};
    const std::vector<ListRow> fixes = {row(RowKind::Proposal, 0), row(RowKind::Proposal, 0)};
    struct Case {
        Page page;
        const std::vector<ListRow>* rows;
        std::vector<bool> ticked;
        bool has_data, busy;
        std::string action;
        bool enabled;
        std::string subtitle;
        std::string select;
    };
    const Case cases[] = {
        {Page::Junk,
         &junk2,
         {true, false},
         true,
         true,
         "Working…",
         false,
         "frees 5 MB of disk",
         "Select all"},
        {Page::Junk,
         &junk2,
         {},
         false,
         false,
         "Scan first (Home)",
         false,
         "tick something first",
         "Select all"},
        {Page::DevJunk,
         &dev,
         {},
         false,
         false,
         "Looking for folders…",
         false,
         "tick something first",
         "Select all"},
        {Page::Junk,
         &junk2,
         {false, false},
         true,
         false,
         "Tick junk to clean",
         false,
         "tick something first",
         "Select all"},
        {Page::DevJunk,
         &dev,
         {false},
         true,
         false,
         "Tick folders to clean",
         false,
         "tick something first",
         "Select all"},
        {Page::Apps,
         &apps,
         {false, false},
         true,
         false,
         "Tick apps to close",
         false,
         "tick something first",
         "Select all"},
        {Page::Startup,
         &other,
         {false},
         true,
         false,
         "Tick apps to switch",
         false,
         "tick something first",
         "Select all"},
        {Page::Services,
         &other,
         {false},
         true,
         false,
         "Tick services to change",
         false,
         "tick something first",
         "Select all"},
        {Page::History,
         &history,
         {false, false},
         true,
         false,
         "Tick changes to undo",
         false,
         "tick something first",
         "Select all"},
        {Page::Junk,
         &junk2,
         {true, true},
         true,
         false,
         "Clean 5 MB",
         true,
         "frees 5 MB of disk",
         "Clear all"},
        {Page::Junk,
         &empties,
         {true, false},
         true,
         false,
         "Clean 1 category",
         true,
         "1 fix",
         "Select all"},
        {Page::Junk,
         &empties,
         {true, true},
         true,
         false,
         "Clean 2 categories",
         true,
         "2 fixes",
         "Clear all"},
        {Page::DevJunk,
         &dev,
         {true},
         true,
         false,
         "Delete 1 folder (3 MB)",
         true,
         "frees 3 MB of disk",
         "Clear all"},
        {Page::Apps,
         &apps,
         {true, true},
         true,
         false,
         "Close 2 apps (2 MB)",
         true,
         "frees 2 MB of RAM",
         "Clear all"},
        {Page::Startup, &other, {true}, true, false, "Switch 1 on/off", true, "1 fix", "Clear all"},
        {Page::Services,
         &other,
         {true},
         true,
         false,
         "Start 1 only when needed",
         true,
         "1 fix",
         "Clear all"},
        {Page::History,
         &history,
         {true, false},
         true,
         false,
         "Undo 1 change",
         true,
         "1 fix",
         "Select all"},
        {Page::History,
         &history,
         {true, true},
         true,
         false,
         "Undo 2 changes",
         true,
         "2 fixes",
         "Clear all"},
        {Page::Home,
         &mixed,
         {true, true},
         true,
         false,
         "",
         false,
         "frees 2 MB RAM · 1 MB disk",
         "Clear all"},
        {Page::Home, &fixes, {true, false}, true, false, "", false, "1 fix", "Select all"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action + "/" + c.subtitle);
        const Captions got = compute_captions(c.page, *c.rows, c.ticked, c.has_data, c.busy);
        EXPECT_EQ(got.action, c.action);
        EXPECT_EQ(got.action_enabled, c.enabled);
        EXPECT_EQ(got.optimise_subtitle, c.subtitle);
        EXPECT_EQ(got.optimise_enabled,
                  !c.busy && std::count(c.ticked.begin(), c.ticked.end(), true) > 0);
        EXPECT_EQ(got.select_all, c.select);
    }
    // Rows without a box never keep "Select all" from turning into "Clear all".
    std::vector<ListRow> with_health = mixed;
    with_health.push_back(ListRow{RowKind::Health});
    EXPECT_EQ(
        compute_captions(Page::Home, with_health, {true, true, false}, true, false).select_all,
        "Clear all");
    EXPECT_EQ(compute_captions(Page::Home, {}, {}, true, false).select_all, "Select all");
}

TEST(Rows, JournalRowsAndUndo) {
    ScanResult s;
    s.journal = {
        entry(1, SetStartupEnabled{StartupLocation::HkcuRun, "Updater", false}, true),
        entry(2, SetServiceStart{"TestSvc", "Test service", 3, true}, true, true),
        entry(3, KillProcesses{"chrome", {}}, true),
        entry(4, CleanJunk{"temp", "Temporary files"}, false),
        entry(5, SetServiceStart{"TestSvc", "Test service", 2, false}, true, false, 2),
        entry(6, SetServiceStart{"Other", "Other", 3, false}, true),
    };
    const auto rows = journal_rows(s.journal, stamp);
    ASSERT_EQ(rows.size(), 5u);  // the undo entry is not listed
    std::vector<std::uint64_t> ids;
    for (const ListRow& r : rows)
        ids.push_back(r.index);
    EXPECT_EQ(ids, (std::vector<std::uint64_t>{6, 4, 3, 2, 1}));
    EXPECT_EQ(rows[0].cells[3], "Can undo");
    EXPECT_EQ(rows[1].cells[3], "Didn't work");
    EXPECT_FALSE(rows[1].checkbox);
    EXPECT_EQ(rows[2].cells[3], "Done");
    EXPECT_FALSE(rows[2].checkbox);
    EXPECT_EQ(rows[3].cells[3], "Undone");
    EXPECT_EQ(rows[4].cells[0], "t10");
    EXPECT_EQ(rows[4].cells[2], "done");
    for (const ListRow& r : rows)
        EXPECT_FALSE(r.default_tick);

    // Entry 1 was undone meanwhile by another process: a note, not a second undo.
    ScanResult later = s;
    later.journal[0].undone = true;
    std::vector<ListRow> forced = rows;
    for (ListRow& r : forced)
        r.checkbox = true;
    const Changes c = rows_to_changes(all(forced), {&later, nullptr});
    ASSERT_EQ(c.ops.size(), 1u);
    EXPECT_EQ(std::get<UndoOp>(c.ops[0]).id, 6u);
    ASSERT_EQ(c.skip_notes.size(), 4u);
    EXPECT_EQ(c.skip_notes[3], "#1 (already undone)");
    EXPECT_NE(c.skip_notes[0].find("(nothing to undo)"), std::string::npos);

    const std::string q = confirm_text("Tessavo will:", c, later.journal);
    EXPECT_EQ(q.rfind("Tessavo will:\n\n• Undo: ", 0), 0u);
    EXPECT_NE(q.find("Some changes need admin rights"), std::string::npos);
    Changes unknown{{UndoOp{99}}, {}};
    EXPECT_EQ(confirm_text("Tessavo will:", unknown, later.journal),
              "Tessavo will:\n\n• Undo change #99\n\n\nContinue?");
}

TEST(Rows, ConfirmTextListsFourteenAndWarnings) {
    Changes c;
    for (int i = 0; i < 20; ++i)
        c.ops.push_back(ApplyOp{KillProcesses{"app" + std::to_string(i), {}}});
    c.ops.push_back(ApplyOp{CleanJunk{"temp", "Temporary files"}});
    c.skip_notes = {"a (part of Windows)", "b (needed by Windows)"};
    const std::string q = confirm_text("Optimise will:", c, {});
    int bullets = 0;
    for (std::size_t at = q.find("• "); at != std::string::npos; at = q.find("• ", at + 1))
        ++bullets;
    EXPECT_EQ(bullets, 15);
    EXPECT_NE(q.find("• …and 7 more\n"), std::string::npos);
    EXPECT_NE(q.find("\nSkipped: a (part of Windows), b (needed by Windows)\n"), std::string::npos);
    EXPECT_NE(q.find("\nApps that are closed lose unsaved work.\nDeleted junk files can't be "
                     "restored.\n\nContinue?"),
              std::string::npos);

    Changes folders{{ApplyOp{CleanJunk{"temp", "Temporary files"}},
                     ApplyOp{DeleteDevFolder{"C:\\a\\node_modules", "node_modules in a"}}},
                    {}};
    const std::string f = confirm_text("Tessavo will:", folders, {});
    EXPECT_EQ(f.find("Deleted junk files"), std::string::npos);
    EXPECT_NE(f.find("\nDeleted folders can't be restored; npm install, cargo build and the like "
                     "make them again when you need them.\n\nContinue?"),
              std::string::npos);
}

TEST(Rows, KeepName) {
    const std::pair<std::string, std::string> cases[] = {
        {"2 Gradle daemons", "Gradle daemon"},     {"Gradle daemon", "Gradle daemon"},
        {"3 Vite dev servers", "Vite dev server"}, {"chrome", "chrome"},
        {"2 Node servers", "Node server"},         {"4", "4"},
    };
    for (const auto& [label, shown] : cases)
        EXPECT_EQ(keep_name(label), shown) << label;
}

TEST(Rows, HintsAndPageRows) {
    ScanResult s = sample_scan();
    const std::vector<DevFolder> none;
    EXPECT_EQ(hint_text(Page::DevJunk, {}, false),
              "Looking for developer folders on your drives… This takes up to half a minute.");
    EXPECT_EQ(hint_text(Page::DevJunk, {nullptr, &none}, false).substr(0, 24),
              "No developer junk found:");
    EXPECT_EQ(hint_text(Page::Apps, {}, false), "Press Scan now on Home first.");
    // While the first scan runs ("--history" starts one) there is nothing to press.
    PageData scanning;
    scanning.scanning = true;
    for (Page page : {Page::History, Page::Junk})
        EXPECT_EQ(hint_text(page, scanning, false),
                  "Scanning your PC\xE2\x80\xA6 This list fills in when the scan is done.");
    EXPECT_EQ(hint_text(Page::Home, {&s}, false),
              "Nothing to fix right now. Your PC is in good shape.");
    EXPECT_EQ(hint_text(Page::History, {&s}, false),
              "No changes yet. Everything Tessavo changes shows up here.");
    EXPECT_TRUE(page_rows(Page::Home, {&s, nullptr, false}, stamp).empty());
    EXPECT_EQ(page_rows(Page::Apps, {&s}, stamp).size(), 2u);
    EXPECT_TRUE(page_rows(Page::Apps, {}, stamp).empty());
    EXPECT_EQ(page_columns(Page::Services).columns.size(), 5u);
    EXPECT_EQ(page_columns(Page::Services).emphasised, 3);
    EXPECT_TRUE(page_columns(Page::Autopilot).columns.empty());
}

}  // namespace
}  // namespace tess::ui
