#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/text.hpp"
#include "core/timeutil.hpp"
#include "model/kb.hpp"
#include "scan/analyze.hpp"

namespace tess {
namespace {

constexpr std::uint64_t kNow = unix_to_filetime(1'700'000'000);
constexpr std::uint64_t kMB = 1024 * 1024;
constexpr std::uint32_t kOwnPid = 900;

const char* const kGradleCmd =
    "\"C:\\Program Files\\Java\\bin\\java.exe\" -Xmx2g -cp gradle-launcher-8.5.jar "
    "org.gradle.launcher.daemon.bootstrap.GradleDaemon 8.5";
const char* const kKotlinCmd =
    "java.exe -cp kotlin-compiler-embeddable.jar org.jetbrains.kotlin.daemon.KotlinCompileDaemon";
const char* const kViteShop =
    "\"C:\\Program Files\\nodejs\\node.exe\" C:\\Users\\ana\\code\\shop\\node_modules\\vite\\bin\\"
    "vite.js";
const char* const kNpmRunDev =
    "\"C:\\Program Files\\nodejs\\node.exe\" \"C:\\Program Files\\nodejs\\node_modules\\npm\\bin\\"
    "npm-cli.js\" run dev";

// A process with the fields the builder reads; age in seconds before kNow.
struct P {
    ProcessInfo p;
    P(std::uint32_t pid, std::string name) {
        p.pid = pid;
        p.name = std::move(name);
        p.created = kNow;
    }
    P& cmd(std::string c) {
        p.command_line = std::move(c);
        return *this;
    }
    P& path(std::string c) {
        p.image_path = std::move(c);
        return *this;
    }
    P& age(std::uint64_t seconds) {
        p.created = kNow - seconds * kTicksPerSecond;
        return *this;
    }
    P& cpu(float c) {
        p.cpu_percent = c;
        return *this;
    }
    P& mb(std::uint64_t m) {
        p.private_bytes = m * kMB;
        p.working_set = m * kMB / 2;
        return *this;
    }
    P& parent(std::uint32_t pid) {
        p.parent_pid = pid;
        return *this;
    }
    P& ports(std::vector<std::uint16_t> list) {
        p.ports = std::move(list);
        return *this;
    }
    operator ProcessInfo() const { return p; }
};

Snapshot snap(std::vector<ProcessInfo> processes) {
    Snapshot s;
    s.processes = std::move(processes);
    s.now = kNow;
    s.own_pid = kOwnPid;
    return s;
}

const KillProcesses& kill_of(const Suggestion& s) {
    return std::get<KillProcesses>(s.action);
}

std::vector<std::uint32_t> target_pids(const Suggestion& s) {
    std::vector<std::uint32_t> out;
    for (const ProcTarget& t : kill_of(s).targets)
        out.push_back(t.pid);
    return out;
}

// ---- Apps using memory ----

TEST(GroupApps, CountsEveryProcessButTargetsOnlyClosableOnes) {
    const std::vector<ProcessInfo> list = {
        P(0, "System Idle Process").mb(1),
        P(10, "svchost.exe").mb(30),
        P(11, "SVCHOST.EXE").mb(20),
        P(kOwnPid, "Tessavo.exe").mb(40),
        P(12, "Code.EXE").mb(25),
        P(13, "code.exe").mb(25),
        P(14, "b.exe").mb(10),
        P(15, "a.exe.exe").mb(10),
        P(16, "Widgets").mb(10),
    };
    const auto groups = group_apps(list, kOwnPid);
    std::vector<std::string> names;
    for (const AppGroup& g : groups)
        names.push_back(g.display_name);
    // Largest first; equal bytes in byte order of the lower-cased image name.
    EXPECT_EQ(names,
              (std::vector<std::string>{"Code", "svchost", "Tessavo", "a.exe", "b", "Widgets"}));

    const AppGroup& svchost = groups[1];
    EXPECT_EQ(svchost.process_count, 2u);
    EXPECT_EQ(svchost.private_bytes, 50 * kMB);
    EXPECT_EQ(svchost.working_set, 25 * kMB);
    EXPECT_TRUE(svchost.is_protected);
    EXPECT_TRUE(svchost.targets.empty());
    EXPECT_EQ(svchost.friendly_name, "Windows services (shared)");

    const AppGroup& code = groups[0];
    EXPECT_EQ(code.process_count, 2u);
    EXPECT_EQ(code.friendly_name, "VS Code");
    ASSERT_EQ(code.targets.size(), 2u);
    EXPECT_EQ(code.targets[0], (ProcTarget{12, "Code.EXE", kNow}));

    const AppGroup& own = groups[2];
    EXPECT_EQ(own.process_count, 1u);
    EXPECT_TRUE(own.targets.empty());
}

TEST(GroupApps, OwnProcessInAnOrdinaryGroupIsCountedNotTargeted) {
    const auto groups =
        group_apps({P(kOwnPid, "runner.exe").mb(5), P(7, "runner.exe").mb(5)}, kOwnPid);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].process_count, 2u);
    ASSERT_EQ(groups[0].targets.size(), 1u);
    EXPECT_EQ(groups[0].targets[0].pid, 7u);
}

TEST(FormatDuration, Ranges) {
    const struct {
        std::uint64_t s;
        const char* text;
    } cases[] = {
        {0, "under a minute"}, {59, "under a minute"}, {60, "1m"},
        {3599, "59m"},         {3600, "1h 0m"},        {7199, "1h 59m"},
        {86399, "23h 59m"},    {86400, "1d 0h"},       {3 * 86400 + 7200 + 59, "3d 2h"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(format_duration(c.s), c.text) << c.s;
}

TEST(ProcessAge, WholeSecondsAndUnknownTimes) {
    EXPECT_EQ(process_age(kNow - 600 * kTicksPerSecond, kNow), 600u);
    EXPECT_EQ(process_age(kNow - 600 * kTicksPerSecond + 1, kNow), 599u);
    EXPECT_EQ(process_age(0, kNow), 0u);
    EXPECT_EQ(process_age(kNow + 1, kNow), 0u);
}

TEST(DevServerProject, FolderAboveNodeModules) {
    const struct {
        const char* cmd;
        const char* project;
    } cases[] = {
        {kViteShop, "shop"},
        {"node \"C:/Users/ana/My App/node_modules/vite/bin/vite.js\"", "My App"},
        {"node 'D:\\work\\Blog\\NODE_MODULES\\next\\dist\\bin\\next' dev", "Blog"},
        {"node C:\\node_modules\\vite\\bin\\vite.js", "unknown project"},  // drive root
        {"node \"\\node_modules\\vite\"", "unknown project"},
        {"node node_modules\\vite\\bin\\vite.js", "unknown project"},  // relative
        {"node vite.js", "unknown project"},
        {"", "unknown project"},
        {"C:\\a\\ web \\node_modules\\x \\node_modules\\y", "web"},  // first one, trimmed
    };
    for (const auto& c : cases)
        EXPECT_EQ(dev_server_project(c.cmd), c.project) << c.cmd;
}

TEST(StartupProgramPath, QuotedExeOrFirstWord) {
    const struct {
        const char* command;
        const char* path;
    } cases[] = {
        {"\"C:\\Users\\Ana\\AppData\\Local\\Discord\\Update.exe\" --processStart Discord.exe",
         "c:\\users\\ana\\appdata\\local\\discord\\update.exe"},
        {"  C:\\Program Files\\Steam\\steam.EXE -silent", "c:\\program files\\steam\\steam.exe"},
        {"\"C:\\unterminated\\app.exe -x", "c:\\unterminated\\app.exe -x"},
        {"rundll32 shell32.dll,Control_RunDLL", "rundll32"},
        {"\"\" x", ""},
        {"   ", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(startup_program_path(c.command), c.path) << c.command;
}

// ---- Build daemons ----

TEST(BuildDaemons, AgeAndCpuDecideTheSuggestion) {
    const std::string gradle_desc(daemon_info(DaemonKind::Gradle).description);
    const struct {
        std::vector<ProcessInfo> procs;
        const char* title;  // nullptr: no suggestion
        bool ticked;
        const char* detail_start;
    } cases[] = {
        {{P(1, "java.exe").cmd(kGradleCmd).age(599).mb(700)}, nullptr, false, ""},
        {{P(1, "java.exe").cmd(kGradleCmd).age(600).mb(700).cpu(0.9f)},
         "Stop the Gradle daemon",
         true,
         "Running for 10m, using no CPU. "},
        {{P(1, "java.exe").cmd(kGradleCmd).age(600).mb(700).cpu(1.0f)},
         "Stop the Gradle daemon",
         false,
         "Running for 10m, still using some CPU (may be in use). "},
        {{P(1, "java.exe").cmd(kKotlinCmd).age(4000).cpu(0.5f),
          P(2, "java.exe").cmd(kKotlinCmd).age(9000).cpu(3.0f)},
         "Stop 2 Kotlin compile daemons",
         false,
         "Running for 2h 30m, still using some CPU (may be in use). "},
        {{P(1, "adb.exe").cmd("adb -L tcp:5037 fork-server server").age(86400)},
         "Stop the Android Debug Bridge (adb) server",
         true,
         "Running for 1d 0h, using no CPU. "},
    };
    for (const auto& c : cases) {
        const auto out = build_suggestions(snap(c.procs));
        if (!c.title) {
            EXPECT_TRUE(out.empty());
            continue;
        }
        ASSERT_EQ(out.size(), 1u) << c.title;
        EXPECT_EQ(out[0].title, c.title);
        EXPECT_EQ(out[0].ticked, c.ticked) << c.title;
        EXPECT_TRUE(starts_with(out[0].detail, c.detail_start)) << out[0].detail;
        EXPECT_EQ(out[0].section, SuggestionSection::DevTool);
        EXPECT_EQ(kill_of(out[0]).targets.size(), c.procs.size());
    }
    const auto one = build_suggestions(snap({P(1, "java.exe").cmd(kGradleCmd).age(600).mb(700)}));
    EXPECT_EQ(one[0].detail, "Running for 10m, using no CPU. " + gradle_desc);
    EXPECT_EQ(one[0].bytes, 700 * kMB);
    EXPECT_EQ(kill_of(one[0]).label, "Gradle daemon");
    EXPECT_EQ(kill_of(one[0]).targets[0],
              (ProcTarget{1, "java.exe", kNow - 600 * kTicksPerSecond}));
}

TEST(BuildDaemons, KindsInTheirOrderWithPluralLabels) {
    const auto out = build_suggestions(snap({
        P(5, "adb.exe").age(700),
        P(1, "java.exe").cmd(kGradleCmd).age(700),
        P(2, "javaw.exe").cmd(kGradleCmd).age(700),
        P(3, "java.exe").cmd(kGradleCmd).age(700),
        P(4, "java.exe").cmd(kKotlinCmd).age(700),
    }));
    ASSERT_EQ(out.size(), 3u);  // all 0 bytes: daemon kind order stands
    EXPECT_EQ(out[0].title, "Stop 3 Gradle daemons");
    EXPECT_EQ(kill_of(out[0]).label, "3 Gradle daemons");
    EXPECT_EQ(target_pids(out[0]), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(out[1].title, "Stop the Kotlin compile daemon");
    EXPECT_EQ(out[2].title, "Stop the Android Debug Bridge (adb) server");
}

// ---- Dev servers ----

TEST(DevServers, AloneYoungIsLeftAlonePairsAlwaysShow) {
    EXPECT_TRUE(build_suggestions(snap({P(1, "node.exe").cmd(kViteShop).age(600)})).empty());

    const auto old = build_suggestions(snap({P(1, "node.exe").cmd(kViteShop).age(1800).mb(90)}));
    ASSERT_EQ(old.size(), 1u);
    EXPECT_TRUE(old[0].ticked);
    EXPECT_EQ(old[0].title, "Stop Vite dev server: shop");
    EXPECT_EQ(kill_of(old[0]).label, "Vite dev server (shop)");
    EXPECT_EQ(old[0].detail,
              "Running for 30m, using no CPU. Start it again with your dev command (for example "
              "npm run dev) when you need it.");

    const auto pair = build_suggestions(snap({
        P(1, "node.exe").cmd(kViteShop).age(600).mb(80),
        P(2, "node.exe").cmd(kViteShop).age(60).mb(90),
    }));
    ASSERT_EQ(pair.size(), 2u);
    for (const Suggestion& s : pair) {
        EXPECT_FALSE(s.ticked);  // younger than 30 minutes
        EXPECT_NE(s.detail.find(" 2 copies of this project's dev server are running. Start it"),
                  std::string::npos)
            << s.detail;
    }
    EXPECT_EQ(target_pids(pair[0]), std::vector<std::uint32_t>{2});  // 90 MB first
}

TEST(DevServers, PackageManagerParentChildrenAndPorts) {
    const auto out = build_suggestions(snap({
        P(20, "cmd.exe").age(4000),
        P(21, "node.exe").cmd(kNpmRunDev).parent(20).age(3000).cpu(0.6f).mb(40).ports({9229}),
        P(22, "node.exe")
            .cmd(kViteShop)
            .parent(21)
            .age(2900)
            .cpu(0.6f)
            .mb(100)
            .ports({5173, 24678, 5173}),
        P(23, "esbuild.exe").parent(22).age(2800).mb(30),
        P(24, "old.exe").parent(22).age(5000).mb(1),  // older than its "parent": reused id
        P(25, "conhost.exe").parent(22).age(2800).mb(5),
        P(kOwnPid, "Tessavo.exe").parent(22).age(10).mb(5),
    }));
    ASSERT_EQ(out.size(), 1u);
    const Suggestion& s = out[0];
    EXPECT_EQ(target_pids(s), (std::vector<std::uint32_t>{22, 23, 21}));
    EXPECT_EQ(s.bytes, 170 * kMB);
    EXPECT_EQ(s.title, "Stop Vite dev server: shop (ports 5173, 9229, 24678)");
    EXPECT_EQ(s.detail,
              "Running for 48m, still using 1.2% CPU (may be in use). Start it again with your dev "
              "command (for example npm run dev) when you need it.");
    EXPECT_FALSE(s.ticked);
}

TEST(DevServers, ShellParentIsNoTargetAndOnePortShowsOnce) {
    const auto out = build_suggestions(snap({
        P(20, "pwsh.exe").age(4000).cpu(50),
        P(22, "node.exe")
            .cmd("node C:/Users/ana/blog/node_modules/next/dist/bin/next dev")
            .parent(20)
            .age(3600)
            .cpu(0.2f)
            .ports({3000, 3000}),  // the IPv4 and the IPv6 listener
    }));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(target_pids(out[0]), std::vector<std::uint32_t>{22});
    EXPECT_EQ(out[0].title, "Stop Next.js dev server: blog (port 3000)");
    EXPECT_TRUE(out[0].ticked);
}

TEST(DevServers, UnknownProjectAndAParentStartedLater) {
    const auto out = build_suggestions(snap({
        P(30, "node.exe").cmd(kNpmRunDev).age(100),  // pid reused after the real parent died
        P(31, "node.exe").cmd("node.exe vite.js --port 80 \\vite\\bin\\vite").parent(30).age(2000),
    }));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].title, "Stop Vite dev server: unknown project");
    EXPECT_EQ(target_pids(out[0]), std::vector<std::uint32_t>{31});
}

// ---- Background helpers ----

TEST(Helpers, AlwaysTickedHoweverNewAndBusy) {
    const auto out = build_suggestions(snap({
        P(40, "Widgets.exe").age(1).cpu(80).mb(60),
        P(41, "widgets.exe").age(0).mb(40),
        P(42, "XboxPcTray.exe").mb(10),
    }));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].title, "Close Widgets board");
    EXPECT_EQ(kill_of(out[0]).label, "Widgets board");
    EXPECT_EQ(out[0].bytes, 100 * kMB);
    EXPECT_EQ(target_pids(out[0]), (std::vector<std::uint32_t>{40, 41}));
    EXPECT_EQ(out[0].section, SuggestionSection::BackgroundApp);
    EXPECT_TRUE(out[0].ticked);
    EXPECT_EQ(out[0].detail,
              "Loads news and weather in a hidden browser. It comes back if you open Widgets "
              "(Win+W).");
    EXPECT_EQ(out[1].title, "Close Xbox app tray");
    EXPECT_TRUE(out[1].ticked);
}

TEST(BuildSuggestions, NeverTargetsThisProgramOrWindows) {
    const auto out = build_suggestions(snap({
        P(kOwnPid, "node.exe").cmd(kViteShop).age(4000),  // this program, however it looks
        P(kOwnPid + 1, "node.exe").cmd(kViteShop).age(4000),
        P(50, "svchost.exe").cmd(kGradleCmd).age(4000),
        P(51, "widgets.exe").parent(kOwnPid + 1),
        P(52, "explorer.exe").parent(kOwnPid + 1).age(10),
    }));
    for (const Suggestion& s : out)
        for (const ProcTarget& t : kill_of(s).targets) {
            EXPECT_NE(t.pid, kOwnPid) << s.title;
            EXPECT_FALSE(is_protected_process(t.name)) << s.title;
        }
    EXPECT_EQ(out.size(), 2u);  // the other dev server and the helper
}

// Names and command lines come from other programs: whatever they hold, the builder keeps
// its promises (no crash, nothing of ours or of Windows targeted, largest first).
TEST(BuildSuggestions, ArbitraryProcessesKeepTheRules) {
    const std::vector<std::string> names = {
        "java.exe",    "node.exe", "Widgets.exe", "svchost.exe", "adb.exe",
        "esbuild.exe", "",         "\xFF\xFE.exe"};
    const std::vector<std::string> pieces = {"org.gradle.launcher.daemon",
                                             "KotlinCompileDaemon",
                                             "\\node_modules\\",
                                             "/node_modules/",
                                             "\\vite\\bin\\vite",
                                             "npm-cli.js",
                                             "\"",
                                             "'",
                                             " ",
                                             ":",
                                             "C:",
                                             "\\",
                                             "\xC3",
                                             "x"};
    std::mt19937 rng(4242);
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    for (int round = 0; round < 400; ++round) {
        std::vector<ProcessInfo> list;
        const std::size_t count = 1 + pick(12);
        for (std::size_t i = 0; i < count; ++i) {
            std::string cmd;
            for (std::size_t k = pick(8); k > 0; --k)
                cmd += pieces[pick(pieces.size())];
            ProcessInfo p =
                P(static_cast<std::uint32_t>(pick(6)) + kOwnPid - 2, names[pick(names.size())])
                    .cmd(cmd)
                    .age(pick(2) ? pick(5000) : 0)
                    .cpu(static_cast<float>(pick(300)) / 100.0f)
                    .mb(pick(100))
                    .parent(static_cast<std::uint32_t>(pick(6)) + kOwnPid - 2)
                    .ports({static_cast<std::uint16_t>(pick(3))});
            list.push_back(p);
        }
        const auto out = build_suggestions(snap(list));
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (i > 0) {
                EXPECT_GE(out[i - 1].bytes, out[i].bytes);
            }
            for (const ProcTarget& t : kill_of(out[i]).targets) {
                EXPECT_NE(t.pid, kOwnPid);
                EXPECT_FALSE(is_protected_process(t.name));
            }
        }
        (void)group_apps(list, kOwnPid);
    }
}

// ---- Services and startup apps ----

TEST(ServiceSuggestions, KnownAutomaticServicesOnly) {
    Snapshot s = snap({
        P(60, "postgres.exe").mb(120),
        P(61, "svchost.exe").mb(300),
    });
    s.services = {
        {"postgresql-x64-16", "postgresql-x64-16 - PostgreSQL Server 16", "\"C:\\pg\\pg_ctl.exe\"",
         2, 60, true},
        {"AnyDesk", "AnyDesk Service", "", 2, 61, true},  // shares a svchost
        {"WinDefend", "Microsoft Defender", "", 2, 0, false},
        {"MySQL80", "MySQL80", "", 3, 0, false},         // already manual
        {"SomethingElse", "Something", "", 2, 0, true},  // unknown
        {"TeamViewer", "", "", 2, 0, false},
    };
    const auto out = build_suggestions(s);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].title, "Start \"postgresql-x64-16 - PostgreSQL Server 16\" only when needed");
    EXPECT_EQ(out[0].bytes, 120 * kMB);
    EXPECT_EQ(out[0].detail, *service_description("postgresql-x64-16"));
    EXPECT_EQ(out[0].action,
              Action(SetServiceStart{"postgresql-x64-16",
                                     "postgresql-x64-16 - PostgreSQL Server 16", 3, true}));
    EXPECT_EQ(out[0].section, SuggestionSection::Service);
    EXPECT_TRUE(out[0].ticked);
    EXPECT_EQ(out[1].bytes, 0u);
    EXPECT_EQ(out[1].title, "Start \"AnyDesk Service\" only when needed");
    EXPECT_EQ(out[2].title, "Start \"TeamViewer\" only when needed");  // no display name
    EXPECT_EQ(std::get<SetServiceStart>(out[2].action).stop, false);
}

TEST(StartupSuggestions, ProgramPathMeasuresOnlyThatProgram) {
    const std::string update = "C:\\Users\\Ana\\AppData\\Local\\Discord\\Update.exe";
    Snapshot s = snap({
        P(70, "Update.exe").path("c:\\users\\ana\\appdata\\local\\discord\\UPDATE.EXE").mb(12),
        P(71, "Discord.exe")
            .path("C:\\Users\\Ana\\AppData\\Local\\Discord\\app-1.0\\Discord.exe")
            .mb(300),
        P(72, "Update.exe").path("C:\\Other\\Update.exe").mb(50),
    });
    s.startup = {
        {"Discord", "\"" + update + "\" --processStart Discord.exe", StartupLocation::HkcuRun,
         true},
        {"Spotify", "C:\\Spotify\\Spotify.exe /minimized", StartupLocation::HklmRun, false},
        {"SecurityHealth", "%windir%\\system32\\SecurityHealthSystray.exe",
         StartupLocation::HklmRun, true},
        {"MyTool", "C:\\tool.exe", StartupLocation::HkcuRun, true},  // not a known app
        {"Steam", "", StartupLocation::HklmRun32, true},
    };
    const auto out = build_suggestions(s);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].title, "Don't start \"Discord\" with Windows");
    EXPECT_EQ(out[0].bytes, 12 * kMB);
    EXPECT_EQ(out[0].detail,
              "Starts with Windows and uses memory before you open anything. The app still works "
              "when you open it yourself.");
    EXPECT_EQ(out[0].action, Action(SetStartupEnabled{StartupLocation::HkcuRun, "Discord", false}));
    EXPECT_EQ(out[0].section, SuggestionSection::StartupApp);
    EXPECT_EQ(out[1].bytes, 0u);  // no program path
    EXPECT_EQ(std::get<SetStartupEnabled>(out[1].action).location, StartupLocation::HklmRun32);
}

TEST(BuildSuggestions, BytesFirstThenSectionOrder) {
    Snapshot s = snap({
        P(1, "java.exe").cmd(kGradleCmd).age(700),
        P(2, "widgets.exe"),
        P(3, "xboxpctray.exe").mb(5),
        P(4, "adb.exe").age(700).mb(5),
    });
    s.services = {{"AnyDesk", "AnyDesk", "", 2, 0, false}};
    s.startup = {{"Steam", "steam.exe", StartupLocation::HkcuRun, true}};
    std::vector<std::string> titles;
    for (const Suggestion& x : build_suggestions(s))
        titles.push_back(x.title);
    EXPECT_EQ(titles, (std::vector<std::string>{
                          "Stop the Android Debug Bridge (adb) server",  // 5 MB, daemons first
                          "Close Xbox app tray",                         // 5 MB
                          "Stop the Gradle daemon",                      // 0 bytes from here
                          "Close Widgets board",
                          "Start \"AnyDesk\" only when needed",
                          "Don't start \"Steam\" with Windows",
                      }));
}

// ---- Keep list ----

TEST(KeepKey, CountsAndPluralsFold) {
    const struct {
        const char* label;
        const char* key;
    } cases[] = {
        {"3 Gradle daemons", "gradle daemon"},
        {"Gradle daemon", "gradle daemon"},
        {"2 Android Debug Bridge (adb) servers", "android debug bridge (adb) server"},
        {"Vite dev server (shop)", "vite dev server (shop)"},
        {"12a Things", "12a things"},  // not a count
        {"Widgets board", "widgets board"},
        {"7", "7"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keep_key(c.label), c.key) << c.label;
}

TEST(KeepList, UntickedWithAReason) {
    auto out = build_suggestions(snap({
        P(1, "java.exe").cmd(kGradleCmd).age(700),
        P(2, "java.exe").cmd(kGradleCmd).age(700),
        P(3, "java.exe").cmd(kGradleCmd).age(700),
        P(4, "widgets.exe"),
    }));
    Snapshot s;
    s.services = {{"AnyDesk", "gradle daemon", "", 2, 0, false}};
    auto services = build_suggestions(s);
    out.insert(out.end(), services.begin(), services.end());
    ASSERT_EQ(out.size(), 3u);
    ASSERT_EQ(out[0].title, "Stop 3 Gradle daemons");
    ASSERT_TRUE(out[0].ticked);
    const std::string before = out[0].detail;

    apply_keep_list(out, {"widgets", "gradle daemon"});
    EXPECT_FALSE(out[0].ticked);
    EXPECT_EQ(out[0].detail, before + " You chose to keep it running, so it isn't ticked.");
    EXPECT_TRUE(out[1].ticked);  // "widgets board" is not "widgets"
    EXPECT_TRUE(out[2].ticked);  // only kill suggestions are kept running
}

// ---- Services page ----

TEST(ServicesToShow, KnownOrVendorRunningServices) {
    const std::vector<ServiceInfo> list = {
        {"AnyDesk", "AnyDesk", "C:\\AnyDesk\\AnyDesk.exe", 2, 0, false},  // 0 known
        {"Spooler", "Print Spooler", "C:\\Windows\\System32\\spoolsv.exe", 2, 5, true},
        {"Vendor", "b vendor", "\"C:\\Program Files\\Vendor\\svc.exe\"", 2, 6, true},  // 2
        {"Stopped", "Stopped", "C:\\Program Files\\x.exe", 3, 0, false},
        {"Drv", "A driver helper",
         "C:\\Windows\\System32\\DriverStore\\FileRepository\\x\\helper.exe", 2, 7, true},  // 4
        {"Defender", "Defender", "\"C:\\Program Files\\Windows Defender\\MsMpEng.exe\"", 2, 8,
         true},
        {"Root", "Root", "\\SystemRoot\\System32\\drivers\\x.sys", 1, 9, true},
        {"Wow", "Wow", "C:\\WINDOWS\\SysWOW64\\x.exe", 2, 10, true},
        {"TeamViewer", "", "", 2, 11, true},  // 8 known, no display name
    };
    EXPECT_EQ(services_to_show(list), (std::vector<std::size_t>{4, 2, 8, 0}));
}

}  // namespace
}  // namespace tess
