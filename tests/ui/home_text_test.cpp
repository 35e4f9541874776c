#include <gtest/gtest.h>

#include "ui/home_text.hpp"
#include "ui/rows.hpp"

namespace tess::ui {
namespace {

constexpr std::uint64_t kMB = 1024ull * 1024;
constexpr std::uint64_t kGB = 1024 * kMB;

Suggestion suggestion(SuggestionSection section, std::uint64_t bytes, bool ticked) {
    Suggestion s;
    s.title = "s";
    s.section = section;
    s.bytes = bytes;
    s.ticked = ticked;
    s.action = KillProcesses{"x", {}};
    return s;
}

JunkRow junk(std::uint64_t bytes, bool ticked) {
    JunkRow j;
    j.bytes = bytes;
    j.ticked = ticked;
    return j;
}

TEST(HomeText, MemoryLines) {
    const MemoryStatus memory{16 * kGB, 8 * kGB, 8 * kGB + 80 * kMB, 20 * kGB};
    EXPECT_EQ(idle_memory_line(memory), "Right now: 8.1 GB used on 16.0 GB of RAM (50%) — Normal");
    EXPECT_EQ(memory_pill_text(memory), "Memory 50% · Normal");
    // No memory figures: no division by zero, 0%.
    EXPECT_EQ(idle_memory_line(MemoryStatus{}),
              "Right now: 1 KB used on 1 KB of RAM (0%) — Normal");
    const MemoryStatus critical{16 * kGB, kGB / 2, 25 * kGB, 30 * kGB};
    EXPECT_EQ(memory_pill_text(critical), "Memory 156% · Critical");
    EXPECT_EQ(level_colour(report_level(critical)), kRedColour);
}

TEST(HomeText, ScoreColoursAndRings) {
    EXPECT_EQ(score_colour(75), kGreenColour);
    EXPECT_EQ(score_colour(74), kAmberColour);
    EXPECT_EQ(score_colour(50), kAmberColour);
    EXPECT_EQ(score_colour(49), kRedColour);
    EXPECT_DOUBLE_EQ(score_sweep_degrees(0), 7.2);  // a score of 0 still shows a short arc
    EXPECT_DOUBLE_EQ(score_sweep_degrees(100), 360.0);
    EXPECT_DOUBLE_EQ(score_sweep_degrees(250), 360.0);
    EXPECT_EQ(progress_count_text(0), "1/4");
    EXPECT_EQ(progress_count_text(3), "4/4");
    EXPECT_EQ(progress_count_text(7), "4/4");
    EXPECT_DOUBLE_EQ(progress_sweep_degrees(2), 180.0);
    EXPECT_DOUBLE_EQ(progress_sweep_degrees(9), 270.0);
}

// What a screen reader hears of the progress screens, the health ring and the Done screen.
TEST(HomeText, SpokenTexts) {
    const struct {
        bool scanning;
        int step;
        bool approval;
        std::string said;
    } steps[] = {
        {true, 0, false, "Scanning your PC\u2026 1/4: Memory and running programs"},
        {true, 3, true, "Scanning your PC\u2026 4/4: Health checks"},  // a scan asks nothing
        {false, 1, false, "Optimising\u2026 2/4: Cleaning junk files"},
        {false, 9, false, "Optimising\u2026 4/4: Measuring the result"},
        {false, -2, false, "Optimising\u2026 1/4: Closing idle programs"},
        {false, 2, true, "Optimising\u2026 Waiting for your approval\u2026"},
    };
    for (const auto& c : steps)
        EXPECT_EQ(progress_spoken(c.scanning, c.step, c.approval), c.said) << c.step;
    EXPECT_EQ(health_spoken(64), "Health 64/100");

    DoneView view{"Done, with problems", true, 0, {"Closing a didn't work", "Closed 1 app"}};
    EXPECT_EQ(done_spoken(view, done_score_line(50, 64)),
              "Done, with problems\nHealth score: 50 \u2192 64\nClosing a didn't work\n"
              "Closed 1 app");
    // No score recorded: no empty line for it.
    view.lines.clear();
    EXPECT_EQ(done_spoken(view, done_score_line(std::nullopt, 64)), "Done, with problems");
}

TEST(HomeText, HeadlineCardsAndFreesLine) {
    ScanReport r;
    EXPECT_EQ(proposal_headline(r).text, "Your PC is in great shape");
    EXPECT_EQ(proposal_headline(r).colour, kGreenColour);
    EXPECT_EQ(proposal_frees_line(r),
              "Nothing big to free right now. You can still look through the list below.");
    EXPECT_EQ(health_card(r).caption, "health checks all passed");

    r.suggestions = {suggestion(SuggestionSection::DevTool, 300 * kMB, true)};
    EXPECT_EQ(proposal_headline(r).text, "1 thing is slowing your PC");
    EXPECT_EQ(memory_card(r).caption, "of memory held by 1 idle program");

    r.suggestions.push_back(suggestion(SuggestionSection::BackgroundApp, 100 * kMB, false));
    r.suggestions.push_back(suggestion(SuggestionSection::Service, 0, true));
    r.suggestions.push_back(suggestion(SuggestionSection::StartupApp, 0, false));
    r.junk = {junk(50 * kMB, true), junk(0, true), junk(70 * kMB, false)};
    r.health = {{"a", "b", Severity::Tip}, {"c", "d", Severity::Warning}};
    r.score_after = 88;
    r.memory = {8 * kGB, 4 * kGB, 2 * kGB, 10 * kGB};
    // 4 suggestions (ticked or not), 1 junk row worth cleaning, 1 warning.
    EXPECT_EQ(proposal_headline(r).text, "6 things are slowing your PC");
    EXPECT_EQ(proposal_frees_line(r),
              "Optimise frees about 300 MB of memory and 50 MB of disk space.");
    EXPECT_EQ(proposal_memory_line(r),
              "Memory 25% of RAM (Normal)  ·  After Optimise: about 88/100");
    EXPECT_EQ(memory_card(r).value, "300 MB");
    EXPECT_EQ(memory_card(r).caption, "of memory held by 2 idle programs");
    EXPECT_EQ(junk_card(r).value, "50 MB");
    EXPECT_EQ(startup_card(r).value, "2");
    EXPECT_EQ(health_card(r).value, "2");
    EXPECT_EQ(health_card(r).caption, "health warnings and tips");
}

TEST(HomeText, DoneScreen) {
    EXPECT_EQ(done_title(OptimiseResult{}), "Done! Your PC is optimised");
    EXPECT_EQ(done_title({.test_run = true}), "Test run finished — nothing was changed");
    EXPECT_EQ(done_score_line(std::nullopt, 80).text, "");
    EXPECT_EQ(done_score_line(70, std::nullopt).text,
              "Health score was 70. Checking the new score…");
    const ScoreLine up = done_score_line(70, 85);
    EXPECT_EQ(up.text, "Health score: 70 → 85");
    EXPECT_EQ(up.colour, kGreenColour);
    const ScoreLine same = done_score_line(70, 70);
    EXPECT_EQ(same.text, "Health score: 70 → 70");
    EXPECT_EQ(same.colour, kMutedColour);
}

// The Done screen owns up to what went wrong: its title and disc say so and the failure
// lines come first; five lines or more end in "…and {} more".
TEST(HomeText, DoneViewPutsProblemsFirst) {
    const OptimiseResult worked{.applied = 4,
                                .closed = 1,
                                .services = 1,
                                .startup_off = 1,
                                .junk_bytes = 3 << 20,
                                .committed_before = 9 << 20,
                                .committed_after = 4 << 20};
    OptimiseResult mixed = worked;
    mixed.failures = {"access denied (needs admin)"};
    OptimiseResult all_failed;
    all_failed.failures = {"one", "two"};
    const OptimiseResult declined{.skipped = 2};
    const struct {
        const char* name;
        OptimiseResult r;
        DoneView view;
    } cases[] = {
        {"worked",
         worked,
         {"Done! Your PC is optimised",
          false,
          kGreenColour,
          {"Freed 5 MB of memory", "Closed 1 idle program group(s)", "Deleted 3 MB of junk files",
           "…and 2 more"}}},
        {"one failure among five successes",
         mixed,
         {"Done, with problems",
          true,
          kAmberColour,
          {"1 change(s) didn't work: access denied (needs admin)", "Freed 5 MB of memory",
           "Closed 1 idle program group(s)", "…and 3 more"}}},
        {"every change failed",
         all_failed,
         {"Nothing could be changed",
          true,
          kAmberColour,
          {"2 change(s) didn't work: one", "Also didn't work: two"}}},
        {"approval declined",
         declined,
         {"Nothing could be changed",
          true,
          kAmberColour,
          {"2 change(s) skipped: admin approval was cancelled"}}},
        {"test run",
         {.applied = 1, .junk_bytes = 3 << 20, .test_run = true},
         {"Test run finished — nothing was changed",
          false,
          kGreenColour,
          {"Would delete 3 MB of junk files"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(done_view(c.r), c.view) << c.name;
    // With room for them, every line shows.
    EXPECT_EQ(done_view(worked, 6).lines.size(), 5u);
}

// A total of nothing is said in words, never as "1 KB".
TEST(HomeText, ZeroIsNothing) {
    ScanReport r;
    r.suggestions = {suggestion(SuggestionSection::DevTool, 300 * kMB, false)};
    r.junk = {junk(0, true), junk(70 * kMB, false)};
    EXPECT_EQ(memory_card(r).value, "Nothing");
    EXPECT_EQ(memory_card(r).caption, "to free from idle programs");
    EXPECT_EQ(junk_card(r).value, "Nothing");
    EXPECT_EQ(junk_card(r).caption, "to clean in junk files");
    r.suggestions[0].ticked = true;
    EXPECT_EQ(proposal_frees_line(r), "Optimise frees about 300 MB of memory.");
    r.suggestions[0].ticked = false;
    r.junk[0].bytes = 2 * kMB;
    EXPECT_EQ(proposal_frees_line(r), "Optimise frees about 2 MB of disk space.");
    EXPECT_EQ(junk_card(r).value, "2 MB");
}

}  // namespace
}  // namespace tess::ui
