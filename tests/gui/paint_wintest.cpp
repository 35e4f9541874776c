#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "gui/icon.hpp"
#include "gui/icon_win.hpp"
#include "gui/paint_win.hpp"
#include "support/winutil.hpp"

namespace tess::ui {
namespace {

// A 32-bit top-down DIB section to paint into and read back.
struct Canvas {
    win::unique_hdc dc{::CreateCompatibleDC(nullptr)};
    win::unique_hbitmap bitmap;
    std::uint32_t* bits = nullptr;
    int w, h;
    Canvas(int width, int height, std::uint32_t background) : w(width), h(height) {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB};
        void* p = nullptr;
        bitmap.reset(::CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &p, nullptr, 0));
        bits = static_cast<std::uint32_t*>(p);
        ::SelectObject(dc.get(), bitmap.get());
        fill_rect(dc.get(), {0, 0, w, h}, background);
        ::GdiFlush();
    }
    std::uint32_t at(int x, int y) {
        ::GdiFlush();
        return bits[static_cast<std::size_t>(y) * w + x] & 0xFFFFFF;
    }
};

struct IconPixels {
    int size = 0;
    int bpp = 0;
    std::vector<std::uint32_t> argb;
};
IconPixels icon_pixels(HICON icon) {
    IconPixels out;
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return out;
    const win::unique_hbitmap colour(info.hbmColor), mask(info.hbmMask);
    BITMAP bm{};
    ::GetObjectW(info.hbmColor, sizeof bm, &bm);
    out.size = bm.bmWidth;
    out.bpp = bm.bmBitsPixel;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, -bm.bmHeight, 1, 32, BI_RGB};
    out.argb.resize(static_cast<std::size_t>(bm.bmWidth) * bm.bmHeight);
    const win::unique_hdc dc(::CreateCompatibleDC(nullptr));
    ::GetDIBits(dc.get(), info.hbmColor, 0, bm.bmHeight, out.argb.data(), &bi, DIB_RGB_COLORS);
    return out;
}

TEST(PaintWin, DrawnIconClampsAndColours) {
    const struct {
        int level, requested, size;
        std::uint32_t centre;
    } cases[] = {{0, 8, 16, 0xFF22C55E}, {2, 256, 64, 0xFFEF4444}, {1, 32, 32, 0xFFF59E0B}};
    for (const auto& c : cases) {
        const Icon icon = drawn_icon(c.level, c.requested);
        ASSERT_TRUE(icon) << c.requested;
        const IconPixels px = icon_pixels(icon.get());
        EXPECT_EQ(px.size, c.size);
        EXPECT_EQ(px.argb[static_cast<std::size_t>(c.size / 2) * c.size + c.size / 2], c.centre);
        EXPECT_EQ(px.argb[0] >> 24, 0u);  // the corner is transparent
    }
}

TEST(PaintWin, IconResourcesAndFallback) {
    // This test program has no icon resources: every load falls back to the drawn disc.
    const Icon fallback = load_icon(nullptr, kAppIcon, 256);
    ASSERT_TRUE(fallback);
    EXPECT_EQ(icon_pixels(fallback.get()).size, 64);
    const Icon red = load_icon(nullptr, level_icon(2), 16);
    EXPECT_EQ(icon_pixels(red.get()).argb[8 * 16 + 8], 0xFFEF4444u);

    // Tessavo.exe carries the real ones, 32-bit with alpha, at each listed size.
    const win::unique_hmodule exe(
        ::LoadLibraryExW(win::widen(test::built_exe("Tessavo.exe")).c_str(), nullptr,
                         LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(exe);
    const struct {
        int resource, size;
    } cases[] = {{1, 16}, {1, 32}, {1, 48}, {1, 256}, {2, 16}, {3, 32}, {4, 48}};
    for (const auto& c : cases) {
        const HICON h = static_cast<HICON>(
            ::LoadImageW(exe.get(), MAKEINTRESOURCEW(c.resource), IMAGE_ICON, c.size, c.size, 0));
        ASSERT_NE(h, nullptr) << c.resource << " at " << c.size;
        const Icon icon(h);
        const IconPixels px = icon_pixels(icon.get());
        EXPECT_EQ(px.size, c.size);
        EXPECT_EQ(px.argb[0] >> 24, 0u) << "rounded corner is transparent";
        const std::uint32_t mid =
            px.argb[static_cast<std::size_t>(c.size / 2) * c.size + c.size / 4];
        EXPECT_EQ(mid >> 24, 0xFFu) << "the face is opaque";
    }
    // The level icons differ from each other by their dot.
    const Icon normal = load_icon(exe.get(), 2, 32), critical = load_icon(exe.get(), 4, 32);
    const auto dot = [](const Icon& i) {
        const IconPixels px = icon_pixels(i.get());
        return px.argb[static_cast<std::size_t>(25) * 32 + 25] & 0xFFFFFF;
    };
    EXPECT_NE(dot(normal), dot(critical));
}

TEST(PaintWin, FontsWithoutGlyphFace) {
    ASSERT_TRUE(start_gdiplus());
    const FontSet fonts = create_fonts(144, L"");
    EXPECT_FALSE(fonts.has_glyphs());
    LOGFONTW lf{};
    ASSERT_TRUE(::GetObjectW(fonts.get(FontRole::Body), sizeof lf, &lf));
    EXPECT_EQ(lf.lfHeight, -20);
    EXPECT_EQ(lf.lfWeight, 400);
    ::GetObjectW(fonts.get(FontRole::Title), sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, -44);
    EXPECT_EQ(lf.lfWeight, 700);
    EXPECT_STREQ(lf.lfFaceName, L"Segoe UI");
    // No glyph font: a glyph draws nothing at all (no empty box).
    Canvas c(40, 40, colour::kContent);
    draw_glyph(c.dc.get(), fonts, FontRole::Icons, u'\xE721', {0, 0, 40, 40}, colour::kInk);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(c.at(x, y), colour::kContent);
    // With a face, the icon roles exist.
    EXPECT_TRUE(create_fonts(96, L"Segoe MDL2 Assets").has_glyphs());
}

TEST(PaintWin, ShapesLandWhereTheGeometrySays) {
    ASSERT_TRUE(start_gdiplus());
    Canvas c(120, 60, colour::kContent);
    rounded_rect(c.dc.get(), {10, 10, 110, 50}, 8, colour::kWhite, colour::kBorder);
    EXPECT_EQ(c.at(60, 30), colour::kWhite);
    // The 1-pixel border on the top edge (GDI+ implementations differ by one row).
    EXPECT_TRUE(c.at(60, 10) == colour::kBorder || c.at(60, 11) == colour::kBorder);
    EXPECT_EQ(c.at(10, 10), colour::kContent);  // the rounded corner leaves the background
    EXPECT_EQ(c.at(5, 30), colour::kContent);   // nothing outside
    // Smaller than twice the radius: still drawn, as a pill.
    rounded_rect(c.dc.get(), {0, 0, 30, 6}, 10, colour::kAccent);
    EXPECT_EQ(c.at(15, 3), colour::kAccent);

    Canvas s(100, 40, colour::kInk);
    draw_switch(s.dc.get(), {0, 0, 100, 40}, true, colour::kTrackOffDark, 96);
    const SwitchGeometry on = switch_geometry({0, 0, 100, 40}, true, 96);
    EXPECT_EQ(s.at(on.knob_x, on.knob_y), colour::kWhite);
    EXPECT_EQ(s.at(on.track.left + 6, on.knob_y), colour::kAccent);
    EXPECT_EQ(s.at(10, 20), colour::kInk);
    draw_switch(s.dc.get(), {0, 0, 100, 40}, false, colour::kTrackOffDark, 96);
    EXPECT_EQ(s.at(on.knob_x, on.knob_y), colour::kTrackOffDark);
}

struct Parent {
    HWND hwnd = nullptr;
    static inline int last_command = 0;
    static LRESULT CALLBACK proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
        if (m == WM_COMMAND) last_command = LOWORD(wp);
        return ::DefWindowProcW(h, m, wp, lp);
    }
    Parent() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TessPaintTestParent";
        ::RegisterClassW(&wc);
        hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                                 nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~Parent() { ::DestroyWindow(hwnd); }
};

TEST(PaintWin, OwnerButtonHoverCursorAndKeys) {
    Parent parent;
    ASSERT_TRUE(parent.hwnd);
    const HWND a = create_owner_button(parent.hwnd, 42);
    const HWND b = create_owner_button(parent.hwnd, 43);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(::GetDlgCtrlID(a), 42);
    EXPECT_TRUE(::GetWindowLongW(a, GWL_STYLE) & WS_TABSTOP);
    EXPECT_EQ(::GetWindowLongW(a, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    RECT r{};
    ::GetWindowRect(a, &r);
    EXPECT_EQ(r.right - r.left, 10);

    EXPECT_EQ(hovered_control(), nullptr);
    ::SendMessageW(a, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(hovered_control(), a);
    ::SendMessageW(b, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(hovered_control(), b);
    ::SendMessageW(a, WM_MOUSELEAVE, 0, 0);  // not the hovered one: nothing changes
    EXPECT_EQ(hovered_control(), b);
    ::SendMessageW(b, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(hovered_control(), nullptr);
    EXPECT_EQ(::SendMessageW(a, WM_SETCURSOR, reinterpret_cast<WPARAM>(a), HTCLIENT), TRUE);
    EXPECT_EQ(::SendMessageW(a, WM_ERASEBKGND, 0, 0), 1);

    Parent::last_command = 0;
    ::SendMessageW(b, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(Parent::last_command, 43);

    set_caption(a, L"Watch in tray: on");
    EXPECT_EQ(window_text(a), L"Watch in tray: on");
    set_caption(a, L"History & undo");
    EXPECT_EQ(window_text(a), L"History && undo");  // never a mnemonic
    ::SendMessageW(a, WM_MOUSEMOVE, 0, 0);
    ::DestroyWindow(a);
    EXPECT_EQ(hovered_control(), nullptr);  // a destroyed button is never left hovered
}

TEST(PaintWin, ButtonStylesPaint) {
    ASSERT_TRUE(start_gdiplus());
    const FontSet fonts = create_fonts(96, L"");
    Canvas c(200, 60, colour::kInk);
    DRAWITEMSTRUCT d{};
    d.hDC = c.dc.get();
    d.rcItem = {0, 0, 200, 60};
    d.itemState = ODS_DISABLED;
    accent_button(button_face(d, fonts, colour::kContent), L"Optimise now",
                  L"tick something first");
    EXPECT_EQ(c.at(100, 3), colour::kDisabled);
    EXPECT_EQ(c.at(0, 0), colour::kContent);  // the corner shows what lies behind
    d.itemState = 0;
    plain_button(button_face(d, fonts, colour::kContent), L"Rescan");
    EXPECT_EQ(c.at(100, 3), colour::kWhite);
    EXPECT_TRUE(c.at(100, 0) == colour::kBorder || c.at(100, 1) == colour::kBorder);
    d.itemState = ODS_SELECTED;
    choice_button(button_face(d, fonts, colour::kWhite), L"Every day", true);
    EXPECT_EQ(c.at(100, 3), colour::kChoiceSelected);
    EXPECT_TRUE(c.at(100, 0) == colour::kAccent || c.at(100, 1) == colour::kAccent);
}

TEST(PaintWin, WindowClassCarriesIcons) {
    const wchar_t* name = L"TessPaintTestClass";
    ASSERT_TRUE(register_window_class(name, ::DefWindowProcW, 0));
    EXPECT_TRUE(register_window_class(name, ::DefWindowProcW, 0));  // a second time is fine
    WNDCLASSEXW wc{sizeof wc};
    ASSERT_TRUE(::GetClassInfoExW(::GetModuleHandleW(nullptr), name, &wc));
    EXPECT_NE(wc.hIcon, nullptr);
    EXPECT_NE(wc.hIconSm, nullptr);
    EXPECT_EQ(wc.hbrBackground, nullptr);
    EXPECT_NE(wc.hCursor, nullptr);
}

}  // namespace
}  // namespace tess::ui
