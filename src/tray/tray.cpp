#include "tray/tray.hpp"

#include <cstdio>
#include <limits>
#include <variant>

#include "autopilot/autopilot.hpp"
#include "core/entry.hpp"
#include "core/text.hpp"
#include "core/timeutil.hpp"

namespace tess {

namespace {

// Window messages an icon reports, so this file needs no <windows.h>.
constexpr std::uint32_t kWmContextMenu = 0x007B;
constexpr std::uint32_t kWmLButtonUp = 0x0202;
constexpr std::uint32_t kWmLButtonDblClk = 0x0203;
constexpr std::uint32_t kWmRButtonUp = 0x0205;
constexpr std::uint32_t kNinSelect = 0x0400;     // WM_USER: a click, NOTIFYICON_VERSION_4
constexpr std::uint32_t kNinKeySelect = 0x0401;  // Space or Enter on the focused icon

}  // namespace

std::uint32_t tick_period_ms(const std::optional<std::string>& env_value) {
    if (!env_value) return kDefaultTickMs;
    std::string_view text = *env_value;
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return kDefaultTickMs;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return kDefaultTickMs;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return kDefaultTickMs;
    }
    return value >= kMinTickMs ? static_cast<std::uint32_t>(value) : kDefaultTickMs;
}

std::string_view tray_mutex_name(bool test_copy) {
    return test_copy ? "Local\\Tessavo.Tray.Test" : "Local\\Tessavo.Tray";
}

TickOutcome run_tick(TrayState& state, const MemoryStatus& memory, std::uint64_t now) {
    TickOutcome out;
    const std::uint64_t n = ++state.ticks;
    out.level =
        memory_level(memory.total_physical, memory.available_physical, memory.commit_charge);
    out.first = !state.measured.has_value();
    state.measured = out.level;
    state.critical_ticks = out.level == MemoryLevel::Critical ? state.critical_ticks + 1 : 0;
    if (state.critical_ticks > kCriticalTicksBeforeAlert) {
        const std::uint64_t gap = kCriticalAlertGapSeconds * kTicksPerSecond;
        // A clock set back counts as no time passed rather than as a huge gap.
        const std::uint64_t since =
            now > state.last_critical_alert ? now - state.last_critical_alert : 0;
        if (state.last_critical_alert == 0 || since > gap) {
            out.critical_alert = true;
            state.last_critical_alert = now;
        }
    }

    out.work.dev_check = n % 120 == 0 && !state.dev_check_running;
    if (out.work.dev_check) state.dev_check_running = true;
    out.work.focus_refresh = n % 6 == 0 && !state.focus_toggle_running;
    out.work.autopilot_test = n % 12 == 0 && !state.autopilot_running;
    out.work.cpu_sample = n == 1 || n % 60 == 0;
    out.work.update_check = n == 6 || n % 4320 == 0;

    out.tooltip = tray_tooltip(out.level, memory);
    out.icon_changes = state.shown != out.level;
    state.shown = out.level;
    return out;
}

void icon_added(TrayState& state) {
    state.shown = MemoryLevel::Normal;
}

std::string tray_tooltip(MemoryLevel level, const MemoryStatus& memory) {
    return "Tessavo: memory " + std::string(memory_level_text(level)) + "\n" +
           size_text(memory.commit_charge) + " used of " + size_text(memory.total_physical) +
           " RAM (" + percent_text(committed_percent(memory)) + "). Click for one-click Optimise.";
}

std::u16string tooltip_utf16(std::string_view tip) {
    std::u16string wide = utf8_to_utf16(tip);
    constexpr std::size_t kMax = 127;
    if (wide.size() > kMax) {
        std::size_t cut = kMax;
        if (wide[cut - 1] >= 0xD800 && wide[cut - 1] <= 0xDBFF) --cut;  // a lone high surrogate
        wide.resize(cut);
    }
    return wide;
}

std::string critical_alert_message(const MemoryStatus& memory,
                                   const std::vector<AppGroup>& groups) {
    std::vector<std::string> biggest;
    for (std::size_t i = 0; i < groups.size() && i < 3; ++i)
        biggest.push_back(groups[i].display_name + " (" + size_text(groups[i].private_bytes) + ")");
    const MemoryLevel level =
        memory_level(memory.total_physical, memory.available_physical, memory.commit_charge);
    const std::string pressure = "Memory pressure: " + std::string(memory_level_text(level)) +
                                 " (" + size_text(memory.commit_charge) + " committed on " +
                                 size_text(memory.total_physical) + " of RAM, " +
                                 percent_text(committed_percent(memory)) + ")";
    return pressure + ". Biggest: " + join(biggest, ", ") + ".";
}

Toast critical_alert_toast(const std::string& message) {
    return {"Memory is almost full", message, "Optimise", ToastKind::OpenPanel};
}

bool user_busy(std::optional<std::uint32_t> notification_state) {
    return !user_allows_run(notification_state);  // the same states hold Autopilot back
}

std::optional<Toast> queue_toast(TrayState& state, Toast toast, bool busy) {
    if (busy) {
        state.pending_toast = std::move(toast);
        return std::nullopt;
    }
    return toast;
}

std::optional<Toast> release_pending_toast(TrayState& state, bool busy) {
    if (busy || !state.pending_toast) return std::nullopt;
    std::optional<Toast> out = std::move(state.pending_toast);
    state.pending_toast.reset();
    return out;
}

DevCheckResult dev_check_result(const std::vector<Suggestion>& suggestions) {
    DevCheckResult r;
    std::vector<std::string> titles;
    std::vector<std::string> names;
    for (const Suggestion& s : suggestions) {
        if (!s.ticked || s.section != SuggestionSection::DevTool) continue;
        ++r.count;
        r.bytes += s.bytes;
        titles.push_back(s.title);
        if (names.size() < 2) {
            const auto* kill = std::get_if<KillProcesses>(&s.action);
            names.push_back(kill ? kill->label : s.title);
        }
    }
    r.key = join(titles, "|");
    r.names = join(names, ", ");
    return r;
}

DevCheckReport on_dev_check(TrayState& state, const DevCheckResult& result) {
    DevCheckReport report;
    state.dev_check_running = false;
    report.log.push_back("dev-tool check: " + std::to_string(result.count) + " idle, " +
                         size_text(result.bytes));
    if (result.count == 0 || result.key == state.last_dev_key) {
        state.last_dev_key = result.key;
        return report;
    }
    state.last_dev_key = result.key;
    const std::string title = result.count == 1
                                  ? "An idle dev tool is holding " + size_text(result.bytes)
                                  : std::to_string(result.count) + " idle dev tools are holding " +
                                        size_text(result.bytes);
    report.log.push_back("alert: " + title + ". " + result.names);
    report.toast = Toast{title, result.names + ". Nothing has used them for a while.", "Free it",
                         ToastKind::OpenPanel};
    return report;
}

std::optional<Toast> autopilot_toast(std::uint64_t freed_bytes, std::uint64_t failed,
                                     const std::string& summary, bool test_run) {
    if (freed_bytes == 0 && failed == 0) return std::nullopt;
    const std::string title = failed > 0 ? std::string("Autopilot finished, with problems")
                              : test_run ? "Autopilot would free " + size_text(freed_bytes)
                                         : "Autopilot freed " + size_text(freed_bytes);
    return Toast{title, summary, "See details", ToastKind::OpenHistory};
}

Toast focus_toast(bool focus_on, const std::string& toggle_text) {
    return {focus_on ? "Focus mode is on" : "Focus mode is off", toggle_text, "", ToastKind::None};
}

UpdateCheckReport on_update_checked(bool by_user, updates::CheckKind kind, std::string_view version,
                                    std::string_view error) {
    UpdateCheckReport r;
    switch (kind) {
        case updates::CheckKind::Found:
            if (by_user) {
                r.open_window = true;
            } else {
                r.log = "update: version " + std::string(version) + " is available";
                r.toast = Toast{"Version " + std::string(version) + " is ready",
                                "Updating takes a few seconds and keeps your settings and history.",
                                "See what's new", ToastKind::OpenUpdate};
            }
            break;
        case updates::CheckKind::Failed:
            if (by_user) {
                r.toast =
                    Toast{"Couldn't check for updates", std::string(error), "", ToastKind::None};
                r.toast_now = true;
            }
            break;
        case updates::CheckKind::NoUpdate:
            if (by_user) {
                r.toast = Toast{"You're up to date",
                                "Tessavo " + std::string(kVersion) + " is the latest version.", "",
                                ToastKind::None};
                r.toast_now = true;
            }
            break;
    }
    return r;
}

std::optional<std::string> update_window_log(ui::UpdateOutcome outcome, std::string_view version) {
    switch (outcome) {
        case ui::UpdateOutcome::HandedOver:
            return "update: installing " + std::string(version) + ", handing over";
        case ui::UpdateOutcome::Skipped:
            return "update: skipped " + std::string(version);
        case ui::UpdateOutcome::Closed:
            break;
    }
    return std::nullopt;
}

std::vector<TrayMenuItem> tray_menu(std::optional<MemoryLevel> measured, bool focus_on,
                                    bool run_value_on) {
    const std::string level =
        measured ? std::string(memory_level_text(*measured)) : "Checking\xE2\x80\xA6";
    TrayMenuItem separator;
    separator.separator = true;
    return {
        {TrayCommand::None, "Memory: " + level, false, true, false},
        separator,
        {TrayCommand::QuickOptimise, "Quick optimise\xE2\x80\xA6", false, false, false},
        {TrayCommand::OpenMain, "Open Tessavo", false, false, false},
        {TrayCommand::Focus, "Focus mode", false, false, focus_on},
        {TrayCommand::StartWithWindows, "Start with Windows", false, false, run_value_on},
        {TrayCommand::CheckUpdates, "Check for updates (v" + std::string(kVersion) + ")", false,
         false, false},
        separator,
        {TrayCommand::Exit, "Exit tray watch", false, false, false},
    };
}

std::uint32_t version4_icon_event(std::uint32_t event) {
    switch (event) {
        case kWmLButtonUp:
            return kNinSelect;
        case kWmRButtonUp:
            return kWmContextMenu;
        default:
            return event;
    }
}

IconAction icon_event(std::uint32_t event, bool panel_open, bool panel_applying,
                      std::uint64_t now_ms, std::optional<std::uint64_t> closed_at_ms) {
    switch (event) {
        case kWmContextMenu:
            return IconAction::Menu;
        case kWmLButtonDblClk:
            return IconAction::OpenMain;
        case kNinSelect:
        case kNinKeySelect:
            if (panel_open) return panel_applying ? IconAction::None : IconAction::ClosePanel;
            if (closed_at_ms && now_ms >= *closed_at_ms &&
                now_ms - *closed_at_ms <= kPanelReopenGuardMs)
                return IconAction::None;
            return IconAction::OpenPanel;
        default:
            // The button-up messages come before NIN_SELECT and WM_CONTEXTMENU: acting on
            // both would open the panel or the menu twice.
            return IconAction::None;
    }
}

}  // namespace tess
