#include <gtest/gtest.h>

#include "core/paths.hpp"

namespace tess {
namespace {

TEST(FolderPaths, Normalize) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"C:\\Temp", "C:\\Temp"},
        {"C:\\Temp\\", "C:\\Temp"},
        {"C:\\Temp\\\\", "C:\\Temp"},
        {"C:/Users//me/Temp/", "C:\\Users\\me\\Temp"},
        {"C:\\", "C:\\"},
        {"C:/", "C:\\"},
        {"\\\\server\\share\\x\\", "\\\\server\\share\\x"},
        {"\\\\?\\C:\\x", "\\\\?\\C:\\x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(normalize_folder_path(c.in), c.out) << c.in;
}

TEST(FolderPaths, ComponentsNamesAndParents) {
    EXPECT_EQ(path_component_count("C:\\"), 2u);
    EXPECT_EQ(path_component_count("C:\\Temp"), 3u);
    EXPECT_EQ(path_component_count("C:\\Temp\\\\"), 3u);
    EXPECT_EQ(path_component_count("C:/a/b"), 4u);
    EXPECT_EQ(path_component_count("\\\\server\\share"), 2u);
    EXPECT_EQ(path_component_count("\\\\server\\share\\Temp"), 3u);
    EXPECT_EQ(path_component_count("\\\\?\\C:\\Temp"), 3u);
    EXPECT_EQ(path_component_count("Temp"), 0u);
    EXPECT_EQ(path_component_count("C:Temp"), 0u);

    EXPECT_EQ(path_name("C:\\a\\node_modules"), "node_modules");
    EXPECT_EQ(path_name("C:\\a\\node_modules\\"), "node_modules");
    EXPECT_EQ(path_name("C:\\"), "");
    EXPECT_EQ(parent_path("C:\\a\\node_modules"), "C:\\a");
    EXPECT_EQ(parent_path("C:\\node_modules"), "C:\\");
    EXPECT_EQ(parent_path("node_modules"), "");

    EXPECT_TRUE(has_dot_component("C:\\a\\..\\Windows"));
    EXPECT_TRUE(has_dot_component("C:\\a\\.\\b"));
    EXPECT_FALSE(has_dot_component("C:\\a\\.venv\\..x"));

    EXPECT_EQ(plain_final_path("\\\\?\\C:\\Users\\me"), "C:\\Users\\me");
    EXPECT_EQ(plain_final_path("\\\\?\\UNC\\server\\share\\x"), "\\\\server\\share\\x");
    EXPECT_TRUE(same_path("c:/users/ME/", "C:\\Users\\me"));
    EXPECT_TRUE(path_within("C:\\a\\b", "C:\\A"));
    EXPECT_TRUE(path_within("C:\\a", "c:\\a\\"));
    EXPECT_TRUE(path_within("C:\\a", "C:\\"));
    EXPECT_FALSE(path_within("C:\\ab", "C:\\a"));
}

// What the executor may delete as a developer folder and the junk rules may clean below.
TEST(FolderPaths, BelowRootRule) {
    const struct {
        const char* path;
        bool ok;
    } cases[] = {
        {"C:\\src\\app\\node_modules", true},
        {"C:\\x", true},
        {"c:/x/", true},
        {"\\\\server\\share\\x", true},
        {"\\\\?\\C:\\x", true},
        {"\\\\?\\UNC\\server\\share\\x", true},
        {"C:\\", false},
        {"C:/", false},
        {"C:\\\\\\", false},
        {"C:", false},
        {"C:x", false},
        {"\\x", false},
        {"x\\node_modules", false},
        {"node_modules", false},
        {"", false},
        {"\\\\server\\share", false},
        {"\\\\server\\share\\", false},
        {"\\\\?\\C:\\", false},
        {"\\\\?\\UNC\\server\\share\\", false},
        {"C:\\.", false},
        {"C:\\x\\..", false},
        {"C:\\..\\x", false},
        {"C:\\x\\.\\y", false},
        // "\\.\" reads like "\\?\": its "." is the prefix, not a component.
        {"\\\\.\\C:\\x", true},
        {"//./c:/x", true},
        {"\\\\.\\UNC\\server\\share\\x", true},
        {"\\\\.\\C:\\", false},
        {"\\\\.\\C:\\x\\..", false},
        {"\\\\?\\C:\\.\\x", false},
        // A device prefix that names no drive or share: a device, a pipe, a volume.
        {"\\\\.\\pipe\\x", false},
        {"\\\\.\\PhysicalDrive0\\x", false},
        {"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\x", false},
        {"\\\\?\\Volume{0}\\x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_below_root(c.path), c.ok) << c.path;
}

}  // namespace
}  // namespace tess
