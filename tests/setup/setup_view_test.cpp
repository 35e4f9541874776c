#include <gtest/gtest.h>

#include "setup/setup_view.hpp"

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
    // The real size of what it installs, rounded down as every size is.
    EXPECT_EQ(setup_header_note(3'879'731), "Installs just for you: no admin needed, 3 MB.");
    EXPECT_EQ(setup_header_note(900'000), "Installs just for you: no admin needed, 878 KB.");
    EXPECT_EQ(setup_header_note(0), "Installs just for you: no admin needed.");
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

namespace tess {
namespace {

using ui::Rect;

TEST(SetupLayout, PositionsByStateAndDpi) {
    SetupModel m;
    const SetupLayout a = setup_layout(564, 641, 96, m);
    EXPECT_EQ(a.header, (Rect{0, 0, 564, 176}));
    EXPECT_EQ(a.icon, (Rect{30, 38, 94, 102}));
    EXPECT_EQ(a.desktop_card, (Rect{28, 236, 536, 302}));
    EXPECT_EQ(a.tray_card, (Rect{28, 312, 536, 378}));
    EXPECT_EQ(a.installs_to, (Rect{28, 392, 536, 414}));
    EXPECT_TRUE(a.version_line.empty());
    EXPECT_TRUE(a.failed_text.empty());
    EXPECT_TRUE(a.check.empty());
    EXPECT_EQ(a.main_button, (Rect{28, 641 - 128, 536, 641 - 68}));
    EXPECT_EQ(a.link, (Rect{28, 641 - 60, 536, 641 - 22}));

    // An installed version adds two lines; a failure goes below them.
    m.installed_version = "0.4.0";
    m.state = SetupState::Failed;
    const SetupLayout f = setup_layout(564, 641, 96, m);
    EXPECT_EQ(f.version_line, (Rect{28, 414, 536, 436}));
    EXPECT_EQ(f.closed_line, (Rect{28, 436, 536, 458}));
    EXPECT_EQ(f.failed_text, (Rect{28, 466, 536, 641 - 136}));

    // 150 %: every number scales, multiplied first.
    const SetupLayout big = setup_layout(846, 962, 144, m);
    EXPECT_EQ(big.desktop_card, (Rect{42, 354, 804, 453}));
    EXPECT_EQ(big.main_button, (Rect{42, 962 - 192, 804, 962 - 102}));

    // Installed: no cards, the rows every 30 from 286 (no desktop row here).
    m.state = SetupState::Installed;
    m.desktop = false;
    const SetupLayout done = setup_layout(564, 641, 96, m);
    EXPECT_TRUE(done.desktop_card.empty() && done.tray_card.empty());
    ASSERT_EQ(done.row_labels.size(), 3u);
    EXPECT_EQ(done.row_labels[0], (Rect{30, 286, 150, 312}));
    EXPECT_EQ(done.row_labels[2], (Rect{30, 346, 150, 372}));
    EXPECT_EQ(done.row_texts[1].left, 150);
    EXPECT_EQ(done.where_heading, (Rect{30, 258, 536, 282}));

    // A client too short for the failure text never gives it a negative height.
    m.state = SetupState::Failed;
    EXPECT_GE(setup_layout(564, 300, 96, m).failed_text.height(), 0);

    const CardLayout c = card_layout(a.desktop_card, 96);
    EXPECT_LE(c.title.right, c.switch_band.left);
    EXPECT_EQ(c.switch_band.right, a.desktop_card.right - 16);
}

}  // namespace
}  // namespace tess
