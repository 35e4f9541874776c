#include "ui/ui_win.hpp"

#include <uxtheme.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "core/entry.hpp"
#include "core/memory.hpp"
#include "core/paths.hpp"
#include "core/roles.hpp"
#include "core/slot.hpp"
#include "core/text.hpp"
#include "core/worker.hpp"
#include "gui/a11y_win.hpp"
#include "gui/icon.hpp"
#include "gui/window_win.hpp"
#include "scan/scan_win.hpp"
#include "setup/update_window_win.hpp"
#include "ui/home_text.hpp"
#include "ui/list_pages_win.hpp"
#include "ui/ui_messages.hpp"
#include "updates/update.hpp"

namespace tess::ui {

namespace {

std::wstring w(std::string_view utf8) {
    return win::widen(utf8);
}

const PageModule& module_of(Page page) {
    if (page == Page::Home) return home_module();
    if (page == Page::Autopilot) return autopilot_module();
    return list_module();
}

// ---- painting ---------------------------------------------------------------------------

void paint_sidebar(UiState& s, HDC dc, const Frame& f) {
    fill_rect(dc, sidebar_rect(f), colour::kInk);
    const Rect icon = sidebar_icon_rect(f);
    if (s.header_icon)
        ::DrawIconEx(dc, icon.left, icon.top, s.header_icon.get(), icon.width(), icon.height(), 0,
                     nullptr, DI_NORMAL);
    draw_text(dc, L"Tessavo", brand_rect(f), s.fonts.get(FontRole::Brand), colour::kWhite,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    const std::wstring tagline = L"Faster PC in one click \u00B7 v" + w(kVersion);
    draw_text(dc, tagline, tagline_rect(f), s.fonts.get(FontRole::Small), colour::kMuted,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

void paint_status(UiState& s, HDC dc) {
    const Rect area = status_area(s);
    if (area.empty() || s.status.empty()) return;
    rounded_rect(dc, inflate(area, 1, 1), scale(10, s.dpi), colour::kWhite, colour::kBorder);
    const bool neutral = s.status_kind == StatusKind::Neutral;
    const HFONT font = s.fonts.get(neutral ? FontRole::Body : FontRole::BodySemibold);
    const std::uint32_t ink = s.status_kind == StatusKind::Success   ? colour::kSuccess
                              : s.status_kind == StatusKind::Problem ? colour::kProblem
                                                                     : colour::kSecondary;
    const std::wstring text = w(s.status);
    const int pad = scale(14, s.dpi);
    Rect r{area.left + pad, area.top + scale(4, s.dpi), area.right - pad,
           area.bottom - scale(4, s.dpi)};
    // Centre the wrapped text vertically: DrawTextW centres single lines only.
    RECT calc = to_rect(r);
    {
        const win::Selected selected(dc, font);
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc,
                    DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    }
    const int h = calc.bottom - calc.top;
    if (h < r.height()) r.top += (r.height() - h) / 2;
    draw_text(dc, text, r, font, ink, DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS);
}

void paint_window(UiState& s, HDC dc, const Frame& f) {
    fill_rect(dc, {0, 0, f.w, f.h}, colour::kContent);
    paint_sidebar(s, dc, f);
    module_of(s.page).paint(s, dc, f);
    paint_status(s, dc);
}

void draw_page_button(UiState& s, const DRAWITEMSTRUCT& d, int page) {
    const Frame f = frame_of(s);
    const Rect r = from_rect(d.rcItem);
    const bool selected = static_cast<int>(s.page) == page;
    const ButtonState st = button_state(d);
    fill_rect(d.hDC, r, colour::kInk);
    if (selected) {
        rounded_rect(d.hDC, r, f.s(8), colour::kSidebarSelected);
        rounded_rect(d.hDC, page_bar_rect(f, r), f.s(2), colour::kAccent);
    } else if (st.hovered) {
        rounded_rect(d.hDC, r, f.s(8), colour::kSidebarHover);
    }
    const PageInfo& info = page_info(page_from_index(page));
    draw_glyph(d.hDC, s.fonts, FontRole::Icons, info.glyph, page_glyph_rect(f, r),
               selected ? colour::kGlyphSelected : colour::kMuted,
               DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    draw_text(d.hDC, w(info.title), page_title_rect(f, r),
              s.fonts.get(selected ? FontRole::BodySemibold : FontRole::Body),
              selected ? colour::kWhite : colour::kDisabled,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    focus_rect(d, f.s(3));
}

std::string_view tray_state_text(bool on) {
    return on ? "On \u2014 click the tray icon for one-click Optimise"
              : "Off \u2014 turn on for warnings and one-click Optimise";
}

void draw_tray_card(UiState& s, const DRAWITEMSTRUCT& d) {
    const Frame f = frame_of(s);
    const Rect r = from_rect(d.rcItem);
    const ButtonState st = button_state(d);
    fill_rect(d.hDC, r, colour::kInk);
    rounded_rect(d.hDC, r, f.s(10), st.hovered ? colour::kSidebarSelected : colour::kSidebarHover);
    draw_text(d.hDC, L"Watch in tray", tray_title_rect(f, r), s.fonts.get(FontRole::BodySemibold),
              colour::kWhite, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_text(d.hDC, w(tray_state_text(s.tray_running)), tray_text_rect(f, r),
              s.fonts.get(FontRole::Small), colour::kMuted,
              DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS);
    draw_switch(d.hDC, tray_switch_rect(f, r), s.tray_running, colour::kTrackOffDark, s.dpi);
    focus_rect(d, f.s(3));
}

void draw_item(UiState& s, const DRAWITEMSTRUCT& d) {
    const int id = static_cast<int>(d.CtlID);
    if (id >= id::kFirstPage && id < id::kFirstPage + kPageCount) {
        draw_page_button(s, d, id - id::kFirstPage);
    } else if (id == id::kTrayCard) {
        draw_tray_card(s, d);
    } else if (!module_of(s.page).draw_item(s, d) && id == id::kRescan) {
        const ButtonFace b = button_face(d, s.fonts, colour::kContent);
        plain_button(b, L"Rescan");
        focus_rect(d, scale(3, s.dpi));
    }
}

// ---- list notifications ---------------------------------------------------------------

LRESULT list_custom_draw(UiState& s, NMLVCUSTOMDRAW& cd) {
    switch (cd.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
        case CDDS_ITEMPREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const auto row = static_cast<std::size_t>(cd.nmcd.dwItemSpec);
            const int column = cd.iSubItem;
            const ListModel& m = s.list_model;
            std::uint32_t ink = colour::kInk;
            FontRole font = FontRole::Body;
            if (column == 0 && row < m.rows.size() && m.rows[row].colour) {
                ink = *m.rows[row].colour;
            } else if (column == m.emphasised) {
                ink = colour::kAccentPressed;
                font = FontRole::BodySemibold;
            } else if (column == m.grey) {
                ink = colour::kSecondary;
            }
            cd.clrText = to_colorref(ink);
            select_item_font(cd.nmcd.hdc, s.fonts.get(font));
            return CDRF_NEWFONT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

void list_item_changed(UiState& s, const NMLISTVIEW& nm) {
    if (!(nm.uChanged & LVIF_STATE)) return;
    if ((nm.uOldState ^ nm.uNewState) & LVIS_STATEIMAGEMASK) {
        if (!s.ticks_posted) {
            s.ticks_posted = true;
            ::PostMessageW(s.window, kMainTicksChanged, 0, 0);
        }
    }
    if ((nm.uNewState & LVIS_SELECTED) && !(nm.uOldState & LVIS_SELECTED) && nm.iItem >= 0) {
        const auto i = static_cast<std::size_t>(nm.iItem);
        if (i < s.list_model.rows.size())
            set_status(s, s.list_model.rows[i].detail, StatusKind::Neutral);
        s.selected_program = history_selection(s, i);
        layout_controls(s);
        repaint(s, status_area(s));
    }
}

// The scan itself, on a worker; kMainProgress and kMainScanDone tell the window.
void launch_scan(HWND window, bool quiet) {
    start_worker([window, quiet] {
        ScanResult result = full_scan(system_scan_probes(), [window](int step) {
            ::PostMessageW(window, kMainProgress, static_cast<WPARAM>(step), 0);
        });
        {
            SharedState& shared = shared_state();
            std::lock_guard lock(shared.mutex);
            shared.scan = std::move(result);
        }
        ::PostMessageW(window, kMainScanDone, quiet ? 1 : 0, 0);
    });
}

// ---- commands and worker messages ----------------------------------------------------------

void rescan(UiState& s) {
    if (!module_of(s.page).command(s, id::kRescan)) start_scan(s, true);
}

// `rescan_done`: a page apply's result, which waits for its rescan, may show too.
void show_pending_status(UiState& s, bool rescan_done) {
    if (auto p = take_pending_status(shared_state(), rescan_done)) set_status(s, p->text, p->kind);
}

// After a page apply: the page that was applied is looked at again, wherever the user is
// now; developer folders have their own scan.
void rescan_applied(UiState& s) {
    if (s.applied_page == Page::DevJunk)
        start_dev_scan(s);
    else
        start_scan(s, true);
}

void on_command(UiState& s, int id) {
    if (id >= id::kFirstPage && id < id::kFirstPage + kPageCount) {
        set_page(s, page_from_index(id - id::kFirstPage));
        return;
    }
    if (id == id::kScanNow || id == id::kScanAgain) {
        home_module().command(s, id);
        return;
    }
    if (id == id::kRescan) {
        rescan(s);
        return;
    }
    if (!module_of(s.page).command(s, id) && id == id::kTrayCard) autopilot_module().command(s, id);
}

void set_level_icon(UiState& s, int level) {
    Icon icon = load_icon(nullptr, level_icon(level), system_icon_size(true, s.dpi));
    ::SendMessageW(s.window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon.get()));
    s.level_icon = std::move(icon);  // the previous one goes once the new one is set
    s.level = level;
}

void on_scan_done(UiState& s) {
    s.busy = false;
    s.scanning = false;
    enable(s, id::kRescan, true);
    if (s.phase == HomePhase::Scanning) {
        s.phase = HomePhase::Proposal;
        stop_spinner(s);
    }
    std::optional<int> level;
    {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        if (shared.scan) level = static_cast<int>(report_level(shared.scan->report.memory));
    }
    if (level) set_level_icon(s, *level);
    layout_controls(s);
    repaint_all(s);
    for (int i = 0; i < 4; ++i)
        repaint_control(s, id::kCardMemory + i);
    fill_page(s);
    show_pending_status(s, true);
}

void on_timer(UiState& s, UINT_PTR id) {
    const Frame f = frame_of(s);
    if (id == timer::kTray) {
        ::KillTimer(s.window, timer::kTray);
        on_tray_timer(s);
    } else if (id == timer::kSpinner) {
        s.spinner_angle = next_spinner_angle(s.spinner_angle);
        repaint(s, progress_layout(f).ring_area);
    } else if (id == timer::kMemory) {
        refresh_autopilot_page(s);
        if (s.phase != HomePhase::Idle || s.page != Page::Home) return;
        const MemoryStatus m = memory_status();
        {
            SharedState& shared = shared_state();
            std::lock_guard lock(shared.mutex);
            shared.memory = m;
        }
        repaint(s, idle_layout(f).memory_line);
    }
}

// The update found by the start-up check, until the window takes it.
Slot<updates::UpdateInfo>& update_slot() {
    static Slot<updates::UpdateInfo> slot;
    return slot;
}

// Automatic, so TESS_NO_UPDATE_CHECK and a skipped version hold; finding nothing and
// failing are both silent.
void start_update_check(HWND window) {
    start_worker([window] {
        updates::CheckResult r = updates::check_for_update(false);
        if (r.kind != updates::CheckKind::Found) return;
        update_slot().put(std::move(r.info));
        ::PostMessageW(window, kMainUpdateFound, 0, 0);
    });
}

// Offers the update; once it is being installed the window goes (and `s` with it), so
// setup can replace the program.
void offer_update(UiState& s) {
    const std::optional<updates::UpdateInfo> info = update_slot().take();
    if (!info) return;
    if (show_update_window(s.window, *info) == UpdateOutcome::HandedOver) ::DestroyWindow(s.window);
}

bool on_app_message(UiState& s, UINT msg, WPARAM wp) {
    switch (msg) {
        case kMainScanDone:
            on_scan_done(s);
            return true;
        case kMainChangesDone:
            s.busy = false;
            rescan_applied(s);
            return true;
        case kMainTicksChanged:
            s.ticks_posted = false;
            ++s.caption_updates;
            update_captions(s);
            return true;
        case kMainProgress:
            s.scan_step = static_cast<int>(wp);
            update_live_texts(s);
            repaint_all(s);
            return true;
        case kMainApproval:
            s.awaiting_approval = wp != 0;
            update_live_texts(s);
            repaint_all(s);
            return true;
        case kMainApplyDone:
            stop_spinner(s);
            s.phase = HomePhase::Done;
            s.busy = false;
            layout_controls(s);
            repaint_all(s);
            start_scan(s, true);
            return true;
        case kMainDevScanDone:
            enable(s, id::kRescan, !s.busy);
            if (s.page == Page::DevJunk) fill_page(s);
            show_pending_status(s, true);
            return true;
        case kMainUpdateFound:
            offer_update(s);  // may destroy the window: touch nothing after
            return true;
        case kMainFocusDone:
        case kMainAutopilotDone:
            show_pending_status(s, false);
            autopilot_flags_changed(s);
            for (int id : {id::kAutopilotSwitch, id::kRunNow, id::kFocus})
                repaint_control(s, id);
            repaint_all(s);
            return true;
        default:
            return false;
    }
}

// ---- creation ---------------------------------------------------------------------------------

// The list's font and its 34-pixel row height at the window's DPI.
void set_list_metrics(HWND list, UiState& s) {
    ::SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(s.fonts.get(FontRole::Body)), FALSE);
    // A one-pixel-wide image list whose only purpose is the row height.
    ImageList rows(::ImageList_Create(1, scale(34, s.dpi), ILC_COLOR32, 1, 0));
    if (rows)
        ::SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(rows.get()));
    s.row_height = std::move(rows);
}

HWND create_list(HWND parent, UiState& s) {
    const HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"",
                                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT |
                                            LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                                        0, 0, 10, 10, parent,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id::kList)),
                                        ::GetModuleHandleW(nullptr), nullptr);
    if (!list) return nullptr;
    ::SetWindowTheme(list, L"Explorer", nullptr);
    const DWORD ex =
        LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER;
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
    set_list_metrics(list, s);
    return list;
}

// Only what the first frame shows: the page and phase the start asked for, fonts, the
// program's own icon and the memory line. Everything slower waits for finish_start.
void on_create(HWND hwnd, const StartOptions& start) {
    UiState* s = attach_state(hwnd, std::make_unique<UiState>());
    s->window = hwnd;
    s->start = start;
    s->dpi = window_dpi(hwnd);
    s->fonts = create_fonts(s->dpi, find_glyph_face());
    s->header_icon = load_icon(nullptr, kAppIcon, sidebar_icon_size(s->dpi));
    refresh_tray_flag(*s);
    {
        const MemoryStatus m = memory_status();
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        shared.memory = m;
    }
    ::SetTimer(hwnd, timer::kMemory, timer::kMemoryMs, nullptr);
    if (start.history) s->page = Page::History;
    layout_controls(*s);
    // The scans' screens and flags show at once; their work starts after the first frame.
    if (start.scan)
        start_scan(*s, false);
    else if (start.history)
        start_scan(*s, true);
    fill_page(*s);  // the page's status line and captions; its rows wait for the list
}

// The faces of the controls that do not exist yet, where layout put them.
void paint_pending_controls(UiState& s, HDC dc) {
    for (const auto& [id, r] : s.pending_controls) {
        if (id == id::kList) continue;  // the list comes with its rows
        DRAWITEMSTRUCT d{};
        d.CtlType = ODT_BUTTON;
        d.CtlID = static_cast<UINT>(id);
        d.itemAction = ODA_DRAWENTIRE;
        const auto off = s.pending_disabled.find(id);
        d.itemState = off != s.pending_disabled.end() && off->second ? ODS_DISABLED : 0;
        d.hDC = dc;
        d.rcItem = {0, 0, r.width(), r.height()};
        const int saved = ::SaveDC(dc);
        ::SetViewportOrgEx(dc, r.left, r.top, nullptr);
        ::IntersectClipRect(dc, 0, 0, r.width(), r.height());
        draw_item(s, d);
        ::RestoreDC(dc, saved);
    }
}

// With TESS_TRACE set, says how long after the process started `what` happened.
void trace_since_start(const char* what) {
    if (!win::get_env("TESS_TRACE")) return;
    FILETIME created{}, unused{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &unused, &unused, &unused);
    const auto ticks = [](const FILETIME& f) {
        return (static_cast<std::uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    };
    std::fprintf(stderr, "%s: %.1f ms after the process started\n", what,
                 static_cast<double>(win::filetime_now() - ticks(created)) / 10'000.0);
    std::fflush(stderr);
}

// After the first frame: the common controls, GDI+, the child controls (the same faces
// the first frame drew, now live), the page's rows and the start's background work.
void finish_start(UiState& s) {
    if (s.controls_ready) return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    start_gdiplus();
    const HWND hwnd = s.window;
    // Controls made and placed in a window that shows cost a repaint each: the first frame
    // stays on screen until they are all in place.
    ::SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
    // Buttons in Tab order; the list comes after the buttons above it.
    for (int id : button_ids()) {
        create_owner_button(hwnd, id);
        if (id == id::kSelectAll) s.list = create_list(hwnd, s);
    }
    for (int id :
         {id::kStatusText, id::kHeadlineText, id::kScoreText, id::kStepText, id::kDoneText})
        create_live_text(hwnd, id);
    for (int i = 0; i < kPageCount; ++i)
        set_caption(control(s, id::kFirstPage + i), w(page_info(page_from_index(i)).title));
    set_caption(control(s, id::kRescan), L"Rescan");
    set_caption(control(s, id::kScanNow), L"Scan now");
    s.controls_ready = true;
    for (const auto& [id, off] : s.pending_disabled)
        ::EnableWindow(control(s, id), off ? FALSE : TRUE);
    s.pending_controls.clear();
    s.pending_disabled.clear();
    refresh_tray_flag(s);
    fill_page(s);
    layout_controls(s);
    ::SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
    // Everything again: the controls, and the shapes smooth now that GDI+ runs.
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    if (const std::optional<bool> quiet = std::exchange(s.pending_scan, std::nullopt))
        launch_scan(hwnd, *quiet);
    start_focus_load(s);
    start_update_check(hwnd);
    if (s.start.autopilot) ::PostMessageW(hwnd, WM_COMMAND, id::kFirstPage + 6, 0);
    trace_since_start("interactive");
}

// Fonts, icons and every layout follow the monitor's DPI; the window takes the rectangle
// Windows suggests.
void on_dpi_changed(UiState& s, int dpi, LPARAM suggested) {
    s.dpi = dpi;
    s.fonts = create_fonts(dpi, find_glyph_face());
    s.header_icon = load_icon(nullptr, kAppIcon, sidebar_icon_size(dpi));
    if (s.list) set_list_metrics(s.list, s);
    if (s.level >= 0) set_level_icon(s, s.level);
    take_suggested_rect(s.window, suggested);
    layout_controls(s);
    ::RedrawWindow(s.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void on_paint(UiState& s) {
    s.paint_buffer.paint(s.window, [&s](HDC dc, int width, int height) {
        paint_window(s, dc, Frame{width, height, s.dpi});
        if (!s.controls_ready) paint_pending_controls(s, dc);
    });
    static bool traced = false;
    if (!std::exchange(traced, true)) trace_since_start("first paint");
}

LRESULT CALLBACK main_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_GETMINMAXINFO) {
        const Size min = minimum_size(window_dpi(hwnd));
        auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
        mm->ptMinTrackSize = {min.w, min.h};
        return 0;
    }
    if (msg == WM_CREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
        on_create(hwnd, *static_cast<const StartOptions*>(cs->lpCreateParams));
        return 0;
    }
    UiState* s = state_of(hwnd);
    if (msg == WM_NCDESTROY) {
        detach_state<UiState>(hwnd);  // frees it
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    if (!s) return ::DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_SIZE:
            s->paint_buffer.resize();
            layout_controls(*s);
            ::InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_DPICHANGED:
            on_dpi_changed(*s, changed_dpi(wp), lp);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(s->fonts.get(FontRole::Body));
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            on_paint(*s);
            return 0;
        case WM_DRAWITEM:
            draw_item(*s, *reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wp) == BN_CLICKED) on_command(*s, LOWORD(wp));
            return 0;
        case WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
            if (hdr->idFrom != static_cast<UINT_PTR>(id::kList)) break;
            if (hdr->code == LVN_ITEMCHANGED)
                list_item_changed(*s, *reinterpret_cast<const NMLISTVIEW*>(lp));
            else if (hdr->code == NM_CUSTOMDRAW)
                return list_custom_draw(*s, *reinterpret_cast<NMLVCUSTOMDRAW*>(lp));
            return 0;
        }
        case WM_TIMER:
            on_timer(*s, wp);
            return 0;
        case WM_SETTINGCHANGE:
            // Animations switched on or off while a progress screen shows.
            if (wp == SPI_SETCLIENTAREAANIMATION &&
                (s->phase == HomePhase::Scanning || s->phase == HomePhase::Optimising)) {
                start_spinner(*s);
                repaint_all(*s);
            }
            break;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            if (on_app_message(*s, msg, wp)) return 0;
            break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

// ---- operations ---------------------------------------------------------------------------

UiState* state_of(HWND window) {
    return window_state<UiState>(window);
}

Frame frame_of(const UiState& s) {
    RECT r{};
    ::GetClientRect(s.window, &r);
    return {r.right, r.bottom, s.dpi};
}

HWND control(const UiState& s, int id) {
    return ::GetDlgItem(s.window, id);
}

void repaint(const UiState& s, Rect r) {
    if (r.empty()) return;
    const RECT rc = to_rect(r);
    ::InvalidateRect(s.window, &rc, FALSE);
}

void repaint_all(const UiState& s) {
    ::InvalidateRect(s.window, nullptr, FALSE);
}

void repaint_control(const UiState& s, int id) {
    if (const HWND c = control(s, id)) ::InvalidateRect(c, nullptr, FALSE);
}

void set_page(UiState& s, Page page) {
    s.page = page;
    s.selected_program.reset();
    for (int i = 0; i < kPageCount; ++i)
        repaint_control(s, id::kFirstPage + i);
    repaint_control(s, id::kTrayCard);
    layout_controls(s);
    repaint_all(s);
    fill_page(s);
}

void set_status(UiState& s, std::string_view text, StatusKind kind) {
    s.status.assign(text);
    s.status_kind = kind;
    update_live_texts(s);
    repaint(s, inflate(status_area(s), 2, 2));
}

void update_live_texts(UiState& s) {
    // Only a status line that shows is read: another page's texts wait until it opens.
    const Rect area = status_area(s);
    const HWND status = control(s, id::kStatusText);
    show_live_text(status, area.empty() ? std::wstring() : w(s.status), area,
                   s.status_kind == StatusKind::Problem ? Live::Assertive : Live::Polite);
    home_live_texts(s, frame_of(s));
}

Rect status_area(const UiState& s) {
    const Frame f = frame_of(s);
    if (s.page == Page::Home)
        return s.phase == HomePhase::Proposal ? proposal_layout(f).status : Rect{};
    return page_layout(f, s.page).status;
}

void start_scan(UiState& s, bool quiet) {
    if (s.busy) return;
    s.busy = true;
    s.scanning = true;
    enable(s, id::kRescan, false);
    if (quiet) {
        set_status(s, "Rescanning\u2026", StatusKind::Neutral);
    } else {
        s.phase = HomePhase::Scanning;
        s.scan_step = 0;
        start_spinner(s);
        layout_controls(s);
        repaint_all(s);
    }
    update_captions(s);
    if (!s.controls_ready) {
        s.pending_scan = quiet;  // it starts once the first frame is on screen
        return;
    }
    launch_scan(s.window, quiet);
}

void start_spinner(UiState& s) {
    s.spinning = animations_on();
    if (s.spinning)
        ::SetTimer(s.window, timer::kSpinner, timer::kSpinnerMs, nullptr);
    else
        ::KillTimer(s.window, timer::kSpinner);
}

void stop_spinner(UiState& s) {
    s.spinning = false;
    ::KillTimer(s.window, timer::kSpinner);
}

void refresh_tray_flag(UiState& s) {
    s.tray_running = ::FindWindowW(kTrayClass, nullptr) != nullptr;
    const std::string text = std::string("Watch in tray: ") + (s.tray_running ? "on" : "off");
    set_caption(control(s, id::kTrayCard), w(text));
    set_toggle(control(s, id::kTrayCard), Toggle::Switch, s.tray_running);
    repaint_control(s, id::kTrayCard);
}

namespace {

// The control's own WS_VISIBLE: IsWindowVisible says false for every control of a window
// that does not show (yet, or while its redraw is off).
bool shown(HWND c) {
    return c && (::GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE) != 0;
}

}  // namespace

void place(UiState& s, int id, Rect r) {
    const HWND c = id == id::kList ? s.list : control(s, id);
    if (!c) {
        if (s.controls_ready) return;
        if (r.empty())
            s.pending_controls.erase(id);
        else
            s.pending_controls[id] = r;
        return;
    }
    if (r.empty()) {
        if (shown(c)) {
            // Focus on a control about to hide would leave Tab nowhere: move it on first.
            if (::GetFocus() == c) ::SetFocus(s.window);
            ::ShowWindow(c, SW_HIDE);
        }
        return;
    }
    ::SetWindowPos(c, nullptr, r.left, r.top, r.width(), r.height(),
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void enable(UiState& s, int id, bool on) {
    if (const HWND c = control(s, id))
        ::EnableWindow(c, on ? TRUE : FALSE);
    else if (!s.controls_ready)
        s.pending_disabled[id] = !on;
}

void layout_controls(UiState& s) {
    const Frame f = frame_of(s);
    if (!s.controls_ready) s.pending_controls.clear();
    for (int i = 0; i < kPageCount; ++i)
        place(s, id::kFirstPage + i, page_button_rect(f, i));
    place(s, id::kTrayCard, tray_card_rect(f));
    // Page controls: hidden unless the page shows them.
    for (int id : button_ids()) {
        if (id == id::kTrayCard || (id >= id::kFirstPage && id < id::kFirstPage + kPageCount))
            continue;
        if (shown(control(s, id))) place(s, id, {});
    }
    const bool list = shows_list(s.page, s.phase);
    if (s.page == Page::Home) {
        const ProposalLayout p = proposal_layout(f);
        place(s, id::kList, list ? p.list : Rect{});
        place(s, id::kRescan, shows_rescan(s.page, s.phase) ? p.rescan : Rect{});
    } else {
        const PageLayout p = page_layout(f, s.page);
        place(s, id::kList, list ? p.list : Rect{});
        place(s, id::kRescan, shows_rescan(s.page, s.phase) ? p.rescan : Rect{});
    }
    enable(s, id::kRescan, !s.busy);
    module_of(s.page).layout(s, f);
    fit_columns(s);
    update_live_texts(s);
}

void fit_columns(UiState& s) {
    if (!s.list || s.list_model.columns.empty()) return;
    RECT r{};
    ::GetClientRect(s.list, &r);
    const std::vector<int> widths =
        ui::fit_columns(s.list_model.columns, s.dpi, r.right, ::GetSystemMetrics(SM_CXVSCROLL));
    for (std::size_t i = 0; i < widths.size(); ++i)
        ::SendMessageW(s.list, LVM_SETCOLUMNWIDTH, i, widths[i]);
}

void paint_page_header(UiState& s, HDC dc, const Frame& f) {
    const PageInfo& info = page_info(s.page);
    const PageLayout l = page_layout(f, s.page);
    draw_text(dc, w(info.title), l.title, s.fonts.get(FontRole::Heading), colour::kInk,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_text(dc, w(info.description), l.description, s.fonts.get(FontRole::Body),
              colour::kSecondary, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_END_ELLIPSIS);
    std::optional<MemoryStatus> m;
    {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        if (shared.scan) m = shared.scan->report.memory;
    }
    if (!m) return;
    const Rect pill = l.memory_pill;
    rounded_rect(dc, pill, f.s(9), colour::kWhite, colour::kBorder);
    const int cy = pill.top + pill.height() / 2;
    fill_circle(dc, pill.left + f.s(9), cy, f.s(5), level_colour(report_level(*m)));
    draw_text(dc, w(memory_pill_text(*m)),
              {pill.left + f.s(20), pill.top, pill.right - f.s(8), pill.bottom},
              s.fonts.get(FontRole::Body), colour::kInk,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

HWND create_main_window(const StartOptions& start, bool offscreen, bool first_frame_only) {
    if (!register_window_class(kMainClass, main_proc, 0)) return nullptr;
    const int dpi = monitor_dpi(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY));
    const Size size = window_size(dpi);
    const int x = offscreen ? kOffscreen : CW_USEDEFAULT;
    const int y = offscreen ? kOffscreen : CW_USEDEFAULT;
    const HWND hwnd = ::CreateWindowExW(
        0, kMainClass, L"Tessavo", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x, y, size.w, size.h,
        nullptr, nullptr, ::GetModuleHandleW(nullptr), const_cast<StartOptions*>(&start));
    if (!hwnd) return nullptr;
    follow_own_dpi(hwnd, dpi);
    ::ShowWindow(hwnd, offscreen ? SW_SHOWNOACTIVATE : SW_SHOW);
    // The first frame now (off-screen, showing invalidates nothing), then the rest.
    ::InvalidateRect(hwnd, nullptr, FALSE);
    ::UpdateWindow(hwnd);
    ::GdiFlush();
    if (!first_frame_only) finish_main_window(hwnd);
    return hwnd;
}

void finish_main_window(HWND window) {
    if (UiState* s = state_of(window)) finish_start(*s);
}

namespace {

// Takes the single-instance name once process `pid` has let go of it (it ends, or frees
// the name), within kAfterUpdateWaitMs; false when it never does.
// Asks the main window of another process started from this executable's folder to close:
// that copy of the program was just replaced, so it runs the old version.
void close_old_main_window_beside() {
    const std::string exe = win::exe_path();
    HWND h = nullptr;
    while ((h = ::FindWindowExW(nullptr, h, kMainClass, nullptr)) != nullptr) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        if (pid == ::GetCurrentProcessId()) continue;
        const win::unique_handle process(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        wchar_t image[MAX_PATH];
        DWORD size = MAX_PATH;
        if (process && ::QueryFullProcessImageNameW(process.get(), 0, image, &size) &&
            same_path(parent_path(win::narrow(image, size)), parent_path(exe)))
            ::PostMessageW(h, WM_CLOSE, 0, 0);
    }
}

bool wait_for_predecessor(std::uint32_t pid, win::unique_handle& mutex) {
    const win::unique_handle old(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    const ULONGLONG deadline = ::GetTickCount64() + kAfterUpdateWaitMs;
    bool asked = false;
    while (true) {
        ::SetLastError(0);
        mutex.reset(::CreateMutexW(nullptr, FALSE, kMainMutex));
        if (mutex && ::GetLastError() != ERROR_ALREADY_EXISTS) return true;
        // Our own handle would keep the name alive.
        mutex.reset();
        if (::GetTickCount64() >= deadline) return false;
        // The replaced process has gone (a tray watch that updated) and still the name is
        // held: by the main window of the same old copy, which must not stay.
        if (!asked && (!old || ::WaitForSingleObject(old.get(), 0) == WAIT_OBJECT_0)) {
            close_old_main_window_beside();
            asked = true;
        }
        if (old)
            ::WaitForSingleObject(old.get(), 100);
        else
            ::Sleep(100);
    }
}

}  // namespace

void run_main_window(const std::vector<std::string>& args) {
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    // Held until the process ends: a second start finds it and hands over to this one.
    static win::unique_handle mutex;
    const StartOptions start = start_options(args);
    if (start.after_update) {
        // The replaced program still holds the name while its window closes: bringing
        // that window back would leave the old version running, so this one waits.
        if (!wait_for_predecessor(*start.after_update, mutex)) {
            if (!win::get_env("TESS_OFFSCREEN"))
                ::MessageBoxW(nullptr, win::widen(kPredecessorStayed).c_str(), L"Tessavo",
                              MB_ICONERROR);
            return;
        }
    } else {
        const HANDLE h = ::CreateMutexW(nullptr, FALSE, kMainMutex);
        const DWORD created = ::GetLastError();
        mutex.reset(h);
        if (created == ERROR_ALREADY_EXISTS) {
            // The first copy may not have its window yet; then this one simply ends.
            if (const HWND first = ::FindWindowW(kMainClass, nullptr)) {
                ::ShowWindow(first, SW_RESTORE);
                ::SetForegroundWindow(first);
            }
            return;
        }
    }
    const HWND hwnd = create_main_window(start, win::get_env("TESS_OFFSCREEN").has_value());
    if (!hwnd) return;

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (::IsDialogMessageW(hwnd, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace tess::ui

namespace tess {

void run_main_window() {
    ui::run_main_window(win::command_line_args());
}

}  // namespace tess
