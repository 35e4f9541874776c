#include <gtest/gtest.h>

#include "ui/setup_view.hpp"

namespace tess {
namespace {

TEST(SetupView, CaptionsAndLinesByStateAndInstalledVersion) {
    const struct {
        SetupState state;
        std::optional<std::string> installed;
        const char* button;
        const char* link;
        std::optional<std::string> version_line;
    } cases[] = {
        {SetupState::Options, std::nullopt, "Install", "Just run it without installing",
         std::nullopt},
        {SetupState::Options, "0.5.0", "Repair install", "Just run it without installing",
         "Version 0.5.0 is already installed. Installing again repairs it."},
        {SetupState::Options, "0.4.2", "Update to 0.5.0", "Just run it without installing",
         "Version 0.4.2 is installed and will be updated to 0.5.0."},
        {SetupState::Failed, "0.4.2", "Update to 0.5.0", "Just run it without installing",
         "Version 0.4.2 is installed and will be updated to 0.5.0."},
        {SetupState::Failed, std::nullopt, "Install", "Just run it without installing",
         std::nullopt},
        {SetupState::Installing, "0.4.2", "Installing\u2026", "Just run it without installing",
         "Version 0.4.2 is installed and will be updated to 0.5.0."},
        {SetupState::Installed, std::nullopt, "Open Tessavo", "Close", std::nullopt},
    };
    for (const auto& c : cases) {
        SetupModel m;
        m.state = c.state;
        m.installed_version = c.installed;
        EXPECT_EQ(main_button_caption(m), c.button) << int(c.state);
        EXPECT_EQ(link_caption(c.state), c.link) << int(c.state);
        EXPECT_EQ(installed_version_line(c.installed), c.version_line) << int(c.state);
    }
    EXPECT_EQ(setup_window_title(), "Tessavo Setup");
    EXPECT_EQ(setup_header_line(), "Faster PC in one click  \u00B7  version 0.5.0");
    EXPECT_EQ(installs_to_line("C:\\U\\Programs\\Tessavo"), "Installs to C:\\U\\Programs\\Tessavo");
    EXPECT_EQ(setup_failed_line("couldn't save the shortcut"),
              "Setup didn't finish: couldn't save the shortcut");
    EXPECT_EQ(option_card_caption(kDesktopCardTitle, false), "Desktop shortcut: off");
    EXPECT_EQ(option_card_caption(kTrayCardTitle, true), "Watch memory from the tray: on");
}

TEST(SetupView, WhereToFindItFollowsTheOptions) {
    const InstalledRow start{"Start menu", "search for \u201CTessavo\u201D"};
    const InstalledRow desk{"Desktop", "the Tessavo icon"};
    const InstalledRow tray{"Tray", "the icon next to the clock, starts with Windows"};
    const InstalledRow remove{"To remove it", "Settings \u2192 Apps \u2192 Installed apps"};
    EXPECT_EQ(installed_rows(true, true), (std::vector<InstalledRow>{start, desk, tray, remove}));
    EXPECT_EQ(installed_rows(false, true), (std::vector<InstalledRow>{start, tray, remove}));
    EXPECT_EQ(installed_rows(true, false), (std::vector<InstalledRow>{start, desk, remove}));
    EXPECT_EQ(installed_rows(false, false), (std::vector<InstalledRow>{start, remove}));
}

TEST(SetupView, CommandsMoveThroughTheStates) {
    SetupModel m;
    EXPECT_TRUE(m.desktop && m.tray);  // both on when the window opens
    EXPECT_EQ(press_main_button(m), MainButtonAction::StartInstall);
    EXPECT_EQ(m.state, SetupState::Installing);
    EXPECT_EQ(press_main_button(m), MainButtonAction::Nothing);
    EXPECT_EQ(m.state, SetupState::Installing);

    finish_install(m, std::optional<std::string>("couldn't save the shortcut"));
    EXPECT_EQ(m.state, SetupState::Failed);
    EXPECT_EQ(m.error, "couldn't save the shortcut");
    // A new attempt from Failed, options kept.
    m.desktop = false;
    EXPECT_EQ(press_main_button(m), MainButtonAction::StartInstall);
    EXPECT_FALSE(m.desktop);
    finish_install(m, std::nullopt);  // the slot was empty
    EXPECT_EQ(m.state, SetupState::Failed);
    EXPECT_EQ(m.error, "unknown error");
    press_main_button(m);
    finish_install(m, std::optional<std::string>());
    EXPECT_EQ(m.state, SetupState::Installed);
    EXPECT_EQ(m.error, "");

    EXPECT_EQ(press_main_button(m), MainButtonAction::OpenAndClose);
    EXPECT_TRUE(press_link(m));
    EXPECT_FALSE(m.run_without_installing);  // "Close" after installing runs nothing

    SetupModel fresh;
    EXPECT_TRUE(press_link(fresh));
    EXPECT_TRUE(fresh.run_without_installing);
}

}  // namespace
}  // namespace tess
