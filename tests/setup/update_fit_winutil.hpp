// Whether an update window shows the whole of its failure text, read from a picture of it:
// the text's red ink must end clear of the window's bottom edge and be as tall as the whole
// text wrapped in its box, measured here with the window's own font. A text cut off at the
// edge fails the first; one whose last lines fall outside the window fails the second.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/win.hpp"
#include "gui/paint_win.hpp"
#include "setup/update_window.hpp"
#include "support/uidriver.hpp"

namespace tess::test {

inline ::testing::AssertionResult failure_text_fits(uidriver::Window window,
                                                    const std::string& error, int dpi) {
    uidriver::settle(window);
    const auto image = uidriver::capture(window);
    if (!image) return ::testing::AssertionFailure() << "no picture: " << image.error();
    const auto red = [](std::uint32_t c) {
        const int r = static_cast<int>(c >> 16), g = static_cast<int>((c >> 8) & 0xFF),
                  b = static_cast<int>(c & 0xFF);
        return r >= 0xA0 && r - g >= 0x50 && r - b >= 0x50;
    };
    const auto ink = uidriver::ink_bounds(*image, red);
    if (!ink) return ::testing::AssertionFailure() << "no failure text drawn";

    // The text's box: 24 from the left, 24 + 110 (the "Close" button) from the right.
    const std::wstring text = win::widen(ui::update_failure_text(error, true));
    RECT box{0, 0, image->width - ui::scale(24 + 24 + 110, dpi), 0};
    const ui::FontSet fonts = ui::create_fonts(dpi, ui::find_glyph_face());
    const HDC dc = ::GetDC(nullptr);
    const HGDIOBJ old = ::SelectObject(dc, fonts.get(ui::FontRole::Body));
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    const int whole = box.bottom - box.top, line = tm.tmHeight;

    const int margin = image->height - ink->bottom;
    if (margin < ui::scale(12, dpi))
        return ::testing::AssertionFailure()
               << "the text reaches " << margin << " px from the bottom edge of a " << image->height
               << " px client area";
    if (ink->height() <= whole - line)
        return ::testing::AssertionFailure()
               << "only " << ink->height() << " px of " << whole << " px of text show";
    return ::testing::AssertionSuccess() << whole / (line > 0 ? line : 1) << " lines";
}

}  // namespace tess::test
