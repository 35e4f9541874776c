#include <gtest/gtest.h>

#include "support/uidriver.hpp"

namespace tess::uidriver {
namespace {

TEST(UiDriverKeys, ParsesNamesAndModifiers) {
    struct Case {
        const char* name;
        std::optional<KeyStroke> want;
    };
    const Case cases[] = {
        {"tab", KeyStroke{0x09}},
        {"Shift+Tab", KeyStroke{0x09, true}},
        {"ctrl+alt+delete", KeyStroke{0x2E, false, true, true}},
        {"space", KeyStroke{0x20}},
        {"ENTER", KeyStroke{0x0D}},
        {"esc", KeyStroke{0x1B}},
        {"a", KeyStroke{'A'}},
        {"7", KeyStroke{'7'}},
        {"f1", KeyStroke{0x70}},
        {"f12", KeyStroke{0x7B}},
        {"f13", std::nullopt},
        {"f0", std::nullopt},
        {"f1x", std::nullopt},
        {"", std::nullopt},
        {"shift+", std::nullopt},
        {"shift+shift+tab", std::nullopt},  // a modifier twice is a typo, not a key
        {"meta+tab", std::nullopt},
        {"tabs", std::nullopt},
        {"+", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse_key(c.name), c.want) << c.name;
}

TEST(UiDriverPictures, InkBoundsCoverEveryMatchingPixel) {
    Image image{4, 3, std::vector<std::uint32_t>(12, 0xFFFFFFFFu)};
    const auto red = [](std::uint32_t c) { return c == 0xDC2626u; };
    EXPECT_EQ(ink_bounds(image, red), std::nullopt);
    image.pixels[1 * 4 + 2] = 0xFFDC2626u;  // (2, 1)
    EXPECT_EQ(ink_bounds(image, red), (Rect{2, 1, 3, 2}));
    image.pixels[2 * 4 + 0] = 0x00DC2626u;  // (0, 2): alpha does not count
    EXPECT_EQ(ink_bounds(image, red), (Rect{0, 1, 3, 3}));
}

TEST(UiDriverAnswers, ParsesTheFourButtons) {
    EXPECT_EQ(parse_answer("yes"), Answer::yes);
    EXPECT_EQ(parse_answer("No"), Answer::no);
    EXPECT_EQ(parse_answer("OK"), Answer::ok);
    EXPECT_EQ(parse_answer("cancel"), Answer::cancel);
    EXPECT_EQ(parse_answer("retry"), std::nullopt);
    EXPECT_EQ(parse_answer(""), std::nullopt);
}

TEST(UiDriverListing, OneLinePerControlWithTheCaptionEscaped) {
    Control c;
    c.id = 204;
    c.class_name = "Button";
    c.visible = true;
    c.enabled = false;
    c.rect = {-5, 10, 120, 44};
    c.caption = "Clean 3\titems\\now\r\nsoon";
    // Scripts split on tabs and lines, so nothing in a caption may add either.
    EXPECT_EQ(format_control(c),
              "204\tButton\tvisible\tdisabled\t-5,10,120,44\t"
              "Clean 3\\titems\\\\now\\r\\nsoon");
    c.visible = false;
    c.enabled = true;
    c.caption = "Junk files";
    EXPECT_EQ(format_control(c), "204\tButton\thidden\tenabled\t-5,10,120,44\tJunk files");
}

TEST(UiDriverListing, WindowIdsAreHex) {
    EXPECT_EQ(window_id(0x1a2b), "0x1a2b");
    EXPECT_EQ(window_id(0), "0x0");
}

TEST(UiDriverImage, PixelsAreRowMajorAndRgbDropsAlpha) {
    Image img{3, 2, {1, 2, 3, 4, 5, 0xFF123456u}};
    EXPECT_EQ(img.at(2, 0), 3u);
    EXPECT_EQ(img.at(0, 1), 4u);
    EXPECT_EQ(rgb(img.at(2, 1)), 0x123456u);
}

}  // namespace
}  // namespace tess::uidriver
