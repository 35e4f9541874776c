#include <gtest/gtest.h>

#include "tray/toast.hpp"

namespace tess {
namespace {

TEST(Toast, LayoutWithAndWithoutButton) {
    const ToastLayout with = toast_layout(96, 40, true, 50);
    EXPECT_EQ(with.width, 372);
    EXPECT_EQ(with.height, 16 + 16 + 24 + 6 + 14 + 34 + 40);
    EXPECT_EQ(with.close, (PopupRect{330, 5, 360, 35}));
    EXPECT_EQ(with.action,
              (PopupRect{372 - 16 - 86, with.height - 16 - 34, 356, with.height - 16}));
    EXPECT_EQ(with.title, (PopupRect{46, 16, 324, 40}));
    EXPECT_EQ(with.body, (PopupRect{16, 46, 356, 86}));
    EXPECT_EQ(with.icon, (PopupRect{16, 18, 36, 38}));

    const ToastLayout without = toast_layout(96, 40, false, 50);
    EXPECT_EQ(without.height, with.height - 48);  // no button row
    EXPECT_EQ(without.action, PopupRect{});

    // A long body is cut at 80 pixels; the window never grows past it.
    EXPECT_EQ(toast_layout(96, 500, false, 0).height, 62 + 80);
    EXPECT_EQ(toast_layout(96, 500, false, 0).body.height(), 80);
    EXPECT_EQ(toast_layout(96, -5, false, 0).height, 62);

    const ToastLayout big = toast_layout(144, 30, true, 75);
    EXPECT_EQ(big.width, 558);
    EXPECT_EQ(big.height, 93 + 72 + 30);
    EXPECT_EQ(toast_layout(144, 500, false, 0).height, 93 + 120);
    EXPECT_EQ(big.action.width(), 75 + 54);
}

TEST(Toast, CornerPosition) {
    const PopupRect work{0, 0, 1920, 1040};
    EXPECT_EQ(corner_position(work, 372, 150, 12, false), (PopupPoint{1536, 878}));
    EXPECT_EQ(corner_position(work, 372, 150, 12, true), (PopupPoint{-10000, -10000}));
    const PopupRect right_monitor{1920, 0, 3840, 1080};
    EXPECT_EQ(corner_position(right_monitor, 360, 580, 18, false), (PopupPoint{3462, 482}));
}

// Every window a program opens without a usable owner lands wholly inside the work area,
// whichever side it would stick out of.
TEST(Placement, ClampKeepsEveryEdgeInsideTheWorkArea) {
    const PopupRect work{100, 50, 1380, 770};  // a work area not at (0, 0)
    const struct {
        PopupPoint at;
        int w, h;
        PopupPoint want;
    } cases[] = {
        {{300, 200}, 500, 300, {300, 200}},     // inside: unchanged
        {{-250, 200}, 500, 300, {100, 200}},    // off the left
        {{1200, 200}, 500, 300, {880, 200}},    // off the right
        {{300, -40}, 500, 300, {300, 50}},      // above the top
        {{300, 700}, 500, 300, {300, 470}},     // below the bottom
        {{-9000, 9000}, 500, 300, {100, 470}},  // off two sides
        {{600, 600}, 1400, 900, {100, 50}},     // larger: left and top edges on it
        {{880, 470}, 500, 300, {880, 470}},     // exactly in the corner
    };
    for (const auto& c : cases)
        EXPECT_EQ(clamp_to(work, c.at, c.w, c.h), c.want) << c.at.x << "," << c.at.y;

    // The hidden tray window is 0 x 0 at (0, 0): centred over it, a window would hang off the
    // left and top edges.
    EXPECT_EQ(centre_within(work, {0, 0, 0, 0}, 500, 300), (PopupPoint{100, 50}));
    EXPECT_EQ(centre_within(work, work, 500, 300), (PopupPoint{490, 260}));
    EXPECT_EQ(centre_within(work, {1000, 600, 1600, 1000}, 500, 300), (PopupPoint{880, 470}));
}

TEST(Toast, StacksAboveTheOpenPanelAndNeverCoversIt) {
    const PopupRect work{0, 0, 1920, 1040};
    const PopupRect panel{1548, 448, 1908, 1028};  // 360 x 580, 12 from the corner
    const auto overlaps = [](const PopupRect& a, const PopupRect& b) {
        return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
    };
    const struct {
        const char* name;
        PopupRect work;
        std::optional<PopupRect> panel;
        PopupPoint want;
    } cases[] = {
        {"no panel", work, std::nullopt, {1536, 878}},
        {"above", work, panel, {1536, 286}},
        // A short work area leaves no room above: the toast goes to the panel's left.
        {"beside", {0, 300, 1920, 1040}, panel, {1164, 878}},
        {"closed panel", work, PopupRect{}, {1536, 878}},
    };
    for (const auto& c : cases) {
        const PopupPoint at = toast_position(c.work, 372, 150, 12, c.panel, false);
        EXPECT_EQ(at, c.want) << c.name;
        if (c.panel) {
            EXPECT_FALSE(overlaps({at.x, at.y, at.x + 372, at.y + 150}, *c.panel)) << c.name;
        }
    }
    EXPECT_EQ(toast_position(work, 372, 150, 12, panel, true), (PopupPoint{-10000, -10000}));
}

TEST(Toast, TimerClosesTenSecondsAfterTheMouseLeaves) {
    // 20 steps away (10 s) close it; the mouse resting on it starts the count again.
    std::uint32_t away = 0;
    int steps = 0;
    for (bool closed = false; !closed; ++steps) {
        const bool over = steps < 6;  // resting on it for the first 3 s
        const ToastTimer t = toast_timer_step(away, over, false);
        away = t.away_ms;
        closed = t.close;
        ASSERT_LT(steps, 100);
    }
    EXPECT_EQ(steps, 6 + 20);
    // Off screen (tests) it stays however long the mouse is away.
    away = 0;
    for (int i = 0; i < 100; ++i) {
        const ToastTimer t = toast_timer_step(away, false, true);
        EXPECT_FALSE(t.close);
        away = t.away_ms;
    }
}

TEST(Toast, Scaling) {
    EXPECT_EQ(popup_px(372, 96), 372);
    EXPECT_EQ(popup_px(372, 120), 465);
    EXPECT_EQ(popup_px(5, 144), 8);  // 7.5 rounds up
    EXPECT_EQ(popup_px(10, 0), 10);  // no DPI reads as 96
}

}  // namespace
}  // namespace tess
