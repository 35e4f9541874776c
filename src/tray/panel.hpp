// The quick panel's decisions: its modes and their texts, the one-click proposal made from
// a full scan, the gauge and the layout. The window lives in panel_win.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "changes/apply.hpp"
#include "core/memory.hpp"
#include "model/actions.hpp"
#include "model/junk.hpp"
#include "scan/analyze.hpp"
#include "tray/toast.hpp"

namespace tess {

enum class PanelMode : std::uint8_t {
    Checking = 0,  // the check runs
    Proposal = 1,  // something to fix
    NothingToFix = 2,
    Applying = 3,  // the one-click apply runs; the panel cannot be closed
    Done = 4,
};

// The main button's caption and whether it can be pressed.
std::string_view panel_button_text(PanelMode mode);
bool panel_button_enabled(PanelMode mode);
// "Checking what can be fixed…" or "Optimising…" above the step text.
std::string_view panel_busy_text(PanelMode mode);
// The step under it; steps above 3 read as 3.
std::string_view panel_step_text(PanelMode mode, int step);
// The user can close the panel (close button, icon click, focus loss) except while applying.
bool panel_can_close(PanelMode mode);

enum class MainButtonAction : std::uint8_t { None = 0, Apply = 1, Close = 2 };
MainButtonAction main_button_action(PanelMode mode, std::size_t action_count);
PanelMode mode_after_check(std::size_t action_count);

struct TopApp {
    std::string name;
    std::uint64_t bytes = 0;

    bool operator==(const TopApp&) const = default;
};
// The first three groups (they come largest first).
std::vector<TopApp> top_apps(const std::vector<AppGroup>& groups);

// What one click would do.
struct QuickProposal {
    std::vector<Action> actions;
    std::vector<std::string> lines;
    std::uint64_t ram_bytes = 0;   // of the programs it closes
    std::uint64_t disk_bytes = 0;  // of the junk it cleans

    bool operator==(const QuickProposal&) const = default;
};
// The ticked suggestions' actions in order, then a clean_junk action for every junk row that
// is ticked by default and has bytes or needs admin and could not be read completely.
QuickProposal quick_proposal(const std::vector<Suggestion>& suggestions,
                             const std::vector<JunkRow>& junk);
// Under the main button: "frees {} RAM · {} disk", "frees {} of RAM", "frees {} of disk" or
// nothing.
std::string proposal_subtitle(std::uint64_t ram_bytes, std::uint64_t disk_bytes);
// The done screen's heading: the test run's, "Done, with problems" ("Nothing could be
// changed" when nothing worked) or "Done! Your PC is optimised".
std::string_view done_heading(const OptimiseResult& result);
// Its result lines, problems first, at most three ("…and {} more" last when cut).
inline constexpr std::size_t kPanelDoneLines = 3;
std::vector<std::string> panel_done_lines(const OptimiseResult& result);

// The gauge: an arc of max(0.02, 0.5 x committed / total) of the circle, at most all of it,
// so a full ring means twice the RAM committed.
double gauge_sweep_degrees(const MemoryStatus& memory);
std::string_view memory_heading(MemoryLevel level);
std::string gauge_percent_text(const MemoryStatus& memory);
std::string memory_used_text(const MemoryStatus& memory);  // "{} used on {} of RAM"
std::string memory_free_text(const MemoryStatus& memory);  // "Free right now: {}"

// Child buttons.
inline constexpr int kPanelClose = 101;
inline constexpr int kPanelMain = 102;
inline constexpr int kPanelOpen = 103;
inline constexpr int kPanelFocus = 104;
inline constexpr std::uint32_t kPanelSpinnerTimer = 2;
inline constexpr std::uint32_t kPanelSpinnerMs = 40;

// In pixels at the system DPI.
struct PanelLayout {
    int width = 0;
    int height = 0;
    PopupRect close;
    PopupRect focus;
    PopupRect main;
    PopupRect open;
    PopupRect icon;  // the app icon
    PopupRect title;
    PopupRect gauge;    // the ring's bounding square
    PopupRect heading;  // beside the ring
    PopupRect used;
    PopupRect free;
    PopupRect apps_label;
    PopupRect apps[3];
    PopupRect action_area;
};
PanelLayout panel_layout(std::uint32_t dpi);

}  // namespace tess
