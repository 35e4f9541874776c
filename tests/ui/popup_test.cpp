#include <gtest/gtest.h>

#include "ui/popup.hpp"

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
