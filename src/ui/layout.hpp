// Where everything of the main window goes, for a client of W x H pixels at a DPI. The
// numbers are those of the 96-DPI design, scaled; painting and layout_controls read them.
#pragma once

#include "gui/paint.hpp"
#include "ui/ui.hpp"

namespace tess::ui {

inline constexpr int kSidebarWidth = 236;

struct Frame {
    int w = 0, h = 0, dpi = 96;
    int s(int v) const { return scale(v, dpi); }
};

// ---- sidebar --------------------------------------------------------------------------
Rect sidebar_rect(const Frame& f);
Rect page_button_rect(const Frame& f, int page);
Rect tray_card_rect(const Frame& f);
Rect sidebar_icon_rect(const Frame& f);  // the program icon, 32 at 96 DPI
Rect brand_rect(const Frame& f);
Rect tagline_rect(const Frame& f);
// Inside a page button: the selection bar, the glyph and the title.
Rect page_bar_rect(const Frame& f, Rect button);
Rect page_glyph_rect(const Frame& f, Rect button);
Rect page_title_rect(const Frame& f, Rect button);
// Inside the tray card: its title, state text and switch band.
Rect tray_title_rect(const Frame& f, Rect card);
Rect tray_text_rect(const Frame& f, Rect card);
Rect tray_switch_rect(const Frame& f, Rect card);

// ---- content ------------------------------------------------------------------------------
Rect content_rect(const Frame& f);

// The header and list frame of pages 1-7.
struct PageLayout {
    Rect title;
    Rect description;
    Rect rescan;
    Rect memory_pill;
    Rect select_all;
    Rect list;
    Rect action_bar;     // empty on page 6
    Rect action_button;  // 204
    Rect keep_button;    // 257
    Rect status;         // the status area; the status card is drawn one pixel outside it
};
PageLayout page_layout(const Frame& f, Page page);

// Home before a scan: title, text, the "Scan now" circle and the memory line.
struct IdleLayout {
    int ring = 0;  // side of the circle's square
    Rect title, text, circle, memory_line;
};
IdleLayout idle_layout(const Frame& f);
Rect scan_circle_glyph(const Frame& f, Rect circle);
Rect scan_circle_caption(const Frame& f, Rect circle);
Rect scan_circle_subtitle(const Frame& f, Rect circle);
int scan_circle_radius(const Frame& f, Rect circle);

// A progress screen (scan or Optimise): title, text, the ring and four step rows.
struct ProgressLayout {
    Rect title, text, ring_area;
    int ring_radius = 0;  // of the stroke's centre line
    int stroke = 0;
    Rect count, steps_word;
    Rect step_glyph[4];
    Rect step_label[4];
};
ProgressLayout progress_layout(const Frame& f);

// Home with a scan: summary card, four cards, heading row, list and status line.
struct ProposalLayout {
    Rect summary;
    Rect optimise;  // 211
    Rect ring_centre_box;
    int ring_radius = 0;  // of the stroke's centre line
    int ring_stroke = 0;
    Rect score, score_word;  // the number and "health" inside the ring
    Rect headline, frees_line, memory_line;
    Rect cards[4];  // 220-223
    Rect heading;
    Rect rescan;
    Rect list;
    Rect status;
};
ProposalLayout proposal_layout(const Frame& f);

// Home after Optimise: title, score line, the green disc, up to four result lines and the
// two buttons, as one block centred in the content.
struct DoneLayout {
    Rect title, score_line;
    int disc_x = 0, disc_y = 0, disc_radius = 0;
    Rect check;  // the check glyph inside the disc
    Rect lines[4];
    Rect scan_again, see_changes;  // 230, 231
};
DoneLayout done_layout(const Frame& f);

// Page 6: the two cards and their controls.
struct AutopilotLayout {
    Rect autopilot_card, focus_card;
    Rect autopilot_switch;       // 250
    Rect every_day, every_week;  // 251, 252
    Rect run_now;                // 253
    Rect keep_line, clear_keep;  // 256
    Rect dev_servers;            // 255
    Rect focus_button;           // 254
    Rect status;
};
AutopilotLayout autopilot_layout(const Frame& f, bool keep_list_empty);

}  // namespace tess::ui
