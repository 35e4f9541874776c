// Home through the real Tessavo.exe: the proposal, ticks and the Optimise subtitle, the
// question asked only for a tick the proposal did not make, the run, and the result.
// A copy of this test program named as a known background helper plays the idle program;
// a test temp folder holds the junk; the keep list leaves the helper unticked.
#include <gtest/gtest.h>

#include "core/settings.hpp"
#include "model/journal.hpp"
#include "scan/analyze.hpp"
#include "scan/realfs_winutil.hpp"
#include "ui/layout.hpp"
#include "ui/main_window_winutil.hpp"

namespace tess::ui {
namespace {

using namespace wintest;
using test::kDayTicks;
using test::kHourTicks;
using test::make_file;

constexpr char kHelperRow[] = "Close Intel Driver & Support Assistant tray";
constexpr char kJunkRow[] = "Clean Temporary files";

// A data folder, a temp folder with one old and one new file, an empty local app-data
// folder, and the helper running, kept by the keep list (so its row starts unticked).
struct HomeFixture {
    test::TempDir dir{"home"};
    Sleeper helper{dir, "dsatray.exe"};
    test::RunningProgram program;
    ud::Window main = 0;

    HomeFixture() {
        const std::uint64_t now = win::filetime_now();
        make_file(dir.file("Temp\\old.tmp"), 3000, now, 8 * kDayTicks);
        make_file(dir.file("Temp\\new.tmp"), 50, now, kHourTicks);
        win::create_dirs(dir.file("Local"));
        win::create_dirs(dir.file("Data"));
        Settings s;
        s.keep_running = {keep_key("Intel Driver & Support Assistant tray")};
        test::write_text(dir.file("Data\\settings.json"), serialize_settings(s));
    }
    std::vector<test::EnvVar> env(bool dry_run) const { return folder_env(dir, dry_run); }
    std::string journal() const { return dir.file("Data\\journal.json"); }
    // Opens the window with a scan and waits for the proposal's rows.
    bool open_proposal(bool dry_run) {
        main = open_main(program, {"--scan"}, env(dry_run));
        return main && wait_for([&] { return visible(main, id::kList); }, 60'000) &&
               wait_row(main, kHelperRow) >= 0 && wait_row(main, kJunkRow) >= 0;
    }
};

std::uint32_t pixel(const ud::Image& img, int x, int y) {
    return ud::rgb(img.at(x, y));
}

// From the first to the last column of `r` holding a pixel of dark text.
int ink_extent(const ud::Image& img, Rect r) {
    int first = -1, last = -1;
    for (int x = std::max(r.left, 0); x < std::min(r.right, img.width); ++x)
        for (int y = std::max(r.top, 0); y < std::min(r.bottom, img.height); ++y) {
            const std::uint32_t p = pixel(img, x, y);
            if (((p >> 16) & 0xFF) < 0x60 && ((p >> 8) & 0xFF) < 0x60 && (p & 0xFF) < 0x60) {
                if (first < 0) first = x;
                last = x;
                break;
            }
        }
    return first < 0 ? 0 : last - first + 1;
}

// Pixels of `r` that are not the content background.
int painted_pixels(const ud::Image& img, Rect r) {
    int n = 0;
    for (int x = std::max(r.left, 0); x < std::min(r.right, img.width); ++x)
        for (int y = std::max(r.top, 0); y < std::min(r.bottom, img.height); ++y)
            n += pixel(img, x, y) != colour::kContent;
    return n;
}

TEST(HomeWindow, OptimiseAsksForAnAddedTickAndJournalsExactlyTheTickedRows) {
    HomeFixture fx;
    ASSERT_TRUE(fx.helper.program.running());
    ASSERT_TRUE(fx.open_proposal(false));
    const ud::Window main = fx.main;
    const std::uint32_t pid = fx.program.pid();

    // The proposal's own ticks: the junk, not the kept helper.
    EXPECT_TRUE(checked(main, row_of(main, kJunkRow)));
    EXPECT_FALSE(checked(main, row_of(main, kHelperRow)));
    untick_all_but(main, {kJunkRow});
    EXPECT_EQ(caption(main, id::kOptimise), "Optimise now: frees 2 KB of disk");
    EXPECT_TRUE(enabled(main, id::kOptimise));

    // Captions follow the ticks: nothing ticked disables Optimise.
    tick(main, row_of(main, kJunkRow), false);
    EXPECT_EQ(caption(main, id::kOptimise), "Optimise now: tick something first");
    EXPECT_FALSE(enabled(main, id::kOptimise));
    tick(main, row_of(main, kJunkRow), true);
    tick(main, row_of(main, kHelperRow), true);
    EXPECT_TRUE(enabled(main, id::kOptimise));

    const std::string question =
        "Optimise will:\n\n"
        "\xE2\x80\xA2 End Intel Driver & Support Assistant tray (1 process)\n"
        "\xE2\x80\xA2 Clean Temporary files\n"
        "\nApps that are closed lose unsaved work."
        "\nDeleted junk files can't be restored."
        "\n\nContinue?";
    // No: nothing happens at all.
    auto text = click_and_answer(main, pid, id::kOptimise, ud::Answer::no);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, question);
    EXPECT_TRUE(visible(main, id::kList));
    EXPECT_FALSE(visible(main, id::kScanAgain));
    EXPECT_TRUE(fx.helper.program.running());
    EXPECT_TRUE(test::exists(fx.dir.file("Temp\\old.tmp")));
    EXPECT_FALSE(test::exists(fx.journal()));

    // Yes: the progress screen, then the result with the measuring scan's score.
    text = click_and_answer(main, pid, id::kOptimise, ud::Answer::yes);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, question);
    ASSERT_TRUE(wait_for([&] { return visible(main, id::kScanAgain); }, 60'000));
    EXPECT_TRUE(visible(main, id::kSeeChanges));
    EXPECT_FALSE(visible(main, id::kList));
    ASSERT_TRUE(wait_for([&] { return enabled(main, id::kRescan); }, 60'000));
    ud::settle(main);

    fx.helper.program.wait(10'000);  // ended by the executor
    EXPECT_FALSE(fx.helper.program.running());
    EXPECT_FALSE(test::exists(fx.dir.file("Temp\\old.tmp")));
    EXPECT_TRUE(test::exists(fx.dir.file("Temp\\new.tmp")));
    const Journal j = load_journal(fx.journal());
    ASSERT_EQ(j.entries.size(), 2u);
    EXPECT_EQ(describe(j.entries[0].action),
              "End Intel Driver & Support Assistant tray (1 process)");
    EXPECT_TRUE(j.entries[0].ok) << j.entries[0].message;
    EXPECT_EQ(j.entries[1].action, (Action{CleanJunk{"user_temp", "Temporary files"}}));
    EXPECT_TRUE(j.entries[1].ok) << j.entries[1].message;

    // The result screen: its title and the score line are painted where the layout says.
    const auto shot = ud::capture(main);
    ASSERT_TRUE(shot.ok());
    const DoneLayout l = done_layout({shot.value().width, shot.value().height, 96});
    // "Done! Your PC is optimised", not the test run's much longer title.
    EXPECT_GT(ink_extent(shot.value(), l.title), 200);
    EXPECT_LT(ink_extent(shot.value(), l.title), 560);
    EXPECT_GT(painted_pixels(shot.value(), l.score_line), 50);
    EXPECT_GT(painted_pixels(shot.value(), l.lines[0]), 50);
    EXPECT_EQ(pixel(shot.value(), l.disc_x - l.disc_radius / 2, l.disc_y), colour::kSuccess);

    // "See what changed" opens History.
    ASSERT_TRUE(ud::click(main, id::kSeeChanges).ok());
    ud::settle(main);
    EXPECT_TRUE(wait_for(
        [&] {
            const auto cols = ud::lv_columns(list_of(main));
            return cols.ok() && !cols.value().empty() && cols.value()[0].text == "When";
        },
        5'000));
}

// A test run goes through every step: no question for the proposal's own ticks, nothing
// changes on the machine or in the journal, and the result says it was a test run.
TEST(HomeWindow, TestRunChangesNothingAndSaysSo) {
    HomeFixture fx;
    ASSERT_TRUE(fx.open_proposal(true));
    const ud::Window main = fx.main;
    // The cards carry their figures for screen readers; the health card selects the first
    // finding, the junk card opens Junk files.
    EXPECT_EQ(caption(main, id::kCardMemory + 1), "2 KB of junk files to clean");
    const auto rows = ud::lv_rows(list_of(main));
    ASSERT_TRUE(rows.ok());
    int finding = -1;
    for (std::size_t i = 0; i < rows.value().size() && finding < 0; ++i) {
        const std::string& first = rows.value()[i][0];
        if (first.starts_with("Tip: ") || first.starts_with("Warning: ") ||
            first.starts_with("Problem: "))
            finding = static_cast<int>(i);
    }
    ASSERT_TRUE(ud::click(main, id::kCardMemory + 3).ok());
    ud::settle(main);
    if (finding >= 0) EXPECT_EQ(ud::lv_selected(list_of(main)).value(), finding);
    ASSERT_TRUE(ud::click(main, id::kCardMemory + 1).ok());
    ud::settle(main);
    EXPECT_GE(wait_row(main, "Temporary files", 5'000), 0);
    ASSERT_TRUE(ud::click(main, id::kFirstPage).ok());
    ud::settle(main);
    ASSERT_GE(wait_row(main, kJunkRow, 5'000), 0);

    untick_all_but(main, {kJunkRow});
    ASSERT_TRUE(ud::click(main, id::kOptimise).ok());
    EXPECT_FALSE(ud::wait_message_box(fx.program.pid(), 1'000).ok());
    ASSERT_TRUE(wait_for([&] { return visible(main, id::kScanAgain); }, 60'000));
    ASSERT_TRUE(wait_for([&] { return enabled(main, id::kRescan); }, 60'000));
    ud::settle(main);
    EXPECT_TRUE(test::exists(fx.dir.file("Temp\\old.tmp")));
    EXPECT_TRUE(fx.helper.program.running());
    EXPECT_FALSE(test::exists(fx.journal()));
    // "Test run finished — nothing was changed" is far wider than "Done! Your PC is
    // optimised" in the title font.
    const auto shot = ud::capture(main);
    ASSERT_TRUE(shot.ok());
    const DoneLayout l = done_layout({shot.value().width, shot.value().height, 96});
    EXPECT_GT(ink_extent(shot.value(), l.title), 560);

    // "Scan again" goes back through the progress screen to a new proposal.
    ASSERT_TRUE(ud::click(main, id::kScanAgain).ok());
    ud::settle(main);
    EXPECT_FALSE(visible(main, id::kScanAgain));
    EXPECT_TRUE(wait_for([&] { return visible(main, id::kList); }, 60'000));
}

}  // namespace
}  // namespace tess::ui
