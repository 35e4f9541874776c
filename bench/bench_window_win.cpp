// Start-up and repaint figures of the main window, beside a bare Win32 window.
//   tess_bench_window bare          ms from process start to the end of a bare window's
//                                   first WM_PAINT
//   tess_bench_window repaint [N]   per page, the median ms of N full repaints of the main
//                                   window at 1140 x 780 (in this process, off-screen), with
//                                   its controls and of the window alone
//   tess_bench_window fill [N]      the median ms of N fills of the Apps page with 2,000
//                                   process groups and of the Developer junk page with
//                                   5,000 folders and of History with 10,000 journal entries
//                                   (synthetic results), beside the same rows' texts put into
//                                   a bare list view with redraw off
// Tessavo.exe itself prints its start-up figure with TESS_TRACE set; scripts/bench-window.sh
// runs all three and prints them side by side.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/log.hpp"
#include "ui/list_pages_win.hpp"
#include "ui/ui_win.hpp"

namespace {

double ms_since_process_start() {
    FILETIME created{}, unused{}, now{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &unused, &unused, &unused);
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& f) {
        return (static_cast<std::uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    };
    return static_cast<double>(ticks(now) - ticks(created)) / 10'000.0;
}

bool g_quit_after_paint = true;

// Paints the way the main window does (a memory bitmap, then one BitBlt), with one fill.
LRESULT CALLBACK bare_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        const HDC dc = ::BeginPaint(hwnd, &ps);
        RECT r{};
        ::GetClientRect(hwnd, &r);
        const HDC mem = ::CreateCompatibleDC(dc);
        const HBITMAP bmp = ::CreateCompatibleBitmap(dc, r.right, r.bottom);
        const HGDIOBJ old = ::SelectObject(mem, bmp);
        ::FillRect(mem, &r, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::BitBlt(dc, 0, 0, r.right, r.bottom, mem, 0, 0, SRCCOPY);
        ::SelectObject(mem, old);
        ::DeleteObject(bmp);
        ::DeleteDC(mem);
        ::EndPaint(hwnd, &ps);
        if (g_quit_after_paint) {
            std::printf("%.1f\n", ms_since_process_start());
            ::PostQuitMessage(0);
        }
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

HWND bare_window() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = bare_proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TessBenchBare";
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    ::RegisterClassW(&wc);
    const HWND hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"Bare", WS_OVERLAPPEDWINDOW, -10000,
                                        -10000, 1140, 780, nullptr, nullptr, wc.hInstance, nullptr);
    ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    // Off-screen, showing invalidates nothing: ask for the paint as the main window's
    // layout does.
    ::InvalidateRect(hwnd, nullptr, FALSE);
    ::UpdateWindow(hwnd);
    return hwnd;
}

double median_redraw(HWND hwnd, int n, bool children = true) {
    std::vector<double> times;
    for (int i = 0; i < n; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        ::RedrawWindow(hwnd, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_UPDATENOW | (children ? RDW_ALLCHILDREN : 0));
        const auto t1 = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int bare() {
    bare_window();
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&msg);
    return 0;
}

void pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&msg);
}

int repaint(int n) {
    using namespace tess::ui;
    const HWND hwnd = create_main_window({}, true);
    if (!hwnd) return 1;
    UiState& s = *state_of(hwnd);
    struct View {
        const char* name;
        Page page;
        HomePhase phase;
    };
    const View views[] = {
        {"home (idle)", Page::Home, HomePhase::Idle},
        {"home (scanning)", Page::Home, HomePhase::Scanning},
        {"junk files", Page::Junk, HomePhase::Idle},
        {"developer junk", Page::DevJunk, HomePhase::Idle},
        {"apps using memory", Page::Apps, HomePhase::Idle},
        {"start with windows", Page::Startup, HomePhase::Idle},
        {"background services", Page::Services, HomePhase::Idle},
        {"autopilot & focus", Page::Autopilot, HomePhase::Idle},
        {"history & undo", Page::History, HomePhase::Idle},
    };
    g_quit_after_paint = false;
    const HWND floor = bare_window();
    pump();
    std::printf("%s\t%.2f\t%.2f\n", "bare window (floor)", median_redraw(floor, n),
                median_redraw(floor, n, false));
    ::DestroyWindow(floor);
    for (const View& v : views) {
        s.phase = v.phase;
        set_page(s, v.page);
        pump();
        std::printf("%s\t%.2f\t%.2f\n", v.name, median_redraw(hwnd, n),
                    median_redraw(hwnd, n, false));
    }
    ::DestroyWindow(hwnd);
    return 0;
}

template <class F>
double median_ms(int n, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < n; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        pump();
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The baseline: a bare list view like the window's, given the same rows' texts with redraw
// off, as the control's own floor. (With redraw left on, Wine's list view takes seconds
// for rows in these numbers.)
double naive_fill(HWND parent, const std::vector<tess::ui::ListRow>& rows, std::size_t columns,
                  int n) {
    const HWND list =
        ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 264, 112, 848,
                          500, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                   LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (std::size_t c = 0; c < columns; ++c) {
        LVCOLUMNW col{};
        col.mask = LVCF_WIDTH | LVCF_SUBITEM;
        col.cx = 150;
        col.iSubItem = static_cast<int>(c);
        ::SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&col));
    }
    const double ms = median_ms(n, [&] {
        ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            std::wstring text = tess::win::widen(rows[r].cells[0]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(r);
            item.pszText = text.data();
            const auto at = static_cast<int>(
                ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
            for (std::size_t c = 1; c < rows[r].cells.size(); ++c) {
                text = tess::win::widen(rows[r].cells[c]);
                LVITEMW sub{};
                sub.iSubItem = static_cast<int>(c);
                sub.pszText = text.data();
                ::SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
            }
        }
        ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        ::UpdateWindow(list);
    });
    ::DestroyWindow(list);
    return ms;
}

int fill(int n) {
    using namespace tess;
    using namespace tess::ui;
    const HWND hwnd = create_main_window({}, true);
    if (!hwnd) return 1;
    UiState& s = *state_of(hwnd);
    ScanResult scan;
    for (int i = 0; i < 2000; ++i) {
        AppGroup a;
        a.display_name = "app-" + std::to_string(i);
        a.friendly_name = "A synthetic program number " + std::to_string(i);
        a.targets = {{static_cast<std::uint32_t>(4000 + i), a.display_name + ".exe", 1}};
        a.process_count = 1 + i % 7;
        a.private_bytes = (2000ull - i) * 1024 * 1024;
        a.working_set = a.private_bytes / 2;
        scan.apps.push_back(std::move(a));
    }
    std::vector<DevFolder> dev;
    for (int i = 0; i < 5000; ++i) {
        DevFolder f;
        f.project_name = "project-" + std::to_string(i);
        f.name = "node_modules";
        f.path = "C:\\src\\" + f.project_name + "\\node_modules";
        f.bytes = static_cast<std::uint64_t>(i % 977) * 1024 * 1024;
        f.project_age_days = static_cast<std::uint32_t>(i % 400);
        dev.push_back(std::move(f));
    }
    // History: every kind of change, a few failed, some undone with their undo entries.
    const std::uint64_t now = win::filetime_now();
    for (std::uint64_t id = 1; id <= 10'000; ++id) {
        JournalEntry e;
        e.id = id;
        e.time = now - (10'001 - id) * 600 * 10'000'000ull;
        switch (id % 5) {
            case 0:
                e.action = KillProcesses{std::to_string(1 + id % 3) + " Gradle daemons", {}};
                break;
            case 1:
                e.action = SetServiceStart{"svc" + std::to_string(id),
                                           "Service " + std::to_string(id), 3, true};
                break;
            case 2:
                e.action =
                    SetStartupEnabled{StartupLocation::HkcuRun, "App " + std::to_string(id), false};
                break;
            case 3:
                e.action = CleanJunk{"user_temp", "Temporary files"};
                break;
            default:
                e.action = DeleteDevFolder{"C:\\src\\p" + std::to_string(id) + "\\node_modules",
                                           "node_modules in p" + std::to_string(id)};
        }
        e.ok = id % 17 != 0;
        e.message = e.ok ? "done" : "access denied (needs admin)";
        if (id % 50 == 1 && id > 1) {
            e.undo_of = id - 1;
            scan.journal[id - 2].undone = true;
        }
        scan.journal.push_back(std::move(e));
    }
    const std::vector<ListRow> app_list = app_rows(scan.apps);
    const std::vector<ListRow> dev_list = dev_rows(dev);
    const std::vector<ListRow> history_list = journal_rows(scan.journal, local_stamp);
    {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        shared.scan = std::move(scan);
        shared.dev = std::move(dev);
    }
    struct Case {
        const char* name;
        Page page;
        const std::vector<ListRow>* rows;
    };
    const Case cases[] = {{"apps, 2000 groups", Page::Apps, &app_list},
                          {"developer junk, 5000 folders", Page::DevJunk, &dev_list},
                          {"history, 10000 entries", Page::History, &history_list}};
    for (const Case& c : cases) {
        set_page(s, c.page);
        pump();
        const double page = median_ms(n, [&] { fill_page(s); });
        const double bare = naive_fill(hwnd, *c.rows, page_columns(c.page).columns.size(), n);
        std::printf("%s\t%.1f\t%.1f\n", c.name, page, bare);
    }
    ::DestroyWindow(hwnd);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"bare") return bare();
    if (mode == L"repaint") return repaint(argc > 2 ? std::max(1, _wtoi(argv[2])) : 20);
    if (mode == L"fill") return fill(argc > 2 ? std::max(1, _wtoi(argv[2])) : 5);
    std::fprintf(stderr, "usage: tess_bench_window bare | repaint [N] | fill [N]\n");
    return 2;
}
