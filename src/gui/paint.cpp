#include "gui/paint.hpp"

#include <algorithm>

namespace tess::ui {

FontSpec font_spec(FontRole role) {
    switch (role) {
        case FontRole::Body:
            return {false, 10, 400};
        case FontRole::BodySemibold:
            return {false, 10, 600};
        case FontRole::Small:
            return {false, 9, 400};
        case FontRole::SmallSemibold:
            return {false, 9, 600};
        case FontRole::Subheading:
            return {false, 12, 600};
        case FontRole::Heading:
            return {false, 18, 600};
        case FontRole::Title:
            return {false, 22, 700};
        case FontRole::Display:
            return {false, 30, 700};
        case FontRole::Brand:
            return {false, 13, 700};
        case FontRole::Icons:
            return {true, 12, 400};
        case FontRole::BigIcons:
            return {true, 30, 400};
    }
    return {false, 10, 400};
}

RoundRectPath round_rect_path(Rect r, int radius) {
    const int w = r.width() - 1;
    const int h = r.height() - 1;
    const int d = std::max(1, std::min({2 * radius, w, h}));
    return {static_cast<float>(r.left) + 0.5f, static_cast<float>(r.top) + 0.5f,
            static_cast<float>(w), static_cast<float>(h), static_cast<float>(d)};
}

SwitchGeometry switch_geometry(Rect area, bool on, int dpi) {
    const int w = scale(40, dpi), h = scale(22, dpi), inset = scale(11, dpi);
    SwitchGeometry g{};
    g.track.right = area.right;
    g.track.left = area.right - w;
    g.track.top = area.top + (area.height() - h) / 2;
    g.track.bottom = g.track.top + h;
    g.track_radius = inset;
    g.knob_radius = scale(8, dpi);
    g.knob_x = on ? g.track.right - inset : g.track.left + inset;
    g.knob_y = g.track.top + h / 2;
    return g;
}

int centred_left(int left, int right, int text_width, int inset) {
    return std::max(left + inset, left + (right - left - text_width) / 2);
}

ButtonColours accent_colours(ButtonState s) {
    if (s.disabled)
        return {colour::kDisabled, std::nullopt, colour::kSecondary, colour::kSecondary,
                FontRole::BodySemibold};
    const std::uint32_t fill = s.pressed   ? colour::kAccentPressed
                               : s.hovered ? colour::kAccentHover
                                           : colour::kAccent;
    return {fill, std::nullopt, colour::kWhite, colour::kAccentSubtitle, FontRole::BodySemibold};
}

ButtonColours plain_colours(ButtonState s) {
    if (s.disabled)
        return {colour::kWhite, colour::kBorder, colour::kDisabled, colour::kDisabled,
                FontRole::BodySemibold};
    const std::uint32_t fill = s.pressed   ? colour::kContent
                               : s.hovered ? colour::kHover
                                           : colour::kWhite;
    return {fill, s.hovered ? colour::kMuted : colour::kBorder, colour::kInk, colour::kInk,
            FontRole::BodySemibold};
}

ButtonColours link_colours(ButtonState s) {
    const std::uint32_t text = s.disabled  ? colour::kDisabled
                               : s.hovered ? colour::kAccentPressed
                                           : colour::kAccent;
    return {colour::kContent, std::nullopt, text, text, FontRole::Body};
}

ButtonColours choice_colours(bool chosen, ButtonState s) {
    if (chosen)
        return {colour::kChoiceSelected, colour::kAccent, colour::kAccentPressed,
                colour::kAccentPressed, FontRole::BodySemibold};
    return {s.hovered && !s.disabled ? colour::kHover : colour::kWhite, colour::kBorder,
            colour::kInk, colour::kInk, FontRole::Body};
}

AccentBands accent_bands(Rect r, bool has_subtitle, int dpi) {
    if (!has_subtitle || r.height() < scale(56, dpi)) return {false, r, {}, FontRole::BodySemibold};
    const int band_bottom = r.top + r.height() * 3 / 5;
    const Rect caption{r.left, r.top + scale(6, dpi), r.right, band_bottom};
    const Rect subtitle{r.left, band_bottom - scale(2, dpi), r.right, r.bottom - scale(6, dpi)};
    return {true, caption, subtitle, FontRole::Subheading};
}

}  // namespace tess::ui
