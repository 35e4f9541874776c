// The main window ("TessavoWindow"): its state, the operations pages call, and the
// page modules the shell dispatches to. Each page's painting and commands live in a
// module of its own (home_win.cpp, list_pages_win.cpp, autopilot_page_win.cpp).
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "autopilot/autopilot.hpp"
#include "autopilot/focus.hpp"
#include "core/policy.hpp"
#include "core/settings.hpp"
#include "core/win.hpp"
#include "gui/icon_win.hpp"
#include "gui/paint_win.hpp"
#include "ui/home_text.hpp"
#include "ui/layout.hpp"
#include "ui/ui.hpp"

namespace tess::ui {

inline constexpr wchar_t kMainClass[] = L"TessavoWindow";
inline constexpr wchar_t kTrayClass[] = L"TessavoTray";
inline constexpr wchar_t kMainMutex[] = L"Local\\Tessavo.UI";

using ImageList = win::unique_any<HIMAGELIST, ::ImageList_Destroy>;

// Window state, one per UI thread, created in WM_CREATE and read by every handler.
struct UiState {
    HWND window = nullptr;
    PaintBuffer paint_buffer;  // what is on screen, kept between paints
    HWND list = nullptr;
    FontSet fonts;
    Icon header_icon;  // the program icon for the sidebar, dpi / 3 pixels
    Icon level_icon;   // the small icon set after a scan
    int level = -1;    // its level, so a DPI change can load it again
    ImageList row_height;
    int dpi = 96;
    Page page = Page::Home;
    HomePhase phase = HomePhase::Idle;
    bool busy = false;
    bool scanning = false;           // a full scan runs (quiet or not)
    Page applied_page = Page::Home;  // the page of the last page apply
    bool all_ticked = false;
    bool ticks_posted = false;
    int scan_step = 0;
    bool awaiting_approval = false;  // the admin approval prompt is open
    float spinner_angle = 0;
    bool spinning = false;  // timer 3 turns the spinner
    bool tray_running = false;
    std::string status;  // UTF-8
    StatusKind status_kind = StatusKind::Neutral;
    ListModel list_model;
    std::optional<std::string> selected_program;
    std::string action_caption;     // button 204
    std::string optimise_subtitle;  // button 211
    DoneView done_shown;            // what the Done screen painted last
    StartOptions start;
    unsigned caption_updates = 0;  // how many tick changes reached update_captions
    // Page 6 draws from these, re-read at every change and never while painting.
    Settings settings;
    Policy policy;
    // Page 6's background work on this PC; tests in this process give their own (a clock
    // ahead of the real one, efficiency mode recorded where Wine has none).
    std::function<AutopilotSystem()> autopilot_system;
    std::function<FocusSystem()> focus_system;
    // Starts the tray watch ("agent"); the error text on failure. Tests in this process
    // give their own: the real one would start the test program.
    std::function<std::optional<std::string>()> start_tray;
    std::optional<bool> tray_wanted;  // what the last start or stop asked of the tray watch
    int tray_looks = 0;               // timer 2's looks for it since
    // Until the first frame is on screen the window has no child controls, so that frame
    // needs only USER and GDI: layout records where each would go (and enabling whether it
    // would be off), and the paint draws their faces there.
    bool controls_ready = false;
    std::map<int, Rect> pending_controls;
    std::map<int, bool> pending_disabled;
    std::optional<bool> pending_scan;  // a scan asked for before then (quiet or not)
};

// The state of a main window (null for any other window).
UiState* state_of(HWND window);
Frame frame_of(const UiState& s);
HWND control(const UiState& s, int id);

// ---- operations the pages use ------------------------------------------------------------
void set_page(UiState& s, Page page);
void set_status(UiState& s, std::string_view text, StatusKind kind);
void start_scan(UiState& s, bool quiet);
// The progress screen's spinner turns on timer 3, unless animations are off: the ring then
// stands still at its step, and the step list says where the work is.
void start_spinner(UiState& s);
void stop_spinner(UiState& s);
void refresh_tray_flag(UiState& s);
void layout_controls(UiState& s);
void fit_columns(UiState& s);
// Repaints part of the client (the child buttons over it are left alone).
void repaint(const UiState& s, Rect r);
void repaint_all(const UiState& s);
void repaint_control(const UiState& s, int id);
// Places a control and shows it, or hides it when `r` is empty.
void place(UiState& s, int id, Rect r);
// Enables or disables a control (before the controls exist, what the first frame shows).
void enable(UiState& s, int id, bool on);
// The rectangle of the status line for the current page and phase; empty when none shows.
Rect status_area(const UiState& s);
// Sets and places the screen-reader copies of the status line and of Home's texts; a
// changed text is announced.
void update_live_texts(UiState& s);
void home_live_texts(UiState& s, const Frame& f);
// Title, description and memory pill of pages 1-7.
void paint_page_header(UiState& s, HDC dc, const Frame& f);

// ---- page modules ------------------------------------------------------------------------------
struct PageModule {
    // The page's part of the content (the shell painted the background, sidebar and status).
    void (*paint)(UiState& s, HDC dc, const Frame& f);
    // Places and shows the page's own controls; the shell hid every page control before.
    void (*layout)(UiState& s, const Frame& f);
    // A command of the page's controls; false when it is not the page's.
    bool (*command)(UiState& s, int id);
    // Paints one of the page's owner-drawn buttons; false when it is not the page's.
    bool (*draw_item)(UiState& s, const DRAWITEMSTRUCT& d);
};
const PageModule& home_module();       // page 0
const PageModule& list_module();       // pages 1-5 and 7
const PageModule& autopilot_module();  // page 6

// Page 6: re-reads the settings and the Focus state and shows the page's status text.
void fill_autopilot_page(UiState& s);
// Page 6, now and then: the settings again (the tray watch's runs change them), and the
// cards repainted when they changed.
void refresh_autopilot_page(UiState& s);
// Page 6 after a run or a Focus toggle ended: the captions follow.
void autopilot_flags_changed(UiState& s);
// Timer 2: looks for the tray window again (and again a little later while a tray watch
// just started or told to close has not got there yet); on page 6 the page's status text
// again, unless a problem is showing.
void on_tray_timer(UiState& s);
// The start-up hook: clears a Focus state left from before the last restart, loads it,
// and posts kMainFocusDone.
void start_focus_load(UiState& s);

// Page 7's keep-running button (257): the program a selected row offers to keep running
// (none for other rows and pages), the button's place and caption, its face and its click.
std::optional<std::string> history_selection(const UiState& s, std::size_t row);
void layout_keep_button(UiState& s, const Frame& f);
bool draw_keep_button(UiState& s, const DRAWITEMSTRUCT& d);
bool keep_running_command(UiState& s, int id);

// The list pages' machinery: rebuilds the list for the current page, and recomputes the
// captions and enabled states of the action buttons.
void fill_page(UiState& s);
void update_captions(UiState& s);

// Registers the class and opens the window (at (-10000, -10000) without activation when
// `offscreen`), without the single-instance check or a message loop; null on failure. It
// paints the first frame, then creates the controls and starts the window's work; with
// `first_frame_only` (for tests of that frame) it stops after the first frame, and
// finish_main_window does the rest.
HWND create_main_window(const StartOptions& start, bool offscreen, bool first_frame_only = false);
void finish_main_window(HWND window);

// The main window's entry: single instance, class, window, message loop.
void run_main_window(const std::vector<std::string>& args);

}  // namespace tess::ui
