// The painting kit's Win32 half: fonts per window, GDI+ shapes, text, switches, the
// owner-drawn button styles and their hover tracking, window classes and buttons.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/win.hpp"
#include "gui/paint.hpp"

namespace tess::ui {

COLORREF to_colorref(std::uint32_t rgb);
RECT to_rect(Rect r);
Rect from_rect(const RECT& r);

// GdiplusStartup (version 1) the first time; later calls do nothing. Call before the first
// window paints. False when GDI+ cannot start (shapes are then not drawn).
bool start_gdiplus();

// ---- DPI ------------------------------------------------------------------------------
// Every window scales by the DPI of the monitor it is on (the process is per-monitor aware,
// version 2) and follows WM_DPICHANGED. 96 where the system cannot say.
int window_dpi(HWND window);
int monitor_dpi(HMONITOR monitor);
// The monitor of the taskbar, where the notification area is: the quick panel and toasts
// open there. Null when there is no taskbar.
HMONITOR tray_monitor();
// WM_DPICHANGED's new DPI.
int changed_dpi(WPARAM wp);
// WM_DPICHANGED: the window takes the rectangle Windows suggests for the new DPI. Call after
// the window's fonts and metrics follow the new DPI, as the move lays it out again.
void take_suggested_rect(HWND window, LPARAM lp);
// A window made for `assumed` DPI that opened on a monitor of another: sent WM_DPICHANGED as
// Windows would, its size scaled and its top-left kept.
void follow_own_dpi(HWND window, int assumed);

// SPI_GETCLIENTAREAANIMATION: false when the user turned animations in windows off (then
// nothing spins or fades); true when the system cannot say.
bool animations_on();

// ---- fonts ---------------------------------------------------------------------------
// The first installed glyph font ("Segoe Fluent Icons", else "Segoe MDL2 Assets"), or
// empty when neither is: glyphs are then not drawn at all rather than as empty boxes.
std::wstring find_glyph_face();

struct FontSet {
    std::array<win::unique_hfont, kFontRoles> fonts;
    int dpi = 96;
    HFONT get(FontRole role) const { return fonts[static_cast<int>(role)].get(); }
    bool has_glyphs() const { return get(FontRole::Icons) != nullptr; }
};
// Every role at `dpi`; the icon roles only when `glyph_face` is not empty.
FontSet create_fonts(int dpi, const std::wstring& glyph_face);

// ---- primitives ------------------------------------------------------------------------
void fill_rect(HDC dc, Rect r, std::uint32_t colour);
void rounded_rect(HDC dc, Rect r, int radius, std::uint32_t fill,
                  std::optional<std::uint32_t> border = std::nullopt);
void fill_circle(HDC dc, int cx, int cy, int radius, std::uint32_t colour);
// An arc of a circle's stroke, angles in degrees clockwise from 3 o'clock.
void draw_arc(HDC dc, int cx, int cy, int radius, float start, float sweep, int stroke,
              std::uint32_t colour, bool round_caps);
// Transparent background; DrawTextW with `flags` plus DT_NOPREFIX.
void draw_text(HDC dc, std::wstring_view text, Rect r, HFONT font, std::uint32_t colour,
               UINT flags);
int text_width(HDC dc, std::wstring_view text, HFONT font);
// A glyph of the icon font; nothing when the window has no glyph font.
void draw_glyph(HDC dc, const FontSet& fonts, FontRole role, char16_t glyph, Rect r,
                std::uint32_t colour, UINT flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE);
void draw_switch(HDC dc, Rect area, bool on, std::uint32_t off_track, int dpi);

// ---- owner-drawn buttons ------------------------------------------------------------------
// The owner-drawn button under the mouse on this thread, or null.
HWND hovered_control();
ButtonState button_state(const DRAWITEMSTRUCT& d);

struct ButtonFace {
    HDC dc;
    Rect r;
    ButtonState state;
    const FontSet& fonts;
    std::uint32_t behind;  // colour of what lies behind the button
};
ButtonFace button_face(const DRAWITEMSTRUCT& d, const FontSet& fonts, std::uint32_t behind);

void accent_button(const ButtonFace& b, std::wstring_view caption, std::wstring_view subtitle = {});
void plain_button(const ButtonFace& b, std::wstring_view caption);
// `align` is DT_LEFT, DT_CENTER or DT_RIGHT.
void link_button(const ButtonFace& b, std::wstring_view caption, UINT align = DT_LEFT);
void choice_button(const ButtonFace& b, std::wstring_view caption, bool chosen);
// The keyboard focus rectangle (ODS_FOCUS), inset so it stays inside rounded corners.
void focus_rect(const DRAWITEMSTRUCT& d, int inset);

// Sets a control's window text when it differs, so screen readers name it by its caption
// ("&" doubled, so it never acts as a mnemonic).
void set_caption(HWND control, std::wstring_view caption);
std::wstring window_text(HWND control);

// The subclass procedure of every owner-drawn button: hand cursor, no erase, hover
// tracking; Enter clicks like Space.
LRESULT CALLBACK button_hover_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                   DWORD_PTR data);

// A child "BUTTON", owner-drawn, tab stop, 10 x 10 at (0, 0), subclassed for hover.
HWND create_owner_button(HWND parent, int id);

// RegisterClassExW with the program icon (large and small), the arrow cursor, no
// background brush and no menu. The icons live as long as the process.
bool register_window_class(const wchar_t* name, WNDPROC proc, UINT style);

}  // namespace tess::ui

namespace tess {

// WM_PAINT through a back buffer the window keeps: made at the client's size on the first
// paint after a resize, `draw` paints into it clipped to what needs painting, and only
// that part is copied to the screen. A window that shrinks or grows calls resize().
class PaintBuffer {
public:
    void resize() { bitmap_.reset(); }
    void paint(HWND window, const std::function<void(HDC, int width, int height)>& draw);

private:
    win::unique_gdiobj bitmap_;
    int width_ = 0;
    int height_ = 0;
};

// A font for a list view's custom-drawn item (CDRF_NEWFONT): the control restores its own.
void select_item_font(HDC dc, HFONT font);

// WM_PAINT of a small pop-up: `paint` draws the whole client area into a memory bitmap,
// which is then copied in one go, so nothing flickers.
void paint_buffered(HWND window, int width, int height, const std::function<void(HDC)>& paint);
// A 1-pixel border around `r`.
void frame_rect(HDC dc, const RECT& r, std::uint32_t rgb);

// The icon font's close (U+E711) and check-mark (U+E73E) glyphs centred in `r`, drawn as
// strokes where the font is missing (before Windows 10, and under Wine).
void draw_close_mark(HDC dc, const ui::FontSet& fonts, ui::Rect r, std::uint32_t rgb);
void draw_check_mark(HDC dc, const ui::FontSet& fonts, ui::Rect r, std::uint32_t rgb);

}  // namespace tess
