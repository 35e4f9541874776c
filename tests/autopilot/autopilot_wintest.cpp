// Autopilot against real processes, files, settings and journal under Wine: build
// daemons are copies of this program named java.exe with a daemon's command line,
// the temp folder and local app data are the test's own.
//
// The suggestion builder only proposes daemons older than ten minutes, so the run's
// clock is the one seam here: an hour ahead of the real one, with the CPU history
// dated by the same clock.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "autopilot/autopilot_win.hpp"
#include "autopilot/focus_win.hpp"
#include "core/paths.hpp"
#include "core/settings.hpp"
#include "model/journal.hpp"
#include "scan/realfs_winutil.hpp"
#include "support/child.hpp"
#include "support/daemon_win.hpp"
#include "support/winutil.hpp"
#include "sys/fsops.hpp"

namespace tess {
namespace {

using test::ScopedEnv;
using test::TempDir;

TESS_CHILD(autopilot_daemon) {
    ::Sleep(120'000);
    return 0;
}

const char* const kGradleArgs = "org.gradle.launcher.daemon.bootstrap.GradleDaemon 8.5";
const char* const kKotlinArgs = "org.jetbrains.kotlin.daemon.KotlinCompileDaemon";

using test::Daemon;

// Under Wine a child builds its command line as it starts: wait until the list shows it.
void wait_command_lines(const std::vector<std::uint32_t>& pids) {
    for (int i = 0; i < 100; ++i) {
        const auto list = list_processes(0, true);
        if (std::all_of(pids.begin(), pids.end(), [&](std::uint32_t pid) {
                return std::any_of(list.begin(), list.end(), [&](const ProcessInfo& p) {
                    return p.pid == pid && !p.command_line.empty();
                });
            }))
            return;
        ::Sleep(50);
    }
}

// A data directory, temp folder and local app data of the test's own, two daemons, an
// old and a new temp file and crash dump, settings with Autopilot on.
struct Machine {
    TempDir dir{"autopilot"};
    ScopedEnv data{"TESS_DATA_DIR", dir.file("data")};
    ScopedEnv temp{"TEMP", dir.file("Temp")};
    ScopedEnv local{"LOCALAPPDATA", dir.file("Local")};
    std::string java;
    std::unique_ptr<Daemon> gradle, kotlin;
    std::uint64_t clock = 0;  // the run's Unix time: an hour ahead

    Machine() {
        win::create_dirs(dir.file("data"));
        win::create_dirs(dir.file("bin"));
        java = dir.file("bin\\java.exe");
        ::CopyFileW(win::widen(win::exe_path()).c_str(), win::widen(java).c_str(), TRUE);
        gradle = std::make_unique<Daemon>(java, "autopilot_daemon", kGradleArgs);
        kotlin = std::make_unique<Daemon>(java, "autopilot_daemon", kKotlinArgs);
        wait_command_lines({gradle->pid, kotlin->pid});

        const std::uint64_t now = win::filetime_now();
        test::make_file(dir.file("Temp\\old.tmp"), 5000, now, 10 * test::kDayTicks);
        test::make_file(dir.file("Temp\\sub\\old.log"), 3000, now, 8 * test::kDayTicks);
        test::make_file(dir.file("Temp\\new.tmp"), 7000, now, test::kHourTicks);
        test::make_file(dir.file("Local\\CrashDumps\\app.dmp"), 2000, now, 2 * test::kDayTicks);
        test::make_file(dir.file("Local\\CrashDumps\\fresh.dmp"), 1000, now, test::kHourTicks);

        Settings s;
        s.autopilot.enabled = true;
        s.autopilot.every_days = 3;
        s.keep_running = {"something else"};
        save_settings(s);

        // The history, an hour before the run's clock, knows the Gradle daemon as it is
        // now; the Kotlin daemon is not in it (as if it had started since).
        clock = static_cast<std::uint64_t>(std::time(nullptr)) + 3600;
        CpuSample sample{clock - 3600, {}};
        for (const ProcessRow& r : process_snapshot())
            if (r.pid == gradle->pid) sample.procs.push_back({r.pid, r.created, r.cpu_time});
        test::write_text(dir.file("data\\cpu-history.json"), serialize_cpu_history({sample}));
    }

    AutopilotSystem sys(bool dry_run = false) const {
        AutopilotSystem s = autopilot_system(dry_run);
        s.now = [c = clock] { return c; };
        return s;
    }
};

bool left_as(const AutopilotRun& run, const std::string& label, KeptReason reason) {
    return std::count(run.left_running.begin(), run.left_running.end(),
                      std::make_pair(label, reason)) > 0;
}

TEST(AutopilotWin, TestRunChangesNothingThenTheRunClosesTheIdleDaemonAndDeletesOldJunk) {
    // One test for both runs: the suggestion builder puts every Gradle daemon of the
    // machine in one item, so a second test's daemons running at the same time would
    // keep this one's open.
    Machine m;
    ASSERT_TRUE(m.gradle->running() && m.kotlin->running());

    {
        const AutopilotRun run = run_autopilot(m.sys(/*dry_run=*/true));
        EXPECT_TRUE(run.test_run);
        EXPECT_EQ(run.closed, std::vector<std::string>{"Gradle daemon"});
        EXPECT_EQ(run.junk_freed, 10000u);  // found, not deleted
        EXPECT_TRUE(m.gradle->running());
        EXPECT_TRUE(test::exists(m.dir.file("Temp\\old.tmp")));
        EXPECT_TRUE(test::exists(m.dir.file("Local\\CrashDumps\\app.dmp")));
        EXPECT_FALSE(test::exists(m.dir.file("data\\journal.json")));
        const std::string summary = load_settings().autopilot.last_result;
        const std::string note = " (test run: nothing was changed)";
        ASSERT_GT(summary.size(), note.size());
        EXPECT_EQ(summary.substr(summary.size() - note.size()), note);
    }

    const AutopilotRun run = run_autopilot(m.sys());

    EXPECT_EQ(run.closed, std::vector<std::string>{"Gradle daemon"});
    EXPECT_TRUE(left_as(run, "Kotlin compile daemon", KeptReason::UsedRecently));
    EXPECT_EQ(run.junk_freed, 10000u);
    EXPECT_EQ(run.failed, 0u);
    EXPECT_FALSE(run.test_run);
    EXPECT_EQ(test::wait_exit(m.gradle->process, 5'000), 1);  // ended by the executor
    EXPECT_TRUE(m.kotlin->running());
    EXPECT_FALSE(test::exists(m.dir.file("Temp\\old.tmp")));
    EXPECT_FALSE(test::exists(m.dir.file("Temp\\sub\\old.log")));
    EXPECT_TRUE(test::exists(m.dir.file("Temp\\new.tmp")));
    EXPECT_FALSE(test::exists(m.dir.file("Local\\CrashDumps\\app.dmp")));
    EXPECT_TRUE(test::exists(m.dir.file("Local\\CrashDumps\\fresh.dmp")));

    // The journal says so: one kill and two cleans, all worked.
    const Journal j = load_journal(m.dir.file("data\\journal.json"));
    ASSERT_EQ(j.entries.size(), 3u);
    EXPECT_EQ(std::get<KillProcesses>(j.entries[0].action).label, "Gradle daemon");
    EXPECT_EQ(std::get<CleanJunk>(j.entries[1].action).id, "user_temp");
    EXPECT_EQ(j.entries[1].freed_bytes, 8000u);
    EXPECT_EQ(std::get<CleanJunk>(j.entries[2].action).id, "crash_dumps");
    for (const auto& e : j.entries)
        EXPECT_TRUE(e.ok) << e.message;

    // And the settings: the result saved, the user's other choices kept.
    const Settings s = load_settings();
    EXPECT_EQ(s.autopilot.last_run, m.clock);
    EXPECT_EQ(s.autopilot.last_result, autopilot_summary(run));
    // Wine reports no private bytes, so the daemon held nothing to name.
    EXPECT_EQ(
        s.autopilot.last_result.rfind("Deleted 9 KB of junk files; closed Gradle daemon; ", 0), 0u);
    EXPECT_EQ(s.autopilot.every_days, 3u);
    EXPECT_EQ(s.keep_running, std::vector<std::string>{"something else"});
}

TEST(AutopilotWin, DueTestReadsSettingsIdleFocusAndHistory) {
    TempDir dir("due");
    ScopedEnv data("TESS_DATA_DIR", dir.path());
    ScopedEnv idle("TESS_IDLE_SECS", "+600");
    const std::uint64_t now = static_cast<std::uint64_t>(std::time(nullptr));
    Settings s;
    s.autopilot.enabled = true;
    save_settings(s);
    EXPECT_FALSE(autopilot_due(now));  // not watched yet
    test::write_text(dir.file("cpu-history.json"), serialize_cpu_history({{now - 1800, {}}}));
    EXPECT_TRUE(autopilot_due(now));  // Wine: on mains, user not busy
    {
        ScopedEnv busy("TESS_IDLE_SECS", "299");
        EXPECT_FALSE(autopilot_due(now));
    }
    test::write_text(dir.file("focus.json"), "{}");  // on, even unreadable
    EXPECT_FALSE(autopilot_due(now));
    ::DeleteFileW(win::widen(dir.file("focus.json")).c_str());
    s.autopilot.last_run = now - 3600;
    save_settings(s);
    EXPECT_FALSE(autopilot_due(now));
}

TEST(AutopilotWin, RecordingKeepsTwoHoursAndReplacesABadFile) {
    TempDir dir("history");
    ScopedEnv data("TESS_DATA_DIR", dir.path());
    const std::uint64_t now = static_cast<std::uint64_t>(std::time(nullptr));
    const std::string path = dir.file("cpu-history.json");
    test::write_text(
        path, serialize_cpu_history({{now - 8000, {}}, {now - 7000, {{1, 2, 3}}}, {now + 60, {}}}));
    record_cpu_sample(now);
    auto h = load_cpu_history();
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[0], (CpuSample{now - 7000, {{1, 2, 3}}}));
    EXPECT_EQ(h[1].time, now);
    const DWORD me = ::GetCurrentProcessId();
    EXPECT_TRUE(std::any_of(h[1].procs.begin(), h[1].procs.end(),
                            [&](const CpuProc& p) { return p.pid == me && p.created != 0; }));
    EXPECT_FALSE(test::exists(dir.file("cpu-history.tmp")));

    // Corrupt, truncated or far too large: an empty history, replaced at the next sample.
    const std::string text = serialize_cpu_history(h);
    for (const std::string& bad : {std::string("[{\"time\":1,"), text.substr(0, text.size() / 2),
                                   "[" + std::string(17 * 1024 * 1024, ' ') + "]"}) {
        test::write_text(path, bad);
        EXPECT_TRUE(load_cpu_history().empty());
        record_cpu_sample(now + 1);
        h = load_cpu_history();
        ASSERT_EQ(h.size(), 1u);
        EXPECT_EQ(h[0].time, now + 1);
    }
}

}  // namespace
}  // namespace tess
