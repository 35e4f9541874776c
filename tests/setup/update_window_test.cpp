#include <gtest/gtest.h>

#include "setup/update_window.hpp"

namespace tess::ui {
namespace {

using Lines = std::vector<std::string>;

TEST(UpdateNotes, OnlyTheWhatsNewSectionCleanedUp) {
    const std::string body =
        "Intro text\r\n"
        "## What's New\r\n"
        "\r\n"
        "- Scans **twice** as fast with `--scan`\r\n"
        "* Fixed the tray icon\r\n"
        "| table | row |\r\n"
        "Plain line\r\n"
        "**Full Changelog**: https://x/compare\r\n"
        "## Fixes\r\n"
        "- Not shown\r\n";
    EXPECT_EQ(update_note_lines(body),
              (Lines{"Scans twice as fast with --scan", "Fixed the tray icon", "Plain line"}));
    // A rule ends the section too.
    EXPECT_EQ(update_note_lines("# what's new\n- One\n---\n- Two"), Lines{"One"});
}

TEST(UpdateNotes, WithoutAHeadingEveryLineCounts) {
    EXPECT_EQ(update_note_lines("### Better\n\n- a\n  * b  \n#\n"), (Lines{"Better", "a", "b"}));
    EXPECT_EQ(update_note_lines(""), Lines{});
    EXPECT_EQ(update_note_lines("| a |\n\n---"), Lines{"---"});
}

TEST(UpdateNotes, AtMostTwelveLinesAndNineHundredCharacters) {
    std::string twenty;
    for (int i = 1; i <= 20; ++i)
        twenty += "- item " + std::to_string(i) + "\n";
    const Lines lines = update_note_lines(twenty);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines.front(), "item 1");
    EXPECT_EQ(lines.back(), "item 12");
    EXPECT_EQ(more_notes_text(lines.size()), "and 6 more");
    EXPECT_EQ(more_notes_text(6), "");

    const Lines long_one = update_note_lines(std::string(1000, 'x'));
    ASSERT_EQ(long_one.size(), 1u);
    EXPECT_EQ(long_one[0], std::string(900, 'x') + "\xE2\x80\xA6");
    // Characters, not bytes: a cut never splits one.
    const std::string e_acute = "\xC3\xA9";
    std::string accents;
    for (int i = 0; i < 950; ++i)
        accents += e_acute;
    const Lines cut = update_note_lines(accents);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].size(), 900 * e_acute.size() + 3);
}

TEST(UpdateTexts, SubtitleStatusAndFailure) {
    EXPECT_EQ(update_subtitle("0.5.0", 3 * 1'048'576),
              "You have 0.5.0 \xC2\xB7 3 MB download \xC2\xB7 keeps your settings and history");
    EXPECT_EQ(update_subtitle("0.0.1", 0),
              "You have 0.0.1 \xC2\xB7 keeps your settings and history");

    const auto installing = UpdatePhase::Installing;
    EXPECT_EQ(update_status_text(installing, 0, 0), "Downloading\xE2\x80\xA6");
    EXPECT_EQ(update_status_text(installing, 5000, 0), "Downloading\xE2\x80\xA6");
    EXPECT_EQ(update_status_text(installing, 0, 2'097'152), "Downloading\xE2\x80\xA6");
    EXPECT_EQ(update_status_text(installing, 1'048'576, 2'097'152),
              "Downloading 1 MB of 2 MB\xE2\x80\xA6");
    EXPECT_EQ(update_status_text(installing, 2'097'152, 2'097'152),
              "Checking the download\xE2\x80\xA6");
    EXPECT_EQ(update_status_text(UpdatePhase::Installed, 0, 0),
              "Installed. Restarting Tessavo\xE2\x80\xA6");
    EXPECT_EQ(update_status_text(UpdatePhase::Offer, 1, 2), "");

    EXPECT_EQ(update_failure_text("download interrupted", true),
              "The update couldn't be installed: download interrupted. Your current version keeps "
              "working.");
    EXPECT_EQ(update_failure_text("Access is denied.", true),
              "The update couldn't be installed: Access is denied. Your current version keeps "
              "working.");
    // A replace that could not put the program's file back: it does not keep working.
    EXPECT_EQ(update_failure_text("couldn't replace the app: Disk full (the previous copy is "
                                  "C:\\p\\Tessavo.77.old)",
                                  false),
              "The update couldn't be installed: couldn't replace the app: Disk full (the previous "
              "copy is C:\\p\\Tessavo.77.old). Download Tessavo again from "
              "https://github.com/Corvath/tessavo/releases.");
}

// The footer grows with a failure text taller than the buttons' row, up to the limit.
TEST(UpdateLayout, FooterGrowsWithItsText) {
    const struct {
        int dpi, text, footer;
    } cases[] = {
        {96, 0, 76}, {96, 40, 76}, {96, 57, 93}, {144, 0, 114}, {144, 60, 114}, {144, 90, 144},
    };
    for (const auto& c : cases)
        EXPECT_EQ(update_footer_height(c.dpi, c.text), c.footer) << c.dpi << " " << c.text;
    EXPECT_EQ(update_client_height(200, 93, 1000), 294);
    EXPECT_EQ(update_client_height(200, 93, 250), 250);
}

TEST(UpdateTexts, ProgressFill) {
    const auto installing = UpdatePhase::Installing;
    EXPECT_DOUBLE_EQ(update_progress_fraction(installing, 0, 0), 0.1);
    EXPECT_DOUBLE_EQ(update_progress_fraction(installing, 0, 1000), 0.02);
    EXPECT_DOUBLE_EQ(update_progress_fraction(installing, 500, 1000), 0.5);
    EXPECT_DOUBLE_EQ(update_progress_fraction(installing, 2000, 1000), 1.0);
    EXPECT_DOUBLE_EQ(update_progress_fraction(UpdatePhase::Installed, 0, 0), 1.0);
}

}  // namespace
}  // namespace tess::ui
