// The quick panel and a toast on screen together, in this process as on the tray watch's
// thread. TESS_OFFSCREEN is not set: where the windows appear is the point.
#include <gtest/gtest.h>

#include <windows.h>

#include "background/panel.hpp"
#include "background/panel_win.hpp"
#include "core/win.hpp"
#include "support/uidriver.hpp"
#include "support/winutil.hpp"
#include "ui/popup_win.hpp"

namespace tess {
namespace {

RECT rect_of(HWND w) {
    RECT r{};
    ::GetWindowRect(w, &r);
    return r;
}

::testing::AssertionResult apart(const RECT& toast, const RECT& panel) {
    RECT both{};
    if (!::IntersectRect(&both, &toast, &panel)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the toast (" << toast.left << ", " << toast.top << ")-(" << toast.right << ", "
           << toast.bottom << ") covers the panel (" << panel.left << ", " << panel.top << ")-("
           << panel.right << ", " << panel.bottom << ")";
}

::testing::AssertionResult on_work_area(const RECT& r) {
    const PopupRect work = work_area_near(nullptr);
    if (r.left >= work.left && r.top >= work.top && r.right <= work.right &&
        r.bottom <= work.bottom)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << r.left << ", " << r.top << ")-(" << r.right
                                         << ", " << r.bottom << ") is not wholly on screen";
}

// Whichever comes first, the toast (here the one the panel's Focus row raises) stacks above
// the open panel and never covers it; with the panel closed it goes back to the corner.
TEST(QuickPanel, ToastStacksAboveItAndNeverCoversIt) {
    const test::ScopedEnv onscreen("TESS_OFFSCREEN", std::nullopt);
    const test::TempDir data("panel-toast");
    const test::ScopedEnv data_env("TESS_DATA_DIR", data.path());
    const test::ScopedEnv dry("TESS_DRY_RUN", "1");
    register_panel_class(::GetModuleHandleW(nullptr));
    const HWND owner = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                         ::GetModuleHandleW(nullptr), nullptr);
    PanelOwner po;
    po.owner = owner;
    po.toggle_focus = [] {};
    po.focus_is_on = [] { return false; };
    po.focus_summary = [] { return std::string(); };
    const Toast focus{"Focus mode is on", "Focus mode is on: 3 background programs slowed.", "",
                      ToastKind::None};
    RECT corner{};
    for (const bool panel_first : {true, false}) {
        if (panel_first) {
            open_quick_panel(po);
            show_toast(owner, focus);
        } else {
            show_toast(owner, focus);
            corner = rect_of(toast_window());
            open_quick_panel(po);
        }
        uidriver::pump_messages(200);
        ASSERT_TRUE(quick_panel_window() && toast_window()) << panel_first;
        const RECT panel = rect_of(quick_panel_window()), toast = rect_of(toast_window());
        EXPECT_TRUE(apart(toast, panel)) << (panel_first ? "panel first" : "toast first");
        EXPECT_LT(toast.bottom, panel.top) << "above it";
        EXPECT_TRUE(on_work_area(toast));
        EXPECT_TRUE(on_work_area(panel));
        // The panel's check runs on a worker: it ends before the panel goes.
        const HWND main = ::GetDlgItem(quick_panel_window(), kPanelMain);
        const std::wstring checking = ui::window_text(main);
        for (int i = 0; i < 600 && ui::window_text(main) == checking; ++i)
            uidriver::pump_messages(50);
        close_quick_panel_now();
        uidriver::pump_messages(100);
    }
    // Closed, the panel no longer holds the toast up.
    const RECT back = rect_of(toast_window());
    EXPECT_EQ(back.top, corner.top);
    EXPECT_EQ(back.left, corner.left);
    close_toast();
    ::DestroyWindow(owner);
}

}  // namespace
}  // namespace tess
