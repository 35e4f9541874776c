#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "autopilot/autopilot.hpp"
#include "core/timeutil.hpp"

namespace tess {
namespace {

constexpr std::uint64_t kNow = 1'700'000'000;
constexpr std::uint64_t kMB = 1024 * 1024;
const char* const kGradleCmd =
    "java.exe -cp gradle-launcher-8.5.jar org.gradle.launcher.daemon.bootstrap.GradleDaemon 8.5";
const char* const kKotlinCmd =
    "java.exe -cp kotlin-compiler-embeddable.jar org.jetbrains.kotlin.daemon.KotlinCompileDaemon";
const char* const kVite = "node.exe C:\\code\\shop\\node_modules\\vite\\bin\\vite.js";

// ---- cpu-history.json -------------------------------------------------------------------

TEST(CpuHistory, CompactTextAndReadBack) {
    const std::vector<CpuSample> h = {
        {1700000000, {{8, 133000000000000000ull, 20000000}, {4294967295u, 0, 0}}},
        {1700000300, {}},
    };
    const std::string text = serialize_cpu_history(h);
    EXPECT_EQ(text,
              "[{\"time\":1700000000,\"procs\":[[8,133000000000000000,20000000],[4294967295,0,0]]},"
              "{\"time\":1700000300,\"procs\":[]}]");
    EXPECT_EQ(*parse_cpu_history(text), h);
    EXPECT_EQ(*parse_cpu_history(" \n[]\r\n"), std::vector<CpuSample>{});
    EXPECT_EQ(cpu_history_from(std::nullopt), std::vector<CpuSample>{});
}

TEST(CpuHistory, AnythingElseIsAnEmptyHistory) {
    const char* cases[] = {
        "",
        "{}",
        "[{\"procs\":[]}]",
        "[{\"time\":1}]",
        "[{\"time\":-1,\"procs\":[]}]",
        "[{\"time\":\"1\",\"procs\":[]}]",
        "[{\"time\":1,\"procs\":[[1,2]]}]",
        "[{\"time\":1,\"procs\":[[1,2,3,4]]}]",
        "[{\"time\":1,\"procs\":[[4294967296,2,3]]}]",
        "[{\"time\":1,\"procs\":[[1,-2,3]]}]",
        "[{\"time\":1,\"procs\":[[1,2,3.5]]}]",
        "[{\"time\":1,\"procs\":[{\"pid\":1}]}]",
        "[{\"time\":1,\"time\":2,\"procs\":[]}]",
        "[{\"time\":1,\"procs\":[]}] x",
        "[{\"time\":1,\"procs\":[]}][]",
        "[{\"time\":1,\"procs\":[[1,2,3]",
        "[7]",
    };
    for (const char* text : cases) {
        EXPECT_FALSE(parse_cpu_history(text).ok()) << text;
        EXPECT_TRUE(cpu_history_from(std::string(text)).empty()) << text;
    }
}

TEST(CpuHistory, RetentionKeepsTwoHoursAndDropsTheFuture) {
    const std::vector<CpuSample> h = {{kNow + 1, {}},     // future
                                      {kNow - 7201, {}},  // too old
                                      {kNow - 7200, {}},  // exactly two hours: kept
                                      {kNow, {}}};
    const auto out = extend_cpu_history(h, {kNow, {{9, 1, 1}}}, kNow);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].time, kNow - 7200);
    EXPECT_EQ(out[1], (CpuSample{kNow, {}}));
    EXPECT_EQ(out[2], (CpuSample{kNow, {{9, 1, 1}}}));

    std::vector<ProcessRow> rows(3);
    rows[0].pid = 0;
    rows[1].pid = 4;
    rows[2].pid = 5;
    rows[2].created = 77;
    rows[2].cpu_time = 88;
    EXPECT_EQ(cpu_sample_from(rows, kNow), (CpuSample{kNow, {{5, 77, 88}}}));
}

// ---- the due test ---------------------------------------------------------------------------

DueFacts due_facts() {
    DueFacts f;
    f.schedule.enabled = true;
    f.schedule.every_days = 7;
    f.schedule.last_run = kNow - 8 * 86400;
    f.now = kNow;
    f.idle_seconds = 600;
    f.power = PowerStatus{0, 1, 80, 0};  // on battery at 80 %, saver off
    f.notification_state = 5;
    f.history = {{kNow - 1800, {}}};
    return f;
}

TEST(AutopilotDue, EveryConditionMatters) {
    struct Case {
        const char* name;
        void (*change)(DueFacts&);
        bool due;
    };
    const Case cases[] = {
        {"all good", [](DueFacts&) {}, true},
        {"disabled", [](DueFacts& f) { f.schedule.enabled = false; }, false},
        {"idle 299 s", [](DueFacts& f) { f.idle_seconds = 299; }, false},
        {"idle 300 s", [](DueFacts& f) { f.idle_seconds = 300; }, true},
        {"every 0 days, 23 h ago",
         [](DueFacts& f) {
             f.schedule.every_days = 0;
             f.schedule.last_run = kNow - 23 * 3600;
         },
         true},
        {"every 1 day, 23 h less a second ago",
         [](DueFacts& f) {
             f.schedule.every_days = 1;
             f.schedule.last_run = kNow - 23 * 3600 + 1;
         },
         false},
        {"weekly, 6 days 23 h ago",
         [](DueFacts& f) { f.schedule.last_run = kNow - 6 * 86400 - 23 * 3600; }, true},
        {"last run in the future", [](DueFacts& f) { f.schedule.last_run = kNow + 100; }, false},
        {"huge interval", [](DueFacts& f) { f.schedule.every_days = 4294967295u; }, false},
        {"battery 29 %", [](DueFacts& f) { f.power->battery_percent = 29; }, false},
        {"battery 30 %", [](DueFacts& f) { f.power->battery_percent = 30; }, true},
        {"battery saver on", [](DueFacts& f) { f.power->saver_on = 1; }, false},
        {"battery unknown", [](DueFacts& f) { f.power->battery_percent = 255; }, false},
        {"on mains at 5 %",
         [](DueFacts& f) {
             f.power->ac_line = 1;
             f.power->battery_percent = 5;
         },
         true},
        {"no system battery",
         [](DueFacts& f) {
             f.power->battery_flag = 128;
             f.power->battery_percent = 255;
         },
         true},
        {"power status failed", [](DueFacts& f) { f.power.reset(); }, true},
        {"user busy", [](DueFacts& f) { f.notification_state = 2; }, false},
        {"full-screen game", [](DueFacts& f) { f.notification_state = 3; }, false},
        {"presenting", [](DueFacts& f) { f.notification_state = 4; }, false},
        {"quiet time", [](DueFacts& f) { f.notification_state = 6; }, false},
        {"full-screen app", [](DueFacts& f) { f.notification_state = 7; }, false},
        {"app full screen", [](DueFacts& f) { f.notification_state = 1; }, true},
        {"notification state failed", [](DueFacts& f) { f.notification_state.reset(); }, true},
        {"focus on", [](DueFacts& f) { f.focus_on = true; }, false},
        {"watched 1799 s",
         [](DueFacts& f) {
             f.history = {{kNow - 1799, {}}};
         },
         false},
        {"only a future sample",
         [](DueFacts& f) {
             f.history = {{kNow + 5000, {}}};
         },
         false},
        {"no history", [](DueFacts& f) { f.history.clear(); }, false},
    };
    for (const auto& c : cases) {
        DueFacts f = due_facts();
        c.change(f);
        EXPECT_EQ(autopilot_is_due(f), c.due) << c.name;
    }
}

// ---- the summary ----------------------------------------------------------------------------

TEST(AutopilotSummary, Texts) {
    using K = KeptReason;
    struct Case {
        AutopilotRun run;
        const char* text;
    };
    const Case cases[] = {
        {{{"Gradle daemon"},
          {{"Vite dev server (shop)", K::UsedRecently}},
          312 * kMB,
          1288490189,
          0,
          false},
         "Deleted 312 MB of junk files; closed Gradle daemon (1.2 GB); left Vite dev server (shop) "
         "(used in the last 30 minutes) running"},
        {{}, "Nothing needed cleaning"},
        {{{}, {}, 0, 0, 0, true}, "Nothing needed cleaning (test run: nothing was changed)"},
        // Failures first.
        {{{"A", "B"}, {}, 0, 0, 2, false}, "2 step(s) didn't work, see History. Closed A, B"},
        // Nothing worked: never "Nothing needed cleaning".
        {{{}, {}, 0, 0, 1, false}, "1 step(s) didn't work, see History"},
        {{{}, {{"X", K::InUse}, {"Y", K::WatchedTooShort}}, 0, 0, 0, true},
         "Left X (in use), Y (watched for less than 30 minutes) running (test run: nothing was "
         "changed)"},
        {{{}, {}, 1, 0, 1, false},
         "1 step(s) didn't work, see History. Deleted 1 KB of junk files"},
        // A test run says what it would have done.
        {{{"Gradle daemon"}, {}, 312 * kMB, 1288490189, 0, true},
         "Would delete 312 MB of junk files; would close Gradle daemon (1.2 GB) (test run: "
         "nothing was changed)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(autopilot_summary(c.run), c.text);
}

// ---- the idle judgement -------------------------------------------------------------------

CloseItem item(std::vector<std::pair<std::uint32_t, std::uint64_t>> procs, bool daemon = true) {
    CloseItem i;
    i.action.label = "Gradle daemon";
    i.procs = std::move(procs);
    i.daemon = daemon;
    return i;
}

TEST(AutopilotJudge, IdleJudgementFromTheHistory) {
    using K = KeptReason;
    const Verdict close{Verdict::Close};
    const Verdict skip{Verdict::Skip};
    auto keep = [](K r) { return Verdict{Verdict::Keep, r}; };
    // Process (10, 100) used 1 s of CPU in the half hour before now; (11, 110) 2 s.
    const std::vector<CpuSample> history = {
        {kNow - 3600, {{10, 100, 0}, {11, 110, 0}}},
        {kNow - 1800, {{10, 100, 50'000'000}, {11, 110, 10'000'000}}},
        {kNow - 100, {}},  // too young to be the reference
    };
    const CpuTimes cpu = {
        {{10, 100}, 60'000'000}, {{11, 110}, 30'000'000}, {{12, 120}, 5}, {{13, 999}, 0}};
    struct Case {
        const char* name;
        CloseItem item;
        bool dev_servers;
        std::set<std::uint32_t> connected;
        CpuTimes cpu;
        std::vector<CpuSample> history;
        Verdict verdict;
    };
    const std::vector<Case> cases = {
        {"idle daemon", item({{10, 100}}), false, {}, cpu, history, close},
        {"2.0 s of CPU", item({{11, 110}}), false, {}, cpu, history, keep(K::UsedRecently)},
        {"one busy process of two",
         item({{10, 100}, {11, 110}}),
         false,
         {},
         cpu,
         history,
         keep(K::UsedRecently)},
        {"dev server, switch off", item({{10, 100}}, false), false, {}, cpu, history, skip},
        {"dev server, switch on", item({{10, 100}}, false), true, {}, cpu, history, close},
        {"connected", item({{10, 100}}), false, {10}, cpu, history, keep(K::InUse)},
        {"connected beats unwatched", item({{10, 100}}), false, {10}, cpu, {}, keep(K::InUse)},
        {"empty history", item({{10, 100}}), false, {}, cpu, {}, keep(K::WatchedTooShort)},
        {"watched 1799 s",
         item({{10, 100}}),
         false,
         {},
         cpu,
         {{kNow - 1799, {{10, 100, 0}}}},
         keep(K::WatchedTooShort)},
        {"only future samples",
         item({{10, 100}}),
         false,
         {},
         cpu,
         {{kNow + 4000, {{10, 100, 0}}}},
         keep(K::WatchedTooShort)},
        {"no CPU times now", item({{10, 100}}), false, {}, {}, history, keep(K::UsedRecently)},
        {"no processes, no CPU times", item({}), false, {}, {}, history, close},
        {"not running now", item({{14, 140}}), false, {}, cpu, history, keep(K::UsedRecently)},
        {"restarted under the same pid",
         item({{13, 999}}),
         false,
         {},
         cpu,
         {{kNow - 2000, {{13, 130, 0}}}},
         keep(K::UsedRecently)},
        {"1.9999999 s of CPU",
         item({{12, 120}}),
         false,
         {},
         cpu,
         {{kNow - 2000, {{12, 120, 0}}}},
         close},
        {"CPU time went down",
         item({{12, 120}}),
         false,
         {},
         {{{12, 120}, 5}},
         {{kNow - 2000, {{12, 120, 900}}}},
         close},
        {"equal times: the later sample",
         item({{12, 120}}),
         false,
         {},
         {{{12, 120}, 20'000'005}},
         {{kNow - 2000, {{12, 120, 0}}}, {kNow - 2000, {{12, 120, 10}}}},
         close},
    };
    for (const auto& c : cases)
        EXPECT_EQ(judge_item(c.item, c.dev_servers, c.connected, c.cpu, c.history, kNow), c.verdict)
            << c.name;
    // Exactly 2.0 s since the reference, and 1.9999999 s.
    EXPECT_EQ(judge_item(item({{12, 120}}), false, {}, {{{12, 120}, 20'000'000}},
                         {{kNow - 2000, {{12, 120, 0}}}}, kNow),
              keep(K::UsedRecently));
    EXPECT_EQ(judge_item(item({{12, 120}}), false, {}, {{{12, 120}, 19'999'999}},
                         {{kNow - 2000, {{12, 120, 0}}}}, kNow),
              close);
}

TEST(AutopilotJudge, ConnectedSetIsEstablishedRowsAbovePid4) {
    const std::vector<TcpState> v4 = {{10, 5}, {11, 2}, {4, 5}, {0, 5}};
    const std::vector<TcpState> v6 = {{12, 5}};
    EXPECT_EQ(connected_pids(v4, v6), (std::set<std::uint32_t>{10, 12}));
}

// ---- one run over a system of plain records -----------------------------------------------

ProcessInfo proc(std::uint32_t pid, const char* name, const char* cmd, std::uint64_t age,
                 std::uint64_t mb, float cpu = 0) {
    ProcessInfo p;
    p.pid = pid;
    p.name = name;
    p.command_line = cmd;
    p.created = unix_to_filetime(kNow - age);
    p.private_bytes = mb * kMB;
    p.cpu_percent = cpu;
    return p;
}

ProcessRow row(const ProcessInfo& p, std::uint64_t cpu_time) {
    ProcessRow r;
    r.pid = p.pid;
    r.name = p.name;
    r.created = p.created;
    r.cpu_time = cpu_time;
    return r;
}

JunkRow junk(const char* id, std::uint64_t bytes, bool ticked, bool admin) {
    JunkRow r;
    r.id = id;
    r.title = std::string("title of ") + id;
    r.bytes = bytes;
    r.ticked = ticked;
    r.needs_admin = admin;
    return r;
}

struct FakeRun {
    bool dry_run = false;
    std::vector<ProcessInfo> procs;
    std::vector<ProcessRow> rows;
    std::vector<TcpState> conns;
    std::vector<CpuSample> history;
    std::vector<JunkRow> junk_rows;
    Settings settings;
    std::vector<JournalEntry> journal;
    std::vector<std::vector<Op>> applied;
    std::set<std::string> failing;  // labels whose change does not work
    // Entries another process appends while the executor works.
    std::vector<JournalEntry> others;
    int settings_updates = 0;
    // A change the user makes in the main window while the run goes on.
    std::function<void(Settings&)> meanwhile;

    AutopilotSystem sys() {
        AutopilotSystem s;
        s.dry_run = dry_run;
        s.journal_path = "C:\\data\\journal.json";
        s.own_pid = 900;
        s.now = [] { return kNow; };
        s.scan_junk = [this] { return junk_rows; };
        s.processes = [this] { return procs; };
        s.snapshot = [this] { return rows; };
        s.connections = [this](IpFamily f) {
            return f == IpFamily::V4 ? conns : std::vector<TcpState>{};
        };
        s.cpu_history = [this] { return history; };
        s.load_settings = [this] { return settings; };
        s.update_settings = [this](const std::function<void(Settings&)>& change) {
            ++settings_updates;
            if (meanwhile) meanwhile(settings);
            change(settings);
        };
        s.apply = [this](const std::string&, const std::vector<Op>& ops) {
            applied.push_back(ops);
            ExecutorRun run;
            for (const Op& op : ops) {
                const Action& a = std::get<ApplyOp>(op).action;
                JournalEntry e;
                e.id = journal.size() + 1;
                e.action = a;
                if (const auto* j = std::get_if<CleanJunk>(&a)) {
                    if (j->id == "admin_only") {
                        run.deferred.push_back(op);
                        continue;
                    }
                    e.ok = !failing.count(j->label);
                    e.freed_bytes = e.ok ? 1000 : 0;
                } else {
                    e.ok = !failing.count(std::get<KillProcesses>(a).label);
                }
                journal.push_back(e);
                run.entries.push_back(e);
                for (const JournalEntry& o : others)
                    journal.push_back(o);
            }
            return run;
        };
        return s;
    }
};

// An idle Gradle daemon, a busy Kotlin daemon, an old idle Vite dev server, adb, and the
// junk rows; the history half an hour back knows all of them.
FakeRun typical() {
    FakeRun f;
    const ProcessInfo gradle = proc(10, "java.exe", kGradleCmd, 7200, 700);
    const ProcessInfo kotlin = proc(11, "java.exe", kKotlinCmd, 7200, 300, 0.5f);
    const ProcessInfo vite = proc(12, "node.exe", kVite, 7200, 200);
    const ProcessInfo adb = proc(13, "adb.exe", "adb.exe fork-server server", 7200, 20);
    f.procs = {gradle, kotlin, vite, adb};
    f.rows = {row(gradle, 100), row(kotlin, 90'000'000), row(vite, 5), row(adb, 5)};
    f.history = {{kNow - 1900,
                  {{10, gradle.created, 0},
                   {11, kotlin.created, 0},
                   {12, vite.created, 0},
                   {13, adb.created, 0}}}};
    f.junk_rows = {junk("user_temp", 5 * kMB, true, false), junk("crash_dumps", 0, true, false),
                   junk("windows_temp", 9 * kMB, true, true),
                   junk("browser_cache", 50 * kMB, false, false)};
    f.settings.autopilot.enabled = true;
    f.settings.autopilot.last_result = "old";
    f.journal = {JournalEntry{}};  // an earlier entry, not this run's
    f.journal[0].id = 1;
    f.journal[0].ok = false;
    return f;
}

TEST(AutopilotRunFlow, ClosesIdleDaemonsAndCleansSafeJunk) {
    FakeRun f = typical();
    const AutopilotRun run = run_autopilot(f.sys());
    EXPECT_EQ(run.closed, (std::vector<std::string>{"Gradle daemon"}));
    EXPECT_EQ(run.memory_freed, 700 * kMB);
    EXPECT_EQ(run.left_running, (std::vector<std::pair<std::string, KeptReason>>{
                                    {"Kotlin compile daemon", KeptReason::UsedRecently}}));
    EXPECT_EQ(run.junk_freed, 1000u);  // what the journal says was freed
    EXPECT_EQ(run.failed, 0u);         // the earlier failed entry is not this run's
    EXPECT_FALSE(run.test_run);
    // Kills first, then junk; nothing that needs admin, nothing unticked or empty.
    ASSERT_EQ(f.applied.size(), 1u);
    ASSERT_EQ(f.applied[0].size(), 2u);
    EXPECT_EQ(std::get<KillProcesses>(std::get<ApplyOp>(f.applied[0][0]).action).targets[0].pid,
              10u);
    EXPECT_EQ(std::get<ApplyOp>(f.applied[0][1]).action,
              Action(CleanJunk{"user_temp", "title of user_temp"}));
    EXPECT_EQ(f.settings.autopilot.last_run, kNow);
    EXPECT_EQ(f.settings.autopilot.last_result,
              "Deleted 1 KB of junk files; closed Gradle daemon (700 MB); left Kotlin "
              "compile daemon (used in the last 30 minutes) running");
    EXPECT_EQ(f.settings_updates, 1);
}

TEST(AutopilotRunFlow, DevServersOnlyWithTheSwitchAndNeverWhenConnected) {
    FakeRun f = typical();
    f.settings.autopilot.close_dev_servers = true;
    f.conns = {{13, 5}};  // adb has a client attached
    const AutopilotRun run = run_autopilot(f.sys());
    EXPECT_EQ(run.closed, (std::vector<std::string>{"Gradle daemon", "Vite dev server (shop)"}));
    EXPECT_EQ(run.left_running, (std::vector<std::pair<std::string, KeptReason>>{
                                    {"Kotlin compile daemon", KeptReason::UsedRecently},
                                    {"Android Debug Bridge (adb) server", KeptReason::InUse}}));
}

TEST(AutopilotRunFlow, FreshInstallClosesNothingButCleansJunk) {
    FakeRun f = typical();
    f.history.clear();
    f.settings.keep_running = {"kotlin compile daemon"};  // unticked: not eligible at all
    const AutopilotRun run = run_autopilot(f.sys());
    EXPECT_TRUE(run.closed.empty());
    EXPECT_EQ(run.left_running, (std::vector<std::pair<std::string, KeptReason>>{
                                    {"Gradle daemon", KeptReason::WatchedTooShort}}));
    EXPECT_EQ(run.junk_freed, 1000u);
    ASSERT_EQ(f.applied.size(), 1u);
    EXPECT_EQ(f.applied[0].size(), 1u);
}

TEST(AutopilotRunFlow, FailuresAreCountedAndOtherSettingsSurvive) {
    FakeRun f = typical();
    f.failing = {"Gradle daemon"};
    f.meanwhile = [](Settings& s) {
        s.autopilot.every_days = 1;
        s.keep_running.push_back("x");
    };
    const AutopilotRun run = run_autopilot(f.sys());
    EXPECT_TRUE(run.closed.empty());
    EXPECT_EQ(run.memory_freed, 0u);
    EXPECT_EQ(run.failed, 1u);
    EXPECT_EQ(f.settings.autopilot.every_days, 1u);
    EXPECT_EQ(f.settings.keep_running, (std::vector<std::string>{"x"}));
    EXPECT_EQ(f.settings.autopilot.last_result,
              "1 step(s) didn't work, see History. Deleted 1 KB of junk files; left Kotlin "
              "compile daemon (used in the last 30 minutes) running");
}

// A page apply, the quick panel or a console run beside Autopilot: what they append,
// failures included, is not Autopilot's.
TEST(AutopilotRunFlow, OnlyItsOwnEntriesCount) {
    FakeRun f = typical();
    f.others = {JournalEntry{}, JournalEntry{}};
    f.others[0].action = KillProcesses{"Gradle daemon", {}};
    f.others[0].ok = true;
    f.others[1].action = CleanJunk{"user_temp", "title of user_temp"};
    f.others[1].freed_bytes = 9 * kMB;
    f.others[1].ok = true;
    f.others.push_back(JournalEntry{});  // someone's failure
    const AutopilotRun run = run_autopilot(f.sys());
    EXPECT_EQ(f.journal.size(), 9u);
    EXPECT_EQ(run.closed, (std::vector<std::string>{"Gradle daemon"}));
    EXPECT_EQ(run.junk_freed, 1000u);
    EXPECT_EQ(run.failed, 0u);
}

TEST(AutopilotRunFlow, TestRunChangesNothingButSavesTheResult) {
    FakeRun f = typical();
    f.dry_run = true;
    const AutopilotRun run = run_autopilot(f.sys());
    EXPECT_TRUE(f.applied.empty());
    EXPECT_EQ(f.journal.size(), 1u);
    EXPECT_EQ(run.closed, (std::vector<std::string>{"Gradle daemon"}));
    EXPECT_EQ(run.memory_freed, 700 * kMB);
    EXPECT_EQ(run.junk_freed, 5 * kMB);  // what the scan found
    EXPECT_TRUE(run.test_run);
    EXPECT_EQ(f.settings.autopilot.last_run, kNow);
    // It says what it would have done, not that it did it.
    EXPECT_EQ(f.settings.autopilot.last_result,
              "Would delete 5 MB of junk files; would close Gradle daemon (700 MB); left Kotlin "
              "compile daemon (used in the last 30 minutes) running (test run: nothing was "
              "changed)");
}

TEST(AutopilotRunFlow, NothingToDoCallsNoExecutorAndAJunkScanThatFailsFindsNothing) {
    FakeRun f;
    AutopilotSystem sys = f.sys();
    sys.scan_junk = []() -> std::vector<JunkRow> { throw std::runtime_error("no"); };
    const AutopilotRun run = run_autopilot(sys);
    EXPECT_EQ(run, AutopilotRun{});
    EXPECT_TRUE(f.applied.empty());
    EXPECT_EQ(f.settings.autopilot.last_result, "Nothing needed cleaning");
}

TEST(AutopilotItems, OnlyTickedDevToolsAndTheDaemonMark) {
    const ProcessInfo gradle = proc(10, "java.exe", kGradleCmd, 7200, 700);
    const ProcessInfo kotlin = proc(11, "javaw.exe", kKotlinCmd, 7200, 300);
    auto kill = [](std::string label, std::vector<ProcTarget> targets) {
        return Action(KillProcesses{std::move(label), std::move(targets)});
    };
    const std::vector<Suggestion> s = {
        {"", "",
         kill("both", {{10, "java.exe", gradle.created}, {11, "javaw.exe", kotlin.created}}), 1,
         true, SuggestionSection::DevTool},
        {"", "", kill("unticked", {{10, "java.exe", gradle.created}}), 1, false,
         SuggestionSection::DevTool},
        {"", "", kill("helper", {{10, "java.exe", gradle.created}}), 1, true,
         SuggestionSection::BackgroundApp},
        {"", "", kill("gone", {{10, "java.exe", gradle.created + 1}}), 1, true,
         SuggestionSection::DevTool},
        {"", "", kill("adb", {{12, "adb.exe", 5}}), 1, true, SuggestionSection::DevTool},
        {"", "", kill("empty", {}), 1, true, SuggestionSection::DevTool},
    };
    ProcessInfo adb = proc(12, "adb.exe", "adb.exe fork-server", 7200, 1);
    adb.created = 5;
    const auto items = close_items(s, {gradle, kotlin, adb});
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].action.label, "both");
    EXPECT_TRUE(items[0].daemon);
    EXPECT_EQ(items[0].procs.size(), 2u);
    EXPECT_EQ(items[1].action.label, "gone");
    EXPECT_FALSE(items[1].daemon);
    EXPECT_EQ(items[2].action.label, "adb");
    EXPECT_FALSE(items[2].daemon);
    EXPECT_FALSE(items[3].daemon);
}

}  // namespace
}  // namespace tess
