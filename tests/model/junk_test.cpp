#include <map>

#include <gtest/gtest.h>

#include "core/timeutil.hpp"
#include "model/junk.hpp"
#include "support/fake_fs.hpp"

namespace tess {
namespace {

using test::FakeFs;

constexpr std::uint64_t kNow = unix_to_filetime(1'800'000'000);
constexpr std::uint64_t kSecond = kTicksPerSecond;
constexpr std::uint64_t kHour = 3600 * kSecond;
constexpr std::uint64_t kDay = 24 * kHour;

EnvLookup env_of(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](std::string_view name) -> std::optional<std::string> {
        auto it = vars.find(std::string(name));
        if (it == vars.end()) return std::nullopt;
        return it->second;
    };
}

JunkCategory category(std::string_view id) {
    auto c = junk_category(id);
    EXPECT_TRUE(c) << id;
    return c.value_or(JunkCategory{});
}

TEST(JunkCategories, TableInOrder) {
    const auto& t = junk_categories();
    const struct {
        const char* id;
        const char* title;
        std::uint32_t age;
        bool admin, ticked, bin;
    } want[] = {
        {"user_temp", "Temporary files", 7, false, true, false},
        {"crash_dumps", "Crash dumps & error reports", 1, false, true, false},
        {"windows_temp", "Windows temporary files", 7, true, true, false},
        {"browser_cache", "Browser cache (Chrome, Edge, Brave)", 0, false, false, false},
        {"dev_cache", "Developer caches (npm, pip, Yarn)", 0, false, false, false},
        {"update_cache", "Windows Update downloads", 10, true, false, false},
        {"recycle_bin", "Recycle Bin", 0, false, false, true},
    };
    ASSERT_EQ(t.size(), std::size(want));
    for (std::size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].id, want[i].id);
        EXPECT_EQ(t[i].title, want[i].title);
        EXPECT_EQ(t[i].min_age_days, want[i].age) << want[i].id;
        EXPECT_EQ(t[i].needs_admin, want[i].admin) << want[i].id;
        EXPECT_EQ(t[i].ticked, want[i].ticked) << want[i].id;
        EXPECT_EQ(t[i].recycle_bin, want[i].bin) << want[i].id;
        EXPECT_FALSE(t[i].description.empty());
    }
    EXPECT_EQ(t[0].description,
              "Leftovers apps put in your temp folder and never cleaned up. Only files untouched "
              "for 7+ days are removed.");
    EXPECT_EQ(t[6].description, "Files you deleted. Emptying it removes them for good.");
    EXPECT_TRUE(junk_category("crash_dumps"));
    EXPECT_FALSE(junk_category("User_Temp"));
    EXPECT_FALSE(junk_category(""));
    EXPECT_EQ(unknown_junk_category_text("x"), "unknown junk category x");
}

TEST(JunkRoots, SafePathRule) {
    const struct {
        const char* path;
        bool safe;
    } cases[] = {
        {"C:\\Users\\me\\AppData\\Local\\Temp", true},
        {"C:\\Users\\me\\AppData\\Local\\Temp\\", true},
        {"C:\\Users\\me\\AppData\\Local\\Temp\\\\", true},
        {"C:/Users/me/AppData/Local/Temp", true},
        {"c:\\users\\me\\appdata\\local\\TEMP", true},
        {"C:\\Temp", true},
        {"C:\\tmp", true},
        {"D:\\CrashDumps", true},
        {"C:\\ProgramData\\Microsoft\\Windows\\WER\\ReportQueue", true},
        {"C:\\x\\Default\\Cache\\Cache_Data", true},
        {"C:\\x\\Default\\Code Cache", true},
        {"C:\\x\\Default\\GPUCache", true},
        {"C:\\L\\npm-cache\\_cacache", true},
        {"C:\\L\\pip\\Cache", true},
        {"C:\\L\\Yarn\\Cache", true},
        {"C:\\Windows\\SoftwareDistribution\\Download", true},
        {"\\\\server\\share\\Temp", true},
        {"C:\\", false},
        {"C:", false},
        {"Temp", false},
        {"\\Temp", false},
        {"C:Temp", false},
        {"C:\\Users\\me\\Documents", false},
        {"C:\\Users\\me\\Temp2", false},
        {"C:\\Users\\me\\MyTemp", false},
        {"C:\\x\\Cache", false},
        {"C:\\L\\npm-cache", false},
        {"C:\\Windows\\SoftwareDistribution", false},
        {"C:\\Windows\\Download", false},
        {"C:\\Users\\me\\..\\..\\Temp", false},
        {"\\\\.\\C:\\Users\\me\\Temp", true},
        {"\\\\.\\pipe\\Temp", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_safe_junk_path(c.path), c.safe) << c.path;
}

TEST(JunkRoots, SafeRootMustBeARealFolderLandingInAJunkFolder) {
    FakeFs fs;
    fs.add_dir("C:\\Users\\me\\AppData\\Local\\Temp");
    fs.add_file("C:\\Users\\me\\Temp", 1);
    fs.add_dir("D:\\Temp");
    fs.add_link("C:\\Users\\me\\Local2\\Temp", "D:\\Temp");
    fs.add_dir("C:\\Users\\me\\Documents");
    // Links higher up: the folder they lead to must pass the rule as well.
    fs.add_dir("C:\\Users\\me\\Documents\\Temp");
    fs.add_link("C:\\Users\\me\\Fake", "C:\\Users\\me\\Documents");
    fs.add_dir("C:\\Users\\me\\Documents\\Cache_Data");
    fs.add_link("C:\\B\\Default\\Cache", "C:\\Users\\me\\Documents");
    const FileOps ops = fs.ops();
    EXPECT_TRUE(is_safe_junk_root("C:\\Users\\me\\AppData\\Local\\Temp\\", ops));
    EXPECT_FALSE(is_safe_junk_root("C:\\Users\\me\\Temp", ops));           // a file
    EXPECT_FALSE(is_safe_junk_root("C:\\Users\\me\\Missing\\Temp", ops));  // missing
    EXPECT_FALSE(is_safe_junk_root("C:\\Users\\me\\Local2\\Temp", ops));   // a link itself
    EXPECT_FALSE(is_safe_junk_root("C:\\Users\\me\\Documents", ops));
    EXPECT_TRUE(is_safe_junk_root("C:\\Users\\me\\Fake\\Temp", ops));  // lands in ...\Temp
    EXPECT_FALSE(is_safe_junk_root("C:\\B\\Default\\Cache\\Cache_Data", ops));

    // Under Wine a folder link is opened through to its target: the name tells.
    FakeFs wine(FakeFs::LinkStyle::Wine);
    wine.add_dir("C:\\Users\\me\\Documents\\Stuff");
    wine.add_link("C:\\Users\\me\\Tmp", "C:\\Users\\me\\Documents\\Stuff");
    EXPECT_FALSE(is_safe_junk_root("C:\\Users\\me\\Tmp", wine.ops()));
}

TEST(JunkRoots, FromTheEnvironment) {
    FakeFs fs;
    const FileOps ops = fs.ops();
    const auto env = env_of({{"LOCALAPPDATA", "C:\\Users\\me\\AppData\\Local"},
                             {"TEMP", "C:\\Users\\me\\AppData\\Local\\Temp\\"}});
    EXPECT_EQ(junk_roots("user_temp", env, ops),
              std::vector<std::string>{"C:\\Users\\me\\AppData\\Local\\Temp"});
    // A relative TEMP is not usable: the local Temp folder instead.
    EXPECT_EQ(junk_roots("user_temp", env_of({{"LOCALAPPDATA", "C:\\L"}, {"TEMP", "tmp"}}), ops),
              std::vector<std::string>{"C:\\L\\Temp"});
    EXPECT_TRUE(junk_roots("user_temp", env_of({{"TEMP", "tmp"}}), ops).empty());
    EXPECT_EQ(junk_roots("crash_dumps", env, ops),
              (std::vector<std::string>{
                  "C:\\Users\\me\\AppData\\Local\\CrashDumps",
                  "C:\\Users\\me\\AppData\\Local\\Microsoft\\Windows\\WER\\ReportArchive",
                  "C:\\Users\\me\\AppData\\Local\\Microsoft\\Windows\\WER\\ReportQueue"}));
    EXPECT_TRUE(junk_roots("crash_dumps", env_of({{"LOCALAPPDATA", "Local"}}), ops).empty());
    // SystemRoot and ProgramData fall back to their usual places.
    EXPECT_EQ(junk_roots("windows_temp", env_of({{"SystemRoot", "relative"}}), ops),
              (std::vector<std::string>{"C:\\Windows\\Temp",
                                        "C:\\ProgramData\\Microsoft\\Windows\\WER\\ReportArchive",
                                        "C:\\ProgramData\\Microsoft\\Windows\\WER\\ReportQueue"}));
    EXPECT_EQ(junk_roots("update_cache", env_of({{"SystemRoot", "D:\\Win"}}), ops),
              std::vector<std::string>{"D:\\Win\\SoftwareDistribution\\Download"});
    EXPECT_EQ(junk_roots("dev_cache", env, ops),
              (std::vector<std::string>{"C:\\Users\\me\\AppData\\Local\\npm-cache\\_cacache",
                                        "C:\\Users\\me\\AppData\\Local\\pip\\Cache",
                                        "C:\\Users\\me\\AppData\\Local\\Yarn\\Cache"}));
    EXPECT_TRUE(junk_roots("recycle_bin", env, ops).empty());
    EXPECT_TRUE(junk_roots("nope", env, ops).empty());
}

TEST(JunkRoots, BrowserProfiles) {
    FakeFs fs;
    const std::string chrome = "C:\\L\\Google\\Chrome\\User Data";
    fs.add_dir(chrome + "\\Default");
    fs.add_dir(chrome + "\\Profile 3");
    fs.add_dir(chrome + "\\Guest Profile");
    fs.add_dir(chrome + "\\System Profile");
    fs.add_dir(chrome + "\\profile 2");  // the case is as written
    fs.add_dir(chrome + "\\Profile");    // no space
    fs.add_file(chrome + "\\Profile 9", 1);
    fs.add_dir("C:\\L\\BraveSoftware\\Brave-Browser\\User Data\\Default");
    const auto roots = junk_roots("browser_cache", env_of({{"LOCALAPPDATA", "C:\\L"}}), fs.ops());
    EXPECT_EQ(roots,
              (std::vector<std::string>{
                  chrome + "\\Default\\Cache\\Cache_Data",
                  chrome + "\\Default\\Code Cache",
                  chrome + "\\Default\\GPUCache",
                  chrome + "\\Profile 3\\Cache\\Cache_Data",
                  chrome + "\\Profile 3\\Code Cache",
                  chrome + "\\Profile 3\\GPUCache",
                  "C:\\L\\BraveSoftware\\Brave-Browser\\User Data\\Default\\Cache\\Cache_Data",
                  "C:\\L\\BraveSoftware\\Brave-Browser\\User Data\\Default\\Code Cache",
                  "C:\\L\\BraveSoftware\\Brave-Browser\\User Data\\Default\\GPUCache",
              }));
}

TEST(JunkAge, Qualifies) {
    const struct {
        std::uint64_t age;  // ticks before now
        std::uint32_t min_days;
        bool future;
        bool qualifies;
    } cases[] = {
        {6 * kDay, 7, false, false},
        {7 * kDay - kSecond, 7, false, false},
        {7 * kDay - kSecond / 2, 7, false, false},  // whole seconds only
        {7 * kDay, 7, false, true},
        {8 * kDay, 7, false, true},
        {23 * kHour, 1, false, false},
        {kDay, 1, false, true},
        {10 * kDay - kSecond, 10, false, false},
        {10 * kDay, 10, false, true},
        {0, 0, false, true},
        {kHour, 7, true, false},  // last write in the future
        {365 * kDay, 7, true, false},
        {kHour, 0, true, true},  // minimum age 0 takes every file
    };
    for (const auto& c : cases) {
        const std::uint64_t t = c.future ? kNow + c.age : kNow - c.age;
        EXPECT_EQ(junk_age_qualifies(t, kNow, c.min_days), c.qualifies)
            << c.age / kSecond << "s min " << c.min_days << (c.future ? " future" : "");
    }
}

// A temp folder with files either side of the age limit, a link out to a decoy, and a
// sub-folder that cannot be listed.
struct TempTree {
    FakeFs fs;
    std::string root = "C:\\Users\\me\\AppData\\Local\\Temp";
    explicit TempTree(FakeFs::LinkStyle style = FakeFs::LinkStyle::Windows) : fs(style) {
        fs.add_dir(root, kNow - 30 * kDay);
        fs.add_file(root + "\\old.tmp", 100, kNow - 8 * kDay);
        fs.add_file(root + "\\six-days.tmp", 10, kNow - 6 * kDay);
        fs.add_file(root + "\\seven-days.tmp", 20, kNow - 7 * kDay);
        fs.add_file(root + "\\future.tmp", 30, kNow + kDay);
        fs.add_dir(root + "\\sub", kNow - 9 * kDay);
        fs.add_file(root + "\\sub\\deep.log", 1000, kNow - 9 * kDay);
        fs.add_dir(root + "\\locked", kNow - 9 * kDay);
        fs.add_file(root + "\\locked\\x.tmp", 5, kNow - 9 * kDay);
        fs.deny_list(root + "\\locked");
        fs.add_dir("D:\\decoy", kNow - 9 * kDay);
        fs.add_file("D:\\decoy\\precious.doc", 5000, kNow - 99 * kDay);
        fs.add_link(root + "\\junction", "D:\\decoy");
        fs.add_link(root + "\\file-link.doc", "D:\\decoy\\precious.doc", false);
    }
};

TEST(JunkMeasure, CountsQualifyingFilesAndNeverFollowsLinks) {
    TempTree t;
    const JunkRow row = measure_junk_folders(category("user_temp"), {t.root}, kNow, t.fs.ops());
    EXPECT_EQ(row.id, "user_temp");
    EXPECT_EQ(row.title, "Temporary files");
    EXPECT_TRUE(row.ticked);
    EXPECT_FALSE(row.needs_admin);
    EXPECT_EQ(row.files, 3u);  // old, seven-days, deep; not six-days, future, the links
    EXPECT_EQ(row.bytes, 1120u);
    EXPECT_TRUE(row.complete);  // an unreadable sub-folder is skipped silently
}

TEST(JunkMeasure, CompleteOnlyWhenEveryCategoryFolderCouldBeListed) {
    FakeFs fs;
    fs.add_file("C:\\W\\Temp\\a", 7, kNow - 30 * kDay);
    fs.add_dir("C:\\P\\WER\\ReportArchive");
    fs.deny_list("C:\\P\\WER\\ReportArchive");
    const auto cat = category("windows_temp");
    JunkRow row =
        measure_junk_folders(cat, {"C:\\W\\Temp", "C:\\P\\WER\\ReportQueue"}, kNow, fs.ops());
    EXPECT_TRUE(row.complete);  // a missing folder just has nothing
    EXPECT_EQ(row.files, 1u);
    row = measure_junk_folders(cat, {"C:\\W\\Temp", "C:\\P\\WER\\ReportArchive"}, kNow, fs.ops());
    EXPECT_FALSE(row.complete);
    EXPECT_EQ(row.files, 1u);
    EXPECT_EQ(row.bytes, 7u);
    EXPECT_TRUE(row.needs_admin);
    // Nor when it cannot even be opened.
    fs.add_dir("C:\\P\\WER\\ReportQueue");
    fs.deny_open("C:\\P\\WER\\ReportQueue");
    EXPECT_FALSE(
        measure_junk_folders(cat, {"C:\\W\\Temp", "C:\\P\\WER\\ReportQueue"}, kNow, fs.ops())
            .complete);
    // Unsafe roots are not measured at all.
    fs.add_file("C:\\Users\\me\\Documents\\a", 1, kNow - 30 * kDay);
    row = measure_junk_folders(cat, {"C:\\Users\\me\\Documents", "C:\\"}, kNow, fs.ops());
    EXPECT_EQ(row.files, 0u);
}

TEST(JunkClean, AgeRulesLinksAndTheCategoryFolder) {
    for (auto style : {FakeFs::LinkStyle::Windows, FakeFs::LinkStyle::Wine}) {
        SCOPED_TRACE(style == FakeFs::LinkStyle::Wine ? "wine links" : "windows links");
        TempTree t(style);
        const auto r = clean_junk_folders(category("user_temp"), {t.root}, kNow, t.fs.ops());
        EXPECT_EQ(r.files_removed, 3u);
        EXPECT_EQ(r.bytes_freed, 1120u);
        // Under Wine the file link looks like an old file: it is refused, never deleted
        // through, and counts as left alone.
        EXPECT_EQ(r.in_use, style == FakeFs::LinkStyle::Wine ? 1u : 0u);
        EXPECT_FALSE(t.fs.exists(t.root + "\\old.tmp"));
        EXPECT_FALSE(t.fs.exists(t.root + "\\seven-days.tmp"));
        EXPECT_TRUE(t.fs.exists(t.root + "\\six-days.tmp"));
        EXPECT_TRUE(t.fs.exists(t.root + "\\future.tmp"));
        EXPECT_FALSE(t.fs.exists(t.root + "\\sub"));  // emptied in this run: removed
        EXPECT_TRUE(t.fs.exists(t.root + "\\locked\\x.tmp"));
        EXPECT_TRUE(t.fs.exists(t.root + "\\junction"));
        EXPECT_TRUE(t.fs.exists(t.root + "\\file-link.doc"));
        EXPECT_TRUE(t.fs.exists("D:\\decoy\\precious.doc"));
        EXPECT_TRUE(t.fs.exists(t.root));
    }
}

TEST(JunkClean, InUseFilesAreCountedAndKeepTheirFolder) {
    FakeFs fs;
    const std::string root = "C:\\T\\Temp";
    fs.add_file(root + "\\a\\open.tmp", 10, kNow - 9 * kDay);
    fs.add_file(root + "\\a\\gone.tmp", 20, kNow - 9 * kDay);
    fs.add_file(root + "\\ro.tmp", 30, kNow - 9 * kDay, kAttrReadOnly);
    fs.set_write_time(root + "\\a", kNow - 9 * kDay);
    fs.lock(root + "\\a\\open.tmp");
    const auto r = clean_junk_folders(category("user_temp"), {root}, kNow, fs.ops());
    EXPECT_EQ(r, (JunkCleanResult{1, 20, 2}));  // read-only is left as in use
    EXPECT_TRUE(fs.exists(root + "\\a\\open.tmp"));
    EXPECT_TRUE(fs.exists(root + "\\ro.tmp"));
}

TEST(JunkClean, EmptySubFolders) {
    FakeFs fs;
    const std::string root = "C:\\T\\Temp";
    fs.add_dir(root);
    fs.add_dir(root + "\\fresh-empty", kNow - 2 * kHour);
    fs.add_dir(root + "\\old-empty", kNow - 8 * kDay);
    fs.add_dir(root + "\\fresh-but-emptied", kNow - 2 * kHour);
    fs.add_file(root + "\\fresh-but-emptied\\old.tmp", 1, kNow - 8 * kDay);
    fs.add_dir(root + "\\nested", kNow - 2 * kHour);
    fs.add_dir(root + "\\nested\\old-empty", kNow - 8 * kDay);
    fs.add_dir(root + "\\keeps-young-file", kNow - 8 * kDay);
    fs.add_file(root + "\\keeps-young-file\\new.tmp", 1, kNow - kHour);
    const auto r = clean_junk_folders(category("user_temp"), {root}, kNow, fs.ops());
    EXPECT_EQ(r.files_removed, 1u);
    EXPECT_TRUE(fs.exists(root + "\\fresh-empty"));
    EXPECT_FALSE(fs.exists(root + "\\old-empty"));
    EXPECT_FALSE(fs.exists(root + "\\fresh-but-emptied"));
    // Removing the old empty folder inside counts as removing something.
    EXPECT_FALSE(fs.exists(root + "\\nested"));
    EXPECT_TRUE(fs.exists(root + "\\keeps-young-file\\new.tmp"));
}

TEST(JunkClean, OneDayFloorForEmptyFoldersEvenWithMinimumAgeZero) {
    FakeFs fs;
    const std::string root = "C:\\L\\Google\\Chrome\\User Data\\Default\\GPUCache";
    fs.add_dir(root);
    fs.add_dir(root + "\\untouched-hour", kNow - kHour);
    fs.add_dir(root + "\\untouched-two-days", kNow - 2 * kDay);
    fs.add_file(root + "\\data_0", 50, kNow + kHour);  // future: minimum age 0 takes it
    const auto r = clean_junk_folders(category("browser_cache"), {root}, kNow, fs.ops());
    EXPECT_EQ(r, (JunkCleanResult{1, 50, 0}));
    EXPECT_TRUE(fs.exists(root + "\\untouched-hour"));
    EXPECT_FALSE(fs.exists(root + "\\untouched-two-days"));
    EXPECT_TRUE(fs.exists(root));
}

TEST(JunkClean, FolderSwappedForALinkDuringTheWalkIsLeftAlone) {
    for (auto style : {FakeFs::LinkStyle::Windows, FakeFs::LinkStyle::Wine}) {
        SCOPED_TRACE(style == FakeFs::LinkStyle::Wine ? "wine links" : "windows links");
        FakeFs fs(style);
        const std::string root = "C:\\T\\Temp";
        fs.add_file(root + "\\a\\b\\x.tmp", 1, kNow - 9 * kDay);
        fs.add_file(root + "\\a\\y.tmp", 1, kNow - 9 * kDay);
        fs.add_file("D:\\decoy\\b\\x.tmp", 1, kNow - 99 * kDay);
        fs.add_file("D:\\decoy\\y.tmp", 1, kNow - 99 * kDay);
        fs.set_write_time("D:\\decoy", kNow - 99 * kDay);
        fs.set_write_time("D:\\decoy\\b", kNow - 99 * kDay);
        // Right after the walk has listed "a", "a" becomes a junction to the decoy with
        // the same names inside.
        bool swapped = false;
        fs.on_list = [&](const std::string& listed) {
            if (!swapped && listed == root + "\\a") {
                swapped = true;
                fs.replace_with_link(root + "\\a", "D:\\decoy");
            }
        };
        const auto r = clean_junk_folders(category("user_temp"), {root}, kNow, fs.ops());
        EXPECT_TRUE(swapped);
        EXPECT_EQ(r.files_removed, 0u);
        EXPECT_TRUE(fs.exists("D:\\decoy\\b\\x.tmp"));
        EXPECT_TRUE(fs.exists("D:\\decoy\\y.tmp"));
        EXPECT_TRUE(fs.exists("D:\\decoy\\b"));
        EXPECT_TRUE(fs.exists(root + "\\a"));
    }
}

TEST(JunkClean, RootReachedThroughALinkUsesItsRealPlace) {
    FakeFs fs;
    fs.add_file("D:\\Temp\\old.tmp", 3, kNow - 9 * kDay);
    fs.add_link("C:\\Users\\me\\Local", "D:\\");
    const auto r =
        clean_junk_folders(category("user_temp"), {"C:\\Users\\me\\Local\\Temp"}, kNow, fs.ops());
    EXPECT_EQ(r.files_removed, 1u);
    EXPECT_FALSE(fs.exists("D:\\Temp\\old.tmp"));
    EXPECT_TRUE(fs.exists("D:\\Temp"));
}

// Without LOCALAPPDATA the program's own data lives in the temp folder: a kept folder
// is neither counted nor entered nor deleted, however its path is spelled and even
// when the walk reaches it through a link.
TEST(JunkClean, KeptFoldersAreLeftAloneUnderAnyName) {
    const struct {
        const char* what;
        std::string root;
        std::string real;  // where the root really is
        std::vector<std::string> keep;
        std::uint64_t removed;  // of old.tmp, the three in Data, sub\Data\x
        bool data_left, sub_left;
    } cases[] = {
        {"nothing kept", "C:\\U\\Temp", "C:\\U\\Temp", {}, 5, false, false},
        {"as written",
         "C:\\U\\Temp",
         "C:\\U\\Temp",
         {"C:\\U\\Temp\\Data", "C:\\U\\Temp\\sub\\Data"},
         1,
         true,
         true},
        {"other case and separators",
         "C:\\U\\Temp",
         "C:\\U\\Temp",
         {"c:/u/TEMP/data/", "C:\\U\\temp\\SUB\\data"},
         1,
         true,
         true},
        {"one kept, one not",
         "C:\\U\\Temp",
         "C:\\U\\Temp",
         {"C:\\U\\Temp\\sub\\Data"},
         4,
         false,
         true},
        {"the category folder itself",
         "C:\\U\\Temp",
         "C:\\U\\Temp",
         {"c:\\u\\temp"},
         0,
         true,
         true},
        {"a folder holding the category folder",
         "C:\\U\\Temp",
         "C:\\U\\Temp",
         {"C:\\U"},
         0,
         true,
         true},
        {"root reached through a link, kept by its real place",
         "C:\\Link\\Temp",
         "D:\\Temp",
         {"D:\\temp\\data", "D:\\Temp\\sub\\data"},
         1,
         true,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFs fs;
        if (c.real != c.root) fs.add_link("C:\\Link", "D:\\");
        fs.add_file(c.real + "\\old.tmp", 1, kNow - 8 * kDay);
        for (const char* name : {"settings.json", "journal.json", "agent.log"})
            fs.add_file(c.real + "\\Data\\" + name, 10, kNow - 8 * kDay);
        fs.add_file(c.real + "\\sub\\Data\\x", 100, kNow - 8 * kDay);
        for (const char* folder : {"\\Data", "\\sub\\Data", "\\sub"})
            fs.set_write_time(c.real + folder, kNow - 8 * kDay);

        const auto cat = category("user_temp");
        EXPECT_EQ(measure_junk_folders(cat, {c.root}, kNow, fs.ops(), c.keep).files, c.removed);
        const auto r = clean_junk_folders(cat, {c.root}, kNow, fs.ops(), c.keep);
        EXPECT_EQ(r.files_removed, c.removed);
        EXPECT_EQ(r.in_use, 0u);
        for (const char* name : {"settings.json", "journal.json", "agent.log"})
            EXPECT_EQ(fs.exists(c.real + "\\Data\\" + name), c.data_left) << name;
        EXPECT_EQ(fs.exists(c.real + "\\sub\\Data\\x"), c.sub_left);
        EXPECT_TRUE(fs.exists(c.real));
    }
}

TEST(JunkRecycleBin, Outcome) {
    auto ok = recycle_bin_outcome(true, 3, 4096, 0);
    ASSERT_TRUE(ok);
    EXPECT_EQ(*ok, (JunkCleanResult{3, 4096, 0}));
    // Emptying an empty bin may fail; that is still a success with zeros.
    ok = recycle_bin_outcome(true, 0, 0, static_cast<std::int32_t>(0x8000FFFF));
    ASSERT_TRUE(ok);
    EXPECT_EQ(*ok, JunkCleanResult{});
    ok = recycle_bin_outcome(false, 5, 5, static_cast<std::int32_t>(0x80004005));
    ASSERT_TRUE(ok);
    EXPECT_EQ(*ok, JunkCleanResult{});
    ok = recycle_bin_outcome(true, -1, -7, 0);
    ASSERT_TRUE(ok);
    EXPECT_EQ(*ok, JunkCleanResult{});
    const auto failed = recycle_bin_outcome(true, 2, 10, static_cast<std::int32_t>(0x80070005));
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), "Recycle Bin could not be emptied (0x80070005)");
}

TEST(JunkTrace, Line) {
    EXPECT_EQ(junk_trace_line("user_temp", 42, 3, 1024),
              "junk user_temp          42 ms  3 files  1024 bytes");
    EXPECT_EQ(junk_trace_line("browser_cache", 1234567, 0, 0),
              "junk browser_cache  1234567 ms  0 files  0 bytes");
}

}  // namespace
}  // namespace tess
