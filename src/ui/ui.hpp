// The main window's model: pages, Home phases, control and timer identifiers, list
// columns, the state workers share with the window, and the start-up and sizing rules.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "autopilot/focus.hpp"
#include "changes/apply.hpp"
#include "model/devclean.hpp"
#include "scan/analyze.hpp"
#include "scan/scan.hpp"
#include "ui/rows.hpp"

namespace tess::ui {

// ---- pages -------------------------------------------------------------------------
struct PageInfo {
    std::string_view title;
    char16_t glyph;                // code point of the glyph font
    std::string_view description;  // under the title in the page header; empty on Home
};
const PageInfo& page_info(Page page);
Page page_from_index(int index);  // out-of-range indices give Home

enum class HomePhase : std::uint8_t {
    Idle = 0,
    Scanning = 1,
    Proposal = 2,
    Optimising = 3,
    Done = 4
};

enum class StatusKind : std::uint8_t { Neutral = 0, Success = 1, Problem = 2 };

// ---- controls and timers -------------------------------------------------------------
namespace id {
inline constexpr int kList = 103;
inline constexpr int kRescan = 200;
inline constexpr int kSelectAll = 201;
inline constexpr int kPageAction = 204;
inline constexpr int kTrayCard = 205;
inline constexpr int kScanNow = 210;
inline constexpr int kOptimise = 211;
inline constexpr int kCardMemory = 220;  // 220-223: memory, junk, startup, health
inline constexpr int kScanAgain = 230;
inline constexpr int kSeeChanges = 231;
inline constexpr int kAutopilotSwitch = 250;
inline constexpr int kEveryDay = 251;
inline constexpr int kEveryWeek = 252;
inline constexpr int kRunNow = 253;
inline constexpr int kFocus = 254;
inline constexpr int kDevServers = 255;
inline constexpr int kClearKeep = 256;
inline constexpr int kKeepRunning = 257;
inline constexpr int kFirstPage = 300;  // 300-307: the page buttons
// Painted texts that screen readers read (STATIC controls that paint nothing).
inline constexpr int kStatusText = 400;
inline constexpr int kHeadlineText = 401;
inline constexpr int kScoreText = 402;
inline constexpr int kStepText = 403;
inline constexpr int kDoneText = 404;
}  // namespace id

// Every button of the window, in Tab order (the visual order: sidebar top to bottom, then
// the content from top left); the list sits after the header buttons.
std::span<const int> button_ids();

namespace timer {
inline constexpr unsigned kTray = 2;     // one-shot, 800 ms after the tray watch was switched
inline constexpr unsigned kSpinner = 3;  // 40 ms while a progress screen shows
inline constexpr unsigned kMemory = 4;   // 2000 ms, the memory line on idle Home
inline constexpr unsigned kTrayDelayMs = 800;
inline constexpr unsigned kSpinnerMs = 40;
inline constexpr unsigned kMemoryMs = 2000;
}  // namespace timer

inline constexpr float kSpinnerStep = 9.0f;
float next_spinner_angle(float angle);

// Why "Scan now" and "Scan again" are off while the window is busy: "a scan is running"
// or "changes are being applied".
std::string_view busy_reason(bool scanning);
// "Scan again is off while {}." under the Done screen's buttons.
std::string scan_again_off_text(bool scanning);

// ---- list ----------------------------------------------------------------------------
// Where the list shows: pages 1-5 and 7, and Home in the proposal phase.
bool shows_list(Page page, HomePhase phase);
bool shows_rescan(Page page, HomePhase phase);

// Nominal widths (at 96 DPI) fitted into a list whose client is `client_width` wide:
// scaled, shrunk (never grown) to the width left beside a vertical scroll bar; no column
// under 40, the last one at least 60.
std::vector<int> fit_columns(std::span<const Column> columns, int dpi, int client_width,
                             int vscroll_width);

struct ListModel {
    std::vector<ListRow> rows;
    unsigned generation = 0;      // bumped at every rebuild
    std::vector<Column> columns;  // the page's, widths at 96 DPI
    int emphasised = -1;
    int grey = -1;
};

// ---- start-up -------------------------------------------------------------------------------
struct StartOptions {
    bool scan = false;       // "--scan": scan with the progress screen at once
    bool history = false;    // "--history": page 7 and a quiet scan
    bool autopilot = false;  // "--autopilot": page 6
    // "--after-update {pid}": started by an update over process {pid}, whose window may
    // still be closing.
    std::optional<std::uint32_t> after_update;
};
// How long a program started by an update waits for the one it replaced to go.
inline constexpr std::uint32_t kAfterUpdateWaitMs = 30'000;
inline constexpr std::string_view kPredecessorStayed =
    "Tessavo was updated, but the previous version didn't close, so the new one couldn't "
    "open.\n\nClose Tessavo, then open it again.";
// Any argument after the program's own name counts, compared exactly.
StartOptions start_options(std::span<const std::string> args);

struct Size {
    int w = 0, h = 0;
    bool operator==(const Size&) const = default;
};
constexpr Size window_size(int dpi) {
    return {1140 * dpi / 96, 780 * dpi / 96};
}
constexpr Size minimum_size(int dpi) {
    return {1000 * dpi / 96, 700 * dpi / 96};
}
// Where windows open when TESS_OFFSCREEN is set (to anything, even empty).
inline constexpr int kOffscreen = -10000;

// ---- state shared with the workers -------------------------------------------------------
struct PendingStatus {
    std::string text;
    StatusKind kind = StatusKind::Neutral;
    // A page apply's result waits for the rescan that follows it: shown before, the
    // rescan's own texts would replace it.
    bool after_rescan = false;

    bool operator==(const PendingStatus&) const = default;
};
// Several statuses as one line: the texts in order, the gravest kind (Problem over
// Success over Neutral). None for none.
std::optional<PendingStatus> join_statuses(std::span<const PendingStatus> statuses);

// Written by worker threads, read by the window; every access holds `mutex`.
struct SharedState {
    std::mutex mutex;
    MemoryStatus memory;                          // refreshed by the window while Home idles
    std::optional<ScanResult> scan;               // the last full scan
    std::optional<std::vector<DevFolder>> dev;    // none before the first developer-junk scan
    std::optional<OptimiseResult> optimise;       // the last Optimise run
    std::optional<std::uint8_t> score_before;     // health score when Optimise started
    std::vector<PendingStatus> pending_statuses;  // left by workers for the window to show
    bool focus_on = false;                        // focus.json exists
    std::optional<FocusState> focus;              // its contents, when readable
    bool autopilot_running = false;
    bool focus_toggling = false;
    bool dev_scanning = false;
};
// The process's one instance, created empty on first use.
SharedState& shared_state();

// Leaves a status for the window, after any left before (the caller holds no lock).
void post_status(SharedState& s, PendingStatus status);
// Takes the pending statuses out of `s`, joined; those waiting for a rescan only when
// `rescan_done` (the caller holds no lock).
std::optional<PendingStatus> take_pending_status(SharedState& s, bool rescan_done);
// Tests and sets a run flag in one step; false when it was already set.
bool try_begin(SharedState& s, bool SharedState::*flag);

}  // namespace tess::ui
