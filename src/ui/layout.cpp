#include "ui/layout.hpp"

#include <algorithm>

namespace tess::ui {

Rect sidebar_rect(const Frame& f) {
    return {0, 0, f.s(kSidebarWidth), f.h};
}

Rect page_button_rect(const Frame& f, int page) {
    const int top = f.s(100) + page * f.s(50);
    return {f.s(12), top, f.s(12) + f.s(kSidebarWidth - 24), top + f.s(44)};
}

Rect tray_card_rect(const Frame& f) {
    const int top = f.h - f.s(100);
    return {f.s(12), top, f.s(12) + f.s(212), top + f.s(80)};
}

Rect sidebar_icon_rect(const Frame& f) {
    const int n = f.dpi / 3;
    return {f.s(22), f.s(26), f.s(22) + n, f.s(26) + n};
}

Rect brand_rect(const Frame& f) {
    return {f.s(62), f.s(22), f.s(kSidebarWidth - 6), f.s(44)};
}

Rect tagline_rect(const Frame& f) {
    return {f.s(62), f.s(44), f.s(kSidebarWidth - 6), f.s(64)};
}

Rect page_bar_rect(const Frame& f, Rect b) {
    return {b.left, b.top + f.s(10), b.left + f.s(4), b.bottom - f.s(10)};
}

Rect page_glyph_rect(const Frame& f, Rect b) {
    return {b.left + f.s(16), b.top, b.left + f.s(44), b.bottom};
}

Rect page_title_rect(const Frame& f, Rect b) {
    return {b.left + f.s(48), b.top, b.right - f.s(8), b.bottom};
}

Rect tray_title_rect(const Frame& f, Rect c) {
    return {c.left + f.s(14), c.top + f.s(12), c.right - f.s(14 + 40 + 8), c.top + f.s(34)};
}

Rect tray_text_rect(const Frame& f, Rect c) {
    return {c.left + f.s(14), c.top + f.s(38), c.right - f.s(24), c.bottom - f.s(3)};
}

Rect tray_switch_rect(const Frame& f, Rect c) {
    return {c.left, c.top + f.s(14), c.right - f.s(14), c.top + f.s(36)};
}

Rect content_rect(const Frame& f) {
    return {f.s(264), f.s(28), f.w - f.s(28), f.h - f.s(28)};
}

PageLayout page_layout(const Frame& f, Page page) {
    const Rect c = content_rect(f);
    PageLayout l;
    l.rescan = {c.right - f.s(118), c.top + f.s(2), c.right, c.top + f.s(38)};
    l.memory_pill = {l.rescan.left - f.s(14 + 180), l.rescan.top, l.rescan.left - f.s(14),
                     l.rescan.bottom};
    l.title = {c.left, c.top, c.right - f.s(320), c.top + f.s(40)};
    l.select_all = {c.right - f.s(110), f.s(86), c.right, f.s(108)};
    const bool select = page == Page::Junk || page == Page::DevJunk;
    l.description = {c.left, c.top + f.s(42), select ? l.select_all.left - f.s(12) : c.right,
                     c.top + f.s(66)};
    if (page == Page::Autopilot) {
        // No "Rescan" here: the pill takes its place at the right edge.
        l.memory_pill = {c.right - f.s(180), l.rescan.top, c.right, l.rescan.bottom};
        l.status = {c.left, c.bottom - f.s(44), c.right, c.bottom};
    } else {
        l.action_bar = {c.left, c.bottom - f.s(46), c.right, c.bottom};
        l.action_button = {c.right - f.s(290), l.action_bar.top, c.right, l.action_bar.bottom};
        l.keep_button = {c.left, l.action_bar.top, c.right - f.s(300), l.action_bar.bottom};
        l.status = {c.left, c.bottom - f.s(96), c.right, c.bottom - f.s(54)};
    }
    const int top = f.s(112);
    l.list = {c.left, top, c.right, std::max(l.status.top - f.s(6), top + f.s(80))};
    return l;
}

IdleLayout idle_layout(const Frame& f) {
    const Rect c = content_rect(f);
    IdleLayout l;
    l.ring = std::clamp(f.h - f.s(470), f.s(150), f.s(220));
    const int u = std::max((f.h - f.s(302) - l.ring) / 2, f.s(28));
    l.title = {c.left, u, c.right, u + f.s(48)};
    l.text = {c.left + f.s(30), u + f.s(54), c.right - f.s(30), u + f.s(104)};
    const int cx = (c.left + c.right) / 2;
    l.circle = {cx - l.ring / 2, u + f.s(128), cx - l.ring / 2 + l.ring, u + f.s(128) + l.ring};
    l.memory_line = {cx - f.s(230), l.circle.bottom + f.s(24), cx + f.s(230),
                     l.circle.bottom + f.s(64)};
    return l;
}

namespace {
int centre_y(Rect r) {
    return r.top + r.height() / 2;
}
}  // namespace

Rect scan_circle_glyph(const Frame& f, Rect c) {
    return {c.left, centre_y(c) - f.s(66), c.right, centre_y(c) - f.s(18)};
}
Rect scan_circle_caption(const Frame& f, Rect c) {
    return {c.left, centre_y(c) - f.s(16), c.right, centre_y(c) + f.s(26)};
}
Rect scan_circle_subtitle(const Frame& f, Rect c) {
    return {c.left, centre_y(c) + f.s(26), c.right, centre_y(c) + f.s(48)};
}
int scan_circle_radius(const Frame& f, Rect c) {
    return std::max(1, c.width() / 2 - f.s(12));
}

ProgressLayout progress_layout(const Frame& f) {
    const IdleLayout idle = idle_layout(f);
    ProgressLayout l;
    l.title = idle.title;
    l.text = idle.text;
    l.ring_area = idle.circle;
    l.stroke = f.s(14);
    l.ring_radius = std::max(1, l.ring_area.width() / 2 - f.s(12));
    const int cy = centre_y(l.ring_area);
    l.count = {l.ring_area.left, cy - f.s(30), l.ring_area.right, cy + f.s(10)};
    l.steps_word = {l.ring_area.left, cy + f.s(10), l.ring_area.right, cy + f.s(32)};
    const int cx = (l.ring_area.left + l.ring_area.right) / 2;
    const int first = l.ring_area.bottom + f.s(14);
    for (int i = 0; i < 4; ++i) {
        const int top = first + i * f.s(30);
        l.step_glyph[i] = {cx - f.s(170), top, cx - f.s(170) + f.s(26), top + f.s(26)};
        l.step_label[i] = {cx - f.s(170) + f.s(32), top, cx + f.s(200), top + f.s(26)};
    }
    return l;
}

ProposalLayout proposal_layout(const Frame& f) {
    const Rect c = content_rect(f);
    ProposalLayout l;
    l.summary = {c.left, c.top, c.right, f.s(196)};
    const int mid = centre_y(l.summary);
    l.optimise = {l.summary.right - f.s(24 + 250), mid - f.s(38), l.summary.right - f.s(24),
                  mid + f.s(38)};
    const int rx = l.summary.left + f.s(84);
    l.ring_centre_box = {rx - f.s(54), mid - f.s(54), rx + f.s(54), mid + f.s(54)};
    l.ring_radius = f.s(54);
    l.ring_stroke = f.s(12);
    l.score = {l.ring_centre_box.left, mid - f.s(24), l.ring_centre_box.right, mid + f.s(12)};
    l.score_word = {l.ring_centre_box.left, mid + f.s(10), l.ring_centre_box.right, mid + f.s(30)};
    // The text runs from past the ring to "Optimise now", with a gap before each.
    const int text_left = l.ring_centre_box.right + f.s(24);
    const int text_right = std::max(text_left + f.s(40), l.optimise.left - f.s(16));
    l.headline = {text_left, l.summary.top + f.s(22), text_right, l.summary.top + f.s(58)};
    l.frees_line = {text_left, l.summary.top + f.s(62), text_right, l.summary.top + f.s(104)};
    l.memory_line = {text_left, l.summary.top + f.s(108), text_right, l.summary.top + f.s(150)};
    const int gap = f.s(14);
    const int w = (c.width() - 3 * gap) / 4;
    for (int i = 0; i < 4; ++i) {
        const int left = c.left + i * (w + gap);
        l.cards[i] = {left, f.s(212), i == 3 ? c.right : left + w, f.s(304)};
    }
    l.heading = {c.left, f.s(322), c.right - f.s(132), f.s(354)};
    l.rescan = {c.right - f.s(118), f.s(320), c.right, f.s(356)};
    l.status = {c.left, c.bottom - f.s(40), c.right, c.bottom};
    l.list = {c.left, f.s(362), c.right, std::max(l.status.top - f.s(6), f.s(444))};
    return l;
}

DoneLayout done_layout(const Frame& f) {
    const Rect c = content_rect(f);
    const IdleLayout idle = idle_layout(f);
    DoneLayout l;
    // The disc takes the measure of the "Scan now" circle it replaces.
    l.disc_radius = std::max(1, (idle.ring / 2 - f.s(20)) * 62 / 100);
    const int block = f.s(48) + f.s(6) + f.s(50) + f.s(16) + 2 * l.disc_radius + f.s(20) +
                      4 * f.s(24) + f.s(24) + f.s(48);
    const int top = std::max(c.top, c.top + (c.height() - block) / 2);
    const int cx = (c.left + c.right) / 2;
    l.title = {c.left, top, c.right, top + f.s(48)};
    l.score_line = {c.left + f.s(30), l.title.bottom + f.s(6), c.right - f.s(30),
                    l.title.bottom + f.s(56)};
    l.disc_x = cx;
    l.disc_y = l.score_line.bottom + f.s(16) + l.disc_radius;
    l.check = {cx - l.disc_radius, l.disc_y - l.disc_radius, cx + l.disc_radius,
               l.disc_y + l.disc_radius};
    const int lines_top = l.check.bottom + f.s(20);
    for (int i = 0; i < 4; ++i)
        l.lines[i] = {c.left + f.s(30), lines_top + i * f.s(24), c.right - f.s(30),
                      lines_top + (i + 1) * f.s(24)};
    const int buttons_top = l.lines[3].bottom + f.s(24);
    const int half_gap = f.s(12) / 2;
    l.scan_again = {cx - half_gap - f.s(210), buttons_top, cx - half_gap, buttons_top + f.s(48)};
    l.see_changes = {cx + f.s(12) - half_gap, buttons_top, cx + f.s(12) - half_gap + f.s(210),
                     buttons_top + f.s(48)};
    return l;
}

AutopilotLayout autopilot_layout(const Frame& f, bool keep_list_empty) {
    const Rect c = content_rect(f);
    AutopilotLayout l;
    l.status = {c.left, c.bottom - f.s(44), c.right, c.bottom};
    const int area_top = f.s(112);
    const int area_bottom = std::max(l.status.top - f.s(6), area_top);
    l.focus_card = {c.left, area_bottom - f.s(164), c.right, area_bottom};
    l.autopilot_card = {c.left, area_top, c.right, l.focus_card.top - f.s(16)};
    const Rect a = inflate(l.autopilot_card, -f.s(24), -f.s(24));
    l.autopilot_switch = {a.right - f.s(170), l.autopilot_card.top + f.s(16), a.right,
                          l.autopilot_card.top + f.s(48)};
    const int row_bottom = l.autopilot_card.bottom - f.s(24);
    const int row_top = row_bottom - f.s(40);
    l.every_day = {a.left, row_top, a.left + f.s(118), row_bottom};
    l.every_week = {l.every_day.right + f.s(8), row_top, l.every_day.right + f.s(8 + 118),
                    row_bottom};
    l.run_now = {a.right - f.s(140), row_top, a.right, row_bottom};
    l.keep_line = {a.left, row_top - f.s(56), a.right, row_top - f.s(34)};
    l.clear_keep = {a.right - f.s(60), l.keep_line.top, a.right, l.keep_line.bottom};
    const int dev_bottom = row_top - (keep_list_empty ? f.s(38) : f.s(64));
    l.dev_servers = {a.left, dev_bottom - f.s(46), a.right, dev_bottom};
    const Rect fc = inflate(l.focus_card, -f.s(24), -f.s(24));
    l.focus_button = {fc.right - f.s(220), l.focus_card.top + f.s(16), fc.right,
                      l.focus_card.top + f.s(56)};
    return l;
}

}  // namespace tess::ui
