// The setup window's state, texts and commands, decided without Windows; the window
// procedure (setup_window_win.cpp) only paints what these say.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gui/paint.hpp"

namespace tess {

enum class SetupState : std::uint8_t {
    Options = 0,  // choosing
    Installing = 1,
    Installed = 2,
    Failed = 3,
};

struct SetupModel {
    SetupState state = SetupState::Options;
    bool desktop = true;  // "Desktop shortcut"
    bool tray = true;     // "Watch memory from the tray"
    bool run_without_installing = false;
    std::optional<std::string> installed_version;  // of the uninstall entry, read at start
    std::string install_folder;
    std::string error;                // Failed
    std::uint64_t install_bytes = 0;  // what an install writes; 0 when unknown
};

// Control ids.
inline constexpr int kSetupDesktopCard = 101;
inline constexpr int kSetupTrayCard = 102;
inline constexpr int kSetupMainButton = 110;
inline constexpr int kSetupLink = 111;

inline constexpr std::string_view kSetupOptionsHeading = "Options";
inline constexpr std::string_view kDesktopCardTitle = "Desktop shortcut";
inline constexpr std::string_view kDesktopCardText = "Put Tessavo on your desktop.";
inline constexpr std::string_view kTrayCardTitle = "Watch memory from the tray";
inline constexpr std::string_view kTrayCardText =
    "Starts quietly with Windows. Click the tray icon for one-click Optimise.";
inline constexpr std::string_view kClosedWhileUpdating = "Tessavo will be closed while it updates.";
inline constexpr std::string_view kInstalledTitle = "Tessavo is installed";
inline constexpr std::string_view kWhereToFindIt = "Where to find it";
inline constexpr std::string_view kUnknownError = "unknown error";

// "Tessavo Setup"
std::string setup_window_title();
// "Faster PC in one click  ·  version 0.5.0"
std::string setup_header_line();
// "Installs just for you: no admin needed, {size}." with the size of what it installs
// (without the size when it is 0, not known).
std::string setup_header_note(std::uint64_t install_bytes);
std::string installs_to_line(std::string_view folder);
// The line under "Installs to" when a version is installed, else nullopt.
std::optional<std::string> installed_version_line(const std::optional<std::string>& installed);
std::string setup_failed_line(std::string_view error);

// "Install", "Repair install", "Update to 0.5.0", "Installing…", "Open Tessavo".
std::string main_button_caption(const SetupModel& m);
// "Close" when installed, else "Just run it without installing".
std::string link_caption(SetupState state);
// The window text of an option card: its title and whether it is on, for screen readers.
std::string option_card_caption(std::string_view title, bool on);

struct InstalledRow {
    std::string label;
    std::string text;

    bool operator==(const InstalledRow&) const = default;
};
// "Where to find it": Start menu, Desktop (when chosen), Tray (when chosen), removal.
std::vector<InstalledRow> installed_rows(bool desktop, bool tray);

// ---- commands ---------------------------------------------------------------------------
enum class MainButtonAction : std::uint8_t {
    Nothing = 0,       // installing
    OpenAndClose = 1,  // installed: start the installed program, close the window
    StartInstall = 2,  // the worker starts; the state is Installing
};
// The main button pressed: the new state and what the window does.
MainButtonAction press_main_button(SetupModel& m);
// The link pressed: true when the window closes (always); sets run-without-installing
// unless installed.
bool press_link(SetupModel& m);
// The worker's result taken from the slot (nullopt when the slot was empty).
void finish_install(SetupModel& m, const std::optional<std::optional<std::string>>& result);

// ---- layout ---------------------------------------------------------------------------------
inline constexpr int kSetupWidth = 580;  // the window at 96 DPI, frame included
inline constexpr int kSetupHeight = 680;

// Where everything goes in a client area of w x h pixels at `dpi`.
struct SetupLayout {
    ui::Rect header;  // the dark band
    ui::Rect icon;    // 64 x 64
    ui::Rect brand, header_line, header_note;
    // Options, Installing, Failed:
    ui::Rect options_heading, desktop_card, tray_card, installs_to;
    ui::Rect version_line, closed_line;  // empty without an installed version
    ui::Rect failed_text;
    // Installed:
    ui::Rect check, installed_title, where_heading;
    std::vector<ui::Rect> row_labels, row_texts;
    // Both:
    ui::Rect main_button, link;
};
SetupLayout setup_layout(int w, int h, int dpi, const SetupModel& m);

// Inside an option card: title, description and the band the switch sits in.
struct CardLayout {
    ui::Rect title, text, switch_band;
};
CardLayout card_layout(ui::Rect card, int dpi);

}  // namespace tess
