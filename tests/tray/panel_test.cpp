#include <gtest/gtest.h>

#include "tray/panel.hpp"

namespace tess {
namespace {

constexpr std::uint64_t kMiB = 1ull << 20;
constexpr std::uint64_t kGiB = 1ull << 30;

Suggestion suggestion(Action action, std::uint64_t bytes, bool ticked = true) {
    Suggestion s;
    s.title = "t";
    s.action = std::move(action);
    s.bytes = bytes;
    s.ticked = ticked;
    return s;
}

JunkRow junk(std::string id, std::uint64_t bytes, bool ticked, bool needs_admin = false,
             bool complete = true) {
    JunkRow r;
    r.id = id;
    r.title = id + " title";
    r.bytes = bytes;
    r.ticked = ticked;
    r.needs_admin = needs_admin;
    r.complete = complete;
    return r;
}

TEST(QuickPanel, ModesAndButtons) {
    const struct {
        PanelMode mode;
        const char* text;
        bool enabled;
        bool closable;
        MainButtonAction with_actions;
        MainButtonAction without;
    } cases[] = {
        {PanelMode::Checking, "Checking\xE2\x80\xA6", false, true, MainButtonAction::None,
         MainButtonAction::None},
        {PanelMode::Proposal, "Optimise now", true, true, MainButtonAction::Apply,
         MainButtonAction::None},
        {PanelMode::NothingToFix, "All good", true, true, MainButtonAction::Close,
         MainButtonAction::Close},
        {PanelMode::Applying, "Optimising\xE2\x80\xA6", false, false, MainButtonAction::None,
         MainButtonAction::None},
        {PanelMode::Done, "Close", true, true, MainButtonAction::Close, MainButtonAction::Close},
    };
    for (const auto& c : cases) {
        const int m = static_cast<int>(c.mode);
        EXPECT_EQ(panel_button_text(c.mode), c.text) << m;
        EXPECT_EQ(panel_button_enabled(c.mode), c.enabled) << m;
        EXPECT_EQ(panel_can_close(c.mode), c.closable) << m;
        EXPECT_EQ(main_button_action(c.mode, 3), c.with_actions) << m;
        EXPECT_EQ(main_button_action(c.mode, 0), c.without) << m;
    }
    EXPECT_EQ(mode_after_check(0), PanelMode::NothingToFix);
    EXPECT_EQ(mode_after_check(1), PanelMode::Proposal);
}

TEST(QuickPanel, StepTexts) {
    EXPECT_EQ(panel_step_text(PanelMode::Checking, 0), "Memory and running programs");
    EXPECT_EQ(panel_step_text(PanelMode::Checking, 3), "Health checks");
    EXPECT_EQ(panel_step_text(PanelMode::Checking, 9), "Health checks");
    EXPECT_EQ(panel_step_text(PanelMode::Checking, -1), "Memory and running programs");
    EXPECT_EQ(panel_step_text(PanelMode::Applying, 0), "Closing idle programs");
    EXPECT_EQ(panel_step_text(PanelMode::Applying, 1), "Cleaning junk files");
    EXPECT_EQ(panel_step_text(PanelMode::Applying, 2), "Startup apps and services");
    EXPECT_EQ(panel_step_text(PanelMode::Applying, 4), "Measuring the result");
    EXPECT_EQ(panel_busy_text(PanelMode::Checking), "Checking what can be fixed\xE2\x80\xA6");
    EXPECT_EQ(panel_busy_text(PanelMode::Applying), "Optimising\xE2\x80\xA6");
}

TEST(QuickPanel, ProposalFiveChangesOfFourKinds) {
    const std::vector<Suggestion> s = {
        suggestion(KillProcesses{"Gradle daemon", {}}, 1 * kGiB),
        suggestion(KillProcesses{"Vite", {}}, 200 * kMiB),
        suggestion(KillProcesses{"unticked", {}}, 5 * kGiB, false),
        suggestion(SetStartupEnabled{StartupLocation::HkcuRun, "Spotify", false}, 0),
        suggestion(SetServiceStart{"DiagTrack", "Telemetry", 3, true}, 0),
    };
    const std::vector<JunkRow> j = {junk("user_temp", 300 * kMiB, true),
                                    junk("thumbs", 50 * kMiB, false)};
    const QuickProposal p = quick_proposal(s, j);
    ASSERT_EQ(p.actions.size(), 5u);
    EXPECT_EQ(p.actions[4], Action(CleanJunk{"user_temp", "user_temp title"}));
    EXPECT_EQ(p.ram_bytes, 1 * kGiB + 200 * kMiB);
    EXPECT_EQ(p.disk_bytes, 300 * kMiB);
    EXPECT_EQ(p.lines, (std::vector<std::string>{
                           "Close 2 idle program(s) \xE2\x80\x94 frees 1.2 GB",
                           "Delete 300 MB of junk files",
                           "Stop 1 app(s) opening at sign-in",
                           "Start 1 background service(s) only when needed",
                       }));
    EXPECT_EQ(proposal_subtitle(p.ram_bytes, p.disk_bytes),
              "frees 1.2 GB RAM \xC2\xB7 300 MB disk");
    // Programs holding nothing measurable: the line leaves out what it would free.
    EXPECT_EQ(quick_proposal({suggestion(KillProcesses{"Vite", {}}, 0)}, {}).lines,
              std::vector<std::string>{"Close 1 idle program(s)"});
}

TEST(QuickPanel, JunkRowsThatBecomeActions) {
    const struct {
        JunkRow row;
        bool action;
    } cases[] = {
        {junk("a", 10, true), true},
        {junk("b", 0, true), false},
        {junk("c", 0, false, true, false), false},  // not ticked by default
        {junk("d", 0, true, true, false), true},    // needs admin, unreadable: still tried
        {junk("e", 0, true, true, true), false},    // needs admin, read fully: nothing there
        {junk("f", 0, true, false, false), false},
    };
    for (const auto& c : cases) {
        const QuickProposal p = quick_proposal({}, {c.row});
        EXPECT_EQ(p.actions.size(), c.action ? 1u : 0u) << c.row.id;
    }
    // Only an unmeasured admin category: the line cannot name a size.
    const QuickProposal p = quick_proposal({}, {junk("win", 0, true, true, false)});
    EXPECT_EQ(p.lines, std::vector<std::string>{"Clean Windows junk files"});
    EXPECT_EQ(proposal_subtitle(p.ram_bytes, p.disk_bytes), "");
    EXPECT_TRUE(quick_proposal({}, {}).lines.empty());
}

TEST(QuickPanel, SubtitleAndHeadings) {
    EXPECT_EQ(proposal_subtitle(2 * kGiB, 0), "frees 2.0 GB of RAM");
    EXPECT_EQ(proposal_subtitle(0, 5 * kMiB), "frees 5 MB of disk");
    EXPECT_EQ(done_heading(OptimiseResult{}), "Done! Your PC is optimised");
    EXPECT_EQ(done_heading({.test_run = true}), "Test run \xE2\x80\x94 nothing was changed");
    EXPECT_EQ(memory_heading(MemoryLevel::Normal), "Memory looks healthy");
    EXPECT_EQ(memory_heading(MemoryLevel::High), "Memory is getting tight");
    EXPECT_EQ(memory_heading(MemoryLevel::Critical), "Memory is overloaded");
}

// The panel's done screen after a run with problems: its heading says so and the failure
// is among the three lines it has room for; a test run says what it would have done.
TEST(QuickPanel, DoneScreenPutsProblemsFirst) {
    OptimiseResult r{
        .applied = 3, .closed = 1, .services = 1, .startup_off = 1, .junk_bytes = 2 * kMiB};
    r.failures = {"access denied"};
    EXPECT_EQ(done_heading(r), "Done, with problems");
    EXPECT_EQ(panel_done_lines(r),
              (std::vector<std::string>{"1 change(s) didn't work: access denied",
                                        "Closed 1 idle program group(s)", "…and 3 more"}));
    r.applied = 0;
    EXPECT_EQ(done_heading(r), "Nothing could be changed");
    EXPECT_EQ(done_heading(OptimiseResult{.skipped = 1}), "Nothing could be changed");
    const OptimiseResult test{.applied = 2, .closed = 1, .junk_bytes = 2 * kMiB, .test_run = true};
    EXPECT_EQ(panel_done_lines(test),
              (std::vector<std::string>{"Would close 1 idle program",
                                        "Would delete 2 MB of junk files"}));
}

TEST(QuickPanel, Gauge) {
    const struct {
        std::uint64_t total, committed;
        double degrees;
        const char* percent;
    } cases[] = {
        {16 * kGiB, 8 * kGiB, 90.0, "50%"},
        {16 * kGiB, 32 * kGiB, 360.0, "200%"},  // twice the RAM fills the ring
        {16 * kGiB, 64 * kGiB, 360.0, "400%"},  // never more than a full circle
        {16 * kGiB, 0, 7.2, "0%"},              // a sliver always shows
        {0, 5 * kGiB, 7.2, "0%"},
    };
    for (const auto& c : cases) {
        const MemoryStatus m{c.total, 0, c.committed, 0};
        EXPECT_NEAR(gauge_sweep_degrees(m), c.degrees, 1e-9) << c.committed;
        EXPECT_EQ(gauge_percent_text(m), c.percent);
    }
    const MemoryStatus m{16 * kGiB, 3 * kGiB, 6 * kGiB, 0};
    EXPECT_EQ(memory_used_text(m), "6.0 GB used on 16.0 GB of RAM");
    EXPECT_EQ(memory_free_text(m), "Free right now: 3.0 GB");
}

TEST(QuickPanel, LayoutAtTwoDpis) {
    PanelLayout l = panel_layout(96);
    EXPECT_EQ(l.width, 360);
    EXPECT_EQ(l.height, 580);
    EXPECT_EQ(l.close, (PopupRect{314, 10, 348, 44}));
    EXPECT_EQ(l.focus, (PopupRect{16, 388, 344, 444}));
    EXPECT_EQ(l.main, (PopupRect{16, 456, 344, 520}));
    EXPECT_EQ(l.open, (PopupRect{16, 528, 344, 564}));
    EXPECT_LT(l.action_area.bottom, l.focus.top);
    EXPECT_GT(l.action_area.top, l.apps[2].bottom);
    l = panel_layout(144);
    EXPECT_EQ(l.width, 540);
    EXPECT_EQ(l.height, 870);
    EXPECT_EQ(l.close, (PopupRect{471, 15, 522, 66}));
    EXPECT_EQ(l.main, (PopupRect{24, 684, 516, 780}));
}

TEST(QuickPanel, TopApps) {
    std::vector<AppGroup> groups(5);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        groups[i].display_name = "app" + std::to_string(i);
        groups[i].private_bytes = 100 - i;
    }
    const auto top = top_apps(groups);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[2], (TopApp{"app2", 98}));
    EXPECT_TRUE(top_apps({}).empty());
}

}  // namespace
}  // namespace tess
