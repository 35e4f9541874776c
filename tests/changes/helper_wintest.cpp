// The admin helper through the real Tessavo.exe built beside this test program, and
// run_elevated's launch. Wine's "runas" never prompts, so a declined prompt is shown
// with a stand-in for ShellExecuteExW; and Wine runs everything as one user, so a helper
// approved as another account runs in this process, told its account.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cctype>
#include <optional>

#include "changes/executor.hpp"
#include "changes/fixtures_win.hpp"
#include "changes/plan_win.hpp"
#include "core/crypto.hpp"
#include "core/paths.hpp"
#include "scan/realfs_winutil.hpp"
#include "support/winutil.hpp"
#include "updates/update.hpp"

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

int run_helper(const std::string& arguments) {
    return test::run_command(quote_arg(test::built_exe("Tessavo.exe")) + " apply-plan " +
                             arguments);
}

// The parameters as the helper's command line splits them.
std::vector<std::string> split_parameters(const std::wstring& parameters) {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW((L"x " + parameters).c_str(), &argc);
    std::vector<std::string> out;
    for (int i = 1; i < argc; ++i)
        out.push_back(win::narrow(argv[i]));
    ::LocalFree(argv);
    return out;
}

// Files left in a folder (none when it is missing).
int files_in(const std::string& folder) {
    WIN32_FIND_DATAW fd{};
    win::unique_hfind find(::FindFirstFileW(win::widen(folder + "\\*").c_str(), &fd));
    if (!find) return 0;
    int n = 0;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
    } while (::FindNextFileW(find.get(), &fd));
    return n;
}

// The caller's half of the hand-over, then the helper on the file.
int hand_over(const Plan& plan) {
    const auto file = write_plan_file(plan);
    EXPECT_TRUE(file.ok()) << file.error();
    if (!file) return -1;
    return run_helper(quote_arg(file->path) + " " + file->sha256);
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
    const ElevationResult r = run_elevated(plan, nullptr);
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
        EXPECT_EQ(hand_over(plan), 0);

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

// Every bad argument or file exits 3 or 4 and changes nothing: the sleeper the plan
// would end lives on, no journal appears, and a file the helper refused is left alone.
TEST(AdminHelperWin, ExitCodesAndBadPlansChangeNothing) {
    TempDir dir("helper");
    const std::string journal = dir.file("journal.json");
    const std::string folder = plan_folder(journal);
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
    const std::string sid = R"("sid":")" + win::narrow(win::current_user_sid()) + R"(",)";
    const std::string good =
        R"({"journal":")" + journal_json + R"(",)" + sid + R"("ops":[)" + kill + "]}";
    // A plan file of ours, its folder made as the caller makes it.
    const auto made = write_plan_file(Plan{journal, {}});
    ASSERT_TRUE(made.ok()) << made.error();
    ::DeleteFileW(win::widen(made->path).c_str());
    const std::string sha_good = *sha256_hex(good);
    win::create_dirs(folder + "\\d.json");

    const struct {
        const char* what;
        std::string file;      // where the plan is written ("" none)
        std::string content;   // what is written there
        std::string argument;  // the helper's arguments; {file} {sha} when empty
        std::string tamper;    // replaces the content after hashing
        int code;
    } cases[] = {
        {"no argument", "", "", " ", "", 4},
        {"no hash", folder + "\\a.json", good, quote_arg(folder + "\\a.json"), "", 3},
        {"hash not hex", folder + "\\a.json", good,
         quote_arg(folder + "\\a.json") + " zz" + sha_good.substr(2), "", 3},
        {"hash one digit short", folder + "\\a.json", good,
         quote_arg(folder + "\\a.json") + " " + sha_good.substr(1), "", 3},
        {"wrong hash", folder + "\\a.json", good,
         quote_arg(folder + "\\a.json") + " " + *sha256_hex("other"), "", 4},
        {"tampered file", folder + "\\a.json", good, "",
         good.substr(0, good.size() - 2) + "," + kill + "]}", 4},
        {"missing file", "", "", quote_arg(folder + "\\gone.json") + " " + sha_good, "", 4},
        {"path outside the folder", dir.file("a.json"), good, "", "", 4},
        {"a '..' back into the folder", folder + "\\a.json", good,
         quote_arg(folder + "\\..\\plans\\a.json") + " " + sha_good, "", 4},
        {"a folder in its place", "", "", quote_arg(folder + "\\d.json") + " " + sha_good, "", 4},
        {"invalid JSON", folder + "\\a.json", good.substr(0, good.size() - 1), "", "", 4},
        {"unknown op", folder + "\\a.json",
         R"({"journal":")" + journal_json + R"(",)" + sid + R"("ops":[{"op":"zap"}]})", "", "", 4},
        {"no sid", folder + "\\a.json",
         R"({"journal":")" + journal_json + R"(","ops":[)" + kill + "]}", "", "", 4},
        {"sid not a SID", folder + "\\a.json",
         R"({"journal":")" + journal_json + R"(","sid":"S-1-5-18)(A;;GA;;;WD","ops":[)" + kill +
             "]}",
         "", "", 4},
        {"trailing text", folder + "\\a.json", good + "x", "", "", 4},
        {"a second plan after it", folder + "\\a.json", good + good, "", "", 4},
        {"relative journal path", folder + "\\a.json",
         R"({"journal":"journal.json",)" + sid + R"("ops":[)" + kill + "]}", "", "", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.file.empty()) write_text(c.file, c.tamper.empty() ? c.content : c.tamper);
        const std::string arguments =
            c.argument.empty() ? quote_arg(c.file) + " " + *sha256_hex(c.content) : c.argument;
        EXPECT_EQ(run_helper(arguments), c.code);
        EXPECT_TRUE(child.running());
        EXPECT_FALSE(exists(journal));
        if (!c.file.empty()) {
            EXPECT_TRUE(exists(c.file));
            ::DeleteFileW(win::widen(c.file).c_str());
        }
    }

    // The same plan, with its hash in upper case, is carried out and its file deleted.
    const std::string file = folder + "\\a.json";
    write_text(file, good);
    std::string upper = sha_good;
    for (char& c : upper)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    EXPECT_EQ(run_helper(quote_arg(file) + " " + upper), 0);
    EXPECT_EQ(child.exit_code(), 1);
    EXPECT_FALSE(exists(file));
    const Journal j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 1u);
    EXPECT_EQ(j.entries[0].message, "ended 1");
}

// An administrator's credentials approve the helper as that administrator, whose HKCU,
// profile and data folder are not the user's. Wine runs every process as one user, so the
// helper is told its own account through run_admin_helper's seam; it runs in this process.
TEST(AdminHelperWin, ApprovedAsAnotherAccountLeavesTheUsersProfileAlone) {
    const std::string admin_sid = "S-1-5-21-7-8-9-500";
    ASSERT_NE(win::narrow(win::current_user_sid()), admin_sid);
    TempDir dir("otheracct");
    const std::string data = dir.file("data");
    const std::string journal = data + "\\journal.json";
    // Where the helper's own data directory would be: it must not appear.
    ScopedEnv own_data("TESS_DATA_DIR", dir.file("admin-data"));
    ApprovedName mine("OtherMine");
    ApprovedName machine("OtherMachine", StartupLocation::HklmRun);
    TestService svc("OtherAcct", SERVICE_AUTO_START);

    const Plan plan{
        journal,
        {ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, mine.name, false}},
         ApplyOp{SetStartupEnabled{StartupLocation::HklmRun, machine.name, false}},
         ApplyOp{SetServiceStart{svc.name, "Test service", SERVICE_DEMAND_START, false}}}};
    const auto file = write_plan_file(plan);
    ASSERT_TRUE(file.ok()) << file.error();
    EXPECT_EQ(run_admin_helper(file->path, file->sha256, admin_sid), 0);

    const Journal j = load_journal(journal);
    ASSERT_EQ(j.entries.size(), 3u);
    EXPECT_EQ(j.entries[0].message,
              "changing \"" + mine.name + "\" at startup needs to be done while signed in as you");
    EXPECT_FALSE(j.entries[0].ok);
    EXPECT_EQ(j.entries[0].previous, Previous{Nothing{}});
    EXPECT_EQ(j.entries[1].message, "disabled");
    EXPECT_TRUE(j.entries[1].ok);
    EXPECT_EQ(j.entries[2].message, "Automatic" + kArrow + "Manual");
    EXPECT_TRUE(j.entries[2].ok);
    // HKCU is as it was; the machine's entry and the service changed.
    EXPECT_EQ(mine.read().state, ApprovedState::Absent);
    const ApprovedValue off = machine.read();
    ASSERT_EQ(off.state, ApprovedState::Present);
    EXPECT_EQ(off.bytes.at(0), 3);
    EXPECT_EQ(svc.start_type(), static_cast<std::uint32_t>(SERVICE_DEMAND_START));
    // The log is the user's, beside the journal; the helper's own data folder never came.
    const std::string log = test::read_text(data + "\\agent.log").value_or("");
    EXPECT_NE(log.find("admin helper: approved as another account; 1 change(s) need you signed "
                       "in and were not made\n"),
              std::string::npos)
        << log;
    EXPECT_FALSE(exists(dir.file("admin-data")));
    EXPECT_FALSE(exists(file->path));
}

// The journal's lock, made by a helper approved as another account, admits the user it
// works for: otherwise the user's tray watch could not open it while the helper holds
// it, and would write without it.
TEST(AdminHelperWin, JournalLockOfAHelperForAnotherAccountAdmitsTheUser) {
    const std::string user_sid = "S-1-5-21-7-8-9-1001";
    TempDir dir("otherlock");
    const Plan plan{dir.file("journal.json"), {}, {}, user_sid};
    const ExecutorSystem sys = helper_system(plan, win::narrow(win::current_user_sid()));
    EXPECT_TRUE(sys.other_account);
    const std::wstring name =
        win::named_lock_name("journal", std::string(parent_path(plan.journal)));
    std::string dacl;
    Journal journal{plan.journal, {}};
    sys.update_journal(journal, [&](Journal&) {
        // Held now: the mutex exists, made by this lock.
        win::unique_handle mutex(::OpenMutexW(READ_CONTROL, FALSE, name.c_str()));
        EXPECT_TRUE(mutex) << ::GetLastError();
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (mutex && ::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, nullptr, nullptr, &sd) == ERROR_SUCCESS) {
            win::unique_local_ptr<wchar_t> text;
            if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(
                    sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, text.put(), nullptr))
                dacl = win::narrow(text.get());
            ::LocalFree(sd);
        }
        return false;
    });
    EXPECT_NE(dacl.find(";;;" + user_sid + ")"), std::string::npos) << dacl;
    EXPECT_NE(dacl.find(";;;" + win::narrow(win::current_user_sid()) + ")"), std::string::npos)
        << dacl;
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

// The prompt's owner is the window that asked; the plan goes in a file of the plan
// folder, named with its hash on the command line, and is gone after.
TEST(RunElevatedWin, StartsTessavoBesideWithRunasAndWaitsForItsExitCode) {
    TempDir dir("elevate");
    const Plan plan{dir.file("journal.json"), {UndoOp{5}}};
    const HWND owner = ::GetDesktopWindow();
    Launch launch;
    std::string handed;
    const ElevationResult r =
        run_elevated(plan, owner, recording(launch, [&](SHELLEXECUTEINFOW* info) {
                         const std::vector<std::string> args = split_parameters(info->lpParameters);
                         if (args.size() == 3) handed = test::read_text(args[1]).value_or("");
                         return ::ShellExecuteExW(info);
                     }));
    EXPECT_EQ(r, (ElevationResult{ElevationKind::Finished, 0, {}}));
    EXPECT_EQ(launch.calls, 1);
    EXPECT_EQ(launch.seen.cbSize, 112u);
    EXPECT_EQ(launch.seen.fMask, static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS));
    EXPECT_EQ(launch.seen.hwnd, owner);
    EXPECT_EQ(launch.verb, L"runas");
    EXPECT_EQ(win::narrow(launch.file), test::built_exe("Tessavo.exe"));
    // The file names this process's account as the plan's user.
    Plan named = plan;
    named.sid = win::narrow(win::current_user_sid());
    const std::string text = *serialize_plan(named);
    EXPECT_EQ(handed, text);
    const std::string parameters = win::narrow(launch.parameters);
    const std::string prefix = "apply-plan \"" + plan_folder(plan.journal) + "\\";
    EXPECT_EQ(parameters.substr(0, prefix.size()), prefix);
    EXPECT_EQ(parameters.substr(parameters.size() - 66), "\" " + *sha256_hex(text));
    EXPECT_EQ(launch.seen.lpDirectory, nullptr);
    EXPECT_EQ(launch.seen.nShow, SW_HIDE);
    // An undo of an id the journal lacks leaves no entry (the journal is saved, empty, before
    // the undo is decided, so that one that cannot be written stops it); the plan file is gone.
    EXPECT_TRUE(load_journal(plan.journal).entries.empty());
    EXPECT_EQ(files_in(plan_folder(plan.journal)), 0);
}

TEST(RunElevatedWin, DeclinedPromptAndLaunchFailures) {
    TempDir dir("elevate");
    const Plan plan{dir.file("journal.json"),
                    {UndoOp{1}, ApplyOp{CleanJunk{"user_temp", "T"}}, UndoOp{2}}};
    EXPECT_EQ(run_elevated(plan, nullptr, failing_with(ERROR_CANCELLED)),
              (ElevationResult{ElevationKind::Cancelled, 0, {}}));
    EXPECT_EQ(run_elevated(plan, nullptr, failing_with(ERROR_FILE_NOT_FOUND)),
              (ElevationResult{ElevationKind::Failed, 0,
                               "could not start the admin helper (Windows error 2)"}));
    EXPECT_EQ(run_elevated(plan, nullptr,
                           [](SHELLEXECUTEINFOW* info) {
                               info->hProcess = nullptr;
                               return TRUE;
                           }),
              (ElevationResult{ElevationKind::Failed, 0, "admin helper did not start"}));
    EXPECT_FALSE(exists(plan.journal));
    // No plan file is left behind by a launch that never happened.
    EXPECT_EQ(files_in(plan_folder(plan.journal)), 0);
}

// The shell refuses a command line beyond about 2,048 characters; a plan of a few
// changes is already longer as text. Through the file any size reaches the helper whole,
// and the command line stays short.
TEST(RunElevatedWin, PlanOfThirtyThousandCharactersGoesThroughTheFile) {
    TempDir dir("elevate");
    const std::string path = dir.file("journal.json");
    Plan plan{path, {}};
    for (int i = 0; i < 300; ++i)
        plan.ops.push_back(ApplyOp{CleanJunk{"nope", "Category " + std::string(90, 'a' + i % 26)}});
    const std::size_t size = serialize_plan(plan)->size();
    EXPECT_GT(size, 30'000u);
    Launch launch;
    const ElevationResult r = run_elevated(
        plan, nullptr,
        recording(launch, [](SHELLEXECUTEINFOW* info) { return ::ShellExecuteExW(info); }));
    EXPECT_EQ(r, (ElevationResult{ElevationKind::Finished, 0, {}}));
    const std::size_t command_line = launch.file.size() + 3 + launch.parameters.size();
    EXPECT_LT(command_line, kMaxShellCommandLine) << command_line;
    // Every one of the 300 reached the helper: each is journalled, each a failure.
    const Journal j = load_journal(path);
    ASSERT_EQ(j.entries.size(), 300u);
    EXPECT_EQ(j.entries[299].action, std::get<ApplyOp>(plan.ops[299]).action);
    EXPECT_EQ(files_in(plan_folder(path)), 0);
}

// Writing a replaced path would send the helper to another journal: nothing starts.
TEST(RunElevatedWin, JournalPathThatIsNotTextFailsCleanly) {
    Launch launch;
    const ElevationResult r = run_elevated(Plan{"C:\\data\\\xC3(\\journal.json", {UndoOp{1}}},
                                           nullptr, recording(launch, failing_with(0)));
    EXPECT_EQ(r.kind, ElevationKind::Failed);
    EXPECT_FALSE(r.message.empty());
    EXPECT_EQ(launch.calls, 0);
}

}  // namespace
}  // namespace tess
