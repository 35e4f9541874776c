#include "gui/paint_win.hpp"

#include "gui/a11y_win.hpp"

// GDI+ needs the COM declarations first.
#include <objidl.h>

#include <gdiplus.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "gui/icon.hpp"
#include "gui/icon_win.hpp"

namespace tess::ui {

namespace gp = Gdiplus::DllExports;

namespace {

using unique_graphics = win::unique_any<Gdiplus::GpGraphics*, &gp::GdipDeleteGraphics>;
using unique_path = win::unique_any<Gdiplus::GpPath*, &gp::GdipDeletePath>;
using unique_brush = win::unique_any<Gdiplus::GpBrush*, &gp::GdipDeleteBrush>;
using unique_pen = win::unique_any<Gdiplus::GpPen*, &gp::GdipDeletePen>;

bool g_gdiplus = false;

Gdiplus::ARGB argb(std::uint32_t rgb) {
    return 0xFF000000u | rgb;
}

// A graphics object on the DC with anti-aliasing, created and deleted per drawing.
unique_graphics graphics(HDC dc) {
    unique_graphics g;
    if (!g_gdiplus || gp::GdipCreateFromHDC(dc, g.put()) != Gdiplus::Ok) return {};
    gp::GdipSetSmoothingMode(g.get(), Gdiplus::SmoothingModeAntiAlias);
    return g;
}

thread_local HWND t_hovered = nullptr;

// Before GDI+ runs (a window's first frame) the shapes come from plain GDI: the same
// geometry without anti-aliasing, so nothing moves when GDI+ paints them again. GDI+ fills
// the pixels whose centres lie inside a shape, so its shapes start a pixel further in than
// GDI's, whose rectangles take their left and top pixels.
void gdi_round_rect(HDC dc, Rect r, int radius, std::uint32_t fill,
                    std::optional<std::uint32_t> border) {
    const win::unique_hbrush brush(::CreateSolidBrush(to_colorref(fill)));
    const win::unique_hpen pen(::CreatePen(PS_SOLID, 1, to_colorref(border.value_or(fill))));
    const win::Selected b(dc, brush.get()), p(dc, pen.get());
    const int d = static_cast<int>(round_rect_path(r, radius).d);
    ::RoundRect(dc, r.left + 1, r.top + 1, r.right, r.bottom, d, d);
}

void gdi_circle(HDC dc, int cx, int cy, int radius, std::uint32_t colour) {
    const win::unique_hbrush brush(::CreateSolidBrush(to_colorref(colour)));
    const win::unique_hpen pen(::CreatePen(PS_SOLID, 1, to_colorref(colour)));
    const win::Selected b(dc, brush.get()), p(dc, pen.get());
    ::Ellipse(dc, cx - radius + 1, cy - radius + 1, cx + radius + 1, cy + radius + 1);
}

void gdi_arc(HDC dc, int cx, int cy, int radius, float start, float sweep, int stroke,
             std::uint32_t colour, bool round_caps) {
    LOGBRUSH lb{BS_SOLID, to_colorref(colour), 0};
    const DWORD style =
        PS_GEOMETRIC | PS_SOLID | (round_caps ? PS_ENDCAP_ROUND : PS_ENDCAP_FLAT) | PS_JOIN_ROUND;
    const win::unique_hpen pen(
        ::ExtCreatePen(style, static_cast<DWORD>(std::max(1, stroke)), &lb, 0, nullptr));
    const win::Selected p(dc, pen.get());
    const int previous = ::SetArcDirection(dc, AD_CLOCKWISE);
    constexpr double kRadians = 3.14159265358979323846 / 180.0;
    const double a0 = start * kRadians, a1 = (start + std::min(sweep, 360.0f)) * kRadians;
    const auto at = [&](double a, bool y) {
        return static_cast<int>(
            std::lround(y ? cy + radius * std::sin(a) : cx + radius * std::cos(a)));
    };
    ::Arc(dc, cx - radius, cy - radius, cx + radius, cy + radius, at(a0, false), at(a0, true),
          at(a1, false), at(a1, true));
    ::SetArcDirection(dc, previous);
}

}  // namespace

COLORREF to_colorref(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

RECT to_rect(Rect r) {
    return {r.left, r.top, r.right, r.bottom};
}

Rect from_rect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

bool start_gdiplus() {
    static std::once_flag once;
    std::call_once(once, [] {
        Gdiplus::GdiplusStartupInput input;  // version 1
        ULONG_PTR token = 0;
        g_gdiplus = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    });
    return g_gdiplus;
}

// ---- fonts ---------------------------------------------------------------------------

namespace {
int CALLBACK font_found(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}
}  // namespace

std::wstring find_glyph_face() {
    win::unique_hdc dc(::CreateCompatibleDC(nullptr));
    if (!dc) return {};
    for (std::string_view face : kGlyphFaces) {
        LOGFONTW lf{};
        lf.lfCharSet = DEFAULT_CHARSET;
        const std::wstring wide = win::widen(face);
        wcsncpy_s(lf.lfFaceName, wide.c_str(), _TRUNCATE);
        bool found = false;
        ::EnumFontFamiliesExW(dc.get(), &lf, font_found, reinterpret_cast<LPARAM>(&found), 0);
        if (found) return wide;
    }
    return {};
}

FontSet create_fonts(int dpi, const std::wstring& glyph_face) {
    FontSet set;
    set.dpi = dpi;
    const std::wstring text_face = win::widen(kTextFace);
    for (int i = 0; i < kFontRoles; ++i) {
        const FontSpec spec = font_spec(static_cast<FontRole>(i));
        if (spec.icon_face && glyph_face.empty()) continue;
        const std::wstring& face = spec.icon_face ? glyph_face : text_face;
        set.fonts[i].reset(::CreateFontW(font_height(spec.points, dpi), 0, 0, 0, spec.weight, 0, 0,
                                         0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY, 0,
                                         face.c_str()));
    }
    return set;
}

// ---- primitives ------------------------------------------------------------------------

void fill_rect(HDC dc, Rect r, std::uint32_t colour) {
    if (r.empty()) return;
    const win::unique_hbrush brush(::CreateSolidBrush(to_colorref(colour)));
    const RECT rc = to_rect(r);
    ::FillRect(dc, &rc, brush.get());
}

void rounded_rect(HDC dc, Rect r, int radius, std::uint32_t fill,
                  std::optional<std::uint32_t> border) {
    if (r.width() < 1 || r.height() < 1) return;
    const unique_graphics g = graphics(dc);
    if (!g) {
        gdi_round_rect(dc, r, radius, fill, border);
        return;
    }
    const RoundRectPath p = round_rect_path(r, radius);
    unique_path path;
    if (gp::GdipCreatePath(Gdiplus::FillModeAlternate, path.put()) != Gdiplus::Ok) return;
    gp::GdipAddPathArc(path.get(), p.x, p.y, p.d, p.d, 180, 90);
    gp::GdipAddPathArc(path.get(), p.x + p.w - p.d, p.y, p.d, p.d, 270, 90);
    gp::GdipAddPathArc(path.get(), p.x + p.w - p.d, p.y + p.h - p.d, p.d, p.d, 0, 90);
    gp::GdipAddPathArc(path.get(), p.x, p.y + p.h - p.d, p.d, p.d, 90, 90);
    gp::GdipClosePathFigure(path.get());
    unique_brush brush;
    if (gp::GdipCreateSolidFill(
            argb(fill), reinterpret_cast<Gdiplus::GpSolidFill**>(brush.put())) == Gdiplus::Ok)
        gp::GdipFillPath(g.get(), brush.get(), path.get());
    if (border) {
        unique_pen pen;
        if (gp::GdipCreatePen1(argb(*border), 1.0f, Gdiplus::UnitPixel, pen.put()) == Gdiplus::Ok)
            gp::GdipDrawPath(g.get(), pen.get(), path.get());
    }
}

void fill_circle(HDC dc, int cx, int cy, int radius, std::uint32_t colour) {
    if (radius <= 0) return;
    const unique_graphics g = graphics(dc);
    if (!g) {
        gdi_circle(dc, cx, cy, radius, colour);
        return;
    }
    unique_brush brush;
    if (gp::GdipCreateSolidFill(
            argb(colour), reinterpret_cast<Gdiplus::GpSolidFill**>(brush.put())) != Gdiplus::Ok)
        return;
    gp::GdipFillEllipseI(g.get(), brush.get(), cx - radius, cy - radius, 2 * radius, 2 * radius);
}

void draw_arc(HDC dc, int cx, int cy, int radius, float start, float sweep, int stroke,
              std::uint32_t colour, bool round_caps) {
    if (radius <= 0 || sweep <= 0) return;
    const unique_graphics g = graphics(dc);
    if (!g) {
        gdi_arc(dc, cx, cy, radius, start, sweep, stroke, colour, round_caps);
        return;
    }
    unique_pen pen;
    if (gp::GdipCreatePen1(argb(colour), static_cast<float>(stroke), Gdiplus::UnitPixel,
                           pen.put()) != Gdiplus::Ok)
        return;
    if (round_caps) {
        gp::GdipSetPenStartCap(pen.get(), Gdiplus::LineCapRound);
        gp::GdipSetPenEndCap(pen.get(), Gdiplus::LineCapRound);
    }
    gp::GdipDrawArcI(g.get(), pen.get(), cx - radius, cy - radius, 2 * radius, 2 * radius, start,
                     sweep);
}

void draw_text(HDC dc, std::wstring_view text, Rect r, HFONT font, std::uint32_t colour,
               UINT flags) {
    if (text.empty() || r.empty()) return;
    const win::Selected selected(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, to_colorref(colour));
    RECT rc = to_rect(r);
    // DT_MODIFYSTRING is never passed, so DrawTextW does not write to the text.
    ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rc, flags | DT_NOPREFIX);
}

int text_width(HDC dc, std::wstring_view text, HFONT font) {
    const win::Selected selected(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void draw_glyph(HDC dc, const FontSet& fonts, FontRole role, char16_t glyph, Rect r,
                std::uint32_t colour, UINT flags) {
    const HFONT font = fonts.get(role);
    if (!font) return;
    const wchar_t text[1] = {static_cast<wchar_t>(glyph)};
    draw_text(dc, std::wstring_view(text, 1), r, font, colour, flags);
}

void draw_switch(HDC dc, Rect area, bool on, std::uint32_t off_track, int dpi) {
    const SwitchGeometry g = switch_geometry(area, on, dpi);
    rounded_rect(dc, g.track, g.track_radius, on ? colour::kAccent : off_track);
    fill_circle(dc, g.knob_x, g.knob_y, g.knob_radius, colour::kWhite);
}

// ---- owner-drawn buttons ------------------------------------------------------------------

HWND hovered_control() {
    return t_hovered;
}

ButtonState button_state(const DRAWITEMSTRUCT& d) {
    ButtonState s;
    s.pressed = (d.itemState & ODS_SELECTED) != 0;
    s.disabled = (d.itemState & ODS_DISABLED) != 0;
    s.hovered = d.hwndItem && d.hwndItem == t_hovered;
    return s;
}

ButtonFace button_face(const DRAWITEMSTRUCT& d, const FontSet& fonts, std::uint32_t behind) {
    return {d.hDC, from_rect(d.rcItem), button_state(d), fonts, behind};
}

namespace {
void centred_caption(const ButtonFace& b, std::wstring_view caption, Rect band, FontRole role,
                     std::uint32_t colour) {
    const HFONT font = b.fonts.get(role);
    const int inset = scale(8, b.fonts.dpi);
    const int w = text_width(b.dc, caption, font);
    const Rect r{centred_left(band.left, band.right, w, inset), band.top, band.right - inset,
                 band.bottom};
    draw_text(b.dc, caption, r, font, colour,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}
}  // namespace

void accent_button(const ButtonFace& b, std::wstring_view caption, std::wstring_view subtitle) {
    fill_rect(b.dc, b.r, b.behind);
    const ButtonColours c = accent_colours(b.state);
    rounded_rect(b.dc, b.r, scale(8, b.fonts.dpi), c.fill);
    const AccentBands bands = accent_bands(b.r, !subtitle.empty(), b.fonts.dpi);
    centred_caption(b, caption, bands.caption, bands.caption_font, c.text);
    if (bands.two_lines) centred_caption(b, subtitle, bands.subtitle, FontRole::Small, c.subtitle);
}

void plain_button(const ButtonFace& b, std::wstring_view caption) {
    fill_rect(b.dc, b.r, b.behind);
    const ButtonColours c = plain_colours(b.state);
    rounded_rect(b.dc, b.r, scale(8, b.fonts.dpi), c.fill, c.border);
    centred_caption(b, caption, b.r, c.font, c.text);
}

void link_button(const ButtonFace& b, std::wstring_view caption, UINT align) {
    fill_rect(b.dc, b.r, b.behind);
    const ButtonColours c = link_colours(b.state);
    draw_text(b.dc, caption, b.r, b.fonts.get(c.font), c.text,
              align | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

void choice_button(const ButtonFace& b, std::wstring_view caption, bool chosen) {
    fill_rect(b.dc, b.r, b.behind);
    const ButtonColours c = choice_colours(chosen, b.state);
    rounded_rect(b.dc, b.r, scale(8, b.fonts.dpi), c.fill, c.border);
    centred_caption(b, caption, b.r, c.font, c.text);
}

void focus_rect(const DRAWITEMSTRUCT& d, int inset) {
    if (!(d.itemState & ODS_FOCUS) || (d.itemState & ODS_NOFOCUSRECT)) return;
    RECT r = d.rcItem;
    ::InflateRect(&r, -inset, -inset);
    ::SetTextColor(d.hDC, RGB(0, 0, 0));
    ::SetBkColor(d.hDC, RGB(255, 255, 255));
    ::DrawFocusRect(d.hDC, &r);
}

std::wstring window_text(HWND control) {
    const int n = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), n + 1)));
    return text;
}

void set_caption(HWND control, std::wstring_view caption) {
    // Button texts are read with "&" as a mnemonic prefix: "Autopilot & Focus" would make
    // a typed space press that button. Doubled, it is a plain "&" to screen readers too.
    std::wstring text;
    for (wchar_t c : caption) {
        text += c;
        if (c == L'&') text += L'&';
    }
    if (!control || window_text(control) == text) return;
    ::SetWindowTextW(control, text.c_str());
}

LRESULT CALLBACK button_hover_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (LRESULT answered = 0; toggle_message(hwnd, msg, wp, lp, answered)) return answered;
    switch (msg) {
        case WM_SETCURSOR:
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEMOVE:
            if (t_hovered != hwnd) {
                const HWND previous = t_hovered;
                t_hovered = hwnd;
                if (previous) ::InvalidateRect(previous, nullptr, FALSE);
                ::InvalidateRect(hwnd, nullptr, FALSE);
                TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd, 0};
                ::TrackMouseEvent(&tme);
            }
            break;
        case WM_MOUSELEAVE:
            if (t_hovered == hwnd) {
                t_hovered = nullptr;
                ::InvalidateRect(hwnd, nullptr, FALSE);
            }
            break;
        case WM_GETDLGCODE:
            // Let Enter reach the focused button (the dialog manager would eat it).
            if (lp && reinterpret_cast<const MSG*>(lp)->message == WM_KEYDOWN &&
                reinterpret_cast<const MSG*>(lp)->wParam == VK_RETURN)
                return ::DefSubclassProc(hwnd, msg, wp, lp) | DLGC_WANTMESSAGE;
            break;
        case WM_KEYDOWN:
            if (wp == VK_RETURN) {
                ::SendMessageW(hwnd, BM_CLICK, 0, 0);
                return 0;
            }
            break;
        case WM_DESTROY:
            if (t_hovered == hwnd) t_hovered = nullptr;
            break;
        default:
            break;
    }
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

HWND create_owner_button(HWND parent, int id) {
    const HWND button = ::CreateWindowExW(
        0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 10, 10, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (button) ::SetWindowSubclass(button, button_hover_proc, 0, 0);
    return button;
}

bool animations_on() {
    BOOL on = TRUE;
    if (!::SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &on, 0)) return true;
    return on != FALSE;
}

int window_dpi(HWND window) {
    const UINT dpi = window ? ::GetDpiForWindow(window) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : 96;
}

int monitor_dpi(HMONITOR monitor) {
    // shcore's GetDpiForMonitor, looked up at run time: no import library needed for it.
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto get = [] {
        const HMODULE shcore =
            ::LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                            reinterpret_cast<void*>(::GetProcAddress(shcore, "GetDpiForMonitor")))
                      : nullptr;
    }();
    UINT x = 0, y = 0;
    if (monitor && get && SUCCEEDED(get(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && x > 0)
        return static_cast<int>(x);
    const UINT system = ::GetDpiForSystem();
    return system > 0 ? static_cast<int>(system) : 96;
}

HMONITOR tray_monitor() {
    const HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
    return taskbar ? ::MonitorFromWindow(taskbar, MONITOR_DEFAULTTONULL) : nullptr;
}

int changed_dpi(WPARAM wp) {
    const int dpi = LOWORD(wp);
    return dpi > 0 ? dpi : 96;
}

void take_suggested_rect(HWND window, LPARAM lp) {
    const auto* r = reinterpret_cast<const RECT*>(lp);
    if (!r) return;
    ::SetWindowPos(window, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void follow_own_dpi(HWND window, int assumed) {
    const int own = window_dpi(window);
    RECT r{};
    if (own == assumed || assumed <= 0 || !::GetWindowRect(window, &r)) return;
    RECT to{r.left, r.top, r.left + ::MulDiv(r.right - r.left, own, assumed),
            r.top + ::MulDiv(r.bottom - r.top, own, assumed)};
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(own, own), reinterpret_cast<LPARAM>(&to));
}

bool register_window_class(const wchar_t* name, WNDPROC proc, UINT style) {
    // Class icons must outlive every window of the class: kept for the process.
    static const Icon large = load_icon(nullptr, kAppIcon, system_icon_size(false));
    static const Icon small = load_icon(nullptr, kAppIcon, system_icon_size(true));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hIcon = large.get();
    wc.hIconSm = small.get();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace tess::ui

namespace tess {

void PaintBuffer::paint(HWND window, const std::function<void(HDC, int, int)>& draw) {
    const win::PaintDC dc(window);
    if (!dc) return;
    RECT client{};
    ::GetClientRect(window, &client);
    const int cw = std::max<int>(1, client.right), ch = std::max<int>(1, client.bottom);
    bool fresh = false;
    if (!bitmap_ || cw != width_ || ch != height_) {
        bitmap_.reset(::CreateCompatibleBitmap(dc.get(), cw, ch));
        width_ = cw;
        height_ = ch;
        fresh = true;  // it holds nothing yet: all of it is drawn
    }
    const win::unique_hdc mem(::CreateCompatibleDC(dc.get()));
    if (!mem || !bitmap_) {
        draw(dc.get(), cw, ch);
        return;
    }
    const win::Selected selected(mem.get(), bitmap_.get());
    const RECT& dirty = dc.area();
    const int saved = ::SaveDC(mem.get());
    if (!fresh) ::IntersectClipRect(mem.get(), dirty.left, dirty.top, dirty.right, dirty.bottom);
    draw(mem.get(), cw, ch);
    ::RestoreDC(mem.get(), saved);
    ::BitBlt(dc.get(), dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top,
             mem.get(), dirty.left, dirty.top, SRCCOPY);
}

void select_item_font(HDC dc, HFONT font) {
    ::SelectObject(dc, font);
}

void paint_buffered(HWND window, int width, int height, const std::function<void(HDC)>& paint) {
    const win::PaintDC dc(window);
    if (!dc) return;
    const win::unique_hdc memory(::CreateCompatibleDC(dc.get()));
    const win::unique_hbitmap bitmap(::CreateCompatibleBitmap(dc.get(), width, height));
    if (!memory || !bitmap) return;
    const win::Selected selected(memory.get(), bitmap.get());
    paint(memory.get());
    ::BitBlt(dc.get(), 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
}

void frame_rect(HDC dc, const RECT& r, std::uint32_t rgb) {
    const win::unique_hbrush brush(::CreateSolidBrush(ui::to_colorref(rgb)));
    ::FrameRect(dc, &r, brush.get());
}

namespace {

void stroke(HDC dc, const POINT* points, int count, std::uint32_t rgb, int width) {
    LOGBRUSH brush{BS_SOLID, ui::to_colorref(rgb), 0};
    const win::unique_hpen pen(
        ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                       static_cast<DWORD>(width), &brush, 0, nullptr));
    if (!pen) return;
    const win::Selected selected(dc, pen.get());
    ::Polyline(dc, points, count);
}

// The stroke fallbacks scale with the box they are drawn in, as the glyph would.
int mark_box(const ui::Rect& r) {
    return std::min(r.width(), r.height());
}

}  // namespace

void draw_close_mark(HDC dc, const ui::FontSet& fonts, ui::Rect r, std::uint32_t rgb) {
    if (fonts.get(ui::FontRole::Icons)) {
        ui::draw_glyph(dc, fonts, ui::FontRole::Icons, u'\uE711', r, rgb);
        return;
    }
    const int box = mark_box(r);
    const int cx = r.left + r.width() / 2;
    const int cy = r.top + r.height() / 2;
    const int h = box * 5 / 34;  // a 10-pixel cross in the 34-pixel button at 96 DPI
    const POINT down[2] = {{cx - h, cy - h}, {cx + h, cy + h}};
    const POINT up[2] = {{cx - h, cy + h}, {cx + h, cy - h}};
    stroke(dc, down, 2, rgb, std::max(1, box / 24));
    stroke(dc, up, 2, rgb, std::max(1, box / 24));
}

void draw_check_mark(HDC dc, const ui::FontSet& fonts, ui::Rect r, std::uint32_t rgb) {
    if (fonts.get(ui::FontRole::Icons)) {
        ui::draw_glyph(dc, fonts, ui::FontRole::Icons, u'\uE73E', r, rgb);
        return;
    }
    const int box = mark_box(r);
    const int cx = r.left + r.width() / 2;
    const int cy = r.top + r.height() / 2;
    const auto at = [&](int x, int y) { return POINT{cx + x * box / 28, cy + y * box / 28}; };
    const POINT tick[3] = {at(-8, 0), at(-3, 5), at(8, -6)};
    stroke(dc, tick, 3, rgb, std::max(2, box / 10));
}

}  // namespace tess
