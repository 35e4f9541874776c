// The list machinery every page with rows uses (Home's proposal, pages 1-5 and 7): filling
// the one list view from the shared state, the captions that follow the ticks, "Select
// all", the page action button with its confirmation, and the developer-junk scan.
#include <algorithm>

#include "core/log.hpp"
#include "core/worker.hpp"
#include "model/devclean.hpp"
#include "model/journal.hpp"
#include "ui/list_pages_win.hpp"
#include "ui/runs_win.hpp"
#include "ui/ui_messages.hpp"
#include "ui/ui_win.hpp"

namespace tess::ui {

namespace {

constexpr UINT kNoBox = 0, kUnticked = 1, kTicked = 2;

std::wstring w(std::string_view utf8) {
    return win::widen(utf8);
}

UINT state_image(HWND list, int item) {
    return static_cast<UINT>(::SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(item),
                                            LVIS_STATEIMAGEMASK) >>
                             12) &
           0xF;
}

void set_state_image(HWND list, int item, UINT image) {
    LVITEMW it{};
    it.stateMask = LVIS_STATEIMAGEMASK;
    it.state = INDEXTOSTATEIMAGEMASK(image);
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                   reinterpret_cast<LPARAM>(&it));
}

// Whether the page's data exists: a developer-junk result on page 2, a full scan elsewhere.
bool has_data(Page page, const SharedState& shared) {
    return page == Page::DevJunk ? shared.dev.has_value() : shared.scan.has_value();
}

void paint(UiState& s, HDC dc, const Frame& f) {
    paint_page_header(s, dc, f);
}

void layout(UiState& s, const Frame& f) {
    const PageLayout l = page_layout(f, s.page);
    if (s.page == Page::Junk || s.page == Page::DevJunk) place(s, id::kSelectAll, l.select_all);
    place(s, id::kPageAction, l.action_button);
    if (s.page == Page::DevJunk) {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        if (shared.dev_scanning) enable(s, id::kRescan, false);
    }
    layout_keep_button(s, f);
}

bool command(UiState& s, int id) {
    switch (id) {
        case id::kRescan:
            if (s.page != Page::DevJunk) return false;
            start_dev_scan(s);
            return true;
        case id::kSelectAll:
            select_all(s);
            return true;
        case id::kPageAction:
            apply_page(s);
            return true;
        default:
            return keep_running_command(s, id);
    }
}

bool draw_item(UiState& s, const DRAWITEMSTRUCT& d) {
    const int id = static_cast<int>(d.CtlID);
    if (id == id::kSelectAll) {
        link_button(button_face(d, s.fonts, colour::kContent),
                    s.all_ticked ? L"Clear all" : L"Select all", DT_RIGHT);
        focus_rect(d, 0);
        return true;
    }
    if (id == id::kPageAction) {
        const ButtonFace b = button_face(d, s.fonts, colour::kContent);
        if (s.busy)
            plain_button(b, w(s.action_caption));
        else
            accent_button(b, w(s.action_caption));
        focus_rect(d, scale(3, s.dpi));
        return true;
    }
    return draw_keep_button(s, d);
}

// The list's rows, in list order, with their columns; fill_list turns redraw back on.
void write_rows(const UiState& s, HWND list, const PageColumns& pc,
                const std::vector<ListRow>& rows) {
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    while (::SendMessageW(list, LVM_DELETECOLUMN, 0, 0)) {
    }
    int i = 0;
    for (const Column& c : pc.columns) {
        std::wstring title = w(c.title);
        LVCOLUMNW col{};
        col.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        col.cx = scale(c.width, s.dpi);
        col.pszText = title.data();
        col.iSubItem = i;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(&col));
        ++i;
    }
    ::SendMessageW(list, LVM_SETITEMCOUNT, rows.size(), 0);
    std::wstring text;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const ListRow& row = rows[r];
        text = row.cells.empty() ? std::wstring() : w(row.cells[0]);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_STATE;
        item.iItem = static_cast<int>(r);
        item.pszText = text.data();
        item.stateMask = LVIS_STATEIMAGEMASK;
        const UINT image = !row.checkbox ? kNoBox : row.default_tick ? kTicked : kUnticked;
        item.state = INDEXTOSTATEIMAGEMASK(image);
        const auto at = static_cast<int>(
            ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        // Some list views give every new item the empty box whatever it asked for.
        if (at >= 0 && image != kUnticked) set_state_image(list, at, image);
        if (at < 0) continue;
        for (std::size_t c = 1; c < row.cells.size(); ++c) {
            if (row.cells[c].empty()) continue;
            text = w(row.cells[c]);
            LVITEMW sub{};
            sub.iSubItem = static_cast<int>(c);
            sub.pszText = text.data();
            ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at),
                           reinterpret_cast<LPARAM>(&sub));
        }
    }
}

// The rows into the list view; before the window has one (its first frame) only the model.
void fill_list(UiState& s, const PageColumns& pc, std::vector<ListRow> rows) {
    const HWND list = s.list;
    if (list) write_rows(s, list, pc, rows);
    s.list_model.rows = std::move(rows);
    ++s.list_model.generation;
    s.list_model.columns.assign(pc.columns.begin(), pc.columns.end());
    s.list_model.emphasised = pc.emphasised;
    s.list_model.grey = pc.grey;
    if (!list) return;
    fit_columns(s);
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

// The worker's status waits for the window, to be shown after the rescan.
void store_status(ChangesStatus status) {
    post_status(shared_state(), {std::move(status.text),
                                 status.success ? StatusKind::Success : StatusKind::Problem, true});
}

}  // namespace

const PageModule& list_module() {
    static const PageModule m{paint, layout, command, draw_item};
    return m;
}

std::vector<bool> ticked_flags(const UiState& s) {
    const std::size_t n = s.list_model.rows.size();
    std::vector<bool> ticked(n, false);
    if (!s.list) return ticked;
    const auto count = static_cast<std::size_t>(
        std::max<LRESULT>(0, ::SendMessageW(s.list, LVM_GETITEMCOUNT, 0, 0)));
    for (std::size_t i = 0; i < n && i < count; ++i)
        ticked[i] =
            s.list_model.rows[i].checkbox && state_image(s.list, static_cast<int>(i)) == kTicked;
    return ticked;
}

std::vector<const ListRow*> ticked_rows(const UiState& s) {
    const std::vector<bool> ticked = ticked_flags(s);
    std::vector<const ListRow*> rows;
    for (std::size_t i = 0; i < ticked.size(); ++i)
        if (ticked[i]) rows.push_back(&s.list_model.rows[i]);
    return rows;
}

void fill_page(UiState& s) {
    if (!s.list && s.controls_ready) return;
    const Page page = s.page;
    std::vector<ListRow> rows;
    std::string hint;
    bool start_dev = false;
    {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        PageData data;
        data.scan = shared.scan ? &*shared.scan : nullptr;
        data.dev = shared.dev ? &*shared.dev : nullptr;
        data.proposal_phase = s.phase == HomePhase::Proposal;
        data.scanning = s.scanning;
        if (page != Page::Autopilot) rows = page_rows(page, data, local_stamp);
        hint = hint_text(page, data, !rows.empty());
        start_dev = page == Page::DevJunk && !shared.dev && !shared.dev_scanning;
    }
    fill_list(s, page_columns(page), std::move(rows));
    // No row is selected in the new rows: nothing to keep running.
    if (s.selected_program) {
        s.selected_program.reset();
        place(s, id::kKeepRunning, {});
    }
    if (page != Page::Autopilot) set_status(s, hint, StatusKind::Neutral);
    update_captions(s);
    if (start_dev) start_dev_scan(s);
    if (page == Page::Autopilot) fill_autopilot_page(s);
}

void update_captions(UiState& s) {
    bool data = false;
    {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        data = has_data(s.page, shared);
    }
    const std::vector<bool> ticked = ticked_flags(s);
    const Captions c = compute_captions(s.page, s.list_model.rows, ticked, data, s.busy);
    s.all_ticked = all_ticked(s.list_model.rows, ticked);
    s.action_caption = c.action;
    s.optimise_subtitle = c.optimise_subtitle;
    set_caption(control(s, id::kPageAction), w(c.action));
    enable(s, id::kPageAction, c.action_enabled);
    // Screen readers hear the subtitle too: it says what Optimise will do.
    set_caption(control(s, id::kOptimise), w("Optimise now: " + c.optimise_subtitle));
    enable(s, id::kOptimise, c.optimise_enabled);
    set_caption(control(s, id::kSelectAll), w(c.select_all));
    // A scan cannot start while another or an apply runs: the buttons look it.
    enable(s, id::kScanNow, !s.busy);
    enable(s, id::kScanAgain, !s.busy);
    for (int id : {id::kSelectAll, id::kPageAction, id::kOptimise, id::kScanNow, id::kScanAgain})
        repaint_control(s, id);
}

void select_all(UiState& s) {
    const UINT image = s.all_ticked ? kUnticked : kTicked;
    const int n = static_cast<int>(s.list_model.rows.size());
    for (int i = 0; i < n; ++i)
        if (state_image(s.list, i) != kNoBox) set_state_image(s.list, i, image);
    update_captions(s);
}

bool confirm_changes(HWND owner, const Changes& changes, std::string_view heading) {
    std::vector<JournalEntry> journal;
    {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        if (shared.scan) journal = shared.scan->journal;
    }
    const std::wstring text = w(confirm_text(heading, changes, journal));
    return ::MessageBoxW(owner, text.c_str(), L"Tessavo", MB_ICONQUESTION | MB_YESNO) == IDYES;
}

Changes ticked_changes(const UiState& s) {
    const std::vector<const ListRow*> rows = ticked_rows(s);
    // History judges each undo by the journal as it is now: another window or the tray
    // watch may have undone an entry since the list was filled.
    std::optional<ScanResult> fresh;
    if (s.page == Page::History && !rows.empty()) {
        fresh.emplace();
        fresh->journal = load_journal(journal_path()).entries;
    }
    SharedState& shared = shared_state();
    std::lock_guard lock(shared.mutex);
    RowSources sources;
    sources.scan = fresh ? &*fresh : shared.scan ? &*shared.scan : nullptr;
    sources.dev = shared.dev ? &*shared.dev : nullptr;
    return rows_to_changes(rows, sources);
}

void apply_page(UiState& s) {
    if (s.busy) return;
    Changes changes = ticked_changes(s);
    if (changes.ops.empty()) {
        const std::wstring text = w(nothing_to_do_text(changes.skip_notes));
        ::MessageBoxW(s.window, text.c_str(), L"Tessavo", MB_ICONINFORMATION);
        return;
    }
    if (!confirm_changes(s.window, changes, "Tessavo will:")) return;
    s.busy = true;
    s.applied_page = s.page;
    update_captions(s);
    enable(s, id::kRescan, false);
    set_status(s, "Applying changes\u2026", StatusKind::Neutral);
    const HWND window = s.window;
    start_worker(
        [window, ops = std::move(changes.ops)] { apply_changes(ops, window, store_status); });
}

void start_dev_scan(UiState& s) {
    SharedState& shared = shared_state();
    bool earlier = false;
    {
        std::lock_guard lock(shared.mutex);
        if (shared.dev_scanning) return;
        shared.dev_scanning = true;
        earlier = shared.dev.has_value();
    }
    enable(s, id::kRescan, false);
    if (earlier) set_status(s, "Looking again\u2026", StatusKind::Neutral);
    update_captions(s);
    const HWND window = s.window;
    start_worker([window] {
        std::vector<DevFolder> folders = scan_dev_junk();
        {
            SharedState& st = shared_state();
            std::lock_guard lock(st.mutex);
            st.dev = std::move(folders);
            st.dev_scanning = false;
        }
        ::PostMessageW(window, kMainDevScanDone, 0, 0);
    });
}

}  // namespace tess::ui
