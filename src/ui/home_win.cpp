// Home (page 0): the "Scan now" circle before any scan, and the progress screen of a scan
// or an Optimise run. The proposal and the result come with their own module.
#include "core/memory.hpp"
#include "scan/scan.hpp"
#include "ui/home_text.hpp"
#include "ui/ui_win.hpp"

namespace tess::ui {

namespace {

constexpr char16_t kScanGlyph = u'\xE721';
constexpr char16_t kDoneGlyph = u'\xE73E';
constexpr char16_t kCurrentGlyph = u'\xE895';
constexpr char16_t kPendingGlyph = u'\xEA3A';

constexpr std::string_view kScanSteps[4] = {"Memory and running programs", "Junk files",
                                            "Startup apps and services", "Health checks"};
constexpr std::string_view kOptimiseSteps[4] = {"Closing idle programs", "Cleaning junk files",
                                                "Startup apps and services",
                                                "Measuring the result"};

std::wstring w(std::string_view utf8) {
    return win::widen(utf8);
}

void paint_idle(UiState& s, HDC dc, const Frame& f) {
    const IdleLayout l = idle_layout(f);
    draw_text(dc, L"Make your PC faster in one click", l.title, s.fonts.get(FontRole::Title),
              colour::kInk, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_text(dc,
              L"Scan finds what slows your PC: memory hogs, junk files, apps that start by "
              L"themselves and health problems. Nothing changes until you press Optimise.",
              l.text, s.fonts.get(FontRole::Body), colour::kSecondary,
              DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS);
    MemoryStatus m;
    {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        m = shared.memory;
    }
    const Rect line = l.memory_line;
    rounded_rect(dc, line, f.s(20), colour::kWhite, colour::kBorder);
    fill_circle(dc, line.left + f.s(24), line.top + line.height() / 2, f.s(6),
                level_colour(report_level(m)));
    draw_text(dc, w(idle_memory_line(m)),
              {line.left + f.s(40), line.top, line.right - f.s(3), line.bottom},
              s.fonts.get(FontRole::SmallSemibold), colour::kInk,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

void paint_progress(UiState& s, HDC dc, const Frame& f) {
    const bool scanning = s.phase == HomePhase::Scanning;
    const ProgressLayout l = progress_layout(f);
    draw_text(dc, scanning ? L"Scanning your PC\u2026" : L"Optimising\u2026", l.title,
              s.fonts.get(FontRole::Title), colour::kInk,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_text(dc,
              scanning ? L"Looking at memory, junk files, startup apps and your PC's health."
                       : L"Hang on, this takes a few seconds. Windows may ask for admin "
                         L"approval once.",
              l.text, s.fonts.get(FontRole::Body), colour::kSecondary,
              DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS);
    const Rect a = l.ring_area;
    const int cx = a.left + a.width() / 2, cy = a.top + a.height() / 2;
    fill_rect(dc, a, colour::kContent);
    draw_arc(dc, cx, cy, l.ring_radius, 0, 360, l.stroke, colour::kBorder, false);
    draw_arc(dc, cx, cy, l.ring_radius, -90,
             static_cast<float>(progress_sweep_degrees(s.scan_step)), l.stroke, colour::kProgress,
             false);
    draw_arc(dc, cx, cy, l.ring_radius, s.spinner_angle, 70, l.stroke, colour::kAccent, true);
    draw_text(dc, w(progress_count_text(s.scan_step)), l.count, s.fonts.get(FontRole::Title),
              colour::kInk, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    draw_text(dc, L"steps", l.steps_word, s.fonts.get(FontRole::Small), colour::kSecondary,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    const auto& labels = scanning ? kScanSteps : kOptimiseSteps;
    for (int i = 0; i < 4; ++i) {
        const bool done = i < s.scan_step, current = i == s.scan_step;
        draw_glyph(dc, s.fonts, FontRole::Icons,
                   done      ? kDoneGlyph
                   : current ? kCurrentGlyph
                             : kPendingGlyph,
                   l.step_glyph[i],
                   done      ? colour::kSuccess
                   : current ? colour::kAccent
                             : colour::kDisabled);
        draw_text(dc, w(labels[i]), l.step_label[i],
                  s.fonts.get(current ? FontRole::BodySemibold : FontRole::Body),
                  done || current ? colour::kInk : colour::kSecondary,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
}

void paint(UiState& s, HDC dc, const Frame& f) {
    switch (s.phase) {
        case HomePhase::Idle:
            paint_idle(s, dc, f);
            break;
        case HomePhase::Scanning:
        case HomePhase::Optimising:
            paint_progress(s, dc, f);
            break;
        case HomePhase::Proposal:
        case HomePhase::Done:
            break;
    }
}

void layout(UiState& s, const Frame& f) {
    if (s.phase == HomePhase::Idle) place(s, id::kScanNow, idle_layout(f).circle);
}

bool command(UiState& s, int id) {
    if (id != id::kScanNow && id != id::kScanAgain) return false;
    set_page(s, Page::Home);
    start_scan(s, false);
    return true;
}

void draw_scan_circle(UiState& s, const DRAWITEMSTRUCT& d) {
    const Frame f = frame_of(s);
    const Rect r = from_rect(d.rcItem);
    const ButtonState st = button_state(d);
    fill_rect(d.hDC, r, colour::kContent);
    const std::uint32_t fill = st.pressed   ? colour::kAccentPressed
                               : st.hovered ? colour::kAccentHover
                                            : colour::kAccent;
    fill_circle(d.hDC, r.left + r.width() / 2, r.top + r.height() / 2, scan_circle_radius(f, r),
                fill);
    draw_glyph(d.hDC, s.fonts, FontRole::BigIcons, kScanGlyph, scan_circle_glyph(f, r),
               colour::kWhite);
    draw_text(d.hDC, L"Scan now", scan_circle_caption(f, r), s.fonts.get(FontRole::Title),
              colour::kWhite, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    draw_text(d.hDC, L"takes about 5 seconds", scan_circle_subtitle(f, r),
              s.fonts.get(FontRole::Small), colour::kAccentSubtitle,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    focus_rect(d, f.s(24));
}

bool draw_item(UiState& s, const DRAWITEMSTRUCT& d) {
    if (static_cast<int>(d.CtlID) != id::kScanNow) return false;
    draw_scan_circle(s, d);
    return true;
}

}  // namespace

const PageModule& home_module() {
    static const PageModule m{paint, layout, command, draw_item};
    return m;
}

}  // namespace tess::ui
