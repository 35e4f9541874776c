// The setup window (class TessavoSetup): paints what setup_view decides, runs the
// install on a worker and takes its result from a slot when kSetupInstallDone arrives.
#include "core/win.hpp"

#include <memory>
#include <mutex>

#include "core/roles.hpp"
#include "core/worker.hpp"
#include "gui/icon.hpp"
#include "gui/icon_win.hpp"
#include "gui/paint_win.hpp"
#include "gui/place_win.hpp"
#include "setup/setup.hpp"
#include "setup/setup_messages.hpp"
#include "setup/setup_view.hpp"

namespace tess {

namespace {

constexpr wchar_t kClassName[] = L"TessavoSetup";

// The one piece of data the worker shares with the window; the worker keeps it alive
// even if the window is gone by the time it finishes.
struct ResultSlot {
    std::mutex mutex;
    std::optional<SetupError> result;
};

struct SetupWindow {
    HWND hwnd = nullptr;
    int dpi = 96;
    ui::FontSet fonts;
    ui::Icon header_icon;
    SetupModel model;
    std::shared_ptr<ResultSlot> slot = std::make_shared<ResultSlot>();
};

std::wstring w(std::string_view utf8) {
    return win::widen(utf8);
}

HWND control(const SetupWindow& s, int id) {
    return ::GetDlgItem(s.hwnd, id);
}

void update_captions(const SetupWindow& s) {
    ui::set_caption(control(s, kSetupDesktopCard),
                    w(option_card_caption(kDesktopCardTitle, s.model.desktop)));
    ui::set_caption(control(s, kSetupTrayCard),
                    w(option_card_caption(kTrayCardTitle, s.model.tray)));
    ui::set_caption(control(s, kSetupMainButton), w(main_button_caption(s.model)));
    ui::set_caption(control(s, kSetupLink), w(link_caption(s.model.state)));
}

SetupLayout current_layout(const SetupWindow& s) {
    RECT rc{};
    ::GetClientRect(s.hwnd, &rc);
    return setup_layout(rc.right, rc.bottom, s.dpi, s.model);
}

void place(HWND c, ui::Rect r) {
    ::SetWindowPos(c, nullptr, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void layout_controls(const SetupWindow& s) {
    const SetupLayout l = current_layout(s);
    const bool cards = s.model.state != SetupState::Installed;
    place(control(s, kSetupDesktopCard), l.desktop_card);
    place(control(s, kSetupTrayCard), l.tray_card);
    ::ShowWindow(control(s, kSetupDesktopCard), cards ? SW_SHOWNA : SW_HIDE);
    ::ShowWindow(control(s, kSetupTrayCard), cards ? SW_SHOWNA : SW_HIDE);
    place(control(s, kSetupMainButton), l.main_button);
    place(control(s, kSetupLink), l.link);
    const bool enabled = s.model.state != SetupState::Installing;
    ::EnableWindow(control(s, kSetupMainButton), enabled);
    ::EnableWindow(control(s, kSetupLink), enabled);
    ::EnableWindow(control(s, kSetupDesktopCard), enabled);
    ::EnableWindow(control(s, kSetupTrayCard), enabled);
    update_captions(s);
    ::InvalidateRect(s.hwnd, nullptr, FALSE);
    for (int id : {kSetupDesktopCard, kSetupTrayCard, kSetupMainButton, kSetupLink})
        ::InvalidateRect(control(s, id), nullptr, FALSE);
}

void text(HDC dc, const SetupWindow& s, std::string_view t, ui::Rect r, ui::FontRole role,
          std::uint32_t colour,
          UINT flags = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS) {
    ui::draw_text(dc, w(t), r, s.fonts.get(role), colour, flags);
}

void paint(HDC dc, const SetupWindow& s, int width, int height) {
    using namespace ui::colour;
    const SetupLayout l = current_layout(s);
    ui::fill_rect(dc, {0, 0, width, height}, kWhite);
    ui::fill_rect(dc, l.header, kInk);
    if (s.header_icon)
        ::DrawIconEx(dc, l.icon.left, l.icon.top, s.header_icon.get(), l.icon.width(),
                     l.icon.height(), 0, nullptr, DI_NORMAL);
    text(dc, s, "Tessavo", l.brand, ui::FontRole::Title, kWhite);
    text(dc, s, setup_header_line(), l.header_line, ui::FontRole::Body, kDisabled);
    text(dc, s, setup_header_note(s.model.install_bytes), l.header_note, ui::FontRole::Body,
         kMuted);

    if (s.model.state == SetupState::Installed) {
        ui::draw_glyph(dc, s.fonts, ui::FontRole::BigIcons, u'\uE73E', l.check, kSuccess);
        text(dc, s, kInstalledTitle, l.installed_title, ui::FontRole::Heading, kInk);
        text(dc, s, kWhereToFindIt, l.where_heading, ui::FontRole::Body, kSecondary);
        const auto rows = installed_rows(s.model.desktop, s.model.tray);
        for (std::size_t i = 0; i < rows.size() && i < l.row_labels.size(); ++i) {
            text(dc, s, rows[i].label, l.row_labels[i], ui::FontRole::BodySemibold, kInk);
            text(dc, s, rows[i].text, l.row_texts[i], ui::FontRole::Body, kSecondary);
        }
        return;
    }
    text(dc, s, kSetupOptionsHeading, l.options_heading, ui::FontRole::Subheading, kInk);
    text(dc, s, installs_to_line(s.model.install_folder), l.installs_to, ui::FontRole::Small,
         kSecondary, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_PATH_ELLIPSIS);
    if (const auto line = installed_version_line(s.model.installed_version)) {
        text(dc, s, *line, l.version_line, ui::FontRole::Body, kAccentPressed);
        text(dc, s, kClosedWhileUpdating, l.closed_line, ui::FontRole::Body, kSecondary);
    }
    if (s.model.state == SetupState::Failed)
        text(dc, s, setup_failed_line(s.model.error), l.failed_text, ui::FontRole::Body, kProblem,
             DT_LEFT | DT_TOP | DT_WORDBREAK | DT_END_ELLIPSIS);
}

void on_paint(const SetupWindow& s) {
    const win::PaintDC dc(s.hwnd);
    if (!dc) return;
    RECT rc{};
    ::GetClientRect(s.hwnd, &rc);
    // Into a memory bitmap first, then one copy: no flicker.
    const win::unique_hdc mem(::CreateCompatibleDC(dc.get()));
    const win::unique_hbitmap bitmap(::CreateCompatibleBitmap(dc.get(), rc.right, rc.bottom));
    if (mem && bitmap) {
        const win::Selected selected(mem.get(), bitmap.get());
        paint(mem.get(), s, rc.right, rc.bottom);
        ::BitBlt(dc.get(), 0, 0, rc.right, rc.bottom, mem.get(), 0, 0, SRCCOPY);
    } else {
        paint(dc.get(), s, rc.right, rc.bottom);
    }
}

void draw_card(const DRAWITEMSTRUCT& d, const SetupWindow& s, std::string_view title,
               std::string_view body, bool on) {
    using namespace ui::colour;
    const ui::Rect r = ui::from_rect(d.rcItem);
    const ui::ButtonState st = ui::button_state(d);
    const bool hovered = st.hovered || st.pressed;
    ui::fill_rect(d.hDC, r, kWhite);
    ui::rounded_rect(d.hDC, r, ui::scale(12, s.dpi), hovered ? kContent : kWhite, kBorder);
    const CardLayout c = card_layout(r, s.dpi);
    text(d.hDC, s, title, c.title, ui::FontRole::BodySemibold, st.disabled ? kSecondary : kInk);
    text(d.hDC, s, body, c.text, ui::FontRole::Small, kSecondary,
         DT_LEFT | DT_TOP | DT_WORDBREAK | DT_END_ELLIPSIS);
    ui::draw_switch(d.hDC, c.switch_band, on, kDisabled, s.dpi);
    ui::focus_rect(d, ui::scale(4, s.dpi));
}

void on_draw_item(const DRAWITEMSTRUCT& d, const SetupWindow& s) {
    switch (d.CtlID) {
        case kSetupDesktopCard:
            draw_card(d, s, kDesktopCardTitle, kDesktopCardText, s.model.desktop);
            return;
        case kSetupTrayCard:
            draw_card(d, s, kTrayCardTitle, kTrayCardText, s.model.tray);
            return;
        case kSetupMainButton:
            ui::accent_button(ui::button_face(d, s.fonts, ui::colour::kWhite),
                              w(main_button_caption(s.model)));
            ui::focus_rect(d, ui::scale(4, s.dpi));
            return;
        case kSetupLink:
            ui::link_button(ui::button_face(d, s.fonts, ui::colour::kWhite),
                            w(link_caption(s.model.state)), DT_CENTER);
            ui::focus_rect(d, ui::scale(2, s.dpi));
            return;
        default:
            return;
    }
}

void start_install(SetupWindow& s) {
    const HWND hwnd = s.hwnd;
    const bool desktop = s.model.desktop;
    const bool tray = s.model.tray;
    start_worker([slot = s.slot, hwnd, desktop, tray] {
        const InstallPaths paths = install_paths();
        const SetupSystem sys = setup_system();
        SetupError result;
        std::string error;
        if (const auto exe = sys.exe_path(error)) {
            result = install_locked(*exe, paths, desktop, tray, sys);
            if (!result && tray && paths.real) sys.start_detached(installed_exe(paths), "agent");
        } else {
            result = error;
        }
        {
            std::lock_guard lock(slot->mutex);
            slot->result = std::move(result);
        }
        ::PostMessageW(hwnd, kSetupInstallDone, 0, 0);
    });
}

void on_command(SetupWindow& s, int id) {
    switch (id) {
        case kSetupDesktopCard:
        case kSetupTrayCard: {
            if (s.model.state == SetupState::Installing || s.model.state == SetupState::Installed)
                return;
            bool& option = id == kSetupDesktopCard ? s.model.desktop : s.model.tray;
            option = !option;
            update_captions(s);
            ::InvalidateRect(control(s, id), nullptr, FALSE);
            return;
        }
        case kSetupMainButton:
            switch (press_main_button(s.model)) {
                case MainButtonAction::Nothing:
                    return;
                case MainButtonAction::OpenAndClose:
                    setup_system().start_detached(installed_exe(install_paths()), "");
                    ::DestroyWindow(s.hwnd);
                    return;
                case MainButtonAction::StartInstall:
                    layout_controls(s);
                    ::UpdateWindow(s.hwnd);
                    start_install(s);
                    return;
            }
            return;
        case kSetupLink:
            if (press_link(s.model)) ::DestroyWindow(s.hwnd);
            return;
        default:
            return;
    }
}

void on_install_done(SetupWindow& s) {
    std::optional<SetupError> taken;
    {
        std::lock_guard lock(s.slot->mutex);
        taken = std::exchange(s.slot->result, std::nullopt);
    }
    finish_install(s.model, taken);
    layout_controls(s);
    const HWND focus = control(s, kSetupMainButton);
    if (::GetForegroundWindow() == s.hwnd) ::SetFocus(focus);
}

void set_dpi_resources(SetupWindow& s) {
    s.fonts = ui::create_fonts(s.dpi, ui::find_glyph_face());
    s.header_icon = ui::load_icon(nullptr, ui::kAppIcon, ui::scale(64, s.dpi));
}

LRESULT CALLBACK setup_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* s = reinterpret_cast<SetupWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
        case WM_NCCREATE: {
            s = static_cast<SetupWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
            s->hwnd = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
            break;
        }
        case WM_CREATE:
            // In the order Tab follows: the cards, the main button, the link.
            for (int id : {kSetupDesktopCard, kSetupTrayCard, kSetupMainButton, kSetupLink})
                ui::create_owner_button(hwnd, id);
            layout_controls(*s);
            return 0;
        case WM_DPICHANGED:
            if (s) {
                s->dpi = ui::changed_dpi(wp);
                set_dpi_resources(*s);
                ui::take_suggested_rect(hwnd, lp);
                layout_controls(*s);
                ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
            }
            return 0;
        case WM_GETFONT:
            if (s) return reinterpret_cast<LRESULT>(s->fonts.get(ui::FontRole::Body));
            break;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            if (s) {
                on_paint(*s);
                return 0;
            }
            break;
        case WM_DRAWITEM:
            if (s) {
                on_draw_item(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp), *s);
                return TRUE;
            }
            break;
        case WM_COMMAND:
            if (s && HIWORD(wp) == BN_CLICKED) on_command(*s, LOWORD(wp));
            return 0;
        case kSetupInstallDone:
            if (s) on_install_done(*s);
            return 0;
        case WM_CLOSE:
            // Closing halfway would end the worker halfway: wait for its result.
            if (s && s->model.state == SetupState::Installing) return 0;
            ::DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

void run_setup_window() {
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    ui::start_gdiplus();
    if (!ui::register_window_class(kClassName, setup_proc, 0)) return;

    SetupWindow s;
    // On the work area under the cursor, wholly inside it, at that monitor's DPI.
    const PopupRect work = work_area_near(nullptr);
    const RECT work_rect{work.left, work.top, work.right, work.bottom};
    s.dpi = ui::monitor_dpi(::MonitorFromRect(&work_rect, MONITOR_DEFAULTTOPRIMARY));
    set_dpi_resources(s);
    const InstallPaths paths = install_paths();
    s.model.install_folder = paths.folder;
    s.model.installed_version = installed_version(paths);
    if (const std::string exe = win::exe_path(); !exe.empty())
        s.model.install_bytes = install_size(exe, setup_system());

    const bool offscreen = win::get_env("TESS_OFFSCREEN").has_value();
    const int width = ui::scale(kSetupWidth, s.dpi);
    const int height = ui::scale(kSetupHeight, s.dpi);
    const PopupPoint at =
        offscreen ? PopupPoint{-10000, -10000} : centre_within(work, work, width, height);
    const int x = at.x, y = at.y;
    const HWND hwnd = ::CreateWindowExW(0, kClassName, w(setup_window_title()).c_str(),
                                        WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y, width,
                                        height, nullptr, nullptr, ::GetModuleHandleW(nullptr), &s);
    if (!hwnd) return;
    ui::follow_own_dpi(hwnd, s.dpi);
    if (offscreen) {
        ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    } else {
        ::ShowWindow(hwnd, SW_SHOW);
        ::SetForegroundWindow(hwnd);
        ::SetFocus(control(s, kSetupMainButton));
    }
    MSG m;
    while (::GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (::IsDialogMessageW(hwnd, &m)) continue;
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
    if (s.model.run_without_installing) run_main_window();
}

}  // namespace tess
