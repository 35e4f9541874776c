// Pictures of the tray watch's windows for scripts/screens.sh: every toast kind (shown in
// this process, as the tray watch shows them, with the program's icons linked in) and the
// quick panel of the real Tessavo.exe in each mode, driven through its messages and buttons.
//   tess-tray-shots.exe OUT_FOLDER        (run with TESS_DATA_DIR set to a throwaway folder)
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "core/win.hpp"
#include "support/uidriver.hpp"
#include "tray/panel.hpp"
#include "tray/panel_win.hpp"
#include "tray/toast_win.hpp"
#include "tray/tray.hpp"
#include "tray/tray_messages.hpp"

namespace ui = tess::uidriver;

namespace {

void shot(ui::Window w, const std::string& folder, const std::string& name) {
    const auto image = ui::capture(w, ui::CaptureArea::window);
    if (image && ui::save_png(*image, folder + "\\" + name + ".png"))
        std::printf("screens: %s.png\n", name.c_str());
    else
        std::fprintf(stderr, "screens: no picture of %s\n", name.c_str());
}

void toasts(const std::string& folder) {
    const HWND owner = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                         ::GetModuleHandleW(nullptr), nullptr);
    const tess::Toast samples[] = {
        {"Focus mode is on", "Focus mode is on: 3 background programs in efficiency mode.", "",
         tess::ToastKind::None},
        {"Memory is almost full",
         "Memory pressure: Critical (24.0 GB committed on 16.0 GB of RAM, 150%). Biggest: chrome "
         "(3.0 GB), Code (1.2 GB), java (900 MB).",
         "Optimise", tess::ToastKind::OpenPanel},
        *tess::on_update_checked(false, tess::updates::CheckKind::Found, "0.6.0", "").toast,
        {"Autopilot freed 1.5 GB",
         "Deleted 312 MB of junk files; closed Gradle daemon (1.2 GB); left Vite dev server (shop) "
         "(used in the last 30 minutes) running",
         "See details", tess::ToastKind::OpenHistory},
    };
    for (const tess::Toast& t : samples) {
        tess::show_toast(owner, t);
        // On screen and painted by this thread before the picture: the driver cannot wait
        // for a paint on the thread that calls it.
        ::SetWindowPos(tess::toast_window(), nullptr, 20, 20, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ui::pump_messages(300);
        shot(reinterpret_cast<ui::Window>(tess::toast_window()), folder,
             "toast-kind" + std::to_string(static_cast<int>(t.kind)));
    }
    tess::close_toast();
    ::DestroyWindow(owner);
}

// The quick panel open with a toast (the one its Focus row raises) on screen, pictured
// together where they stand: the toast stacks above the panel.
void toast_above_panel(const std::string& folder) {
    ::SetEnvironmentVariableW(L"TESS_OFFSCREEN", nullptr);
    ::SetEnvironmentVariableW(L"TESS_DRY_RUN", L"1");
    tess::register_panel_class(::GetModuleHandleW(nullptr));
    const HWND owner = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                         ::GetModuleHandleW(nullptr), nullptr);
    tess::PanelOwner po;
    po.owner = owner;
    po.toggle_focus = [] {};
    po.focus_is_on = [] { return false; };
    po.focus_summary = [] { return std::string(); };
    tess::open_quick_panel(po);
    tess::show_toast(
        owner, {"Focus mode is on", "Focus mode is on: 3 background programs in efficiency mode.",
                "", tess::ToastKind::None});
    ui::pump_messages(600);
    const HWND windows[] = {tess::quick_panel_window(), tess::toast_window()};
    RECT all{};
    std::optional<ui::Image> images[2];
    RECT rects[2]{};
    for (int i = 0; i < 2; ++i) {
        if (!windows[i]) continue;
        ::GetWindowRect(windows[i], &rects[i]);
        ::UnionRect(&all, &all, &rects[i]);
        if (auto image =
                ui::capture(reinterpret_cast<ui::Window>(windows[i]), ui::CaptureArea::window))
            images[i] = std::move(*image);
    }
    if (images[0] && images[1]) {
        // A margin of desktop around the two, at their places on the screen.
        const int pad = 16;
        ui::Image both{all.right - all.left + 2 * pad, all.bottom - all.top + 2 * pad, {}};
        both.pixels.assign(static_cast<std::size_t>(both.width) * both.height, 0xFF334155u);
        for (int i = 0; i < 2; ++i)
            for (int y = 0; y < images[i]->height; ++y)
                for (int x = 0; x < images[i]->width; ++x) {
                    const int bx = rects[i].left - all.left + pad + x;
                    const int by = rects[i].top - all.top + pad + y;
                    if (bx >= 0 && by >= 0 && bx < both.width && by < both.height)
                        both.pixels[static_cast<std::size_t>(by) * both.width + bx] =
                            images[i]->at(x, y);
                }
        if (ui::save_png(both, folder + "\\toast-above-panel.png"))
            std::printf("screens: toast-above-panel.png\n");
    } else {
        std::fprintf(stderr, "screens: no picture of the toast above the panel\n");
    }
    tess::close_toast();
    tess::close_quick_panel_now();
    ui::pump_messages(100);
    ::DestroyWindow(owner);
    ::SetEnvironmentVariableW(L"TESS_OFFSCREEN", L"1");
}

struct Child {
    tess::win::unique_handle process;
    DWORD pid = 0;
};

Child start(const std::wstring& command) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = command;
    Child c;
    if (::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                         &pi)) {
        c.process.reset(pi.hProcess);
        const tess::win::unique_handle thread(pi.hThread);
        c.pid = pi.dwProcessId;
    }
    return c;
}

bool wait_caption(ui::Window panel, int id, const std::string& want, int seconds = 30) {
    for (int i = 0; i < seconds * 20; ++i) {
        const auto c = ui::find_control(panel, id);
        if (c && c->caption == want) return true;
        ::Sleep(50);
    }
    return false;
}

ui::Window open_panel(HWND tray, DWORD pid) {
    ::PostMessageW(tray, tess::kTrayIcon, 1, NIN_SELECT);
    const auto panel = ui::wait_window({"TessavoPanel", std::nullopt, pid, true}, 10'000);
    return panel ? *panel : 0;
}

void panel_modes(const std::string& folder) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir = self;
    dir = dir.substr(0, dir.find_last_of(L'\\'));
    // A background helper the proposal offers to close: this program, idle, under its name.
    const std::wstring helper = dir + L"\\xboxpctray.exe";
    ::CopyFileW(self, helper.c_str(), FALSE);
    Child idle = start(L"\"" + helper + L"\" --idle");
    ::SetEnvironmentVariableW(L"TESS_OFFSCREEN", L"1");
    ::SetEnvironmentVariableW(L"TESS_DRY_RUN", L"1");  // the apply only shows its steps
    ::SetEnvironmentVariableW(L"TESS_NO_UPDATE_CHECK", L"1");
    Child agent = start(L"\"" + dir + L"\\Tessavo.exe\" agent");
    const auto tray = ui::wait_window({"TessavoTray", std::nullopt, agent.pid, false});
    if (tray) {
        const HWND tray_window = reinterpret_cast<HWND>(*tray);
        if (const ui::Window panel = open_panel(tray_window, agent.pid)) {
            ::Sleep(400);
            shot(panel, folder, "panel-0-checking");
            if (wait_caption(panel, tess::kPanelMain, "Optimise now")) {
                ::Sleep(200);
                shot(panel, folder, "panel-1-proposal");
                (void)ui::click(panel, tess::kPanelMain);
                ::Sleep(300);
                shot(panel, folder, "panel-3-applying");
                if (wait_caption(panel, tess::kPanelMain, "Close")) {
                    ::Sleep(200);
                    shot(panel, folder, "panel-4-done");
                }
            }
            (void)ui::click(panel, tess::kPanelMain);
            ui::wait_gone(panel);
        }
        ::TerminateProcess(idle.process.get(), 0);
        ::WaitForSingleObject(idle.process.get(), 5000);
        ::Sleep(500);
        if (const ui::Window panel = open_panel(tray_window, agent.pid)) {
            if (wait_caption(panel, tess::kPanelMain, "All good")) {
                ::Sleep(200);
                shot(panel, folder, "panel-2-nothing");
            }
        }
        ::PostMessageW(tray_window, WM_CLOSE, 0, 0);
        ::WaitForSingleObject(agent.process.get(), 10'000);
    }
    if (idle.process) ::TerminateProcess(idle.process.get(), 0);
    ::DeleteFileW(helper.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wstring(argv[1]) == L"--idle") {
        ::Sleep(300'000);
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: tess-tray-shots OUT_FOLDER\n");
        return 2;
    }
    const std::string folder = tess::win::narrow(argv[1], wcslen(argv[1]));
    ::SetEnvironmentVariableW(L"TESS_OFFSCREEN", L"1");
    toasts(folder);
    toast_above_panel(folder);
    panel_modes(folder);
    return 0;
}
