// The quick panel and a toast on screen together, in this process as on the tray watch's
// thread. TESS_OFFSCREEN is not set: where the windows appear is the point.
#include <gtest/gtest.h>

#include <windows.h>

#include "core/win.hpp"
#include "support/uidriver.hpp"
#include "support/winutil.hpp"
#include "tray/panel_win.hpp"
#include "tray/toast_win.hpp"

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
// the open panel and never covers it. One order per process: each opens the panel once.
class ToastAndPanel : public ::testing::TestWithParam<bool> {};

TEST_P(ToastAndPanel, ToastStacksAboveThePanelAndNeverCoversIt) {
    const bool panel_first = GetParam();
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
    if (panel_first) {
        open_quick_panel(po);
        show_toast(owner, focus);
    } else {
        show_toast(owner, focus);
        corner = rect_of(toast_window());
        open_quick_panel(po);
    }
    uidriver::pump_messages(200);
    const HWND panel_window = quick_panel_window(), toast_shown = toast_window();
    ASSERT_TRUE(panel_window && ::IsWindowVisible(panel_window));
    ASSERT_TRUE(toast_shown && ::IsWindowVisible(toast_shown));
    const RECT panel = rect_of(panel_window), toast = rect_of(toast_shown);
    EXPECT_TRUE(apart(toast, panel));
    EXPECT_LT(toast.bottom, panel.top);
    EXPECT_TRUE(on_work_area(toast));
    EXPECT_TRUE(on_work_area(panel));
    if (!panel_first) {
        EXPECT_NE(toast.top, corner.top);  // it moved up when the panel opened
    }
    close_toast();
    close_quick_panel_now();
    ::DestroyWindow(owner);
}

INSTANTIATE_TEST_SUITE_P(QuickPanel, ToastAndPanel, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& i) {
                             return i.param ? std::string("PanelFirst") : std::string("ToastFirst");
                         });

}  // namespace
}  // namespace tess
