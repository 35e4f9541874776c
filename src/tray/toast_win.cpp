// The toast window: a card in the bottom-right corner that never takes the focus.
#include "tray/toast_win.hpp"

#include <dwmapi.h>

#include <algorithm>
#include <memory>

#include "core/win.hpp"
#include "gui/a11y_win.hpp"
#include "gui/icon.hpp"
#include "gui/icon_win.hpp"
#include "gui/paint_win.hpp"
#include "tray/tray_messages.hpp"

namespace tess {

namespace {

constexpr int kCloseButton = 101;
constexpr int kActionButton = 102;
constexpr int kToastText = 103;
constexpr UINT_PTR kLifeTimer = 1;
constexpr wchar_t kToastClass[] = L"TessavoToast";

// Not in every SDK's headers: Windows 11's rounded window corners.
constexpr DWORD kCornerPreference = 33;  // DWMWA_WINDOW_CORNER_PREFERENCE
constexpr DWORD kCornerRound = 2;        // DWMWCP_ROUND

struct ToastWindow {
    HWND window = nullptr;
    HWND owner = nullptr;
    Toast toast;
    std::uint32_t dpi = 96;
    ui::FontSet fonts;
    ui::Icon icon;
    ToastLayout layout;
    std::uint32_t away_ms = 0;
};

std::unique_ptr<ToastWindow> g_toast;  // at most one, on the tray thread

ui::Rect to_ui(const PopupRect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

bool offscreen() {
    return win::get_env("TESS_OFFSCREEN").has_value();
}

PopupRect rect_of(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

// The quick panel of this process while it shows: the toast keeps clear of it.
std::optional<PopupRect> open_panel_rect() {
    HWND h = nullptr;
    while ((h = ::FindWindowExW(nullptr, h, L"TessavoPanel", nullptr)) != nullptr) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        RECT r{};
        if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(h) && ::GetWindowRect(h, &r))
            return rect_of(r);
    }
    return std::nullopt;
}

PopupPoint toast_place(int width, int height) {
    int dpi = 96;
    const PopupRect work = tray_work_area(dpi);
    return toast_position(work, width, height, popup_px(kCornerMargin, dpi), open_panel_rect(),
                          offscreen());
}

int measure_body(HDC dc, const ui::FontSet& fonts, const std::wstring& body, int width) {
    const win::Selected font(dc, fonts.get(ui::FontRole::Body));
    RECT r{0, 0, width, 0};
    ::DrawTextW(dc, body.c_str(), static_cast<int>(body.size()), &r,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    return r.bottom - r.top;
}

// Fonts, icon and layout at `dpi`; the body and the button are measured in those fonts.
void set_toast_dpi(ToastWindow& t, int dpi) {
    t.dpi = static_cast<std::uint32_t>(dpi);
    t.fonts = ui::create_fonts(dpi, ui::find_glyph_face());
    t.icon = ui::load_icon(nullptr, ui::kAppIcon, popup_px(20, t.dpi));
    const bool has_button = !t.toast.button.empty();
    int body_height = 0;
    int button_width = 0;
    if (const win::WindowDC screen(nullptr); screen) {
        const std::wstring body = win::widen(t.toast.body);
        body_height = measure_body(screen.get(), t.fonts, body,
                                   popup_px(kToastWidth, t.dpi) - popup_px(32, t.dpi));
        if (has_button)
            button_width = ui::text_width(screen.get(), win::widen(t.toast.button),
                                          t.fonts.get(ui::FontRole::BodySemibold));
    }
    t.layout = toast_layout(t.dpi, body_height, has_button, button_width);
}

void place_toast_buttons(const ToastWindow& t) {
    const PopupRect& c = t.layout.close;
    ::MoveWindow(::GetDlgItem(t.window, kCloseButton), c.left, c.top, c.width(), c.height(), FALSE);
    if (t.toast.button.empty()) return;
    const PopupRect& a = t.layout.action;
    ::MoveWindow(::GetDlgItem(t.window, kActionButton), a.left, a.top, a.width(), a.height(),
                 FALSE);
}

// The title and body as one text for screen readers, over where they are painted.
void show_toast_text(const ToastWindow& t) {
    const PopupRect& title = t.layout.title;
    const PopupRect& body = t.layout.body;
    ui::show_live_text(::GetDlgItem(t.window, kToastText),
                       win::widen(t.toast.title + "\n" + t.toast.body),
                       {title.left, title.top, std::max(title.right, body.right), body.bottom});
}

void round_corners(HWND window) {
    ::DwmSetWindowAttribute(window, kCornerPreference, &kCornerRound, sizeof kCornerRound);
}

void paint(ToastWindow& t, HDC dc) {
    const ui::Rect all{0, 0, t.layout.width, t.layout.height};
    ui::fill_rect(dc, all, ui::colour::kWhite);
    frame_rect(dc, ui::to_rect(all), ui::colour::kBorder);
    if (t.icon)
        ::DrawIconEx(dc, t.layout.icon.left, t.layout.icon.top, t.icon.get(), t.layout.icon.width(),
                     t.layout.icon.height(), 0, nullptr, DI_NORMAL);
    ui::draw_text(dc, win::widen(t.toast.title), to_ui(t.layout.title),
                  t.fonts.get(ui::FontRole::BodySemibold), ui::colour::kInk,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    ui::draw_text(dc, win::widen(t.toast.body), to_ui(t.layout.body),
                  t.fonts.get(ui::FontRole::Body), ui::colour::kSecondary,
                  DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS | DT_EDITCONTROL);
}

void on_paint(ToastWindow& t) {
    paint_buffered(t.window, t.layout.width, t.layout.height, [&](HDC dc) { paint(t, dc); });
}

void draw_item(ToastWindow& t, const DRAWITEMSTRUCT& d) {
    const ui::ButtonFace face = ui::button_face(d, t.fonts, ui::colour::kWhite);
    if (d.CtlID == kActionButton) {
        ui::accent_button(face, win::widen(t.toast.button));
    } else {
        ui::fill_rect(d.hDC, face.r, ui::colour::kWhite);
        if (face.state.hovered)
            ui::rounded_rect(d.hDC, face.r, ui::scale(6, t.dpi), ui::colour::kContent);
        draw_close_mark(d.hDC, t.fonts, face.r, ui::colour::kSecondary);
    }
    ui::focus_rect(d, ui::scale(3, t.dpi));
}

bool mouse_over(HWND window) {
    POINT at{};
    RECT r{};
    return ::GetCursorPos(&at) && ::GetWindowRect(window, &r) && ::PtInRect(&r, at);
}

LRESULT CALLBACK toast_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    ToastWindow* t = g_toast && g_toast->window == window ? g_toast.get() : nullptr;
    switch (message) {
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;  // a toast never takes the focus
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            if (t) {
                on_paint(*t);
                return 0;
            }
            break;
        case WM_DRAWITEM:
            if (t) {
                draw_item(*t, *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
                return TRUE;
            }
            break;
        case WM_COMMAND:
            if (t && HIWORD(wparam) == BN_CLICKED) {
                if (LOWORD(wparam) == kActionButton)
                    ::PostMessageW(t->owner, kTrayToastButton, static_cast<WPARAM>(t->toast.kind),
                                   0);
                if (LOWORD(wparam) == kActionButton || LOWORD(wparam) == kCloseButton)
                    ::DestroyWindow(window);
                return 0;
            }
            break;
        case WM_TIMER:
            if (t && wparam == kLifeTimer) {
                const ToastTimer step =
                    toast_timer_step(t->away_ms, mouse_over(window), offscreen());
                t->away_ms = step.away_ms;
                if (step.close) ::DestroyWindow(window);
                return 0;
            }
            break;
        case WM_DPICHANGED:
            if (t) {
                set_toast_dpi(*t, ui::changed_dpi(wparam));
                ui::take_suggested_rect(window, lparam);
                place_toast_buttons(*t);
                show_toast_text(*t);
                ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
                return 0;
            }
            break;
        case WM_GETFONT:
            if (t) return reinterpret_cast<LRESULT>(t->fonts.get(ui::FontRole::Body));
            break;
        case WM_DESTROY:
            ::KillTimer(window, kLifeTimer);
            return 0;
        case WM_NCDESTROY:
            if (t) g_toast.reset();
            break;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

void close_toast() {
    if (g_toast) ::DestroyWindow(g_toast->window);
    g_toast.reset();
}

void place_toast() {
    if (!g_toast || !g_toast->window) return;
    const PopupPoint at = toast_place(g_toast->layout.width, g_toast->layout.height);
    ::SetWindowPos(g_toast->window, nullptr, at.x, at.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND toast_window() {
    return g_toast ? g_toast->window : nullptr;
}

void show_toast(HWND owner, const Toast& toast) {
    close_toast();
    static const bool registered =
        ui::register_window_class(kToastClass, toast_proc, CS_DROPSHADOW);
    if (!registered) return;
    ui::start_gdiplus();

    auto t = std::make_unique<ToastWindow>();
    t->owner = owner;
    t->toast = toast;
    int dpi = 96;
    tray_work_area(dpi);
    set_toast_dpi(*t, dpi);
    const bool has_button = !toast.button.empty();

    const bool hidden_test = offscreen();
    const PopupPoint at = toast_place(t->layout.width, t->layout.height);

    ToastWindow* raw = t.get();
    g_toast = std::move(t);
    raw->window =
        ::CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kToastClass,
                          L"Tessavo", WS_POPUP, at.x, at.y, raw->layout.width, raw->layout.height,
                          nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!raw->window) {
        g_toast.reset();
        return;
    }
    round_corners(raw->window);

    ui::set_caption(ui::create_owner_button(raw->window, kCloseButton), L"Close");
    const HWND action = ui::create_owner_button(raw->window, kActionButton);
    if (has_button)
        ui::set_caption(action, win::widen(toast.button));
    else
        ::ShowWindow(action, SW_HIDE);
    place_toast_buttons(*raw);
    ui::follow_own_dpi(raw->window, dpi);

    ::SetTimer(raw->window, kLifeTimer, kToastTimerMs, nullptr);
    if (hidden_test || !ui::animations_on() || !::AnimateWindow(raw->window, 160, AW_BLEND))
        ::ShowWindow(raw->window, SW_SHOWNOACTIVATE);
    // Announced once it shows: a screen reader reads what is on screen.
    ui::create_live_text(raw->window, kToastText);
    show_toast_text(*raw);
}

}  // namespace tess
