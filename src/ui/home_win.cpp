// Home (page 0): the "Scan now" circle before any scan, the progress screen of a scan or an
// Optimise run, the proposal with its health ring, cards and list, and the result.
#include <algorithm>
#include <array>

#include "core/memory.hpp"
#include "core/worker.hpp"
#include "gui/a11y_win.hpp"
#include "model/journal.hpp"
#include "scan/scan.hpp"
#include "ui/home_text.hpp"
#include "ui/list_pages_win.hpp"
#include "ui/runs_win.hpp"
#include "ui/ui_win.hpp"

namespace tess::ui {

namespace {

constexpr char16_t kScanGlyph = u'\xE721';
constexpr char16_t kDoneGlyph = u'\xE73E';
constexpr char16_t kWarningGlyph = u'\xE7BA';
constexpr char16_t kCurrentGlyph = u'\xE895';
constexpr char16_t kPendingGlyph = u'\xEA3A';
constexpr char16_t kCardGlyphs[4] = {u'\xE9D9', u'\xE74D', u'\xE7E8', u'\xE95E'};

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
    draw_text(dc, w(scanning ? kScanningTitle : kOptimisingTitle), l.title,
              s.fonts.get(FontRole::Title), colour::kInk,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_text(dc,
              scanning ? L"Looking at memory, junk files, startup apps and your PC's health."
              : s.awaiting_approval
                  ? w(kWaitingForApproval)
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
    if (s.spinning)
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

// What the proposal's summary card says, read under the lock in one go.
struct SummaryText {
    unsigned score = 0;
    Headline headline;
    std::string frees, memory;
};

std::optional<SummaryText> summary_text() {
    SharedState& shared = shared_state();
    std::lock_guard lock(shared.mutex);
    if (!shared.scan) return std::nullopt;
    const ScanReport& r = shared.scan->report;
    return SummaryText{r.health_score, proposal_headline(r), proposal_frees_line(r),
                       proposal_memory_line(r)};
}

void paint_proposal(UiState& s, HDC dc, const Frame& f) {
    const ProposalLayout l = proposal_layout(f);
    rounded_rect(dc, l.summary, f.s(16), colour::kWhite, colour::kBorder);
    if (const auto t = summary_text()) {
        const Rect ring = l.ring_centre_box;
        const int cx = ring.left + ring.width() / 2, cy = ring.top + ring.height() / 2;
        const std::uint32_t ink = score_colour(t->score);
        draw_arc(dc, cx, cy, l.ring_radius, 0, 360, l.ring_stroke, colour::kBorder, false);
        draw_arc(dc, cx, cy, l.ring_radius, -90, static_cast<float>(score_sweep_degrees(t->score)),
                 l.ring_stroke, ink, true);
        draw_text(dc, std::to_wstring(t->score), l.score, s.fonts.get(FontRole::Title), ink,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        draw_text(dc, L"health", l.score_word, s.fonts.get(FontRole::Body), colour::kSecondary,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        draw_text(dc, w(t->headline.text), l.headline, s.fonts.get(FontRole::Heading),
                  t->headline.colour, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        draw_text(dc, w(t->frees), l.frees_line, s.fonts.get(FontRole::Body), colour::kInk,
                  DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS);
        draw_text(dc, w(t->memory), l.memory_line, s.fonts.get(FontRole::Body), colour::kSecondary,
                  DT_LEFT | DT_WORDBREAK);
    }
    draw_text(dc, L"What Optimise will do", l.heading, s.fonts.get(FontRole::Subheading),
              colour::kInk, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_text(dc, L"Untick anything you want to keep", l.heading, s.fonts.get(FontRole::Body),
              colour::kSecondary, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
}

// The check mark, or the warning's exclamation mark, drawn with a pen for a system without
// the glyph font.
void draw_mark(HDC dc, int cx, int cy, int radius, bool warning) {
    const int u = std::max(1, radius / 3);
    LOGBRUSH brush{BS_SOLID, to_colorref(colour::kWhite), 0};
    const win::unique_gdiobj pen(
        ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                       static_cast<DWORD>(std::max(2, radius / 6)), &brush, 0, nullptr));
    if (!pen) return;
    const win::Selected selected(dc, pen.get());
    if (warning) {
        const POINT bar[2] = {{cx, cy - u}, {cx, cy + u / 3}};
        const POINT dot[2] = {{cx, cy + u}, {cx, cy + u}};
        ::Polyline(dc, bar, 2);
        ::Polyline(dc, dot, 2);
    } else {
        const POINT points[3] = {
            {cx - u, cy}, {cx - u / 3, cy + u * 2 / 3}, {cx + u, cy - u * 2 / 3}};
        ::Polyline(dc, points, 3);
    }
}

// What the Done screen shows, read under the lock in one go.
struct DoneText {
    DoneView view;
    ScoreLine score;
};

DoneText done_text(const UiState& s) {
    std::optional<OptimiseResult> result;
    std::optional<unsigned> before, after;
    {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        result = shared.optimise;
        if (shared.score_before) before = *shared.score_before;
        // While the measuring scan runs the window is busy: the new score is not known yet.
        if (shared.scan && !s.busy) after = shared.scan->report.health_score;
    }
    DoneView view = done_view(result.value_or(OptimiseResult{}), std::size(DoneLayout{}.lines));
    if (!result) view.lines.clear();
    return {std::move(view), done_score_line(before, after)};
}

void paint_done(UiState& s, HDC dc, const Frame& f) {
    const DoneLayout l = done_layout(f);
    auto [view, score] = done_text(s);
    draw_text(dc, w(view.title), l.title, s.fonts.get(FontRole::Title), colour::kInk,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_text(dc, w(score.text), l.score_line, s.fonts.get(FontRole::Subheading), score.colour,
              DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS);
    fill_circle(dc, l.disc_x, l.disc_y, l.disc_radius, view.disc_colour);
    if (s.fonts.has_glyphs())
        draw_glyph(dc, s.fonts, FontRole::BigIcons, view.problems ? kWarningGlyph : kDoneGlyph,
                   l.check, colour::kWhite);
    else
        draw_mark(dc, l.disc_x, l.disc_y, l.disc_radius, view.problems);
    for (std::size_t i = 0; i < view.lines.size(); ++i)
        draw_text(dc, w(view.lines[i]), l.lines[i],
                  s.fonts.get(i == 0 ? FontRole::BodySemibold : FontRole::Body), colour::kInk,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    s.done_shown = std::move(view);
    // "Scan again" is off while the measuring scan (or another page's apply) runs: say why.
    if (s.busy)
        draw_text(dc, w(scan_again_off_text(s.scanning)),
                  {l.scan_again.left, l.scan_again.bottom + f.s(8), l.see_changes.right,
                   l.scan_again.bottom + f.s(28)},
                  s.fonts.get(FontRole::Small), colour::kSecondary,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
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
            paint_proposal(s, dc, f);
            break;
        case HomePhase::Done:
            paint_done(s, dc, f);
            break;
    }
}

// The four cards from the report's own ticks; empty before a scan.
std::optional<std::array<Card, 4>> cards() {
    SharedState& shared = shared_state();
    std::lock_guard lock(shared.mutex);
    if (!shared.scan) return std::nullopt;
    const ScanReport& r = shared.scan->report;
    return std::array<Card, 4>{memory_card(r), junk_card(r), startup_card(r), health_card(r)};
}

void layout(UiState& s, const Frame& f) {
    switch (s.phase) {
        case HomePhase::Idle:
            place(s, id::kScanNow, idle_layout(f).circle);
            break;
        case HomePhase::Proposal: {
            const ProposalLayout l = proposal_layout(f);
            place(s, id::kOptimise, l.optimise);
            const auto c = cards();
            for (int i = 0; i < 4; ++i) {
                place(s, id::kCardMemory + i, l.cards[i]);
                if (c)
                    set_caption(control(s, id::kCardMemory + i),
                                w((*c)[i].value + " " + (*c)[i].caption));
            }
            break;
        }
        case HomePhase::Done: {
            const DoneLayout l = done_layout(f);
            place(s, id::kScanAgain, l.scan_again);
            place(s, id::kSeeChanges, l.see_changes);
            set_caption(control(s, id::kScanAgain), L"Scan again");
            set_caption(control(s, id::kSeeChanges), L"See what changed");
            break;
        }
        default:
            break;
    }
}

// The screen-reader copies of Home's painted texts, over the places they are painted.
void live_texts(UiState& s, const Frame& f) {
    const HomePhase phase = s.page == Page::Home ? s.phase : HomePhase::Idle;
    std::wstring headline, score, step, done;
    Live done_live = Live::Polite;
    Rect headline_at, score_at, step_at, done_at;
    if (phase == HomePhase::Proposal) {
        if (const auto t = summary_text()) {
            const ProposalLayout l = proposal_layout(f);
            headline = w(t->headline.text);
            score = w(health_spoken(t->score));
            headline_at = l.headline;
            score_at = l.ring_centre_box;
        }
    } else if (phase == HomePhase::Scanning || phase == HomePhase::Optimising) {
        step = w(progress_spoken(phase == HomePhase::Scanning, s.scan_step, s.awaiting_approval));
        step_at = progress_layout(f).title;
    } else if (phase == HomePhase::Done) {
        const auto [view, line] = done_text(s);
        done = w(done_spoken(view, line));
        if (view.problems) done_live = Live::Assertive;
        const DoneLayout l = done_layout(f);
        done_at = {l.title.left, l.title.top, l.title.right, l.lines[3].bottom};
    }
    const struct {
        int id;
        const std::wstring& text;
        Live live;
        Rect at;
    } texts[] = {{id::kHeadlineText, headline, Live::Polite, headline_at},
                 {id::kScoreText, score, Live::Polite, score_at},
                 {id::kStepText, step, Live::Polite, step_at},
                 {id::kDoneText, done, done_live, done_at}};
    for (const auto& t : texts)
        show_live_text(control(s, t.id), t.text, t.at, t.live);
}

void store_result(OptimiseResult result) {
    // History lists the journal the last scan read: it gets this run's entries now, so
    // "See what changed" during the measuring scan shows them.
    std::vector<JournalEntry> journal = load_journal(journal_path()).entries;
    SharedState& shared = shared_state();
    std::lock_guard lock(shared.mutex);
    shared.optimise = std::move(result);
    if (shared.scan) shared.scan->journal = std::move(journal);
}

void optimise(UiState& s) {
    if (s.busy) return;
    const std::vector<const ListRow*> rows = ticked_rows(s);
    Changes changes = ticked_changes(s);
    if (changes.ops.empty()) return;
    // Only a tick the user added is worth a question: the defaults are the proposal.
    if (ticks_beyond_defaults(rows) && !confirm_changes(s.window, changes, "Optimise will:"))
        return;
    std::vector<Action> actions;
    for (Op& op : changes.ops)
        if (auto* a = std::get_if<ApplyOp>(&op)) actions.push_back(std::move(a->action));
    const std::uint64_t junk_estimate = ticked_junk_estimate(rows);
    {
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        shared.score_before.reset();
        if (shared.scan) shared.score_before = shared.scan->report.health_score;
    }
    s.busy = true;
    s.phase = HomePhase::Optimising;
    s.scan_step = 0;
    start_spinner(s);
    layout_controls(s);
    repaint_all(s);
    const HWND window = s.window;
    start_worker([window, actions = std::move(actions), junk_estimate] {
        apply_run(window, actions, junk_estimate, store_result);
    });
}

// Card 223: the first health finding of the list, selected and in view.
void show_first_health_row(UiState& s) {
    const auto& rows = s.list_model.rows;
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [](const ListRow& r) { return r.kind == RowKind::Health; });
    if (it == rows.end()) {
        set_status(s, "All health checks passed.", StatusKind::Success);
        return;
    }
    const int i = static_cast<int>(it - rows.begin());
    ::SendMessageW(s.list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(i), FALSE);
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(s.list, LVM_SETITEMSTATE, static_cast<WPARAM>(i),
                   reinterpret_cast<LPARAM>(&item));
    ::SetFocus(s.list);
}

bool command(UiState& s, int id) {
    switch (id) {
        case id::kScanNow:
        case id::kScanAgain:
            set_page(s, Page::Home);
            start_scan(s, false);
            return true;
        case id::kOptimise:
            optimise(s);
            return true;
        case id::kCardMemory:
            set_page(s, Page::Apps);
            return true;
        case id::kCardMemory + 1:
            set_page(s, Page::Junk);
            return true;
        case id::kCardMemory + 2:
            set_page(s, Page::Startup);
            return true;
        case id::kCardMemory + 3:
            show_first_health_row(s);
            return true;
        case id::kSeeChanges:
            set_page(s, Page::History);
            return true;
        default:
            return false;
    }
}

void draw_scan_circle(UiState& s, const DRAWITEMSTRUCT& d) {
    const Frame f = frame_of(s);
    const Rect r = from_rect(d.rcItem);
    const ButtonState st = button_state(d);
    fill_rect(d.hDC, r, colour::kContent);
    const std::uint32_t fill = st.disabled  ? colour::kMuted
                               : st.pressed ? colour::kAccentPressed
                               : st.hovered ? colour::kAccentHover
                                            : colour::kAccent;
    fill_circle(d.hDC, r.left + r.width() / 2, r.top + r.height() / 2, scan_circle_radius(f, r),
                fill);
    draw_glyph(d.hDC, s.fonts, FontRole::BigIcons, kScanGlyph, scan_circle_glyph(f, r),
               colour::kWhite);
    draw_text(d.hDC, L"Scan now", scan_circle_caption(f, r), s.fonts.get(FontRole::Title),
              colour::kWhite, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    // Off while a quiet scan or an apply runs, and it says why.
    const std::wstring subtitle =
        st.disabled ? w("wait: " + std::string(busy_reason(s.scanning))) : L"takes about 5 seconds";
    draw_text(d.hDC, subtitle, scan_circle_subtitle(f, r), s.fonts.get(FontRole::Small),
              colour::kAccentSubtitle, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    focus_rect(d, f.s(24));
}

void draw_card(UiState& s, const DRAWITEMSTRUCT& d, int i) {
    const Frame f = frame_of(s);
    const Rect r = from_rect(d.rcItem);
    const ButtonState st = button_state(d);
    fill_rect(d.hDC, r, colour::kContent);
    rounded_rect(d.hDC, r, f.s(12), colour::kWhite, st.hovered ? colour::kMuted : colour::kBorder);
    draw_glyph(d.hDC, s.fonts, FontRole::Icons, kCardGlyphs[i],
               {r.right - f.s(40), r.top + f.s(14), r.right - f.s(14), r.top + f.s(40)},
               colour::kSecondary, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    if (const auto c = cards()) {
        const Card& card = (*c)[static_cast<std::size_t>(i)];
        draw_text(d.hDC, w(card.value),
                  {r.left + f.s(18), r.top + f.s(12), r.right - f.s(44), r.top + f.s(48)},
                  s.fonts.get(FontRole::Title), colour::kInk,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        draw_text(d.hDC, w(card.caption),
                  {r.left + f.s(18), r.top + f.s(50), r.right - f.s(10), r.bottom - f.s(8)},
                  s.fonts.get(FontRole::Small), colour::kSecondary,
                  DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS);
    }
    focus_rect(d, f.s(4));
}

bool draw_item(UiState& s, const DRAWITEMSTRUCT& d) {
    const int id = static_cast<int>(d.CtlID);
    if (id == id::kScanNow) {
        draw_scan_circle(s, d);
    } else if (id == id::kOptimise) {
        accent_button(button_face(d, s.fonts, colour::kWhite), L"Optimise now",
                      w(s.optimise_subtitle));
        focus_rect(d, scale(3, s.dpi));
    } else if (id >= id::kCardMemory && id < id::kCardMemory + 4) {
        draw_card(s, d, id - id::kCardMemory);
    } else if (id == id::kScanAgain || id == id::kSeeChanges) {
        plain_button(button_face(d, s.fonts, colour::kContent),
                     id == id::kScanAgain ? L"Scan again" : L"See what changed");
        focus_rect(d, scale(3, s.dpi));
    } else {
        return false;
    }
    return true;
}

}  // namespace

void home_live_texts(UiState& s, const Frame& f) {
    live_texts(s, f);
}

const PageModule& home_module() {
    static const PageModule m{paint, layout, command, draw_item};
    return m;
}

}  // namespace tess::ui
