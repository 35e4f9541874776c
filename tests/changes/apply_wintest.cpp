// The apply runs on a worker thread, posting to a hidden message-only window as they
// would to the main window or the quick panel. The unelevated executor is stated
// through apply_ops_as (Wine runs everything elevated); the helper is the real
// Tessavo.exe, and a declined prompt a stand-in for ShellExecuteExW.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "changes/apply_win.hpp"
#include "changes/executor.hpp"
#include "changes/fixtures_win.hpp"
#include "changes/plan_win.hpp"
#include "support/winutil.hpp"
#include "tray/panel_messages.hpp"
#include "tray/panel_runs_win.hpp"
#include "ui/runs_win.hpp"
#include "ui/ui_messages.hpp"

namespace tess {
namespace {

using test::ApprovedName;
using test::exists;
using test::ScopedEnv;
using test::Sleeper;
using test::TempDir;
using test::TestService;

struct Posted {
    UINT message = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
    DWORD tick = 0;  // when it was posted
};

// A hidden message-only window owned by the test thread.
struct Receiver {
    HWND hwnd = nullptr;

    Receiver() {
        static const ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = ::DefWindowProcW;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"TessavoChangesTestSink";
            return ::RegisterClassW(&wc);
        }();
        hwnd =
            ::CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)), L"", 0, 0,
                              0, 0, 0, HWND_MESSAGE, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    }
    ~Receiver() {
        if (hwnd) ::DestroyWindow(hwnd);
    }

    // Collects the posts until `last` arrives (or a minute passes), while `work` runs on
    // a worker thread. Messages are read, never dispatched.
    std::vector<Posted> run(UINT last, const std::function<void()>& work) {
        std::thread worker(work);
        std::vector<Posted> got;
        const ULONGLONG deadline = ::GetTickCount64() + 60'000;
        bool done = false;
        while (!done && ::GetTickCount64() < deadline) {
            MSG msg{};
            while (::PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE)) {
                got.push_back({msg.message, msg.wParam, msg.lParam, msg.time});
                if (msg.message == last) done = true;
            }
            if (!done) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_POSTMESSAGE);
        }
        worker.join();
        return got;
    }
};

std::vector<std::pair<UINT, WPARAM>> shape(const std::vector<Posted>& posts) {
    std::vector<std::pair<UINT, WPARAM>> out;
    for (const auto& p : posts)
        out.emplace_back(p.message, p.wparam);
    return out;
}

JournalEntry old_failure() {
    JournalEntry e;
    e.action = CleanJunk{"user_temp", "Temporary files"};
    e.message = "an earlier failure";
    return e;
}

// The real run system with the executor unelevated.
RunSystem unelevated_system() {
    RunSystem sys = run_system(nullptr, /*dry_run=*/false);
    sys.apply = [](const std::string& path, const std::vector<Op>& ops) {
        return apply_ops_as(path, ops, /*elevated=*/false);
    };
    return sys;
}

TEST(ApplyRunWin, PhasesThenHelperForAdminWorkCountsOnlyThisRun) {
    TempDir data("apply");
    ScopedEnv data_env("TESS_DATA_DIR", data.path());
    ScopedEnv dry("TESS_DRY_RUN", std::nullopt);
    Journal earlier{data.file("journal.json"), {}};
    push_entry(earlier, old_failure(), 1);
    save_journal(earlier);
    Sleeper child;
    ApprovedName startup("Run");
    TestService svc("Run", SERVICE_AUTO_START);
    ASSERT_TRUE(svc.svc) << svc.create_error;

    const std::vector<Action> actions = {
        SetServiceStart{svc.name, "Test service", SERVICE_DEMAND_START, false},
        SetStartupEnabled{StartupLocation::HkcuRun, startup.name, false},
        KillProcesses{"Sleeper", {{child.pid, "tess_changes_tests.exe", child.created}}},
    };
    Receiver window;
    ASSERT_TRUE(window.hwnd);
    std::mutex lock;
    std::optional<OptimiseResult> stored;
    const auto posts = window.run(kMainApplyDone, [&] {
        apply_run(
            window.hwnd, actions, 0,
            [&](OptimiseResult r) {
                std::lock_guard<std::mutex> hold(lock);
                stored = std::move(r);
            },
            unelevated_system());
    });
    EXPECT_EQ(shape(posts), (std::vector<std::pair<UINT, WPARAM>>{{kMainProgress, 0},
                                                                  {kMainProgress, 1},
                                                                  {kMainProgress, 2},
                                                                  {kMainProgress, 3},
                                                                  {kMainApplyDone, 0}}));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->applied, 3u);
    EXPECT_EQ(stored->closed, 1u);
    EXPECT_EQ(stored->startup_off, 1u);
    EXPECT_EQ(stored->services, 1u);
    EXPECT_EQ(stored->skipped, 0u);
    EXPECT_TRUE(stored->failures.empty());
    EXPECT_FALSE(stored->test_run);
    EXPECT_GT(stored->committed_before, 0u);

    // Unelevated work first, in phase order; the helper's entry last.
    const Journal j = load_journal(data.file("journal.json"));
    ASSERT_EQ(j.entries.size(), 4u);
    EXPECT_EQ(j.entries[1].message, "ended 1");
    EXPECT_EQ(j.entries[2].message, "disabled");
    EXPECT_EQ(j.entries[3].message, "Automatic \xE2\x86\x92 Manual");
    EXPECT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_DEMAND_START));
    EXPECT_EQ(child.exit_code(), 1);
}

// A test run posts its phases half a second apart and changes nothing.
TEST(ApplyRunWin, TestRunChangesNothing) {
    TempDir data("apply");
    ScopedEnv data_env("TESS_DATA_DIR", data.path());
    ScopedEnv dry("TESS_DRY_RUN", "");
    Sleeper child;
    ApprovedName startup("Dry");
    const std::vector<Action> actions = {
        KillProcesses{"Sleeper", {{child.pid, "tess_changes_tests.exe", child.created}}},
        CleanJunk{"user_temp", "Temporary files"},
        SetStartupEnabled{StartupLocation::HkcuRun, startup.name, false},
    };
    Receiver window;
    std::optional<OptimiseResult> stored;
    const auto posts = window.run(kMainApplyDone, [&] {
        apply_run(window.hwnd, actions, 5'000'000, [&](OptimiseResult r) { stored = r; });
    });
    ASSERT_EQ(shape(posts), (std::vector<std::pair<UINT, WPARAM>>{{kMainProgress, 0},
                                                                  {kMainProgress, 1},
                                                                  {kMainProgress, 2},
                                                                  {kMainProgress, 3},
                                                                  {kMainApplyDone, 0}}));
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_GE(static_cast<DWORD>(posts[i].tick - posts[i - 1].tick), 480u) << i;
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->test_run);
    EXPECT_EQ(stored->applied, 3u);
    EXPECT_EQ(stored->closed, 1u);
    EXPECT_EQ(stored->startup_off, 1u);
    EXPECT_EQ(stored->junk_bytes, 5'000'000u);
    EXPECT_EQ(stored->committed_after, stored->committed_before);
    // It says what it would have done.
    EXPECT_EQ(
        result_lines(*stored),
        (std::vector<std::string>{"Would close 1 idle program", "Would delete 4 MB of junk files",
                                  "Would stop 1 app opening at sign-in"}));
    EXPECT_TRUE(child.running());
    EXPECT_EQ(startup.read().state, ApprovedState::Absent);
    EXPECT_FALSE(exists(data.file("journal.json")));
}

// A journal another program holds open without sharing cannot be saved over, so the
// window's Optimise and a page's apply change nothing, and both say so: never a
// success with the change made and missing from History.
TEST(ApplyRunWin, ALockedJournalIsAFailureOnTheDoneLineAndTheStatus) {
    TempDir data("apply");
    ScopedEnv data_env("TESS_DATA_DIR", data.path());
    ScopedEnv dry("TESS_DRY_RUN", std::nullopt);
    const std::string path = data.file("journal.json");
    Journal earlier{path, {}};
    push_entry(earlier, old_failure(), 1);
    save_journal(earlier);
    win::unique_hfile held(::CreateFileW(win::widen(path).c_str(), GENERIC_READ, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    Sleeper child;
    const Action kill =
        KillProcesses{"Sleeper", {{child.pid, "tess_changes_tests.exe", child.created}}};
    Receiver window;
    std::optional<OptimiseResult> result;
    window.run(kMainApplyDone, [&] {
        apply_run(window.hwnd, {kill}, 0, [&](OptimiseResult r) { result = std::move(r); });
    });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->failures, std::vector<std::string>{std::string(kNotChangedUnsaved)});
    EXPECT_EQ(result->applied, 0u);
    EXPECT_EQ(result->closed, 0u);
    const auto lines = result_lines(*result);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("didn't work: " + std::string(kNotChangedUnsaved)) != std::string::npos;
    })) << lines.front();
    EXPECT_TRUE(child.running());

    std::optional<ChangesStatus> status;
    window.run(kMainChangesDone, [&] {
        apply_changes({ApplyOp{kill}}, window.hwnd, [&](ChangesStatus s) { status = s; });
    });
    ASSERT_TRUE(status);
    EXPECT_EQ(status->text,
              "0 change(s) applied, 1 didn't work (" + std::string(kNotChangedUnsaved) + ").");
    EXPECT_FALSE(status->success);
    EXPECT_TRUE(child.running());
    held.reset();
    EXPECT_EQ(load_journal(path).entries, earlier.entries);
}

TEST(ApplyChangesWin, DeclinedApprovalSkipsTheAdminChange) {
    TempDir data("apply");
    ScopedEnv data_env("TESS_DATA_DIR", data.path());
    ApprovedName first("PageA"), second("PageB");
    TestService svc("Page", SERVICE_AUTO_START);
    ASSERT_TRUE(svc.svc) << svc.create_error;
    RunSystem sys = unelevated_system();
    int prompts = 0;
    sys.elevate = [&](const Plan& plan) {
        return run_elevated(plan, nullptr, [&](SHELLEXECUTEINFOW*) {
            ++prompts;
            ::SetLastError(ERROR_CANCELLED);
            return FALSE;
        });
    };
    const std::vector<Op> ops = {
        ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, first.name, false}},
        ApplyOp{SetServiceStart{svc.name, "Test service", SERVICE_DEMAND_START, true}},
        ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, second.name, false}},
    };
    Receiver window;
    std::optional<ChangesStatus> stored;
    const auto posts = window.run(kMainChangesDone, [&] {
        apply_changes(
            ops, window.hwnd, [&](ChangesStatus s) { stored = s; }, sys);
    });
    EXPECT_EQ(shape(posts), (std::vector<std::pair<UINT, WPARAM>>{{kMainChangesDone, 0}}));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->text,
              "\xE2\x9C\x94 Done: 2 change(s) applied. 1 change(s) skipped because admin approval "
              "was cancelled.");
    EXPECT_FALSE(stored->success);
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(load_journal(data.file("journal.json")).entries.size(), 2u);
    EXPECT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_AUTO_START));
}

// A page apply under TESS_DRY_RUN: the process lives, the Run value and the files stay,
// no journal appears, and the status says what would have been done.
TEST(ApplyChangesWin, TestRunChangesNothing) {
    TempDir data("apply");
    ScopedEnv data_env("TESS_DATA_DIR", data.path());
    ScopedEnv dry("TESS_DRY_RUN", "");
    Sleeper child;
    ASSERT_TRUE(child.running());
    ApprovedName startup("DryPage");
    const std::string modules = data.file("proj\\node_modules");
    win::create_dirs(modules);
    test::write_text(data.file("proj\\package.json"), "{}");
    test::write_text(modules + "\\a.js", "x");
    const std::vector<Op> ops = {
        ApplyOp{KillProcesses{"Sleeper", {{child.pid, "tess_changes_tests.exe", child.created}}}},
        ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, startup.name, false}},
        ApplyOp{DeleteDevFolder{modules, "node_modules in proj"}},
        UndoOp{1},
    };
    Receiver window;
    std::optional<ChangesStatus> stored;
    const auto posts = window.run(kMainChangesDone, [&] {
        apply_changes(ops, window.hwnd, [&](ChangesStatus s) { stored = s; });
    });
    EXPECT_EQ(shape(posts), (std::vector<std::pair<UINT, WPARAM>>{{kMainChangesDone, 0}}));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->text, "3 change(s) would be applied: End Sleeper (1 process); Disable \"" +
                                startup.name +
                                "\" at startup; Delete node_modules in proj (test run: nothing "
                                "was changed)");
    EXPECT_TRUE(stored->success);
    EXPECT_TRUE(child.running());
    EXPECT_EQ(startup.read().state, ApprovedState::Absent);
    EXPECT_TRUE(exists(modules + "\\a.js"));
    EXPECT_FALSE(exists(data.file("journal.json")));
}

// History's undo: the service undo goes to the real helper, the startup one runs here.
TEST(ApplyChangesWin, UndosThroughTheHelper) {
    TempDir data("apply");
    ScopedEnv data_env("TESS_DATA_DIR", data.path());
    ApprovedName startup("Hist");
    TestService svc("Hist", SERVICE_AUTO_START);
    ASSERT_TRUE(svc.svc) << svc.create_error;
    const std::string journal = data.file("journal.json");
    apply_ops_as(journal,
                 {ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, startup.name, false}},
                  ApplyOp{SetServiceStart{svc.name, "Test", SERVICE_DISABLED, false}},
                  ApplyOp{CleanJunk{"nope", "Nothing"}}},
                 true);
    ASSERT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_DISABLED));
    Receiver window;
    std::optional<ChangesStatus> stored;
    window.run(kMainChangesDone, [&] {
        apply_changes(
            {UndoOp{1}, UndoOp{2}, UndoOp{3}}, window.hwnd, [&](ChangesStatus s) { stored = s; },
            unelevated_system());
    });
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->text,
              "2 change(s) applied, 1 didn't work (Undo: this change cannot be undone (closed apps "
              "start again when you open them; deleted files are gone)).");
    EXPECT_FALSE(stored->success);
    EXPECT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_AUTO_START));
    EXPECT_EQ(startup.read().state, ApprovedState::Absent);
    const Journal j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 6u);
    EXPECT_EQ(j.entries[5].message, "Undo: restored to Automatic");
    EXPECT_EQ(j.entries[5].undo_of, 2u);
}

// The quick panel and the main window are told while the approval prompt is open, so
// they can say so instead of looking hung; the stand-in posts a marker from inside it.
TEST(QuickOptimiseWin, ThePanelIsToldWhileTheApprovalPromptIsOpen) {
    TempDir data("apply");
    ScopedEnv data_env("TESS_DATA_DIR", data.path());
    TestService svc("Wait", SERVICE_AUTO_START);
    ASSERT_TRUE(svc.svc) << svc.create_error;
    Receiver panel;
    RunSystem sys = unelevated_system();
    sys.elevate = [&](const Plan&) {
        ::PostMessageW(panel.hwnd, kPanelStep, 99, 0);
        return ElevationResult{ElevationKind::Cancelled, 0, {}};
    };
    tell_while_approving(sys, [&](bool approving) {
        ::PostMessageW(panel.hwnd, kPanelApproval, approving ? 1 : 0, 0);
    });
    const auto posts = panel.run(kPanelApplyDone, [&] {
        quick_optimise(
            {SetServiceStart{svc.name, "Test service", SERVICE_DEMAND_START, true}}, 0, panel.hwnd,
            [](OptimiseResult) {}, sys);
    });
    std::vector<std::pair<UINT, WPARAM>> around;
    for (const auto& [message, wparam] : shape(posts))
        if (message == kPanelApproval || wparam == 99) around.emplace_back(message, wparam);
    EXPECT_EQ(around, (std::vector<std::pair<UINT, WPARAM>>{
                          {kPanelApproval, 1}, {kPanelStep, 99}, {kPanelApproval, 0}}));
    EXPECT_EQ(kWaitingForApproval, "Waiting for your approval\xE2\x80\xA6");
}

TEST(QuickOptimiseWin, StepsZeroToThreeThenTheResultAndALogLine) {
    TempDir data("apply");
    ScopedEnv data_env("TESS_DATA_DIR", data.path());
    ScopedEnv dry("TESS_DRY_RUN", "1");
    ApprovedName startup("Quick");
    Receiver panel;
    std::optional<OptimiseResult> stored;
    const auto posts = panel.run(kPanelApplyDone, [&] {
        quick_optimise({SetStartupEnabled{StartupLocation::HkcuRun, startup.name, false}}, 0,
                       panel.hwnd, [&](OptimiseResult r) { stored = r; });
    });
    ASSERT_EQ(posts.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(posts[i].message, kPanelStep);
        EXPECT_EQ(posts[i].wparam, i);
    }
    EXPECT_EQ(posts[4].message, kPanelApplyDone);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->startup_off, 1u);
    const auto log = test::read_text(data.file("agent.log"));
    ASSERT_TRUE(log);
    // A test run: the line says what it would have done.
    EXPECT_NE(log->find("  quick panel: done. Would stop 1 app opening at sign-in\n"),
              std::string::npos)
        << *log;
}

}  // namespace
}  // namespace tess
