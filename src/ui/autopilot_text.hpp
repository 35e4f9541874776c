// The Autopilot & Focus page's words: the schedule's status and next run, the interval
// choice, the dev-server card, the keep list, the last run, the Focus card, the buttons'
// captions and the page's status texts. Pure functions of the settings and the Focus state.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "autopilot/focus.hpp"
#include "core/settings.hpp"

namespace tess::ui {

// A line of text and its colour (0xRRGGBB).
struct ColouredText {
    std::string text;
    std::uint32_t colour = 0;
    bool operator==(const ColouredText&) const = default;
};

// Unix seconds in a day.
inline constexpr std::uint64_t kDaySeconds = 86'400;

// "Every day" is the chosen interval below two days, "Every week" from there on.
constexpr bool every_day_chosen(std::uint32_t every_days) {
    return every_days < 2;
}
// "Next clean-up: …" from the last run and the interval; `now` in Unix seconds.
std::string next_run_text(const Schedule& schedule, std::uint64_t now);
// "On, every day. {next run}" in green, or "Off" in grey.
ColouredText autopilot_status_line(const Schedule& schedule, std::uint64_t now);
// Beside switch 250.
ColouredText autopilot_switch_word(bool on);
// The text of card 255 under its title.
std::string_view dev_servers_text(bool on);
// "Never closed automatically: Gradle daemon, Vite" (each entry's first letter in upper
// case); empty when the list is.
std::string keep_list_text(const std::vector<std::string>& keep_running);
// "Last clean-up {}: {}." or "Hasn't run yet."; `stamp` turns Unix seconds into local text.
std::string last_run_text(const Schedule& schedule,
                          const std::function<std::string(std::uint64_t)>& stamp);
// "On since {}: {}" in green while Focus mode is on, else "Off" in grey. Focus mode is on
// when its file exists, even one that cannot be read: then only "On" shows.
ColouredText focus_status_line(bool on, const std::optional<FocusState>& state,
                               const std::function<std::string(std::uint64_t)>& stamp);

std::string_view run_now_caption(bool running);
std::string_view focus_button_caption(bool on, bool toggling);
// The accent style while the button turns Focus mode on; plain otherwise ("Working…" too).
constexpr bool focus_button_accent(bool on, bool toggling) {
    return !on && !toggling;
}
// What "Run now" leaves in the status line: "✔ {}." with the summary.
std::string run_now_result_text(std::string_view summary);
// The status line when the page is filled, and when timer 2 looks at the tray again.
std::string_view autopilot_page_status(bool autopilot_enabled, bool tray_running);

// The texts the page's commands show.
namespace autopilot_status {
inline constexpr std::string_view kOff = "Autopilot is off.";
inline constexpr std::string_view kOn =
    "Autopilot is on. It runs from the tray watch, which starts with Windows.";
inline constexpr std::string_view kCleaning = "Cleaning up\u2026";
inline constexpr std::string_view kFocusLeaving = "Putting everything back\u2026";
inline constexpr std::string_view kFocusEntering =
    "Looking at what is busy in the background\u2026";
inline constexpr std::string_view kDevServersOn =
    "Autopilot also closes dev servers and adb now, but only after 30 idle minutes and only "
    "when nothing is connected to them.";
inline constexpr std::string_view kDevServersOff =
    "Autopilot closes only Gradle and Kotlin build daemons.";
inline constexpr std::string_view kKeepCleared =
    "Programs you kept running can be closed again by Optimise and Autopilot.";
inline constexpr std::string_view kTrayOff = "Tray watch is off.";
inline constexpr std::string_view kTrayOn =
    "Tray watch is on. Click the icon next to the clock any time for one-click Optimise.";
// A settings.json that could not be written: the switch shows what the file still says.
inline constexpr std::string_view kNotSaved =
    "Couldn't save your settings, so nothing changed. Check that the Tessavo data folder "
    "can be written to.";
}  // namespace autopilot_status
// "Couldn't start the tray watch: {}" with the system's error text.
std::string tray_start_failed_text(std::string_view error);

// The sidebar card's text under "Watch in tray".
std::string_view tray_card_text(bool on);

}  // namespace tess::ui
