#include <gtest/gtest.h>

#include "core/timeutil.hpp"
#include "tray/tray.hpp"

namespace tess {
namespace {

constexpr std::uint64_t kGiB = 1ull << 30;

MemoryStatus memory_at(MemoryLevel level) {
    // 16 GiB of RAM; committed and available picked well inside each level's band.
    switch (level) {
        case MemoryLevel::Critical:
            return {16 * kGiB, kGiB / 2, 20 * kGiB, 32 * kGiB};
        case MemoryLevel::High:
            return {16 * kGiB, kGiB, 17 * kGiB, 32 * kGiB};
        case MemoryLevel::Normal:
            break;
    }
    return {16 * kGiB, 8 * kGiB, 6 * kGiB, 32 * kGiB};
}

// A simulated tray: ticks every `tick_seconds` of a FILETIME clock.
struct Sim {
    TrayState state;
    std::uint64_t now = unix_to_filetime(1'700'000'000);
    std::uint64_t tick_seconds = 5;

    TickOutcome tick(MemoryLevel level) {
        now += tick_seconds * kTicksPerSecond;
        return run_tick(state, memory_at(level), now);
    }
};

TEST(TrayTick, PeriodFromEnvironment) {
    const struct {
        std::optional<std::string> env;
        std::uint32_t ms;
    } cases[] = {
        {std::nullopt, 5000},
        {"50", 50},
        {"49", 5000},
        {"+75", 75},
        {"text", 5000},
        {"", 5000},
        {"+", 5000},
        {"-60", 5000},
        {" 60", 5000},
        {"60ms", 5000},
        {"4294967295", 4294967295u},
        {"4294967296", 5000},
        {"99999999999999999999", 5000},
        {"0050", 50},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tick_period_ms(c.env), c.ms) << (c.env ? *c.env : "(unset)");
}

TEST(TrayTick, MutexNames) {
    EXPECT_EQ(tray_mutex_name(false), "Local\\Tessavo.Tray");
    EXPECT_EQ(tray_mutex_name(true), "Local\\Tessavo.Tray.Test");
}

TEST(TrayTick, ScheduleOverTwoHoursOfTicks) {
    Sim sim;
    std::vector<std::uint64_t> cpu, autopilot, focus, dev;
    for (std::uint64_t n = 1; n <= 360; ++n) {
        const TickOutcome t = sim.tick(MemoryLevel::Normal);
        if (t.work.cpu_sample) cpu.push_back(n);
        if (t.work.autopilot_test) autopilot.push_back(n);
        if (t.work.focus_refresh) focus.push_back(n);
        if (t.work.dev_check) {
            dev.push_back(n);
            sim.state.dev_check_running = false;  // the check reports back at once
        }
    }
    EXPECT_EQ(cpu, (std::vector<std::uint64_t>{1, 60, 120, 180, 240, 300, 360}));
    EXPECT_EQ(dev, (std::vector<std::uint64_t>{120, 240, 360}));
    EXPECT_EQ(autopilot.size(), 30u);
    EXPECT_EQ(autopilot.front(), 12u);
    EXPECT_EQ(focus.size(), 60u);
    EXPECT_EQ(focus.front(), 6u);
}

TEST(TrayTick, UpdateCheckOnTheSixthTickThenEverySixHours) {
    Sim sim;
    std::vector<std::uint64_t> checks;
    for (std::uint64_t n = 1; n <= 8640; ++n) {
        if (sim.tick(MemoryLevel::Normal).work.update_check) checks.push_back(n);
        sim.state.dev_check_running = false;
    }
    EXPECT_EQ(checks, (std::vector<std::uint64_t>{6, 4320, 8640}));
}

TEST(TrayTick, RunningWorkIsNotStartedTwice) {
    Sim sim;
    for (int n = 1; n < 120; ++n)
        sim.tick(MemoryLevel::Normal);
    EXPECT_TRUE(sim.tick(MemoryLevel::Normal).work.dev_check);  // tick 120 sets the flag
    EXPECT_TRUE(sim.state.dev_check_running);
    sim.state.autopilot_running = true;
    sim.state.focus_toggle_running = true;
    for (int n = 121; n <= 240; ++n) {
        const TickOutcome t = sim.tick(MemoryLevel::Normal);
        EXPECT_FALSE(t.work.dev_check) << n;  // the first check never reported back
        EXPECT_FALSE(t.work.autopilot_test) << n;
        EXPECT_FALSE(t.work.focus_refresh) << n;
    }
}

TEST(TrayTick, CriticalAlertHysteresis) {
    Sim sim;
    for (int n = 1; n <= 23; ++n)
        EXPECT_FALSE(sim.tick(MemoryLevel::Critical).critical_alert) << n;
    EXPECT_TRUE(sim.tick(MemoryLevel::Critical).critical_alert);  // the 24th
    // Pressure goes on: the next alert comes only once more than 30 minutes have passed.
    const std::uint64_t alerted = sim.now;
    std::uint64_t next = 0;
    for (int n = 0; n < 1000 && next == 0; ++n)
        if (sim.tick(MemoryLevel::Critical).critical_alert) next = sim.now;
    ASSERT_NE(next, 0u);
    EXPECT_GT(next - alerted, 1800 * kTicksPerSecond);
    EXPECT_LE(next - alerted, 1805 * kTicksPerSecond);
}

TEST(TrayTick, OneCalmerTickResetsTheCriticalCount) {
    for (const MemoryLevel calmer : {MemoryLevel::High, MemoryLevel::Normal}) {
        Sim sim;
        for (int n = 1; n <= 20; ++n)
            sim.tick(MemoryLevel::Critical);
        sim.tick(calmer);
        EXPECT_EQ(sim.state.critical_ticks, 0u);
        for (int n = 1; n <= 23; ++n)
            EXPECT_FALSE(sim.tick(MemoryLevel::Critical).critical_alert) << n;
        EXPECT_TRUE(sim.tick(MemoryLevel::Critical).critical_alert);
    }
}

TEST(TrayTick, ClockSetBackDoesNotRepeatTheAlert) {
    Sim sim;
    for (int n = 1; n <= 24; ++n)
        sim.tick(MemoryLevel::Critical);
    sim.now -= 3600 * kTicksPerSecond;
    for (int n = 0; n < 50; ++n)
        EXPECT_FALSE(sim.tick(MemoryLevel::Critical).critical_alert);
}

TEST(TrayTick, IconChangesOnlyWithTheLevel) {
    Sim sim;
    icon_added(sim.state);  // shows Normal
    const struct {
        MemoryLevel level;
        bool changes;
        bool first;
    } steps[] = {
        {MemoryLevel::Normal, false, true},   {MemoryLevel::Normal, false, false},
        {MemoryLevel::High, true, false},     {MemoryLevel::High, false, false},
        {MemoryLevel::Critical, true, false}, {MemoryLevel::Normal, true, false},
    };
    for (const auto& s : steps) {
        const TickOutcome t = sim.tick(s.level);
        EXPECT_EQ(t.level, s.level);
        EXPECT_EQ(t.icon_changes, s.changes);
        EXPECT_EQ(t.first, s.first);
    }
    // Explorer restarted: the icon is added again with the Normal picture.
    sim.tick(MemoryLevel::High);
    icon_added(sim.state);
    EXPECT_TRUE(sim.tick(MemoryLevel::High).icon_changes);
}

TEST(TrayTick, TooltipText) {
    const MemoryStatus m{16 * kGiB, 8 * kGiB, 6 * kGiB, 32 * kGiB};
    EXPECT_EQ(tray_tooltip(MemoryLevel::Normal, m),
              "Tessavo: memory Normal\n6.0 GB used of 16.0 GB RAM (38%). Click for one-click "
              "Optimise.");
    EXPECT_EQ(tray_tooltip(MemoryLevel::Normal, MemoryStatus{}),
              "Tessavo: memory Normal\n1 KB used of 1 KB RAM (0%). Click for one-click Optimise.");
    EXPECT_EQ(tooltip_utf16(std::string(200, 'a')).size(), 127u);
    // A character outside the BMP at the cut is dropped whole rather than split.
    std::string tip(126, 'a');
    tip += "\xF0\x9F\x98\x80";
    EXPECT_EQ(tooltip_utf16(tip), std::u16string(126, u'a'));
    EXPECT_EQ(tooltip_utf16(kInitialTooltip), u"Tessavo: checking memory\u2026");
}

TEST(TrayAlerts, CriticalMessageNamesTheThreeBiggest) {
    const MemoryStatus m{16 * kGiB, kGiB / 2, 24 * kGiB, 32 * kGiB};
    auto group = [](std::string name, std::uint64_t bytes) {
        AppGroup g;
        g.display_name = std::move(name);
        g.private_bytes = bytes;
        return g;
    };
    const std::vector<AppGroup> groups = {group("chrome", 3 * kGiB), group("Code", 1200ull << 20),
                                          group("java", 900ull << 20), group("slack", 1 << 20)};
    const std::string msg = critical_alert_message(m, groups);
    EXPECT_EQ(msg,
              "Memory pressure: Critical (24.0 GB committed on 16.0 GB of RAM, 150%). Biggest: "
              "chrome (3.0 GB), Code (1.2 GB), java (900 MB).");
    EXPECT_EQ(critical_alert_toast(msg),
              (Toast{"Memory is almost full", msg, "Optimise", ToastKind::OpenPanel}));
    EXPECT_EQ(critical_alert_message(m, {}),
              "Memory pressure: Critical (24.0 GB committed on 16.0 GB of RAM, 150%). Biggest: .");
}

TEST(TrayAlerts, BusyStates) {
    const struct {
        std::optional<std::uint32_t> state;
        bool busy;
    } cases[] = {{std::nullopt, false},
                 {1, false},
                 {2, true},
                 {3, true},
                 {4, true},
                 {5, false},
                 {6, true},
                 {7, true},
                 {8, false},
                 {0, false}};
    for (const auto& c : cases)
        EXPECT_EQ(user_busy(c.state), c.busy) << (c.state ? *c.state : 99);
}

TEST(TrayAlerts, ToastsWaitWhileBusyAndOnlyTheNewestSurvives) {
    TrayState state;
    const Toast a{"A", "a", "", ToastKind::None};
    const Toast b{"B", "b", "Free it", ToastKind::OpenPanel};
    const Toast c{"C", "c", "See details", ToastKind::OpenHistory};
    EXPECT_FALSE(queue_toast(state, a, true));
    EXPECT_FALSE(queue_toast(state, b, true));
    EXPECT_FALSE(queue_toast(state, c, true));
    EXPECT_FALSE(release_pending_toast(state, true));  // still presenting
    EXPECT_EQ(release_pending_toast(state, false), c);
    EXPECT_FALSE(release_pending_toast(state, false));  // the slot is empty now
    EXPECT_EQ(queue_toast(state, a, false), a);         // not busy: shown at once
    EXPECT_FALSE(state.pending_toast);
}

Suggestion dev_tool(std::string title, std::string label, std::uint64_t bytes, bool ticked = true,
                    SuggestionSection section = SuggestionSection::DevTool) {
    Suggestion s;
    s.title = std::move(title);
    s.action = KillProcesses{std::move(label), {}};
    s.bytes = bytes;
    s.ticked = ticked;
    s.section = section;
    return s;
}

TEST(TrayAlerts, DevCheckResult) {
    Suggestion no_label = dev_tool("Vite dev server (shop)", "", 100 << 20);
    no_label.action = CleanJunk{"x", "y"};
    const std::vector<Suggestion> s = {
        dev_tool("2 Gradle daemons", "Gradle daemon", 1ull << 30),
        dev_tool("Slack", "Slack", 500 << 20, true, SuggestionSection::BackgroundApp),
        dev_tool("Kotlin daemon", "Kotlin daemon", 300 << 20, false),
        no_label,
        dev_tool("adb server", "adb", 20 << 20),
    };
    const DevCheckResult r = dev_check_result(s);
    EXPECT_EQ(r.count, 3u);
    EXPECT_EQ(r.bytes, (1ull << 30) + (120ull << 20));
    EXPECT_EQ(r.key, "2 Gradle daemons|Vite dev server (shop)|adb server");
    EXPECT_EQ(r.names, "Gradle daemon, Vite dev server (shop)");
}

TEST(TrayAlerts, SameIdleToolsAlertOnceAChangedSetAgain) {
    const DevCheckResult two{2, 2ull << 30, "Gradle daemon|Gradle daemon 2",
                             "Gradle daemon, Gradle daemon 2"};
    const DevCheckResult one{1, 1ull << 30, "Gradle daemon", "Gradle daemon"};
    const DevCheckResult none{};
    const struct {
        const DevCheckResult* found;
        bool alerts;
    } checks[] = {{&two, true},  {&two, false},  {&one, true}, {&two, true},
                  {&two, false}, {&none, false}, {&two, true}};
    TrayState state;
    int i = 0;
    for (const auto& c : checks) {
        state.dev_check_running = true;
        const DevCheckReport r = on_dev_check(state, *c.found);
        EXPECT_FALSE(state.dev_check_running);
        EXPECT_EQ(r.toast.has_value(), c.alerts) << "check " << i;
        EXPECT_EQ(r.log.size(), c.alerts ? 2u : 1u) << "check " << i;
        ++i;
    }
    state.last_dev_key.clear();
    DevCheckReport r = on_dev_check(state, two);
    EXPECT_EQ(r.log,
              (std::vector<std::string>{
                  "dev-tool check: 2 idle, 2.0 GB",
                  "alert: 2 idle dev tools are holding 2.0 GB. Gradle daemon, Gradle daemon 2"}));
    EXPECT_EQ(r.toast, (Toast{"2 idle dev tools are holding 2.0 GB",
                              "Gradle daemon, Gradle daemon 2. Nothing has used them for a while.",
                              "Free it", ToastKind::OpenPanel}));
    r = on_dev_check(state, one);
    EXPECT_EQ(r.toast->title, "An idle dev tool is holding 1.0 GB");
    EXPECT_EQ(on_dev_check(state, none).log,
              (std::vector<std::string>{"dev-tool check: 0 idle, 1 KB"}));
}

TEST(TrayAlerts, AutopilotAndFocusToasts) {
    EXPECT_FALSE(autopilot_toast(0, 0, "Nothing needed cleaning"));
    EXPECT_EQ(autopilot_toast(312ull << 20, 0, "Deleted 312 MB of junk files"),
              (Toast{"Autopilot freed 312 MB", "Deleted 312 MB of junk files", "See details",
                     ToastKind::OpenHistory}));
    // A failure is in the title, even beside bytes freed.
    EXPECT_EQ(autopilot_toast(0, 2, "s")->title, "Autopilot finished, with problems");
    EXPECT_EQ(autopilot_toast(312ull << 20, 1, "s")->title, "Autopilot finished, with problems");
    EXPECT_EQ(autopilot_toast(312ull << 20, 0, "Would delete 312 MB of junk files", true)->title,
              "Autopilot would free 312 MB");
    EXPECT_EQ(focus_toast(true, "Focus mode is on: x."),
              (Toast{"Focus mode is on", "Focus mode is on: x.", "", ToastKind::None}));
    EXPECT_EQ(focus_toast(false, "t").title, "Focus mode is off");
}

TEST(TrayUpdates, WhoHearsWhichAnswer) {
    using updates::CheckKind;
    const Toast ready{"Version 0.6.0 is ready",
                      "Updating takes a few seconds and keeps your settings and history.",
                      "See what's new", ToastKind::OpenUpdate};
    const Toast current{"You're up to date", "Tessavo 0.5.0 is the latest version.", "",
                        ToastKind::None};
    const Toast failed{"Couldn't check for updates", "the server answered with HTTP 404", "",
                       ToastKind::None};
    const struct {
        bool by_user;
        CheckKind kind;
        std::optional<std::string> log;
        std::optional<Toast> toast;
        bool now, open;
    } cases[] = {
        {false, CheckKind::Found, "update: version 0.6.0 is available", ready, false, false},
        {true, CheckKind::Found, std::nullopt, std::nullopt, false, true},
        {false, CheckKind::NoUpdate, std::nullopt, std::nullopt, false, false},
        {true, CheckKind::NoUpdate, std::nullopt, current, true, false},
        {false, CheckKind::Failed, std::nullopt, std::nullopt, false, false},
        {true, CheckKind::Failed, std::nullopt, failed, true, false},
    };
    for (const auto& c : cases) {
        const UpdateCheckReport r =
            on_update_checked(c.by_user, c.kind, "0.6.0", "the server answered with HTTP 404");
        const std::string what =
            std::to_string(c.by_user) + "/" + std::to_string(static_cast<int>(c.kind));
        EXPECT_EQ(r.log, c.log) << what;
        EXPECT_EQ(r.toast, c.toast) << what;
        EXPECT_EQ(r.toast_now, c.now) << what;
        EXPECT_EQ(r.open_window, c.open) << what;
    }
}

TEST(TrayUpdates, WindowOutcomeLogLines) {
    EXPECT_EQ(update_window_log(ui::UpdateOutcome::HandedOver, "0.6.0"),
              "update: installing 0.6.0, handing over");
    EXPECT_EQ(update_window_log(ui::UpdateOutcome::Skipped, "0.6.0"), "update: skipped 0.6.0");
    EXPECT_EQ(update_window_log(ui::UpdateOutcome::Closed, "0.6.0"), std::nullopt);
}

TEST(TrayMenu, TextsAndChecks) {
    auto menu = tray_menu(std::nullopt, false, false);
    ASSERT_EQ(menu.size(), 9u);
    EXPECT_EQ(menu[0].text, "Memory: Checking\xE2\x80\xA6");
    EXPECT_TRUE(menu[0].greyed);
    EXPECT_TRUE(menu[1].separator);
    EXPECT_EQ(menu[2].id, TrayCommand::QuickOptimise);
    EXPECT_EQ(menu[2].text, "Quick optimise\xE2\x80\xA6");
    EXPECT_EQ(menu[3].text, "Open Tessavo");
    EXPECT_EQ(menu[4].id, TrayCommand::Focus);
    EXPECT_EQ(menu[5].id, TrayCommand::StartWithWindows);
    EXPECT_FALSE(menu[4].checked || menu[5].checked);
    EXPECT_EQ(menu[6].id, TrayCommand::CheckUpdates);
    EXPECT_EQ(static_cast<int>(menu[6].id), 5);
    EXPECT_EQ(menu[6].text, "Check for updates (v0.5.0)");
    EXPECT_TRUE(menu[7].separator);
    EXPECT_EQ(menu[8].id, TrayCommand::Exit);
    EXPECT_EQ(menu[8].text, "Exit tray watch");
    menu = tray_menu(MemoryLevel::High, true, true);
    EXPECT_EQ(menu[0].text, "Memory: High");
    EXPECT_TRUE(menu[4].checked && menu[5].checked);
}

TEST(TrayMenu, IconEvents) {
    constexpr std::uint32_t kSel = 0x0400, kKey = 0x0401, kUp = 0x0202, kDbl = 0x0203,
                            kRUp = 0x0205, kCtx = 0x007B, kMove = 0x0200;
    const struct {
        std::uint32_t msg;
        bool open, applying;
        std::uint64_t now;
        std::optional<std::uint64_t> closed;
        IconAction action;
    } cases[] = {
        {kSel, false, false, 10'000, std::nullopt, IconAction::OpenPanel},
        {kSel, false, false, 10'000, 9'600, IconAction::None},  // 400 ms ago: the closing click
        {kSel, false, false, 10'000, 9'599, IconAction::OpenPanel},
        {kSel, true, false, 10'000, std::nullopt, IconAction::ClosePanel},
        {kSel, true, true, 10'000, std::nullopt, IconAction::None},
        {kKey, false, false, 10'000, std::nullopt, IconAction::OpenPanel},
        {kKey, true, false, 10'000, std::nullopt, IconAction::ClosePanel},
        {kDbl, false, false, 10'000, std::nullopt, IconAction::OpenMain},
        {kCtx, true, false, 10'000, std::nullopt, IconAction::Menu},
        {kCtx, false, false, 10'000, std::nullopt, IconAction::Menu},
        // Version 4 sends the button-ups before NIN_SELECT and WM_CONTEXTMENU: one action each.
        {kUp, false, false, 10'000, std::nullopt, IconAction::None},
        {kRUp, false, false, 10'000, std::nullopt, IconAction::None},
        {kMove, false, false, 10'000, std::nullopt, IconAction::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(icon_event(c.msg, c.open, c.applying, c.now, c.closed), c.action)
            << std::hex << c.msg << " open " << c.open;
}

// A shell that refused NIM_SETVERSION sends the old mouse messages, which act as before.
TEST(TrayMenu, OldIconMessagesMapToVersion4) {
    const struct {
        std::uint32_t old_msg, event;
    } cases[] = {{0x0202, 0x0400}, {0x0205, 0x007B}, {0x0203, 0x0203}, {0x0200, 0x0200},
                 {0x0400, 0x0400}, {0x0401, 0x0401}, {0x007B, 0x007B}};
    for (const auto& c : cases)
        EXPECT_EQ(version4_icon_event(c.old_msg), c.event) << std::hex << c.old_msg;
}

}  // namespace
}  // namespace tess
