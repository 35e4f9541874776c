#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/text.hpp"
#include "model/kb.hpp"

namespace tess {
namespace {

std::string upper_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// ---- Lookup rules ----

TEST(KbPattern, PrefixAndExactKeys) {
    const struct {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"postgresql-*", "postgresql-x64-16", true},
        {"postgresql-*", "PostgreSQL-x64-16", true},
        {"postgresql-*", "postgresql", false},  // the '-' stays part of the prefix
        {"postgresql-*", "postgresql-", true},
        {"mysql*", "MySQL80", true},
        {"mysql*", "mysql", true},
        {"mysql**", "mysql", true},  // every trailing '*' goes
        {"mysql*", "mysq", false},
        {"lenovovantage-", "lenovovantage-(genericmessagingaddin).exe", true},
        {"lenovovantage-", "lenovovantageservice.exe", false},
        {"*", "anything", true},  // empty prefix
        {"**", "", true},
        {"-", "-x", true},
        {"-", "x", false},
        {"a*-", "a*-b", true},  // ends in '-': nothing to strip, '*' is literal
        {"a*-", "ab-", false},
        {"mongodb", "MongoDB", true},
        {"mongodb", "mongodb2", false},  // exact keys are not prefixes
        {"mongodb", "mongo", false},
        {"my*sql", "my*sql", true},  // a '*' inside a key is no wildcard
        {"my*sql", "myxsql", false},
        {"", "", true},
        {"", "x", false},
        {"MySQL*", "mysql80", true},
        // Only A-Z fold: an upper-case "Ä" is not its lower-case form.
        {"\xC3\xA4*", "\xC3\x84x", false},
        {"\xC3\xA4*", "\xC3\xA4X", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pattern_matches(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

TEST(KbNormalize, CommandLine) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"C:/App/Node_Modules/Vite/bin/vite.js", "c:\\app\\node_modules\\vite\\bin\\vite.js"},
        {"\"C:\\Program Files\\nodejs\\node.exe\" //x",
         "\"c:\\program files\\nodejs\\node.exe\" \\\\x"},
        {"C:/\xC3\x9C"
         "ber/X",
         "c:\\\xC3\x9C"
         "ber\\x"},  // non-ASCII bytes untouched
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(normalize_command_line(c.in), c.out) << c.in;
}

TEST(KbFriendlyName, StripsEveryExeAndMatchesExactly) {
    const struct {
        const char* image;
        const char* friendly;
    } cases[] = {
        {"CHROME.EXE.exe", "Google Chrome"},
        {"chrome.exe.exe.exe", "Google Chrome"},
        {"Chrome.exe", "Google Chrome"},
        {"chrome", "Google Chrome"},
        {"Docker Desktop.exe", "Docker Desktop"},
        {"LenovoVantageService.exe", "Lenovo Vantage"},
        {"ms-teams_modulehost.exe", "Microsoft Teams"},
        {"MEMVANE.EXE", "Tessavo (this app)"},
        {"chrome.ex", ""},
        {"chrome.exe ", ""},
        {"chromium.exe", ""},
        {"chrom", ""},
        {"notepad.exe", ""},
        {".exe", ""},
        {"exe", ""},
        {"", ""},
        {"CHROM\xC3\x89.exe", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(friendly_name(c.image), c.friendly) << c.image;
}

TEST(KbProtectedProcess, ExactFullImageNames) {
    const struct {
        const char* image;
        bool is_protected;
    } cases[] = {
        {"System", true},      {"System Idle Process", true},
        {"CSRSS.EXE", true},   {"svchost.exe", true},
        {"Tessavo.exe", true}, {"tessavo-cli.exe", true},
        {"csrss", false},  // the table holds full image names
        {"system.exe", false}, {"explorer.exe ", false},
        {"chrome.exe", false}, {"node.exe", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_protected_process(c.image), c.is_protected) << c.image;
}

TEST(KbProcessRole, TestOrder) {
    const std::string vite =
        "\"C:/Program Files/nodejs/node.exe\" C:/app/node_modules/vite/bin/vite.js";
    const std::string npm =
        "\"C:\\Program Files\\nodejs\\node.exe\" "
        "\"C:\\Program Files\\nodejs\\node_modules\\npm\\bin\\npm-cli.js\" run dev";
    const std::string gradle =
        "\"C:\\Program Files\\Java\\bin\\java.exe\" -Xmx2g -cp gradle-launcher.jar "
        "org.gradle.launcher.daemon.bootstrap.GradleDaemon 8.4";
    const std::string kotlin =
        "javaw.exe -cp kotlin-daemon.jar org.jetbrains.kotlin.daemon.KotlinCompileDaemon";
    const struct {
        std::string image;
        std::string command_line;
        RoleKind kind;
        const char* name;
    } cases[] = {
        {"adb.exe", "adb -L tcp:5037 fork-server server", RoleKind::AdbServer, ""},
        {"ADB.EXE", gradle, RoleKind::AdbServer, ""},  // adb is decided first
        {"adb", "", RoleKind::None, ""},
        {"java.exe", gradle, RoleKind::GradleDaemon, ""},
        {"JAVAW.EXE", kotlin, RoleKind::KotlinDaemon, ""},
        {"java.exe", gradle + " " + kotlin, RoleKind::GradleDaemon, ""},
        {"java.exe", "java -cp x org.gradle.wrapper.GradleWrapperMain build", RoleKind::None, ""},
        {"java.exe", vite, RoleKind::None, ""},  // Java is only ever a build daemon
        {"java.exe", npm, RoleKind::None, ""},
        {"Node.exe", vite, RoleKind::DevServer, "Vite"},
        {"node.exe", npm, RoleKind::PackageManager, ""},
        {"node.exe", npm + " " + vite, RoleKind::PackageManager, ""},
        // Table order decides, not the order of the fragments in the command line.
        {"node.exe", "node C:/a/node_modules/next/dist/bin/next C:/a/node_modules/vite/bin/vite.js",
         RoleKind::DevServer, "Vite"},
        {"node.exe", "node c:\\app\\node_modules\\webpack\\bin\\webpack.js serve --hot",
         RoleKind::DevServer, "webpack"},
        {"node.exe", "node c:\\app\\node_modules\\webpack\\bin\\webpack.js build", RoleKind::None,
         ""},
        {"bun.exe", "bun C:/app/node_modules/@angular/cli/bin/ng.js serve", RoleKind::DevServer,
         "Angular"},
        {"deno.exe", "deno run main.ts", RoleKind::None, ""},
        {"node.exe", "", RoleKind::None, ""},
        {"esbuild.exe", vite, RoleKind::None, ""},  // not a JavaScript runtime
        {"node", vite, RoleKind::None, ""},
        {"LenovoVantage-(GenericMessagingAddin).exe", "", RoleKind::BackgroundHelper,
         "Lenovo Vantage add-ins"},
        {"LenovoVantageService.exe", "", RoleKind::None, ""},
        {"GameBarFTServer.exe", "", RoleKind::BackgroundHelper, "Xbox Game Bar"},
        {"gamebar.exe", "", RoleKind::BackgroundHelper, "Xbox Game Bar"},
        {"Widgets.exe", "", RoleKind::BackgroundHelper, "Widgets board"},
        {"widgetservice.exe", "", RoleKind::None, ""},
        {"xboxpctray", "", RoleKind::None, ""},
        {"", "", RoleKind::None, ""},
    };
    for (const auto& c : cases) {
        const ProcessRole role = process_role(c.image, c.command_line);
        EXPECT_EQ(role.kind, c.kind) << c.image << " | " << c.command_line;
        EXPECT_EQ(role.name, c.name) << c.image << " | " << c.command_line;
        if (c.kind != RoleKind::BackgroundHelper) {
            EXPECT_EQ(role.description, "") << c.image;
        }
    }
    EXPECT_EQ(process_role("gamebar.exe", "").description,
              "Game overlay (Win+G). It starts again when you press Win+G.");
}

TEST(KbProcessRole, DaemonKinds) {
    EXPECT_EQ(daemon_kind(RoleKind::GradleDaemon), DaemonKind::Gradle);
    EXPECT_EQ(daemon_kind(RoleKind::KotlinDaemon), DaemonKind::Kotlin);
    EXPECT_EQ(daemon_kind(RoleKind::AdbServer), DaemonKind::Adb);
    for (RoleKind r : {RoleKind::None, RoleKind::DevServer, RoleKind::PackageManager,
                       RoleKind::BackgroundHelper})
        EXPECT_EQ(daemon_kind(r), std::nullopt) << static_cast<int>(r);
}

TEST(KbJsRuntime, RuntimeAndPackageManagerCli) {
    const struct {
        const char* image;
        const char* command_line;
        bool runtime;
        bool package_manager;
    } cases[] = {
        {"node.exe", "node C:\\nodejs\\node_modules\\npm\\bin\\npm-cli.js run dev", true, true},
        {"NODE.EXE", "node C:/Users/x/AppData/pnpm/PNPM.CJS dev", true, true},
        {"bun.exe", "bun .yarn/releases/yarn.js", true, true},
        {"Deno.exe", "deno npx-cli.js", true, true},
        {"node.exe", "node C:/app/node_modules/vite/bin/vite.js", true, false},
        {"node", "node npm-cli.js", false, false},
        {"python.exe", "python npm-cli.js", false, false},
        {"node.exe.exe", "npm-cli.js", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_js_runtime(c.image), c.runtime) << c.image;
        EXPECT_EQ(is_package_manager_cli(c.image, c.command_line), c.package_manager)
            << c.image << " | " << c.command_line;
    }
}

TEST(KbServices, KnownAndProtected) {
    const std::string postgres =
        "PostgreSQL database server. Start it only when you work on a project that needs it.";
    const std::string mysql =
        "MySQL database server. Start it only when you work on a project that needs it.";
    const std::string mssql =
        "SQL Server database engine. Start it only when you work on a project that needs it.";
    const struct {
        const char* service;
        std::optional<std::string> description;
        bool is_protected;
    } cases[] = {
        {"postgresql-x64-16", postgres, false},
        {"PostgreSQL-x64-16", postgres, false},
        {"postgresql", std::nullopt, false},
        {"MySQL80", mysql, false},
        {"mysql", mysql, false},
        {"MSSQL$SQLEXPRESS", mssql, false},
        {"MongoDB",
         "MongoDB database server. Start it only when you work on a project that needs it.", false},
        {"mongodb2", std::nullopt, false},
        {"com.docker.service2", std::nullopt, false},
        {"MySQL-\xC3\x9Cnicode", mysql, false},  // only ASCII letters fold
        {"WinDefend", std::nullopt, true},
        {"BFE", std::nullopt, true},
        {"windefend2", std::nullopt, false},
        {"SecurityHealthService", std::nullopt, true},
        {"", std::nullopt, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(service_description(c.service), c.description) << c.service;
        EXPECT_EQ(is_protected_service(c.service), c.is_protected) << c.service;
    }
}

TEST(KbStartup, KnownAndProtected) {
    const std::string shared = std::string(known_startup_description());
    const struct {
        const char* value;
        bool known;
        bool is_protected;
    } cases[] = {
        {"Microsoft Teams", true, false},
        {"com.squirrel.Teams.Teams", true, false},
        {"Steam", true, false},
        {"Free Download Manager", true, false},
        {"\xC3\x84rger TEAMS", true, false},
        {"SecurityHealth", false, true},
        {"RtkAudUService", false, true},
        {"Tessavo", false, true},
        {"MyApp", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        const auto description = startup_description(c.value);
        EXPECT_EQ(description.has_value(), c.known) << c.value;
        if (description) {
            EXPECT_EQ(*description, shared) << c.value;
        }
        EXPECT_EQ(is_protected_startup(c.value), c.is_protected) << c.value;
    }
}

// ---- Tables transcribed whole: sizes, first and last rows, every row reachable ----

constexpr std::size_t kFriendlyNameCount = 62;
constexpr std::size_t kProtectedProcessCount = 40;
constexpr std::size_t kDevServerCount = 13;
constexpr std::size_t kHelperCount = 10;
constexpr std::size_t kKnownServiceCount = 17;
constexpr std::size_t kProtectedServiceCount = 25;
constexpr std::size_t kKnownStartupCount = 21;

TEST(KbTables, FriendlyNames) {
    const auto rows = friendly_name_rows();
    ASSERT_EQ(rows.size(), kFriendlyNameCount);
    EXPECT_EQ(rows.front().key, "adb");
    EXPECT_EQ(rows.front().name, "Android Debug Bridge");
    EXPECT_EQ(rows.back().key, "zed");
    EXPECT_EQ(rows.back().name, "Zed editor");
    EXPECT_EQ(friendly_name("audiodg.exe"), "Windows audio engine (includes sound enhancements)");
    EXPECT_EQ(friendly_name("esbuild.exe"), "esbuild (bundler used by Vite dev servers)");
    EXPECT_EQ(friendly_name("esrv_svc.exe"), "Intel energy/telemetry service");
    EXPECT_EQ(friendly_name("dsatray.exe"), "Intel Driver & Support Assistant tray");
    EXPECT_EQ(friendly_name("msedgewebview2.exe"), "Edge WebView (browser inside other apps)");
    EXPECT_EQ(friendly_name("vmmemwsl"), "WSL / Docker virtual machine");
    EXPECT_EQ(friendly_name("wlanext.exe"), "Wi-Fi driver helper (Windows)");
    EXPECT_EQ(friendly_name("Memory Compression"), "Windows memory compression");
    std::set<std::string_view> keys;
    for (const auto& row : rows) {
        EXPECT_TRUE(keys.insert(row.key).second) << "duplicate " << row.key;
        EXPECT_EQ(to_lower_ascii(row.key), row.key);
        EXPECT_FALSE(row.key.empty() || row.name.empty()) << row.key;
        EXPECT_EQ(friendly_name(upper_ascii(row.key) + ".exe"), row.name) << row.key;
    }
}

TEST(KbTables, ProtectedProcesses) {
    const auto names = protected_process_names();
    ASSERT_EQ(names.size(), kProtectedProcessCount);
    EXPECT_EQ(names.front(), "system");
    EXPECT_EQ(names.back(), "memvane-cli.exe");
    for (const char* name : {"system idle process", "registry", "secure system", "lsaiso.exe",
                             "mpdefendercoreservice.exe", "securityhealthsystray.exe",
                             "wudfhost.exe", "wmiprvse.exe", "memvane.exe"})
        EXPECT_TRUE(is_protected_process(name)) << name;
    for (std::string_view name : names)
        EXPECT_TRUE(is_protected_process(upper_ascii(name))) << name;
}

TEST(KbTables, BuildDaemons) {
    ASSERT_EQ(std::size(kDaemonKinds), 3u);
    EXPECT_EQ(kDaemonKinds[0], DaemonKind::Gradle);
    EXPECT_EQ(kDaemonKinds[1], DaemonKind::Kotlin);
    EXPECT_EQ(kDaemonKinds[2], DaemonKind::Adb);
    const DaemonInfo& gradle = daemon_info(DaemonKind::Gradle);
    EXPECT_EQ(gradle.singular, "Gradle daemon");
    EXPECT_EQ(gradle.plural, "Gradle daemons");
    EXPECT_EQ(gradle.description,
              "Android/Java build helper kept in memory between builds. The next build starts a "
              "fresh one.");
    const DaemonInfo& kotlin = daemon_info(DaemonKind::Kotlin);
    EXPECT_EQ(kotlin.singular, "Kotlin compile daemon");
    EXPECT_EQ(kotlin.plural, "Kotlin compile daemons");
    EXPECT_EQ(kotlin.description,
              "Kotlin compiler kept in memory between builds. The next build starts a fresh one.");
    const DaemonInfo& adb = daemon_info(DaemonKind::Adb);
    EXPECT_EQ(adb.singular, "Android Debug Bridge (adb) server");
    EXPECT_EQ(adb.plural, "Android Debug Bridge (adb) servers");
    EXPECT_EQ(adb.description, "Starts again automatically when you use adb or Android Studio.");

    const std::vector<std::string_view> gm(gradle_markers().begin(), gradle_markers().end());
    const std::vector<std::string_view> km(kotlin_markers().begin(), kotlin_markers().end());
    EXPECT_EQ(gm, (std::vector<std::string_view>{"gradledaemon", "org.gradle.launcher.daemon"}));
    EXPECT_EQ(km, (std::vector<std::string_view>{"kotlincompiledaemon", "kotlin-daemon"}));
    for (std::string_view m : gm)
        EXPECT_EQ(process_role("java.exe", upper_ascii(m)).kind, RoleKind::GradleDaemon) << m;
    for (std::string_view m : km)
        EXPECT_EQ(process_role("javaw.exe", upper_ascii(m)).kind, RoleKind::KotlinDaemon) << m;
}

TEST(KbTables, JavaScriptRuntimesAndPackageManagers) {
    const std::vector<std::string_view> runtimes(js_runtime_names().begin(),
                                                 js_runtime_names().end());
    EXPECT_EQ(runtimes, (std::vector<std::string_view>{"node.exe", "bun.exe", "deno.exe"}));
    const std::vector<std::string_view> scripts(package_manager_scripts().begin(),
                                                package_manager_scripts().end());
    EXPECT_EQ(scripts, (std::vector<std::string_view>{"npx-cli.js", "npm-cli.js", "pnpm.cjs",
                                                      "pnpm.js", "yarn.js", "yarn.cjs"}));
    for (std::string_view s : scripts)
        EXPECT_EQ(process_role("node.exe", "node " + upper_ascii(s)).kind, RoleKind::PackageManager)
            << s;
}

TEST(KbTables, DevServers) {
    const auto rows = dev_server_rows();
    ASSERT_EQ(rows.size(), kDevServerCount);
    EXPECT_EQ(rows.front().fragment, "\\vite\\bin\\vite");
    EXPECT_EQ(rows.front().framework, "Vite");
    EXPECT_EQ(rows[3].fragment, "\\webpack\\bin\\webpack.js serve");
    EXPECT_EQ(rows[4].framework, "Create React App");
    EXPECT_EQ(rows[6].fragment, "\\nuxi\\");  // the closing backslash is part of it
    EXPECT_EQ(rows[7].fragment, "\\@angular\\cli\\bin\\ng");
    EXPECT_EQ(rows[10].fragment, "\\nodemon\\");
    EXPECT_EQ(rows[11].framework, "SvelteKit");
    EXPECT_EQ(rows.back().fragment, "\\parcel\\lib\\bin");
    EXPECT_EQ(rows.back().framework, "Parcel");
    // Each row is reachable: written with forward slashes and capitals, its
    // fragment still names its own framework, so no earlier row hides it.
    for (const auto& row : rows) {
        std::string path(row.fragment);
        for (char& c : path)
            if (c == '\\') c = '/';
        const ProcessRole role = process_role(
            "node.exe", "node C:/App/node_modules" + upper_ascii(path) + ".js --port 5173");
        EXPECT_FALSE(row.framework.empty()) << row.fragment;
        EXPECT_EQ(role.kind, RoleKind::DevServer) << row.fragment;
        EXPECT_EQ(role.name, row.framework) << row.fragment;
    }
}

TEST(KbTables, BackgroundHelpers) {
    const auto rows = helper_rows();
    ASSERT_EQ(rows.size(), kHelperCount);
    EXPECT_EQ(rows.front().key, "xboxpctray.exe");
    EXPECT_EQ(rows.front().name, "Xbox app tray");
    EXPECT_EQ(rows.front().description,
              "Keeps the Xbox app loaded in the background even when you aren't gaming.");
    EXPECT_EQ(rows.back().key, "mumuplayerremotebackend.exe");
    EXPECT_EQ(rows.back().name, "MuMuPlayer remote backend");
    EXPECT_EQ(rows.back().description,
              "Android-emulator helper that runs even while the emulator is closed.");
    const ProcessRole lenovo = process_role("LenovoVantage-(VantageCoreAddin).exe", "");
    EXPECT_EQ(lenovo.description,
              "Background add-ins for Lenovo Vantage (telemetry, offers, diagnostics). Vantage "
              "starts them again when you open it.");
    EXPECT_EQ(process_role("dsatray.exe", "").description,
              "Checks for Intel driver updates in the background. Open Intel DSA yourself when you "
              "want to update drivers.");
    for (const auto& row : rows) {
        const std::string image = upper_ascii(row.key) + (row.key.back() == '-' ? "X.EXE" : "");
        const ProcessRole role = process_role(image, "");
        EXPECT_FALSE(row.name.empty() || row.description.empty()) << row.key;
        EXPECT_EQ(role.kind, RoleKind::BackgroundHelper) << row.key;
        EXPECT_EQ(role.name, row.name) << row.key;
        EXPECT_EQ(role.description, row.description) << row.key;
    }
}

TEST(KbTables, KnownServices) {
    const auto rows = known_service_rows();
    ASSERT_EQ(rows.size(), kKnownServiceCount);
    EXPECT_EQ(rows.front().key, "lenovovantageservice");
    EXPECT_EQ(rows.front().description,
              "Runs Lenovo Vantage's add-ins all day (telemetry, offers, update checks). Vantage "
              "can still be opened when you need it.");
    EXPECT_EQ(rows.back().key, "dsaupdateservice");
    EXPECT_EQ(rows.back().description,
              "Keeps Intel Driver & Support Assistant itself updated in the background.");
    EXPECT_EQ(service_description("AGMService"),
              "Adobe Genuine Service: a licence checker. Useless if you have no Adobe apps.");
    EXPECT_EQ(service_description("AdobeARMservice"),
              "Adobe updater. Adobe apps check for updates when you open them.");
    EXPECT_EQ(service_description("ClickToRunSvc"),
              "Office's background updater. Word, Excel and the other Office apps start it when "
              "you open them.");
    EXPECT_EQ(service_description("com.docker.service"),
              "Docker Desktop's background service. Docker Desktop starts it when you open it.");
    for (const auto& row : rows) {
        std::string name(row.key);
        while (!name.empty() && name.back() == '*')
            name.pop_back();
        EXPECT_FALSE(name.empty() || row.description.empty()) << row.key;
        EXPECT_EQ(service_description(upper_ascii(name)), std::string(row.description)) << row.key;
    }
}

TEST(KbTables, ProtectedServices) {
    const auto names = protected_service_names();
    ASSERT_EQ(names.size(), kProtectedServiceCount);
    EXPECT_EQ(names.front(), "lsm");
    EXPECT_EQ(names.back(), "rtkaudiouniversalservice");
    for (const char* name : {"RpcSs", "TrustedInstaller", "AudioEndpointBuilder",
                             "LenovoFnAndFunctionKeys", "wuauserv"})
        EXPECT_TRUE(is_protected_service(name)) << name;
    for (std::string_view name : names)
        EXPECT_TRUE(is_protected_service(upper_ascii(name))) << name;
}

TEST(KbTables, StartupEntries) {
    EXPECT_EQ(known_startup_description(),
              "Starts with Windows and uses memory before you open anything. The app still works "
              "when you open it yourself.");
    const auto fragments = known_startup_fragments();
    ASSERT_EQ(fragments.size(), kKnownStartupCount);
    EXPECT_EQ(fragments.front(), "mumuplayer");
    EXPECT_EQ(fragments[1], "free download manager");
    EXPECT_EQ(fragments[9], "epicgameslauncher");
    EXPECT_EQ(fragments.back(), "origin");
    for (std::string_view f : fragments)
        EXPECT_TRUE(startup_description("x " + upper_ascii(f) + " y").has_value()) << f;

    const std::vector<std::string_view> prot(protected_startup_fragments().begin(),
                                             protected_startup_fragments().end());
    EXPECT_EQ(prot, (std::vector<std::string_view>{"securityhealth", "rtkaud", "windowsdefender",
                                                   "memvane", "tessavo"}));
    for (std::string_view f : prot)
        EXPECT_TRUE(is_protected_startup(upper_ascii(f) + "x")) << f;
}

}  // namespace
}  // namespace tess
