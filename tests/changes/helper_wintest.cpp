// The admin helper through the real Tessavo.exe built beside this test program, and
// run_elevated's launch. Wine's "runas" never prompts, so a declined prompt is shown
// with a stand-in for ShellExecuteExW.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <optional>

#include "changes/executor.hpp"
#include "changes/fixtures_win.hpp"
#include "changes/plan_win.hpp"
#include "core/paths.hpp"
#include "scan/realfs_winutil.hpp"
#include "support/winutil.hpp"

namespace tess {
namespace {

using test::ApprovedName;
using test::exists;
using test::FolderLink;
using test::kDayTicks;
using test::kHourTicks;
using test::quote_arg;
using test::ScopedEnv;
using test::set_write_time;
using test::Sleeper;
using test::TempDir;
using test::TestService;
using test::write_text;

const std::string kArrow = " \xE2\x86\x92 ";

int run_helper(const std::string& argument, bool with_argument = true) {
    std::string command = quote_arg(test::built_exe("Tessavo.exe")) + " apply-plan";
    if (with_argument) command += " " + argument;
    return test::run_command(command);
}

void make_file(const std::string& path, std::size_t bytes) {
    win::create_dirs(std::string(parent_path(path)));
    write_text(path, std::string(bytes, 'x'));
}

TEST(AdminHelperWin, AppliesAWholePlanThroughTheRealExe) {
    TempDir dir("helper");
    const std::string journal = dir.file("data\\journal.json");
    Sleeper child;
    ASSERT_TRUE(child.running());
    ApprovedName startup("Helper");
    TestService svc("Helper", SERVICE_AUTO_START);
    ASSERT_TRUE(svc.start());
    // Junk: the developer caches of a profile of our own (the helper inherits it).
    const std::string local = dir.file("Local");
    const std::string cache = local + "\\npm-cache\\_cacache";
    make_file(cache + "\\content\\a", 3000);
    make_file(cache + "\\index\\b", 3000);
    ScopedEnv local_env("LOCALAPPDATA", local);
    // A project with installed packages.
    const std::string modules = dir.file("proj\\node_modules");
    make_file(dir.file("proj\\package.json"), 2);
    make_file(modules + "\\a\\index.js", 100);
    make_file(modules + "\\b.js", 200);

    const Plan plan{
        journal,
        {
            ApplyOp{
                KillProcesses{"Sleeper", {{child.pid, "tess_changes_tests.exe", child.created}}}},
            ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, startup.name, false}},
            ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, startup.name, true}},
            ApplyOp{SetServiceStart{svc.name, "Test service", SERVICE_DEMAND_START, true}},
            UndoOp{4},
            ApplyOp{CleanJunk{"dev_cache", "Developer caches (npm, pip, Yarn)"}},
            ApplyOp{DeleteDevFolder{modules, "proj"}},
            ApplyOp{DeleteDevFolder{"C:\\", "C:"}},
        }};
    const ElevationResult r = run_elevated(plan);
    EXPECT_EQ(r, (ElevationResult{ElevationKind::Finished, 0, {}}));

    const Journal j = load_journal(journal);
    const struct {
        const char* message;
        bool ok;
    } expected[] = {
        {"ended 1", true},
        {"disabled", true},
        {"enabled", true},
        {"", true},  // the service change, checked below
        {"Undo: restored to Automatic", true},
        {"removed 2 file(s), 5 KB", true},
        {"removed 2 file(s), 1 KB", true},
        {"not a developer folder", false},
    };
    ASSERT_EQ(j.entries.size(), std::size(expected));
    for (std::size_t i = 0; i < j.entries.size(); ++i) {
        const JournalEntry& e = j.entries[i];
        EXPECT_EQ(e.id, i + 1);
        if (i != 3) {
            EXPECT_EQ(e.message, expected[i].message) << i;
        }
        EXPECT_EQ(e.ok, expected[i].ok) << i;
        if (const auto* apply = std::get_if<ApplyOp>(&plan.ops[i])) {
            EXPECT_EQ(e.action, apply->action) << i;
        }
        EXPECT_EQ(e.undone, i == 3) << i;
        EXPECT_EQ(e.undo_of, i == 4 ? std::optional<std::uint64_t>(4) : std::nullopt) << i;
    }
    EXPECT_EQ(j.entries[3].message, "Automatic" + kArrow + "Manual, stopped");
    EXPECT_EQ(j.entries[3].previous, Previous{ServiceStart{SERVICE_AUTO_START}});
    EXPECT_EQ(j.entries[4].action, j.entries[3].action);
    EXPECT_EQ(j.entries[1].previous, Previous{StartupApproved{std::nullopt}});
    const auto* disabled = std::get_if<StartupApproved>(&j.entries[2].previous);
    ASSERT_TRUE(disabled && disabled->bytes);
    EXPECT_EQ(disabled->bytes->size(), 12u);
    EXPECT_EQ(disabled->bytes->at(0), 3);
    EXPECT_EQ(j.entries[5].freed_bytes, 6000u);
    EXPECT_EQ(j.entries[6].freed_bytes, 300u);

    // The machine matches.
    EXPECT_EQ(child.exit_code(), 1);
    const ApprovedValue value = startup.read();
    ASSERT_EQ(value.state, ApprovedState::Present);
    EXPECT_EQ(value.bytes, std::vector<unsigned char>({2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_AUTO_START));
    EXPECT_TRUE(svc.wait_for(SERVICE_STOPPED));
    EXPECT_FALSE(exists(cache + "\\content\\a"));
    EXPECT_FALSE(exists(cache + "\\index\\b"));
    EXPECT_TRUE(exists(cache));
    EXPECT_FALSE(exists(modules));
    EXPECT_TRUE(exists(dir.file("proj\\package.json")));
}

// Without LOCALAPPDATA the data directory is the temp folder's "Tessavo", which the
// temp clean empties by age. Week-old settings, log and journal must survive a clean
// through the real helper, however the data directory is named or reached, and the
// journal keeps its history. The admin helper may run as another user, so the folder
// of the journal it was given is kept as well.
TEST(AdminHelperWin, TempCleanLeavesTheProgramsOwnDataAlone) {
    const struct {
        const char* what;
        const char* data_dir_env;  // TESS_DATA_DIR relative to the test folder; "" unset
        bool odd_spelling;         // ... written in capitals with forward slashes
        bool through_link;         // ... a folder link to Temp\Data
        const char* files_in;      // where settings.json and agent.log are
        const char* journal_in;    // the plan's journal folder
    } cases[] = {
        {"no LOCALAPPDATA", "", false, false, "Temp\\Tessavo", "Temp\\Tessavo"},
        {"no LOCALAPPDATA, journal elsewhere", "", false, false, "Temp\\Tessavo", "Elsewhere"},
        {"the journal of another user's data", "Own", false, false, "Temp\\Caller", "Temp\\Caller"},
        {"data directory spelled otherwise", "Temp\\Data", true, false, "Temp\\Data", ""},
        {"data directory through a link", "Link", false, true, "Temp\\Data", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir("owndata");
        const std::uint64_t now = win::filetime_now();
        std::optional<FolderLink> link;
        if (c.through_link) {
            win::create_dirs(dir.file("Temp\\Data"));
            link.emplace(dir.file("Temp\\Data"), dir.file(c.data_dir_env));
            if (!link->made()) GTEST_SKIP() << "no folder link could be made here";
        }
        std::optional<std::string> data_env;
        if (*c.data_dir_env) data_env = dir.file(c.data_dir_env);
        if (c.odd_spelling) {
            for (char& ch : *data_env)
                ch = ch == '\\' ? '/'
                                : static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        }
        ScopedEnv data("TESS_DATA_DIR", data_env);
        ScopedEnv local("LOCALAPPDATA", std::nullopt);
        ScopedEnv temp("TEMP", dir.file("Temp"));
        ScopedEnv tmp("TMP", dir.file("Temp"));
        // The caller's journal: in its data directory unless the case says otherwise.
        const std::string journal_dir = *c.journal_in ? dir.file(c.journal_in) : *data_env;
        const std::string journal = journal_dir + "\\journal.json";
        const std::string files = dir.file(c.files_in);

        Journal before{journal, {}};
        for (int i = 0; i < 2; ++i) {
            JournalEntry e;
            e.action = CleanJunk{"user_temp", "Temporary files"};
            e.ok = true;
            e.message = "earlier";
            push_entry(before, e, now - 30 * kDayTicks);
        }
        save_journal(before);
        win::create_dirs(files);
        write_text(files + "\\settings.json", "{}");
        write_text(files + "\\agent.log", "one line\n");
        for (const std::string& f :
             {journal, files + "\\settings.json", files + "\\agent.log", files, journal_dir})
            set_write_time(f, now - 8 * kDayTicks);
        test::make_file(dir.file("Temp\\old.tmp"), 700, now, 8 * kDayTicks);
        test::make_file(dir.file("Temp\\new.tmp"), 700, now, kHourTicks);
        ApprovedName startup("OwnData");

        const Plan plan{
            journal,
            {ApplyOp{CleanJunk{"user_temp", "Temporary files"}},
             ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, startup.name, false}}}};
        EXPECT_EQ(run_helper(encode_hex(*serialize_plan(plan))), 0);

        EXPECT_FALSE(exists(dir.file("Temp\\old.tmp")));
        EXPECT_TRUE(exists(dir.file("Temp\\new.tmp")));
        EXPECT_EQ(test::read_text(files + "\\settings.json"), "{}");
        EXPECT_EQ(test::read_text(files + "\\agent.log"), "one line\n");
        const Journal after = load_journal(journal);
        ASSERT_EQ(after.entries.size(), 4u);
        for (std::size_t i = 0; i < 2; ++i)
            EXPECT_EQ(after.entries[i], before.entries[i]) << i;
        EXPECT_EQ(after.entries[2].id, 3u);
        EXPECT_EQ(after.entries[2].message, "removed 1 file(s), 1 KB");
        EXPECT_EQ(after.entries[3].id, 4u);
        EXPECT_EQ(after.entries[3].message, "disabled");
    }
}

// Every bad argument exits 3 or 4 and changes nothing: the sleeper the plan would end
// lives on and no journal appears.
TEST(AdminHelperWin, ExitCodesAndBadPlansChangeNothing) {
    TempDir dir("helper");
    const std::string journal = dir.file("journal.json");
    Sleeper child;
    ASSERT_TRUE(child.running());
    const std::string kill =
        R"({"op":"apply","action":{"kind":"kill_processes","label":"S","targets":[{"pid":)" +
        std::to_string(child.pid) + R"(,"name":"s.exe","created":0}]}})";
    std::string journal_json;
    for (char c : journal) {
        if (c == '\\') journal_json += '\\';
        journal_json += c;
    }
    const std::string good = R"({"journal":")" + journal_json + R"(","ops":[)" + kill + "]}";
    const std::string hex = encode_hex(good);
    const struct {
        const char* what;
        std::string argument;
        bool with_argument;
        int code;
    } cases[] = {
        {"no argument", "", false, 4},
        {"empty argument", "\"\"", true, 4},
        {"odd length", hex.substr(1), true, 3},
        {"not hex", "x" + hex.substr(1), true, 3},
        {"invalid JSON", encode_hex(good.substr(0, good.size() - 1)), true, 4},
        {"unknown op", encode_hex(R"({"journal":")" + journal_json + R"(","ops":[{"op":"zap"}]})"),
         true, 4},
        {"unknown kind",
         encode_hex(R"({"journal":")" + journal_json +
                    R"(","ops":[{"op":"apply","action":{"kind":"format","label":"x"}}]})"),
         true, 4},
        {"trailing text", encode_hex(good + "x"), true, 4},
        {"a second plan after it", encode_hex(good + good), true, 4},
        {"relative journal path", encode_hex(R"({"journal":"journal.json","ops":[)" + kill + "]}"),
         true, 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run_helper(c.argument, c.with_argument), c.code) << c.what;
        EXPECT_TRUE(child.running()) << c.what;
        EXPECT_FALSE(exists(journal)) << c.what;
    }

    // The same plan in upper-case hex is carried out.
    std::string upper = hex;
    for (char& c : upper)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    EXPECT_EQ(run_helper(upper), 0);
    EXPECT_EQ(child.exit_code(), 1);
    const Journal j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 1u);
    EXPECT_EQ(j.entries[0].message, "ended 1");
}

struct Launch {
    SHELLEXECUTEINFOW seen{};
    std::wstring file, parameters, verb;
    int calls = 0;
};

ShellExecuteFn recording(Launch& launch, ShellExecuteFn then) {
    return [&launch, then](SHELLEXECUTEINFOW* info) {
        ++launch.calls;
        launch.seen = *info;
        launch.file = info->lpFile ? info->lpFile : L"";
        launch.parameters = info->lpParameters ? info->lpParameters : L"";
        launch.verb = info->lpVerb ? info->lpVerb : L"";
        return then(info);
    };
}

ShellExecuteFn failing_with(DWORD code) {
    return [code](SHELLEXECUTEINFOW*) {
        ::SetLastError(code);
        return FALSE;
    };
}

TEST(RunElevatedWin, StartsTessavoBesideWithRunasAndWaitsForItsExitCode) {
    TempDir dir("elevate");
    const Plan plan{dir.file("journal.json"), {UndoOp{5}}};
    Launch launch;
    const ElevationResult r = run_elevated(
        plan, recording(launch, [](SHELLEXECUTEINFOW* info) { return ::ShellExecuteExW(info); }));
    EXPECT_EQ(r, (ElevationResult{ElevationKind::Finished, 0, {}}));
    EXPECT_EQ(launch.calls, 1);
    EXPECT_EQ(launch.seen.cbSize, 112u);
    EXPECT_EQ(launch.seen.fMask, static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS));
    EXPECT_EQ(launch.seen.hwnd, nullptr);
    EXPECT_EQ(launch.verb, L"runas");
    EXPECT_EQ(win::narrow(launch.file), test::built_exe("Tessavo.exe"));
    EXPECT_EQ(win::narrow(launch.parameters), "apply-plan " + encode_hex(*serialize_plan(plan)));
    EXPECT_EQ(launch.seen.lpDirectory, nullptr);
    EXPECT_EQ(launch.seen.nShow, SW_HIDE);
    // An undo of an id the journal lacks leaves no entry (the journal is saved, empty, before
    // the undo is decided, so that one that cannot be written stops it).
    EXPECT_TRUE(load_journal(plan.journal).entries.empty());
}

TEST(RunElevatedWin, DeclinedPromptAndLaunchFailures) {
    TempDir dir("elevate");
    const Plan plan{dir.file("journal.json"),
                    {UndoOp{1}, ApplyOp{CleanJunk{"user_temp", "T"}}, UndoOp{2}}};
    EXPECT_EQ(run_elevated(plan, failing_with(ERROR_CANCELLED)),
              (ElevationResult{ElevationKind::Cancelled, 0, {}}));
    EXPECT_EQ(run_elevated(plan, failing_with(ERROR_FILE_NOT_FOUND)),
              (ElevationResult{ElevationKind::Failed, 0,
                               "could not start the admin helper (Windows error 2)"}));
    EXPECT_EQ(run_elevated(plan,
                           [](SHELLEXECUTEINFOW* info) {
                               info->hProcess = nullptr;
                               return TRUE;
                           }),
              (ElevationResult{ElevationKind::Failed, 0, "admin helper did not start"}));
    EXPECT_FALSE(exists(plan.journal));
}

// Windows refuses a command line this long; Wine would start the helper with half a
// plan, which it rejects, and the changes would vanish without a word.
TEST(RunElevatedWin, PlanTooLongForACommandLineFails) {
    TempDir dir("elevate");
    const std::string path = dir.file("journal.json");
    const auto plan_of = [&](std::size_t label) {
        return Plan{path, {ApplyOp{CleanJunk{"nope", std::string(label, 'a')}}}};
    };
    Launch launch;
    const ElevationResult r = run_elevated(plan_of(17'000), recording(launch, failing_with(0)));
    EXPECT_EQ(r, (ElevationResult{ElevationKind::Failed, 0,
                                  "could not start the admin helper (Windows error 206)"}));
    EXPECT_EQ(launch.calls, 0);
    // Just below the limit the helper gets the whole plan.
    const std::size_t fixed =
        test::built_exe("Tessavo.exe").size() + 3 + 1 + (*helper_parameters(plan_of(0))).size();
    const std::size_t largest = (32'767 - fixed) / 2;
    EXPECT_EQ(run_elevated(plan_of(largest)), (ElevationResult{ElevationKind::Finished, 0, {}}));
    EXPECT_EQ(load_journal(path).entries.size(), 1u);
    EXPECT_EQ(run_elevated(plan_of(largest + 1)).kind, ElevationKind::Failed);
}

// Writing a replaced path would send the helper to another journal: nothing starts.
TEST(RunElevatedWin, JournalPathThatIsNotTextFailsCleanly) {
    Launch launch;
    const ElevationResult r = run_elevated(Plan{"C:\\data\\\xC3(\\journal.json", {UndoOp{1}}},
                                           recording(launch, failing_with(0)));
    EXPECT_EQ(r.kind, ElevationKind::Failed);
    EXPECT_FALSE(r.message.empty());
    EXPECT_EQ(launch.calls, 0);
}

}  // namespace
}  // namespace tess
