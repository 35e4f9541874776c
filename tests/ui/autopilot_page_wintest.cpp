// The Autopilot & Focus page: the real Tessavo.exe driven through the UI driver, its
// switches checked in settings.json and focus.json; and the window in this process where
// the status line must be read, a clock set ahead (build daemons are only closed once
// they are ten minutes old) or the tray watch's start must fail.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <ctime>
#include <memory>

#include "autopilot/autopilot_win.hpp"
#include "autopilot/focus_win.hpp"
#include "core/settings.hpp"
#include "core/win.hpp"
#include "model/journal.hpp"
#include "support/child.hpp"
#include "support/daemon_win.hpp"
#include "support/uidriver.hpp"
#include "support/winutil.hpp"
#include "sys/procs.hpp"
#include "ui/autopilot_text.hpp"
#include "ui/main_window_winutil.hpp"
#include "ui/policy_winutil.hpp"
#include "ui/ui_messages.hpp"
#include "ui/ui_win.hpp"

namespace tess::ui {
namespace {

namespace ud = uidriver;

using namespace wintest;

Settings settings_in(const test::TempDir& data) {
    const auto text = test::read_text(data.file("settings.json"));
    if (!text) return {};
    auto parsed = parse_settings(*text);
    return parsed ? *parsed : Settings{};
}

// ---- the real program ---------------------------------------------------------------------

struct App {
    test::TempDir data{"page6"};
    test::RunningProgram program;
    ud::Window main = 0;

    void open(const std::vector<test::EnvVar>& extra = {}) {
        std::vector<test::EnvVar> env = {
            {"TESS_DATA_DIR", data.path()}, {"TESS_OFFSCREEN", "1"}, {"TESS_NO_UPDATE_CHECK", "1"}};
        env.insert(env.end(), extra.begin(), extra.end());
        program = test::start_tessavo({"--autopilot"}, env);
        ASSERT_TRUE(program);
        const auto w =
            ud::wait_window({"TessavoWindow", std::nullopt, program.pid(), true}, 30'000);
        ASSERT_TRUE(w.ok()) << w.error();
        main = w.value();
        ASSERT_TRUE(wait_for([&] { return visible(id::kAutopilotSwitch); }));
    }
    bool visible(int id) const {
        const auto c = ud::find_control(main, id);
        return c.ok() && c.value().visible;
    }
    std::string caption(int id) const {
        const auto c = ud::find_control(main, id);
        return c.ok() ? c.value().caption : "";
    }
    void click(int id) {
        ASSERT_TRUE(ud::click(main, id).ok()) << id;
        ud::settle(main);
    }
};

// The tray watch the window started (not the window's own process).
ud::Window tray_window(const App& app) {
    const ud::Window tray = ud::find_window({"TessavoTray"});
    return tray && ud::window_pid(tray) != app.program.pid() ? tray : 0;
}

// Turning Autopilot on starts a tray watch; this one ends it again.
void close_started_tray_watch() {
    if (const HWND tray = ::FindWindowW(kTrayClass, nullptr)) {
        ::PostMessageW(tray, WM_CLOSE, 0, 0);
        ud::wait_gone(reinterpret_cast<ud::Window>(tray), 10'000);
    }
}

bool run_value_present_in_prefix() {
    return ::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                          L"Tessavo", RRF_RT_REG_SZ, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

TEST(AutopilotPage, SwitchesAndChoicesLandInSettings) {
    App app;
    app.open();
    EXPECT_FALSE(app.visible(id::kList));
    EXPECT_FALSE(app.visible(id::kClearKeep));  // nothing kept running
    EXPECT_EQ(app.caption(id::kAutopilotSwitch), "Autopilot: off");
    EXPECT_EQ(app.caption(id::kRunNow), "Run now");
    EXPECT_EQ(app.caption(id::kFocus), "Turn on Focus mode");
    const bool run_value_before = run_value_present_in_prefix();

    app.click(id::kAutopilotSwitch);
    EXPECT_TRUE(settings_in(app.data).autopilot.enabled);
    EXPECT_EQ(app.caption(id::kAutopilotSwitch), "Autopilot: on");
    // Autopilot runs from the tray watch: one starts, and the card says so after timer 2.
    EXPECT_TRUE(wait_for([&] { return tray_window(app) != 0; }, 20'000));
    EXPECT_TRUE(wait_for([&] { return app.caption(id::kTrayCard) == "Watch in tray: on"; }, 5'000));
    // With a test data directory the sign-in Run value is left alone.
    EXPECT_EQ(run_value_present_in_prefix(), run_value_before);

    const struct {
        int id;
        std::uint32_t days;
    } intervals[] = {{id::kEveryWeek, 7}, {id::kEveryDay, 1}, {id::kEveryWeek, 7}};
    for (const auto& c : intervals) {
        app.click(c.id);
        EXPECT_EQ(settings_in(app.data).autopilot.every_days, c.days) << c.id;
        EXPECT_TRUE(settings_in(app.data).autopilot.enabled);  // the other choices stay
    }

    app.click(id::kDevServers);
    EXPECT_TRUE(settings_in(app.data).autopilot.close_dev_servers);
    EXPECT_EQ(app.caption(id::kDevServers), "Also close idle dev servers and adb: on");
    app.click(id::kDevServers);
    EXPECT_FALSE(settings_in(app.data).autopilot.close_dev_servers);

    app.click(id::kAutopilotSwitch);
    const Settings s = settings_in(app.data);
    EXPECT_FALSE(s.autopilot.enabled);
    EXPECT_EQ(s.autopilot.every_days, 7u);
    EXPECT_EQ(app.caption(id::kAutopilotSwitch), "Autopilot: off");
    close_started_tray_watch();
}

// Autopilot fixed on (every day) for the user and Focus mode forbidden for the machine:
// those controls are disabled and say so, a command sent to them anyway changes nothing,
// and the user's own settings.json is never written. Without the policy they work again.
TEST(AutopilotPage, ControlsAPolicyFixesAreDisabledAndSaySo) {
    test::PolicyKeys policy;
    ASSERT_TRUE(policy.set_dword(HKEY_CURRENT_USER, "Autopilot", 1));
    ASSERT_TRUE(policy.set_dword(HKEY_CURRENT_USER, "AutopilotIntervalDays", 1));
    ASSERT_TRUE(policy.set_dword(HKEY_LOCAL_MACHINE, "AllowFocusMode", 0));
    App app;
    app.open();
    const auto enabled = [&](int id) {
        const auto c = ud::find_control(app.main, id);
        return c.ok() && c.value().enabled;
    };
    const struct {
        int id;
        std::string caption;
    } fixed[] = {
        {id::kAutopilotSwitch, "Autopilot: on (Set by your organisation)"},
        {id::kEveryDay, "Every day (Set by your organisation)"},
        {id::kEveryWeek, "Every week (Set by your organisation)"},
        {id::kFocus, "Turn on Focus mode (Set by your organisation)"},
    };
    for (const auto& c : fixed) {
        EXPECT_FALSE(enabled(c.id)) << c.caption;
        EXPECT_EQ(app.caption(c.id), c.caption);
        EXPECT_FALSE(ud::click(app.main, c.id).ok()) << c.caption;  // refused: disabled
        ASSERT_TRUE(ud::click(app.main, c.id, ud::ClickHow::command).ok()) << c.caption;
        ud::settle(app.main);
    }
    EXPECT_TRUE(enabled(id::kDevServers));
    EXPECT_EQ(app.caption(id::kDevServers), "Also close idle dev servers and adb: off");
    EXPECT_FALSE(test::exists(app.data.file("settings.json")));
    EXPECT_FALSE(test::exists(app.data.file("focus.json")));
    EXPECT_EQ(app.caption(id::kAutopilotSwitch), "Autopilot: on (Set by your organisation)");
    app.program.end();

    policy.clear();
    app.open();
    for (const auto& c : fixed)
        EXPECT_TRUE(enabled(c.id)) << c.caption;
    EXPECT_EQ(app.caption(id::kAutopilotSwitch), "Autopilot: off");
    EXPECT_EQ(app.caption(id::kFocus), "Turn on Focus mode");
}

TEST(AutopilotPage, TrayCardStartsAndStopsTheTrayWatch) {
    App app;
    app.open();
    ASSERT_EQ(tray_window(app), 0u);
    EXPECT_EQ(app.caption(id::kTrayCard), "Watch in tray: off");
    app.click(id::kTrayCard);
    ASSERT_TRUE(wait_for([&] { return tray_window(app) != 0; }, 20'000));
    const ud::Window tray = tray_window(app);
    EXPECT_TRUE(wait_for([&] { return app.caption(id::kTrayCard) == "Watch in tray: on"; }, 5'000));
    // Settings are left alone: switching the tray watch is no Autopilot choice.
    EXPECT_FALSE(settings_in(app.data).autopilot.enabled);

    app.click(id::kTrayCard);
    EXPECT_TRUE(ud::wait_gone(tray, 20'000));
    EXPECT_TRUE(
        wait_for([&] { return app.caption(id::kTrayCard) == "Watch in tray: off"; }, 5'000));
}

TEST(AutopilotPage, KeepListShowsAndClears) {
    App app;
    Settings s;
    s.keep_running = {"gradle daemon", "vite"};
    s.autopilot.every_days = 3;
    test::write_text(app.data.file("settings.json"), serialize_settings(s));
    app.open();
    ASSERT_TRUE(app.visible(id::kClearKeep));
    EXPECT_EQ(app.caption(id::kClearKeep), "Clear");
    // The dev-server card sits higher while the keep list shows.
    const int card_top = ud::find_control(app.main, id::kDevServers).value().rect.top;

    app.click(id::kClearKeep);
    const Settings after = settings_in(app.data);
    EXPECT_TRUE(after.keep_running.empty());
    EXPECT_EQ(after.autopilot.every_days, 3u);
    EXPECT_FALSE(app.visible(id::kClearKeep));
    EXPECT_EQ(ud::find_control(app.main, id::kDevServers).value().rect.top, card_top + 26);
}

// Tab walks the page's controls top to bottom as they are drawn; Space presses the one
// with the focus.
TEST(AutopilotPage, TabFollowsThePageFromTheTopAndSpacePresses) {
    App app;
    Settings s;
    s.keep_running = {"vite"};  // "Clear" shows
    test::write_text(app.data.file("settings.json"), serialize_settings(s));
    app.open();
    ASSERT_TRUE(ud::set_focus(app.main, id::kAutopilotSwitch).ok());
    for (int next : {id::kDevServers, id::kClearKeep, id::kEveryDay, id::kEveryWeek, id::kRunNow,
                     id::kFocus}) {
        ASSERT_TRUE(ud::send_key(app.main, *ud::parse_key("tab")).ok());
        ud::settle(app.main);
        EXPECT_EQ(::GetDlgCtrlID(reinterpret_cast<HWND>(ud::focused(app.main))), next);
    }
    ASSERT_TRUE(ud::set_focus(app.main, id::kDevServers).ok());
    ASSERT_TRUE(ud::send_key(app.main, *ud::parse_key("space")).ok());
    ud::settle(app.main);
    EXPECT_TRUE(settings_in(app.data).autopilot.close_dev_servers);
}

TEST(AutopilotPage, FocusButtonTurnsFocusModeOnAndOff) {
    App app;
    app.open();
    const std::string state = app.data.file("focus.json");
    app.click(id::kFocus);
    // Wine has no efficiency mode: nothing is slowed, and Focus mode is on all the same.
    ASSERT_TRUE(wait_for([&] { return app.caption(id::kFocus) == "Turn off Focus mode"; }));
    ASSERT_TRUE(test::exists(state));
    const auto parsed = parse_focus_state(*test::read_text(state));
    ASSERT_TRUE(parsed);
    EXPECT_GT(parsed->since, 0u);

    app.click(id::kFocus);
    ASSERT_TRUE(wait_for([&] { return app.caption(id::kFocus) == "Turn on Focus mode"; }));
    EXPECT_FALSE(test::exists(state));
}

TEST(AutopilotPage, RunNowCleansUpAndRecordsTheRun) {
    App app;
    app.open({{"TESS_DRY_RUN", "1"}});
    app.click(id::kRunNow);
    // The run samples processes for two seconds: the button says so meanwhile.
    EXPECT_EQ(app.caption(id::kRunNow), "Cleaning up\u2026");
    ASSERT_TRUE(wait_for([&] { return app.caption(id::kRunNow) == "Run now"; }, 60'000));
    const Settings s = settings_in(app.data);
    EXPECT_GT(s.autopilot.last_run, 0u);
    const std::string note = "(test run: nothing was changed)";
    ASSERT_GE(s.autopilot.last_result.size(), note.size());
    EXPECT_EQ(s.autopilot.last_result.substr(s.autopilot.last_result.size() - note.size()), note);
}

// ---- in this process --------------------------------------------------------------------

struct Window {
    test::TempDir dir{"page6here"};
    test::ScopedEnv data{"TESS_DATA_DIR", dir.file("data")};
    HWND hwnd = nullptr;
    UiState* s = nullptr;
    int tray_starts = 0;

    Window() {
        win::create_dirs(dir.file("data"));
        hwnd = create_main_window({}, true);
        s = hwnd ? state_of(hwnd) : nullptr;
        if (!s) return;
        // This program is no tray watch: count the starts instead.
        s->start_tray = [this]() -> std::optional<std::string> {
            ++tray_starts;
            return std::nullopt;
        };
        pump();
        set_page(*s, Page::Autopilot);
        pump();
    }
    ~Window() {
        if (hwnd) ::DestroyWindow(hwnd);
        pump();
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        shared.focus_on = false;
        shared.focus.reset();
        shared.pending_statuses.clear();
    }
    // The click handled, and what it posted and painted. Timer 2 (the tray card's looks
    // again) is the test's to send: a real one firing meanwhile would set its own status.
    void command(int id) {
        click(id);
        ::KillTimer(hwnd, timer::kTray);
        pump();
    }
    void tray_timer() {
        ::SendMessageW(hwnd, WM_TIMER, timer::kTray, 0);
        ::KillTimer(hwnd, timer::kTray);
    }
    // The click handled, nothing else yet: what a worker posts back is still queued.
    void click(int id) { ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
};

TEST(AutopilotPageHere, StatusTextsOfTheSwitches) {
    Window w;
    ASSERT_TRUE(w.s);
    EXPECT_EQ(w.s->status, autopilot_page_status(false, false));

    w.command(id::kAutopilotSwitch);
    EXPECT_EQ(w.s->status, autopilot_status::kOn);
    EXPECT_EQ(w.s->status_kind, StatusKind::Success);
    EXPECT_EQ(w.tray_starts, 1);  // no tray watch ran
    // Timer 2: the tray watch still does not run, so the page says Autopilot can't run.
    w.tray_timer();
    EXPECT_EQ(w.s->status, autopilot_page_status(true, false));

    w.command(id::kDevServers);
    EXPECT_EQ(w.s->status, autopilot_status::kDevServersOn);
    w.command(id::kDevServers);
    EXPECT_EQ(w.s->status, autopilot_status::kDevServersOff);
    w.command(id::kClearKeep);
    EXPECT_EQ(w.s->status, autopilot_status::kKeepCleared);
    w.command(id::kAutopilotSwitch);
    EXPECT_EQ(w.s->status, autopilot_status::kOff);
    EXPECT_EQ(w.s->status_kind, StatusKind::Neutral);
    EXPECT_EQ(w.tray_starts, 1);  // turning off starts nothing
}

TEST(AutopilotPageHere, UnwritableSettingsSayNothingChanged) {
    Window w;
    ASSERT_TRUE(w.s);
    Settings before;
    before.keep_running = {"vite"};
    save_settings(before);
    // A folder where the temporary file goes: every save fails, the file stays as it was.
    ASSERT_TRUE(win::create_dirs(w.dir.file("data\\settings.tmp")));
    for (int id : {id::kAutopilotSwitch, id::kEveryDay, id::kDevServers, id::kClearKeep}) {
        w.s->status.clear();
        w.command(id);
        EXPECT_EQ(w.s->status, autopilot_status::kNotSaved) << id;
        EXPECT_EQ(w.s->status_kind, StatusKind::Problem);
        EXPECT_EQ(load_settings(), before);
        EXPECT_EQ(w.s->settings, before);  // drawn from what the file says
    }
    EXPECT_EQ(w.tray_starts, 0);
    // A broken file reads as the defaults and can be switched (it is replaced whole).
    ::RemoveDirectoryW(win::widen(w.dir.file("data\\settings.tmp")).c_str());
    test::write_text(w.dir.file("data\\settings.json"), "{\"autopilot\": 7,");
    w.command(id::kAutopilotSwitch);
    EXPECT_TRUE(load_settings().autopilot.enabled);
}

// Painting reads no file: settings another process changed (a tray watch's run) show once
// the page looks again, within timer 3's two seconds, not at whatever paint comes first.
TEST(AutopilotPageHere, SettingsChangedElsewhereShowAtTheNextLookNotAtAPaint) {
    Window w;
    ASSERT_TRUE(w.s);
    ASSERT_FALSE(w.s->settings.autopilot.enabled);
    update_settings([](Settings& st) {
        st.autopilot.enabled = true;
        st.autopilot.every_days = 1;
    });
    ::RedrawWindow(w.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_FALSE(w.s->settings.autopilot.enabled);
    ::SendMessageW(w.hwnd, WM_TIMER, timer::kMemory, 0);
    EXPECT_TRUE(w.s->settings.autopilot.enabled);
    EXPECT_EQ(w.s->settings.autopilot.every_days, 1u);
    EXPECT_EQ(window_text(control(*w.s, id::kAutopilotSwitch)), L"Autopilot: on");
}

TEST(AutopilotPageHere, ATrayWatchThatCannotStartSaysWhyAndKeepsSaying) {
    Window w;
    ASSERT_TRUE(w.s);
    w.s->start_tray = [] { return std::optional<std::string>("The system cannot find the file"); };
    w.command(id::kTrayCard);
    EXPECT_EQ(w.s->status, "Couldn't start the tray watch: The system cannot find the file");
    EXPECT_EQ(w.s->status_kind, StatusKind::Problem);
    // Timer 2 looks for the tray window again and leaves the problem in view.
    w.tray_timer();
    EXPECT_FALSE(w.s->tray_running);
    EXPECT_EQ(w.s->status_kind, StatusKind::Problem);

    w.s->start_tray = [] { return std::optional<std::string>(); };
    w.command(id::kTrayCard);
    EXPECT_EQ(w.s->status, autopilot_status::kTrayOn);
    EXPECT_EQ(w.s->status_kind, StatusKind::Success);
}

TEST(AutopilotPageHere, FocusToggleShowsItsTextAndTheCardFollows) {
    Window w;
    ASSERT_TRUE(w.s);
    // Efficiency mode and the power mode are recorded: Wine has neither.
    int throttled = 0;
    w.s->focus_system = [&throttled] {
        PowerOverlay power;
        power.available = [] { return false; };
        power.active = [] { return std::optional<Guid>(); };
        power.set_active = [](const Guid&) { return false; };
        return focus_system(
            /*dry_run=*/false,
            [&throttled](void*, bool on) {
                throttled += on ? 1 : -1;
                return true;
            },
            power);
    };
    w.click(id::kFocus);
    EXPECT_EQ(w.s->status, autopilot_status::kFocusEntering);
    // A second click while the toggle runs does nothing.
    w.click(id::kFocus);
    ASSERT_TRUE(
        pump_until([&] { return w.s->status.rfind("\u2714 Focus mode is on: ", 0) == 0; }, 20'000))
        << w.s->status;
    EXPECT_EQ(w.s->status_kind, StatusKind::Success);
    std::optional<FocusState> state;
    {
        std::lock_guard lock(shared_state().mutex);
        ASSERT_TRUE(shared_state().focus_on);
        state = shared_state().focus;
    }
    ASSERT_TRUE(state);
    EXPECT_EQ(w.s->status, focus_page_on_text(*state));
    EXPECT_EQ(static_cast<std::size_t>(throttled), state->slowed.size());
    EXPECT_EQ(window_text(control(*w.s, id::kFocus)), L"Turn off Focus mode");

    w.click(id::kFocus);
    EXPECT_EQ(w.s->status, autopilot_status::kFocusLeaving);
    ASSERT_TRUE(pump_until([&] { return w.s->status.rfind("Focus mode is off", 0) == 0; }, 20'000));
    EXPECT_EQ(throttled, 0);
    EXPECT_FALSE(test::exists(w.dir.file("data\\focus.json")));
    EXPECT_EQ(window_text(control(*w.s, id::kFocus)), L"Turn on Focus mode");
}

// ---- "Run now" against build daemons ------------------------------------------------------

TESS_CHILD(page6_daemon) {
    ::Sleep(120'000);
    return 0;
}

TEST(AutopilotPageHere, RunNowClosesIdleDaemonsAndShowsTheSummary) {
    Window w;
    ASSERT_TRUE(w.s);
    test::ScopedEnv temp("TEMP", w.dir.file("Temp"));
    test::ScopedEnv local("LOCALAPPDATA", w.dir.file("Local"));
    test::ScopedEnv dry("TESS_DRY_RUN", std::nullopt);
    win::create_dirs(w.dir.file("Temp"));
    win::create_dirs(w.dir.file("bin"));
    const std::string java = w.dir.file("bin\\java.exe");
    ASSERT_TRUE(::CopyFileW(win::widen(win::exe_path()).c_str(), win::widen(java).c_str(), TRUE));
    test::Daemon gradle(java, "page6_daemon",
                        "org.gradle.launcher.daemon.bootstrap.GradleDaemon 8.5");
    ASSERT_TRUE(gradle.running());
    // Under Wine a child builds its command line as it starts: wait until the list shows it.
    ASSERT_TRUE(wait_for([&] {
        for (const ProcessInfo& p : list_processes(0, true))
            if (p.pid == gradle.pid && !p.command_line.empty()) return true;
        return false;
    }));

    // A daemon busy starting up is not idle: wait until its CPU time stands still.
    const auto cpu_of = [&] {
        for (const ProcessRow& r : process_snapshot())
            if (r.pid == gradle.pid) return r.cpu_time;
        return std::uint64_t{0};
    };
    ASSERT_TRUE(wait_for(
        [&] {
            const std::uint64_t before = cpu_of();
            ::Sleep(500);
            return cpu_of() == before;
        },
        20'000));

    // The run's clock is an hour ahead, and the CPU history an hour before it knows the
    // daemon as it is now: idle for the whole hour.
    const std::uint64_t clock = static_cast<std::uint64_t>(std::time(nullptr)) + 3600;
    CpuSample sample{clock - 3600, {}};
    for (const ProcessRow& r : process_snapshot())
        if (r.pid == gradle.pid) sample.procs.push_back({r.pid, r.created, r.cpu_time});
    test::write_text(w.dir.file("data\\cpu-history.json"), serialize_cpu_history({sample}));
    w.s->autopilot_system = [clock] {
        AutopilotSystem sys = autopilot_system(/*dry_run=*/false);
        sys.now = [clock] { return clock; };
        return sys;
    };

    w.click(id::kRunNow);
    EXPECT_EQ(w.s->status, autopilot_status::kCleaning);
    EXPECT_EQ(window_text(control(*w.s, id::kRunNow)), L"Cleaning up\u2026");
    w.command(id::kRunNow);  // a second click while it runs does nothing
    ASSERT_TRUE(pump_until([&] { return w.s->status.rfind("\u2714 ", 0) == 0; }, 60'000))
        << w.s->status;
    EXPECT_EQ(test::wait_exit(gradle.process, 5'000), 1);  // ended by the executor
    const Settings s = load_settings();
    EXPECT_EQ(s.autopilot.last_run, clock);
    EXPECT_EQ(w.s->status, "\u2714 " + s.autopilot.last_result + ".");
    EXPECT_NE(w.s->status.find("losed Gradle daemon"), std::string::npos) << w.s->status;
    EXPECT_EQ(w.s->status_kind, StatusKind::Success);
    EXPECT_EQ(window_text(control(*w.s, id::kRunNow)), L"Run now");
    // One run: the second click started nothing, so the journal has one kill.
    const Journal j = load_journal(w.dir.file("data\\journal.json"));
    EXPECT_EQ(std::count_if(j.entries.begin(), j.entries.end(),
                            [](const JournalEntry& e) {
                                return std::holds_alternative<KillProcesses>(e.action);
                            }),
              1);
}

}  // namespace
}  // namespace tess::ui
