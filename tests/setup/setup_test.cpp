#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "core/text.hpp"
#include "setup/setup.hpp"
#include "support/fake_fs.hpp"

namespace tess {
namespace {

using test::FakeFs;

// ---- install paths ------------------------------------------------------------------------

TEST(InstallPaths, TestRootRealInstallAndFallbacks) {
    InstallEnv full;
    full.local_app_data = "C:\\Users\\ann\\AppData\\Local";
    full.temp_folder = "C:\\Temp";
    full.programs_folder = "C:\\Users\\ann\\Start\\Programs";
    full.app_data = "C:\\Users\\ann\\AppData\\Roaming";
    full.desktop_folder = "D:\\Desk";
    full.user_profile = "C:\\Users\\ann";

    const InstallPaths real{"C:\\Users\\ann\\AppData\\Local\\Programs\\Tessavo",
                            "C:\\Users\\ann\\Start\\Programs\\Tessavo.lnk", "D:\\Desk\\Tessavo.lnk",
                            "Tessavo", true};
    EXPECT_EQ(install_paths_for(full), real);

    InstallEnv rooted = full;
    rooted.install_root = "E:\\tess-install-test\\r1";
    EXPECT_EQ(
        install_paths_for(rooted),
        (InstallPaths{"E:\\tess-install-test\\r1\\Programs\\Tessavo",
                      "E:\\tess-install-test\\r1\\StartMenu\\Tessavo.lnk",
                      "E:\\tess-install-test\\r1\\Desktop\\Tessavo.lnk", "Tessavo-Test", false}));
    // An empty, relative or drive-relative root is ignored.
    for (const char* ignored : {"", "rel\\root", "E:noslash", "\\rooted"}) {
        InstallEnv e = full;
        e.install_root = std::string(ignored);
        EXPECT_EQ(install_paths_for(e), real) << ignored;
    }

    // The variables stand in for the known folders; the temp folder for LOCALAPPDATA.
    InstallEnv bare = full;
    bare.local_app_data = std::string();
    bare.programs_folder.reset();
    bare.desktop_folder.reset();
    const InstallPaths fallback = install_paths_for(bare);
    EXPECT_EQ(fallback.folder, "C:\\Temp\\Programs\\Tessavo");
    EXPECT_EQ(fallback.start_menu_link,
              "C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\"
              "Tessavo.lnk");
    EXPECT_EQ(fallback.desktop_link, "C:\\Users\\ann\\Desktop\\Tessavo.lnk");

    // Nowhere to put the links: none, rather than a path relative to wherever we run.
    InstallEnv none = bare;
    none.app_data.reset();
    none.user_profile = std::string();
    EXPECT_EQ(install_paths_for(none).start_menu_link, "");
    EXPECT_EQ(install_paths_for(none).desktop_link, "");
}

TEST(InstallPaths, InstalledCopyMovedAsideNameAndFolderSafety) {
    const InstallPaths p{"C:\\Users\\ann\\AppData\\Local\\Programs\\Tessavo", "", "", "Tessavo",
                         true};
    EXPECT_TRUE(
        is_installed_copy_at("c:\\users\\ANN\\appdata\\local\\programs\\tessavo\\x.exe", p));
    EXPECT_TRUE(is_installed_copy_at("C:/Users/ann/AppData/Local/Programs/Tessavo/Tessavo.exe", p));
    EXPECT_FALSE(is_installed_copy_at("C:\\Users\\ann\\Downloads\\Tessavo.exe", p));
    EXPECT_FALSE(
        is_installed_copy_at("C:\\Users\\ann\\AppData\\Local\\Programs\\Tessavo\\sub\\"
                             "Tessavo.exe",
                             p));
    EXPECT_FALSE(is_installed_copy_at("", p));

    const struct {
        const char* to;
        const char* aside;
    } names[] = {
        {"C:\\P\\Tessavo.exe", "C:\\P\\Tessavo.4242.old"},
        {"C:\\P\\tessavo-cli.exe", "C:\\P\\tessavo-cli.4242.old"},
        {"C:\\P.d\\noext", "C:\\P.d\\noext.4242.old"},
        {"C:\\P\\.hidden", "C:\\P\\.hidden.4242.old"},
        {"C:\\P\\a.b.exe", "C:\\P\\a.b.4242.old"},
    };
    for (const auto& n : names)
        EXPECT_EQ(moved_aside_name(n.to, 4242), n.aside) << n.to;

    const struct {
        const char* folder;
        bool safe;
    } folders[] = {
        {"C:\\Users\\ann\\AppData\\Local\\Programs\\Tessavo", true},
        {"C:\\USERS\\ANN\\APPDATA\\LOCAL\\PROGRAMS\\TESSAVO", true},
        {"Z:\\tmp\\Tess-Install-Test-1\\anything", true},
        {"\\\\server\\share\\Programs\\Tessavo", true},
        {"C:\\Users\\ann\\Programs\\Tessavo\\..\\..", false},
        {"C:\\tess-install-test\\..\\..\\Users", false},
        {"C:\\Users\\ann\\Programs\\Tessavo2", false},
        {"C:\\Users\\ann", false},
        {"C:\\", false},
        {"Programs\\Tessavo", false},
        {"\\Programs\\Tessavo", false},
        {"", false},
    };
    for (const auto& f : folders)
        EXPECT_EQ(install_folder_is_safe(f.folder), f.safe) << f.folder;
}

TEST(UninstallEntry, EveryValueWithItsTypeInOrder) {
    const InstallPaths p{"C:\\L\\Programs\\Tessavo", "", "", "Tessavo", true};
    using T = RegValue::Type;
    const std::vector<RegValue> want{
        {"DisplayName", T::Sz, "Tessavo", 0},
        {"DisplayVersion", T::Sz, "0.5.0", 0},
        {"Publisher", T::Sz, "Tessavo", 0},
        {"DisplayIcon", T::Sz, "C:\\L\\Programs\\Tessavo\\Tessavo.exe,0", 0},
        {"InstallLocation", T::Sz, "C:\\L\\Programs\\Tessavo", 0},
        {"UninstallString", T::Sz, "\"C:\\L\\Programs\\Tessavo\\Tessavo.exe\" --uninstall", 0},
        {"QuietUninstallString", T::Sz,
         "\"C:\\L\\Programs\\Tessavo\\Tessavo.exe\" --uninstall --quiet", 0},
        {"InstallDate", T::Sz, "20260307", 0},
        {"EstimatedSize", T::Dword, "", 2},
        {"NoModify", T::Dword, "", 1},
        {"NoRepair", T::Dword, "", 1},
    };
    EXPECT_EQ(uninstall_entry_values(p, 3 * 1024 - 1, {2026, 3, 7}), want);
    // Sizes round down; an unreadable size is 0.
    EXPECT_EQ(uninstall_entry_values(p, 1023, {2026, 12, 31})[8].dword, 0u);
    EXPECT_EQ(uninstall_entry_values(p, std::nullopt, {2026, 12, 31})[8].dword, 0u);
    EXPECT_EQ(uninstall_entry_values(p, 1024, {999, 1, 2})[7].text, "09990102");
}

// ---- a fake system ---------------------------------------------------------------------------

struct FakeSetup {
    std::map<std::string, std::string> files;  // path -> bytes
    std::set<std::string> locked;              // cannot be overwritten, can be renamed
    std::set<std::string> unmovable;
    std::set<std::string> full;       // every copy to these fails as a full disk would
    std::set<std::string> no_folder;  // create_dirs fails
    std::set<std::string> bad_link_folder;
    std::map<std::string, std::vector<RegValue>> entries;
    std::uint32_t entry_write_error = 0;
    std::uint32_t entry_delete_error = 0;
    std::optional<std::string> run_value;
    std::uint32_t run_value_error = 0;
    std::vector<RunningImage> processes;
    int exits_after_polls = 0;  // the processes go away after this many lists
    bool tray = false;
    std::optional<std::string> exe = "C:\\Downloads\\Tessavo-Setup.exe";
    bool yes = true;
    FakeFs fs;
    std::vector<std::string> log;

    SetupSystem system() {
        SetupSystem s;
        s.own_pid = 77;
        s.create_dirs = [this](const std::string& f) -> std::uint32_t {
            log.push_back("mkdir " + f);
            return no_folder.count(f) ? 5 : 0;
        };
        s.same_file = [](const std::string& a, const std::string& b) {
            return to_lower_ascii(a) == to_lower_ascii(b);
        };
        s.copy_file = [this](const std::string& from, const std::string& to) -> std::uint32_t {
            log.push_back("copy " + from + " -> " + to);
            if (!files.count(from)) return 2;
            if (locked.count(to) && files.count(to)) return 32;
            if (full.count(to)) return 112;
            files[to] = files[from];
            return 0;
        };
        s.move_file = [this](const std::string& from, const std::string& to) -> std::uint32_t {
            log.push_back("move " + from + " -> " + to);
            if (unmovable.count(from)) return 5;
            files[to] = files[from];
            files.erase(from);
            return 0;
        };
        s.file_exists = [this](const std::string& p) { return files.count(p) > 0; };
        s.delete_file = [this](const std::string& p) -> std::uint32_t {
            log.push_back("delete " + p);
            return files.erase(p) ? 0 : 2;
        };
        s.file_size = [this](const std::string& p) -> std::optional<std::uint64_t> {
            if (!files.count(p)) return std::nullopt;
            return files[p].size();
        };
        s.write_file = [this](const std::string& p, std::string_view bytes) {
            files[p] = std::string(bytes);
            return true;
        };
        s.sha256_file = [this](const std::string& p) -> std::optional<std::string> {
            if (!files.count(p)) return std::nullopt;
            return "sha(" + files[p] + ")";
        };
        s.notices = [] { return std::string("notices\r\n"); };
        s.create_shortcut = [this](const std::string& link,
                                   const std::string& target) -> std::optional<std::string> {
            log.push_back("link " + link);
            for (const std::string& f : bad_link_folder)
                if (starts_with(link, f)) return std::string("couldn't save the shortcut");
            files[link] = "-> " + target;
            return std::nullopt;
        };
        s.write_uninstall_entry = [this](const std::string& name, const std::vector<RegValue>& v) {
            log.push_back("entry " + name);
            if (entry_write_error) return entry_write_error;
            entries[name] = v;
            return std::uint32_t{0};
        };
        s.delete_uninstall_entry = [this](const std::string& name) -> std::uint32_t {
            log.push_back("delete entry " + name);
            if (entry_delete_error) return entry_delete_error;
            return entries.erase(name) ? 0 : 2;
        };
        s.set_run_value = [this](bool on, const std::string& exe_path) {
            log.push_back(std::string("run ") + (on ? "on " : "off ") + exe_path);
            if (run_value_error) return run_value_error;
            if (on)
                run_value = exe_path;
            else
                run_value.reset();
            return std::uint32_t{0};
        };
        s.run_value_present = [this] { return run_value.has_value(); };
        s.post_close_to_windows = [this] { log.push_back("post close"); };
        s.tray_running = [this] { return tray; };
        s.running_images = [this] {
            log.push_back("list processes");
            if (exits_after_polls-- == 0) processes.clear();
            return processes;
        };
        s.end_process = [this](std::uint32_t pid, std::uint64_t created) {
            log.push_back("end " + std::to_string(pid) + "/" + std::to_string(created));
        };
        s.sleep_ms = [this](std::uint32_t ms) { log.push_back("sleep " + std::to_string(ms)); };
        s.start_detached = [this](const std::string& e, const std::string& args) {
            log.push_back("start " + e + (args.empty() ? "" : " " + args));
            return true;
        };
        s.start_later_removal = [this](const std::string& folder,
                                       const std::vector<std::string>& files) -> std::uint32_t {
            std::string line = "remove later " + folder;
            for (const std::string& file : files)
                line += " | " + file;
            log.push_back(line);
            return 0;
        };
        s.exe_path = [this](std::string& error) -> std::optional<std::string> {
            if (!exe) error = "The system cannot find the file specified";
            return exe;
        };
        s.today = [] { return LocalDate{2026, 1, 2}; };
        s.error_text = [](std::uint32_t code) {
            return code == 5 ? std::string("Access is denied") : "error " + std::to_string(code);
        };
        s.data_dir = [] { return std::string("C:\\L\\Tessavo"); };
        s.ask_yes_no = [this](const std::string& text) {
            log.push_back("ask " + text);
            return yes;
        };
        s.show_info = [this](const std::string& text) { log.push_back("info " + text); };
        s.show_error = [this](const std::string& text) { log.push_back("error " + text); };
        s.fs = fs.ops();
        return s;
    }

    bool logged(const std::string& line) const {
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    std::size_t count_prefix(const std::string& prefix) const {
        return std::count_if(log.begin(), log.end(),
                             [&](const std::string& l) { return starts_with(l, prefix); });
    }
};

const InstallPaths kReal{"C:\\L\\Programs\\Tessavo", "C:\\S\\Tessavo.lnk", "C:\\D\\Tessavo.lnk",
                         "Tessavo", true};
const InstallPaths kTestRoot{"C:\\tess-install-test\\Programs\\Tessavo",
                             "C:\\tess-install-test\\StartMenu\\Tessavo.lnk",
                             "C:\\tess-install-test\\Desktop\\Tessavo.lnk", "Tessavo-Test", false};
const std::string kSource = "C:\\Downloads\\Tessavo-Setup.exe";

// ---- copy_or_replace ---------------------------------------------------------------------------

TEST(CopyOrReplace, SameFileFreshLockedAndFailures) {
    const std::string to = "C:\\L\\Programs\\Tessavo\\Tessavo.exe";
    const std::string aside = "C:\\L\\Programs\\Tessavo\\Tessavo.77.old";
    {
        FakeSetup f;
        f.files[to] = "old";
        EXPECT_EQ(copy_or_replace("c:\\l\\programs\\tessavo\\TESSAVO.exe", to, f.system()),
                  std::nullopt);
        EXPECT_EQ(f.count_prefix("copy"), 0u);
        EXPECT_EQ(f.files[to], "old");
    }
    {
        FakeSetup f;
        f.files[kSource] = "new";
        EXPECT_EQ(copy_or_replace(kSource, to, f.system()), std::nullopt);
        EXPECT_EQ(f.files[to], "new");
        EXPECT_EQ(f.count_prefix("move"), 0u);
    }
    {
        // A running copy holds the file: it goes aside and the new one takes its place.
        FakeSetup f;
        f.files[kSource] = "new";
        f.files[to] = "running";
        f.locked.insert(to);
        EXPECT_EQ(copy_or_replace(kSource, to, f.system()), std::nullopt);
        EXPECT_EQ(f.files[to], "new");
        EXPECT_EQ(f.files[aside], "running");
    }
    {
        FakeSetup f;
        f.files[kSource] = "new";
        f.files[to] = "running";
        f.locked.insert(to);
        f.unmovable.insert(to);
        EXPECT_EQ(copy_or_replace(kSource, to, f.system()),
                  "couldn't replace " + to + ": Access is denied");
        EXPECT_EQ(f.files[to], "running");
    }
    {
        // The second copy fails too (a full disk): the running copy's file goes back.
        FakeSetup f;
        f.files[kSource] = "new";
        f.files[to] = "running";
        f.locked.insert(to);
        f.full.insert(to);
        EXPECT_EQ(copy_or_replace(kSource, to, f.system()),
                  "couldn't copy to " + to + ": error 112");
        EXPECT_EQ(f.files[to], "running");
        EXPECT_EQ(f.files.count(aside), 0u);
        EXPECT_TRUE(f.logged("move " + aside + " -> " + to));
        // When even that fails, the text says where the old file is.
        f.unmovable.insert(aside);
        EXPECT_EQ(copy_or_replace(kSource, to, f.system()),
                  "couldn't copy to " + to + ": error 112 (the previous copy is " + aside + ")");
        EXPECT_EQ(f.files.count(to), 0u);
        EXPECT_EQ(f.files[aside], "running");
    }
    {
        FakeSetup f;  // the source is gone: both copies fail, nothing is moved
        EXPECT_EQ(copy_or_replace(kSource, to, f.system()), "couldn't copy to " + to + ": error 2");
        EXPECT_EQ(f.count_prefix("copy"), 2u);
        EXPECT_EQ(f.count_prefix("move"), 0u);
    }
}

TEST(InstallSize, ProgramCompanionAndNotices) {
    FakeSetup f;
    f.files[kSource] = std::string(3'000'000, 'x');
    EXPECT_EQ(install_size(kSource, f.system()), 3'000'000u + 9u);  // "notices\r\n"
    f.files["C:\\Downloads\\tessavo-cli.exe"] = std::string(500'000, 'c');
    EXPECT_EQ(install_size(kSource, f.system()), 3'500'009u);
    EXPECT_EQ(install_size("C:\\Downloads\\missing.exe", f.system()), 0u);
}

// ---- close_running_copies
// ------------------------------------------------------------------------

TEST(CloseRunningCopies, WaitsForTheInstalledImageThenEndsWhatIsLeft) {
    const std::vector<RunningImage> procs{
        {10, 1000, "C:\\L\\PROGRAMS\\Tessavo\\tessavo.exe"},
        {77, 2000, "C:\\L\\Programs\\Tessavo\\Tessavo.exe"},  // this process
        {11, 3000, "C:\\Downloads\\Tessavo.exe"},             // another copy elsewhere
        {12, 4000, "C:\\L\\Programs\\Tessavo\\tessavo-cli.exe"},
    };
    {
        FakeSetup f;
        f.processes = procs;
        f.exits_after_polls = 3;
        close_running_copies(kReal, f.system());
        EXPECT_EQ(f.log.front(), "post close");
        EXPECT_EQ(f.count_prefix("list processes"), 4u);
        EXPECT_EQ(f.count_prefix("sleep 100"), 3u);
        EXPECT_EQ(f.count_prefix("end"), 0u);
    }
    {
        FakeSetup f;
        f.processes = procs;
        f.exits_after_polls = 1000;
        close_running_copies(kReal, f.system());
        EXPECT_EQ(f.count_prefix("list processes"), 30u);
        EXPECT_EQ(f.count_prefix("end"), 1u);
        EXPECT_TRUE(f.logged("end 10/1000"));
    }
    {
        // A test install never touches running programs.
        FakeSetup f;
        f.processes = procs;
        close_running_copies(kTestRoot, f.system());
        EXPECT_TRUE(f.log.empty());
    }
}

// ---- install_from
// ------------------------------------------------------------------------------------

TEST(InstallFrom, FreshRealInstallDoesEveryStepInOrder) {
    FakeSetup f;
    f.files[kSource] = std::string(5000, 'x');
    f.files["C:\\Downloads\\tessavo-cli.exe"] = "cli";
    f.exits_after_polls = 0;
    ASSERT_EQ(install_from(kSource, kReal, true, true, f.system()), std::nullopt);
    const std::string target = "C:\\L\\Programs\\Tessavo\\Tessavo.exe";
    EXPECT_EQ(f.files[target], f.files[kSource]);
    EXPECT_EQ(f.files["C:\\L\\Programs\\Tessavo\\tessavo-cli.exe"], "cli");
    EXPECT_EQ(f.files["C:\\L\\Programs\\Tessavo\\THIRD-PARTY-NOTICES.txt"], "notices\r\n");
    EXPECT_EQ(f.files["C:\\S\\Tessavo.lnk"], "-> " + target);
    EXPECT_EQ(f.files["C:\\D\\Tessavo.lnk"], "-> " + target);
    EXPECT_EQ(f.entries["Tessavo"], uninstall_entry_values(kReal, 5000, {2026, 1, 2}));
    EXPECT_EQ(f.run_value, target);
    const std::vector<std::string> order{"mkdir C:\\L\\Programs\\Tessavo", "post close",
                                         "list processes"};
    EXPECT_TRUE(std::equal(order.begin(), order.end(), f.log.begin()));
    EXPECT_EQ(f.log.back(), "run on " + target);
}

TEST(InstallFrom, RepairWithoutDesktopOrTrayCopiesNothingAndRemovesThem) {
    FakeSetup f;
    const std::string target = "C:\\L\\Programs\\Tessavo\\Tessavo.exe";
    f.files[target] = "installed";
    f.files["C:\\L\\Programs\\Tessavo\\tessavo-cli.exe"] = "cli";
    f.files["C:\\D\\Tessavo.lnk"] = "old link";
    f.run_value = target;
    ASSERT_EQ(install_from(target, kReal, false, false, f.system()), std::nullopt);
    EXPECT_EQ(f.count_prefix("copy"), 0u);
    EXPECT_FALSE(f.files.count("C:\\D\\Tessavo.lnk"));
    EXPECT_FALSE(f.run_value);
    EXPECT_TRUE(f.files.count("C:\\S\\Tessavo.lnk"));
    EXPECT_TRUE(f.entries.count("Tessavo"));
}

TEST(InstallFrom, TestRootTouchesNoRunValueAndNoRunningCopy) {
    FakeSetup f;
    f.files[kSource] = "new";
    f.processes = {{10, 1, "C:\\tess-install-test\\Programs\\Tessavo\\Tessavo.exe"}};
    ASSERT_EQ(install_from(kSource, kTestRoot, true, true, f.system()), std::nullopt);
    EXPECT_EQ(f.count_prefix("run "), 0u);
    EXPECT_EQ(f.count_prefix("post close"), 0u);
    EXPECT_EQ(f.count_prefix("list processes"), 0u);
    EXPECT_TRUE(f.entries.count("Tessavo-Test"));
    EXPECT_FALSE(f.files.count("C:\\tess-install-test\\Programs\\Tessavo\\tessavo-cli.exe"));
}

TEST(InstallFrom, StopsAtTheFirstFailureWithItsText) {
    const std::string target = "C:\\L\\Programs\\Tessavo\\Tessavo.exe";
    const struct {
        const char* name;
        std::function<void(FakeSetup&)> arrange;
        std::string error;
        const char* not_reached;  // a log prefix that must not appear
    } cases[] = {
        {"folder", [](FakeSetup& f) { f.no_folder.insert("C:\\L\\Programs\\Tessavo"); },
         "couldn't create C:\\L\\Programs\\Tessavo: Access is denied", "copy"},
        {"copy",
         [&](FakeSetup& f) {
             f.files[target] = "running";
             f.locked.insert(target);
             f.unmovable.insert(target);
         },
         "couldn't replace " + target + ": Access is denied", "link"},
        {"start menu", [](FakeSetup& f) { f.bad_link_folder.insert("C:\\S\\"); },
         "couldn't save the shortcut", "entry"},
        {"desktop", [](FakeSetup& f) { f.bad_link_folder.insert("C:\\D\\"); },
         "couldn't save the shortcut", "entry"},
        {"registry", [](FakeSetup& f) { f.entry_write_error = 5; },
         "couldn't write the registry (error 5)", "run "},
        {"run value", [](FakeSetup& f) { f.run_value_error = 1450; },
         "couldn't set up the tray watch (error 1450)", "nothing"},
    };
    for (const auto& c : cases) {
        FakeSetup f;
        f.files[kSource] = "new";
        c.arrange(f);
        EXPECT_EQ(install_from(kSource, kReal, true, true, f.system()), c.error) << c.name;
        EXPECT_EQ(f.count_prefix(c.not_reached), 0u) << c.name;
    }
}

// ---- update hand-over
// -----------------------------------------------------------------------------

TEST(UpdateHandover, ExitCodesBoxesAndWhatIsStarted) {
    const std::string target = "C:\\L\\Programs\\Tessavo\\Tessavo.exe";
    const struct {
        const char* name;
        InstallPaths paths;
        bool offscreen, tray, run_value, desktop, fails;
        int code;
        std::vector<std::string> starts;
        const char* box;  // prefix of the box shown, "" for none
    } cases[] = {
        {"plain", kReal, false, false, false, false, false, 0, {"start " + target}, "info "},
        {"tray running",
         kReal,
         true,
         true,
         false,
         true,
         false,
         0,
         {"start " + target + " agent", "start " + target},
         ""},
        {"run value",
         kReal,
         true,
         false,
         true,
         false,
         false,
         0,
         {"start " + target + " agent", "start " + target},
         ""},
        {"test root", kTestRoot, true, true, false, true, false, 0, {}, ""},
        {"fails", kReal, false, true, true, true, true, 2, {}, "error The update didn't finish"},
        {"fails offscreen", kReal, true, true, true, true, true, 2, {}, ""},
    };
    for (const auto& c : cases) {
        FakeSetup f;
        f.files[kSource] = "new";
        f.tray = c.tray;
        if (c.run_value) f.run_value = target;
        if (c.desktop) f.files[c.paths.desktop_link] = "link";
        if (c.fails) f.no_folder.insert(c.paths.folder);
        SetupSystem s = f.system();
        s.offscreen = c.offscreen;
        EXPECT_EQ(update_handover(c.paths, std::nullopt, s), c.code) << c.name;
        std::vector<std::string> starts;
        for (const auto& l : f.log)
            if (starts_with(l, "start ")) starts.push_back(l);
        EXPECT_EQ(starts, c.starts) << c.name;
        EXPECT_EQ(f.count_prefix("info ") + f.count_prefix("error "), *c.box ? 1u : 0u) << c.name;
        if (*c.box) {
            EXPECT_EQ(f.count_prefix(c.box), 1u) << c.name;
        }
        EXPECT_TRUE(f.logged("sleep 800")) << c.name;
        if (c.fails) continue;
        // The desktop shortcut and the tray watch stay as they were.
        EXPECT_EQ(f.files.count(c.paths.desktop_link), c.desktop ? 1u : 0u) << c.name;
        if (c.paths.real) {
            EXPECT_EQ(f.run_value.has_value(), c.run_value) << c.name;
        }
    }

    FakeSetup f;
    f.exe.reset();
    f.files[target] = "old";
    EXPECT_EQ(update_handover(kReal, std::nullopt, f.system()), 2);
    EXPECT_TRUE(f.logged("error " + update_failed_text("The system cannot find the file "
                                                       "specified",
                                                       true)));
    EXPECT_EQ(update_failed_text("x", true),
              "The update didn't finish: x\n\nYour current version still "
              "works.");
    EXPECT_EQ(updated_text(), "Tessavo was updated to version 0.5.0.");
}

// A copy that fails a second time over the running program: the box says the current version
// still works only while its file is in place, and otherwise where to get Tessavo again.
TEST(UpdateHandover, FailedReplaceTellsTheTruthAboutTheCurrentVersion) {
    const std::string target = "C:\\L\\Programs\\Tessavo\\Tessavo.exe";
    const std::string aside = "C:\\L\\Programs\\Tessavo\\Tessavo.77.old";
    const std::string error = "couldn't copy to " + target + ": error 112";
    const struct {
        const char* name;
        bool put_back_fails;
        std::string box;
    } cases[] = {
        {"put back", false, update_failed_text(error, true)},
        {"lost", true, update_failed_text(error + " (the previous copy is " + aside + ")", false)},
    };
    for (const auto& c : cases) {
        FakeSetup f;
        f.files[kSource] = "new";
        f.files[target] = "running";
        f.locked.insert(target);
        f.full.insert(target);
        if (c.put_back_fails) f.unmovable.insert(aside);
        EXPECT_EQ(update_handover(kReal, std::nullopt, f.system()), 2) << c.name;
        EXPECT_TRUE(f.logged("error " + c.box)) << c.name;
        EXPECT_EQ(f.files.count(target), c.put_back_fails ? 0u : 1u) << c.name;
    }
    EXPECT_EQ(update_failed_text("x", false),
              "The update didn't finish: x\n\nDownload Tessavo again from "
              "https://github.com/Corvath/tessavo/releases.");
}

// The hand-over runs from the temporary folder: it installs the console companion the update
// verified, only while the file still has that checksum, and never whatever lies beside it.
TEST(UpdateHandover, InstallsOnlyTheVerifiedCompanion) {
    const std::string setup = "C:\\Temp\\Tessavo-0.6.0-Tessavo-Setup.exe";
    const std::string downloaded = "C:\\Temp\\Tessavo-0.6.0-tessavo-cli.exe";
    const std::string installed = "C:\\L\\Programs\\Tessavo\\tessavo-cli.exe";
    const struct {
        const char* name;
        std::optional<VerifiedFile> companion;
        std::string installed;  // the installed companion afterwards
    } cases[] = {
        {"verified", VerifiedFile{downloaded, "sha(cli 0.6.0)"}, "cli 0.6.0"},
        {"upper-case checksum", VerifiedFile{downloaded, "SHA(CLI 0.6.0)"}, "cli 0.6.0"},
        {"changed since", VerifiedFile{downloaded, "sha(cli 0.6.0 as verified)"}, "cli 0.5.0"},
        {"none", std::nullopt, "cli 0.5.0"},
    };
    for (const auto& c : cases) {
        FakeSetup f;
        f.exe = setup;
        f.files[setup] = "new";
        f.files[downloaded] = "cli 0.6.0";
        f.files["C:\\Temp\\tessavo-cli.exe"] = "anything";  // beside the hand-over
        f.files[installed] = "cli 0.5.0";
        EXPECT_EQ(update_handover(kReal, c.companion, f.system()), 0) << c.name;
        EXPECT_EQ(f.files[installed], c.installed) << c.name;
    }
}

// ---- uninstall
// ----------------------------------------------------------------------------------------

// An installed tree in the fake file system and the matching state of the system.
void install_into(FakeSetup& f, const InstallPaths& p) {
    f.fs.add_file(p.folder + "\\Tessavo.exe", 4000);
    f.fs.add_file(p.folder + "\\tessavo-cli.exe", 1000);
    f.fs.add_file(p.folder + "\\THIRD-PARTY-NOTICES.txt", 10);
    f.fs.add_dir("C:\\L\\Tessavo");
    f.fs.add_file("C:\\L\\Tessavo\\journal.json", 2);
    f.files[p.start_menu_link] = "link";
    f.files[p.desktop_link] = "link";
    f.entries[p.entry_name] = {};
    if (p.real) f.run_value = installed_exe(p);
}

TEST(Uninstall, AnswerQuietAndTheWholeRemoval) {
    {
        FakeSetup f;
        install_into(f, kReal);
        f.yes = false;
        EXPECT_EQ(uninstall(kReal, false, f.system()), 1);
        EXPECT_TRUE(f.logged("ask " + std::string(kUninstallQuestion)));
        EXPECT_EQ(f.log.size(), 1u);  // nothing else happened
        EXPECT_TRUE(f.fs.exists(kReal.folder + "\\Tessavo.exe"));
    }
    {
        FakeSetup f;
        install_into(f, kReal);
        f.exits_after_polls = 0;
        EXPECT_EQ(uninstall(kReal, false, f.system()), 0);
        EXPECT_FALSE(f.fs.exists(kReal.folder));
        EXPECT_TRUE(f.fs.exists("C:\\L\\Programs"));
        EXPECT_FALSE(f.fs.exists("C:\\L\\Tessavo"));
        EXPECT_TRUE(f.files.empty());
        EXPECT_TRUE(f.entries.empty());
        EXPECT_FALSE(f.run_value);
        EXPECT_TRUE(f.logged("post close"));
        EXPECT_EQ(f.log.back(), "info Tessavo was removed.");
        EXPECT_EQ(f.count_prefix("remove later"), 0u);

        // A second run finds nothing left and still succeeds.
        f.log.clear();
        EXPECT_EQ(uninstall(kReal, true, f.system()), 0);
        EXPECT_EQ(f.count_prefix("info") + f.count_prefix("error") + f.count_prefix("ask"), 0u);
    }
    {
        // A test install keeps the Run value, the data folder and running programs.
        FakeSetup f;
        install_into(f, kTestRoot);
        f.run_value = "C:\\elsewhere\\Tessavo.exe";
        EXPECT_EQ(uninstall(kTestRoot, true, f.system()), 0);
        EXPECT_FALSE(f.fs.exists(kTestRoot.folder));
        EXPECT_TRUE(f.fs.exists("C:\\L\\Tessavo\\journal.json"));
        EXPECT_EQ(f.run_value, "C:\\elsewhere\\Tessavo.exe");
        EXPECT_EQ(f.count_prefix("post close") + f.count_prefix("list processes"), 0u);
        EXPECT_TRUE(f.entries.empty());
    }
}

TEST(Uninstall, UnsafeFolderIsRefusedBeforeAnythingIsRemoved) {
    InstallPaths odd = kReal;
    odd.folder = "C:\\tess-install-test\\..\\..\\Users";
    FakeSetup f;
    install_into(f, odd);
    f.fs.add_file("C:\\Users\\ann\\keep.doc", 5);
    EXPECT_EQ(uninstall(odd, false, f.system()), 2);
    EXPECT_EQ(f.log.back(),
              "error Uninstall didn't finish: refusing to delete unexpected folder "
              "C:\\tess-install-test\\..\\..\\Users");
    EXPECT_TRUE(f.fs.exists("C:\\Users\\ann\\keep.doc"));
    EXPECT_EQ(f.files.size(), 2u);
    EXPECT_EQ(f.entries.size(), 1u);
    EXPECT_TRUE(f.run_value);
    EXPECT_EQ(f.fs.removed_count(), 0u);
}

TEST(Uninstall, FailuresAndTheRunningInstalledCopy) {
    {
        FakeSetup f;
        install_into(f, kReal);
        f.entry_delete_error = 5;
        EXPECT_EQ(uninstall(kReal, true, f.system()), 2);
        EXPECT_EQ(remove_install(kReal, f.system()),
                  "couldn't remove the Settings entry (error 5)");
        EXPECT_TRUE(f.fs.exists(kReal.folder + "\\Tessavo.exe"));
    }
    {
        // A file held open elsewhere keeps the folder: the error names it.
        FakeSetup f;
        install_into(f, kReal);
        f.fs.lock(kReal.folder + "\\tessavo-cli.exe");
        EXPECT_EQ(remove_install(kReal, f.system()),
                  "couldn't remove " + kReal.folder + ": error 145");
        EXPECT_EQ(f.fs.names(kReal.folder), std::vector<std::string>{"tessavo-cli.exe"});
        EXPECT_EQ(f.count_prefix("remove later"), 0u);
    }
    {
        // Run from the installed copy: its own image stays and is removed after it ends.
        FakeSetup f;
        install_into(f, kReal);
        f.exe = kReal.folder + "\\Tessavo.exe";
        f.fs.lock(kReal.folder + "\\Tessavo.exe");
        EXPECT_EQ(uninstall(kReal, false, f.system()), 0);
        EXPECT_TRUE(
            f.logged("remove later " + kReal.folder + " | " + kReal.folder + "\\Tessavo.exe"));
        EXPECT_EQ(f.fs.names(kReal.folder), std::vector<std::string>{"Tessavo.exe"});
    }
}

// The uninstall's temporary copy gets the handle, the folder and the files on its command
// line, and refuses anything but files directly in an install folder.
TEST(Uninstall, LaterRemovalArguments) {
    const LaterRemoval r{
        1234, "C:\\P\\Programs\\Tessavo", {"C:\\P\\Programs\\Tessavo\\Tessavo.exe"}};
    EXPECT_EQ(later_removal_args(r),
              "--remove-after 1234 \"C:\\P\\Programs\\Tessavo\" "
              "\"C:\\P\\Programs\\Tessavo\\Tessavo.exe\"");
    EXPECT_EQ(later_removal_args({7, "C:\\P\\Programs\\Tessavo", {}}),
              "--remove-after 7 \"C:\\P\\Programs\\Tessavo\"");
    using Args = std::vector<std::string>;
    const struct {
        Args args;
        std::optional<LaterRemoval> removal;
    } cases[] = {
        {{"1234", "C:\\P\\Programs\\Tessavo", "C:\\P\\Programs\\Tessavo\\Tessavo.exe"}, r},
        {{"1234", "C:\\P\\Programs\\Tessavo", "c:\\p\\programs\\TESSAVO\\Tessavo.exe"},
         LaterRemoval{1234, "C:\\P\\Programs\\Tessavo", {"c:\\p\\programs\\TESSAVO\\Tessavo.exe"}}},
        {{"1234", "C:\\P\\Programs\\Tessavo"}, LaterRemoval{1234, "C:\\P\\Programs\\Tessavo", {}}},
        {{"1234"}, std::nullopt},
        {{}, std::nullopt},
        {{"", "C:\\P\\Programs\\Tessavo"}, std::nullopt},
        {{"-1", "C:\\P\\Programs\\Tessavo"}, std::nullopt},
        {{"12x", "C:\\P\\Programs\\Tessavo"}, std::nullopt},
        {{"18446744073709551616", "C:\\P\\Programs\\Tessavo"}, std::nullopt},
        {{"1234", "C:\\Windows"}, std::nullopt},
        {{"1234", "C:\\P\\..\\Programs\\Tessavo"}, std::nullopt},
        {{"1234", "C:\\P\\Programs\\Tessavo", "C:\\Windows\\notepad.exe"}, std::nullopt},
        {{"1234", "C:\\P\\Programs\\Tessavo", "C:\\P\\Programs\\Tessavo\\sub\\x.dll"},
         std::nullopt},
        {{"1234", "C:\\P\\Programs\\Tessavo", "C:\\P\\Programs\\Tessavo\\..\\x"}, std::nullopt},
        {{"1234", "C:\\P\\Programs\\Tessavo", "C:\\P\\Programs\\Tessavo\\"}, std::nullopt},
        {{"1234", "C:\\P\\Programs\\Tessavo", "C:\\P\\Programs\\Tessavo\\.."}, std::nullopt},
        {{"1234", "C:\\P\\Programs\\Tessavo", "C:\\P\\Programs\\TessavoX\\a.exe"}, std::nullopt},
        {{"1234", "C:\\P\\Programs\\Tessavo", "C:\\P\\Programs\\Tessavo\\a.exe:stream"},
         std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse_later_removal(c.args), c.removal)
            << (c.args.size() > 1 ? c.args[1] : "") << " " << (c.args.size() > 2 ? c.args[2] : "");
}

TEST(Uninstall, LinksInsideTheFolderNeverLoseTheirTargets) {
    for (auto style : {FakeFs::LinkStyle::Windows, FakeFs::LinkStyle::Wine}) {
        const bool wine = style == FakeFs::LinkStyle::Wine;
        FakeSetup f;
        f.fs = FakeFs(style);
        install_into(f, kReal);
        f.fs.add_file("C:\\Users\\ann\\Documents\\thesis.doc", 100);
        f.fs.add_dir("C:\\Users\\ann\\Empty");
        f.fs.add_link(kReal.folder + "\\docs", "C:\\Users\\ann\\Documents");
        f.fs.add_link(kReal.folder + "\\empty", "C:\\Users\\ann\\Empty");
        const SetupError r = remove_install(kReal, f.system());
        EXPECT_TRUE(f.fs.exists("C:\\Users\\ann\\Documents\\thesis.doc")) << wine;
        EXPECT_TRUE(f.fs.exists("C:\\Users\\ann\\Empty")) << wine;
        if (wine) {
            // The system does not mark them as links: they are refused and stay.
            EXPECT_EQ(r, "couldn't remove " + kReal.folder + ": error 145");
        } else {
            EXPECT_EQ(r, std::nullopt);
            EXPECT_FALSE(f.fs.exists(kReal.folder));
        }
    }
    // The install folder itself a link: left alone, with its target.
    FakeSetup f;
    f.fs.add_file("C:\\Users\\ann\\Documents\\thesis.doc", 100);
    f.fs.add_dir("C:\\L\\Programs");
    f.fs.add_link(kReal.folder, "C:\\Users\\ann\\Documents");
    EXPECT_EQ(remove_install(kReal, f.system()),
              "couldn't remove " + kReal.folder + ": it is a link, so it was left alone");
    EXPECT_TRUE(f.fs.exists("C:\\Users\\ann\\Documents\\thesis.doc"));
}

}  // namespace
}  // namespace tess
