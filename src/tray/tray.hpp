// The tray watch's decisions: the tick schedule, the memory alert and its hysteresis, the
// idle dev-tool alert, toasts held back while the user is busy, the tooltip and the menu.
// The window, the icon and the workers that act on them live in agent_win.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/memory.hpp"
#include "scan/analyze.hpp"
#include "setup/update_window.hpp"
#include "tray/toast.hpp"
#include "updates/update.hpp"

namespace tess {

inline constexpr std::uint32_t kDefaultTickMs = 5000;
inline constexpr std::uint32_t kMinTickMs = 50;

// TESS_TICK_MS: a decimal unsigned 32-bit number with an optional leading "+", used when
// it is at least 50; anything else (unset, text, too small, too large) gives 5000.
std::uint32_t tick_period_ms(const std::optional<std::string>& env_value);

// A test copy (TESS_DATA_DIR set) takes its own mutex, so it runs beside a real one.
std::string_view tray_mutex_name(bool test_copy);

inline constexpr std::string_view kEarlierProductRunValue =
    "Memvane";  // exact, any other case stays

// Owned by the tray thread.
struct TrayState {
    std::uint64_t ticks = 0;                // the first tick is 1
    std::optional<MemoryLevel> measured;    // the last tick's level; none before the first
    std::optional<MemoryLevel> shown;       // the level the icon shows
    std::uint32_t critical_ticks = 0;       // consecutive Critical ticks
    std::uint64_t last_critical_alert = 0;  // FILETIME, 0 before the first
    bool dev_check_running = false;
    bool autopilot_running = false;
    bool focus_toggle_running = false;
    std::string last_dev_key;
    std::optional<Toast> pending_toast;  // waits while the user is busy
};

// Periodic work: every 60th tick (and the first) a CPU sample, every 12th the Autopilot due
// test, every 6th a Focus refresh, every 120th the dev-tool check, and the automatic update
// check on the 6th tick and every 4320th (six hours at the default tick).
struct TickWork {
    bool cpu_sample = false;
    bool autopilot_test = false;
    bool focus_refresh = false;
    bool dev_check = false;
    bool update_check = false;

    bool operator==(const TickWork&) const = default;
};

struct TickOutcome {
    MemoryLevel level = MemoryLevel::Normal;
    bool first = false;
    bool icon_changes = false;    // the icon must show `level` (the tip is set either way)
    bool critical_alert = false;  // raise the memory toast now
    TickWork work;
    std::string tooltip;
};

// Memory stays critical for 24 ticks in a row before the first alert; another follows only
// after 30 minutes, since an alert does not reset the count.
inline constexpr std::uint32_t kCriticalTicksBeforeAlert = 23;
inline constexpr std::uint64_t kCriticalAlertGapSeconds = 1800;

// One tick at `now` (FILETIME): counts it, updates the level and the critical count, decides
// the alert and the work (setting the dev-check flag when the check is scheduled). The icon
// is taken to show the new level afterwards.
TickOutcome run_tick(TrayState& state, const MemoryStatus& memory, std::uint64_t now);

// The icon added at start, and again after Explorer restarts, shows Normal.
void icon_added(TrayState& state);

inline constexpr std::string_view kInitialTooltip = "Tessavo: checking memory\xE2\x80\xA6";
std::string tray_tooltip(MemoryLevel level, const MemoryStatus& memory);
// A notification tip holds 127 UTF-16 units; a surrogate pair is never split.
std::u16string tooltip_utf16(std::string_view tip);

// "Memory pressure: ...". Biggest: a (1 GB), b (2 MB), c (3 KB)." from the first three
// groups (they come largest first).
std::string critical_alert_message(const MemoryStatus& memory, const std::vector<AppGroup>& groups);
Toast critical_alert_toast(const std::string& message);

// SHQueryUserNotificationState: busy (2), full-screen Direct3D (3), presentation (4) and
// quiet time (6) hold toasts back; a failed query (nullopt) does not.
bool user_busy(std::optional<std::uint32_t> notification_state);
// Returns the toast to show now; while the user is busy it replaces the one waiting instead.
std::optional<Toast> queue_toast(TrayState& state, Toast toast, bool busy);
// Once the user is no longer busy the waiting toast comes out (and the slot empties).
std::optional<Toast> release_pending_toast(TrayState& state, bool busy);

// What one dev-tool check found: the ticked DevTool suggestions.
struct DevCheckResult {
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
    std::string key;    // their titles joined with "|"
    std::string names;  // the first two labels (else titles) joined with ", "

    bool operator==(const DevCheckResult&) const = default;
};
DevCheckResult dev_check_result(const std::vector<Suggestion>& suggestions);

struct DevCheckReport {
    std::vector<std::string> log;  // "dev-tool check: ...", then "alert: ..." when it alerts
    std::optional<Toast> toast;
};
// The same idle tools are reported once; a changed set is reported again.
DevCheckReport on_dev_check(TrayState& state, const DevCheckResult& result);

// After a scheduled Autopilot run: a toast when it freed something or something failed.
// Its title says when something failed; a test run's says what it would have freed.
std::optional<Toast> autopilot_toast(std::uint64_t freed_bytes, std::uint64_t failed,
                                     const std::string& summary, bool test_run = false);
// After the tray's Focus toggle, shown at once and without a button.
Toast focus_toast(bool focus_on, const std::string& toggle_text);

// What an update check's answer (posted with whether the user asked for it) makes the
// tray do: the user hears every answer at once; an automatic check speaks only of a newer
// version, and waits like any other toast while the user is busy.
struct UpdateCheckReport {
    std::optional<std::string> log;
    std::optional<Toast> toast;
    bool toast_now = false;    // shown at once rather than queued
    bool open_window = false;  // the update window, at once
};
UpdateCheckReport on_update_checked(bool by_user, updates::CheckKind kind, std::string_view version,
                                    std::string_view error);
// The log line for how the update window opened by the tray ended; none when closed.
std::optional<std::string> update_window_log(ui::UpdateOutcome outcome, std::string_view version);

// The menu's command ids.
enum class TrayCommand : std::uint8_t {
    None = 0,
    QuickOptimise = 1,
    OpenMain = 2,
    StartWithWindows = 3,
    Exit = 4,
    CheckUpdates = 5,
    Focus = 6,
};
struct TrayMenuItem {
    TrayCommand id = TrayCommand::None;
    std::string text;  // empty for a separator
    bool separator = false;
    bool greyed = false;
    bool checked = false;

    bool operator==(const TrayMenuItem&) const = default;
};
std::vector<TrayMenuItem> tray_menu(std::optional<MemoryLevel> measured, bool focus_on,
                                    bool run_value_on);

// An event on the notification icon (the low word of lParam), as a NOTIFYICON_VERSION_4
// icon gets them: NIN_SELECT, NIN_KEYSELECT, WM_CONTEXTMENU, WM_LBUTTONDBLCLK.
enum class IconAction : std::uint8_t {
    None = 0,
    Menu = 1,
    OpenPanel = 2,
    ClosePanel = 3,
    OpenMain = 4
};
inline constexpr std::uint64_t kPanelReopenGuardMs = 400;
// `closed_at_ms` is when the panel last closed (GetTickCount64), none when it never was: the
// click that closed it by taking the focus away must not open it again.
IconAction icon_event(std::uint32_t event, bool panel_open, bool panel_applying,
                      std::uint64_t now_ms, std::optional<std::uint64_t> closed_at_ms);
// The version-4 event for what a shell that refused NIM_SETVERSION sends (WM_LBUTTONUP,
// WM_RBUTTONUP); other events pass unchanged.
std::uint32_t version4_icon_event(std::uint32_t event);
// How long the tray watch waits before it asks the shell again for an icon it refused.
inline constexpr unsigned kIconRetryMs = 1000;

}  // namespace tess
