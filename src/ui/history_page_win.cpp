// History & undo (page 7): the keep-running button (257) under the list, offered while a
// row of a closed program is selected. The rows, ticks and the undo come with the list
// pages' machinery.
#include <windows.h>

#include "core/settings.hpp"
#include "ui/autopilot_text.hpp"
#include "ui/history_text.hpp"
#include "ui/ui_win.hpp"

namespace tess::ui {

namespace {

std::optional<KeptProgram> program_of_row(const UiState& s, std::size_t row) {
    if (s.page != Page::History || row >= s.list_model.rows.size()) return std::nullopt;
    const ListRow& r = s.list_model.rows[row];
    if (r.kind != RowKind::Journal) return std::nullopt;
    SharedState& shared = shared_state();
    std::lock_guard lock(shared.mutex);
    if (!shared.scan) return std::nullopt;
    for (const JournalEntry& e : shared.scan->journal)
        if (e.id == r.index) return kept_program(e);
    return std::nullopt;
}

std::optional<KeptProgram> selected_kept_program(const UiState& s) {
    const int i = static_cast<int>(
        ::SendMessageW(s.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (i < 0) return std::nullopt;
    return program_of_row(s, static_cast<std::size_t>(i));
}

std::wstring keep_caption(const UiState& s) {
    if (!s.selected_program) return {};
    const auto program = selected_kept_program(s);
    const bool kept = program && is_kept(s.settings.keep_running, program->key);
    return win::widen(keep_button_caption(*s.selected_program, kept));
}

}  // namespace

std::optional<std::string> history_selection(const UiState& s, std::size_t row) {
    if (auto p = program_of_row(s, row)) return p->name;
    return std::nullopt;
}

void layout_keep_button(UiState& s, const Frame& f) {
    if (s.page != Page::History || !s.selected_program) return;
    s.settings = load_settings();
    place(s, id::kKeepRunning, page_layout(f, s.page).keep_button);
    set_caption(control(s, id::kKeepRunning), keep_caption(s));
}

bool draw_keep_button(UiState& s, const DRAWITEMSTRUCT& d) {
    if (static_cast<int>(d.CtlID) != id::kKeepRunning) return false;
    const std::wstring caption = keep_caption(s);
    set_caption(d.hwndItem, caption);
    link_button(button_face(d, s.fonts, colour::kContent), caption, DT_LEFT);
    focus_rect(d, 0);
    return true;
}

bool keep_running_command(UiState& s, int id) {
    if (id != id::kKeepRunning) return false;
    const auto program = selected_kept_program(s);
    if (!program) return true;
    bool kept = false;
    update_settings([&](Settings& st) { kept = toggle_kept(st.keep_running, program->key); });
    s.settings = load_settings();
    if (is_kept(s.settings.keep_running, program->key) != kept) {
        set_status(s, autopilot_status::kNotSaved, StatusKind::Problem);
    } else {
        set_status(s, keep_status_text(program->name, kept),
                   kept ? StatusKind::Success : StatusKind::Neutral);
    }
    set_caption(control(s, id::kKeepRunning), keep_caption(s));
    repaint_control(s, id::kKeepRunning);
    return true;
}

}  // namespace tess::ui
