// tessavo-cli's decisions: the command line, the operations it becomes, exit codes and
// the JSON it prints. The real commands are run under Wine (console_wintest.cpp).
#include "cli/cli.hpp"

#include <gtest/gtest.h>

namespace tess::cli {
namespace {

TEST(ConsoleRequest, CommandsAndTheirOptions) {
    const struct {
        std::vector<std::string> args;
        bool ok;
        Request request;
    } cases[] = {
        {{"scan"}, true, {Command::Scan}},
        {{"scan", "--bench"}, true, {.command = Command::Scan, .bench = true}},
        {{"scan", "--json", "--bench"}, false, {}},
        {{"junk", "--json"}, true, {.command = Command::Junk, .json = true}},
        {{"junk", "user_temp"}, false, {}},
        {{"clean", "user_temp", "--dry-run", "crash_dumps"},
         true,
         {.command = Command::Clean, .operands = {"user_temp", "crash_dumps"}, .dry_run = true}},
        {{"clean"}, false, {}},
        {{"clean", "user_temp", "--json"}, false, {}},
        {{"dev"}, true, {Command::Dev}},
        {{"dev", "C:\\src", "D:\\work", "--json"},
         true,
         {.command = Command::Dev, .operands = {"C:\\src", "D:\\work"}, .json = true}},
        {{"dev-clean", "--dry-run"}, false, {}},
        // "--" lets a folder be named like an option.
        {{"dev-clean", "--", "--odd"}, true, {.command = Command::DevClean, .operands = {"--odd"}}},
        {{"optimise", "--yes", "--dry-run", "--json"},
         true,
         {.command = Command::Optimise, .json = true, .dry_run = true, .yes = true}},
        {{"optimise", "now"}, false, {}},
        {{"optimise", "-y"}, false, {}},
        {{"focus", "on"}, true, {.command = Command::Focus, .operands = {"on"}}},
        {{"focus", "status"}, true, {.command = Command::Focus, .operands = {"status"}}},
        {{"focus"}, false, {}},
        {{"focus", "toggle"}, false, {}},
        {{"focus", "on", "off"}, false, {}},
        {{"autopilot", "run", "--dry-run"},
         true,
         {.command = Command::Autopilot, .operands = {"run"}, .dry_run = true}},
        {{"autopilot", "status", "--dry-run"}, false, {}},
        {{"autopilot", "status", "--json"}, false, {}},
        {{"history", "--json"}, true, {.command = Command::History, .json = true}},
        {{"undo", "3", "#4"}, true, {.command = Command::Undo, .operands = {"3", "#4"}}},
        {{"undo"}, false, {}},
        {{"help"}, true, {Command::Help}},
        {{"--help"}, true, {Command::Help}},
        {{}, false, {}},
        {{"frobnicate"}, false, {}},
        {{"Scan"}, false, {}},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args)
            joined += a + " ";
        const auto r = parse_request(c.args);
        EXPECT_EQ(r.ok(), c.ok) << joined;
        if (r && c.ok) {
            EXPECT_EQ(*r, c.request) << joined;
        }
        if (!r) {
            EXPECT_FALSE(r.error().empty()) << joined;
        }
    }
}

TEST(ConsoleClean, CategoriesBecomeCleansTitledAsTheJunkPageDoes) {
    const auto ops = clean_ops({"user_temp", "recycle_bin"});
    ASSERT_TRUE(ops);
    EXPECT_EQ(*ops, (std::vector<Op>{ApplyOp{CleanJunk{"user_temp", "Temporary files"}},
                                     ApplyOp{CleanJunk{"recycle_bin", "Recycle Bin"}}}));
    const auto bad = clean_ops({"user_temp", "User_Temp"});
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error(), "unknown junk category User_Temp");
}

TEST(ConsoleDevClean, LabelsAsTheDeveloperPage) {
    const std::vector<PackageCache> caches = {{"C:\\Users\\me\\.cargo\\registry", "Cargo crates"}};
    const struct {
        std::string path;
        std::string label;
    } cases[] = {
        {"C:\\src\\shop\\node_modules", "node_modules in shop"},
        {"C:/src/shop/node_modules/", "node_modules in shop"},
        {"D:\\target", "target"},
        {"c:\\users\\ME\\.cargo\\registry", "Cargo crates"},
    };
    for (const auto& c : cases) {
        const auto ops = dev_clean_ops({c.path}, caches);
        ASSERT_EQ(ops.size(), 1u);
        const auto* action = std::get_if<DeleteDevFolder>(&std::get<ApplyOp>(ops[0]).action);
        ASSERT_TRUE(action) << c.path;
        EXPECT_EQ(action->label, c.label) << c.path;
    }
}

JournalEntry entry(bool ok) {
    JournalEntry e;
    e.action = CleanJunk{"user_temp", "Temporary files"};
    e.ok = ok;
    e.message = ok ? "removed 1 file(s), 1 KB" : "Recycle Bin could not be emptied (0x80004005)";
    return e;
}

// A change made but not saved to History reads as made, with the reason it can't be
// undone; one stopped before it was made reads as not done.
TEST(ConsoleChangesText, UnsavedChanges) {
    ChangesRun run;
    run.entries = {entry(true), entry(true), entry(true)};
    run.entries[1].ok = false;
    run.entries[1].message += kUnsavedSuffix;
    run.entries[2].ok = false;
    run.entries[2].message = std::string(kNotChangedUnsaved);
    run.status.text = "status";
    EXPECT_EQ(changes_text(run),
              "Clean Temporary files: removed 1 file(s), 1 KB\n"
              "Clean Temporary files: removed 1 file(s), 1 KB, but couldn't be saved to History, "
              "so it can't be undone\n"
              "Clean Temporary files: didn't work: History couldn't be saved, so nothing was "
              "changed\n"
              "status\n");
}

TEST(ConsoleExitCodes, ChangesAndOptimise) {
    const ElevationResult cancelled{ElevationKind::Cancelled, 0, {}};
    const ElevationResult failed{ElevationKind::Failed, 0, "admin helper did not start"};
    JournalEntry unsaved = entry(true);
    unsaved.ok = false;
    unsaved.message += kUnsavedSuffix;
    const struct {
        std::vector<JournalEntry> entries;
        std::optional<ElevationResult> elevation;
        int code;
        std::vector<std::string> skip_notes = {};
    } runs[] = {
        {{entry(true)}, std::nullopt, kExitDone},
        // Made but not recorded; the helper could not record one; undone by another first.
        {{entry(true), unsaved}, std::nullopt, kExitSomeFailed},
        {{entry(true)},
         ElevationResult{ElevationKind::Finished, kHelperUnsaved, {}},
         kExitSomeFailed},
        {{}, std::nullopt, kExitSomeFailed, {"#1 (already undone)"}},
        {{}, std::nullopt, kExitDone},
        {{entry(true), entry(false)}, std::nullopt, kExitSomeFailed},
        {{entry(true)}, cancelled, kExitRefused},
        {{entry(false)}, cancelled, kExitSomeFailed},
        {{entry(true)}, failed, kExitSomeFailed},
        {{entry(true)}, ElevationResult{ElevationKind::Finished, 0, {}}, kExitDone},
    };
    for (std::size_t i = 0; i < std::size(runs); ++i) {
        ChangesRun run;
        run.entries = runs[i].entries;
        run.elevation = runs[i].elevation;
        run.skip_notes = runs[i].skip_notes;
        EXPECT_EQ(changes_exit_code(run), runs[i].code) << i;
    }
    const struct {
        OptimiseResult result;
        int code;
    } results[] = {
        {{.applied = 3}, kExitDone},
        {{.skipped = 2}, kExitRefused},
        {{.failures = {"x"}, .skipped = 2}, kExitSomeFailed},
        {{.applied = 3, .test_run = true}, kExitDone},
    };
    for (const auto& r : results)
        EXPECT_EQ(optimise_exit_code(r.result), r.code);
}

ScanResult proposal_scan() {
    ScanResult scan;
    Suggestion idle;
    idle.title = "Close 2 Gradle daemons";
    idle.action = KillProcesses{"2 Gradle daemons", {{10, "java.exe", 1}, {11, "java.exe", 2}}};
    idle.bytes = 3 << 20;
    idle.ticked = true;
    Suggestion kept = idle;
    kept.title = "Close Slack";
    kept.action = KillProcesses{"Slack", {{12, "slack.exe", 3}}};
    kept.ticked = false;  // on the keep list
    Suggestion service;
    service.title = "Start \"Sync\" only when needed";
    service.action = SetServiceStart{"Sync", "Sync", 3, true};
    service.ticked = true;
    service.section = SuggestionSection::Service;
    scan.report.suggestions = {idle, kept, service};
    JunkRow temp{"user_temp", "Temporary files", "d", 5, 4096, true, false, true};
    JunkRow empty{"crash_dumps", "Crash dumps & error reports", "d", 0, 0, true, false, true};
    JunkRow windows{"windows_temp", "Windows temporary files", "d", 0, 0, false, true, true};
    JunkRow browser{"browser_cache", "Browser cache", "d", 9, 1 << 20, true, false, false};
    scan.report.junk = {temp, empty, windows, browser};
    return scan;
}

// Each category's size as the Junk page gives it: a total of nothing is "empty" (or
// unknown when not everything could be read), never "1 KB in 0 files".
TEST(ConsoleJunk, ZeroIsEmpty) {
    const std::vector<JunkRow> rows = {
        {"user_temp", "Temporary files", "d", 5, 4096, true, false, true},
        {"crash_dumps", "Crash dumps", "d", 0, 0, true, false, false},
        {"windows_temp", "Windows temporary files", "d", 0, 0, false, true, false},
        {"browser_cache", "Browser cache", "d", 1, 1 << 20, false, false, true},
    };
    EXPECT_EQ(junk_text(rows),
              "[x] user_temp: Temporary files, 4 KB in 5 files\n"
              "[ ] crash_dumps: Crash dumps, empty\n"
              "[ ] windows_temp: Windows temporary files, size unknown (needs admin to read)\n"
              "[x] browser_cache: Browser cache, 1 MB in 1 file (not all read)\n");
}

// The proposal with its default ticks, as the window's Optimise takes it: ticked
// suggestions, then the junk worth cleaning that is ticked by default.
TEST(ConsoleOptimise, DefaultTicksBecomeTheWindowsActions) {
    const ScanResult scan = proposal_scan();
    const OptimisePlan plan = optimise_plan(scan);
    EXPECT_EQ(
        plan.actions,
        (std::vector<Action>{scan.report.suggestions[0].action, scan.report.suggestions[2].action,
                             CleanJunk{"user_temp", "Temporary files"},
                             CleanJunk{"windows_temp", "Windows temporary files"}}));
    EXPECT_EQ(plan.junk_estimate, 4096u);
    const std::string q = optimise_question(plan, {});
    EXPECT_TRUE(q.starts_with("Optimise will:\n\n")) << q;
    EXPECT_NE(q.find("End 2 Gradle daemons (2 processes)"), std::string::npos) << q;
    EXPECT_TRUE(q.ends_with("Continue?")) << q;

    EXPECT_TRUE(optimise_plan(ScanResult{}).actions.empty());
}

// Every document parses back and carries what a script needs.
TEST(ConsoleJson, DocumentsParseBack) {
    const ScanResult scan = proposal_scan();
    auto junk = json::parse_strict(json::dump_pretty(junk_json(scan.report.junk)));
    ASSERT_TRUE(junk);
    ASSERT_EQ((*junk)["junk"].size(), 4u);
    EXPECT_EQ((*junk)["junk"][0]["id"], "user_temp");
    EXPECT_EQ((*junk)["junk"][0]["bytes"], 4096);
    EXPECT_EQ((*junk)["junk"][2]["complete"], false);

    DevFolder folder{"C:\\src\\Zo\xC3\xAB\\node_modules",
                     DevFolderKind::JsPackages,
                     "node_modules",
                     "Zo\xC3\xAB",
                     5000,
                     3,
                     45};
    DevFolder cache{"C:\\u\\.m2\\repository",
                    DevFolderKind::PackageCache,
                    "Maven repository",
                    "",
                    7000,
                    9,
                    std::nullopt};
    auto dev = json::parse_strict(json::dump_pretty(dev_json({folder, cache})));
    ASSERT_TRUE(dev);
    const auto& f = (*dev)["folders"];
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0]["label"], "node_modules in Zo\xC3\xAB");
    EXPECT_EQ(f[0]["kind"], "js_packages");
    EXPECT_EQ(f[0]["project_age_days"], 45);
    EXPECT_EQ(f[0]["ticked"], true);
    EXPECT_TRUE(f[1]["project_age_days"].is_null());
    EXPECT_EQ(f[1]["ticked"], false);

    const OptimisePlan plan = optimise_plan(scan);
    OptimiseResult result{
        .applied = 4, .closed = 1, .committed_before = 9 << 20, .committed_after = 5 << 20};
    auto opt = json::parse_strict(json::dump_pretty(optimise_json(plan, &result)));
    ASSERT_TRUE(opt);
    EXPECT_EQ((*opt)["actions"].size(), 4u);
    EXPECT_EQ((*opt)["actions"][3]["action"]["kind"], "clean_junk");
    EXPECT_EQ((*opt)["result"]["applied"], 4);
    EXPECT_EQ((*opt)["lines"][0], "Freed 4 MB of memory");
    auto nothing = json::parse_strict(json::dump_pretty(optimise_json(OptimisePlan{}, nullptr)));
    ASSERT_TRUE(nothing);
    EXPECT_TRUE((*nothing)["result"].is_null());
    EXPECT_EQ((*nothing)["lines"][0], "Nothing needed changing.");
}

// Scripts find out which contract a document follows from its first key.
TEST(ConsoleJson, EveryDocumentStartsWithTheSchemaVersion) {
    const ScanResult scan = proposal_scan();
    const OptimiseResult result{.applied = 1};
    const auto stamp = [](std::uint64_t t) { return std::to_string(t); };
    const std::vector<std::pair<std::string, json::Out>> docs = {
        {"scan", scan_json(scan)},
        {"junk", junk_json(scan.report.junk)},
        {"dev", dev_json({})},
        {"optimise", optimise_json(optimise_plan(scan), &result)},
        {"optimise, nothing to do", optimise_json(OptimisePlan{}, nullptr)},
        {"history", history_json({}, stamp)},
    };
    for (const auto& [name, doc] : docs) {
        ASSERT_TRUE(doc.is_object()) << name;
        EXPECT_EQ(doc.begin().key(), "schema_version") << name;
        EXPECT_EQ(doc.begin().value(), kJsonSchemaVersion) << name;
    }
    EXPECT_EQ(kJsonSchemaVersion, 1);
    // The report itself follows the version.
    EXPECT_EQ(scan_json(scan)["health_score"], scan_result_json(scan)["health_score"]);
}

TEST(ConsoleBackground, FocusAndAutopilotStatus) {
    EXPECT_EQ(focus_status_text(false, std::nullopt), "Focus mode is off");
    FocusState on;
    on.slowed.resize(2);
    EXPECT_EQ(focus_status_text(true, on),
              "Focus mode is on: 2 background programs in efficiency mode");
    // focus.json exists but does not parse: still on, as every other reader has it.
    EXPECT_EQ(focus_status_text(true, std::nullopt),
              "Focus mode is on: its saved state can't be read; \"focus off\" turns it off");
    const auto stamp = [](std::uint64_t t) { return "at " + std::to_string(t); };
    const struct {
        Schedule schedule;
        const char* text;
    } cases[] = {
        {{}, "Autopilot is off: every 7 days; never run"},
        {{.enabled = true,
          .every_days = 1,
          .last_run = 99,
          .last_result = "Nothing needed cleaning"},
         "Autopilot is on: every 1 day; last run at 99: Nothing needed cleaning"},
        {{.enabled = true, .every_days = 3, .last_run = 5, .close_dev_servers = true},
         "Autopilot is on: every 3 days, closing idle dev servers too; last run at 5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(autopilot_status_text(c.schedule, stamp), c.text);
    EXPECT_EQ(autopilot_exit_code(AutopilotRun{}), kExitDone);
    EXPECT_EQ(autopilot_exit_code(AutopilotRun{.failed = 1}), kExitSomeFailed);
}

std::vector<JournalEntry> history_journal() {
    Journal j{"C:\\d\\journal.json", {}};
    JournalEntry off;
    off.action = SetStartupEnabled{StartupLocation::HkcuRun, "Steam", false};
    off.ok = true;
    off.message = "disabled";
    off.previous = StartupApproved{std::nullopt};
    push_entry(j, off, 10);  // #1, later undone by #4
    JournalEntry clean;
    clean.action = CleanJunk{"user_temp", "Temporary files"};
    clean.ok = true;
    clean.message = "removed 2 file(s), 1 KB";
    clean.freed_bytes = 900;
    push_entry(j, clean, 20);  // #2: nothing to undo
    JournalEntry failed = off;
    failed.ok = false;
    failed.message = "Changing startup state failed: access denied (needs admin)";
    failed.previous = Nothing{};
    push_entry(j, failed, 30);  // #3
    JournalEntry undo = off;
    undo.message = "Undo: startup setting restored";
    undo.undo_of = 1;
    push_entry(j, undo, 40);  // #4
    j.entries[0].undone = true;
    JournalEntry on = off;
    on.action = SetStartupEnabled{StartupLocation::HkcuRun, "Zoom", false};
    push_entry(j, on, 50);  // #5: can be undone
    return j.entries;
}

TEST(ConsoleHistory, AsHistoryListsItAndUndoWithItsNotes) {
    const auto journal = history_journal();
    const auto stamp = [](std::uint64_t t) { return "t" + std::to_string(t); };
    EXPECT_EQ(history_text(journal, stamp),
              "#5  t50  Disable \"Zoom\" at startup: disabled (Can undo)\n"
              "#3  t30  Disable \"Steam\" at startup: Changing startup state failed: access denied "
              "(needs admin) (Didn't work)\n"
              "#2  t20  Clean Temporary files: removed 2 file(s), 1 KB (Done)\n"
              "#1  t10  Disable \"Steam\" at startup: disabled (Undone)\n");
    EXPECT_EQ(history_text({}, stamp),
              "No changes yet. Everything Tessavo changes shows up here.\n");
    auto doc = json::parse_strict(json::dump_pretty(history_json(journal, stamp)));
    ASSERT_TRUE(doc);
    const auto& h = (*doc)["history"];
    ASSERT_EQ(h.size(), 4u);
    EXPECT_EQ(h[0]["id"], 5);
    EXPECT_EQ(h[0]["status"], "Can undo");
    EXPECT_EQ(h[2]["freed_bytes"], 900);
    EXPECT_EQ(h[3]["undone"], true);
    EXPECT_EQ(h[3]["action"]["kind"], "set_startup_enabled");

    const ui::Changes c = undo_changes({5, 1, 2, 3, 4, 99}, journal);
    EXPECT_EQ(c.ops, (std::vector<Op>{UndoOp{5}}));
    EXPECT_EQ(c.skip_notes, (std::vector<std::string>{
                                "#1 (already undone)",
                                "Clean Temporary files (nothing to undo)",
                                "Disable \"Steam\" at startup (nothing to undo)",
                                "#4 (not in the history)",
                                "#99 (not in the history)",
                            }));

    const auto ids = parse_ids({"3", "#12", "18446744073709551615"});
    ASSERT_TRUE(ids);
    EXPECT_EQ(*ids, (std::vector<std::uint64_t>{3, 12, 18446744073709551615ull}));
    for (const char* bad :
         {"", "#", "x1", "1.5", "-2", "18446744073709551616", "99999999999999999999"})
        EXPECT_FALSE(parse_ids({bad})) << bad;
}

TEST(ConsoleAnswer, OnlyYesGoesAhead) {
    for (const char* yes : {"y", "Y", "yes", " YES\r\n", "y\n"})
        EXPECT_TRUE(is_yes(yes)) << yes;
    for (const char* no : {"", "n", "no", "yess", "sure", "\r\n", "y y"})
        EXPECT_FALSE(is_yes(no)) << no;
}

}  // namespace
}  // namespace tess::cli
