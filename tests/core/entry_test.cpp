#include <gtest/gtest.h>

#include "changes/plan.hpp"
#include "core/entry.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"

namespace tess {
namespace {

TEST(Entry, DispatchTable) {
    const std::optional<std::string> app = "Tessavo";
    const struct {
        std::vector<std::string> args;
        std::optional<std::string> stem;
        Role role;
        std::string plan;
        bool quiet;
    } cases[] = {
        {{"Tessavo.exe"}, app, Role::MainWindow, "", false},
        {{}, app, Role::MainWindow, "", false},
        {{"Tessavo.exe"}, "Tessavo-Setup", Role::Setup, "", false},
        {{"Tessavo.exe"}, "TESSAVOSETUP", Role::Setup, "", false},
        {{"Tessavo.exe"}, std::nullopt, Role::MainWindow, "", false},
        {{"x", "apply-plan", "C:\\p.json"}, app, Role::AdminHelper, "C:\\p.json", false},
        {{"x", "apply-plan"}, app, Role::AdminHelper, "", false},
        {{"x", "apply-plan", "ab", "cd", "extra"}, app, Role::AdminHelper, "ab", false},
        {{"x", "Apply-Plan", "ab"}, app, Role::MainWindow, "", false},
        {{"x", "agent"}, app, Role::TrayWatch, "", false},
        {{"x", "agent"}, "setup", Role::TrayWatch, "", false},  // the word beats the stem
        {{"x", "--setup"}, app, Role::Setup, "", false},
        {{"x", "--install"}, app, Role::Setup, "", false},
        {{"x", "--Setup"}, app, Role::MainWindow, "", false},
        {{"x", "setup"}, app, Role::MainWindow, "", false},
        {{"x", "--update"}, app, Role::UpdateHandOver, "", false},
        {{"x", "--uninstall"}, app, Role::Uninstall, "", false},
        {{"x", "--uninstall", "--quiet"}, app, Role::Uninstall, "", true},
        {{"--quiet", "--uninstall"}, app, Role::Uninstall, "", true},  // argv[0] counts too
        {{"x", "--quiet", "--uninstall"}, app, Role::MainWindow, "", false},
        {{"x", "--uninstall", "--QUIET"}, app, Role::Uninstall, "", false},
        {{"x", "--scan"}, "my-setup-copy", Role::Setup, "", false},
    };
    for (const auto& c : cases) {
        const Dispatch d = choose_role(c.args, c.stem);
        std::string where;
        for (const auto& a : c.args)
            where += a + " ";
        EXPECT_EQ(d.role, c.role) << where;
        EXPECT_EQ(d.plan_file, c.plan) << where;
        EXPECT_EQ(d.plan_sha256, c.args.size() >= 4 ? c.args[3] : "") << where;
        EXPECT_EQ(d.quiet, c.quiet) << where;
    }
}

// "--install --quiet" is the silent install; its options count only after "--install".
TEST(Entry, InstallOptions) {
    const struct {
        std::vector<std::string> args;
        Role role;
        bool desktop, tray;
        std::string unknown;
    } cases[] = {
        {{"x", "--install"}, Role::Setup, true, true, ""},
        {{"x", "--install", "--quiet"}, Role::QuietInstall, true, true, ""},
        {{"x", "--install", "--no-tray", "--quiet"}, Role::QuietInstall, true, false, ""},
        {{"x", "--install", "--quiet", "--no-desktop-shortcut"},
         Role::QuietInstall,
         false,
         true,
         ""},
        {{"x", "--install", "--quiet", "--no-desktop-shortcut", "--no-tray"},
         Role::QuietInstall,
         false,
         false,
         ""},
        {{"x", "--install", "--quiet", "--no-trays", "--frob"},
         Role::QuietInstall,
         true,
         true,
         "--no-trays"},
        {{"x", "--install", "--QUIET"}, Role::Setup, true, true, "--QUIET"},
        {{"x", "--install", "--no-tray"}, Role::Setup, true, false, ""},
        {{"x", "--setup", "--quiet"}, Role::Setup, true, true, ""},
        {{"--quiet", "--install"}, Role::Setup, true, true, ""},
    };
    for (const auto& c : cases) {
        const Dispatch d = choose_role(c.args, "Tessavo-Setup");
        std::string where;
        for (const auto& a : c.args)
            where += a + " ";
        EXPECT_EQ(d.role, c.role) << where;
        EXPECT_EQ(d.quiet, c.role == Role::QuietInstall) << where;
        EXPECT_EQ(d.desktop_shortcut, c.desktop) << where;
        EXPECT_EQ(d.tray, c.tray) << where;
        EXPECT_EQ(d.unknown_option, c.unknown) << where;
    }
}

TEST(Entry, LaterRemovalTakesTheRestOfTheArguments) {
    const Dispatch d =
        choose_role({"x", "--remove-after", "88", "C:\\P\\Tessavo", "C:\\P\\Tessavo\\a.exe"}, "t");
    EXPECT_EQ(d.role, Role::LaterRemoval);
    EXPECT_EQ(d.later_removal,
              (std::vector<std::string>{"88", "C:\\P\\Tessavo", "C:\\P\\Tessavo\\a.exe"}));
    // Only as the first argument.
    EXPECT_EQ(choose_role({"x", "agent", "--remove-after", "88"}, "t").role, Role::TrayWatch);
}

// The update passes the companion it verified, and its checksum, to the hand-over.
TEST(Entry, UpdateCompanionArguments) {
    const Dispatch with = choose_role({"x", "--update", "T:\\t\\cli.exe", "ab12"}, "Tessavo");
    EXPECT_EQ(with.role, Role::UpdateHandOver);
    EXPECT_EQ(with.companion, "T:\\t\\cli.exe");
    EXPECT_EQ(with.companion_sha256, "ab12");
    // Half of the pair is none.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"x", "--update"}, {"x", "--update", "T:\\cli.exe"}}) {
        const Dispatch d = choose_role(args, "Tessavo");
        EXPECT_EQ(d.companion, "");
        EXPECT_EQ(d.companion_sha256, "");
    }
}

TEST(Entry, FileStem) {
    const struct {
        const char* name;
        const char* stem;
    } cases[] = {{"Tessavo.exe", "Tessavo"},
                 {"a.b.exe", "a.b"},
                 {".hidden", ".hidden"},
                 {"..", ".."},
                 {"noext", "noext"},
                 {"trailing.", "trailing"},
                 {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(file_stem(c.name), c.stem) << c.name;
}

TEST(Entry, OldLeftovers) {
    const struct {
        const char* name;
        bool deleted;
    } cases[] = {
        {"Tessavo.exe.old", true},   {"TESSAVO.EXE.OLD", true},  {"tessavo-1.old", true},
        {"Tessavo.old", true},       {"Tessavo.old.txt", false}, {"Other.exe.old", false},
        {"xTessavo.exe.old", false}, {"Tessavo.exe", false},     {"Tessavo.exe.olde", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_old_leftover("tessavo", c.name), c.deleted) << c.name;
}

TEST(Entry, AfterUpdatePid) {
    EXPECT_EQ(after_update_args(4312), "--after-update 4312");
    const struct {
        std::vector<std::string> args;
        std::optional<std::uint32_t> pid;
    } cases[] = {
        {{"Tessavo.exe", "--after-update", "4312"}, 4312u},
        {{"x", "--scan", "--after-update", "4294967295"}, 4294967295u},
        {{"x", "--after-update", "4294967296"}, std::nullopt},
        {{"x", "--after-update", "12a"}, std::nullopt},
        {{"x", "--after-update", ""}, std::nullopt},
        {{"x", "--after-update"}, std::nullopt},
        {{"--after-update", "7"}, std::nullopt},  // the program's own name never counts
        {{"x", "--AFTER-UPDATE", "7"}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(after_update_pid(c.args), c.pid) << testing::PrintToString(c.args);
}

TEST(Entry, PlanHex) {
    EXPECT_EQ(encode_hex(std::string("\x00\x7b\xff", 3)), "007bff");
    EXPECT_EQ(decode_hex("007BfF"), std::string("\x00\x7b\xff", 3));
    EXPECT_EQ(decode_hex(""), std::string());
    EXPECT_FALSE(decode_hex("abc").has_value());
    EXPECT_FALSE(decode_hex("zz").has_value());
    EXPECT_FALSE(decode_hex("0g").has_value());
    EXPECT_FALSE(decode_hex("0 ").has_value());
}

TEST(Log, Stamps) {
    EXPECT_EQ(format_stamp(7, 3, 9, 5), "7 Mar 09:05");
    EXPECT_EQ(format_stamp(1, 1, 0, 0), "1 Jan 00:00");
    EXPECT_EQ(format_stamp(31, 12, 23, 59), "31 Dec 23:59");
    EXPECT_EQ(format_stamp(2, 0, 1, 2), "2 Jan 01:02");   // clamped
    EXPECT_EQ(format_stamp(2, 13, 1, 2), "2 Dec 01:02");  // clamped
    EXPECT_EQ(log_text("7 Mar 09:05", "line\nbreak"), "7 Mar 09:05  line\nbreak\n");
}

TEST(Paths, Absolute) {
    const struct {
        const char* path;
        bool absolute;
    } cases[] = {{"C:\\x", true},
                 {"c:/x", true},
                 {"C:\\", true},
                 {"\\\\srv\\share", true},
                 {"\\\\?\\C:\\x", true},
                 {"C:x", false},
                 {"\\x", false},
                 {"x\\y", false},
                 {"", false},
                 {"C:", false},
                 {"\\\\", false},
                 {"1:\\x", false}};
    for (const auto& c : cases)
        EXPECT_EQ(is_absolute_path(c.path), c.absolute) << c.path;
}

}  // namespace
}  // namespace tess
