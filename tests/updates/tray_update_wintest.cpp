// The tray watch's update hooks through a copy of the real Tessavo.exe, against the loopback
// HTTPS server (https-fixture.sh): the automatic check on the sixth tick and its toast, the
// menu's check, the update window opened from either, and the hand-over that ends the tray.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "core/crypto.hpp"
#include "core/win.hpp"
#include "setup/update_fit_winutil.hpp"
#include "support/uidriver.hpp"
#include "tray/tray_messages.hpp"
#include "updates/https_fixture_win.hpp"
#include "updates/signing_win.hpp"
#include "updates/update.hpp"

namespace tess::updates {
namespace {

namespace ud = uidriver;
using namespace std::chrono_literals;
using test::https_base;
using test::read_text;
using test::TempDir;

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

using test::Served;

// A release of the portable Tessavo.exe with `bytes`, and its checksum list signed by
// the build's test key.
std::string release_json(const std::string& tag, const Served& s, const std::string& bytes) {
    const std::string hash = sha256_hex(bytes).value_or("");
    return R"({"tag_name": ")" + tag + R"(", "body": "## What's new\n- Faster", )" +
           R"("html_url": "https://example.invalid/r", "assets": [{"name": "Tessavo.exe", )" +
           R"("browser_download_url": ")" + s.url("Tessavo.exe") + R"(", "size": )" +
           std::to_string(bytes.size()) + R"(, "digest": "sha256:)" + hash + R"("}, )" +
           test::signed_list_assets(s, "sha256sums.txt", hash + "  Tessavo.exe\n") + "]}";
}

// The program the release serves: started, it writes started.txt beside itself.
std::string marker_bytes() {
    return read_text(test::built_exe("tess_update_marker.exe")).value_or("");
}

HWND hwnd(ud::Window w) {
    return reinterpret_cast<HWND>(w);
}

// A copy of Tessavo.exe in a folder of its own running as a test tray watch with 50 ms
// ticks, its update check pointed at `release_url`.
class TrayCopy {
public:
    // `offscreen` false: the windows open where a user would see them.
    TrayCopy(const std::string& release_url, std::optional<std::string> no_check = std::nullopt,
             bool offscreen = true)
        : exe_(app_.file("Tessavo.exe")) {
        EXPECT_TRUE(::CopyFileW(win::widen(test::built_exe("Tessavo-testkey.exe")).c_str(),
                                win::widen(exe_).c_str(), TRUE));
        original_ = read_text(exe_).value_or("");
        program_ = test::start_program(
            exe_, {"agent"},
            {{"TESS_DATA_DIR", data_.path()},
             {"TESS_TICK_MS", "50"},
             {"TESS_OFFSCREEN", offscreen ? std::optional<std::string>("1") : std::nullopt},
             {"TESS_UPDATE_URL", release_url},
             {"TESS_NO_UPDATE_CHECK", std::move(no_check)},
             {"TESS_FAKE_VERSION", std::nullopt},
             {"TEMP", temp_.path()},
             {"TMP", temp_.path()}});
        pid_ = program_.pid();
        if (auto w = ud::wait_window({"TessavoTray", std::nullopt, pid_}, 20'000)) tray_ = *w;
    }
    std::string log() const { return read_text(data_.file("agent.log")).value_or(""); }
    bool logged(const std::string& line) const {
        return wait_until([&] { return log().find(line + "\n") != std::string::npos; });
    }
    ud::Window wait(const std::string& cls) const {
        const auto w = ud::wait_window({cls, std::nullopt, pid_, true}, 20'000);
        return w ? *w : 0;
    }
    bool shows(const std::string& cls) const {
        return ud::find_window({cls, std::nullopt, pid_, true}) != 0;
    }
    // "Check for updates (v0.5.0)": the second item from the end of the menu; done once a
    // window of class `shows_class` shows.
    void check_from_menu(const std::string& shows_class) const {
        const auto chosen =
            ud::choose_tray_menu_item(tray_, kTrayIcon, 2, [&] { return shows(shows_class); });
        EXPECT_TRUE(chosen) << chosen.error();
    }
    void click(ud::Window top, int id) const {
        ASSERT_TRUE(ud::wait_control(top, id));
        const auto clicked = ud::click(top, id);
        ASSERT_TRUE(clicked) << clicked.error();
    }
    // The automatic check's toast, its button, then "Update now" in the window it opens.
    void update_from_toast() const {
        const ud::Window toast = wait("TessavoToast");
        ASSERT_TRUE(toast);
        click(toast, 102);
        const ud::Window offer = wait("TessavoUpdate");
        ASSERT_TRUE(offer);
        click(offer, 201);
    }
    int end() {
        ::PostMessageW(hwnd(tray_), WM_CLOSE, 0, 0);
        return program_.wait(20'000);
    }

    TempDir data_{"tray-upd"}, app_{"tray-app"}, temp_{"tray-temp"};
    std::string exe_, original_;
    test::RunningProgram program_;
    std::uint32_t pid_ = 0;
    ud::Window tray_ = 0;
};

class TrayUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(https_base().empty()) << "the HTTPS fixture is not running";
    }
};

// The sixth tick's check finds 0.6.0: a toast whose button opens the update window over
// the tray window; "Skip this version" is remembered, yet the user's own check offers it.
TEST_F(TrayUpdate, AutomaticCheckToastOpensTheWindowAndSkipIsRemembered) {
    Served s("tray-auto");
    s.put("latest.json", release_json("v0.6.0", s, "MZ"));
    TrayCopy c(s.url("latest.json"));
    ASSERT_TRUE(c.tray_);
    EXPECT_TRUE(c.logged("update: version 0.6.0 is available")) << c.log();
    const ud::Window toast = c.wait("TessavoToast");
    ASSERT_TRUE(toast);
    const auto button = ud::find_control(toast, 102);
    ASSERT_TRUE(button);
    EXPECT_EQ(button->caption, "See what's new");
    EXPECT_TRUE(button->visible);

    c.click(toast, 102);
    const ud::Window offer = c.wait("TessavoUpdate");
    ASSERT_TRUE(offer);
    EXPECT_EQ(::GetWindow(hwnd(offer), GW_OWNER), hwnd(c.tray_));
    EXPECT_TRUE(ud::wait_gone(toast));
    c.click(offer, 203);  // Skip this version
    EXPECT_TRUE(ud::wait_gone(offer));
    EXPECT_TRUE(c.logged("update: skipped 0.6.0")) << c.log();
    EXPECT_NE(
        read_text(c.data_.file("settings.json")).value_or("").find(R"("skip_version": "0.6.0")"),
        std::string::npos);

    // Asked by the user the skipped version is offered at once, without a toast; "Later"
    // closes it and writes nothing.
    c.check_from_menu("TessavoUpdate");
    const ud::Window again = c.wait("TessavoUpdate");
    ASSERT_TRUE(again);
    EXPECT_FALSE(c.shows("TessavoToast"));
    c.click(again, 202);  // Later
    EXPECT_TRUE(ud::wait_gone(again));
    ud::settle(c.tray_);
    const std::string log = c.log();
    EXPECT_EQ(log.find("update: ", log.find("update: skipped 0.6.0") + 1), std::string::npos)
        << log;
    EXPECT_EQ(c.end(), 0);
}

// Nothing newer, or the check failing: the automatic check says nothing, the user's check
// answers with a toast without a button.
TEST_F(TrayUpdate, OnlyTheUserHearsThatNothingIsNewOrTheCheckFailed) {
    Served s("tray-quiet");
    s.put("same.json", release_json("v0.5.0", s, "MZ"));
    for (const char* file : {"same.json", "missing.json"}) {
        TrayCopy c(s.url(file));
        ASSERT_TRUE(c.tray_) << file;
        EXPECT_TRUE(wait_until([&] { return s.requested(file); })) << file;
        ::Sleep(300);  // the answer has arrived (the server answers at once)
        ud::settle(c.tray_);
        EXPECT_FALSE(c.shows("TessavoToast")) << file;

        c.check_from_menu("TessavoToast");
        const ud::Window toast = c.wait("TessavoToast");
        ASSERT_TRUE(toast) << file;
        const auto button = ud::find_control(toast, 102);
        ASSERT_TRUE(button) << file;
        EXPECT_FALSE(button->visible) << file;
        EXPECT_FALSE(c.shows("TessavoUpdate")) << file;
        EXPECT_EQ(c.log().find("update: "), std::string::npos) << c.log();
        EXPECT_EQ(c.end(), 0) << file;
    }
}

// TESS_NO_UPDATE_CHECK: no automatic request at all; the menu's check still works.
TEST_F(TrayUpdate, NoUpdateCheckLeavesOnlyTheMenu) {
    Served s("tray-off");
    s.put("latest.json", release_json("v0.6.0", s, "MZ"));
    TrayCopy c(s.url("latest.json"), "1");
    ASSERT_TRUE(c.tray_);
    // Past the sixth tick: the first CPU sample is written at the first, so wait for it, then
    // for more than ten further ticks.
    EXPECT_TRUE(wait_until([&] { return test::exists(c.data_.file("cpu-history.json")); }));
    ::Sleep(600);
    EXPECT_FALSE(s.requested("latest.json"));
    c.check_from_menu("TessavoUpdate");
    const ud::Window offer = c.wait("TessavoUpdate");
    ASSERT_TRUE(offer);
    EXPECT_TRUE(s.requested("latest.json"));
    c.click(offer, 202);
    EXPECT_TRUE(ud::wait_gone(offer));
    EXPECT_EQ(c.end(), 0);
}

// The work area of the monitor `w` is on.
ud::Rect work_area_of(ud::Window w) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd(w), MONITOR_DEFAULTTONEAREST), &info);
    return {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}

::testing::AssertionResult inside(const ud::Rect& r, const ud::Rect& work) {
    if (r.left >= work.left && r.top >= work.top && r.right <= work.right &&
        r.bottom <= work.bottom)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "window (" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom
           << ") sticks out of the work area (" << work.left << ", " << work.top << ")-("
           << work.right << ", " << work.bottom << ")";
}

// With TESS_SCREENS_DIR set (scripts/screens.sh), a picture of `w` lands there.
void picture(ud::Window w, const std::string& name) {
    const auto dir = win::get_env("TESS_SCREENS_DIR");
    if (!dir) return;
    ud::settle(w);
    if (const auto image = ud::capture(w, ud::CaptureArea::window))
        ud::save_png(*image, *dir + "\\" + name + ".png");
}

// Opened from the tray, whose window is hidden at (0, 0) with no size, the update window
// appears wholly inside the work area; a download that fails its checksum leaves the whole
// failure text readable in it. TESS_OFFSCREEN is not set: where the window appears is the
// point.
TEST_F(TrayUpdate, WindowOpenedFromTheTrayIsOnScreenAndItsFailureReadable) {
    Served s("tray-onscreen");
    const std::string served = marker_bytes();
    s.put("Tessavo.exe", served);
    // Published with the checksum of other bytes of the same size: the download fails its
    // security check.
    s.put("latest.json", release_json("v0.6.0", s, std::string(served.size(), 'x')));
    TrayCopy c(s.url("latest.json"), std::nullopt, false);
    ASSERT_TRUE(c.tray_);
    const ud::Window toast = c.wait("TessavoToast");
    ASSERT_TRUE(toast);
    EXPECT_TRUE(inside(ud::window_rect(toast), work_area_of(toast)));
    c.click(toast, 102);
    const ud::Window offer = c.wait("TessavoUpdate");
    ASSERT_TRUE(offer);
    ASSERT_TRUE(ud::wait_control(offer, 203));
    EXPECT_TRUE(inside(ud::window_rect(offer), work_area_of(offer)));
    picture(offer, "update-from-tray");

    c.click(offer, 201);  // Update now
    const auto close = ud::wait_control(
        offer, 202, [](const ud::Control& k) { return k.visible && k.caption == "Close"; }, 20'000);
    ASSERT_TRUE(close) << close.error();
    EXPECT_TRUE(test::failure_text_fits(
        offer,
        "the download failed its security check (checksum mismatch), so it was not installed",
        static_cast<int>(::GetDpiForSystem())));
    EXPECT_TRUE(inside(ud::window_rect(offer), work_area_of(offer)));
    picture(offer, "update-failed-checksum");
    c.click(offer, 202);
    EXPECT_TRUE(ud::wait_gone(offer));
    EXPECT_EQ(read_text(c.exe_), c.original_);
    EXPECT_EQ(c.end(), 0);
}

// "Update now" from the tray: the copy is replaced and started, and the tray watch ends so
// nothing of the old program keeps running.
TEST_F(TrayUpdate, HandOverEndsTheTrayWatch) {
    const std::string marker = marker_bytes();
    ASSERT_GT(marker.size(), 2u);
    Served s("tray-install");
    s.put("Tessavo.exe", marker);
    s.put("latest.json", release_json("v0.6.0", s, marker));
    TrayCopy c(s.url("latest.json"));
    ASSERT_TRUE(c.tray_);
    c.update_from_toast();
    EXPECT_EQ(c.program_.wait(30'000), 0);
    const std::string log = c.log();
    const auto handed = log.find("update: installing 0.6.0, handing over\n");
    ASSERT_NE(handed, std::string::npos) << log;
    EXPECT_NE(log.find("tray watch stopped\n", handed), std::string::npos) << log;
    EXPECT_EQ(read_text(c.exe_), marker);
    EXPECT_EQ(read_text(c.app_.file("Tessavo." + std::to_string(c.pid_) + ".old")), c.original_);
    EXPECT_TRUE(wait_until([&] { return test::exists(c.app_.file("started.txt")); }));
}

// "Update now" from the tray of a portable copy whose main window is open too, with a real
// Tessavo.exe as the download: the old main window closes and a main window of the new
// version comes up in its place.
TEST_F(TrayUpdate, HandOverReplacesTheOpenMainWindowWithTheNewVersion) {
    const std::string fresh =
        read_text(test::built_exe("Tessavo-testkey.exe")).value_or("") + "tessavo-next-version";
    Served s("tray-main");
    s.put("Tessavo.exe", fresh);
    s.put("latest.json", release_json("v0.6.0", s, fresh));
    TrayCopy c(s.url("latest.json"));
    ASSERT_TRUE(c.tray_);
    test::RunningProgram old_main = test::start_program(c.exe_, {},
                                                        {{"TESS_DATA_DIR", c.data_.path()},
                                                         {"TESS_OFFSCREEN", "1"},
                                                         {"TESS_NO_UPDATE_CHECK", "1"}});
    const auto main =
        ud::wait_window({"TessavoWindow", std::nullopt, old_main.pid(), true}, 20'000);
    ASSERT_TRUE(main);
    c.update_from_toast();
    EXPECT_EQ(c.program_.wait(30'000), 0);
    EXPECT_EQ(old_main.wait(20'000), 0);  // asked to close by the new version
    EXPECT_EQ(read_text(c.exe_), fresh);
    // A main window of the new program, in a process of neither old one.
    ud::Window next = 0;
    EXPECT_TRUE(wait_until(
        [&] {
            next = ud::find_window({"TessavoWindow", std::nullopt, 0, true});
            const auto pid = next ? ud::window_pid(next) : 0;
            return next && pid != c.pid_ && pid != old_main.pid();
        },
        20s));
    if (next) {
        const win::unique_handle process(
            ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, ud::window_pid(next)));
        ::TerminateProcess(process.get(), 0);
        ::WaitForSingleObject(process.get(), 10'000);
    }
}

}  // namespace
}  // namespace tess::updates
