// Every window of the program follows WM_DPICHANGED: sent here in this process at 144 DPI
// with a suggested rectangle, as Windows sends it when the window moves to a 150% monitor.
// (Wine gives every monitor the same DPI, so a real move between monitors cannot be shown.)
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "core/roles.hpp"
#include "core/win.hpp"
#include "setup/update_window_win.hpp"
#include "support/uidriver.hpp"
#include "support/winutil.hpp"
#include "tray/panel.hpp"
#include "tray/panel_win.hpp"
#include "tray/toast_win.hpp"
#include "ui/ui_win.hpp"

namespace tess {
namespace {

// A window on screen and how to close it again.
struct Shown {
    HWND window = nullptr;
    std::function<void()> close;
};

// The visible window of `cls` in this process that has child `child`, within ten seconds.
HWND wait_own(const wchar_t* cls, int child) {
    for (int i = 0; i < 200; ++i) {
        HWND h = nullptr;
        while ((h = ::FindWindowExW(nullptr, h, cls, nullptr)) != nullptr) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(h, &pid);
            if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(h) && ::GetDlgItem(h, child))
                return h;
        }
        ::Sleep(50);
    }
    return nullptr;
}

// A window with a message loop of its own (setup, update), run on a thread of its own.
Shown on_thread(std::function<void()> run, const wchar_t* cls, int child) {
    auto done = std::make_shared<std::future<void>>(std::async(std::launch::async, run));
    const HWND h = wait_own(cls, child);
    return {h, [h, done] {
                if (h) ::PostMessageW(h, WM_CLOSE, 0, 0);
                done->wait_for(std::chrono::seconds(20));
            }};
}

int font_height(HWND window) {
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    if (!font || !::GetObjectW(font, sizeof lf, &lf)) return 0;
    return std::abs(lf.lfHeight);
}

struct Metrics {
    RECT window{};
    SIZE child{};
    int font = 0;
};

Metrics metrics(HWND window, int child) {
    Metrics m;
    ::GetWindowRect(window, &m.window);
    RECT c{};
    ::GetWindowRect(::GetDlgItem(window, child), &c);
    m.child = {c.right - c.left, c.bottom - c.top};
    m.font = font_height(window);
    return m;
}

// One and a half times `at96`, give or take the rounding of each scaled part and, for a
// control as wide as the window, the window frame, which Wine does not scale.
::testing::AssertionResult scaled(const char* what, long at96, long at144) {
    const long want = at96 * 3 / 2;
    if (at96 > 0 && std::abs(at144 - want) <= std::max(2L, want / 100))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << what << " is " << at144 << " at 144 DPI, " << at96 << " at 96: want about " << want;
}

// With TESS_SCREENS_DIR set (scripts/screens.sh), a picture of `w` lands there.
void picture(HWND w, const std::string& name) {
    const auto dir = win::get_env("TESS_SCREENS_DIR");
    if (!dir) return;
    // Painted on screen first: the capture cannot pump this thread, which owns some of them.
    ::SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::RedrawWindow(w, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    uidriver::pump_messages(100);
    const auto window = reinterpret_cast<uidriver::Window>(w);
    uidriver::settle(window);
    if (const auto image = uidriver::capture(window, uidriver::CaptureArea::window))
        uidriver::save_png(*image, *dir + "\\" + name + ".png");
}

// setup_view.hpp's main button id; that header and panel.hpp cannot both be included.
constexpr int kSetupMain = 110;

struct Case {
    const char* name;
    const char* picture;
    int child;  // a control the window lays out
    std::function<Shown()> open;
};

const Case kCases[] = {
    {"main window", "main", ui::id::kFirstPage,
     [] {
         const HWND h = ui::create_main_window({}, true);
         return Shown{h, [h] {
                          ::DestroyWindow(h);
                          std::lock_guard lock(ui::shared_state().mutex);
                          ui::shared_state().scan.reset();
                      }};
     }},
    {"update window", "update", 201,
     [] {
         updates::UpdateInfo info;
         info.version = "9.9.9";
         info.notes = "- Faster scans";
         return on_thread([info] { ui::show_update_window(nullptr, info); }, L"TessavoUpdate", 201);
     }},
    {"setup window", "setup", kSetupMain,
     [] { return on_thread([] { run_setup_window(); }, L"TessavoSetup", kSetupMain); }},
    {"toast", "toast", 101,
     [] {
         show_toast(nullptr, {"Title", "A body of a line or two.", "Act", ToastKind::OpenPanel});
         return Shown{toast_window(), [] { close_toast(); }};
     }},
    {"quick panel", "panel", kPanelClose,
     [] {
         register_panel_class(::GetModuleHandleW(nullptr));
         PanelOwner po;
         po.toggle_focus = [] {};
         po.focus_is_on = [] { return false; };
         po.focus_summary = [] { return std::string(); };
         open_quick_panel(po);
         return Shown{quick_panel_window(), [] { close_quick_panel_now(); }};
     }},
};

TEST(Dpi, EveryWindowTakesTheSuggestedRectangleAndScalesItsFontsAndLayout) {
    const test::TempDir data("dpi");
    const test::ScopedEnv data_env("TESS_DATA_DIR", data.path());
    const test::ScopedEnv offscreen("TESS_OFFSCREEN", "1");
    const test::ScopedEnv dry("TESS_DRY_RUN", "1");
    const test::ScopedEnv no_update("TESS_NO_UPDATE_CHECK", "1");
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Shown shown = c.open();
        ASSERT_TRUE(shown.window);
        uidriver::pump_messages(100);
        picture(shown.window, std::string("dpi96-") + c.picture);
        const Metrics before = metrics(shown.window, c.child);
        EXPECT_GT(before.font, 0);
        // One and a half times the size, within the test display (1280 x 800), to which the
        // system holds a window's size.
        const RECT& r = before.window;
        const long width = std::min<long>((r.right - r.left) * 3 / 2, 1200);
        const long height = std::min<long>((r.bottom - r.top) * 3 / 2, 760);
        RECT suggested{r.left + 7, r.top + 11, r.left + 7 + width, r.top + 11 + height};
        ::SendMessageW(shown.window, WM_DPICHANGED, MAKEWPARAM(144, 144),
                       reinterpret_cast<LPARAM>(&suggested));
        uidriver::pump_messages(100);
        const Metrics after = metrics(shown.window, c.child);
        EXPECT_EQ(after.window.left, suggested.left);
        EXPECT_EQ(after.window.top, suggested.top);
        EXPECT_EQ(after.window.right, suggested.right);
        EXPECT_EQ(after.window.bottom, suggested.bottom);
        EXPECT_TRUE(scaled("the font's height", before.font, after.font));
        EXPECT_TRUE(scaled("the control's width", before.child.cx, after.child.cx));
        EXPECT_TRUE(scaled("the control's height", before.child.cy, after.child.cy));
        picture(shown.window, std::string("dpi144-") + c.picture);
        shown.close();
        uidriver::pump_messages(50);
    }
}

}  // namespace
}  // namespace tess
