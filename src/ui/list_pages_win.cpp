// The list pages (1-5 and 7): the header, the columns of each page and the captions of
// their buttons. Their rows come with the page machinery that fills them.
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

void set_columns(UiState& s, const PageColumns& pc) {
    ::SendMessageW(s.list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(s.list, LVM_DELETEALLITEMS, 0, 0);
    while (::SendMessageW(s.list, LVM_DELETECOLUMN, 0, 0)) {
    }
    int i = 0;
    for (const Column& c : pc.columns) {
        std::wstring title = win::widen(c.title);
        LVCOLUMNW col{};
        col.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        col.cx = scale(c.width, s.dpi);
        col.pszText = title.data();
        col.iSubItem = i;
        ::SendMessageW(s.list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
        ++i;
    }
    s.list_model.rows.clear();
    ++s.list_model.generation;
    s.list_model.columns.assign(pc.columns.begin(), pc.columns.end());
    s.list_model.emphasised = pc.emphasised;
    s.list_model.grey = pc.grey;
    fit_columns(s);
    ::SendMessageW(s.list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(s.list, nullptr, TRUE);
}

}  // namespace

const PageModule& list_module() {
    static const PageModule m{paint, layout, command, draw_item};
    return m;
}

void fill_page(UiState& s) {
    if (!s.list) return;
    set_columns(s, page_columns(s.page));
    bool scanned = false;
    {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        scanned = shared.scan.has_value();
    }
    if (!s.busy)
        set_status(s,
                   s.page != Page::Home && s.page != Page::Autopilot && !scanned
                       ? "Press Scan now on Home first."
                       : "",
                   StatusKind::Neutral);
    update_captions(s);
}

void update_captions(UiState& s) {
    const int n = static_cast<int>(::SendMessageW(s.list, LVM_GETITEMCOUNT, 0, 0));
    bool all = n > 0;
    for (int i = 0; i < n && all; ++i)
        all = ((::SendMessageW(s.list, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK) >> 12) & 0xF) == 2;
    s.all_ticked = all;
}

}  // namespace tess::ui
