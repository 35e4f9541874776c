// Junk measurement and cleaning on real folders under Wine.
#include "core/win.hpp"

#include <shellapi.h>

#include <gtest/gtest.h>

#include "core/settings.hpp"
#include "model/junk.hpp"
#include "scan/realfs_winutil.hpp"

namespace tess {
namespace {

using namespace test;

JunkCategory category(std::string_view id) {
    return junk_category(id).value();
}

TEST(JunkRealFiles, EachAgeLimitFromBothSides) {
    TempDir td("junk");
    const std::uint64_t now = win::filetime_now();
    const struct {
        const char* id;
        const char* folder;
        std::uint64_t limit;
    } cases[] = {
        {"user_temp", "Temp", 7 * kDayTicks},
        {"crash_dumps", "CrashDumps", kDayTicks},
        {"update_cache", "SoftwareDistribution\\Download", 10 * kDayTicks},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const std::string root = td.file(c.folder);
        make_file(root + "\\under.bin", 100, now, c.limit - 10 * kMinute);
        make_file(root + "\\over.bin", 200, now, c.limit + 10 * kMinute);
        make_file(root + "\\sub\\over.bin", 300, now, c.limit + kDayTicks);
        make_file(root + "\\future.bin", 400, now, kDayTicks, true);
        const auto cat = category(c.id);
        const JunkRow row =
            measure_junk_folders(cat, {root}, win::filetime_now(), system_file_ops());
        EXPECT_EQ(row.files, 2u);
        EXPECT_EQ(row.bytes, 500u);
        EXPECT_TRUE(row.complete);
        const auto r = clean_junk_folders(cat, {root}, win::filetime_now(), system_file_ops());
        EXPECT_EQ(r, (JunkCleanResult{2, 500, 0}));
        EXPECT_TRUE(exists(root + "\\under.bin"));
        EXPECT_TRUE(exists(root + "\\future.bin"));
        EXPECT_FALSE(exists(root + "\\over.bin"));
        EXPECT_FALSE(exists(root + "\\sub"));  // emptied in this run
        EXPECT_TRUE(exists(root));
    }
    // Minimum age 0 takes everything, a last write in the future included.
    const std::string gpu = td.file("Default\\GPUCache");
    make_file(gpu + "\\data_1", 10, now, kMinute);
    make_file(gpu + "\\data_2", 20, now, kDayTicks, true);
    const auto r = clean_junk_folders(category("browser_cache"), {gpu}, win::filetime_now(),
                                      system_file_ops());
    EXPECT_EQ(r, (JunkCleanResult{2, 30, 0}));
}

TEST(JunkRealFiles, OpenFileIsCountedThenLeftInUse) {
    TempDir td("junk");
    const std::uint64_t now = win::filetime_now();
    const std::string root = td.file("Temp");
    make_file(root + "\\app\\open.log", 1000, now, 30 * kDayTicks);
    make_file(root + "\\app\\done.log", 24, now, 30 * kDayTicks);
    set_write_time(root + "\\app", now - 30 * kDayTicks);
    auto held = hold_open(root + "\\app\\open.log");
    ASSERT_TRUE(held);
    const auto cat = category("user_temp");
    const JunkRow row = measure_junk_folders(cat, {root}, win::filetime_now(), system_file_ops());
    EXPECT_EQ(row.files, 2u);
    EXPECT_EQ(row.bytes, 1024u);
    const auto r = clean_junk_folders(cat, {root}, win::filetime_now(), system_file_ops());
    EXPECT_EQ(r, (JunkCleanResult{1, 24, 1}));
    EXPECT_TRUE(exists(root + "\\app\\open.log"));
    EXPECT_FALSE(exists(root + "\\app\\done.log"));
    held.reset();
    EXPECT_EQ(clean_junk_folders(cat, {root}, win::filetime_now(), system_file_ops()),
              (JunkCleanResult{1, 1000, 0}));
    EXPECT_FALSE(exists(root + "\\app"));
}

TEST(JunkRealFiles, EmptySubFoldersKeptOrRemoved) {
    TempDir td("junk");
    const std::uint64_t now = win::filetime_now();
    const std::string root = td.file("Temp");
    make_file(root + "\\emptied\\old.tmp", 5, now, 8 * kDayTicks);
    make_file(root + "\\young-file\\new.tmp", 5, now, kHourTicks);
    make_dir(root + "\\fresh", now, 2 * kHourTicks);
    make_dir(root + "\\stale", now, 8 * kDayTicks);
    make_dir(root + "\\emptied", now, 2 * kHourTicks);
    make_dir(root + "\\young-file", now, 8 * kDayTicks);
    const auto r =
        clean_junk_folders(category("user_temp"), {root}, win::filetime_now(), system_file_ops());
    EXPECT_EQ(r, (JunkCleanResult{1, 5, 0}));
    EXPECT_TRUE(exists(root + "\\fresh"));
    EXPECT_FALSE(exists(root + "\\stale"));
    EXPECT_FALSE(exists(root + "\\emptied"));
    EXPECT_TRUE(exists(root + "\\young-file\\new.tmp"));

    // Minimum age 0 still keeps an untouched empty folder younger than a day.
    const std::string cache = td.file("Default\\Code Cache");
    make_dir(cache + "\\js", now, 2 * kHourTicks);
    make_dir(cache + "\\wasm", now, 2 * kDayTicks);
    clean_junk_folders(category("browser_cache"), {cache}, win::filetime_now(), system_file_ops());
    EXPECT_TRUE(exists(cache + "\\js"));
    EXPECT_FALSE(exists(cache + "\\wasm"));
}

TEST(JunkRealFiles, ReadOnlyFilesAreLeftAsInUse) {
    TempDir td("junk");
    const std::uint64_t now = win::filetime_now();
    const std::string root = td.file("Temp");
    make_file(root + "\\ro.tmp", 7, now, 30 * kDayTicks);
    ::SetFileAttributesW(win::widen(root + "\\ro.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
    const auto r =
        clean_junk_folders(category("user_temp"), {root}, win::filetime_now(), system_file_ops());
    EXPECT_EQ(r, (JunkCleanResult{0, 0, 1}));
    EXPECT_TRUE(exists(root + "\\ro.tmp"));
    ::SetFileAttributesW(win::widen(root + "\\ro.tmp").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A real folder link inside Temp, pointing at a folder full of old files: it is
// neither counted, nor entered, nor deleted, and it keeps its parent folder.
TEST(JunkRealFiles, LinkInsideTempIsLeftAlone) {
    TempDir td("junk");
    const std::uint64_t now = win::filetime_now();
    const std::string root = td.file("Temp");
    const std::string decoy = td.file("decoy");
    for (int i = 0; i < 5; ++i)
        make_file(decoy + "\\keep" + std::to_string(i) + ".doc", 100, now, 90 * kDayTicks);
    make_dir(decoy + "\\empty", now, 90 * kDayTicks);
    make_file(root + "\\old.tmp", 1, now, 30 * kDayTicks);
    make_dir(root + "\\holder", now, 30 * kDayTicks);
    FolderLink link(decoy, root + "\\holder\\link");
    FolderLink empty_link(decoy + "\\empty", root + "\\empty-link");
    if (!link.made() || !empty_link.made()) GTEST_SKIP() << "no folder link could be made here";
    set_write_time(root + "\\holder", now - 30 * kDayTicks);

    const auto cat = category("user_temp");
    const JunkRow row = measure_junk_folders(cat, {root}, win::filetime_now(), system_file_ops());
    EXPECT_EQ(row.files, 1u);
    const auto r = clean_junk_folders(cat, {root}, win::filetime_now(), system_file_ops());
    EXPECT_EQ(r, (JunkCleanResult{1, 1, 0}));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(exists(decoy + "\\keep" + std::to_string(i) + ".doc"));
    EXPECT_TRUE(exists(decoy + "\\empty"));
    EXPECT_TRUE(exists(root + "\\holder\\link"));
    EXPECT_TRUE(exists(root + "\\empty-link"));
}

TEST(JunkRealFiles, CategoryFolderThatIsALinkIsNotTouched) {
    TempDir td("junk");
    const std::uint64_t now = win::filetime_now();
    const std::string decoy = td.file("decoy");
    make_file(decoy + "\\keep.doc", 100, now, 90 * kDayTicks);
    FolderLink link(decoy, td.file("Temp"));
    if (!link.made()) GTEST_SKIP() << "no folder link could be made here";
    EXPECT_FALSE(is_safe_junk_root(td.file("Temp")));
    const auto cat = category("user_temp");
    EXPECT_EQ(
        measure_junk_folders(cat, {td.file("Temp")}, win::filetime_now(), system_file_ops()).files,
        0u);
    EXPECT_EQ(clean_junk_folders(cat, {td.file("Temp")}, win::filetime_now(), system_file_ops()),
              JunkCleanResult{});
    EXPECT_TRUE(exists(decoy + "\\keep.doc"));
}

TEST(JunkRealFiles, ScanAndCleanFromTheEnvironment) {
    TempDir td("junk");
    const std::uint64_t now = win::filetime_now();
    make_file(td.file("Temp\\a.tmp"), 10, now, 8 * kDayTicks);
    make_file(td.file("Local\\CrashDumps\\app.dmp"), 20, now, 2 * kDayTicks);
    make_file(td.file("Local\\Google\\Chrome\\User Data\\Profile 3\\Cache\\Cache_Data\\f_1"), 30,
              now, kMinute);
    make_file(td.file("Local\\Google\\Chrome\\User Data\\Guest Profile\\GPUCache\\x"), 40, now,
              kDayTicks);
    win::create_dirs(td.file("Windows\\Temp"));
    ScopedEnv temp("TEMP", td.file("Temp"));
    ScopedEnv local("LOCALAPPDATA", td.file("Local"));
    ScopedEnv root("SystemRoot", td.file("Windows"));
    ScopedEnv data("ProgramData", td.file("ProgramData"));
    ScopedEnv trace("TESS_TRACE", "1");

    EXPECT_EQ(junk_roots("user_temp"), std::vector<std::string>{td.file("Temp")});
    const auto rows = scan_junk();
    ASSERT_EQ(rows.size(), 7u);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].id, junk_categories()[i].id);
    EXPECT_EQ(rows[0].files, 1u);
    EXPECT_EQ(rows[0].bytes, 10u);
    EXPECT_EQ(rows[1].bytes, 20u);
    EXPECT_EQ(rows[3].bytes, 30u);  // the guest profile is not a browser cache
    EXPECT_TRUE(rows[2].complete);
    EXPECT_EQ(rows[4].bytes, 0u);

    const auto cleaned = clean_junk_category("browser_cache", {data_dir()});
    ASSERT_TRUE(cleaned);
    EXPECT_EQ(*cleaned, (JunkCleanResult{1, 30, 0}));
    const auto unknown = clean_junk_category("cookies", {data_dir()});
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.error(), "unknown junk category cookies");
}

// The Recycle Bin is the host's trash, which the test harness points at a folder of
// the build (XDG_DATA_HOME).
TEST(JunkRealFiles, RecycleBin) {
    TempDir td("junk");
    const std::string file = td.file("binned.txt");
    write_text(file, std::string(3000, 'b'));
    std::wstring from = win::widen(file);
    from.push_back(L'\0');  // double-terminated list
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    ASSERT_EQ(::SHFileOperationW(&op), 0);
    ASSERT_FALSE(exists(file));

    const JunkRow row = measure_junk_category(category("recycle_bin"), false);
    EXPECT_TRUE(row.complete);
    EXPECT_GE(row.files, 1u);
    EXPECT_GE(row.bytes, 3000u);
    const auto emptied = clean_junk_category("recycle_bin", {data_dir()});
    ASSERT_TRUE(emptied) << emptied.error();
    EXPECT_EQ(emptied->files_removed, row.files);
    EXPECT_EQ(emptied->bytes_freed, row.bytes);
    EXPECT_EQ(measure_junk_category(category("recycle_bin"), false).files, 0u);
    // Emptying an empty bin is a success with nothing removed.
    const auto again = clean_junk_category("recycle_bin", {data_dir()});
    ASSERT_TRUE(again) << again.error();
    EXPECT_EQ(*again, JunkCleanResult{});
}

}  // namespace
}  // namespace tess
