// The update window's decisions: the release notes as display lines, its texts and the
// progress bar's fill. The window itself lives in update_window_win.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tess::ui {

enum class UpdatePhase : std::uint8_t {
    Offer = 0,       // "Update now", "Later", "Skip this version"
    Installing = 1,  // no buttons
    Failed = 2,      // "Close" only
    Installed = 3,   // closes itself after 900 ms
};

// What the window tells its opener.
enum class UpdateOutcome : std::uint8_t {
    HandedOver = 0,
    Skipped = 1,
    Closed = 2,  // any other way, also when the window could not be created
};

inline constexpr std::size_t kNoteLinesShown = 6;

// The release notes (Markdown) cut down to at most twelve plain lines: the section under a
// "What's new" heading when there is one, without tables, "Full changelog" links,
// heading marks, bullets, bold marks and backticks; at most 900 characters in all.
std::vector<std::string> update_note_lines(std::string_view body);

// "and {} more" under the sixth line; empty when all lines are shown.
std::string more_notes_text(std::size_t line_count);

// "You have {running} · {size} download · keeps your settings and history" (the size part
// left out when the download's size is not known).
std::string update_subtitle(std::string_view running_version, std::uint64_t download_bytes);

// The footer's status line in phases Installing and Installed; empty otherwise.
std::string update_status_text(UpdatePhase phase, std::uint64_t bytes, std::uint64_t total);
// "The update couldn't be installed: {}. Your current version keeps working." without a
// doubled full stop. `program_in_place`: this program's file is where it was; when a
// replace could not put it back, the text says where to get Tessavo again instead.
std::string update_failure_text(std::string_view error, bool program_in_place);
// The footer below its dividing line, in pixels at `dpi`: the buttons' row with 18 above
// and below (76 at 96 DPI), taller when the status text wraps past the buttons' height.
int update_footer_height(int dpi, int status_text_height);
// The client height the window grows to for a footer of `footer` pixels, at most
// `limit` (the work area's height less the frame).
int update_client_height(int footer_top, int footer, int limit);

// The progress bar's fill: bytes/total within 0.02-1, 0.1 while the total is unknown, full
// once installed.
double update_progress_fraction(UpdatePhase phase, std::uint64_t bytes, std::uint64_t total);

}  // namespace tess::ui
