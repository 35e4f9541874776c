#include <map>

#include <gtest/gtest.h>

#include "core/timeutil.hpp"
#include "model/devclean.hpp"
#include "support/fake_fs.hpp"
#include "support/status.hpp"

namespace tess {
namespace {

using test::FakeFs;

constexpr std::uint64_t kNow = unix_to_filetime(1'800'000'000);
constexpr std::uint64_t kDay = 86'400 * kTicksPerSecond;

EnvLookup env_of(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](std::string_view name) -> std::optional<std::string> {
        auto it = vars.find(std::string(name));
        if (it == vars.end()) return std::nullopt;
        return it->second;
    };
}

const std::map<std::string, std::string> kUserEnv = {
    {"SystemRoot", "C:\\Windows"},
    {"SystemDrive", "C:"},
    {"USERPROFILE", "C:\\Users\\me"},
    {"LOCALAPPDATA", "C:\\Users\\me\\AppData\\Local"},
};

TEST(DevFolderKind, Table) {
    FakeFs fs;
    fs.add_file("C:\\p\\venv\\pyvenv.cfg", 1);
    fs.add_file("C:\\p\\.VENV\\PYVENV.CFG", 1);
    fs.add_dir("C:\\p\\env");               // no pyvenv.cfg
    fs.add_dir("C:\\p\\.env\\pyvenv.cfg");  // a folder, not a file
    const FileOps ops = fs.ops();
    using K = DevFolderKind;
    const struct {
        const char* name;
        std::vector<std::string> beside;
        std::optional<K> kind;
    } cases[] = {
        {"node_modules", {"package.json"}, K::JsPackages},
        {"Node_Modules", {"PACKAGE.JSON", "x"}, K::JsPackages},
        {"node_modules", {"package-lock.json"}, std::nullopt},
        {"target", {"Cargo.toml"}, K::RustBuild},
        {"target", {"package.json"}, std::nullopt},
        {"build", {"build.gradle"}, K::GradleBuild},
        {"build", {"build.gradle.kts"}, K::GradleBuild},
        {"build", {"settings.gradle"}, std::nullopt},
        {"build", {"package.json", "Makefile"}, std::nullopt},
        {".gradle", {"settings.gradle.kts"}, K::GradleCache},
        {".gradle", {"settings.gradle"}, K::GradleCache},
        {".gradle", {"build.gradle"}, K::GradleCache},
        {".gradle", {"gradle.properties"}, std::nullopt},
        {"venv", {}, K::PythonVenv},
        {".venv", {}, K::PythonVenv},
        {"env", {"pyvenv.cfg"}, std::nullopt},  // the marker is inside, not beside
        {".env", {}, std::nullopt},
        {"bin", {"MyApp.CSPROJ"}, K::DotnetBuild},
        {"obj", {"lib.fsproj"}, K::DotnetBuild},
        {"bin", {"old.vbproj"}, K::DotnetBuild},
        {"bin", {"app.sln", "csproj"}, std::nullopt},
        {".next", {"package.json"}, K::WebBuildCache},
        {".nuxt", {"package.json"}, K::WebBuildCache},
        {".svelte-kit", {"package.json"}, K::WebBuildCache},
        {".turbo", {"package.json"}, K::WebBuildCache},
        {".parcel-cache", {"package.json"}, K::WebBuildCache},
        {".angular", {"package.json"}, K::WebBuildCache},
        {".angular", {"angular.json"}, std::nullopt},
        {"dist", {"package.json"}, std::nullopt},
        {"src", {"Cargo.toml", "package.json", "build.gradle"}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dev_folder_kind(c.name, c.beside, std::string("C:\\p\\") + c.name, ops), c.kind)
            << c.name;
}

TEST(DevFolderKind, DescriptionsAndDefaultTick) {
    EXPECT_EQ(dev_folder_description(DevFolderKind::JsPackages),
              "JavaScript packages. npm install (or yarn / pnpm) downloads them again.");
    EXPECT_EQ(dev_folder_description(DevFolderKind::WebBuildCache),
              "Web framework build cache (Next.js, Nuxt, Angular...). The next dev run makes it "
              "again.");
    for (int k = 0; k <= 7; ++k)
        EXPECT_FALSE(dev_folder_description(static_cast<DevFolderKind>(k)).empty()) << k;

    DevFolder f;
    f.bytes = 10;
    f.project_age_days = 29;
    EXPECT_FALSE(dev_folder_default_tick(f));
    f.project_age_days = 30;
    EXPECT_TRUE(dev_folder_default_tick(f));
    f.bytes = 0;
    EXPECT_FALSE(dev_folder_default_tick(f));
    f.bytes = 10;
    f.project_age_days.reset();
    EXPECT_FALSE(dev_folder_default_tick(f));
    f.kind = DevFolderKind::PackageCache;
    f.project_age_days = 400;
    EXPECT_FALSE(dev_folder_default_tick(f));
}

TEST(DevWalkRules, SystemPaths) {
    const SystemPaths sys = system_paths(env_of(kUserEnv));
    const struct {
        const char* path;
        bool system;
    } cases[] = {
        {"C:\\Windows\\System32", true},
        {"c:\\windows", true},
        {"D:\\backup\\C:\\Windows\\x", true},
        {"C:\\Program Files\\app\\node_modules", true},
        {"D:\\Program Files (x86)\\x", true},
        {"C:\\ProgramData\\x", true},
        {"C:\\Users\\me\\AppData\\Local\\pnpm\\store", true},
        {"C:/Users/me/AppData/Roaming/x", true},
        {"C:\\Users\\other\\proj", true},
        {"C:\\Users\\Public\\x", true},
        {"C:\\Users\\me\\proj\\node_modules", false},
        {"C:\\Users\\ME\\proj", false},
        {"C:\\Users\\me2\\proj", true},
        {"D:\\Users\\other\\proj", false},  // only the system drive's profiles
        {"D:\\work\\users\\x", false},
        {"D:\\work\\app", false},
        {"C:\\Users", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_system_path(c.path, sys), c.system) << c.path;

    // Unset or relative variables: the usual places; no profile of our own.
    const SystemPaths bare = system_paths(env_of({{"SystemRoot", "Windows"}}));
    EXPECT_EQ(bare.system_root, "c:\\windows");
    EXPECT_EQ(bare.system_drive, "c:");
    EXPECT_TRUE(bare.user_profile.empty());
    EXPECT_TRUE(is_system_path("C:\\Users\\me\\proj", bare));
    const SystemPaths other =
        system_paths(env_of({{"SystemRoot", "D:\\WinNT\\"}, {"SystemDrive", "D:\\"}}));
    EXPECT_TRUE(is_system_path("D:\\WinNT\\Temp", other));
    EXPECT_TRUE(is_system_path("D:\\Users\\x\\proj", other));
    EXPECT_FALSE(is_system_path("C:\\Windows2\\x", other));
}

TEST(DevWalkRules, SkippedNames) {
    for (const char* name : {".git", ".cache", ".vscode", "Windows", "APPDATA", "Recovery",
                             "PerfLogs", "MSOCache", "ProgramData", "$WinREAgent", "$Recycle.Bin",
                             "$Windows.~BT", "$Windows.~WS", "OneDriveTemp", "node_modules",
                             "Program Files", "program files (x86)", "System Volume Information"})
        EXPECT_TRUE(skip_while_walking(name)) << name;
    for (const char* name : {"src", "Users", "work", "windows.old", "program", "appdata2", "build"})
        EXPECT_FALSE(skip_while_walking(name)) << name;
}

TEST(DevWalkRules, RootsAndWorkers) {
    EXPECT_EQ(dev_scan_roots(env_of({{"TESS_DEV_ROOTS", "D:\\a;;E:/b/"}, {"USERPROFILE", "C:\\U"}}),
                             {'C', 'D'}),
              (std::vector<std::string>{"D:\\a", "E:\\b"}));
    EXPECT_EQ(dev_scan_roots(env_of({{"USERPROFILE", "C:\\Users\\me"}}), {'C', 'E'}),
              (std::vector<std::string>{"C:\\Users\\me", "C:\\", "E:\\"}));
    EXPECT_EQ(dev_scan_roots(env_of({{"USERPROFILE", "me"}}), {'C'}),
              std::vector<std::string>{"C:\\"});
    const struct {
        unsigned processors;
        std::size_t items;
        unsigned workers;
    } cases[] = {{0, 100, 4},  {1, 100, 2}, {2, 100, 2}, {6, 100, 6},
                 {64, 100, 8}, {16, 3, 3},  {16, 0, 1},  {0, 1, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(dev_worker_count(c.processors, c.items), c.workers)
            << c.processors << " " << c.items;
}

// A drive with projects at various depths and places the walk must not go.
struct DevTree {
    FakeFs fs;
    std::string root = "D:\\work";
    DevTree() {
        auto project = [&](const std::string& dir, const std::string& marker,
                           const std::string& folder, std::uint64_t bytes, std::uint64_t age) {
            fs.add_file(dir + "\\" + marker, 1, kNow - age * kDay);
            fs.add_file(dir + "\\" + folder + "\\a", bytes, kNow);
            fs.add_file(dir + "\\" + folder + "\\sub\\b", 1, kNow);
            fs.set_write_time(dir + "\\" + folder, kNow);  // rebuilt today: does not count
        };
        project(root + "\\web", "package.json", "node_modules", 5000, 40);
        // Inside node_modules: never reported on its own.
        fs.add_file(root + "\\web\\node_modules\\dep\\package.json", 1);
        fs.add_file(root + "\\web\\node_modules\\dep\\node_modules\\x", 7);
        project(root + "\\web", "package.json", ".next", 300, 40);
        project(root + "\\rust\\cli", "Cargo.toml", "target", 9000, 10);
        project(root + "\\a\\b\\c\\d\\e\\deep", "build.gradle", "build", 100, 50);  // depth 7
        project(root + "\\a\\b\\c\\d\\e\\f\\too-deep", "package.json", "node_modules", 100, 50);
        project(root + "\\users\\x", "package.json", "node_modules", 11, 50);  // not a drive root
        project(root + "\\.hidden-by-name", "package.json", "node_modules", 100, 50);
        project(root + "\\attr-hidden", "package.json", "node_modules", 100, 50);
        fs.add_dir(root + "\\attr-hidden", kNow, kAttrHidden);
        fs.add_file(root + "\\no-marker\\node_modules\\x", 100);
        fs.add_file(root + "\\empty\\package.json", 1);
        fs.add_dir(root + "\\empty\\node_modules");  // 0 bytes: dropped
        fs.add_file(root + "\\empty\\node_modules\\zero", 0);
        // A link to another project: neither entered nor reported.
        project("E:\\elsewhere", "package.json", "node_modules", 100, 50);
        fs.add_link(root + "\\linked", "E:\\elsewhere");
        // A node_modules link beside a real project is not a result either.
        fs.add_file(root + "\\pnpm\\package.json", 1, kNow - 2 * kDay);
        fs.add_link(root + "\\pnpm\\node_modules", "E:\\elsewhere\\node_modules");
        // Under a drive root, Users is never entered.
        project("D:\\Users\\someone", "package.json", "node_modules", 100, 50);
    }
    DevScanSetup setup(std::vector<std::string> roots) const {
        DevScanSetup s;
        s.roots = std::move(roots);
        s.system = system_paths(env_of(kUserEnv));
        s.now = kNow;
        s.deadline = std::chrono::steady_clock::now() + std::chrono::hours(1);
        s.processors = 4;
        return s;
    }
};

TEST(DevScan, FindsMeasuresAndSortsLargestFirst) {
    DevTree t;
    const auto found = scan_dev_folders(t.setup({t.root}), t.fs.ops());
    std::vector<std::string> paths;
    for (const auto& f : found)
        paths.push_back(f.path);
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "D:\\work\\rust\\cli\\target",
                         "D:\\work\\web\\node_modules",
                         "D:\\work\\web\\.next",
                         "D:\\work\\a\\b\\c\\d\\e\\deep\\build",
                         "D:\\work\\users\\x\\node_modules",
                     }));
    ASSERT_EQ(found.size(), 5u);
    const DevFolder& web = found[1];
    EXPECT_EQ(web.kind, DevFolderKind::JsPackages);
    EXPECT_EQ(web.name, "node_modules");
    EXPECT_EQ(web.project_name, "web");
    EXPECT_EQ(web.files, 4u);  // a, sub\b, dep\package.json, dep\node_modules\x
    EXPECT_EQ(web.bytes, 5000u + 1 + 1 + 7);
    // The project changed 40 days ago; its rebuilt folders were written today.
    EXPECT_EQ(web.project_age_days, 40u);
    EXPECT_TRUE(dev_folder_default_tick(web));
    EXPECT_EQ(found[0].project_age_days, 10u);
    EXPECT_FALSE(dev_folder_default_tick(found[0]));
    EXPECT_EQ(found[0].bytes, 9001u);
}

TEST(DevScan, DriveRootsSkipUsersAndCachesComeLast) {
    DevTree t;
    t.fs.add_file("D:\\proj\\package.json", 1, kNow);
    t.fs.add_file("D:\\proj\\node_modules\\x", 50);
    t.fs.add_file("D:\\package.json", 1, kNow);
    t.fs.add_file("D:\\node_modules\\x", 60);  // straight under the root
    t.fs.add_file("C:\\Users\\me\\.m2\\repository\\x.jar", 70);
    DevScanSetup s = t.setup({"D:\\"});
    s.caches = {{"C:\\Users\\me\\.m2\\repository", "Maven repository"},
                {"C:\\Users\\me\\.gradle\\caches", "Gradle download cache"}};  // empty
    const auto found = scan_dev_folders(s, t.fs.ops());
    bool saw_users = false, saw_cache = false, saw_root_level = false;
    for (const auto& f : found) {
        if (f.path.find("D:\\Users") == 0) saw_users = true;
        if (f.kind == DevFolderKind::PackageCache) {
            saw_cache = true;
            EXPECT_EQ(f.name, "Maven repository");
            EXPECT_EQ(f.project_name, "");
            EXPECT_FALSE(f.project_age_days);
            EXPECT_EQ(f.bytes, 70u);
        }
        if (f.path == "D:\\node_modules") {
            saw_root_level = true;
            EXPECT_EQ(f.project_name, "");
        }
    }
    EXPECT_FALSE(saw_users);
    EXPECT_TRUE(saw_cache);
    EXPECT_TRUE(saw_root_level);
}

TEST(DevScan, OverlappingRootsAndThePassedDeadline) {
    DevTree t;
    // The same tree from two roots gives each folder once.
    auto found = scan_dev_folders(t.setup({t.root, "D:\\work\\web", "D:\\WORK\\rust"}), t.fs.ops());
    EXPECT_EQ(found.size(), 5u);
    // Past the deadline only what the roots' own listings show is found.
    DevScanSetup s = t.setup({"D:\\work\\web", t.root});
    s.deadline = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    found = scan_dev_folders(s, t.fs.ops());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].path, "D:\\work\\web\\node_modules");
    EXPECT_EQ(found[1].path, "D:\\work\\web\\.next");
}

TEST(DevCheck, Rules) {
    FakeFs fs;
    fs.add_file("C:\\Users\\me\\proj\\package.json", 1);
    fs.add_dir("C:\\Users\\me\\proj\\node_modules");
    fs.add_dir("C:\\Users\\me\\proj\\target");  // no Cargo.toml
    fs.add_file("C:\\Users\\me\\proj\\file", 1);
    fs.add_link("C:\\Users\\me\\proj2\\node_modules", "C:\\Users\\me\\proj\\node_modules");
    fs.add_file("C:\\Users\\me\\proj2\\package.json", 1);
    fs.add_file("C:\\Program Files\\app\\package.json", 1);
    fs.add_dir("C:\\Program Files\\app\\node_modules");
    fs.add_dir("C:\\Users\\me\\AppData\\Local\\pnpm\\store");
    fs.add_dir("C:\\Users\\me\\AppData\\Local\\npm\\node_modules");
    fs.add_file("C:\\Users\\me\\AppData\\Local\\npm\\package.json", 1);
    fs.add_file("C:\\Users\\other\\p\\package.json", 1);
    fs.add_dir("C:\\Users\\other\\p\\node_modules");
    // A harmless-looking path that lands in a program's folder through a junction.
    fs.add_link("C:\\Users\\me\\innocent", "C:\\Program Files\\app");
    fs.add_file("C:\\Users\\me\\up\\package.json", 1);
    fs.add_dir("C:\\Users\\me\\up\\node_modules");
    const auto env = env_of(kUserEnv);
    const FileOps ops = fs.ops();
    const struct {
        const char* path;
        std::optional<std::string> error;
    } cases[] = {
        {"C:\\Users\\me\\proj\\node_modules", std::nullopt},
        {"c:\\users\\me\\proj\\node_modules\\", std::nullopt},
        {"C:\\Users\\me\\AppData\\Local\\pnpm\\store", std::nullopt},  // a package cache
        {"C:\\Users\\me\\AppData\\Local\\pnpm\\STORE", std::nullopt},
        {"C:\\Users\\me\\proj\\gone", "the folder is already gone"},
        {"C:\\Users\\me\\proj\\file", "not a developer folder"},
        {"C:\\Users\\me\\proj2\\node_modules", "not a developer folder"},  // a link
        {"C:\\", "not a developer folder"},
        {"C:\\node_modules", "the folder is already gone"},
        {"node_modules", "not a developer folder"},
        {"proj\\node_modules", "not a developer folder"},
        {"C:\\Users\\me\\proj\\..\\up\\node_modules", "not a developer folder"},
        {"C:\\Program Files\\app\\node_modules", "that folder belongs to Windows or another user"},
        {"C:\\Users\\me\\AppData\\Local\\npm\\node_modules",
         "that folder belongs to Windows or another user"},
        {"C:\\Users\\other\\p\\node_modules", "that folder belongs to Windows or another user"},
        {"C:\\Users\\me\\innocent\\node_modules", "that folder belongs to Windows or another user"},
        {"C:\\Users\\me\\proj\\target", "its project file is missing, so it was left alone"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(test::failure(check_dev_folder(c.path, env, ops)), c.error) << c.path;

    // The project folder cannot be listed: the system's words.
    fs.deny_list("C:\\Users\\me\\proj");
    EXPECT_EQ(test::failure(check_dev_folder("C:\\Users\\me\\proj\\node_modules", env, ops)),
              "Access denied");
}

TEST(DevCheck, PackageCachesListOnlyRealFolders) {
    FakeFs fs;
    fs.add_dir("C:\\Users\\me\\.nuget\\packages");
    fs.add_dir("C:\\Users\\me\\.gradle\\caches");
    fs.add_dir("D:\\cargo");
    fs.add_link("C:\\Users\\me\\.cargo\\registry", "D:\\cargo");
    fs.add_dir("C:\\Users\\me\\AppData\\Local\\pnpm\\store");
    const auto caches = package_caches(env_of(kUserEnv), fs.ops());
    EXPECT_EQ(caches, (std::vector<PackageCache>{
                          {"C:\\Users\\me\\.gradle\\caches", "Gradle download cache"},
                          {"C:\\Users\\me\\.nuget\\packages", "NuGet packages"},
                          {"C:\\Users\\me\\AppData\\Local\\pnpm\\store", "pnpm store"},
                      }));
    EXPECT_TRUE(package_caches(env_of({{"USERPROFILE", "me"}}), fs.ops()).empty());
}

TEST(DevDelete, EverythingInsideThenTheFolder) {
    for (auto style : {FakeFs::LinkStyle::Windows, FakeFs::LinkStyle::Wine}) {
        const bool wine = style == FakeFs::LinkStyle::Wine;
        SCOPED_TRACE(wine ? "wine links" : "windows links");
        FakeFs fs(style);
        const std::string nm = "C:\\p\\node_modules";
        fs.add_file(nm + "\\a.js", 10);
        fs.add_file(nm + "\\ro\\b.js", 20, 0, kAttrReadOnly);
        fs.add_file(nm + "\\deep\\er\\c.js", 30);
        fs.add_file("C:\\shared\\keep.js", 40);
        fs.add_dir("C:\\shared\\empty");
        fs.add_link(nm + "\\.bin", "C:\\shared");
        fs.add_link(nm + "\\empty-link", "C:\\shared\\empty");
        fs.add_link(nm + "\\file-link.js", "C:\\shared\\keep.js", false);
        const auto r = delete_folder_tree(nm, fs.ops());
        EXPECT_EQ(r.files_deleted, 3u);
        EXPECT_EQ(r.bytes_freed, 60u);
        // Windows removes the links as links. Under Wine they cannot be told from
        // their targets when opened, so they are refused and stay.
        EXPECT_EQ(r.files_failed, wine ? 3u : 0u);
        EXPECT_EQ(fs.exists(nm), wine);
        EXPECT_TRUE(fs.exists("C:\\shared\\keep.js"));
        EXPECT_TRUE(fs.exists("C:\\shared\\empty"));
        EXPECT_FALSE(fs.exists(nm + "\\ro"));
    }
}

TEST(DevDelete, FileInUseKeepsItsFolder) {
    FakeFs fs;
    fs.add_file("C:\\p\\target\\debug\\app.exe", 100);
    fs.add_file("C:\\p\\target\\debug\\app.pdb", 50);
    fs.lock("C:\\p\\target\\debug\\app.exe");
    const auto r = delete_folder_tree("C:\\p\\target", fs.ops());
    EXPECT_EQ(r, (TreeDeleteResult{1, 50, 1}));
    EXPECT_TRUE(fs.exists("C:\\p\\target\\debug\\app.exe"));
    EXPECT_FALSE(fs.exists("C:\\p\\target\\debug\\app.pdb"));
}

TEST(DevDelete, LinksAndSwapsAreNeverFollowed) {
    FakeFs fs;
    fs.add_file("C:\\p\\build\\out\\x.o", 1);
    fs.add_file("C:\\p\\build\\y.o", 1);
    fs.add_file("C:\\Users\\me\\Documents\\out\\x.o", 1);
    fs.add_file("C:\\Users\\me\\Documents\\y.o", 1);
    // A folder that is itself a link is left alone.
    fs.add_link("C:\\p\\link-build", "C:\\Users\\me\\Documents");
    EXPECT_EQ(delete_folder_tree("C:\\p\\link-build", fs.ops()), TreeDeleteResult{});
    EXPECT_TRUE(fs.exists("C:\\p\\link-build"));
    // Swapped for a junction right after it was listed: nothing behind it is touched.
    bool swapped = false;
    fs.on_list = [&](const std::string& listed) {
        if (!swapped && listed == "C:\\p\\build") {
            swapped = true;
            fs.replace_with_link("C:\\p\\build", "C:\\Users\\me\\Documents");
        }
    };
    const auto r = delete_folder_tree("C:\\p\\build", fs.ops());
    EXPECT_TRUE(swapped);
    EXPECT_EQ(r.files_deleted, 0u);
    EXPECT_TRUE(fs.exists("C:\\Users\\me\\Documents\\out\\x.o"));
    EXPECT_TRUE(fs.exists("C:\\Users\\me\\Documents\\y.o"));
    EXPECT_TRUE(fs.exists("C:\\p\\build"));
}

}  // namespace
}  // namespace tess
