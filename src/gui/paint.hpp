// The shared look of every window: palette, font roles, and the arithmetic behind the
// drawing primitives and button styles. Sizes are given at 96 DPI and scaled by the
// system DPI; the Win32 half (paint_win.hpp) only turns these numbers into GDI calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tess::ui {

// ---- palette (0xRRGGBB) -------------------------------------------------------
namespace colour {
inline constexpr std::uint32_t kContent = 0xF1F5F9;          // content background, pressed plain
inline constexpr std::uint32_t kWhite = 0xFFFFFF;            // cards, list, plain buttons
inline constexpr std::uint32_t kInk = 0x0F172A;              // sidebar background, main text
inline constexpr std::uint32_t kSidebarSelected = 0x1E293B;  // selected item, hovered tray card
inline constexpr std::uint32_t kSidebarHover = 0x172133;     // hovered item, tray card
inline constexpr std::uint32_t kSecondary = 0x64748B;        // descriptions, grey column
inline constexpr std::uint32_t kMuted = 0x94A3B8;            // sidebar glyphs, hovered borders
inline constexpr std::uint32_t kDisabled = 0xCBD5E1;         // sidebar labels, disabled, track off
inline constexpr std::uint32_t kBorder = 0xE2E8F0;           // card and button borders, ring tracks
inline constexpr std::uint32_t kHover = 0xF8FAFC;            // hovered plain and choice buttons
inline constexpr std::uint32_t kChoiceSelected = 0xF0FDFA;
inline constexpr std::uint32_t kAccent = 0x0D9488;
inline constexpr std::uint32_t kAccentHover = 0x0F766E;
inline constexpr std::uint32_t kAccentPressed = 0x115E59;  // also links hovered, emphasised column
inline constexpr std::uint32_t kProgress = 0x2DD4BF;
inline constexpr std::uint32_t kGlyphSelected = 0x5EEAD4;
inline constexpr std::uint32_t kAccentSubtitle = 0xCCFBF1;
inline constexpr std::uint32_t kTrackOffDark = 0x475569;
inline constexpr std::uint32_t kSuccess = 0x16A34A;
inline constexpr std::uint32_t kWarning = 0xD97706;
inline constexpr std::uint32_t kProblem = 0xDC2626;
}  // namespace colour

// ---- DPI --------------------------------------------------------------------------
// A 96-DPI length at `dpi`, multiply first so that 1.5x of odd numbers stays exact.
constexpr int scale(int v, int dpi) {
    return v * dpi / 96;
}

// ---- fonts --------------------------------------------------------------------------
enum class FontRole : std::uint8_t {
    Body = 0,
    BodySemibold = 1,
    Small = 2,
    SmallSemibold = 3,
    Subheading = 4,
    Heading = 5,
    Title = 6,
    Display = 7,
    Brand = 8,
    Icons = 9,
    BigIcons = 10,
};
inline constexpr int kFontRoles = 11;

struct FontSpec {
    bool icon_face;  // the glyph font (chosen per window) instead of "Segoe UI"
    int points;
    int weight;
};
FontSpec font_spec(FontRole role);
// CreateFontW's height: -(points x dpi / 72).
constexpr int font_height(int points, int dpi) {
    return -(points * dpi / 72);
}

inline constexpr std::string_view kTextFace = "Segoe UI";
// The glyph fonts in order of preference; the code points used are the same in both.
inline constexpr std::string_view kGlyphFaces[] = {"Segoe Fluent Icons", "Segoe MDL2 Assets"};

// ---- geometry -------------------------------------------------------------------------
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool empty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect&) const = default;
};
constexpr Rect inflate(Rect r, int dx, int dy) {
    return {r.left - dx, r.top - dy, r.right + dx, r.bottom + dy};
}

// The rounded rectangle's path: four 90-degree arcs of diameter `d` on the rectangle inset
// by half a pixel, so a 1-pixel border lands on whole pixels.
struct RoundRectPath {
    float x, y, w, h;
    float d;
};
// d = min(2 x radius, width - 1, height - 1), at least 1: a rectangle smaller than twice the
// radius gives a pill, never a negative arc.
RoundRectPath round_rect_path(Rect r, int radius);

// A switch: a 40 x 22 pill at the right end of `area`, vertically centred, with a knob of
// radius 8 centred 11 from the track's right end when on, from its left end when off.
struct SwitchGeometry {
    Rect track;
    int track_radius;
    int knob_x, knob_y, knob_radius;
};
SwitchGeometry switch_geometry(Rect area, bool on, int dpi);

// Left edge of text `text_width` wide centred in [left, right], never left of left + inset.
int centred_left(int left, int right, int text_width, int inset);

// ---- owner-drawn button styles ---------------------------------------------------------
struct ButtonState {
    bool pressed = false;
    bool disabled = false;
    bool hovered = false;
};
struct ButtonColours {
    std::uint32_t fill;
    std::optional<std::uint32_t> border;
    std::uint32_t text;
    std::uint32_t subtitle;
    FontRole font;
};
ButtonColours accent_colours(ButtonState s);
ButtonColours plain_colours(ButtonState s);
ButtonColours link_colours(ButtonState s);
ButtonColours choice_colours(bool chosen, ButtonState s);

// Where an accent button's caption and subtitle go. Without a subtitle, or on a button lower
// than 56, the caption is centred in the body semibold font and there is no subtitle band.
struct AccentBands {
    bool two_lines;
    Rect caption;
    Rect subtitle;
    FontRole caption_font;
};
AccentBands accent_bands(Rect r, bool has_subtitle, int dpi);

}  // namespace tess::ui
