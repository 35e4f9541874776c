// The apply runs' order, hand-over and counting on a stand-in system; the real
// executor, helper and window messages are shown under Wine (apply_wintest.cpp).
#include "changes/apply.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tess {
namespace {

const std::string kJournal = "C:\\data\\journal.json";

JournalEntry entry(Action action, bool ok, std::string message, std::uint64_t freed = 0) {
    JournalEntry e;
    e.action = std::move(action);
    e.ok = ok;
    e.message = std::move(message);
    e.freed_bytes = freed;
    return e;
}

// Applies every op whose action is not a service change (one entry each, with the
// outcome `outcome_of` says); service changes come back for the helper.
struct FakeRun {
    Journal journal{kJournal, {}};
    std::vector<std::string> events;
    std::vector<Plan> plans;
    ElevationResult elevation{ElevationKind::Finished, 0, {}};
    std::vector<std::uint64_t> committed = {5'000'000'000ull, 3'000'000'000ull};
    std::size_t committed_reads = 0;
    bool dry_run = false;

    JournalEntry outcome_of(const Action& a) {
        if (std::holds_alternative<KillProcesses>(a)) return entry(a, true, "ended 1");
        if (std::holds_alternative<CleanJunk>(a)) return entry(a, true, "removed", 3 * 1048576);
        if (std::holds_alternative<DeleteDevFolder>(a)) return entry(a, true, "removed", 2048);
        if (const auto* s = std::get_if<SetStartupEnabled>(&a))
            return entry(a, s->value_name != "Broken", s->value_name == "Broken" ? "broke" : "ok");
        return entry(a, true, "Automatic \xE2\x86\x92 Manual, stopped");
    }

    // Another process's entry, appended while this run works.
    std::function<void()> meanwhile;

    JournalEntry append(const Action& a, const std::string& run) {
        JournalEntry e = outcome_of(a);
        e.run = run;
        return push_entry(journal, std::move(e), 1);
    }

    RunSystem system() {
        RunSystem s;
        s.journal_path = kJournal;
        s.dry_run = dry_run;
        s.run = "run-1";
        s.apply = [this](const std::string& path, const std::vector<Op>& ops) {
            EXPECT_EQ(path, kJournal);
            events.push_back("apply " + std::to_string(ops.size()));
            ExecutorRun run;
            for (const auto& op : ops) {
                if (meanwhile) meanwhile();
                const Action& a = std::get<ApplyOp>(op).action;
                if (std::holds_alternative<SetServiceStart>(a))
                    run.deferred.push_back(op);
                else
                    run.entries.push_back(append(a, "run-1"));
            }
            return run;
        };
        s.elevate = [this](const Plan& plan) {
            events.push_back("elevate " + std::to_string(plan.ops.size()));
            plans.push_back(plan);
            if (elevation.kind == ElevationKind::Finished)
                for (const auto& op : plan.ops) {
                    if (meanwhile) meanwhile();
                    append(std::get<ApplyOp>(op).action, plan.run);
                }
            return elevation;
        };
        s.load_journal = [this](const std::string& path) {
            EXPECT_EQ(path, kJournal);
            events.push_back("load");
            return journal;
        };
        s.committed_memory = [this] {
            events.push_back("committed");
            return committed[std::min(committed_reads++, committed.size() - 1)];
        };
        s.sleep = [this](std::uint32_t ms) { events.push_back("sleep " + std::to_string(ms)); };
        return s;
    }

    std::vector<std::string> phases;
    OptimiseResult run(const std::vector<Action>& actions, std::uint64_t estimate = 0) {
        return phased_run(
            actions, estimate,
            [this](ApplyPhase p) {
                events.push_back("phase " + std::to_string(static_cast<int>(p)));
            },
            system());
    }
};

const Action kKill = KillProcesses{"Chrome", {{10, "chrome.exe", 1}}};
const Action kJunk = CleanJunk{"user_temp", "Temporary files"};
const Action kService = SetServiceStart{"SysMain", "SysMain", 3, true};
const Action kStartupOff = SetStartupEnabled{StartupLocation::HkcuRun, "Steam", false};
const Action kStartupOn = SetStartupEnabled{StartupLocation::HkcuRun, "Zoom", true};
const Action kBroken = SetStartupEnabled{StartupLocation::HkcuRun, "Broken", false};
const Action kDev = DeleteDevFolder{"C:\\src\\a\\node_modules", "a"};

TEST(PhasedRun, GroupsInPhasesHelperLastCountsFromTheRunsEntries) {
    FakeRun f;
    // Earlier history, including a failure, is not this run's.
    push_entry(f.journal, entry(kKill, true, "ended 4"), 1);
    push_entry(f.journal, entry(kJunk, false, "old failure"), 1);
    const OptimiseResult r =
        f.run({kService, kStartupOff, kJunk, kKill, kBroken, kDev, kStartupOn, kKill}, 777);
    EXPECT_EQ(f.events, (std::vector<std::string>{"committed", "phase 0", "apply 2", "phase 1",
                                                  "apply 1", "phase 2", "apply 5", "elevate 1",
                                                  "load", "phase 3", "sleep 1500", "committed"}));
    ASSERT_EQ(f.plans.size(), 1u);
    EXPECT_EQ(f.plans[0], (Plan{kJournal, {ApplyOp{kService}}, "run-1-admin"}));
    EXPECT_EQ(r.applied, 7u);
    EXPECT_EQ(r.closed, 2u);
    EXPECT_EQ(r.services, 1u);
    EXPECT_EQ(r.startup_off, 1u);
    EXPECT_EQ(r.junk_bytes, 3u * 1048576 + 2048);
    EXPECT_EQ(r.failures, std::vector<std::string>{"broke"});
    EXPECT_EQ(r.skipped, 0u);
    EXPECT_EQ(r.committed_before, 5'000'000'000u);
    EXPECT_EQ(r.committed_after, 3'000'000'000u);
    EXPECT_FALSE(r.test_run);
}

TEST(PhasedRun, EmptyGroupsStillPostTheirPhasesAndNoHelperWhenNothingNeedsIt) {
    FakeRun f;
    const OptimiseResult r = f.run({kStartupOff});
    EXPECT_EQ(f.events, (std::vector<std::string>{"committed", "phase 0", "apply 0", "phase 1",
                                                  "apply 0", "phase 2", "apply 1", "phase 3",
                                                  "sleep 1500", "committed"}));
    EXPECT_TRUE(f.plans.empty());
    EXPECT_EQ(r.applied, 1u);
}

TEST(PhasedRun, DeclinedApprovalCountsTheHandedOverOpsAsSkipped) {
    FakeRun f;
    f.elevation = {ElevationKind::Cancelled, 0, {}};
    const Action other_service = SetServiceStart{"WSearch", "Windows Search", 3, false};
    const OptimiseResult r = f.run({kService, kKill, other_service});
    EXPECT_EQ(f.plans.at(0).ops, (std::vector<Op>{ApplyOp{kService}, ApplyOp{other_service}}));
    EXPECT_EQ(r.skipped, 2u);
    EXPECT_EQ(r.applied, 1u);
    EXPECT_EQ(r.services, 0u);
    EXPECT_TRUE(r.failures.empty());
}

TEST(PhasedRun, FailedHandOverComesFirstAmongTheFailures) {
    FakeRun f;
    f.elevation = {ElevationKind::Failed, 0, "could not start the admin helper (Windows error 2)"};
    const OptimiseResult r = f.run({kBroken, kService});
    EXPECT_EQ(r.failures, (std::vector<std::string>{
                              "could not start the admin helper (Windows error 2)", "broke"}));
    EXPECT_EQ(r.skipped, 0u);
}

// A journal that shrank (moved aside as invalid by someone) takes nothing from what
// the run did.
TEST(PhasedRun, ShrunkenJournalStillCountsTheRunsOwnEntries) {
    FakeRun f;
    for (int i = 0; i < 3; ++i)
        push_entry(f.journal, entry(kKill, true, "ended 1"), 1);
    RunSystem s = f.system();
    auto apply = s.apply;
    s.apply = [&](const std::string& path, const std::vector<Op>& ops) {
        f.journal.entries.clear();
        return apply(path, ops);
    };
    const OptimiseResult r = phased_run(
        {kKill}, 0, [](ApplyPhase) {}, s);
    EXPECT_EQ(r.applied, 1u);
    EXPECT_EQ(r.closed, 1u);
}

// Other processes append while the run and its helper work (a page apply beside
// Autopilot, two consoles): their entries, failures included, are not this run's.
TEST(PhasedRun, OthersEntriesWrittenMeanwhileNeverCount) {
    FakeRun f;
    f.meanwhile = [&] {
        JournalEntry e = entry(kKill, false, "someone else's failure");
        e.run = "run-2";
        push_entry(f.journal, e, 1);
        push_entry(f.journal, entry(kJunk, true, "removed", 5'000'000), 1);
    };
    const OptimiseResult r = f.run({kKill, kService, kJunk});
    EXPECT_EQ(f.journal.entries.size(), 11u);
    EXPECT_EQ(r.applied, 3u);
    EXPECT_EQ(r.closed, 1u);
    EXPECT_EQ(r.services, 1u);
    EXPECT_EQ(r.junk_bytes, 3u * 1048576);
    EXPECT_TRUE(r.failures.empty());

    FakeRun g;
    g.meanwhile = f.meanwhile;
    const ChangesRun run = run_changes({ApplyOp{kStartupOff}, ApplyOp{kService}}, g.system());
    ASSERT_EQ(run.entries.size(), 2u);
    EXPECT_EQ(run.entries[0].action, kStartupOff);
    EXPECT_EQ(run.entries[1].action, kService);
    EXPECT_EQ(run.status.text, "\xE2\x9C\x94 Done: 2 change(s) applied.");
    EXPECT_TRUE(run.status.success);
}

// The executor's entry that the journal could not take is a failure; so is a helper
// that says it could not save one.
TEST(PhasedRun, UnsavedChangesAreFailures) {
    FakeRun f;
    f.elevation = {ElevationKind::Finished, static_cast<std::uint32_t>(kHelperUnsaved), {}};
    RunSystem s = f.system();
    auto apply = s.apply;
    s.apply = [&](const std::string& path, const std::vector<Op>& ops) {
        ExecutorRun run = apply(path, ops);
        for (auto& e : run.entries) {
            e.id = 0;
            e.ok = false;
            e.message += kUnsavedSuffix;
        }
        return run;
    };
    const OptimiseResult r = phased_run(
        {kKill, kService}, 0, [](ApplyPhase) {}, s);
    EXPECT_EQ(r.closed, 0u);
    EXPECT_EQ(r.failures, (std::vector<std::string>{
                              "ended 1, but couldn't be saved to History, so it can't be undone",
                              std::string(kHelperUnsavedText)}));

    s.run = "run-2";  // every run has a tag of its own
    const ChangesRun run = run_changes({ApplyOp{kKill}, ApplyOp{kService}}, s);
    EXPECT_EQ(run.status.text,
              "1 change(s) applied, 1 didn't work (ended 1, but couldn't be saved to History, so "
              "it can't be undone). Some changes made with admin rights couldn't be saved to "
              "History, so they can't be undone.");
    EXPECT_FALSE(run.status.success);
}

TEST(PhasedRun, TestRunChangesNothingAndCountsThePlan) {
    FakeRun f;
    f.dry_run = true;
    const OptimiseResult r = f.run({kKill, kKill, kJunk, kService, kStartupOff, kStartupOn}, 4096);
    EXPECT_EQ(f.events, (std::vector<std::string>{"committed", "phase 0", "sleep 500", "phase 1",
                                                  "sleep 500", "phase 2", "sleep 500", "phase 3"}));
    EXPECT_TRUE(f.journal.entries.empty());
    EXPECT_TRUE(r.test_run);
    EXPECT_EQ(r.applied, 6u);
    EXPECT_EQ(r.closed, 2u);
    EXPECT_EQ(r.services, 1u);
    EXPECT_EQ(r.startup_off, 1u);
    EXPECT_EQ(r.junk_bytes, 4096u);
    EXPECT_EQ(r.committed_after, r.committed_before);
    // Never a "Freed" line in a test run, and no line that says it closed anything.
    EXPECT_EQ(result_lines(r)[0], "Would close 2 idle programs");

    FakeRun g;
    g.dry_run = true;
    EXPECT_EQ(g.run({kKill, kDev}, 4096).junk_bytes, 0u);
}

TEST(ResultLines, EveryLineInOrder) {
    OptimiseResult r;
    r.committed_before = 3 * 1048576 + 10;
    r.committed_after = 1048576;
    r.closed = 2;
    r.junk_bytes = 1610612736;
    r.startup_off = 3;
    r.services = 1;
    r.skipped = 4;
    r.failures = {"ended 0, 1 access denied", "second"};
    // What went wrong comes first, one line per failure, so no screen that shows only the
    // first lines can hide it.
    EXPECT_EQ(result_lines(r), (std::vector<std::string>{
                                   "4 change(s) skipped: admin approval was cancelled",
                                   "2 change(s) didn't work: ended 0, 1 access denied",
                                   "Also didn't work: second",
                                   "Freed 2 MB of memory",
                                   "Closed 2 idle program group(s)",
                                   "Deleted 1.5 GB of junk files",
                                   "3 app(s) no longer open at sign-in",
                                   "1 service(s) now start only when needed",
                               }));
}

TEST(ResultLines, SingleLinesAndNothing) {
    const struct {
        OptimiseResult r;
        std::vector<std::string> lines;
    } cases[] = {
        {{}, {"Nothing needed changing."}},
        // Memory that rose or stayed gives no line.
        {{.committed_before = 5, .committed_after = 9}, {"Nothing needed changing."}},
        {{.committed_before = 9, .committed_after = 9}, {"Nothing needed changing."}},
        {{.applied = 1}, {"Nothing needed changing."}},
        // A one-click junk clean that freed no memory.
        {{.junk_bytes = 10, .committed_before = 100, .committed_after = 100},
         {"Deleted 1 KB of junk files"}},
        // Memory freed by a run that closed programs, and memory that dropped by itself.
        {{.closed = 1, .committed_before = 1025, .committed_after = 1},
         {"Freed 1 KB of memory", "Closed 1 idle program group(s)"}},
        {{.committed_before = 1025, .committed_after = 1}, {"Nothing needed changing."}},
        {{.applied = 2, .services = 2, .committed_before = 3 << 20, .committed_after = 1 << 20},
         {"2 service(s) now start only when needed"}},
        {{.junk_bytes = 2048, .committed_before = 3 << 20, .committed_after = 1},
         {"Deleted 2 KB of junk files"}},
        {{.skipped = 1}, {"1 change(s) skipped: admin approval was cancelled"}},
        {{.failures = {"x"}}, {"1 change(s) didn't work: x"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(result_lines(c.r), c.lines);
}

// A test run changed nothing: every line says what would have been done.
TEST(ResultLines, TestRunSaysWhatWouldHaveBeenDone) {
    const struct {
        OptimiseResult r;
        std::vector<std::string> lines;
    } cases[] = {
        {{.applied = 4,
          .closed = 1,
          .services = 2,
          .startup_off = 1,
          .junk_bytes = 3 << 20,
          .test_run = true},
         {"Would close 1 idle program", "Would delete 3 MB of junk files",
          "Would stop 1 app opening at sign-in", "Would set 2 services to start only when needed"}},
        {{.closed = 2, .startup_off = 3, .test_run = true},
         {"Would close 2 idle programs", "Would stop 3 apps opening at sign-in"}},
        {{.services = 1, .test_run = true}, {"Would set 1 service to start only when needed"}},
        // Memory that dropped by itself during a test run is never "freed".
        {{.closed = 1, .committed_before = 9 << 20, .committed_after = 1, .test_run = true},
         {"Would close 1 idle program"}},
        {{.test_run = true}, {"Nothing would need changing."}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(result_lines(c.r), c.lines);
}

// More lines than the room: the first ones (the problems) and "…and {} more" last.
TEST(ResultLines, FitLinesKeepsTheFirstAndCountsTheRest) {
    const std::vector<std::string> five = {"a", "b", "c", "d", "e"};
    const struct {
        std::vector<std::string> lines;
        std::size_t room;
        std::vector<std::string> fitted;
    } cases[] = {
        {five, 4, {"a", "b", "c", "…and 2 more"}},
        {five, 3, {"a", "b", "…and 3 more"}},
        {five, 5, five},
        {five, 9, five},
        {{"a", "b"}, 1, {"…and 2 more"}},
        {{"a"}, 0, {}},
        {{}, 4, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fit_lines(c.lines, c.room), c.fitted) << c.lines.size() << " in " << c.room;
}

TEST(ResultLines, ProblemsAndNothingWorked) {
    const struct {
        OptimiseResult r;
        bool problems, nothing_worked;
    } cases[] = {
        {{}, false, false},
        {{.applied = 3}, false, false},
        {{.failures = {"x"}, .applied = 2}, true, false},
        {{.failures = {"x"}}, true, true},
        {{.skipped = 1}, true, true},
        {{.applied = 1, .skipped = 1}, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(has_problems(c.r), c.problems) << c.r.applied;
        EXPECT_EQ(nothing_worked(c.r), c.nothing_worked) << c.r.applied;
    }
}

TEST(ChangesRun, ThreeChangesOneDeclined) {
    FakeRun f;
    f.elevation = {ElevationKind::Cancelled, 0, {}};
    push_entry(f.journal, entry(kKill, false, "old"), 1);
    const ChangesStatus s =
        changes_run({ApplyOp{kStartupOff}, ApplyOp{kService}, ApplyOp{kKill}}, f.system());
    EXPECT_EQ(s.text,
              "\xE2\x9C\x94 Done: 2 change(s) applied. 1 change(s) skipped because admin approval "
              "was cancelled.");
    EXPECT_FALSE(s.success);
    EXPECT_EQ(f.events, (std::vector<std::string>{"apply 3", "elevate 1"}));
}

TEST(ChangesRun, HelperFinishedCountsItsEntries) {
    FakeRun f;
    const ChangesStatus s = changes_run({ApplyOp{kService}, ApplyOp{kJunk}}, f.system());
    EXPECT_EQ(s.text, "\xE2\x9C\x94 Done: 2 change(s) applied, 3 MB deleted.");
    EXPECT_TRUE(s.success);
}

// History's undo of an entry another process undid first: the executor's note is the
// status, never "Done".
TEST(ChangesRun, AnUndoAnotherProcessDidFirstIsSkippedNotDone) {
    FakeRun f;
    RunSystem s = f.system();
    s.apply = [](const std::string&, const std::vector<Op>&) {
        ExecutorRun run;
        run.skip_notes = {"#1 (already undone)"};
        return run;
    };
    ChangesRun run = run_changes({UndoOp{1}}, s);
    EXPECT_TRUE(run.entries.empty());
    EXPECT_EQ(run.skip_notes, std::vector<std::string>{"#1 (already undone)"});
    EXPECT_EQ(run.status,
              (ChangesStatus{"Nothing was changed. Skipped: #1 (already undone).", false}));

    s.apply = [&](const std::string&, const std::vector<Op>&) {
        ExecutorRun run;
        run.entries = {f.append(kStartupOff, "run-1")};
        run.skip_notes = {"#1 (already undone)"};
        return run;
    };
    run = run_changes({UndoOp{1}, UndoOp{2}}, s);
    EXPECT_EQ(run.status, (ChangesStatus{"\xE2\x9C\x94 Done: 1 change(s) applied. Skipped: #1 "
                                         "(already undone).",
                                         false}));
}

// A test run from a page goes through the steps and changes nothing: no executor, no
// helper, no journal entry; the status says what would have been done.
TEST(ChangesRun, TestRunChangesNothingAndSaysWhatItWouldDo) {
    FakeRun f;
    f.dry_run = true;
    push_entry(f.journal, entry(kKill, true, "ended 1"), 1);
    const Journal before = f.journal;
    const ChangesRun run =
        run_changes({ApplyOp{kStartupOff}, ApplyOp{kService}, UndoOp{1}}, f.system());
    EXPECT_EQ(f.events, (std::vector<std::string>{"load"}));
    EXPECT_EQ(f.journal.entries, before.entries);
    EXPECT_TRUE(run.entries.empty());
    EXPECT_EQ(run.handed_over, 0u);
    EXPECT_EQ(run.status.text,
              "2 change(s) would be applied and 1 undone: Disable \"Steam\" at startup; Set "
              "service \"SysMain\" to Manual and stop it; Undo: End Chrome (1 process) (test run: "
              "nothing was changed)");
    EXPECT_TRUE(run.status.success);
}

TEST(ChangesRun, TestRunTexts) {
    Journal journal{kJournal, {}};
    push_entry(journal, entry(kStartupOff, true, "disabled"), 1);
    push_entry(journal, entry(kKill, true, "ended 1"), 1);
    journal.entries[1].undone = true;
    const std::string tail = " (test run: nothing was changed)";
    const struct {
        std::vector<Op> ops;
        std::string text;
    } cases[] = {
        {{}, "Nothing would be changed" + tail},
        {{ApplyOp{kJunk}}, "1 change(s) would be applied: Clean Temporary files" + tail},
        // Undos the executor would skip: an id the journal lacks, one already undone.
        {{UndoOp{1}, UndoOp{2}, UndoOp{9}},
         "1 change(s) would be undone: Undo: Disable \"Steam\" at startup" + tail},
        {{UndoOp{2}}, "Nothing would be changed" + tail},
        {{ApplyOp{kJunk}, ApplyOp{kDev}, ApplyOp{kStartupOn}, ApplyOp{kKill}, ApplyOp{kKill}},
         "5 change(s) would be applied: Clean Temporary files; Delete a; Enable \"Zoom\" at "
         "startup and 2 more" +
             tail},
    };
    for (const auto& c : cases) {
        const ChangesStatus s = test_run_status(c.ops, journal);
        EXPECT_EQ(s.text, c.text);
        EXPECT_TRUE(s.success);
    }
}

TEST(ChangesStatusText, EveryForm) {
    const auto undo_failed = entry(kJunk, false, "Undo: this change cannot be undone", 0);
    const struct {
        std::vector<JournalEntry> entries;
        ElevationResult elevation;
        std::size_t handed;
        const char* text;
        bool success;
    } cases[] = {
        {{entry(kKill, true, "ended 1")}, {}, 0, "\xE2\x9C\x94 Done: 1 change(s) applied.", true},
        {{}, {}, 0, "\xE2\x9C\x94 Done: 0 change(s) applied.", true},
        {{entry(kJunk, true, "r", 2048), entry(kDev, true, "r", 1048576)},
         {},
         0,
         "\xE2\x9C\x94 Done: 2 change(s) applied, 1 MB deleted.",
         true},
        {{entry(kKill, true, "ended 1"), undo_failed, entry(kBroken, false, "broke")},
         {},
         0,
         "1 change(s) applied, 2 didn't work (Undo: this change cannot be undone).",
         false},
        {{entry(kKill, true, "ended 1")},
         {ElevationKind::Failed, 0, "admin helper did not start"},
         2,
         "\xE2\x9C\x94 Done: 1 change(s) applied. 2 change(s) not applied: admin helper did not "
         "start.",
         false},
        {{entry(kKill, true, "ended 1")},
         {ElevationKind::Finished, 2, {}},
         3,
         "\xE2\x9C\x94 Done: 1 change(s) applied.",
         true},
    };
    for (const auto& c : cases) {
        const std::string suffix = c.handed ? handover_suffix(c.elevation, c.handed) : "";
        const ChangesStatus s = changes_status(c.entries, suffix);
        EXPECT_EQ(s.text, c.text);
        EXPECT_EQ(s.success, c.success) << c.text;
    }
}

}  // namespace
}  // namespace tess
