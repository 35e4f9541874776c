// Driving the real Tessavo.exe main window from a test: the start with a test data folder, rows
// found by their first cell, ticks, and clicks that open a question answered by the test.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/win.hpp"
#include "scan/realfs_winutil.hpp"
#include "support/uidriver.hpp"
#include "support/winutil.hpp"
#include "ui/ui.hpp"

namespace tess::ui::wintest {

namespace ud = uidriver;

inline bool wait_for(const std::function<bool()>& done, std::uint32_t timeout_ms = 10'000) {
    const ULONGLONG end = ::GetTickCount64() + timeout_ms;
    while (::GetTickCount64() < end) {
        if (done()) return true;
        ::Sleep(50);
    }
    return done();
}

// ---- a window of this process: its messages are handled only while the test pumps ----
// Three rounds of what is queued, so what a handler posted is handled too.
inline void pump() {
    MSG msg;
    for (int i = 0; i < 3; ++i) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(10);
    }
}

// Handles this thread's messages until `done` or the time-out.
inline bool pump_until(const std::function<bool()>& done, std::uint32_t timeout_ms) {
    const ULONGLONG end = ::GetTickCount64() + timeout_ms;
    MSG msg;
    while (!done() && ::GetTickCount64() < end) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(10);
    }
    return done();
}

inline bool visible(ud::Window top, int id) {
    const auto c = ud::find_control(top, id);
    return c.ok() && c.value().visible;
}

inline bool enabled(ud::Window top, int id) {
    const auto c = ud::find_control(top, id);
    return c.ok() && c.value().enabled;
}

inline std::string caption(ud::Window top, int id) {
    const auto c = ud::find_control(top, id);
    return c.ok() ? c.value().caption : std::string();
}

// Starts Tessavo.exe with `args` and waits for its visible main window.
inline ud::Window open_main(test::RunningProgram& program, const std::vector<std::string>& args,
                            const std::vector<test::EnvVar>& env) {
    program = test::start_tessavo(args, env);
    if (!program) return 0;
    const auto w = ud::wait_window({"TessavoWindow", std::nullopt, program.pid(), true}, 30'000);
    if (!w.ok()) return 0;
    ud::settle(w.value());
    return w.value();
}

inline ud::Window list_of(ud::Window top) {
    const auto l = ud::find_list(top, id::kList);
    return l.ok() ? l.value() : 0;
}

// The row whose first cell is `text`, or -1.
inline int row_of(ud::Window top, const std::string& text) {
    const auto rows = ud::lv_rows(list_of(top));
    if (!rows.ok()) return -1;
    for (std::size_t i = 0; i < rows.value().size(); ++i)
        if (!rows.value()[i].empty() && rows.value()[i][0] == text) return static_cast<int>(i);
    return -1;
}

inline int wait_row(ud::Window top, const std::string& text, std::uint32_t timeout_ms = 60'000) {
    int row = -1;
    wait_for([&] { return (row = row_of(top, text)) >= 0; }, timeout_ms);
    return row;
}

inline std::string cell(ud::Window top, int row, int column) {
    const auto t = ud::lv_text(list_of(top), row, column);
    return t.ok() ? t.value() : std::string();
}

inline bool checked(ud::Window top, int row) {
    const auto c = ud::lv_checked(list_of(top), row);
    return c.ok() && c.value();
}

// Ticks or unticks one row, then lets the window recompute its captions.
inline void tick(ud::Window top, int row, bool on) {
    ud::lv_set_checked(list_of(top), row, on);
    ud::settle(top);
}

// Unticks every ticked row but those whose first cell is in `keep`.
inline void untick_all_but(ud::Window top, const std::vector<std::string>& keep) {
    const auto rows = ud::lv_rows(list_of(top));
    if (!rows.ok()) return;
    for (std::size_t i = 0; i < rows.value().size(); ++i) {
        const std::string& first = rows.value()[i].empty() ? "" : rows.value()[i][0];
        const bool kept = std::find(keep.begin(), keep.end(), first) != keep.end();
        if (!kept && checked(top, static_cast<int>(i))) tick(top, static_cast<int>(i), false);
    }
}

// Clicks `id`, reads the question it opens and answers it; the text, or nullopt when no
// box came within `timeout_ms`.
inline std::optional<std::string> click_and_answer(ud::Window top, std::uint32_t pid, int id,
                                                   ud::Answer answer,
                                                   std::uint32_t timeout_ms = 10'000) {
    if (!ud::click(top, id).ok()) return std::nullopt;
    const auto box = ud::wait_message_box(pid, timeout_ms);
    if (!box.ok()) return std::nullopt;
    std::string text = ud::message_box_text(box.value());
    ud::answer_message_box(box.value(), answer);
    ud::settle(top);
    return text;
}

// Opens a page, unticks everything but `row`, ticks it, and checks the action's caption
// (unless `action` is empty).
inline int pick(ud::Window main, int page, const std::string& row, const std::string& action) {
    EXPECT_TRUE(ud::click(main, id::kFirstPage + page).ok());
    ud::settle(main);
    const int r = wait_row(main, row);
    EXPECT_GE(r, 0) << "page " << page << ": no row " << row;
    if (r < 0) return r;
    untick_all_but(main, {row});
    if (!checked(main, r)) tick(main, r, true);
    if (!action.empty()) {
        EXPECT_EQ(caption(main, id::kPageAction), action) << "page " << page;
    }
    EXPECT_TRUE(enabled(main, id::kPageAction));
    return r;
}

// The page apply and the rescan after it are over.
inline bool wait_applied(ud::Window main) {
    return wait_for(
        [&] {
            return enabled(main, id::kRescan) &&
                   caption(main, id::kPageAction) != "Working\xE2\x80\xA6";
        },
        90'000);
}

// Tessavo.exe off screen, without the update check, with its data, temp and local app-data
// folders in `dir` ("Data", "Temp", "Local"); a test run when `dry_run`.
inline std::vector<test::EnvVar> folder_env(const test::TempDir& dir, bool dry_run) {
    return {{"TESS_DATA_DIR", dir.file("Data")},
            {"TESS_OFFSCREEN", "1"},
            {"TESS_NO_UPDATE_CHECK", "1"},
            {"TEMP", dir.file("Temp")},
            {"TMP", dir.file("Temp")},
            {"LOCALAPPDATA", dir.file("Local")},
            {"TESS_DRY_RUN", dry_run ? std::optional<std::string>("1") : std::nullopt}};
}

// Junk in a test temp folder and a developer project with a folder link to a decoy inside its
// node_modules, and the environment that points Tessavo.exe at them.
struct PagesFixture {
    test::TempDir dir{"pages"};
    std::string modules = dir.file("src\\proj\\node_modules");
    PagesFixture() {
        const std::uint64_t now = win::filetime_now();
        test::make_file(dir.file("Temp\\old.tmp"), 3000, now, 8 * test::kDayTicks);
        test::make_file(dir.file("Temp\\new.tmp"), 50, now, test::kHourTicks);
        win::create_dirs(dir.file("Local"));
        win::create_dirs(dir.file("Data"));
        test::make_file(dir.file("src\\proj\\package.json"), 2, now, 40 * test::kDayTicks);
        test::make_file(modules + "\\a\\index.js", 700, now, 40 * test::kDayTicks);
        test::make_file(dir.file("decoy\\keep.txt"), 10, now, 0);
    }
    std::vector<test::EnvVar> env(bool dry_run) const {
        std::vector<test::EnvVar> vars = folder_env(dir, dry_run);
        vars.push_back({"TESS_DEV_ROOTS", dir.file("src")});
        return vars;
    }
    std::string journal() const { return dir.file("Data\\journal.json"); }
};

// A scan whose app has ended and whose service is deleted since: an apply of either row
// meets an item that is gone.
inline ScanResult scan_of_gone_items() {
    ScanResult scan;
    AppGroup app;
    app.display_name = "tess-ended-app";
    app.targets = {{0xFFFFFFF0u, "tess-ended-app.exe", 1}};
    app.process_count = 1;
    scan.apps = {app};
    ServiceInfo svc;
    svc.name = "TessDeletedService" + std::to_string(::GetCurrentProcessId());
    svc.display = "Deleted test service";
    svc.start_type = SERVICE_AUTO_START;
    svc.running = true;
    scan.report.services = {svc};
    scan.services_shown = {0};
    return scan;
}

// A copy of this test program under another name, run as a windowless sleeper: a process
// the scan sees as `file_name`, never as the test program itself.
struct Sleeper {
    std::string exe;
    test::RunningProgram program;
    Sleeper(const test::TempDir& dir, const std::string& file_name) : exe(dir.file(file_name)) {
        ::CopyFileW(win::widen(win::exe_path()).c_str(), win::widen(exe).c_str(), FALSE);
        program = test::start_program(exe, {"--child", "windowless_sleeper"});
    }
};

}  // namespace tess::ui::wintest
