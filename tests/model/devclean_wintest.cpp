// Developer folders on real trees under Wine: the scan, the checks and the deletion.
#include <gtest/gtest.h>

#include "model/devclean.hpp"
#include "scan/realfs_winutil.hpp"
#include "support/status.hpp"

namespace tess {
namespace {

using namespace test;

const DevFolder* find_result(const std::vector<DevFolder>& found, const std::string& path) {
    for (const auto& f : found)
        if (same_path(f.path, path)) return &f;
    return nullptr;
}

TEST(DevRealFiles, ScanFindsMeasuresAndAgesProjects) {
    TempDir td("dev");
    const std::uint64_t now = win::filetime_now();
    const std::string old_app = td.file("code\\old-app");
    make_file(old_app + "\\node_modules\\left-pad\\index.js", 1000, now, kMinute);
    make_file(old_app + "\\node_modules\\left-pad\\package.json", 24, now, kMinute);
    make_file(old_app + "\\package.json", 10, now, 40 * kDayTicks);
    make_file(old_app + "\\src\\main.js", 10, now, 40 * kDayTicks);
    set_write_time(old_app + "\\src", now - 40 * kDayTicks);
    const std::string new_app = td.file("code\\new-app");
    make_file(new_app + "\\Cargo.toml", 10, now, 29 * kDayTicks);
    make_file(new_app + "\\target\\debug\\app.exe", 5000, now, kMinute);
    set_write_time(new_app + "\\target", now);
    make_file(td.file("code\\not-a-project\\node_modules\\x.js"), 77, now, kMinute);
    make_file(td.file("code\\.hidden\\package.json"), 1, now, kMinute);
    make_file(td.file("code\\.hidden\\node_modules\\x.js"), 77, now, kMinute);

    ScopedEnv roots("TESS_DEV_ROOTS", td.path());
    const auto found = scan_dev_junk();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(same_path(found[0].path, new_app + "\\target"));  // largest first
    EXPECT_EQ(found[0].kind, DevFolderKind::RustBuild);
    EXPECT_EQ(found[0].bytes, 5000u);
    EXPECT_EQ(found[0].files, 1u);
    EXPECT_EQ(found[0].project_age_days, 29u);
    EXPECT_FALSE(dev_folder_default_tick(found[0]));
    const DevFolder* js = find_result(found, old_app + "\\node_modules");
    ASSERT_NE(js, nullptr);
    EXPECT_EQ(js->name, "node_modules");
    EXPECT_EQ(js->project_name, "old-app");
    EXPECT_EQ(js->bytes, 1024u);
    EXPECT_EQ(js->files, 2u);
    EXPECT_EQ(js->project_age_days, 40u);
    EXPECT_TRUE(dev_folder_default_tick(*js));
}

TEST(DevRealFiles, CheckTexts) {
    TempDir td("dev");
    const std::uint64_t now = win::filetime_now();
    const std::string proj = td.file("proj");
    make_file(proj + "\\package.json", 2, now, kDayTicks);
    make_file(proj + "\\node_modules\\a.js", 2, now, kDayTicks);
    make_file(proj + "\\target\\x", 2, now, kDayTicks);  // no Cargo.toml
    make_file(proj + "\\bin", 2, now, kDayTicks);        // a file named bin
    make_file(proj + "\\MyApp.CSPROJ", 2, now, kDayTicks);
    make_file(proj + "\\obj\\x", 2, now, kDayTicks);
    EXPECT_EQ(test::failure(check_dev_folder(proj + "\\node_modules")), std::nullopt);
    EXPECT_EQ(test::failure(check_dev_folder(proj + "\\obj")), std::nullopt);
    EXPECT_EQ(test::failure(check_dev_folder(proj + "\\gone")), "the folder is already gone");
    EXPECT_EQ(test::failure(check_dev_folder(proj + "\\bin")), "not a developer folder");
    EXPECT_EQ(test::failure(check_dev_folder("C:\\")), "not a developer folder");
    EXPECT_EQ(test::failure(check_dev_folder("node_modules")), "not a developer folder");
    EXPECT_EQ(test::failure(check_dev_folder(proj + "\\target")),
              "its project file is missing, so it was left alone");
    const std::string system_root = win::get_env("SystemRoot").value_or("C:\\windows");
    EXPECT_EQ(test::failure(check_dev_folder(system_root + "\\system32")),
              "that folder belongs to Windows or another user");
}

TEST(DevRealFiles, DeleteClearsReadOnlyAndLeavesOpenFiles) {
    TempDir td("dev");
    const std::uint64_t now = win::filetime_now();
    const std::string nm = td.file("proj\\node_modules");
    make_file(td.file("proj\\package.json"), 2, now, kDayTicks);
    make_file(nm + "\\a\\index.js", 100, now, kDayTicks);
    make_file(nm + "\\a\\readonly.js", 200, now, kDayTicks);
    ::SetFileAttributesW(win::widen(nm + "\\a\\readonly.js").c_str(), FILE_ATTRIBUTE_READONLY);
    make_file(nm + "\\b\\c\\d\\deep.js", 300, now, kDayTicks);
    ASSERT_EQ(test::failure(check_dev_folder(nm)), std::nullopt);
    const auto r = delete_folder_tree(nm);
    EXPECT_EQ(r, (TreeDeleteResult{3, 600, 0}));
    EXPECT_FALSE(exists(nm));
    EXPECT_EQ(test::failure(check_dev_folder(nm)), "the folder is already gone");

    const std::string target = td.file("rs\\target");
    make_file(td.file("rs\\Cargo.toml"), 2, now, kDayTicks);
    make_file(target + "\\debug\\app.exe", 1000, now, kDayTicks);
    make_file(target + "\\debug\\app.pdb", 500, now, kDayTicks);
    auto held = hold_open(target + "\\debug\\app.exe");
    ASSERT_TRUE(held);
    EXPECT_EQ(delete_folder_tree(target), (TreeDeleteResult{1, 500, 1}));
    EXPECT_TRUE(exists(target + "\\debug\\app.exe"));
}

// A real folder link inside node_modules to a folder full of files. Windows removes
// such a link as a link; Wine would delete through it, so there it is refused and
// counted as not deleted. Either way every file of the target survives.
TEST(DevRealFiles, LinkInsideNodeModulesNeverLosesItsTarget) {
    TempDir td("dev");
    const std::uint64_t now = win::filetime_now();
    const std::string decoy = td.file("shared-lib");
    for (int i = 0; i < 5; ++i)
        make_file(decoy + "\\f" + std::to_string(i) + ".js", 50, now, kDayTicks);
    make_dir(decoy + "\\empty", now, kDayTicks);
    const std::string nm = td.file("proj\\node_modules");
    make_file(td.file("proj\\package.json"), 2, now, kDayTicks);
    make_file(nm + "\\own.js", 10, now, kDayTicks);
    FolderLink link(decoy, nm + "\\shared-lib");
    FolderLink empty_link(decoy + "\\empty", nm + "\\empty-link");
    if (!link.made() || !empty_link.made()) GTEST_SKIP() << "no folder link could be made here";

    ScopedEnv roots("TESS_DEV_ROOTS", td.file("proj"));
    const auto found = scan_dev_junk();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].bytes, 10u);  // the link's target is not counted
    const auto r = delete_folder_tree(nm);
    EXPECT_EQ(r.files_deleted, 1u);
    EXPECT_EQ(r.bytes_freed, 10u);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(exists(decoy + "\\f" + std::to_string(i) + ".js"));
    EXPECT_TRUE(exists(decoy + "\\empty"));
    if (!unix_path(nm).empty()) {
        EXPECT_EQ(r.files_failed, 2u);  // Wine: refused, left in place
        EXPECT_TRUE(exists(nm + "\\shared-lib"));
    }
}

}  // namespace
}  // namespace tess
