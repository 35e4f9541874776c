#include "setup/quiet_install.hpp"

#include <gtest/gtest.h>

namespace tess {
namespace {

struct InstallCall {
    std::string exe;
    bool desktop = true, tray = true;
};

TEST(QuietInstall, RunsTheWindowsInstallWithTheOptionsOrSaysWhyNot) {
    const struct {
        std::vector<std::string> args;
        std::optional<std::string> exe;
        SetupError install_error;
        int code;
        std::string line;
        std::optional<InstallCall> call;
    } cases[] = {
        {{"s", "--install", "--quiet"},
         "C:\\d\\Tessavo-Setup.exe",
         std::nullopt,
         0,
         "",
         InstallCall{"C:\\d\\Tessavo-Setup.exe", true, true}},
        {{"s", "--install", "--quiet", "--no-desktop-shortcut", "--no-tray"},
         "C:\\s.exe",
         std::nullopt,
         0,
         "",
         InstallCall{"C:\\s.exe", false, false}},
        {{"s", "--install", "--no-tray", "--quiet"},
         "C:\\s.exe",
         std::nullopt,
         0,
         "",
         InstallCall{"C:\\s.exe", true, false}},
        // An unknown option installs nothing, whatever comes with it.
        {{"s", "--install", "--quiet", "--no-desktop"},
         "C:\\s.exe",
         std::nullopt,
         2,
         "Tessavo setup: unknown option --no-desktop (usage: --install --quiet "
         "[--no-desktop-shortcut] [--no-tray])",
         std::nullopt},
        {{"s", "--install", "--quiet"},
         std::nullopt,
         std::nullopt,
         1,
         "Tessavo couldn't be installed: access denied",
         std::nullopt},
        {{"s", "--install", "--quiet"},
         "C:\\s.exe",
         "couldn't write the registry (error 5)",
         1,
         "Tessavo couldn't be installed: couldn't write the registry (error 5)",
         InstallCall{"C:\\s.exe", true, true}},
    };
    for (const auto& c : cases) {
        std::optional<InstallCall> call;
        const QuietInstallResult r =
            quiet_install(choose_role(c.args, "Tessavo-Setup"), c.exe, "access denied",
                          [&](const std::string& exe, bool desktop, bool tray) {
                              EXPECT_FALSE(call) << "installed twice";
                              call = InstallCall{exe, desktop, tray};
                              return c.install_error;
                          });
        EXPECT_EQ(r.code, c.code) << c.line;
        EXPECT_EQ(r.line, c.line);
        ASSERT_EQ(call.has_value(), c.call.has_value()) << c.line;
        if (call) {
            EXPECT_EQ(call->exe, c.call->exe);
            EXPECT_EQ(call->desktop, c.call->desktop) << c.line;
            EXPECT_EQ(call->tray, c.call->tray) << c.line;
        }
    }
}

}  // namespace
}  // namespace tess
