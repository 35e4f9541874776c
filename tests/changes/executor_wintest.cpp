// The executor against the real system under Wine. Wine runs every process elevated,
// so the unelevated behaviour is shown through apply_ops_as(..., elevated = false).
#include <windows.h>

#include <gtest/gtest.h>

#include "changes/executor.hpp"
#include "changes/fixtures_win.hpp"
#include "support/child.hpp"
#include "support/winutil.hpp"

namespace tess {
namespace {

using test::ApprovedName;
using test::Sleeper;
using test::TempDir;
using test::TestService;

TESS_CHILD(changes_sleeper) {
    ::Sleep(60'000);
    return 0;
}

const std::string kArrow = " \xE2\x86\x92 ";

// Wine gives every process a full, elevated token (the reason for apply_ops_as).
TEST(ExecutorWin, WineTokenIsElevated) {
    EXPECT_TRUE(process_elevated());
}

TEST(ExecutorWin, UnelevatedMixedListRunsTheFirstTwoAndDefersTheRest) {
    TempDir dir("exec");
    const std::string journal = dir.file("journal.json");
    Sleeper child;
    ASSERT_TRUE(child.running());
    ApprovedName mine("Mixed");
    TestService svc("Mixed", SERVICE_AUTO_START);
    ASSERT_TRUE(svc.svc) << svc.create_error;
    const std::vector<Op> ops = {
        ApplyOp{KillProcesses{"Sleeper", {{child.pid, "tess_changes_tests.exe", child.created}}}},
        ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, mine.name, false}},
        ApplyOp{SetStartupEnabled{StartupLocation::HklmRun, mine.name, false}},
        ApplyOp{SetServiceStart{svc.name, "Test", SERVICE_DEMAND_START, true}},
    };
    const auto deferred = apply_ops_as(journal, ops, /*elevated=*/false).deferred;
    EXPECT_EQ(deferred, (std::vector<Op>{ops[2], ops[3]}));
    EXPECT_EQ(child.exit_code(), 1);
    const Journal j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 2u);
    EXPECT_EQ(j.entries[0].message, "ended 1");
    EXPECT_EQ(j.entries[1].message, "disabled");
    // The deferred ones were not touched.
    EXPECT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_AUTO_START));
    EXPECT_EQ(read_startup_approved(StartupLocation::HklmRun, mine.name).state,
              ApprovedState::Absent);
}

TEST(ExecutorWin, ServiceChangeWithStopAndItsUndo) {
    TempDir dir("exec");
    const std::string journal = dir.file("journal.json");
    TestService svc("Undo", SERVICE_AUTO_START);
    ASSERT_TRUE(svc.start());
    EXPECT_TRUE(apply_ops(journal,
                          {ApplyOp{SetServiceStart{svc.name, "Test", SERVICE_DEMAND_START, true}}},
                          /*in_admin_helper=*/true)
                    .deferred.empty());
    Journal j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 1u);
    EXPECT_EQ(j.entries[0].message, "Automatic" + kArrow + "Manual, stopped");
    EXPECT_EQ(j.entries[0].previous, Previous{ServiceStart{SERVICE_AUTO_START}});
    EXPECT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_DEMAND_START));
    EXPECT_TRUE(svc.wait_for(SERVICE_STOPPED));

    EXPECT_TRUE(apply_ops_as(journal, {UndoOp{1}, UndoOp{1}}, true).deferred.empty());
    j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 2u);
    EXPECT_EQ(j.entries[1].message, "Undo: restored to Automatic");
    EXPECT_EQ(j.entries[1].undo_of, 1u);
    EXPECT_TRUE(j.entries[0].undone);
    EXPECT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_AUTO_START));

    // A missing service fails at the first step and is journalled, elevated or not.
    EXPECT_TRUE(
        apply_ops_as(journal, {ApplyOp{SetServiceStart{svc.name + "Gone", "x", 3, false}}}, true)
            .deferred.empty());
    j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 3u);
    EXPECT_EQ(j.entries[2].message, "Reading service failed: service does not exist");
    EXPECT_FALSE(j.entries[2].ok);
}

TEST(ExecutorWin, DisableWithoutApprovedValueThenUndoDeletesIt) {
    TempDir dir("exec");
    const std::string journal = dir.file("journal.json");
    ApprovedName mine("Disable");
    ASSERT_EQ(mine.read().state, ApprovedState::Absent);
    apply_ops_as(journal, {ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, mine.name, false}}},
                 false);
    const ApprovedValue written = mine.read();
    ASSERT_EQ(written.state, ApprovedState::Present);
    ASSERT_EQ(written.bytes.size(), 12u);
    EXPECT_EQ(written.bytes[0], 3);
    EXPECT_FALSE(startup_approved_enabled(written.bytes));
    Journal j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 1u);
    EXPECT_EQ(j.entries[0].previous, Previous{StartupApproved{std::nullopt}});

    apply_ops_as(journal, {UndoOp{1}}, false);
    EXPECT_EQ(mine.read().state, ApprovedState::Absent);
    j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 2u);
    EXPECT_EQ(j.entries[1].message, "Undo: startup setting restored");
    EXPECT_TRUE(j.entries[1].ok);
    EXPECT_TRUE(j.entries[0].undone);
}

TEST(ExecutorWin, OwnProcessIsNeverEnded) {
    TempDir dir("exec");
    const std::string journal = dir.file("journal.json");
    const DWORD pid = ::GetCurrentProcessId();
    apply_ops_as(journal, {ApplyOp{KillProcesses{"Me", {{pid, "tess_changes_tests.exe", 0}}}}},
                 false);
    const Journal j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 1u);
    EXPECT_EQ(j.entries[0].message, "ended 0, 1 protected, skipped");
    EXPECT_TRUE(j.entries[0].ok);
}

// A copy of this program named like a Windows process: the name in the action says
// otherwise, but the running image decides.
TEST(ExecutorWin, RunningImageWithAProtectedNameIsNeverEnded) {
    TempDir dir("exec");
    const std::string copy = dir.file("svchost.exe");
    ASSERT_TRUE(::CopyFileW(win::widen(win::exe_path()).c_str(), win::widen(copy).c_str(), TRUE));
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(test::create_process(test::quote_arg(copy) + " --child changes_sleeper", false, 0,
                                     nullptr, si, pi));
    ::CloseHandle(pi.hThread);
    win::unique_handle process(pi.hProcess);
    apply_ops_as(dir.file("journal.json"),
                 {ApplyOp{KillProcesses{"Disguised", {{pi.dwProcessId, "notepad.exe", 0}}}}},
                 false);
    const Journal j = load_journal(dir.file("journal.json"));
    ASSERT_EQ(j.entries.size(), 1u);
    EXPECT_EQ(j.entries[0].message, "ended 0, 1 protected, skipped");
    EXPECT_EQ(::WaitForSingleObject(process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ::TerminateProcess(process.get(), 9);
    ::WaitForSingleObject(process.get(), 5000);
}

TEST(ExecutorWin, OneGoneOneEnded) {
    TempDir dir("exec");
    const std::string journal = dir.file("journal.json");
    Sleeper live, reused;
    // The second target names a live pid with another creation time: a reused id.
    apply_ops_as(journal,
                 {ApplyOp{KillProcesses{"Two",
                                        {{reused.pid, "x.exe", reused.created + 1},
                                         {live.pid, "x.exe", live.created}}}}},
                 false);
    const Journal j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 1u);
    EXPECT_EQ(j.entries[0].message, "ended 1, 1 had already exited");
    EXPECT_EQ(live.exit_code(), 1);
    EXPECT_TRUE(reused.running());
}

}  // namespace
}  // namespace tess
