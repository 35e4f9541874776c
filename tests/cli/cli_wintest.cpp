// The real tessavo-cli.exe against real files, folder links, Run values and a service,
// with its standard streams redirected to files (so standard input is not a console)
// and the data directory, temp folder and profile pointed at a test folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "changes/executor.hpp"
#include "core/json.hpp"
#include "core/settings.hpp"
#include "model/journal.hpp"
#include "scan/realfs_winutil.hpp"
#include "support/run_value.hpp"
#include "support/test_service.hpp"
#include "support/winutil.hpp"
#include "sys/fsops.hpp"
#include "sys/startup.hpp"
#include "ui/main_window_winutil.hpp"
#include "ui/policy_winutil.hpp"

namespace tess {
namespace {

using namespace test;

struct CliRun {
    int code = -1;
    std::string out, err;
};

// tessavo-cli started with `args` (each quoted), standard input from NUL and the output
// streams in files named after `name`; finish() waits for it. Several run at once.
struct CliProcess {
    std::string out_path, err_path;
    win::unique_handle process;

    CliProcess(const TempDir& dir, const std::vector<std::string>& args,
               const std::string& name = "cli")
        : out_path(dir.file(name + "-out.txt")), err_path(dir.file(name + "-err.txt")) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        auto open = [&](const std::string& path, DWORD access, DWORD disposition) {
            return win::unique_hfile(::CreateFileW(win::widen(path).c_str(), access,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                                   disposition, 0, nullptr));
        };
        win::unique_hfile in = open("NUL", GENERIC_READ, OPEN_EXISTING);
        win::unique_hfile o = open(out_path, GENERIC_WRITE, CREATE_ALWAYS);
        win::unique_hfile e = open(err_path, GENERIC_WRITE, CREATE_ALWAYS);
        const std::string command = command_line_of(built_exe("tessavo-cli.exe"), args);
        STARTUPINFOW si{sizeof si};
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in.get();
        si.hStdOutput = o.get();
        si.hStdError = e.get();
        PROCESS_INFORMATION pi{};
        if (!create_process(command, true, CREATE_NO_WINDOW, nullptr, si, pi)) return;
        ::CloseHandle(pi.hThread);
        process.reset(pi.hProcess);
    }

    CliRun finish() {
        CliRun run;
        if (!process) return run;
        run.code = wait_exit(process);
        process.reset();
        run.out = read_text(out_path).value_or("");
        run.err = read_text(err_path).value_or("");
        return run;
    }
};

CliRun run_cli(const TempDir& dir, const std::vector<std::string>& args) {
    return CliProcess(dir, args).finish();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The test folder as temp folder, profile and data directory.
struct CliEnv {
    TempDir dir{"cli"};
    ScopedEnv temp{"TEMP", dir.file("Temp")};
    ScopedEnv tmp{"TMP", dir.file("Temp")};
    ScopedEnv local{"LOCALAPPDATA", dir.file("Local")};
    ScopedEnv data{"TESS_DATA_DIR", dir.file("Data")};
    ScopedEnv dry{"TESS_DRY_RUN", std::nullopt};
    std::string journal() const { return dir.file("Data\\journal.json"); }
};

TEST(ConsoleWin, JunkThenCleanDryRunAndReal) {
    if (!exists(built_exe("tessavo-cli.exe"))) GTEST_SKIP() << "tessavo-cli.exe is not built";
    CliEnv env;
    const std::uint64_t now = win::filetime_now();
    make_file(env.dir.file("Temp\\old.tmp"), 3000, now, 8 * kDayTicks);
    make_file(env.dir.file("Temp\\new.tmp"), 50, now, kHourTicks);

    CliRun r = run_cli(env.dir, {"junk", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto doc = json::parse_strict(r.out);
    ASSERT_TRUE(doc) << r.out;
    ASSERT_EQ((*doc)["junk"].size(), 7u);
    EXPECT_EQ((*doc)["junk"][0]["id"], "user_temp");
    EXPECT_EQ((*doc)["junk"][0]["files"], 1);
    EXPECT_EQ((*doc)["junk"][0]["bytes"], 3000);
    EXPECT_FALSE(r.err.empty());
    r = run_cli(env.dir, {"junk"});
    EXPECT_TRUE(contains(r.out, "[x] user_temp: Temporary files, 2 KB in 1 file\n")) << r.out;

    r = run_cli(env.dir, {"clean", "user_temp", "--dry-run"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out,
              "1 change(s) would be applied: Clean Temporary files (test run: nothing was "
              "changed)\n");
    EXPECT_TRUE(exists(env.dir.file("Temp\\old.tmp")));
    EXPECT_FALSE(exists(env.journal()));

    r = run_cli(env.dir, {"clean", "user_temp"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out,
              "Clean Temporary files: removed 1 file(s), 2 KB\n"
              "\xE2\x9C\x94 Done: 1 change(s) applied, 2 KB deleted.\n");
    EXPECT_FALSE(exists(env.dir.file("Temp\\old.tmp")));
    EXPECT_TRUE(exists(env.dir.file("Temp\\new.tmp")));
    // The journal the window writes and History reads.
    const Journal j = load_journal(env.journal());
    ASSERT_EQ(j.entries.size(), 1u);
    EXPECT_EQ(j.entries[0].action, (Action{CleanJunk{"user_temp", "Temporary files"}}));
    EXPECT_EQ(j.entries[0].freed_bytes, 3000u);

    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"clean", "cookies"}, {"clean"}, {"junk", "--yes"}, {"frobnicate"}, {}}) {
        r = run_cli(env.dir, bad);
        EXPECT_EQ(r.code, 2) << (bad.empty() ? "" : bad[0]);
        EXPECT_TRUE(contains(r.err, "usage: tessavo-cli")) << r.err;
    }
    EXPECT_EQ(load_journal(env.journal()).entries.size(), 1u);
}

// A project folder with a non-ASCII name: its path survives the redirected output as
// UTF-8, and deleting its node_modules removes the link inside as a link.
TEST(ConsoleWin, DevThenDevClean) {
    if (!exists(built_exe("tessavo-cli.exe"))) GTEST_SKIP() << "tessavo-cli.exe is not built";
    CliEnv env;
    const std::uint64_t now = win::filetime_now();
    const std::string root = env.dir.file("src");
    const std::string project = root + "\\Zo\xC3\xAB";
    const std::string modules = project + "\\node_modules";
    make_file(project + "\\package.json", 2, now, 40 * kDayTicks);
    make_file(modules + "\\a\\index.js", 700, now, 40 * kDayTicks);
    make_file(env.dir.file("decoy\\keep.txt"), 10, now, 0);
    FolderLink link(env.dir.file("decoy"), modules + "\\linked");
    if (!link.made()) GTEST_SKIP() << "no folder link could be made here";
    const std::string orphan = root + "\\orphan\\node_modules";
    make_file(orphan + "\\b.js", 10, now, 0);

    CliRun r = run_cli(env.dir, {"dev", root, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto doc = json::parse_strict(r.out);
    ASSERT_TRUE(doc) << r.out;
    ASSERT_EQ((*doc)["folders"].size(), 1u);
    const auto& f = (*doc)["folders"][0];
    EXPECT_EQ(f["path"], modules);
    EXPECT_EQ(f["label"], "node_modules in Zo\xC3\xAB");
    EXPECT_EQ(f["bytes"], 700);
    EXPECT_EQ(f["ticked"], true);
    r = run_cli(env.dir, {"dev", root});
    EXPECT_TRUE(contains(r.out,
                         "[x] Zo\xC3\xAB \xE2\x80\x94 node_modules, 1 KB in 1 file, "
                         "project changed 40 days ago\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "    " + modules + "\n")) << r.out;

    r = run_cli(env.dir, {"dev-clean", modules, "--dry-run"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(
        contains(r.out, "Delete node_modules in Zo\xC3\xAB (test run: nothing was changed)"))
        << r.out;
    EXPECT_TRUE(exists(modules + "\\a\\index.js"));

    // Windows removes the link as a link; Wine would delete through it, so there the
    // executor refuses it and leaves it (and so its folder) in place.
    const bool wine = !unix_path(modules).empty();
    r = run_cli(env.dir, {"dev-clean", modules, orphan});
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_TRUE(
        contains(r.out, std::string("Delete node_modules in Zo\xC3\xAB: removed 1 file(s), 1 KB") +
                            (wine ? "; 1 in use were left alone\n" : "\n")))
        << r.out;
    EXPECT_TRUE(contains(r.out,
                         "Delete node_modules in orphan: didn't work: its project file is "
                         "missing, so it was left alone\n"))
        << r.out;
    EXPECT_FALSE(exists(modules + "\\a\\index.js"));
    EXPECT_EQ(exists(modules), wine);
    EXPECT_TRUE(exists(env.dir.file("decoy\\keep.txt")));
    EXPECT_TRUE(exists(orphan + "\\b.js"));
    EXPECT_EQ(load_journal(env.journal()).entries.size(), 2u);
}

// Focus mode's whole state is focus.json: on writes it, status reads it, off removes it.
TEST(ConsoleWin, FocusOnStatusOff) {
    if (!exists(built_exe("tessavo-cli.exe"))) GTEST_SKIP() << "tessavo-cli.exe is not built";
    CliEnv env;
    const std::string state = env.dir.file("Data\\focus.json");
    CliRun r = run_cli(env.dir, {"focus", "status"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Focus mode is off\n");
    r = run_cli(env.dir, {"focus", "on"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("\xE2\x9C\x94 Focus mode is on: ")) << r.out;
    EXPECT_TRUE(exists(state));
    r = run_cli(env.dir, {"focus", "status"});
    EXPECT_TRUE(r.out.starts_with("Focus mode is on: ")) << r.out;
    r = run_cli(env.dir, {"focus", "on"});
    EXPECT_EQ(r.out, "Focus mode is already on\n");
    r = run_cli(env.dir, {"focus", "off"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.starts_with("Focus mode is off")) << r.out;
    EXPECT_FALSE(exists(state));
    EXPECT_EQ(run_cli(env.dir, {"focus", "off"}).out, "Focus mode is already off\n");
    EXPECT_EQ(run_cli(env.dir, {"focus"}).code, 2);
}

// An existing focus.json means on, whether or not it parses: status says on (a script
// trusting it turns Focus mode off), on says it already is, and off removes the file.
TEST(ConsoleWin, FocusStatusOnAnUnreadableFileIsOn) {
    if (!exists(built_exe("tessavo-cli.exe"))) GTEST_SKIP() << "tessavo-cli.exe is not built";
    CliEnv env;
    const std::string state = env.dir.file("Data\\focus.json");
    win::create_dirs(env.dir.file("Data"));
    for (const std::string content : {"", "{not json", "{\"since\": \"yesterday\"}"}) {
        write_text(state, content);
        CliRun r = run_cli(env.dir, {"focus", "status"});
        EXPECT_EQ(r.code, 0) << content;
        EXPECT_EQ(r.out,
                  "Focus mode is on: its saved state can't be read; \"focus off\" turns it off\n")
            << content;
        EXPECT_EQ(run_cli(env.dir, {"focus", "on"}).out, "Focus mode is already on\n") << content;
        r = run_cli(env.dir, {"focus", "off"});
        EXPECT_EQ(r.code, 0) << content;
        EXPECT_TRUE(r.out.starts_with("Focus mode is off")) << r.out;
        EXPECT_FALSE(exists(state)) << content;
        EXPECT_EQ(run_cli(env.dir, {"focus", "status"}).out, "Focus mode is off\n") << content;
    }
}

// A test run of Autopilot finds the old temp file and deletes nothing; the status shows
// the schedule the run saved.
TEST(ConsoleWin, AutopilotTestRunAndStatus) {
    if (!exists(built_exe("tessavo-cli.exe"))) GTEST_SKIP() << "tessavo-cli.exe is not built";
    CliEnv env;
    const std::uint64_t now = win::filetime_now();
    make_file(env.dir.file("Temp\\old.tmp"), 5000, now, 8 * kDayTicks);
    CliRun r = run_cli(env.dir, {"autopilot", "status"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Autopilot is off: every 7 days; never run\n");
    r = run_cli(env.dir, {"autopilot", "run", "--dry-run"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.out.ends_with(" (test run: nothing was changed)\n")) << r.out;
    EXPECT_TRUE(exists(env.dir.file("Temp\\old.tmp")));
    EXPECT_FALSE(exists(env.journal()));
    r = run_cli(env.dir, {"autopilot", "status"});
    EXPECT_TRUE(r.out.starts_with("Autopilot is off: every 7 days; last run ")) << r.out;
}

// The journal the window writes, listed as History lists it and undone by id with
// History's notes; the Run value's StartupApproved state really comes back.
TEST(ConsoleWin, HistoryThenUndo) {
    if (!exists(built_exe("tessavo-cli.exe"))) GTEST_SKIP() << "tessavo-cli.exe is not built";
    CliEnv env;
    test::RunValue run{"TessCliTest Discord",
                       L"\"C:\\tess-cli-test\\Update.exe\" --processStart Discord.exe"};
    TestService svc("Cli", SERVICE_AUTO_START);
    ASSERT_TRUE(svc.svc) << svc.create_error;
    const std::string journal = env.journal();
    apply_ops_as(journal,
                 {ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, run.name, false}},
                  ApplyOp{CleanJunk{"nope", "Nothing"}},
                  ApplyOp{SetServiceStart{svc.name, "Test service", SERVICE_DEMAND_START, false}}},
                 true);
    ASSERT_EQ(run.approved().state, ApprovedState::Present);
    ASSERT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_DEMAND_START));

    CliRun r = run_cli(env.dir, {"history", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto doc = json::parse_strict(r.out);
    ASSERT_TRUE(doc) << r.out;
    const auto& h = (*doc)["history"];
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[0]["id"], 3);
    EXPECT_EQ(h[0]["status"], "Can undo");
    EXPECT_EQ(h[1]["id"], 2);
    EXPECT_EQ(h[1]["status"], "Didn't work");
    EXPECT_EQ(h[2]["id"], 1);
    EXPECT_EQ(h[2]["status"], "Can undo");

    EXPECT_EQ(run_cli(env.dir, {"undo", "one"}).code, 2);
    r = run_cli(env.dir, {"undo", "1", "2", "#7", "3"});
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_TRUE(contains(
        r.out, "Disable \"" + run.name + "\" at startup: Undo: startup setting restored\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out,
                         "Skipped: Clean Nothing (nothing to undo), #7 (not in the "
                         "history)\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out,
                         "Set service \"Test service\" to Manual: Undo: restored to "
                         "Automatic\n"))
        << r.out;
    EXPECT_EQ(run.approved().state, ApprovedState::Absent);
    EXPECT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_AUTO_START));
    r = run_cli(env.dir, {"history"});
    EXPECT_TRUE(contains(r.out, "#1  ")) << r.out;
    EXPECT_TRUE(contains(r.out, "(Undone)\n")) << r.out;
    EXPECT_EQ(load_journal(journal).entries.size(), 5u);

    r = run_cli(env.dir, {"undo", "1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "Nothing to do. Skipped:\n\xE2\x80\xA2 #1 (already undone)\n");
}

// Policies in HKLM and HKCU: the machine's win, a change they fix is refused with exit 3, a
// bad value is logged and ignored, and without them the user's settings.json is in force
// again, never rewritten.
TEST(ConsoleWin, PoliciesOverrideTheUsersSettingsUntilRemoved) {
    if (!exists(built_exe("tessavo-cli.exe"))) GTEST_SKIP() << "tessavo-cli.exe is not built";
    CliEnv env;
    test::PolicyKeys policy;
    const std::string settings = env.dir.file("Data\\settings.json");
    Settings mine;
    mine.autopilot.enabled = true;
    mine.autopilot.every_days = 7;
    ::CreateDirectoryW(win::widen(env.dir.file("Data")).c_str(), nullptr);
    write_text(settings, serialize_settings(mine));
    const auto before = read_text(settings);
    ASSERT_TRUE(before);

    ASSERT_TRUE(policy.set_dword(HKEY_LOCAL_MACHINE, "Autopilot", 0));
    ASSERT_TRUE(policy.set_dword(HKEY_CURRENT_USER, "Autopilot", 1));
    ASSERT_TRUE(policy.set_dword(HKEY_CURRENT_USER, "AllowFocusMode", 0));
    ASSERT_TRUE(policy.set_text(HKEY_LOCAL_MACHINE, "AllowFocusMode", "1"));  // wrong type
    CliRun r = run_cli(env.dir, {"autopilot", "status"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Autopilot is off: every 7 days; never run (Set by your organisation)\n");
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"focus", "on"}, {"autopilot", "run"}}) {
        r = run_cli(env.dir, args);
        EXPECT_EQ(r.code, 3) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
        EXPECT_EQ(r.err, (args[0] == "focus" ? "Focus mode" : "Autopilot") +
                             std::string(": Set by your organisation\n"));
    }
    EXPECT_FALSE(exists(env.dir.file("Data\\focus.json")));
    const std::string log = read_text(env.dir.file("Data\\agent.log")).value_or("");
    EXPECT_TRUE(contains(log, "  policy AllowFocusMode (machine) ignored: not a REG_DWORD value\n"))
        << log;
    EXPECT_EQ(read_text(settings), before);

    policy.clear();
    r = run_cli(env.dir, {"autopilot", "status"});
    EXPECT_EQ(r.out, "Autopilot is on: every 7 days; never run\n");
    r = run_cli(env.dir, {"focus", "on"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(run_cli(env.dir, {"focus", "off"}).code, 0);
    EXPECT_EQ(read_text(settings), before);
}

// Four dev-clean runs started together, each on its own folder of another size: each
// prints its own one change and its own total, never another's, round after round.
TEST(ConsoleWin, DevCleansAtOnceEachReportOnlyTheirOwnChange) {
    if (!exists(built_exe("tessavo-cli.exe"))) GTEST_SKIP() << "tessavo-cli.exe is not built";
    CliEnv env;
    const std::uint64_t now = win::filetime_now();
    constexpr int kRounds = 10, kAtOnce = 4;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::string> modules;
        for (int i = 0; i < kAtOnce; ++i) {
            const std::string project =
                env.dir.file("src\\r" + std::to_string(round) + "p" + std::to_string(i));
            make_file(project + "\\package.json", 2, now, 40 * kDayTicks);
            modules.push_back(project + "\\node_modules");
            make_file(modules.back() + "\\a.js", 1024 * (i + 1), now, 40 * kDayTicks);
        }
        std::vector<std::unique_ptr<CliProcess>> started;
        for (int i = 0; i < kAtOnce; ++i)
            started.push_back(std::make_unique<CliProcess>(
                env.dir, std::vector<std::string>{"dev-clean", modules[i]},
                "dev" + std::to_string(i)));
        for (int i = 0; i < kAtOnce; ++i) {
            const CliRun r = started[i]->finish();
            const std::string kb = std::to_string(i + 1) + " KB";
            EXPECT_EQ(r.code, 0) << "round " << round << ": " << r.out << r.err;
            EXPECT_EQ(r.out, "Delete node_modules in r" + std::to_string(round) + "p" +
                                 std::to_string(i) + ": removed 1 file(s), " + kb +
                                 "\n\xE2\x9C\x94 Done: 1 change(s) applied, " + kb + " deleted.\n")
                << "round " << round;
            EXPECT_FALSE(exists(modules[i] + "\\a.js"));
        }
        ASSERT_EQ(load_journal(env.journal()).entries.size(),
                  static_cast<std::size_t>(kAtOnce * (round + 1)));
    }
}

// Undos of the same entry started together: exactly one undoes it, the others say it
// is undone already, and the journal holds one undo entry, round after round.
TEST(ConsoleWin, UndosOfOneEntryAtOnceUndoItOnce) {
    if (!exists(built_exe("tessavo-cli.exe"))) GTEST_SKIP() << "tessavo-cli.exe is not built";
    CliEnv env;
    test::RunValue run{"TessCliTest Race", L"\"C:\\tess-cli-test\\race.exe\""};
    const std::string journal = env.journal();
    const std::string undone = "Disable \"" + run.name +
                               "\" at startup: Undo: startup setting restored\n\xE2\x9C\x94 "
                               "Done: 1 change(s) applied.\n";
    constexpr int kRounds = 15, kAtOnce = 4;
    for (int round = 0; round < kRounds; ++round) {
        ::DeleteFileW(win::widen(journal).c_str());
        apply_ops_as(journal,
                     {ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, run.name, false}}}, true);
        ASSERT_EQ(run.approved().state, ApprovedState::Present);
        std::vector<std::unique_ptr<CliProcess>> started;
        for (int i = 0; i < kAtOnce; ++i)
            started.push_back(std::make_unique<CliProcess>(
                env.dir, std::vector<std::string>{"undo", "1"}, "undo" + std::to_string(i)));
        int winners = 0;
        for (int i = 0; i < kAtOnce; ++i) {
            const CliRun r = started[i]->finish();
            if (r.code == 0) {
                ++winners;
                EXPECT_EQ(r.out, undone) << "round " << round;
                continue;
            }
            EXPECT_EQ(r.code, 1) << "round " << round << ": " << r.out << r.err;
            EXPECT_TRUE(contains(r.out, "#1 (already undone)"))
                << "round " << round << ": " << r.out;
            EXPECT_FALSE(contains(r.out, "Done")) << "round " << round << ": " << r.out;
        }
        EXPECT_EQ(winners, 1) << "round " << round;
        const Journal j = load_journal(journal);
        ASSERT_EQ(j.entries.size(), 2u) << "round " << round;
        EXPECT_TRUE(j.entries[0].undone);
        EXPECT_EQ(j.entries[1].undo_of, 1u);
        EXPECT_EQ(run.approved().state, ApprovedState::Absent);
    }
}

// A journal that cannot be written stops the change before it is made, and the console
// says so with exit code 1; never "Done" with the change missing from History. Here
// another program holds it open without sharing (Wine renames over a read-only file,
// so that fault cannot be shown here).
TEST(ConsoleWin, ALockedJournalIsAFailureAndNothingChanges) {
    if (!exists(built_exe("tessavo-cli.exe"))) GTEST_SKIP() << "tessavo-cli.exe is not built";
    CliEnv env;
    const std::uint64_t now = win::filetime_now();
    const std::string project = env.dir.file("src\\ro");
    make_file(project + "\\package.json", 2, now, 40 * kDayTicks);
    make_file(project + "\\node_modules\\a.js", 1024, now, 40 * kDayTicks);
    Journal earlier{env.journal(), {}};
    push_entry(earlier, JournalEntry{0, 0, CleanJunk{"a", "b"}, Nothing{}, true, "earlier"}, 1);
    save_journal(earlier);
    win::unique_hfile held(::CreateFileW(win::widen(env.journal()).c_str(), GENERIC_READ, 0,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const CliRun r = run_cli(env.dir, {"dev-clean", project + "\\node_modules"});
    held.reset();
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_EQ(r.out, "Delete node_modules in ro: didn't work: " + std::string(kNotChangedUnsaved) +
                         "\n0 change(s) applied, 1 didn't work (" +
                         std::string(kNotChangedUnsaved) + ").\n");
    EXPECT_TRUE(exists(project + "\\node_modules\\a.js"));
    EXPECT_EQ(load_journal(env.journal()).entries, earlier.entries);
}

TEST(ConsoleWin, OptimiseRefusesWithoutAConsoleThenTestRunThenReal) {
    if (!exists(built_exe("tessavo-cli.exe"))) GTEST_SKIP() << "tessavo-cli.exe is not built";
    CliEnv env;
    test::RunValue run{"TessCliTest Discord",
                       L"\"C:\\tess-cli-test\\Update.exe\" --processStart Discord.exe"};
    const std::uint64_t now = win::filetime_now();
    make_file(env.dir.file("Temp\\old.tmp"), 5000, now, 8 * kDayTicks);
    const std::string off = "Disable \"" + run.name + "\" at startup";
    // A background helper the proposal offers to close, ticked: a copy of this program
    // named like the Xbox app's tray helper.
    ui::wintest::Sleeper sleeper(env.dir, "xboxpctray.exe");
    const RunningProgram& helper = sleeper.program;
    ASSERT_TRUE(helper);

    // Standard input is not a console and there is no --yes: the question is shown, and
    // nothing happens.
    CliRun r = run_cli(env.dir, {"optimise"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(contains(r.err, "Optimise will:\n\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "\xE2\x80\xA2 " + off + "\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "Refused")) << r.err;
    EXPECT_TRUE(contains(r.err, "\xE2\x80\xA2 End Xbox app tray (1 process)\n")) << r.err;
    EXPECT_TRUE(helper.running());
    EXPECT_EQ(run.approved().state, ApprovedState::Absent);
    EXPECT_TRUE(exists(env.dir.file("Temp\\old.tmp")));
    EXPECT_FALSE(exists(env.journal()));

    r = run_cli(env.dir, {"optimise", "--dry-run", "--yes", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    auto doc = json::parse_strict(r.out);
    ASSERT_TRUE(doc) << r.out;
    EXPECT_EQ((*doc)["result"]["test_run"], true);
    bool listed = false;
    for (const auto& a : (*doc)["actions"])
        listed = listed || a["description"] == off;
    EXPECT_TRUE(listed) << r.out;
    EXPECT_TRUE(contains(r.err, "Step 4/4: Measuring the result")) << r.err;
    EXPECT_TRUE(helper.running());
    EXPECT_EQ(run.approved().state, ApprovedState::Absent);
    EXPECT_TRUE(exists(env.dir.file("Temp\\old.tmp")));
    EXPECT_FALSE(exists(env.journal()));

    r = run_cli(env.dir, {"optimise", "--yes", "--json"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    doc = json::parse_strict(r.out);
    ASSERT_TRUE(doc) << r.out;
    EXPECT_EQ((*doc)["result"]["test_run"], false);
    EXPECT_GE((*doc)["result"]["startup_off"], 1);
    EXPECT_GE((*doc)["result"]["junk_bytes"], 5000);
    EXPECT_GE((*doc)["result"]["closed"], 1);
    EXPECT_EQ(helper.wait(5'000), 1);  // ended by the executor; on its own it ends with 0
    const ApprovedValue approved = run.approved();
    ASSERT_EQ(approved.state, ApprovedState::Present);
    EXPECT_EQ(approved.bytes.at(0), 3);  // switched off
    EXPECT_FALSE(exists(env.dir.file("Temp\\old.tmp")));
    const Journal j = load_journal(env.journal());
    bool journalled = false, closed = false;
    for (const auto& e : j.entries) {
        journalled = journalled || (describe(e.action) == off && e.ok);
        if (const auto* kill = std::get_if<KillProcesses>(&e.action))
            for (const auto& t : kill->targets)
                closed = closed || (t.pid == helper.pid() && e.ok);
    }
    EXPECT_TRUE(journalled);
    EXPECT_TRUE(closed) << "no journalled close of the helper";
}

}  // namespace
}  // namespace tess
