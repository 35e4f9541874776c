// The quick panel: memory at a glance, the apps using the most, and one click that applies
// the whole Optimise proposal. The check and the apply run on workers that fill the shared
// data and post the panel's messages.
#include "tray/panel_win.hpp"

#include <dwmapi.h>

#include <memory>
#include <mutex>

#include "core/log.hpp"
#include "core/memory.hpp"
#include "core/text.hpp"
#include "core/win.hpp"
#include "core/worker.hpp"
#include "gui/icon.hpp"
#include "gui/icon_win.hpp"
#include "gui/levels.hpp"
#include "gui/paint_win.hpp"
#include "scan/scan.hpp"
#include "scan/scan_win.hpp"
#include "sys/procs.hpp"
#include "tray/panel.hpp"
#include "tray/panel_messages.hpp"
#include "tray/panel_runs_win.hpp"
#include "tray/toast_win.hpp"
#include "tray/tray_win.hpp"

namespace tess {

namespace {

constexpr wchar_t kPanelClass[] = L"TessavoPanel";
constexpr DWORD kCornerPreference = 33;  // DWMWA_WINDOW_CORNER_PREFERENCE
constexpr DWORD kCornerRound = 2;        // DWMWCP_ROUND

// Filled by one worker at a time, read by the panel when the worker's message arrives.
// Each opening has its own, so a worker that outlives its panel fills memory nobody reads.
struct PanelData {
    std::mutex mutex;
    std::optional<QuickProposal> proposal;
    std::vector<TopApp> top;
    std::optional<OptimiseResult> result;
};

struct Panel {
    HWND window = nullptr;
    PanelOwner owner;
    std::uint32_t dpi = 96;
    PanelLayout layout;
    ui::FontSet fonts;
    ui::Icon icon;
    PanelMode mode = PanelMode::Checking;
    int step = 0;
    bool awaiting_approval = false;  // the admin approval prompt is open
    int spinner = 0;                 // degrees
    bool offscreen = false;
    MemoryStatus memory;
    std::vector<TopApp> top;
    QuickProposal proposal;
    std::optional<OptimiseResult> result;
    std::shared_ptr<PanelData> data = std::make_shared<PanelData>();
};

std::unique_ptr<Panel> g_panel;
std::optional<std::uint64_t> g_closed_at;

ui::Rect to_ui(const PopupRect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

void place(HWND control, const PopupRect& r) {
    ::MoveWindow(control, r.left, r.top, r.width(), r.height(), FALSE);
}

bool focus_on(const Panel& p) {
    return p.owner.focus_is_on && p.owner.focus_is_on();
}

// Captions double as the controls' accessible names.
void update_captions(Panel& p) {
    ui::set_caption(::GetDlgItem(p.window, kPanelMain), win::widen(panel_button_text(p.mode)));
    ui::set_caption(::GetDlgItem(p.window, kPanelFocus),
                    focus_on(p) ? L"Focus mode: on" : L"Focus mode: off");
    ::EnableWindow(::GetDlgItem(p.window, kPanelMain), panel_button_enabled(p.mode));
}

void repaint(Panel& p) {
    update_captions(p);
    ::InvalidateRect(p.window, nullptr, FALSE);
    ::InvalidateRect(::GetDlgItem(p.window, kPanelFocus), nullptr, FALSE);
    ::InvalidateRect(::GetDlgItem(p.window, kPanelMain), nullptr, FALSE);
}

void paint_spinner(const Panel& p, HDC dc, const ui::Rect& area) {
    const int r = ui::scale(14, static_cast<int>(p.dpi));
    const int cx = area.left + ui::scale(20, static_cast<int>(p.dpi)) + r;
    const int cy = area.top + area.height() / 2;
    const int stroke = ui::scale(4, static_cast<int>(p.dpi));
    ui::draw_arc(dc, cx, cy, r, 0.0f, 360.0f, stroke, ui::colour::kBorder, false);
    ui::draw_arc(dc, cx, cy, r, static_cast<float>(p.spinner), 80.0f, stroke, ui::colour::kAccent,
                 true);
    const int text_left = cx + r + ui::scale(16, static_cast<int>(p.dpi));
    const int mid = area.top + area.height() / 2;
    ui::draw_text(dc, win::widen(panel_busy_text(p.mode)),
                  {text_left, mid - ui::scale(22, static_cast<int>(p.dpi)),
                   area.right - ui::scale(12, static_cast<int>(p.dpi)), mid},
                  p.fonts.get(ui::FontRole::BodySemibold), ui::colour::kInk,
                  DT_LEFT | DT_BOTTOM | DT_SINGLELINE | DT_END_ELLIPSIS);
    ui::draw_text(
        dc, win::widen(p.awaiting_approval ? kWaitingForApproval : panel_step_text(p.mode, p.step)),
        {text_left, mid + ui::scale(2, static_cast<int>(p.dpi)),
         area.right - ui::scale(12, static_cast<int>(p.dpi)),
         mid + ui::scale(22, static_cast<int>(p.dpi))},
        p.fonts.get(ui::FontRole::Small), ui::colour::kSecondary,
        DT_LEFT | DT_TOP | DT_SINGLELINE | DT_END_ELLIPSIS);
}

// Lines in the action area, each with a bullet or none.
void paint_lines(const Panel& p, HDC dc, const ui::Rect& area, int top,
                 const std::vector<std::string>& lines, bool bullets) {
    const int dpi = static_cast<int>(p.dpi);
    const int line = ui::scale(22, dpi);
    for (std::size_t i = 0; i < lines.size() && i < 3; ++i) {
        const int y = top + static_cast<int>(i) * line;
        int left = area.left + ui::scale(16, dpi);
        if (bullets) {
            ui::fill_circle(dc, left + ui::scale(3, dpi), y + line / 2, ui::scale(3, dpi),
                            ui::colour::kSecondary);
            left += ui::scale(14, dpi);
        }
        ui::draw_text(dc, win::widen(lines[i]),
                      {left, y, area.right - ui::scale(12, dpi), y + line},
                      p.fonts.get(ui::FontRole::Body), ui::colour::kInk,
                      DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
}

void paint_action_area(const Panel& p, HDC dc) {
    const int dpi = static_cast<int>(p.dpi);
    const ui::Rect area = to_ui(p.layout.action_area);
    ui::rounded_rect(dc, area, ui::scale(10, dpi), ui::colour::kContent);
    const int pad = ui::scale(14, dpi);
    switch (p.mode) {
        case PanelMode::Checking:
        case PanelMode::Applying:
            paint_spinner(p, dc, area);
            break;
        case PanelMode::Proposal:
            ui::draw_text(dc, L"One click will",
                          {area.left + ui::scale(16, dpi), area.top + pad, area.right,
                           area.top + pad + ui::scale(20, dpi)},
                          p.fonts.get(ui::FontRole::Small), ui::colour::kSecondary,
                          DT_LEFT | DT_VCENTER | DT_SINGLELINE);
            paint_lines(p, dc, area, area.top + pad + ui::scale(24, dpi), p.proposal.lines, true);
            break;
        case PanelMode::NothingToFix:
        case PanelMode::Done: {
            const bool done = p.mode == PanelMode::Done;
            const ui::Rect mark{area.left + ui::scale(12, dpi), area.top + pad,
                                area.left + ui::scale(40, dpi),
                                area.top + pad + ui::scale(28, dpi)};
            const OptimiseResult result = p.result.value_or(OptimiseResult{});
            const bool problems = done && has_problems(result);
            const std::uint32_t ink = problems ? ui::colour::kWarning : ui::colour::kSuccess;
            draw_check_mark(dc, p.fonts, mark, ink);
            const std::string heading =
                done ? std::string(done_heading(result)) : std::string("Nothing to fix right now");
            ui::draw_text(dc, win::widen(heading),
                          {mark.right + ui::scale(6, dpi), mark.top, area.right - pad, mark.bottom},
                          p.fonts.get(ui::FontRole::BodySemibold), done ? ink : ui::colour::kInk,
                          DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
            const int below = mark.bottom + ui::scale(6, dpi);
            if (done) {
                paint_lines(p, dc, area, below,
                            p.result ? panel_done_lines(*p.result) : std::vector<std::string>{},
                            false);
            } else {
                ui::draw_text(
                    dc, L"Your PC is in good shape. Open the full app for details.",
                    {area.left + ui::scale(16, dpi), below, area.right - pad, area.bottom - pad},
                    p.fonts.get(ui::FontRole::Body), ui::colour::kSecondary,
                    DT_LEFT | DT_TOP | DT_WORDBREAK | DT_END_ELLIPSIS);
            }
            break;
        }
    }
}

void paint(const Panel& p, HDC dc) {
    const int dpi = static_cast<int>(p.dpi);
    const PanelLayout& l = p.layout;
    const ui::Rect all{0, 0, l.width, l.height};
    ui::fill_rect(dc, all, ui::colour::kWhite);
    frame_rect(dc, ui::to_rect(all), ui::colour::kBorder);
    if (p.icon)
        ::DrawIconEx(dc, l.icon.left, l.icon.top, p.icon.get(), l.icon.width(), l.icon.height(), 0,
                     nullptr, DI_NORMAL);
    ui::draw_text(dc, L"Tessavo", to_ui(l.title), p.fonts.get(ui::FontRole::Subheading),
                  ui::colour::kInk, DT_LEFT | DT_VCENTER | DT_SINGLELINE);

    // The gauge: the ring, the arc by level and the percentage inside.
    const MemoryLevel level =
        memory_level(p.memory.total_physical, p.memory.available_physical, p.memory.commit_charge);
    const std::uint32_t colour = ui::level_colour(level);
    const int stroke = ui::scale(10, dpi);
    const int r = (l.gauge.width() - stroke) / 2;
    const int cx = l.gauge.left + l.gauge.width() / 2;
    const int cy = l.gauge.top + l.gauge.height() / 2;
    ui::draw_arc(dc, cx, cy, r, 0.0f, 360.0f, stroke, ui::colour::kBorder, true);
    ui::draw_arc(dc, cx, cy, r, -90.0f, static_cast<float>(gauge_sweep_degrees(p.memory)), stroke,
                 colour, true);
    ui::draw_text(dc, win::widen(gauge_percent_text(p.memory)), to_ui(l.gauge),
                  p.fonts.get(ui::FontRole::Subheading), ui::colour::kInk,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ui::draw_text(dc, win::widen(memory_heading(level)), to_ui(l.heading),
                  p.fonts.get(ui::FontRole::Subheading), colour,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    ui::draw_text(dc, win::widen(memory_used_text(p.memory)), to_ui(l.used),
                  p.fonts.get(ui::FontRole::Body), ui::colour::kInk,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    ui::draw_text(dc, win::widen(memory_free_text(p.memory)), to_ui(l.free),
                  p.fonts.get(ui::FontRole::Body), ui::colour::kSecondary,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);

    ui::draw_text(dc, L"Using the most memory", to_ui(l.apps_label),
                  p.fonts.get(ui::FontRole::Small), ui::colour::kSecondary,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    for (std::size_t i = 0; i < p.top.size() && i < 3; ++i) {
        const ui::Rect row = to_ui(l.apps[i]);
        const std::wstring size = win::widen(size_text(p.top[i].bytes));
        const HFONT body = p.fonts.get(ui::FontRole::Body);
        const int size_width = ui::text_width(dc, size, body) + ui::scale(12, dpi);
        ui::draw_text(dc, win::widen(p.top[i].name),
                      {row.left, row.top, row.right - size_width, row.bottom}, body,
                      ui::colour::kInk, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        ui::draw_text(dc, size, row, p.fonts.get(ui::FontRole::BodySemibold),
                      ui::colour::kAccentPressed, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    }
    paint_action_area(p, dc);
}

void on_paint(const Panel& p) {
    paint_buffered(p.window, p.layout.width, p.layout.height, [&](HDC dc) { paint(p, dc); });
}

void draw_item(const Panel& p, const DRAWITEMSTRUCT& d) {
    const int dpi = static_cast<int>(p.dpi);
    const ui::ButtonFace face = ui::button_face(d, p.fonts, ui::colour::kWhite);
    switch (d.CtlID) {
        case kPanelMain: {
            const std::string subtitle =
                p.mode == PanelMode::Proposal
                    ? proposal_subtitle(p.proposal.ram_bytes, p.proposal.disk_bytes)
                    : std::string();
            ui::accent_button(face, win::widen(panel_button_text(p.mode)), win::widen(subtitle));
            break;
        }
        case kPanelOpen:
            ui::plain_button(face, L"Open Tessavo");
            break;
        case kPanelFocus: {
            const bool on = focus_on(p);
            ui::fill_rect(d.hDC, face.r, ui::colour::kWhite);
            ui::rounded_rect(d.hDC, face.r, ui::scale(10, dpi),
                             face.state.hovered ? ui::colour::kContent : ui::colour::kWhite,
                             ui::colour::kBorder);
            const int pad = ui::scale(14, dpi);
            const int mid = face.r.top + face.r.height() / 2;
            const int text_right = face.r.right - ui::scale(64, dpi);
            ui::draw_text(d.hDC, L"Focus mode", {face.r.left + pad, face.r.top, text_right, mid},
                          p.fonts.get(ui::FontRole::BodySemibold), ui::colour::kInk,
                          DT_LEFT | DT_BOTTOM | DT_SINGLELINE);
            const std::string summary = on && p.owner.focus_summary
                                            ? p.owner.focus_summary()
                                            : std::string("Full power for the apps you use");
            ui::draw_text(d.hDC, win::widen(summary),
                          {face.r.left + pad, mid + ui::scale(2, dpi), text_right, face.r.bottom},
                          p.fonts.get(ui::FontRole::Small), ui::colour::kSecondary,
                          DT_LEFT | DT_TOP | DT_SINGLELINE | DT_END_ELLIPSIS);
            ui::draw_switch(d.hDC, {face.r.left, face.r.top, face.r.right - pad, face.r.bottom}, on,
                            ui::colour::kDisabled, dpi);
            break;
        }
        default: {  // close
            ui::fill_rect(d.hDC, face.r, ui::colour::kWhite);
            if (face.state.hovered)
                ui::rounded_rect(d.hDC, face.r, ui::scale(6, dpi), ui::colour::kContent);
            draw_close_mark(d.hDC, p.fonts, face.r, ui::colour::kSecondary);
            break;
        }
    }
    ui::focus_rect(d, ui::scale(3, dpi));
}

void start_check(Panel& p) {
    start_worker([window = p.window, data = p.data] {
        ScanResult scan = full_scan(system_scan_probes(), [window](int step) {
            ::PostMessageW(window, kPanelStep, static_cast<WPARAM>(step), 0);
        });
        QuickProposal proposal = quick_proposal(scan.report.suggestions, scan.report.junk);
        {
            std::lock_guard lock(data->mutex);
            data->proposal = std::move(proposal);
            data->top = top_apps(scan.apps);
        }
        ::PostMessageW(window, kPanelCheckDone, 0, 0);
    });
}

void start_apply(Panel& p) {
    p.mode = PanelMode::Applying;
    p.step = 0;
    ::SetTimer(p.window, kPanelSpinnerTimer, kPanelSpinnerMs, nullptr);
    log_line("quick panel: optimise (" + std::to_string(p.proposal.actions.size()) + " changes)");
    start_worker([window = p.window, data = p.data, actions = p.proposal.actions,
                  junk = p.proposal.disk_bytes] {
        quick_optimise(actions, junk, window, [data](OptimiseResult result) {
            std::lock_guard lock(data->mutex);
            data->result = std::move(result);
        });
    });
    repaint(p);
}

void on_check_done(Panel& p) {
    std::optional<QuickProposal> proposal;
    {
        std::lock_guard lock(p.data->mutex);
        proposal.swap(p.data->proposal);
        if (proposal && !p.data->top.empty()) p.top = p.data->top;
    }
    if (proposal && p.mode == PanelMode::Checking) {
        ::KillTimer(p.window, kPanelSpinnerTimer);
        p.proposal = std::move(*proposal);
        p.mode = mode_after_check(p.proposal.actions.size());
    }
    repaint(p);
}

void on_apply_done(Panel& p) {
    std::optional<OptimiseResult> result;
    {
        std::lock_guard lock(p.data->mutex);
        result.swap(p.data->result);
    }
    if (result && p.mode == PanelMode::Applying) {
        ::KillTimer(p.window, kPanelSpinnerTimer);
        p.result = std::move(result);
        p.mode = PanelMode::Done;
        p.memory = memory_status();
    }
    repaint(p);
}

void on_command(Panel& p, int id) {
    switch (id) {
        case kPanelClose:
            if (panel_can_close(p.mode)) ::DestroyWindow(p.window);
            break;
        case kPanelMain:
            switch (main_button_action(p.mode, p.proposal.actions.size())) {
                case MainButtonAction::Apply:
                    start_apply(p);
                    break;
                case MainButtonAction::Close:
                    ::DestroyWindow(p.window);
                    break;
                case MainButtonAction::None:
                    break;
            }
            break;
        case kPanelOpen:
            start_own_exe("");
            if (panel_can_close(p.mode)) ::DestroyWindow(p.window);
            break;
        case kPanelFocus:
            if (p.owner.toggle_focus) p.owner.toggle_focus();
            break;
        default:
            break;
    }
}

void set_panel_dpi(Panel& p, int dpi) {
    p.dpi = static_cast<std::uint32_t>(dpi);
    p.layout = panel_layout(p.dpi);
    p.fonts = ui::create_fonts(dpi, ui::find_glyph_face());
    p.icon = ui::load_icon(nullptr, ui::kAppIcon, popup_px(24, p.dpi));
}

void place_buttons(const Panel& p) {
    place(::GetDlgItem(p.window, kPanelClose), p.layout.close);
    place(::GetDlgItem(p.window, kPanelFocus), p.layout.focus);
    place(::GetDlgItem(p.window, kPanelMain), p.layout.main);
    place(::GetDlgItem(p.window, kPanelOpen), p.layout.open);
}

LRESULT CALLBACK panel_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Panel* p = g_panel && g_panel->window == window ? g_panel.get() : nullptr;
    if (!p) return ::DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
        case WM_DPICHANGED:
            set_panel_dpi(*p, ui::changed_dpi(wparam));
            ui::take_suggested_rect(window, lparam);
            place_buttons(*p);
            ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(p->fonts.get(ui::FontRole::Body));
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            on_paint(*p);
            return 0;
        case WM_DRAWITEM:
            draw_item(*p, *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wparam) == BN_CLICKED) on_command(*p, LOWORD(wparam));
            return 0;
        case WM_TIMER:
            if (wparam == kPanelSpinnerTimer) {
                p->spinner = (p->spinner + 10) % 360;
                const RECT area = ui::to_rect(to_ui(p->layout.action_area));
                ::InvalidateRect(window, &area, FALSE);
            }
            return 0;
        case kPanelStep:
            p->step = static_cast<int>(wparam);
            repaint(*p);
            return 0;
        case kPanelApproval:
            p->awaiting_approval = wparam != 0;
            repaint(*p);
            return 0;
        case kPanelCheckDone:
            on_check_done(*p);
            return 0;
        case kPanelApplyDone:
            on_apply_done(*p);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wparam) == WA_INACTIVE && panel_can_close(p->mode) && !p->offscreen)
                ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::KillTimer(window, kPanelSpinnerTimer);
            g_closed_at = ::GetTickCount64();
            place_toast();  // hidden by now: back to the corner
            return 0;
        case WM_NCDESTROY:
            g_panel.reset();
            return ::DefWindowProcW(window, message, wparam, lparam);
        default:
            return ::DefWindowProcW(window, message, wparam, lparam);
    }
}

}  // namespace

void register_panel_class(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DROPSHADOW;
    wc.lpfnWndProc = panel_proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kPanelClass;
    ::RegisterClassExW(&wc);
}

void open_quick_panel(const PanelOwner& owner) {
    if (g_panel) return;
    ui::start_gdiplus();
    auto panel = std::make_unique<Panel>();
    Panel& p = *panel;
    p.owner = owner;
    int dpi = 96;
    const PopupRect work = tray_work_area(dpi);
    set_panel_dpi(p, dpi);
    p.offscreen = win::get_env("TESS_OFFSCREEN").has_value();
    p.memory = memory_status();
    p.top = top_apps(group_apps(list_processes(0, false), ::GetCurrentProcessId()));

    PopupPoint at = corner_position(work, p.layout.width, p.layout.height,
                                    popup_px(kCornerMargin, p.dpi), p.offscreen);
    if (!p.offscreen) at = clamp_to(work, at, p.layout.width, p.layout.height);

    g_panel = std::move(panel);
    p.window = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kPanelClass, L"Tessavo",
                                 WS_POPUP, at.x, at.y, p.layout.width, p.layout.height, nullptr,
                                 nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!p.window) {
        g_panel.reset();
        return;
    }
    ::DwmSetWindowAttribute(p.window, kCornerPreference, &kCornerRound, sizeof kCornerRound);
    // In visual order, so Tab walks them top to bottom: close, Focus, main, open.
    for (int id : {kPanelClose, kPanelFocus, kPanelMain, kPanelOpen})
        ui::create_owner_button(p.window, id);
    place_buttons(p);
    ui::follow_own_dpi(p.window, dpi);
    ui::set_caption(::GetDlgItem(p.window, kPanelClose), L"Close");
    ui::set_caption(::GetDlgItem(p.window, kPanelOpen), L"Open Tessavo");
    update_captions(p);

    ::SetTimer(p.window, kPanelSpinnerTimer, kPanelSpinnerMs, nullptr);
    if (p.offscreen) {
        ::ShowWindow(p.window, SW_SHOWNOACTIVATE);
    } else {
        ::ShowWindow(p.window, SW_SHOW);
        ::SetForegroundWindow(p.window);
    }
    place_toast();  // a toast already up moves above the panel
    log_line("quick panel opened");
    start_check(p);
}

void close_quick_panel() {
    if (g_panel && panel_can_close(g_panel->mode)) ::DestroyWindow(g_panel->window);
}

void close_quick_panel_now() {
    if (g_panel) ::DestroyWindow(g_panel->window);
}

bool quick_panel_open() {
    return g_panel != nullptr;
}

HWND quick_panel_window() {
    return g_panel ? g_panel->window : nullptr;
}

bool quick_panel_applying() {
    return g_panel && g_panel->mode == PanelMode::Applying;
}

std::optional<std::uint64_t> quick_panel_closed_at() {
    return g_closed_at;
}

void repaint_quick_panel() {
    if (g_panel) repaint(*g_panel);
}

}  // namespace tess
