// History & undo through the real Tessavo.exe: changes made by the executor (a per-user
// Run value switched off, a service of our own set to start when needed, a closed test
// program, a change that failed) are listed, the undoable ones undone through the page with
// the question read and answered, and checked in the registry and the service manager.
// The status line, the rows' boxes and a bad journal are looked at in this process, where
// the window is our own.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "changes/apply_win.hpp"
#include "core/settings.hpp"
#include "model/journal.hpp"
#include "support/run_value.hpp"
#include "support/test_service.hpp"
#include "sys/startup.hpp"
#include "ui/autopilot_text.hpp"
#include "ui/history_text.hpp"
#include "ui/main_window_winutil.hpp"
#include "ui/ui_messages.hpp"
#include "ui/ui_win.hpp"

namespace tess::ui {
namespace {

using namespace wintest;

std::uint64_t creation_time(std::uint32_t pid) {
    const win::unique_handle h(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    FILETIME created{}, unused{};
    if (!h || !::GetProcessTimes(h.get(), &created, &unused, &unused, &unused)) return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// The data folder and the four journal entries, made by the executor in this process:
// 1 the Run value switched off, 2 the service set to start when needed, 3 the test program
// closed, 4 a service that does not exist (failed).
struct History {
    test::TempDir dir{"history"};
    test::ScopedEnv data{"TESS_DATA_DIR", dir.file("Data")};
    test::ScopedEnv real{"TESS_DRY_RUN", std::nullopt};
    test::RunValue run{"TessHistoryTest", L"\"C:\\tess-history-test\\tool.exe\" --tray"};
    test::TestService svc{"History", SERVICE_AUTO_START};
    Sleeper app{dir, "tess-history-app.exe"};
    std::string disable_run, set_service;

    History() {
        win::create_dirs(dir.file("Data"));
        const std::uint32_t pid = app.program.pid();
        const std::vector<Op> ops = {
            ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, run.name, false}},
            ApplyOp{SetServiceStart{svc.name, svc.display, SERVICE_DEMAND_START, false}},
            ApplyOp{KillProcesses{"2 Gradle daemons",
                                  {{pid, "tess-history-app.exe", creation_time(pid)}}}},
            ApplyOp{SetServiceStart{"TessNoSuchService", "No such service", SERVICE_DEMAND_START,
                                    false}},
        };
        changes_run(ops, run_system(nullptr, /*dry_run=*/false));
        disable_run = "Disable \"" + run.name + "\" at startup";
        set_service = "Set service \"" + svc.display + "\" to Manual";
    }
    std::vector<test::EnvVar> env() const {
        return {{"TESS_DATA_DIR", dir.file("Data")},
                {"TESS_OFFSCREEN", "1"},
                {"TESS_NO_UPDATE_CHECK", "1"},
                {"TESS_DRY_RUN", std::nullopt}};
    }
};

int row_count(ud::Window top) {
    const auto n = ud::lv_count(list_of(top));
    return n.ok() ? n.value() : -1;
}

// The row whose "What changed" cell is `text`, or -1.
int row_changed(ud::Window top, const std::string& text) {
    const auto rows = ud::lv_rows(list_of(top));
    if (!rows.ok()) return -1;
    for (std::size_t i = 0; i < rows.value().size(); ++i)
        if (rows.value()[i].size() > 1 && rows.value()[i][1] == text) return static_cast<int>(i);
    return -1;
}

std::vector<std::string> kept_in(const History& h) {
    const auto text = test::read_text(h.dir.file("Data\\settings.json"));
    if (!text) return {};
    const auto s = parse_settings(*text);
    return s ? s->keep_running : std::vector<std::string>{};
}

TEST(HistoryWindow, ListsTheJournalKeepsAProgramRunningAndUndoes) {
    History h;
    ASSERT_TRUE(h.svc.svc) << h.svc.create_error;
    {
        const Journal j = load_journal(h.dir.file("Data\\journal.json"));
        ASSERT_EQ(j.entries.size(), 4u);
        EXPECT_TRUE(j.entries[0].ok && j.entries[1].ok && j.entries[2].ok) << j.entries[2].message;
        EXPECT_FALSE(j.entries[3].ok);
    }
    ASSERT_EQ(h.svc.start_type(), static_cast<std::uint32_t>(SERVICE_DEMAND_START));
    ASSERT_EQ(h.run.approved().state, ApprovedState::Present);

    test::RunningProgram program;
    const ud::Window main = open_main(program, {"--history"}, h.env());
    ASSERT_TRUE(main);
    ASSERT_TRUE(wait_for([&] { return row_count(main) == 4; }, 60'000));
    // Newest first, with the four statuses.
    const auto rows = ud::lv_rows(list_of(main));
    ASSERT_TRUE(rows.ok());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Set service \"No such service\" to Manual", "Didn't work"},
        {"End 2 Gradle daemons (1 process)", "Done"},
        {h.set_service, "Can undo"},
        {h.disable_run, "Can undo"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(rows.value()[i][1], expected[i].first) << i;
        EXPECT_EQ(rows.value()[i][3], expected[i].second) << i;
    }
    EXPECT_EQ(caption(main, id::kPageAction), "Tick changes to undo");
    EXPECT_FALSE(visible(main, id::kKeepRunning));

    // The closed program: keep it running, then let Optimise close it again.
    ASSERT_TRUE(ud::lv_select(list_of(main), 1).ok());
    ASSERT_TRUE(wait_for([&] { return visible(main, id::kKeepRunning); }, 5'000));
    EXPECT_EQ(caption(main, id::kKeepRunning), "Never close Gradle daemon automatically");
    ASSERT_TRUE(ud::click(main, id::kKeepRunning).ok());
    ud::settle(main);
    EXPECT_EQ(kept_in(h), std::vector<std::string>{"gradle daemon"});
    EXPECT_EQ(caption(main, id::kKeepRunning), "Let Optimise close Gradle daemon again");
    ASSERT_TRUE(ud::click(main, id::kKeepRunning).ok());
    ud::settle(main);
    EXPECT_TRUE(kept_in(h).empty());
    EXPECT_EQ(caption(main, id::kKeepRunning), "Never close Gradle daemon automatically");
    // Another row offers nothing.
    ASSERT_TRUE(ud::lv_select(list_of(main), 2).ok());
    ud::settle(main);
    EXPECT_FALSE(visible(main, id::kKeepRunning));

    // Tick both undoable rows; meanwhile another process undoes the Run value's entry.
    tick(main, 2, true);
    tick(main, 3, true);
    EXPECT_EQ(caption(main, id::kPageAction), "Undo 2 changes");
    changes_run({UndoOp{1}}, run_system(nullptr, /*dry_run=*/false));
    EXPECT_EQ(h.run.approved().state, ApprovedState::Absent);
    const auto text = click_and_answer(main, program.pid(), id::kPageAction, ud::Answer::yes);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "Tessavo will:\n\n\xE2\x80\xA2 Undo: " + h.set_service +
                         "\n\nSkipped: #1 (already undone)\n"
                         "\nSome changes need admin rights: Windows will ask once.\n\nContinue?");
    ASSERT_TRUE(wait_for(
        [&] {
            return enabled(main, id::kRescan) &&
                   cell(main, row_changed(main, h.set_service), 3) == "Undone";
        },
        90'000));
    EXPECT_EQ(h.svc.start_type(), static_cast<std::uint32_t>(SERVICE_AUTO_START));
    // The undo entries are not rows; the entries they undid read "Undone", once each.
    EXPECT_EQ(row_count(main), 4);
    EXPECT_EQ(cell(main, row_changed(main, h.disable_run), 3), "Undone");
    const Journal j = load_journal(h.dir.file("Data\\journal.json"));
    EXPECT_EQ(j.entries.size(), 6u);
}

// ---- in this process ---------------------------------------------------------------------

struct Window {
    test::TempDir dir{"historyhere"};
    test::ScopedEnv data{"TESS_DATA_DIR", dir.file("Data")};
    HWND hwnd = nullptr;
    UiState* s = nullptr;

    explicit Window(const std::string& journal) {
        win::create_dirs(dir.file("Data"));
        test::write_text(dir.file("Data\\journal.json"), journal);
        hwnd = create_main_window({}, true);
        s = hwnd ? state_of(hwnd) : nullptr;
        if (!s) return;
        start_scan(*s, true);
        pump_until([&] { return !s->busy; }, 60'000);
        set_page(*s, Page::History);
        pump_until([] { return false; }, 50);
    }
    ~Window() {
        if (hwnd) ::DestroyWindow(hwnd);
        pump_until([] { return false; }, 50);
        std::lock_guard lock(shared_state().mutex);
        shared_state().scan.reset();
    }
    void select(int row) {
        LVITEMW st{};
        st.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        st.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(s->list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&st));
        pump_until([] { return false; }, 20);
    }
    void command(int id) {
        ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        pump_until([] { return false; }, 20);
    }
};

JournalEntry entry(std::uint64_t id, Action action, bool ok, bool undone = false) {
    JournalEntry e;
    e.id = id;
    e.time = win::filetime_now();
    e.action = std::move(action);
    e.ok = ok;
    e.undone = undone;
    e.message = ok ? "done" : "access denied (needs admin)";
    return e;
}

TEST(HistoryHere, BoxesOnlyOnUndoableRowsAndTheKeepButtonsStatus) {
    JournalEntry undo = entry(5, SetServiceStart{"a", "A", 3, false}, true);
    undo.undo_of = 1;
    const std::string journal = serialize_journal({
        entry(1, SetServiceStart{"a", "A", 3, false}, true, true),
        entry(2, KillProcesses{"3 Vite dev servers", {}}, true),
        entry(3, CleanJunk{"user_temp", "Temporary files"}, true),
        entry(4, SetStartupEnabled{StartupLocation::HkcuRun, "x", false}, false),
        undo,
        entry(6, SetStartupEnabled{StartupLocation::HkcuRun, "y", false}, true),
    });
    Window w(journal);
    ASSERT_TRUE(w.s);
    const auto& rows = w.s->list_model.rows;
    ASSERT_EQ(rows.size(), 5u);  // the undo entry is not a row
    const std::vector<std::pair<std::uint64_t, bool>> boxes = {
        {6, true}, {4, false}, {3, false}, {2, false}, {1, false}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].index, boxes[i].first);
        EXPECT_EQ(rows[i].checkbox, boxes[i].second) << i;
        const UINT image = static_cast<UINT>(::SendMessageW(w.s->list, LVM_GETITEMSTATE, i,
                                                            LVIS_STATEIMAGEMASK)) >>
                           12;
        EXPECT_EQ(image, boxes[i].second ? 1u : 0u) << i;  // unticked box, or none
    }
    EXPECT_EQ(w.s->status, "Click a row to see details.");

    // The dev-server row: its name, the keep list, and back.
    w.select(3);
    ASSERT_EQ(w.s->selected_program, std::optional<std::string>("Vite dev server"));
    EXPECT_EQ(w.s->status, "End 3 Vite dev servers (0 processes) \xE2\x80\x94 done");
    w.command(id::kKeepRunning);
    EXPECT_EQ(w.s->status, keep_status_text("Vite dev server", true));
    EXPECT_EQ(w.s->status_kind, StatusKind::Success);
    EXPECT_EQ(load_settings().keep_running, std::vector<std::string>{"vite dev server"});
    w.command(id::kKeepRunning);
    EXPECT_EQ(w.s->status, keep_status_text("Vite dev server", false));
    EXPECT_EQ(w.s->status_kind, StatusKind::Neutral);
    EXPECT_TRUE(load_settings().keep_running.empty());

    // settings.json that cannot be written: the list stays, the status says so.
    ASSERT_TRUE(win::create_dirs(w.dir.file("Data\\settings.tmp")));
    w.command(id::kKeepRunning);
    EXPECT_EQ(w.s->status, autopilot_status::kNotSaved);
    EXPECT_EQ(w.s->status_kind, StatusKind::Problem);
    EXPECT_TRUE(load_settings().keep_running.empty());

    // Another row clears the name; a page change too.
    w.select(1);
    EXPECT_FALSE(w.s->selected_program);
    w.select(3);
    EXPECT_TRUE(w.s->selected_program);
    set_page(*w.s, Page::Junk);
    EXPECT_FALSE(w.s->selected_program);
}

TEST(HistoryHere, AJournalWithAnUnknownKindShowsAnEmptyHistory) {
    const std::string journal =
        "[\n  {\n    \"id\": 1,\n    \"time\": 1,\n    \"action\": {\"kind\": \"format_disk\"},\n"
        "    \"previous\": {\"kind\": \"nothing\"},\n    \"ok\": true,\n    \"message\": \"x\",\n"
        "    \"freed_bytes\": 0,\n    \"undone\": false,\n    \"undo_of\": null\n  }\n]\n";
    Window w(journal);
    ASSERT_TRUE(w.s);
    EXPECT_TRUE(w.s->list_model.rows.empty());
    EXPECT_EQ(w.s->status, "No changes yet. Everything Tessavo changes shows up here.");
    EXPECT_EQ(w.s->action_caption, "Tick changes to undo");
    // Kept aside for a look, never lost.
    EXPECT_EQ(test::read_text(w.dir.file("Data\\journal.corrupt.json")), journal);
}

}  // namespace
}  // namespace tess::ui
