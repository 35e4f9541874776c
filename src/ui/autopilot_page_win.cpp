// Autopilot & Focus (page 6): the header; its cards come with the Autopilot and Focus
// module, and so does the "Watch in tray" card's command.
#include "ui/ui_win.hpp"

namespace tess::ui {

namespace {

void paint(UiState& s, HDC dc, const Frame& f) {
    paint_page_header(s, dc, f);
}

void layout(UiState&, const Frame&) {}

bool command(UiState&, int) {
    return false;
}

bool draw_item(UiState&, const DRAWITEMSTRUCT&) {
    return false;
}

}  // namespace

const PageModule& autopilot_module() {
    static const PageModule m{paint, layout, command, draw_item};
    return m;
}

}  // namespace tess::ui
