#include <gtest/gtest.h>

#include <cstdlib>

#include <numeric>

#include "ui/layout.hpp"
#include "ui/ui.hpp"

namespace tess::ui {
namespace {

TEST(Ui, PageTableAndWhereTheListShows) {
    EXPECT_EQ(page_info(Page::Home).title, "Home");
    EXPECT_TRUE(page_info(Page::Home).description.empty());
    EXPECT_EQ(page_info(Page::History).title, "History & undo");
    EXPECT_EQ(page_info(Page::Autopilot).glyph, u'\xE916');
    EXPECT_EQ(page_from_index(7), Page::History);
    EXPECT_EQ(page_from_index(8), Page::Home);
    EXPECT_EQ(page_from_index(-1), Page::Home);
    EXPECT_TRUE(shows_list(Page::Home, HomePhase::Proposal));
    EXPECT_FALSE(shows_list(Page::Home, HomePhase::Scanning));
    EXPECT_FALSE(shows_list(Page::Autopilot, HomePhase::Proposal));
    EXPECT_TRUE(shows_list(Page::History, HomePhase::Idle));
    EXPECT_FALSE(shows_rescan(Page::Home, HomePhase::Done));
}

TEST(Ui, ButtonIdsAreUniqueAndComplete) {
    std::vector<int> ids(button_ids().begin(), button_ids().end());
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(ids.size(), 28u);
    EXPECT_EQ(button_ids()[0], id::kFirstPage);  // Tab starts at the top of the sidebar
}

TEST(Ui, FitColumns) {
    const Column cols[] = {{"a", 300}, {"b", 100}, {"c", 200}};
    // Wide enough: nominal widths scaled, the last one takes what is left.
    EXPECT_EQ(fit_columns(cols, 96, 1000, 17), (std::vector<int>{300, 100, 581}));
    EXPECT_EQ(fit_columns(cols, 144, 2000, 25), (std::vector<int>{450, 150, 1373}));
    // Narrow: shrunk by one factor (600 -> 301 available).
    EXPECT_EQ(fit_columns(cols, 96, 320, 17), (std::vector<int>{150, 50, 101}));
    // Very narrow: no column under 40, the last at least 60.
    EXPECT_EQ(fit_columns(cols, 96, 100, 17), (std::vector<int>{40, 40, 60}));
    EXPECT_EQ(fit_columns(cols, 96, 0, 17), (std::vector<int>{40, 40, 60}));
    EXPECT_TRUE(fit_columns({}, 96, 500, 17).empty());
    const Column one[] = {{"x", 100}};
    EXPECT_EQ(fit_columns(one, 96, 50, 17), (std::vector<int>{60}));
}

TEST(Ui, StartOptions) {
    const struct {
        std::vector<std::string> args;
        bool scan, history, autopilot;
    } cases[] = {
        {{"Tessavo.exe"}, false, false, false},
        {{}, false, false, false},
        {{"Tessavo.exe", "--scan"}, true, false, false},
        {{"--scan"}, false, false, false},  // the program's own name never counts
        {{"x", "--history", "--autopilot"}, false, true, true},
        {{"x", "--SCAN", "-scan", "--scan="}, false, false, false},
    };
    for (const auto& c : cases) {
        const StartOptions o = start_options(c.args);
        EXPECT_EQ(o.scan, c.scan);
        EXPECT_EQ(o.history, c.history);
        EXPECT_EQ(o.autopilot, c.autopilot);
    }
    EXPECT_EQ(window_size(96), (Size{1140, 780}));
    EXPECT_EQ(window_size(144), (Size{1710, 1170}));
    EXPECT_EQ(minimum_size(144), (Size{1500, 1050}));
}

TEST(Ui, SharedStateFlagsAndPendingStatus) {
    SharedState s;
    EXPECT_TRUE(try_begin(s, &SharedState::dev_scanning));
    EXPECT_FALSE(try_begin(s, &SharedState::dev_scanning));
    EXPECT_TRUE(try_begin(s, &SharedState::focus_toggling));
    EXPECT_FALSE(take_pending_status(s, true).has_value());
    post_status(s, PendingStatus{"Done", StatusKind::Success});
    const auto p = take_pending_status(s, true);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->text, "Done");
    EXPECT_FALSE(take_pending_status(s, true).has_value());  // cleared when taken
    EXPECT_EQ(&shared_state(), &shared_state());
    EXPECT_EQ(next_spinner_angle(351.0f), 0.0f);
}

// A page's result and a Focus or Autopilot result that arrive together both reach the
// status line; the page's waits for its rescan, and a problem is never shown as a success.
TEST(Ui, PendingStatusesAreQueuedNotOverwritten) {
    SharedState s;
    post_status(s, {"1 change(s) applied, 1 didn't work (x).", StatusKind::Problem, true});
    post_status(s, {"\u2714 Focus mode is on.", StatusKind::Success});
    // Before the rescan: only Focus mode's.
    EXPECT_EQ(take_pending_status(s, false),
              (PendingStatus{"\u2714 Focus mode is on.", StatusKind::Success}));
    post_status(s, {"\u2714 Nothing needed cleaning.", StatusKind::Success});
    EXPECT_EQ(take_pending_status(s, true),
              (PendingStatus{"1 change(s) applied, 1 didn't work (x). \u2714 Nothing needed "
                             "cleaning.",
                             StatusKind::Problem}));
    EXPECT_FALSE(take_pending_status(s, true));

    const PendingStatus neutral{"a", StatusKind::Neutral}, ok{"b", StatusKind::Success},
        bad{"c", StatusKind::Problem};
    const struct {
        std::vector<PendingStatus> in;
        std::optional<PendingStatus> out;
    } cases[] = {
        {{}, std::nullopt},
        {{neutral}, neutral},
        {{neutral, ok}, PendingStatus{"a b", StatusKind::Success}},
        {{ok, neutral}, PendingStatus{"b a", StatusKind::Success}},
        {{bad, ok}, PendingStatus{"c b", StatusKind::Problem}},
        {{ok, bad, neutral}, PendingStatus{"b c a", StatusKind::Problem}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(join_statuses(c.in), c.out) << c.in.size();
}

TEST(Layout, SidebarAt96And144) {
    const Frame f{1140, 780, 96};
    EXPECT_EQ(sidebar_rect(f), (Rect{0, 0, 236, 780}));
    EXPECT_EQ(page_button_rect(f, 0), (Rect{12, 100, 224, 144}));
    EXPECT_EQ(page_button_rect(f, 7), (Rect{12, 450, 224, 494}));
    EXPECT_EQ(tray_card_rect(f), (Rect{12, 680, 224, 760}));
    EXPECT_EQ(sidebar_icon_rect(f), (Rect{22, 26, 54, 58}));
    const Frame big{1710, 1170, 144};
    EXPECT_EQ(sidebar_rect(big).right, 354);
    EXPECT_EQ(page_button_rect(big, 1), (Rect{18, 225, 336, 291}));
    EXPECT_EQ(content_rect(big), (Rect{396, 42, 1668, 1128}));
}

TEST(Layout, PageHeaderListAndStatus) {
    const Frame f{1140, 780, 96};
    const PageLayout p = page_layout(f, Page::Apps);
    EXPECT_EQ(p.title, (Rect{264, 28, 792, 68}));
    EXPECT_EQ(p.rescan, (Rect{994, 30, 1112, 66}));
    EXPECT_EQ(p.memory_pill, (Rect{800, 30, 980, 66}));
    EXPECT_EQ(p.action_bar, (Rect{264, 706, 1112, 752}));
    EXPECT_EQ(p.action_button, (Rect{822, 706, 1112, 752}));
    EXPECT_EQ(p.keep_button, (Rect{264, 706, 812, 752}));
    EXPECT_EQ(p.status, (Rect{264, 656, 1112, 698}));
    EXPECT_EQ(p.list, (Rect{264, 112, 1112, 650}));
    EXPECT_EQ(p.description.right, 1112);
    EXPECT_LT(page_layout(f, Page::Junk).description.right, p.select_all.left);
    const PageLayout six = page_layout(f, Page::Autopilot);
    EXPECT_EQ(six.status, (Rect{264, 708, 1112, 752}));
    EXPECT_TRUE(six.action_bar.empty());
    EXPECT_EQ(six.memory_pill, (Rect{932, 30, 1112, 66}));  // no Rescan beside it
    // A client too low for the list still gives it 80 pixels, never a negative height.
    const PageLayout low = page_layout({1140, 200, 96}, Page::Junk);
    EXPECT_EQ(low.list.height(), 80);
    const PageLayout none = page_layout({0, 0, 96}, Page::Junk);
    EXPECT_EQ(none.list.height(), 80);
}

TEST(Layout, HomeFormulas) {
    const struct {
        int h;
        int ring, title_top;
    } cases[] = {
        {780, 220, 129},  // t = 310 clamped to 220, u = (780 - 302 - 220) / 2
        {700, 220, 89},
        {600, 150, 74},  // t = 130 clamped up to 150
        {300, 150, 28},  // u never above the content margin
    };
    for (const auto& c : cases) {
        const IdleLayout l = idle_layout({1140, c.h, 96});
        EXPECT_EQ(l.ring, c.ring) << c.h;
        EXPECT_EQ(l.title.top, c.title_top) << c.h;
        EXPECT_EQ(l.circle.top, c.title_top + 128);
        EXPECT_EQ(l.circle.width(), c.ring);
        EXPECT_EQ((l.circle.left + l.circle.right) / 2, (264 + 1112) / 2);
        EXPECT_EQ(l.memory_line.top, l.circle.bottom + 24);
        EXPECT_EQ(l.memory_line.width(), 460);
    }
    const IdleLayout l = idle_layout({1140, 780, 96});
    EXPECT_EQ(scan_circle_radius({1140, 780, 96}, l.circle), 98);
    const ProgressLayout p = progress_layout({1140, 780, 96});
    EXPECT_EQ(p.ring_radius, 98);
    EXPECT_EQ(p.step_label[0].left - p.step_glyph[0].left, 32);
    EXPECT_EQ(p.step_glyph[1].top - p.step_glyph[0].top, 30);
    EXPECT_EQ(p.step_glyph[0].height(), 26);
    EXPECT_GT(p.step_glyph[0].top, p.ring_area.bottom);

    const ProposalLayout pr = proposal_layout({1140, 780, 96});
    EXPECT_EQ(pr.summary, (Rect{264, 28, 1112, 196}));
    EXPECT_EQ(pr.optimise, (Rect{838, 74, 1088, 150}));
    EXPECT_EQ(pr.cards[0].left, 264);
    EXPECT_EQ(pr.cards[1].left - pr.cards[0].right, 14);
    EXPECT_EQ(pr.cards[3].right, 1112);
    EXPECT_EQ(pr.list, (Rect{264, 362, 1112, 706}));
    EXPECT_EQ(proposal_layout({1140, 400, 96}).list.bottom, 444);
}

TEST(Layout, DoneScreenIsCentred) {
    for (const Frame f : {Frame{1140, 780, 96}, Frame{1000, 700, 96}, Frame{1710, 1170, 144}}) {
        const DoneLayout l = done_layout(f);
        const Rect c = content_rect(f);
        const int cx = (c.left + c.right) / 2;
        // Disc: (half the ring area - 20) x 0.62, as wide as the "Scan now" circle allows.
        EXPECT_EQ(l.disc_radius, (idle_layout(f).ring / 2 - f.s(20)) * 62 / 100);
        EXPECT_EQ(l.disc_x, cx);
        EXPECT_LT(l.score_line.bottom, l.disc_y - l.disc_radius);
        EXPECT_LT(l.disc_y + l.disc_radius, l.lines[0].top);
        EXPECT_EQ(l.lines[1].top - l.lines[0].top, f.s(24));
        // Two buttons 210 x 48, 12 apart, centred, inside the content.
        EXPECT_EQ(l.scan_again.width(), f.s(210));
        EXPECT_EQ(l.see_changes.height(), f.s(48));
        EXPECT_EQ(l.see_changes.left - l.scan_again.right, f.s(12));
        EXPECT_LE(std::abs((l.scan_again.left + l.see_changes.right) / 2 - cx), 1);
        EXPECT_GE(l.title.top, c.top);
        EXPECT_LE(l.see_changes.bottom, c.bottom);
    }
    // The summary card's text runs between the ring and "Optimise now".
    const ProposalLayout p = proposal_layout({1140, 780, 96});
    EXPECT_GT(p.headline.left, p.ring_centre_box.right);
    EXPECT_LT(p.memory_line.right, p.optimise.left);
    EXPECT_LE(p.memory_line.bottom, p.summary.bottom);
}

TEST(Layout, AutopilotCards) {
    const Frame f{1140, 780, 96};
    const AutopilotLayout full = autopilot_layout(f, false);
    EXPECT_EQ(full.focus_card, (Rect{264, 538, 1112, 702}));
    EXPECT_EQ(full.autopilot_card, (Rect{264, 112, 1112, 522}));
    EXPECT_EQ(full.every_day, (Rect{288, 458, 406, 498}));
    EXPECT_EQ(full.every_week.left, 414);
    EXPECT_EQ(full.run_now, (Rect{948, 458, 1088, 498}));
    EXPECT_EQ(full.keep_line, (Rect{288, 402, 1088, 424}));
    EXPECT_EQ(full.clear_keep.left, 1028);
    EXPECT_EQ(full.dev_servers, (Rect{288, 348, 1088, 394}));
    EXPECT_EQ(full.autopilot_switch, (Rect{918, 128, 1088, 160}));
    EXPECT_EQ(full.focus_button, (Rect{868, 554, 1088, 594}));
    // With an empty keep list card 255 moves 26 down.
    EXPECT_EQ(autopilot_layout(f, true).dev_servers.top, full.dev_servers.top + 26);
}

}  // namespace
}  // namespace tess::ui
