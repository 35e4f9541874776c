#include "ui/autopilot_text.hpp"

#include <algorithm>
#include <cstdint>

namespace tess::ui {

namespace {

constexpr std::uint32_t kGreen = 0x16A34A;
constexpr std::uint32_t kGrey = 0x64748B;
constexpr std::uint32_t kInk = 0x0F172A;

std::string capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

}  // namespace

std::string next_run_text(const Schedule& schedule, std::uint64_t now) {
    const std::uint64_t period = std::max<std::uint64_t>(schedule.every_days, 1) * kDaySeconds;
    // A last run in the far future (a broken clock, an edited file) cannot overflow this.
    if (schedule.last_run > 0 && schedule.last_run <= UINT64_MAX - period &&
        now < schedule.last_run + period) {
        const std::uint64_t left = schedule.last_run + period - now;
        const std::uint64_t days = (left + kDaySeconds - 1) / kDaySeconds;
        if (days >= 2)
            return "Next clean-up: in " + std::to_string(days) + " days, when your PC is idle";
        return "Next clean-up: within a day, when your PC is idle";
    }
    return "Next clean-up: the next time your PC is idle for 5 minutes";
}

ColouredText autopilot_status_line(const Schedule& schedule, std::uint64_t now) {
    if (!schedule.enabled) return {"Off", kGrey};
    const std::string_view every = schedule.every_days < 2 ? "every day" : "every week";
    return {"On, " + std::string(every) + ". " + next_run_text(schedule, now), kGreen};
}

ColouredText autopilot_switch_word(bool on) {
    return on ? ColouredText{"On", kInk} : ColouredText{"Off", kGrey};
}

std::string_view dev_servers_text(bool on) {
    return on ? "On: Vite, Next.js, Expo, nodemon and adb too, when nothing is connected to them"
              : "Off: only Gradle and Kotlin build daemons are closed";
}

std::string keep_list_text(const std::vector<std::string>& keep_running) {
    if (keep_running.empty()) return {};
    std::string text = "Never closed automatically: ";
    for (std::size_t i = 0; i < keep_running.size(); ++i)
        text += (i ? ", " : "") + capitalised(keep_running[i]);
    return text;
}

std::string last_run_text(const Schedule& schedule,
                          const std::function<std::string(std::uint64_t)>& stamp) {
    if (schedule.last_run == 0) return "Hasn't run yet.";
    std::string result = schedule.last_result;
    while (!result.empty() && result.back() == '.')
        result.pop_back();
    return "Last clean-up " + stamp(schedule.last_run) + ": " + result + ".";
}

ColouredText focus_status_line(bool on, const std::optional<FocusState>& state,
                               const std::function<std::string(std::uint64_t)>& stamp) {
    if (!on) return {"Off", kGrey};
    if (!state) return {"On", kGreen};
    return {"On since " + stamp(state->since) + ": " + focus_summary(*state), kGreen};
}

std::string_view run_now_caption(bool running) {
    return running ? "Cleaning up\u2026" : "Run now";
}

std::string_view focus_button_caption(bool on, bool toggling) {
    if (toggling) return "Working\u2026";
    return on ? "Turn off Focus mode" : "Turn on Focus mode";
}

std::string run_now_result_text(std::string_view summary) {
    return "\u2714 " + std::string(summary) + ".";
}

std::string_view autopilot_page_status(bool autopilot_enabled, bool tray_running) {
    if (autopilot_enabled && !tray_running)
        return "Autopilot runs from the tray watch, which is off right now. Turn on \u201CWatch in "
               "tray\u201D in the sidebar so it can run.";
    return "Everything Autopilot cleans shows up in History & undo. Focus mode only changes speed "
           "and power settings, and puts them back.";
}

std::string tray_start_failed_text(std::string_view error) {
    return "Couldn't start the tray watch: " + std::string(error);
}

std::string_view tray_card_text(bool on) {
    return on ? "On \u2014 click the tray icon for one-click Optimise"
              : "Off \u2014 turn on for warnings and one-click Optimise";
}

}  // namespace tess::ui
