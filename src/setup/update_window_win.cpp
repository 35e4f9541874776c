// The update window: paints what update_window decides, runs install_update on a worker
// that posts its progress and its end, and takes the error text from a slot.
#include "setup/update_window_win.hpp"

#include <algorithm>
#include <memory>
#include "core/slot.hpp"

#include "core/settings.hpp"
#include "core/worker.hpp"
#include "gui/a11y_win.hpp"
#include "gui/icon.hpp"
#include "gui/icon_win.hpp"
#include "gui/paint_win.hpp"
#include "gui/place_win.hpp"
#include "setup/update_messages.hpp"

namespace tess::ui {

namespace {

constexpr wchar_t kClassName[] = L"TessavoUpdate";
constexpr int kUpdateNow = 201, kLater = 202, kSkip = 203;
constexpr int kMessageText = 204;  // what the window says, for screen readers
constexpr UINT_PTR kCloseTimer = 2;
constexpr UINT kCloseAfterMs = 900;

struct UpdateWindow {
    HWND hwnd = nullptr;
    PaintBuffer paint_buffer;  // what is on screen, kept between paints
    HWND owner = nullptr;
    int dpi = 96;
    FontSet fonts;
    Icon icon;
    updates::UpdateInfo info;
    std::vector<std::string> lines;
    bool installed_copy = false;
    std::uint64_t bytes = 0, total = 0;
    std::uint64_t download_size = 0;
    std::string error;
    bool program_in_place = true;  // after a failure: this program's file is still there
    UpdatePhase phase = UpdatePhase::Offer;
    UpdateOutcome outcome = UpdateOutcome::Closed;
    std::shared_ptr<Slot<std::string>> slot = std::make_shared<Slot<std::string>>();  // the error
    int notes_bottom = 0;    // client y where the notes end, at this DPI
    int subtitle_extra = 0;  // the subtitle's wrapped lines beyond its first, in pixels
};

std::wstring w(std::string_view utf8) {
    return win::widen(utf8);
}

int px(const UpdateWindow& u, int v) {
    return scale(v, u.dpi);
}

// The wrapped height of one note line in the 436-pixel box.
int line_height(HDC dc, const UpdateWindow& u, const std::string& line) {
    RECT r{0, 0, px(u, 436), 0};
    const win::Selected selected(dc, u.fonts.get(FontRole::Body));
    const std::wstring text = w(line);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return r.bottom - r.top;
}

// Lays the notes out from y = 120 and returns where they end; draws them when `draw`.
int notes(HDC dc, const UpdateWindow& u, bool draw) {
    using namespace colour;
    int y = px(u, 120) + u.subtitle_extra;
    if (u.lines.empty()) {
        const int h = line_height(dc, u, "Improvements and fixes.");
        if (draw)
            draw_text(dc, L"Improvements and fixes.", {px(u, 24), y, px(u, 476), y + h},
                      u.fonts.get(FontRole::Body), kInk, DT_LEFT | DT_TOP | DT_WORDBREAK);
        return y + h;
    }
    const std::size_t shown = std::min(u.lines.size(), kNoteLinesShown);
    for (std::size_t i = 0; i < shown; ++i) {
        const int h = line_height(dc, u, u.lines[i]);
        if (draw) {
            fill_circle(dc, px(u, 30), y + px(u, 9), px(u, 3), kSecondary);
            draw_text(dc, w(u.lines[i]), {px(u, 40), y, px(u, 476), y + h},
                      u.fonts.get(FontRole::Body), kInk, DT_LEFT | DT_TOP | DT_WORDBREAK);
        }
        y += h + px(u, 8);
    }
    if (const std::string more = more_notes_text(u.lines.size()); !more.empty()) {
        const int h = line_height(dc, u, more);
        if (draw)
            draw_text(dc, w(more), {px(u, 40), y, px(u, 476), y + h}, u.fonts.get(FontRole::Body),
                      kSecondary, DT_LEFT | DT_TOP | DT_SINGLELINE);
        y += h + px(u, 8);
    }
    return y - px(u, 8);
}

int footer_top(const UpdateWindow& u) {
    return u.notes_bottom + px(u, 14);
}

// Where the failure text wraps: left of the "Close" button, from the buttons' top down.
RECT failure_text_box(const UpdateWindow& u, int width, int height) {
    const int top = footer_top(u) + px(u, 1) + px(u, 18);
    return {px(u, 24), top, width - px(u, 24) - px(u, 110), height - px(u, 8)};
}

int window_style_height(int client_height, DWORD style, DWORD ex) {
    RECT frame{0, 0, 100, client_height};
    ::AdjustWindowRectEx(&frame, style, FALSE, ex);
    return frame.bottom - frame.top;
}

// A failure text taller than the buttons' row makes the window grow (within the work
// area) so all of it shows, and keeps the window on screen.
void fit_failure_text(UpdateWindow& u) {
    RECT client{};
    ::GetClientRect(u.hwnd, &client);
    RECT box = failure_text_box(u, client.right, client.bottom);
    const std::wstring text = w(update_failure_text(u.error, u.program_in_place));
    if (const HDC dc = ::GetDC(u.hwnd)) {
        {
            const win::Selected selected(dc, u.fonts.get(FontRole::Body));
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
                        DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        }
        ::ReleaseDC(u.hwnd, dc);
    }
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(u.hwnd, GWL_STYLE));
    const DWORD ex = static_cast<DWORD>(::GetWindowLongPtrW(u.hwnd, GWL_EXSTYLE));
    const PopupRect work = work_area_near(u.owner);
    const int frame = window_style_height(0, style, ex);
    const int client_height = update_client_height(
        footer_top(u), update_footer_height(u.dpi, box.bottom - box.top), work.height() - frame);
    if (client_height <= client.bottom) return;
    RECT r{};
    ::GetWindowRect(u.hwnd, &r);
    const int width = r.right - r.left, height = client_height + frame;
    PopupPoint at{r.left, r.top};
    if (r.left > -10000) at = clamp_to(work, at, width, height);  // off screen in tests
    ::SetWindowPos(u.hwnd, nullptr, at.x, at.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The phase's message as one text for screen readers, announced when the phase changes: the
// offer, the download's state, or why the update failed.
void show_message_text(const UpdateWindow& u) {
    RECT client{};
    ::GetClientRect(u.hwnd, &client);
    const int top = footer_top(u) + px(u, 1) + px(u, 18);
    std::string text;
    Rect at{px(u, 24), top, client.right - px(u, 24), top + px(u, 20)};
    Live live = Live::Polite;
    if (u.phase == UpdatePhase::Offer) {
        text = "Version " + u.info.version + " is ready\n" +
               update_subtitle(updates::running_version(), u.download_size);
        at = {px(u, 80), px(u, 22), client.right - px(u, 24), px(u, 72) + u.subtitle_extra};
    } else if (u.phase == UpdatePhase::Failed) {
        text = update_failure_text(u.error, u.program_in_place);
        const RECT box = failure_text_box(u, client.right, client.bottom);
        at = {box.left, box.top, box.right, box.bottom};
        live = Live::Assertive;
    } else {
        text = update_status_text(u.phase, u.bytes, u.total);
    }
    show_live_text(::GetDlgItem(u.hwnd, kMessageText), w(text), at, live);
}

void layout_controls(UpdateWindow& u) {
    const int top = footer_top(u) + px(u, 1) + px(u, 18);
    const int right = px(u, 500) - px(u, 24);
    const auto place = [&](int id, int left, int width, bool shown, std::string_view caption) {
        const HWND c = ::GetDlgItem(u.hwnd, id);
        ::SetWindowPos(c, nullptr, left, top, width, px(u, 40), SWP_NOZORDER | SWP_NOACTIVATE);
        ::ShowWindow(c, shown ? SW_SHOWNA : SW_HIDE);
        set_caption(c, w(caption));
    };
    const bool offer = u.phase == UpdatePhase::Offer;
    place(kUpdateNow, right - px(u, 150), px(u, 150), offer, "Update now");
    if (u.phase == UpdatePhase::Failed)
        place(kLater, right - px(u, 100), px(u, 100), true, "Close");
    else
        place(kLater, right - px(u, 150) - px(u, 10) - px(u, 100), px(u, 100), offer, "Later");
    place(kSkip, px(u, 24), px(u, 150), offer, "Skip this version");
    show_message_text(u);
    ::InvalidateRect(u.hwnd, nullptr, FALSE);
}

void paint(HDC dc, const UpdateWindow& u, int width, int height) {
    using namespace colour;
    fill_rect(dc, {0, 0, width, height}, kWhite);
    if (u.icon)
        ::DrawIconEx(dc, px(u, 24), px(u, 24), u.icon.get(), px(u, 40), px(u, 40), 0, nullptr,
                     DI_NORMAL);
    draw_text(dc, w("Version " + u.info.version + " is ready"),
              {px(u, 80), px(u, 22), width - px(u, 24), px(u, 50)}, u.fonts.get(FontRole::Heading),
              kInk, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    const std::wstring subtitle = w(update_subtitle(updates::running_version(), u.download_size));
    if (u.subtitle_extra > 0)
        draw_text(dc, subtitle,
                  {px(u, 80), px(u, 52), width - px(u, 24), px(u, 72) + u.subtitle_extra},
                  u.fonts.get(FontRole::Small), kSecondary, DT_LEFT | DT_TOP | DT_WORDBREAK);
    else
        draw_text(dc, subtitle, {px(u, 80), px(u, 50), width - px(u, 24), px(u, 72)},
                  u.fonts.get(FontRole::Small), kSecondary, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    const int heading = px(u, 92) + u.subtitle_extra;
    draw_text(dc, L"What's new", {px(u, 24), heading, width - px(u, 24), heading + px(u, 20)},
              u.fonts.get(FontRole::BodySemibold), kSecondary, DT_LEFT | DT_TOP | DT_SINGLELINE);
    notes(dc, u, true);

    const int line = footer_top(u);
    fill_rect(dc, {0, line, width, line + px(u, 1)}, kBorder);
    fill_rect(dc, {0, line + px(u, 1), width, height}, kHover);
    const int top = line + px(u, 1) + px(u, 18);
    const Rect status{px(u, 24), top, width - px(u, 24), height - px(u, 8)};
    if (u.phase == UpdatePhase::Failed) {
        const RECT box = failure_text_box(u, width, height);
        draw_text(dc, w(update_failure_text(u.error, u.program_in_place)),
                  {box.left, box.top, box.right, box.bottom}, u.fonts.get(FontRole::Body), kProblem,
                  DT_LEFT | DT_TOP | DT_WORDBREAK);
    } else if (u.phase == UpdatePhase::Installing || u.phase == UpdatePhase::Installed) {
        draw_text(dc, w(update_status_text(u.phase, u.bytes, u.total)),
                  {status.left, top, status.right, top + px(u, 20)}, u.fonts.get(FontRole::Body),
                  kInk, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        const Rect track{status.left, top + px(u, 28), status.right, top + px(u, 36)};
        rounded_rect(dc, track, px(u, 4), kBorder);
        const double f = update_progress_fraction(u.phase, u.bytes, u.total);
        const int fill = std::max(px(u, 8), static_cast<int>(track.width() * f));
        rounded_rect(dc, {track.left, track.top, track.left + fill, track.bottom}, px(u, 4),
                     kAccent);
    }
}

void on_paint(UpdateWindow& u) {
    u.paint_buffer.paint(u.hwnd,
                         [&u](HDC dc, int width, int height) { paint(dc, u, width, height); });
}

void on_draw_item(const DRAWITEMSTRUCT& d, const UpdateWindow& u) {
    const ButtonFace face = button_face(d, u.fonts, colour::kHover);
    const std::wstring caption = window_text(d.hwndItem);
    if (d.CtlID == kUpdateNow) {
        accent_button(face, caption);
    } else if (d.CtlID == kSkip) {
        link_button(face, caption);
    } else {
        plain_button(face, caption);
    }
    focus_rect(d, px(u, 4));
}

void start_install(UpdateWindow& u) {
    u.phase = UpdatePhase::Installing;
    u.total = u.download_size;
    layout_controls(u);
    const HWND hwnd = u.hwnd;
    const std::uint64_t size = u.download_size;
    start_worker([slot = u.slot, hwnd, info = u.info, installed = u.installed_copy, size] {
        const auto failed = updates::install_update(info, installed, [&](std::uint64_t n) {
            ::PostMessageW(hwnd, kUpdateProgress, static_cast<WPARAM>(n),
                           static_cast<LPARAM>(size));
        });
        if (failed) slot->put(*failed);
        ::PostMessageW(hwnd, kUpdateDone, failed ? 0 : 1, 0);
    });
}

void close_with(UpdateWindow& u, UpdateOutcome outcome) {
    u.outcome = outcome;
    ::DestroyWindow(u.hwnd);
}

void on_command(UpdateWindow& u, int id) {
    if (id == kUpdateNow && u.phase == UpdatePhase::Offer) {
        start_install(u);
    } else if (id == kLater && (u.phase == UpdatePhase::Offer || u.phase == UpdatePhase::Failed)) {
        close_with(u, UpdateOutcome::Closed);
    } else if (id == kSkip && u.phase == UpdatePhase::Offer) {
        const std::string version = u.info.version;
        update_settings([&](Settings& s) { s.skip_version = version; });
        close_with(u, UpdateOutcome::Skipped);
    }
}

// Fonts and icon at `dpi`, and the client height, which follows the subtitle and the notes:
// measured before the window exists. A subtitle too long for one line wraps and moves
// everything below it down.
void set_dpi(UpdateWindow& u, int dpi) {
    u.dpi = dpi;
    u.fonts = create_fonts(u.dpi, find_glyph_face());
    u.icon = load_icon(nullptr, kAppIcon, px(u, 40));
    if (const HDC screen = ::GetDC(nullptr)) {
        const std::wstring subtitle =
            w(update_subtitle(updates::running_version(), u.download_size));
        RECT one{0, 0, px(u, 500 - 80 - 24), 0}, all = one;
        {
            const win::Selected selected(screen, u.fonts.get(FontRole::Small));
            ::DrawTextW(screen, L"Y", 1, &one, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
            ::DrawTextW(screen, subtitle.c_str(), static_cast<int>(subtitle.size()), &all,
                        DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        }
        u.subtitle_extra =
            std::max(0, static_cast<int>((all.bottom - all.top) - (one.bottom - one.top)));
        u.notes_bottom = notes(screen, u, false);
        ::ReleaseDC(nullptr, screen);
    }
}

LRESULT CALLBACK update_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* u = reinterpret_cast<UpdateWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
        case WM_NCCREATE:
            u = static_cast<UpdateWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
            u->hwnd = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(u));
            break;
        case WM_CREATE:
            // In the order Tab follows, left to right.
            for (int id : {kSkip, kLater, kUpdateNow})
                create_owner_button(hwnd, id);
            create_live_text(hwnd, kMessageText);
            layout_controls(*u);
            return 0;
        case WM_DPICHANGED:
            if (u) {
                set_dpi(*u, changed_dpi(wp));
                take_suggested_rect(hwnd, lp);
                layout_controls(*u);
                ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
            }
            return 0;
        case WM_GETFONT:
            if (u) return reinterpret_cast<LRESULT>(u->fonts.get(FontRole::Body));
            break;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            if (u) {
                on_paint(*u);
                return 0;
            }
            break;
        case WM_DRAWITEM:
            if (u) {
                on_draw_item(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp), *u);
                return TRUE;
            }
            break;
        case WM_COMMAND:
            if (u && HIWORD(wp) == BN_CLICKED) on_command(*u, LOWORD(wp));
            return 0;
        case kUpdateProgress:
            if (u) {
                u->bytes = static_cast<std::uint64_t>(wp);
                if (lp > 0) u->total = static_cast<std::uint64_t>(lp);
                ::InvalidateRect(hwnd, nullptr, FALSE);
            }
            return 0;
        case kUpdateDone:
            if (!u) return 0;
            if (wp == 1) {
                u->phase = UpdatePhase::Installed;
                u->outcome = UpdateOutcome::HandedOver;
                ::SetTimer(hwnd, kCloseTimer, kCloseAfterMs, nullptr);
            } else {
                u->error = u->slot->take().value_or("");
                const std::string exe = win::exe_path();
                u->program_in_place =
                    exe.empty() ||
                    ::GetFileAttributesW(win::widen(exe).c_str()) != INVALID_FILE_ATTRIBUTES;
                u->phase = UpdatePhase::Failed;
                fit_failure_text(*u);
            }
            layout_controls(*u);
            return 0;
        case WM_TIMER:
            if (u && wp == kCloseTimer) ::DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            // Wakes the loop in show_update_window, which waits in GetMessageW: a window
            // destroyed while handling a sent message would otherwise leave it waiting.
            ::PostMessageW(nullptr, WM_NULL, 0, 0);
            return 0;
        case WM_CLOSE:
            // The install cannot be stopped halfway.
            if (u && u->phase == UpdatePhase::Installing) return 0;
            ::DestroyWindow(hwnd);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

UpdateOutcome show_update_window(HWND owner, const updates::UpdateInfo& info) {
    start_gdiplus();
    if (!register_window_class(kClassName, update_proc, 0)) return UpdateOutcome::Closed;
    UpdateWindow u;
    u.owner = owner;
    u.info = info;
    u.lines = update_note_lines(info.notes);
    u.installed_copy = updates::running_installed_copy();
    u.download_size = updates::download_size(info, u.installed_copy);
    const PopupRect work = work_area_near(owner);
    const RECT work_rect{work.left, work.top, work.right, work.bottom};
    set_dpi(u, monitor_dpi(::MonitorFromRect(&work_rect, MONITOR_DEFAULTTOPRIMARY)));
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD ex = WS_EX_DLGMODALFRAME | (owner ? 0 : WS_EX_TOPMOST);
    RECT frame{0, 0, px(u, 500), footer_top(u) + px(u, 1) + px(u, 76)};
    ::AdjustWindowRectEx(&frame, style, FALSE, ex);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    // Centred over a visible owner, otherwise (the hidden tray window, no owner) on the
    // work area under the cursor; wholly inside that work area either way.
    const PopupRect over = visible_rect(owner).value_or(work);
    const bool offscreen = win::get_env("TESS_OFFSCREEN").has_value();
    PopupPoint at = centre_within(work, over, width, height);
    if (offscreen) at = {-10000, -10000};
    const int x = at.x, y = at.y;

    const HWND hwnd = ::CreateWindowExW(ex, kClassName, L"Tessavo update", style, x, y, width,
                                        height, owner, nullptr, ::GetModuleHandleW(nullptr), &u);
    if (!hwnd) return UpdateOutcome::Closed;
    follow_own_dpi(hwnd, u.dpi);
    if (owner) ::EnableWindow(owner, FALSE);
    if (offscreen) {
        ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    } else {
        ::ShowWindow(hwnd, SW_SHOW);
        ::SetForegroundWindow(hwnd);
        ::SetFocus(::GetDlgItem(hwnd, kUpdateNow));
    }
    MSG m;
    bool quit = false;
    while (::IsWindow(hwnd)) {
        const BOOL got = ::GetMessageW(&m, nullptr, 0, 0);
        if (got == 0) {
            quit = true;  // the opener's loop gets it again below
            break;
        }
        if (got < 0) break;
        if (m.message == WM_KEYDOWN && (m.hwnd == hwnd || ::IsChild(hwnd, m.hwnd))) {
            if (m.wParam == VK_RETURN && u.phase == UpdatePhase::Offer) {
                // Enter means "Update now", unless another button has the focus: then
                // it acts on that one, as Space does.
                const HWND focus = ::GetFocus();
                const int id = focus && ::IsChild(hwnd, focus) ? ::GetDlgCtrlID(focus) : 0;
                on_command(u, id == kLater || id == kSkip ? id : kUpdateNow);
                continue;
            }
            if (m.wParam == VK_ESCAPE &&
                (u.phase == UpdatePhase::Offer || u.phase == UpdatePhase::Failed)) {
                close_with(u, UpdateOutcome::Closed);
                continue;
            }
        }
        if (::IsDialogMessageW(hwnd, &m)) continue;
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
    if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    if (owner) {
        ::EnableWindow(owner, TRUE);
        ::SetForegroundWindow(owner);
    }
    if (quit) ::PostQuitMessage(static_cast<int>(m.wParam));
    return u.outcome;
}

}  // namespace tess::ui
