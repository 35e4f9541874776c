// Autopilot & Focus (page 6): the Autopilot card with its switch, interval, "Run now",
// dev-server switch, keep list and last run; the Focus card; and the sidebar's "Watch in
// tray" card, whose command lives here because the tray watch is what Autopilot runs from.
#include <windows.h>

#include <exception>

#include "autopilot/autopilot_win.hpp"
#include "autopilot/focus_win.hpp"
#include "core/log.hpp"
#include "core/policy.hpp"
#include "core/roles.hpp"
#include "core/timeutil.hpp"
#include "core/worker.hpp"
#include "sys/startup.hpp"
#include "gui/a11y_win.hpp"
#include "ui/autopilot_text.hpp"
#include "ui/ui_messages.hpp"
#include "ui/ui_win.hpp"

namespace tess::ui {

namespace {

std::wstring w(std::string_view utf8) {
    return win::widen(utf8);
}

std::string stamp_unix(std::uint64_t unix_seconds) {
    return local_stamp(unix_to_filetime(unix_seconds));
}

FocusSystem make_focus_system(const UiState& s) {
    return s.focus_system ? s.focus_system() : focus_system(test_run_requested());
}

struct RunFlags {
    bool autopilot_running = false;
    bool focus_toggling = false;
    bool focus_on = false;
    std::optional<FocusState> focus;
};

RunFlags run_flags() {
    SharedState& shared = shared_state();
    std::lock_guard lock(shared.mutex);
    return {shared.autopilot_running, shared.focus_toggling, shared.focus_on, shared.focus};
}

void store_focus(bool on, std::optional<FocusState> state,
                 std::optional<PendingStatus> pending = std::nullopt) {
    SharedState& shared = shared_state();
    std::lock_guard lock(shared.mutex);
    shared.focus_on = on;
    shared.focus = std::move(state);
    if (pending) shared.pending_statuses.push_back(std::move(*pending));
}

// Word-wrapped text centred vertically in `r` (DrawTextW centres single lines only).
void draw_wrapped_centred(HDC dc, const std::wstring& text, Rect r, HFONT font, std::uint32_t ink,
                          UINT align) {
    RECT calc = to_rect(r);
    {
        const win::Selected sel(dc, font);
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc,
                    DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    }
    const int h = calc.bottom - calc.top;
    if (h < r.height()) r.top += (r.height() - h) / 2;
    draw_text(dc, text, r, font, ink, align | DT_WORDBREAK | DT_END_ELLIPSIS);
}

// ---- the tray watch ----------------------------------------------------------------------

bool tray_window_exists() {
    return ::FindWindowW(kTrayClass, nullptr) != nullptr;
}

// This executable with the single argument "agent", detached; the error text on failure.
std::optional<std::string> start_tray_watch() {
    const std::string exe = win::exe_path();
    if (exe.empty()) return win::error_text(::GetLastError());
    const std::wstring wexe = w(exe);
    std::wstring cmd = L"\"" + wexe + L"\" agent";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(wexe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi))
        return win::error_text(::GetLastError());
    const win::unique_handle thread(pi.hThread), process(pi.hProcess);  // nobody waits
    return std::nullopt;
}

std::optional<std::string> start_tray(const UiState& s) {
    return s.start_tray ? s.start_tray() : start_tray_watch();
}

void expect_tray(UiState& s, bool running) {
    s.tray_wanted = running;
    s.tray_looks = 0;
}

// ---- settings ----------------------------------------------------------------------------

// The settings in force and the policies behind them, read together; painting reads only
// these copies.
void reload_settings(UiState& s) {
    s.policy = load_policy();
    s.settings = settings_in_force(load_settings(), s.policy);
}

// Changes settings.json under its lock, re-reads it, and says whether the change landed
// (`landed` on the re-read settings). When it did not, the page draws what the file says
// and the status line says so.
bool change_settings(UiState& s, const std::function<void(Settings&)>& change,
                     const std::function<bool(const Settings&)>& landed) {
    update_settings(change);
    reload_settings(s);
    if (landed(s.settings)) return true;
    set_status(s, autopilot_status::kNotSaved, StatusKind::Problem);
    return false;
}

// What a policy fixes on this page: those controls are disabled and say so. Focus mode
// that is on can always be switched off.
struct Fixed {
    bool autopilot = false, dev_servers = false, focus = false;
};

Fixed fixed_by_policy(const UiState& s) {
    const Policy& p = s.policy;
    return {p.autopilot.has_value(), p.close_dev_servers.has_value(),
            p.focus_allowed == false && !run_flags().focus_on};
}

// After a control's window text, and after a card's status line.
std::string organisation_note(bool fixed) {
    return fixed ? " (" + std::string(kSetByOrganisation) + ")" : std::string();
}
std::string card_note(bool fixed) {
    return fixed ? " \xC2\xB7 " + std::string(kSetByOrganisation) : std::string();
}

// ---- painting ------------------------------------------------------------------------------

void paint_autopilot_card(UiState& s, HDC dc, const Frame& f, const AutopilotLayout& l) {
    const Settings& st = s.settings;
    const Rect c = l.autopilot_card;
    rounded_rect(dc, c, f.s(12), colour::kWhite, colour::kBorder);
    const Rect a = inflate(c, -f.s(24), -f.s(24));
    draw_text(dc, L"Scheduled clean-up",
              {a.left, c.top + f.s(18), l.autopilot_switch.left - f.s(16), c.top + f.s(46)},
              s.fonts.get(FontRole::Subheading), colour::kInk,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    const ColouredText status =
        autopilot_status_line(st.autopilot, filetime_to_unix(win::filetime_now()));
    const Fixed fixed = fixed_by_policy(s);
    draw_text(dc, w(status.text + card_note(fixed.autopilot)),
              {a.left, c.top + f.s(50), a.right, c.top + f.s(72)},
              s.fonts.get(FontRole::BodySemibold), status.colour,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_text(dc,
              L"Deletes temp files older than 7 days and crash dumps, and closes Gradle and Kotlin "
              L"build daemons that sat idle for 30 minutes with nothing connected to them. It runs "
              L"while your PC is idle, never closes apps you use and never asks for admin rights.",
              {a.left, c.top + f.s(80), a.right, l.dev_servers.top - f.s(8)},
              s.fonts.get(FontRole::Body), colour::kSecondary,
              DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS);
    const std::string keep = keep_list_text(st.keep_running);
    if (!keep.empty())
        draw_text(
            dc, w(keep),
            {l.keep_line.left, l.keep_line.top, l.clear_keep.left - f.s(8), l.keep_line.bottom},
            s.fonts.get(FontRole::Body), colour::kInk,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_wrapped_centred(dc, w(last_run_text(st.autopilot, stamp_unix)),
                         {l.every_week.right + f.s(16), l.run_now.top - f.s(4),
                          l.run_now.left - f.s(16), l.run_now.bottom + f.s(4)},
                         s.fonts.get(FontRole::Small), colour::kSecondary, DT_RIGHT);
}

void paint_focus_card(UiState& s, HDC dc, const Frame& f, const AutopilotLayout& l) {
    const Rect c = l.focus_card;
    rounded_rect(dc, c, f.s(12), colour::kWhite, colour::kBorder);
    const Rect a = inflate(c, -f.s(24), -f.s(24));
    draw_text(dc, L"Focus mode",
              {a.left, c.top + f.s(18), l.focus_button.left - f.s(16), c.top + f.s(46)},
              s.fonts.get(FontRole::Subheading), colour::kInk,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    const RunFlags flags = run_flags();
    const ColouredText status = focus_status_line(flags.focus_on, flags.focus, stamp_unix);
    draw_text(dc, w(status.text + card_note(fixed_by_policy(s).focus)),
              {a.left, c.top + f.s(50), l.focus_button.left - f.s(16), c.top + f.s(72)},
              s.fonts.get(FontRole::BodySemibold), status.colour,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_text(dc,
              L"Busy background programs (sync tools, updaters, launchers) go into Windows' "
              L"efficiency mode and the power mode switches to Best performance. Apps on screen, "
              L"everything they started, calls and music keep full speed. Turning it off puts "
              L"everything back.",
              {a.left, c.top + f.s(80), a.right, c.bottom - f.s(14)}, s.fonts.get(FontRole::Body),
              colour::kSecondary, DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS);
}

AutopilotLayout layout_of(const UiState& s, const Frame& f) {
    return autopilot_layout(f, s.settings.keep_running.empty());
}

void paint(UiState& s, HDC dc, const Frame& f) {
    paint_page_header(s, dc, f);
    const AutopilotLayout l = layout_of(s, f);
    paint_autopilot_card(s, dc, f, l);
    paint_focus_card(s, dc, f, l);
}

// Window texts name each control by its caption, and a switch by its state too.
void update_page_captions(UiState& s) {
    const RunFlags flags = run_flags();
    const Fixed fixed = fixed_by_policy(s);
    const auto on_off = [](bool on) { return on ? std::string(": on") : std::string(": off"); };
    set_caption(
        control(s, id::kAutopilotSwitch),
        w("Autopilot" + on_off(s.settings.autopilot.enabled) + organisation_note(fixed.autopilot)));
    set_caption(control(s, id::kEveryDay), w("Every day" + organisation_note(fixed.autopilot)));
    set_caption(control(s, id::kEveryWeek), w("Every week" + organisation_note(fixed.autopilot)));
    set_caption(control(s, id::kRunNow), w(run_now_caption(flags.autopilot_running)));
    set_caption(control(s, id::kFocus),
                w(std::string(focus_button_caption(flags.focus_on, flags.focus_toggling)) +
                  organisation_note(fixed.focus)));
    set_caption(control(s, id::kDevServers), w("Also close idle dev servers and adb" +
                                               on_off(s.settings.autopilot.close_dev_servers) +
                                               organisation_note(fixed.dev_servers)));
    set_caption(control(s, id::kClearKeep), L"Clear");
    const bool day = every_day_chosen(s.settings.autopilot.every_days);
    set_toggle(control(s, id::kAutopilotSwitch), Toggle::Switch, s.settings.autopilot.enabled);
    set_toggle(control(s, id::kEveryDay), Toggle::Choice, day);
    set_toggle(control(s, id::kEveryWeek), Toggle::Choice, !day);
    set_toggle(control(s, id::kDevServers), Toggle::Switch, s.settings.autopilot.close_dev_servers);
    for (const auto& [id, off] :
         {std::pair{id::kAutopilotSwitch, fixed.autopilot},
          std::pair{id::kEveryDay, fixed.autopilot}, std::pair{id::kEveryWeek, fixed.autopilot},
          std::pair{id::kDevServers, fixed.dev_servers}, std::pair{id::kFocus, fixed.focus}})
        enable(s, id, !off);
}

void layout(UiState& s, const Frame& f) {
    if (s.page != Page::Autopilot) return;
    reload_settings(s);
    const AutopilotLayout l = layout_of(s, f);
    place(s, id::kAutopilotSwitch, l.autopilot_switch);
    place(s, id::kEveryDay, l.every_day);
    place(s, id::kEveryWeek, l.every_week);
    place(s, id::kRunNow, l.run_now);
    place(s, id::kDevServers, l.dev_servers);
    place(s, id::kClearKeep, s.settings.keep_running.empty() ? Rect{} : l.clear_keep);
    place(s, id::kFocus, l.focus_button);
    update_page_captions(s);
}

void draw_autopilot_switch(UiState& s, const DRAWITEMSTRUCT& d) {
    const Frame f = frame_of(s);
    const Rect r = from_rect(d.rcItem);
    const ButtonState st = button_state(d);
    const bool on = s.settings.autopilot.enabled;
    fill_rect(d.hDC, r, colour::kWhite);
    const ColouredText word = autopilot_switch_word(on);
    draw_text(d.hDC, w(word.text), {r.left, r.top, r.right - f.s(40 + 10), r.bottom},
              s.fonts.get(FontRole::Body), word.colour, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    draw_switch(d.hDC, r, on, st.hovered ? colour::kMuted : colour::kDisabled, s.dpi);
    focus_rect(d, f.s(2));
}

void draw_dev_servers(UiState& s, const DRAWITEMSTRUCT& d) {
    const Frame f = frame_of(s);
    const Rect r = from_rect(d.rcItem);
    const ButtonState st = button_state(d);
    const bool on = s.settings.autopilot.close_dev_servers;
    fill_rect(d.hDC, r, colour::kWhite);
    rounded_rect(d.hDC, r, f.s(10), st.hovered ? colour::kHover : colour::kWhite, colour::kBorder);
    const int text_right = r.right - f.s(14 + 40 + 16);
    draw_text(d.hDC, L"Also close idle dev servers and adb",
              {r.left + f.s(14), r.top + f.s(4), text_right, r.top + f.s(24)},
              s.fonts.get(FontRole::BodySemibold), colour::kInk,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_text(d.hDC, w(dev_servers_text(on)),
              {r.left + f.s(14), r.top + f.s(24), text_right, r.bottom - f.s(4)},
              s.fonts.get(FontRole::Small), colour::kSecondary,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_switch(d.hDC, {r.left, r.top, r.right - f.s(14), r.bottom}, on, colour::kDisabled, s.dpi);
    focus_rect(d, f.s(3));
}

bool draw_item(UiState& s, const DRAWITEMSTRUCT& d) {
    const int id = static_cast<int>(d.CtlID);
    if (id < id::kAutopilotSwitch || id > id::kClearKeep) return false;
    const RunFlags flags = run_flags();
    const ButtonFace b = button_face(d, s.fonts, colour::kWhite);
    switch (id) {
        case id::kAutopilotSwitch:
            draw_autopilot_switch(s, d);
            return true;
        case id::kEveryDay:
        case id::kEveryWeek: {
            const bool day = every_day_chosen(s.settings.autopilot.every_days);
            choice_button(b, id == id::kEveryDay ? L"Every day" : L"Every week",
                          id == id::kEveryDay ? day : !day);
            break;
        }
        case id::kRunNow:
            plain_button(b, w(run_now_caption(flags.autopilot_running)));
            break;
        case id::kFocus: {
            const std::wstring caption =
                w(focus_button_caption(flags.focus_on, flags.focus_toggling));
            if (focus_button_accent(flags.focus_on, flags.focus_toggling))
                accent_button(b, caption);
            else
                plain_button(b, caption);
            break;
        }
        case id::kDevServers:
            draw_dev_servers(s, d);
            return true;
        case id::kClearKeep:
            link_button(b, L"Clear", DT_RIGHT);
            focus_rect(d, 0);
            return true;
        default:
            return false;
    }
    focus_rect(d, scale(3, s.dpi));
    return true;
}

// ---- commands ------------------------------------------------------------------------------

void repaint_autopilot_card(UiState& s) {
    const AutopilotLayout l = layout_of(s, frame_of(s));
    repaint(s, l.autopilot_card);
    for (int id : {id::kAutopilotSwitch, id::kEveryDay, id::kEveryWeek, id::kRunNow,
                   id::kDevServers, id::kClearKeep})
        repaint_control(s, id);
    update_page_captions(s);
}

void switch_autopilot(UiState& s) {
    reload_settings(s);  // a policy set since the page was read holds
    if (fixed_by_policy(s).autopilot) return;
    bool on = false;
    const bool saved = change_settings(
        s,
        [&](Settings& st) {
            st.autopilot.enabled = !st.autopilot.enabled;
            on = st.autopilot.enabled;
        },
        [&](const Settings& st) { return st.autopilot.enabled == on; });
    if (saved && !on) {
        set_status(s, autopilot_status::kOff, StatusKind::Neutral);
    } else if (saved) {
        // Autopilot runs from the tray watch: make sure one runs, now and at sign-in.
        if (!tray_window_exists() && !start_tray(s))  // a failure shows on the tray card
            expect_tray(s, true);
        if (!win::get_env("TESS_DATA_DIR") && load_policy().tray_at_sign_in != false)
            set_run_value(true, win::exe_path());
        set_status(s, autopilot_status::kOn, StatusKind::Success);
        ::SetTimer(s.window, timer::kTray, timer::kTrayDelayMs, nullptr);
    }
    repaint_autopilot_card(s);
}

void set_interval(UiState& s, std::uint32_t days) {
    reload_settings(s);  // a policy set since the page was read holds
    if (fixed_by_policy(s).autopilot) return;
    change_settings(
        s, [&](Settings& st) { st.autopilot.every_days = days; },
        [&](const Settings& st) { return st.autopilot.every_days == days; });
    repaint_autopilot_card(s);
}

void switch_dev_servers(UiState& s) {
    reload_settings(s);  // a policy set since the page was read holds
    if (fixed_by_policy(s).dev_servers) return;
    bool on = false;
    const bool saved = change_settings(
        s,
        [&](Settings& st) {
            st.autopilot.close_dev_servers = !st.autopilot.close_dev_servers;
            on = st.autopilot.close_dev_servers;
        },
        [&](const Settings& st) { return st.autopilot.close_dev_servers == on; });
    if (saved)
        set_status(s, on ? autopilot_status::kDevServersOn : autopilot_status::kDevServersOff,
                   StatusKind::Neutral);
    repaint_control(s, id::kDevServers);
    update_page_captions(s);
}

void clear_keep_list(UiState& s) {
    if (change_settings(
            s, [](Settings& st) { st.keep_running.clear(); },
            [](const Settings& st) { return st.keep_running.empty(); }))
        set_status(s, autopilot_status::kKeepCleared, StatusKind::Neutral);
    layout_controls(s);
    repaint_all(s);
}

void run_now(UiState& s) {
    if (!try_begin(shared_state(), &SharedState::autopilot_running)) return;
    repaint_control(s, id::kRunNow);
    update_page_captions(s);
    set_status(s, autopilot_status::kCleaning, StatusKind::Neutral);
    const HWND window = s.window;
    start_worker([window, make = s.autopilot_system] {
        PendingStatus status;
        try {
            const AutopilotRun run = make ? run_autopilot(make()) : run_autopilot();
            status = {run_now_result_text(autopilot_summary(run)),
                      run.failed == 0 ? StatusKind::Success : StatusKind::Problem};
        } catch (const std::exception& e) {
            status = {std::string("Autopilot couldn't run: ") + e.what(), StatusKind::Problem};
        }
        {
            SharedState& shared = shared_state();
            std::lock_guard lock(shared.mutex);
            shared.pending_statuses.push_back(std::move(status));
            shared.autopilot_running = false;
        }
        ::PostMessageW(window, kMainAutopilotDone, 0, 0);
    });
}

void toggle_focus(UiState& s) {
    reload_settings(s);  // a policy set since the page was read holds
    if (fixed_by_policy(s).focus) return;
    if (!try_begin(shared_state(), &SharedState::focus_toggling)) return;
    const bool on = run_flags().focus_on;
    set_status(s, on ? autopilot_status::kFocusLeaving : autopilot_status::kFocusEntering,
               StatusKind::Neutral);
    repaint_control(s, id::kFocus);
    update_page_captions(s);
    const HWND window = s.window;
    start_worker([window, sys = make_focus_system(s)] {
        const std::string text = focus_page_toggle(sys);
        const bool now_on = focus_is_on(sys);
        store_focus(now_on, focus_load_state(sys),
                    PendingStatus{text, now_on ? StatusKind::Success : StatusKind::Neutral});
        {
            SharedState& shared = shared_state();
            std::lock_guard lock(shared.mutex);
            shared.focus_toggling = false;
        }
        ::PostMessageW(window, kMainFocusDone, 0, 0);
    });
}

void switch_tray(UiState& s) {
    if (const HWND tray = ::FindWindowW(kTrayClass, nullptr)) {
        ::PostMessageW(tray, WM_CLOSE, 0, 0);
        expect_tray(s, false);
        set_status(s, autopilot_status::kTrayOff, StatusKind::Neutral);
    } else if (const auto error = start_tray(s)) {
        s.tray_wanted.reset();
        set_status(s, tray_start_failed_text(*error), StatusKind::Problem);
    } else {
        expect_tray(s, true);
        set_status(s, autopilot_status::kTrayOn, StatusKind::Success);
    }
    ::SetTimer(s.window, timer::kTray, timer::kTrayDelayMs, nullptr);
}

bool command(UiState& s, int id) {
    switch (id) {
        case id::kTrayCard:
            switch_tray(s);
            return true;
        case id::kAutopilotSwitch:
            switch_autopilot(s);
            return true;
        case id::kEveryDay:
        case id::kEveryWeek:
            set_interval(s, id == id::kEveryDay ? 1 : 7);
            return true;
        case id::kRunNow:
            run_now(s);
            return true;
        case id::kFocus:
            toggle_focus(s);
            return true;
        case id::kDevServers:
            switch_dev_servers(s);
            return true;
        case id::kClearKeep:
            clear_keep_list(s);
            return true;
        default:
            return false;
    }
}

}  // namespace

const PageModule& autopilot_module() {
    static const PageModule m{paint, layout, command, draw_item};
    return m;
}

void fill_autopilot_page(UiState& s) {
    reload_settings(s);
    // The Focus state as the file says now, unless a toggle is about to store its own.
    const FocusSystem sys = make_focus_system(s);
    const bool on = focus_is_on(sys);
    std::optional<FocusState> state = focus_load_state(sys);
    {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        if (!shared.focus_toggling) {
            shared.focus_on = on;
            shared.focus = std::move(state);
        }
    }
    set_status(s, autopilot_page_status(s.settings.autopilot.enabled, s.tray_running),
               StatusKind::Neutral);
    update_page_captions(s);
    repaint_all(s);
}

void on_tray_timer(UiState& s) {
    refresh_tray_flag(s);
    // A tray watch takes a moment to open its window or to close it: look again shortly,
    // so the card does not stay on a state that is about to change.
    constexpr int kLooks = 10;
    if (s.tray_wanted && *s.tray_wanted != s.tray_running && ++s.tray_looks < kLooks)
        ::SetTimer(s.window, timer::kTray, timer::kTrayDelayMs, nullptr);
    else
        s.tray_wanted.reset();
    if (s.page != Page::Autopilot) return;
    // A problem stays until the user does something else: it would vanish before it is read.
    if (s.status_kind == StatusKind::Problem) return;
    reload_settings(s);
    set_status(s, autopilot_page_status(s.settings.autopilot.enabled, s.tray_running),
               StatusKind::Neutral);
}

void start_focus_load(UiState& s) {
    const HWND window = s.window;
    start_worker([window, sys = make_focus_system(s)] {
        focus_clear_stale(sys);
        store_focus(focus_is_on(sys), focus_load_state(sys));
        ::PostMessageW(window, kMainFocusDone, 0, 0);
    });
}

void refresh_autopilot_page(UiState& s) {
    if (s.page != Page::Autopilot) return;
    const Settings before = s.settings;
    const Policy policy_before = s.policy;
    reload_settings(s);
    if (s.settings == before && s.policy == policy_before) return;
    layout_controls(s);
    repaint_all(s);
    for (int id : {id::kAutopilotSwitch, id::kEveryDay, id::kEveryWeek, id::kRunNow,
                   id::kDevServers, id::kClearKeep, id::kFocus})
        repaint_control(s, id);
}

void autopilot_flags_changed(UiState& s) {
    if (s.page == Page::Autopilot) update_page_captions(s);
}

}  // namespace tess::ui
