#include <gtest/gtest.h>

#include "ui/autopilot_text.hpp"

namespace tess::ui {
namespace {

constexpr std::uint64_t kHour = 3600;
constexpr std::uint64_t kNow = 1'700'000'000;
constexpr std::uint32_t kGreen = 0x16A34A;
constexpr std::uint32_t kGrey = 0x64748B;

Schedule schedule(std::uint32_t every_days, std::uint64_t last_run, bool enabled = true) {
    Schedule s;
    s.enabled = enabled;
    s.every_days = every_days;
    s.last_run = last_run;
    return s;
}

std::string stamp(std::uint64_t unix_seconds) {
    return "T" + std::to_string(unix_seconds);
}

TEST(AutopilotText, NextRunByIntervalAndLastRun) {
    const std::string idle5 = "Next clean-up: the next time your PC is idle for 5 minutes";
    const std::string within = "Next clean-up: within a day, when your PC is idle";
    const struct {
        std::uint32_t every_days;
        std::uint64_t ago;  // seconds since the last run; kNow + 1: never ran
        std::string text;
    } cases[] = {
        {1, 36 * kHour, idle5},
        {1, 12 * kHour, within},
        {7, 24 * kHour, "Next clean-up: in 6 days, when your PC is idle"},
        {7, 24 * kHour + 1, "Next clean-up: in 6 days, when your PC is idle"},  // 5.99 days up
        {3, 0, "Next clean-up: in 3 days, when your PC is idle"},
        {3, 36 * kHour, "Next clean-up: in 2 days, when your PC is idle"},
        {3, 72 * kHour, idle5},   // exactly due
        {0, 12 * kHour, within},  // 0 counts as one day
        {0, 25 * kHour, idle5},
        {7, kNow + 1, idle5},  // never ran
    };
    for (const auto& c : cases) {
        const std::uint64_t last = c.ago > kNow ? 0 : kNow - c.ago;
        EXPECT_EQ(next_run_text(schedule(c.every_days, last), kNow), c.text)
            << c.every_days << " days, " << c.ago << " s ago";
    }
    // A last run in the far future cannot overflow into "long ago".
    EXPECT_EQ(next_run_text(schedule(7, UINT64_MAX - 10), kNow), idle5);
}

TEST(AutopilotText, StatusLineAndIntervalChoice) {
    EXPECT_EQ(
        autopilot_status_line(schedule(1, kNow - 12 * kHour), kNow),
        (ColouredText{"On, every day. Next clean-up: within a day, when your PC is idle", kGreen}));
    EXPECT_EQ(autopilot_status_line(schedule(3, 0), kNow).text,
              "On, every week. Next clean-up: the next time your PC is idle for 5 minutes");
    EXPECT_EQ(autopilot_status_line(schedule(7, kNow, false), kNow), (ColouredText{"Off", kGrey}));
    EXPECT_TRUE(every_day_chosen(0));
    EXPECT_TRUE(every_day_chosen(1));
    EXPECT_FALSE(every_day_chosen(2));
    EXPECT_FALSE(every_day_chosen(3));
    EXPECT_EQ(autopilot_switch_word(true), (ColouredText{"On", 0x0F172A}));
    EXPECT_EQ(autopilot_switch_word(false), (ColouredText{"Off", kGrey}));
}

TEST(AutopilotText, KeepListAndLastRun) {
    EXPECT_EQ(keep_list_text({}), "");
    EXPECT_EQ(keep_list_text({"gradle daemon", "vite", "7zip", ""}),
              "Never closed automatically: Gradle daemon, Vite, 7zip, ");
    Schedule s = schedule(7, 0);
    s.last_result = "Deleted 5 MB of junk files";
    EXPECT_EQ(last_run_text(s, stamp), "Hasn't run yet.");
    s.last_run = 42;
    EXPECT_EQ(last_run_text(s, stamp), "Last clean-up T42: Deleted 5 MB of junk files.");
    s.last_result = "Nothing needed cleaning...";
    EXPECT_EQ(last_run_text(s, stamp), "Last clean-up T42: Nothing needed cleaning.");
    s.last_result = "";
    EXPECT_EQ(last_run_text(s, stamp), "Last clean-up T42: .");
}

TEST(AutopilotText, FocusCard) {
    FocusState state;
    state.since = 99;
    state.slowed = {{1, 2, "a.exe", 0}, {3, 4, "b.exe", 0}};
    state.power_prev = "00000000000000000000000000000000";
    EXPECT_EQ(focus_status_line(true, state, stamp),
              (ColouredText{"On since T99: 2 background programs in efficiency mode \u00B7 power "
                            "mode: Best performance",
                            kGreen}));
    EXPECT_EQ(focus_status_line(true, FocusState{}, stamp).text,
              "On since T0: no busy background programs right now");
    // On (the file exists) but unreadable: no made-up time.
    EXPECT_EQ(focus_status_line(true, std::nullopt, stamp), (ColouredText{"On", kGreen}));
    EXPECT_EQ(focus_status_line(false, state, stamp), (ColouredText{"Off", kGrey}));

    EXPECT_EQ(focus_button_caption(false, false), "Turn on Focus mode");
    EXPECT_EQ(focus_button_caption(true, false), "Turn off Focus mode");
    EXPECT_EQ(focus_button_caption(true, true), "Working\u2026");
    EXPECT_EQ(focus_button_caption(false, true), "Working\u2026");
    EXPECT_TRUE(focus_button_accent(false, false));
    EXPECT_FALSE(focus_button_accent(true, false));
    EXPECT_FALSE(focus_button_accent(false, true));
}

TEST(AutopilotText, ButtonsAndStatusTexts) {
    EXPECT_EQ(run_now_caption(false), "Run now");
    EXPECT_EQ(run_now_caption(true), "Cleaning up\u2026");
    EXPECT_EQ(run_now_result_text("Nothing needed cleaning"), "\u2714 Nothing needed cleaning.");
    EXPECT_EQ(autopilot_page_status(true, false),
              "Autopilot runs from the tray watch, which is off right now. Turn on \u201CWatch in "
              "tray\u201D in the sidebar so it can run.");
    const std::string usual =
        "Everything Autopilot cleans shows up in History & undo. Focus mode only changes speed and "
        "power settings, and puts them back.";
    EXPECT_EQ(autopilot_page_status(true, true), usual);
    EXPECT_EQ(autopilot_page_status(false, false), usual);
    EXPECT_EQ(dev_servers_text(true),
              "On: Vite, Next.js, Expo, nodemon and adb too, when nothing is connected to them");
    EXPECT_EQ(dev_servers_text(false), "Off: only Gradle and Kotlin build daemons are closed");
    EXPECT_EQ(tray_start_failed_text("access denied"),
              "Couldn't start the tray watch: access denied");
    EXPECT_EQ(tray_card_text(true), "On \u2014 click the tray icon for one-click Optimise");
}

}  // namespace
}  // namespace tess::ui
