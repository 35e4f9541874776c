// The tray watch: a hidden window that owns the notification icon, ticks, raises toasts
// and opens the quick panel. Slow work runs on workers that hand results back through
// the slots below and a posted message.
#include "tray/tray_win.hpp"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "autopilot/autopilot_win.hpp"
#include "core/log.hpp"
#include "core/memory.hpp"
#include "core/policy.hpp"
#include "core/roles.hpp"
#include "core/slot.hpp"
#include "core/timeutil.hpp"
#include "core/win.hpp"
#include "core/worker.hpp"
#include "gui/icon.hpp"
#include "gui/icon_win.hpp"
#include "setup/update_window_win.hpp"
#include "sys/procs.hpp"
#include "sys/startup.hpp"
#include "sys/startup_win.hpp"
#include "tray/panel_win.hpp"
#include "tray/toast_win.hpp"
#include "tray/tray.hpp"
#include "tray/tray_messages.hpp"
#include "updates/update.hpp"

namespace tess {

namespace {

constexpr UINT kTickTimer = 1;
constexpr UINT kIconRetryTimer = 2;
constexpr UINT kIconId = 1;

// Results of workers, each emptied when its message is handled. Shared with the workers,
// so a worker that finishes after the window is gone writes into memory that still lives.
struct TraySlots {
    Slot<DevCheckResult> dev_check;
    Slot<AutopilotOutcome> autopilot;
    Slot<std::string> focus_text;
    // One per kind of check, so an automatic answer never takes the place of the user's.
    Slot<updates::CheckResult> update_auto;
    Slot<updates::CheckResult> update_user;
};

struct Tray {
    HWND window = nullptr;
    UINT taskbar_created = 0;
    std::uint32_t tick_ms = kDefaultTickMs;
    TrayState state;
    bool icon_shown = false;
    bool version4 = false;      // the shell took NOTIFYICON_VERSION_4
    unsigned add_attempts = 0;  // since the icon was last shown
    // Test seam (TESS_TRAY_ADD_FAILS): this many adds are taken as refused by the shell, as
    // a busy Explorer at sign-in does; Wine's shell never refuses one.
    unsigned refused_adds = 0;
    TrayCalls calls;
    std::shared_ptr<TraySlots> slots = std::make_shared<TraySlots>();
    ui::Icon icon;
    std::optional<updates::UpdateInfo> release;  // the newest found, for the toast's button
    bool update_window_open = false;
};

Tray* g_tray = nullptr;  // the one tray of this process, on its thread

bool user_is_busy() {
    return user_busy(notification_state());
}

}  // namespace

void start_own_exe(const std::string& args) {
    const std::string exe = win::exe_path();
    if (exe.empty()) return;
    std::wstring command = L"\"" + win::widen(exe) + L"\"";
    if (!args.empty()) command += L" " + win::widen(args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                         &pi)) {
        win::unique_handle process(pi.hProcess);
        win::unique_handle thread(pi.hThread);
    }
}

namespace {

// Resources 2-4 at the small-icon size, or the drawn picture of the level.
ui::Icon tray_icon(MemoryLevel level) {
    return ui::load_icon(nullptr, ui::level_icon(static_cast<int>(level)),
                         ui::system_icon_size(true));
}

void set_tip(NOTIFYICONDATAW& data, std::string_view tip) {
    const std::u16string wide = tooltip_utf16(tip);
    std::copy(wide.begin(), wide.end(), data.szTip);
    data.szTip[wide.size()] = L'\0';
}

NOTIFYICONDATAW icon_data(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = kIconId;
    return data;
}

// Adds the icon with the Normal picture. A busy Explorer at sign-in can refuse the add
// although the taskbar exists, and then no "TaskbarCreated" follows: a timer asks again
// until the shell takes it.
void add_icon(Tray& tray) {
    ::KillTimer(tray.window, kIconRetryTimer);
    tray.icon = tray_icon(MemoryLevel::Normal);
    NOTIFYICONDATAW data = icon_data(tray.window);
    // Version 4 hides the standard tooltip unless NIF_SHOWTIP asks for it.
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = kTrayIcon;
    data.hIcon = tray.icon.get();
    set_tip(data, kInitialTooltip);
    ++tray.add_attempts;
    bool added = false;
    if (tray.refused_adds > 0)
        --tray.refused_adds;
    else
        // An add that timed out may still have been taken: then only a modify succeeds.
        added = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE ||
                (tray.add_attempts > 1 && ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE);
    if (!added) {
        if (tray.add_attempts == 1)
            log_line("tray icon: the shell refused it; trying again every " +
                     std::to_string(kIconRetryMs) + " ms");
        tray.icon_shown = false;
        ::SetTimer(tray.window, kIconRetryTimer, kIconRetryMs, nullptr);
        return;
    }
    if (tray.add_attempts > 1)
        log_line("tray icon: added after " + std::to_string(tray.add_attempts) + " attempts");
    tray.add_attempts = 0;
    tray.icon_shown = true;
    // NIN_SELECT and NIN_KEYSELECT: the keyboard reaches the icon as itself, not as clicks.
    data.uVersion = NOTIFYICON_VERSION_4;
    tray.version4 = ::Shell_NotifyIconW(NIM_SETVERSION, &data) != FALSE;
    if (!tray.version4) log_line("tray icon: the shell keeps the old icon messages");
    icon_added(tray.state);
}

void remove_icon(Tray& tray) {
    NOTIFYICONDATAW data = icon_data(tray.window);
    ::Shell_NotifyIconW(NIM_DELETE, &data);
}

void update_icon(Tray& tray, const TickOutcome& tick) {
    if (!tray.icon_shown) return;  // the next add shows the current state
    NOTIFYICONDATAW data = icon_data(tray.window);
    data.uFlags = NIF_TIP | NIF_SHOWTIP;
    set_tip(data, tick.tooltip);
    ui::Icon next;
    if (tick.icon_changes) {
        next = tray_icon(tick.level);
        data.uFlags |= NIF_ICON;
        data.hIcon = next.get();
    }
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
    // The shell has its own copy now; the old picture goes.
    if (next) tray.icon = std::move(next);
}

void show_or_queue(Tray& tray, Toast toast) {
    if (auto now = queue_toast(tray.state, std::move(toast), user_is_busy()))
        show_toast(tray.window, *now);
}

void toggle_focus(Tray& tray) {
    if (tray.state.focus_toggle_running) return;
    tray.state.focus_toggle_running = true;
    start_worker([window = tray.window, slots = tray.slots, toggle = tray.calls.focus_toggle] {
        slots->focus_text.put(toggle ? toggle() : std::string());
        ::PostMessageW(window, kTrayFocusDone, 0, 0);
    });
}

void open_panel(Tray& tray) {
    PanelOwner owner;
    owner.owner = tray.window;
    owner.toggle_focus = [] {
        if (g_tray) toggle_focus(*g_tray);
    };
    owner.focus_is_on = tray.calls.focus_is_on;
    owner.focus_summary = tray.calls.focus_summary;
    open_quick_panel(owner);
}

void start_dev_check(Tray& tray) {
    start_worker([window = tray.window, slots = tray.slots] {
        Snapshot snapshot;
        snapshot.processes = list_processes(1000, true);
        snapshot.memory = memory_status();
        snapshot.now = win::filetime_now();
        snapshot.own_pid = ::GetCurrentProcessId();
        slots->dev_check.put(dev_check_result(build_suggestions(snapshot)));
        ::PostMessageW(window, kTrayDevCheckDone, 0, 0);
    });
}

void start_autopilot(Tray& tray) {
    tray.state.autopilot_running = true;
    log_line("autopilot: starting a scheduled clean-up");
    start_worker([window = tray.window, slots = tray.slots, run = tray.calls.run_autopilot] {
        slots->autopilot.put(run ? run() : AutopilotOutcome{});
        ::PostMessageW(window, kTrayAutopilotDone, 0, 0);
    });
}

// Not guarded against overlapping: each answer is handled as it comes.
void start_update_check(Tray& tray, bool by_user) {
    start_worker([window = tray.window, slots = tray.slots, by_user] {
        updates::CheckResult result = updates::check_for_update(by_user);
        const auto kind = static_cast<LPARAM>(result.kind);
        (by_user ? slots->update_user : slots->update_auto).put(std::move(result));
        ::PostMessageW(window, kTrayUpdateChecked, by_user ? 1 : 0, kind);
    });
}

// The update window over the tray window, with its own message loop (ticks go on). Once
// the update is handed over the tray watch ends, so setup can replace the program.
void open_update_window(Tray& tray) {
    if (!tray.release || tray.update_window_open) return;
    const updates::UpdateInfo release = *tray.release;
    close_toast();
    tray.update_window_open = true;
    const ui::UpdateOutcome outcome = ui::show_update_window(tray.window, release);
    tray.update_window_open = false;
    if (auto line = update_window_log(outcome, release.version)) log_line(*line);
    if (outcome == ui::UpdateOutcome::HandedOver && ::IsWindow(tray.window))
        ::DestroyWindow(tray.window);
}

void on_update_answer(Tray& tray, bool by_user) {
    std::optional<updates::CheckResult> result =
        (by_user ? tray.slots->update_user : tray.slots->update_auto).take();
    if (!result) return;
    if (result->kind == updates::CheckKind::Found) tray.release = result->info;
    UpdateCheckReport report =
        on_update_checked(by_user, result->kind, result->info.version, result->error);
    if (report.log) log_line(*report.log);
    if (report.toast) {
        if (report.toast_now)
            show_toast(tray.window, *report.toast);
        else
            show_or_queue(tray, std::move(*report.toast));
    }
    if (report.open_window) open_update_window(tray);
}

void tick(Tray& tray) {
    const MemoryStatus memory = memory_status();
    const std::uint64_t now = win::filetime_now();
    const TickOutcome t = run_tick(tray.state, memory, now);
    if (auto waiting = release_pending_toast(tray.state, user_is_busy()))
        show_toast(tray.window, *waiting);
    const std::uint64_t now_unix = filetime_to_unix(now);
    if (t.work.cpu_sample && tray.calls.record_cpu_sample) tray.calls.record_cpu_sample(now_unix);
    if (t.work.autopilot_test && tray.calls.autopilot_due && tray.calls.autopilot_due(now_unix))
        start_autopilot(tray);
    if (t.work.focus_refresh && tray.calls.focus_is_on && tray.calls.focus_is_on() &&
        tray.calls.focus_refresh)
        start_worker(tray.calls.focus_refresh);
    update_icon(tray, t);
    if (t.critical_alert) {
        const std::string message = critical_alert_message(
            memory, group_apps(list_processes(0, false), ::GetCurrentProcessId()));
        log_line("alert: critical memory. " + message);
        show_or_queue(tray, critical_alert_toast(message));
    }
    if (t.work.dev_check) start_dev_check(tray);
    if (t.work.update_check) start_update_check(tray, false);
}

void show_menu(Tray& tray) {
    const bool focus_on = tray.calls.focus_is_on && tray.calls.focus_is_on();
    win::unique_hmenu menu(::CreatePopupMenu());
    if (!menu) return;
    for (const TrayMenuItem& item : tray_menu(tray.state.measured, focus_on, run_value_present())) {
        if (item.separator) {
            ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING;
        if (item.greyed) flags |= MF_GRAYED;
        if (item.checked) flags |= MF_CHECKED;
        ::AppendMenuW(menu.get(), flags, static_cast<UINT_PTR>(item.id),
                      win::widen(item.text).c_str());
    }
    POINT at{};
    ::GetCursorPos(&at);
    ::SetForegroundWindow(tray.window);
    const int chosen = ::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                        at.x, at.y, 0, tray.window, nullptr);
    menu.reset();
    // The menu closes properly the next time the user clicks elsewhere.
    ::PostMessageW(tray.window, WM_NULL, 0, 0);
    switch (static_cast<TrayCommand>(chosen)) {
        case TrayCommand::QuickOptimise:
            open_panel(tray);
            break;
        case TrayCommand::OpenMain:
            start_own_exe("");
            break;
        case TrayCommand::Focus:
            toggle_focus(tray);
            break;
        case TrayCommand::StartWithWindows: {
            const std::string exe = win::exe_path();
            if (load_policy().tray_at_sign_in) break;  // set by the organisation
            if (!exe.empty()) set_run_value(!run_value_present(), exe);
            break;
        }
        case TrayCommand::CheckUpdates:
            start_update_check(tray, true);
            break;
        case TrayCommand::Exit:
            ::DestroyWindow(tray.window);
            break;
        case TrayCommand::None:
            break;
    }
}

void on_icon(Tray& tray, UINT event) {
    if (!tray.version4) event = version4_icon_event(event);
    switch (icon_event(event, quick_panel_open(), quick_panel_applying(), ::GetTickCount64(),
                       quick_panel_closed_at())) {
        case IconAction::Menu:
            show_menu(tray);
            break;
        case IconAction::OpenPanel:
            open_panel(tray);
            break;
        case IconAction::ClosePanel:
            close_quick_panel();
            break;
        case IconAction::OpenMain:
            start_own_exe("");
            break;
        case IconAction::None:
            break;
    }
}

void on_dev_check_done(Tray& tray) {
    const std::optional<DevCheckResult> result = tray.slots->dev_check.take();
    if (!result) return;
    DevCheckReport report = on_dev_check(tray.state, *result);
    for (const std::string& line : report.log)
        log_line(line);
    if (report.toast) show_or_queue(tray, std::move(*report.toast));
}

void on_autopilot_done(Tray& tray) {
    const std::optional<AutopilotOutcome> outcome = tray.slots->autopilot.take();
    if (!outcome) return;
    tray.state.autopilot_running = false;
    log_line("autopilot: " + outcome->summary);
    if (auto toast = autopilot_toast(outcome->freed_bytes, outcome->failed, outcome->summary,
                                     outcome->test_run))
        show_or_queue(tray, std::move(*toast));
}

void on_focus_done(Tray& tray) {
    const std::optional<std::string> text = tray.slots->focus_text.take();
    if (!text) return;
    tray.state.focus_toggle_running = false;
    log_line("focus: " + *text);
    repaint_quick_panel();
    const bool on = tray.calls.focus_is_on && tray.calls.focus_is_on();
    show_toast(tray.window, focus_toast(on, *text));
}

void on_toast_button(Tray& tray, ToastKind kind) {
    switch (kind) {
        case ToastKind::OpenPanel:
            open_panel(tray);
            break;
        case ToastKind::OpenHistory:
            start_own_exe("--history");
            break;
        case ToastKind::OpenUpdate:
            open_update_window(tray);
            break;
        case ToastKind::None:
            break;
    }
}

LRESULT CALLBACK tray_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Tray* tray = g_tray;
    if (!tray || tray->window != window) return ::DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
        case WM_TIMER:
            if (wparam == kTickTimer) tick(*tray);
            if (wparam == kIconRetryTimer) add_icon(*tray);
            return 0;
        case kTrayIcon:
            on_icon(*tray, LOWORD(lparam));
            return 0;
        case kTrayDevCheckDone:
            on_dev_check_done(*tray);
            return 0;
        case kTrayAutopilotDone:
            on_autopilot_done(*tray);
            return 0;
        case kTrayFocusDone:
            on_focus_done(*tray);
            return 0;
        case kTrayUpdateChecked:
            on_update_answer(*tray, wparam == 1);
            return 0;
        case kTrayToastButton:
            on_toast_button(*tray, static_cast<ToastKind>(wparam));
            return 0;
        case WM_DESTROY:
            ::KillTimer(window, kTickTimer);
            ::KillTimer(window, kIconRetryTimer);
            close_toast();
            close_quick_panel_now();
            remove_icon(*tray);
            log_line("tray watch stopped");
            ::PostQuitMessage(0);
            return 0;
        default:
            if (tray->taskbar_created != 0 && message == tray->taskbar_created) {
                // A real restart lost the icon; a stray broadcast did not: either way one icon.
                remove_icon(*tray);
                add_icon(*tray);
                return 0;
            }
            return ::DefWindowProcW(window, message, wparam, lparam);
    }
}

// The value an earlier version of the product left in the Run key moves over to ours.
void move_earlier_run_value() {
    win::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                        KEY_WOW64_64KEY | KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
                        key.put()) != ERROR_SUCCESS)
        return;
    bool found = false;
    for (const auto& [name, command] : read_run_values(key.get()))
        if (name == kEarlierProductRunValue) found = true;
    if (!found) return;
    ::RegDeleteValueW(key.get(), win::widen(kEarlierProductRunValue).c_str());
    key.reset();
    if (const std::string exe = win::exe_path(); !exe.empty()) set_run_value(true, exe);
}

}  // namespace

int run_tray_watch() {
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const bool test_copy = win::get_env("TESS_DATA_DIR").has_value();
    win::unique_handle mutex(
        ::CreateMutexW(nullptr, FALSE, win::widen(tray_mutex_name(test_copy)).c_str()));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = tray_proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"TessavoTray";
    ::RegisterClassExW(&wc);
    register_panel_class(instance);

    Tray tray;
    tray.calls = tray_calls();
    tray.tick_ms = tick_period_ms(win::get_env("TESS_TICK_MS"));
    if (const auto fails = win::get_env("TESS_TRAY_ADD_FAILS"))
        tray.refused_adds = static_cast<unsigned>(std::strtoul(fails->c_str(), nullptr, 10));
    g_tray = &tray;
    tray.window = ::CreateWindowExW(0, L"TessavoTray", L"Tessavo tray", 0, 0, 0, 0, 0, nullptr,
                                    nullptr, instance, nullptr);
    if (!tray.window) {
        g_tray = nullptr;
        return 0;
    }
    tray.taskbar_created = ::RegisterWindowMessageW(L"TaskbarCreated");

    move_earlier_run_value();
    // A policy on the tray watch at sign-in holds the Run value to it (not for a test copy,
    // whose Run value would be the session's).
    if (const auto at_sign_in = load_policy().tray_at_sign_in; at_sign_in && !test_copy)
        if (const std::string exe = win::exe_path(); !exe.empty()) set_run_value(*at_sign_in, exe);
    if (tray.calls.focus_clear_stale) start_worker(tray.calls.focus_clear_stale);
    add_icon(tray);
    log_line("tray watch started (pid " + std::to_string(::GetCurrentProcessId()) + ", every " +
             std::to_string(tray.tick_ms) + " ms)");
    tick(tray);
    ::SetTimer(tray.window, kTickTimer, tray.tick_ms, nullptr);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Tab and Shift+Tab move through the quick panel's buttons.
        if (const HWND panel = quick_panel_window(); panel && ::IsDialogMessageW(panel, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    g_tray = nullptr;
    return 0;
}

}  // namespace tess
