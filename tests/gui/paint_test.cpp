#include <gtest/gtest.h>

#include "gui/icon.hpp"
#include "gui/paint.hpp"

namespace tess::ui {
namespace {

TEST(Paint, DpiScalingMultipliesFirst) {
    EXPECT_EQ(scale(236, 144), 354);  // the sidebar at 1.5x
    EXPECT_EQ(scale(13, 144), 19);    // 19.5 rounds down, not 13 * 1 = 13
    EXPECT_EQ(font_height(font_spec(FontRole::Body).points, 144), -20);
    EXPECT_EQ(font_height(font_spec(FontRole::Body).points, 96), -13);
    EXPECT_EQ(font_height(font_spec(FontRole::Display).points, 96), -40);
    EXPECT_TRUE(font_spec(FontRole::BigIcons).icon_face);
    EXPECT_FALSE(font_spec(FontRole::Title).icon_face);
}

TEST(Paint, RoundRectArcNeverNegative) {
    const struct {
        Rect r;
        int radius;
        float d;
    } cases[] = {
        {{0, 0, 100, 40}, 8, 16},  // ordinary button
        {{0, 0, 100, 12}, 8, 11},  // lower than twice the radius: a pill
        {{0, 0, 6, 40}, 10, 5},    // narrower: a vertical pill
        {{5, 5, 6, 6}, 8, 1},      // one pixel: the arc is still 1
        {{5, 5, 5, 5}, 8, 1},      // empty rectangle
        {{0, 0, 50, 50}, 0, 1},    // square corners still get a 1-pixel arc
    };
    for (const auto& c : cases) {
        const RoundRectPath p = round_rect_path(c.r, c.radius);
        EXPECT_FLOAT_EQ(p.d, c.d) << c.r.width() << "x" << c.r.height() << " r" << c.radius;
        EXPECT_FLOAT_EQ(p.x, c.r.left + 0.5f);
        EXPECT_FLOAT_EQ(p.y, c.r.top + 0.5f);
        EXPECT_FLOAT_EQ(p.w, static_cast<float>(c.r.width() - 1));
    }
}

TEST(Paint, SwitchKnobSidesAndCentring) {
    const Rect area{100, 10, 300, 50};
    const SwitchGeometry on = switch_geometry(area, true, 96);
    EXPECT_EQ(on.track, (Rect{260, 19, 300, 41}));
    EXPECT_EQ(on.knob_x, 289);
    EXPECT_EQ(on.knob_y, 30);
    EXPECT_EQ(on.knob_radius, 8);
    EXPECT_EQ(on.track_radius, 11);
    EXPECT_EQ(switch_geometry(area, false, 96).knob_x, 271);
    const SwitchGeometry big = switch_geometry(area, false, 144);
    EXPECT_EQ(big.track.width(), 60);
    EXPECT_EQ(big.track.height(), 33);
    EXPECT_EQ(big.knob_x, big.track.left + 16);
}

TEST(Paint, ButtonStyleColours) {
    const ButtonState plain{}, hover{false, false, true}, press{true, false, true},
        off{false, true, true};
    // A disabled accent button is grey with grey text and ignores hover.
    EXPECT_EQ(accent_colours(off).fill, colour::kDisabled);
    EXPECT_EQ(accent_colours(off).text, colour::kSecondary);
    EXPECT_EQ(accent_colours(plain).fill, colour::kAccent);
    EXPECT_EQ(accent_colours(hover).fill, colour::kAccentHover);
    EXPECT_EQ(accent_colours(press).fill, colour::kAccentPressed);
    EXPECT_EQ(accent_colours(plain).subtitle, colour::kAccentSubtitle);

    EXPECT_EQ(plain_colours(plain).fill, colour::kWhite);
    EXPECT_EQ(plain_colours(hover).fill, colour::kHover);
    EXPECT_EQ(plain_colours(press).fill, colour::kContent);
    EXPECT_EQ(plain_colours(hover).border, colour::kMuted);
    EXPECT_EQ(plain_colours(off).fill, colour::kWhite);
    EXPECT_EQ(plain_colours(off).border, colour::kBorder);  // no hover border when disabled
    EXPECT_EQ(plain_colours(off).text, colour::kDisabled);

    EXPECT_EQ(link_colours(plain).text, colour::kAccent);
    EXPECT_EQ(link_colours(hover).text, colour::kAccentPressed);
    EXPECT_EQ(link_colours(off).text, colour::kDisabled);

    EXPECT_EQ(choice_colours(true, hover).fill, colour::kChoiceSelected);
    EXPECT_EQ(choice_colours(true, plain).font, FontRole::BodySemibold);
    EXPECT_EQ(choice_colours(false, hover).fill, colour::kHover);
    EXPECT_EQ(choice_colours(false, plain).font, FontRole::Body);
}

TEST(Paint, AccentCaptionBands) {
    const AccentBands one = accent_bands({0, 0, 290, 46}, true, 96);  // lower than 56
    EXPECT_FALSE(one.two_lines);
    EXPECT_EQ(one.caption_font, FontRole::BodySemibold);
    const AccentBands two = accent_bands({0, 100, 250, 176}, true, 96);
    EXPECT_TRUE(two.two_lines);
    EXPECT_EQ(two.caption, (Rect{0, 106, 250, 145}));
    EXPECT_EQ(two.subtitle, (Rect{0, 143, 250, 170}));
    EXPECT_FALSE(accent_bands({0, 0, 250, 76}, false, 96).two_lines);
    // Centred captions never start left of the inset, even when wider than the button.
    EXPECT_EQ(centred_left(10, 110, 50, 8), 35);
    EXPECT_EQ(centred_left(10, 110, 300, 8), 18);
}

TEST(Icon, DrawnIconSizesAndPixels) {
    EXPECT_EQ(drawn_icon_image(0, 8).size, 16);
    EXPECT_EQ(drawn_icon_image(0, 256).size, 64);
    const DrawnIconImage img = drawn_icon_image(1, 32);
    ASSERT_EQ(img.size, 32);
    ASSERT_EQ(img.argb.size(), 32u * 32u);
    EXPECT_EQ(img.mask_stride, 4);
    const auto px = [&](int x, int y) { return img.argb[static_cast<std::size_t>(y) * 32 + x]; };
    const auto transparent = [&](int x, int y) {
        return (img.mask[static_cast<std::size_t>(y) * img.mask_stride + x / 8] >> (7 - x % 8)) & 1;
    };
    EXPECT_EQ(px(16, 16), 0xFFF59E0Bu);  // amber inside
    EXPECT_EQ(transparent(16, 16), 0);
    EXPECT_EQ(px(0, 0), 0u);  // corner outside the disc
    EXPECT_EQ(transparent(0, 0), 1);
    // The rim (r between n/2 - 2 and n/2 - 0.5) is 0.7 of the base, truncated.
    EXPECT_EQ(px(16, 1), 0xFFAB6E07u);
    EXPECT_EQ(transparent(16, 1), 0);
    EXPECT_EQ(transparent(16, 0), 1);                                  // r 15.51 is just outside
    EXPECT_EQ(drawn_icon_image(7, 16).argb[8 * 16 + 8], 0xFF22C55Eu);  // unknown level: green
    // A size that is no multiple of 16 pads its mask rows to whole words.
    const DrawnIconImage odd = drawn_icon_image(2, 20);
    EXPECT_EQ(odd.mask_stride, 4);
    EXPECT_EQ(odd.mask[3], 0xFF);  // padding past pixel 20 stays transparent
    EXPECT_EQ(odd.argb[10 * 20 + 10], 0xFFEF4444u);
}

TEST(Icon, RequestedSizes) {
    EXPECT_EQ(icon_size_from_metric(0), 16);
    EXPECT_EQ(icon_size_from_metric(32), 32);
    EXPECT_EQ(icon_size_from_metric(1000), 256);
    EXPECT_EQ(sidebar_icon_size(96), 32);
    EXPECT_EQ(sidebar_icon_size(144), 48);
    EXPECT_EQ(header_icon_size(144), 96);
    EXPECT_EQ(level_icon(0), 2);
    EXPECT_EQ(level_icon(2), 4);
    EXPECT_EQ(level_icon(9), 4);
}

}  // namespace
}  // namespace tess::ui
