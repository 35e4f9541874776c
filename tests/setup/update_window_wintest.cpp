// The update window on a thread of this test, driven from the test's own thread with the
// messages a user's clicks send. The install it starts here fails before any download
// (the release has no program for this copy): a successful one would replace this test
// program; that path is shown by the install tests in tests/updates.
#include <gtest/gtest.h>

#include <future>

#include "core/settings.hpp"
#include "gui/paint_win.hpp"
#include "setup/update_fit_winutil.hpp"
#include "setup/update_window_win.hpp"
#include "support/child.hpp"
#include "support/winutil.hpp"

namespace tess::ui {
namespace {

using test::ScopedEnv;
using test::TempDir;

updates::UpdateInfo release() {
    return {"0.6.0", "## What's new\n- Faster scans", "https://example.invalid", {}};
}

// This process's update window, not one a Tessavo.exe started by this test shows.
HWND own_window() {
    HWND h = nullptr;
    while ((h = ::FindWindowExW(nullptr, h, L"TessavoUpdate", nullptr)) != nullptr) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        if (pid == ::GetCurrentProcessId()) return h;
    }
    return nullptr;
}

// Once it shows, with its buttons made: found any earlier, it may still be creating them.
HWND wait_for_window() {
    for (int i = 0; i < 200; ++i) {
        if (HWND h = own_window(); h && ::IsWindowVisible(h) && ::GetDlgItem(h, 203)) return h;
        ::Sleep(50);
    }
    return nullptr;
}

std::string caption(HWND window, int id) {
    return win::narrow(window_text(::GetDlgItem(window, id)));
}

// No program for this copy, so the install fails at once with a text that names the
// version: a long one makes it wrap over several lines, as a checksum failure does.
updates::UpdateInfo long_failure_release() {
    return {"0.6.0 (a build whose name is long enough that the failure naming it wraps)",
            "## What's new\n- Faster scans",
            "https://example.invalid",
            {}};
}

// Opens the window on a thread, presses "Update now", waits for the failure and checks that
// all of its text shows at this process's DPI.
::testing::AssertionResult failure_shows_whole_text() {
    const updates::UpdateInfo info = long_failure_release();
    auto outcome =
        std::async(std::launch::async, [&] { return show_update_window(nullptr, info); });
    HWND h = wait_for_window();
    if (!h) return ::testing::AssertionFailure() << "no update window";
    test::press(::GetDlgItem(h, 201));
    for (int i = 0; i < 600 && caption(h, 202) != "Close"; ++i)
        ::Sleep(50);
    auto fits = test::failure_text_fits(reinterpret_cast<uidriver::Window>(h),
                                        "release " + info.version + " has no Tessavo.exe",
                                        static_cast<int>(::GetDpiForSystem()));
    ::PostMessageW(h, WM_CLOSE, 0, 0);
    outcome.wait_for(std::chrono::seconds(10));
    return fits;
}

// The check above in a process of its own, started at whatever DPI the test set; writes
// "ok" or what was wrong to args[0].
TESS_CHILD(update_failure_fits) {
    if (args.size() != 1) return 2;
    const auto fits = failure_shows_whole_text();
    test::write_text(args[0], fits ? std::string("ok") : std::string(fits.message()));
    return 0;
}

class UpdateWindowTest : public ::testing::Test {
protected:
    TempDir data_{"upd-window"};
    ScopedEnv data_env_{"TESS_DATA_DIR", data_.path()};
    ScopedEnv offscreen_{"TESS_OFFSCREEN", "1"};

    // The window on a thread of its own. A test that failed may leave it open, and the
    // future would wait for it when it goes: it is closed first.
    struct Opened {
        std::future<UpdateOutcome> outcome;
        ~Opened() {
            for (int i = 0; i < 300 && outcome.valid(); ++i) {
                if (outcome.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready)
                    break;
                if (HWND h = own_window()) ::PostMessageW(h, WM_CLOSE, 0, 0);
                ::Sleep(100);
            }
        }
    };
    Opened open() {
        return {
            std::async(std::launch::async, [] { return show_update_window(nullptr, release()); })};
    }
};

TEST_F(UpdateWindowTest, OffersThreeChoicesNamedByTheirCaptions) {
    auto opened = open();
    auto& outcome = opened.outcome;
    const HWND h = wait_for_window();
    ASSERT_TRUE(h);
    EXPECT_EQ(win::narrow(window_text(h)), "Tessavo update");
    EXPECT_EQ(caption(h, 201), "Update now");
    EXPECT_EQ(caption(h, 202), "Later");
    EXPECT_EQ(caption(h, 203), "Skip this version");
    EXPECT_TRUE(::GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);  // no owner
    test::press(::GetDlgItem(h, 202));
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(outcome.get(), UpdateOutcome::Closed);
    EXPECT_EQ(load_settings().skip_version, std::nullopt);
}

TEST_F(UpdateWindowTest, SkipThisVersionIsRemembered) {
    auto opened = open();
    auto& outcome = opened.outcome;
    const HWND h = wait_for_window();
    ASSERT_TRUE(h);
    test::press(::GetDlgItem(h, 203));
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(outcome.get(), UpdateOutcome::Skipped);
    EXPECT_EQ(load_settings().skip_version, "0.6.0");
}

TEST_F(UpdateWindowTest, FailedInstallLeavesOnlyClose) {
    auto opened = open();
    auto& outcome = opened.outcome;
    const HWND h = wait_for_window();
    ASSERT_TRUE(h);
    // Screen readers read the window's message from control 204, the failure too.
    EXPECT_TRUE(caption(h, 204).starts_with("Version 0.6.0 is ready\nYou have "))
        << caption(h, 204);
    test::press(::GetDlgItem(h, 201));
    std::string close;
    for (int i = 0; i < 600 && (close = caption(h, 202)) != "Close"; ++i)
        ::Sleep(50);
    EXPECT_EQ(close, "Close");
    EXPECT_TRUE(caption(h, 204).starts_with("The update couldn't be installed")) << caption(h, 204);
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(h, 204)));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(h, 201)));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(h, 203)));
    ::SendMessageW(h, WM_CLOSE, 0, 0);
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(outcome.get(), UpdateOutcome::Closed);
}

// A failure text longer than the buttons' row: the window grows until all of it shows.
TEST_F(UpdateWindowTest, FailureTextShowsWhole) {
    EXPECT_TRUE(failure_shows_whole_text());
}

}  // namespace
}  // namespace tess::ui
