// The list pages through the real Tessavo.exe: on each page one ticked row, confirmed,
// makes its real change, checked in the system afterwards. Junk in a test temp folder, a
// project under TESS_DEV_ROOTS with a folder link to a decoy inside its node_modules, a
// copy of this test program as the app to close, a per-user Run value and a service of
// our own. The status line is read in this process, where the window is our own.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <thread>

#include "model/journal.hpp"
#include "scan/realfs_winutil.hpp"
#include "support/run_value.hpp"
#include "support/test_service.hpp"
#include "sys/startup.hpp"
#include "ui/list_pages_win.hpp"
#include "ui/main_window_winutil.hpp"
#include "ui/ui_messages.hpp"

namespace tess::ui {
namespace {

using namespace wintest;
using test::kDayTicks;
using test::kHourTicks;
using test::make_file;

TEST(ListPagesWindow, EachPageKindMakesItsRealChange) {
    PagesFixture fx;
    test::FolderLink link(fx.dir.file("decoy"), fx.modules + "\\linked");
    Sleeper app{fx.dir, "tess-page-app.exe"};
    ASSERT_TRUE(app.program.running());
    test::RunValue run{"TessPagesTest", L"\"C:\\tess-pages-test\\tool.exe\" --tray"};
    test::TestService svc("Pages", SERVICE_AUTO_START);
    ASSERT_TRUE(svc.svc) << svc.create_error;
    ASSERT_TRUE(svc.start());
    test::RunningProgram program;
    const ud::Window main = open_main(program, {"--scan"}, fx.env(false));
    ASSERT_TRUE(main);
    const std::uint32_t pid = program.pid();
    ASSERT_TRUE(wait_for([&] { return visible(main, id::kList); }, 60'000));

    // Junk files: the old file goes, the new one stays, the row then shows less.
    int r = pick(main, 1, "Temporary files", "Clean 2 KB");
    ASSERT_GE(r, 0);
    EXPECT_EQ(cell(main, r, 1), "2 KB");
    auto text = click_and_answer(main, pid, id::kPageAction, ud::Answer::yes);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text,
              "Tessavo will:\n\n\xE2\x80\xA2 Clean Temporary files\n"
              "\nDeleted junk files can't be restored.\n\nContinue?");
    ASSERT_TRUE(wait_applied(main));
    EXPECT_FALSE(test::exists(fx.dir.file("Temp\\old.tmp")));
    EXPECT_TRUE(test::exists(fx.dir.file("Temp\\new.tmp")));
    EXPECT_EQ(cell(main, row_of(main, "Temporary files"), 1), "empty");

    // Developer junk: the project's node_modules is deleted; the decoy its link points at
    // survives.
    r = pick(main, 2, "proj \xE2\x80\x94 node_modules", "Delete 1 folder (1 KB)");
    ASSERT_GE(r, 0);
    text = click_and_answer(main, pid, id::kPageAction, ud::Answer::yes);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text,
              "Tessavo will:\n\n\xE2\x80\xA2 Delete node_modules in proj\n"
              "\nDeleted folders can't be restored; npm install, cargo build and the like make "
              "them again when you need them.\n\nContinue?");
    ASSERT_TRUE(wait_applied(main));
    EXPECT_FALSE(test::exists(fx.modules + "\\a\\index.js"));
    EXPECT_TRUE(test::exists(fx.dir.file("decoy\\keep.txt")));

    // Apps using memory: the test app is closed.
    r = pick(main, 3, "tess-page-app", "");
    ASSERT_GE(r, 0);
    EXPECT_TRUE(caption(main, id::kPageAction).starts_with("Close 1 app ("))
        << caption(main, id::kPageAction);
    text = click_and_answer(main, pid, id::kPageAction, ud::Answer::yes);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text,
              "Tessavo will:\n\n\xE2\x80\xA2 End tess-page-app (1 process)\n"
              "\nApps that are closed lose unsaved work.\n\nContinue?");
    ASSERT_TRUE(wait_applied(main));
    app.program.wait(10'000);
    EXPECT_FALSE(app.program.running());

    // Start with Windows: the Run value is switched off through StartupApproved.
    r = pick(main, 4, run.name, "Switch 1 on/off");
    ASSERT_GE(r, 0);
    EXPECT_EQ(cell(main, r, 1), "Yes");
    text = click_and_answer(main, pid, id::kPageAction, ud::Answer::yes);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "Tessavo will:\n\n\xE2\x80\xA2 Disable \"" + run.name +
                         "\" at startup\n\n\nContinue?");
    ASSERT_TRUE(wait_applied(main));
    const ApprovedValue approved = run.approved();
    ASSERT_EQ(approved.state, ApprovedState::Present);
    EXPECT_EQ(approved.bytes.at(0), 3);
    EXPECT_EQ(cell(main, wait_row(main, run.name), 1), "No");

    // Background services: the service starts only when needed and is stopped.
    r = pick(main, 5, svc.display, "Start 1 only when needed");
    ASSERT_GE(r, 0);
    text = click_and_answer(main, pid, id::kPageAction, ud::Answer::yes);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "Tessavo will:\n\n\xE2\x80\xA2 Set service \"" + svc.display +
                         "\" to Manual and stop it\n"
                         "\nSome changes need admin rights: Windows will ask once.\n\nContinue?");
    ASSERT_TRUE(wait_applied(main));
    EXPECT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_DEMAND_START));
    EXPECT_TRUE(svc.wait_for(SERVICE_STOPPED));

    // One journal entry per page, in order, each for the ticked row only.
    const Journal j = load_journal(fx.journal());
    ASSERT_EQ(j.entries.size(), 5u);
    EXPECT_EQ(describe(j.entries[0].action), "Clean Temporary files");
    EXPECT_EQ(describe(j.entries[1].action), "Delete node_modules in proj");
    EXPECT_EQ(describe(j.entries[2].action), "End tess-page-app (1 process)");
    EXPECT_EQ(describe(j.entries[3].action), "Disable \"" + run.name + "\" at startup");
    EXPECT_TRUE(describe(j.entries[4].action).starts_with("Set service")) << j.entries[4].message;
    for (const auto& e : j.entries)
        EXPECT_TRUE(e.ok) << describe(e.action) << ": " << e.message;
}

// ---- in this process: the status line -------------------------------------------------

// Sends a command to the window here; a helper thread answers the box it opens and
// keeps its text.
std::string command_answered(HWND hwnd, int id, ud::Answer answer) {
    std::string text;
    std::thread answerer([&] {
        const auto box = ud::wait_message_box(::GetCurrentProcessId(), 10'000);
        if (!box.ok()) return;
        text = ud::message_box_text(box.value());
        // A box without the expected button is closed anyway, so the test cannot hang.
        if (!ud::answer_message_box(box.value(), answer).ok())
            ud::answer_message_box(box.value(), ud::Answer::ok);
    });
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    answerer.join();
    return text;
}

// Under TESS_DRY_RUN a page apply changes nothing, writes no journal entry, and its
// status says what would have been done. With nothing ticked the button says so.
TEST(ListPagesHere, TestRunApplyChangesNothingAndSaysSo) {
    PagesFixture fx;
    std::vector<std::unique_ptr<test::ScopedEnv>> env;  // never moved: each restores once
    for (const auto& v : fx.env(true))
        env.push_back(std::make_unique<test::ScopedEnv>(v.name, v.value));
    const HWND hwnd = create_main_window({}, true);
    ASSERT_TRUE(hwnd);
    UiState& s = *state_of(hwnd);
    start_scan(s, true);
    pump_until([&] { return !s.busy; }, 60'000);
    ASSERT_FALSE(s.busy);
    set_page(s, Page::Junk);
    pump_until([] { return false; }, 100);

    // Nothing ticked: the notice, no change.
    for (int i = 0; i < static_cast<int>(s.list_model.rows.size()); ++i) {
        LVITEMW off{};
        off.stateMask = LVIS_STATEIMAGEMASK;
        off.state = INDEXTOSTATEIMAGEMASK(s.list_model.rows[i].checkbox ? 1 : 0);
        ::SendMessageW(s.list, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&off));
    }
    pump_until([] { return false; }, 100);
    EXPECT_EQ(s.action_caption, "Tick junk to clean");
    EXPECT_EQ(command_answered(hwnd, id::kPageAction, ud::Answer::ok),
              "Tick at least one row first.");
    EXPECT_FALSE(s.busy);

    // "Select all" ticks every row that has a box, and none without.
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id::kSelectAll, BN_CLICKED), 0);
    pump_until([] { return false; }, 100);
    EXPECT_TRUE(s.all_ticked);
    const std::vector<bool> ticked = ticked_flags(s);
    for (std::size_t i = 0; i < ticked.size(); ++i)
        EXPECT_EQ(ticked[i], s.list_model.rows[i].checkbox) << i;
    // Only the temp folder's row: the rest of the prefix's junk stays out of this test.
    for (int i = 0; i < static_cast<int>(s.list_model.rows.size()); ++i) {
        LVITEMW st{};
        st.stateMask = LVIS_STATEIMAGEMASK;
        const bool mine = s.list_model.rows[i].cells[0] == "Temporary files";
        st.state = INDEXTOSTATEIMAGEMASK(!s.list_model.rows[i].checkbox ? 0 : mine ? 2 : 1);
        ::SendMessageW(s.list, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&st));
    }
    pump_until([] { return false; }, 100);
    EXPECT_EQ(s.action_caption, "Clean 2 KB");
    EXPECT_EQ(command_answered(hwnd, id::kPageAction, ud::Answer::yes),
              "Tessavo will:\n\n\xE2\x80\xA2 Clean Temporary files\n"
              "\nDeleted junk files can't be restored.\n\nContinue?");
    EXPECT_TRUE(s.busy);
    EXPECT_EQ(s.status, "Applying changes\xE2\x80\xA6");
    pump_until([&] { return s.status.starts_with("1 change"); }, 60'000);
    EXPECT_EQ(s.status,
              "1 change(s) would be applied: Clean Temporary files (test run: nothing was "
              "changed)");
    EXPECT_EQ(s.status_kind, StatusKind::Success);
    EXPECT_FALSE(s.busy);
    EXPECT_TRUE(test::exists(fx.dir.file("Temp\\old.tmp")));
    EXPECT_FALSE(test::exists(fx.journal()));

    // Developer junk from page 2: a first scan, then "Looking again…" over its result.
    set_page(s, Page::DevJunk);
    EXPECT_EQ(s.status,
              "Looking for developer folders on your drives\xE2\x80\xA6 This takes up to half a "
              "minute.");
    EXPECT_EQ(s.action_caption, "Looking for folders\xE2\x80\xA6");
    pump_until([&] { return !s.list_model.rows.empty(); }, 60'000);
    ASSERT_EQ(s.list_model.rows.size(), 1u);
    EXPECT_EQ(s.list_model.rows[0].cells[0], "proj \xE2\x80\x94 node_modules");
    EXPECT_TRUE(ticked_flags(s)[0]);
    EXPECT_EQ(s.action_caption, "Delete 1 folder (1 KB)");
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id::kRescan, BN_CLICKED), 0);
    EXPECT_EQ(s.status, "Looking again\xE2\x80\xA6");
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(hwnd, id::kRescan)));
    pump_until([&] { return ::IsWindowEnabled(::GetDlgItem(hwnd, id::kRescan)) != FALSE; }, 60'000);
    EXPECT_EQ(s.list_model.rows.size(), 1u);

    ::DestroyWindow(hwnd);
    pump_until([] { return false; }, 50);
    std::lock_guard lock(shared_state().mutex);
    shared_state().scan.reset();
    shared_state().dev.reset();
}

// Rows whose items changed between the fill and the apply: a process that ended, a folder
// already gone, a service deleted. Each apply reports in the status line, nothing crashes,
// and nothing outside the ticked rows changes.
TEST(ListPagesHere, ItemsGoneSinceTheFillEndInAStatusNotACrash) {
    test::TempDir dir{"gone"};
    const std::uint64_t now = win::filetime_now();
    make_file(dir.file("src\\proj\\package.json"), 2, now, 40 * kDayTicks);
    make_file(dir.file("src\\proj\\node_modules\\a.js"), 700, now, 40 * kDayTicks);
    win::create_dirs(dir.file("empty"));
    test::ScopedEnv data("TESS_DATA_DIR", dir.file("Data"));
    test::ScopedEnv roots("TESS_DEV_ROOTS", dir.file("empty"));
    test::ScopedEnv real("TESS_DRY_RUN", std::nullopt);
    const HWND hwnd = create_main_window({}, true);
    ASSERT_TRUE(hwnd);
    UiState& s = *state_of(hwnd);

    const auto store = [&] {
        ScanResult scan = scan_of_gone_items();
        DevFolder gone;
        gone.path = dir.file("src\\gone\\node_modules");
        gone.name = "node_modules";
        gone.project_name = "gone";
        gone.bytes = 4096;
        gone.project_age_days = 90;
        std::lock_guard lock(shared_state().mutex);
        shared_state().scan = std::move(scan);
        shared_state().dev = std::vector<DevFolder>{gone};
    };
    const struct {
        Page page;
        std::string row;
        std::string status;
        StatusKind kind;
    } cases[] = {
        // A process that is gone is as good as closed.
        {Page::Apps, "tess-ended-app", "\xE2\x9C\x94 Done: 1 change(s) applied.",
         StatusKind::Success},
        {Page::Services, "Deleted test service",
         "0 change(s) applied, 1 didn't work (Reading service failed: service does not exist).",
         StatusKind::Problem},
        {Page::DevJunk, "gone \xE2\x80\x94 node_modules",
         "0 change(s) applied, 1 didn't work (the folder is already gone).", StatusKind::Problem},
    };
    for (const auto& c : cases) {
        store();
        set_page(s, c.page);
        pump_until([] { return false; }, 50);
        ASSERT_EQ(s.list_model.rows.size(), 1u) << c.row;
        EXPECT_EQ(s.list_model.rows[0].cells[0], c.row);
        if (!s.all_ticked)  // Select all; it would clear rows ticked already
            ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id::kSelectAll, BN_CLICKED), 0);
        pump_until([] { return false; }, 50);
        EXPECT_TRUE(s.all_ticked) << c.row;
        const std::string question = command_answered(hwnd, id::kPageAction, ud::Answer::yes);
        EXPECT_TRUE(question.starts_with("Tessavo will:")) << question;
        pump_until(
            [&] {
                return !s.busy && !s.status.starts_with("Applying") &&
                       !s.status.starts_with("Rescanning") &&
                       ::IsWindowEnabled(::GetDlgItem(hwnd, id::kRescan));
            },
            60'000);
        EXPECT_FALSE(s.busy) << c.row;
        EXPECT_EQ(s.status, c.status);
        EXPECT_EQ(s.status_kind, c.kind) << c.row;
    }
    EXPECT_TRUE(::IsWindow(hwnd));
    const Journal j = load_journal(dir.file("Data\\journal.json"));
    EXPECT_EQ(j.entries.size(), 3u);
    // The project beside the gone folder is untouched.
    EXPECT_TRUE(test::exists(dir.file("src\\proj\\node_modules\\a.js")));

    ::DestroyWindow(hwnd);
    pump_until([] { return false; }, 50);
    std::lock_guard lock(shared_state().mutex);
    shared_state().scan.reset();
    shared_state().dev.reset();
}

}  // namespace
}  // namespace tess::ui
