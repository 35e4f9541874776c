#include "ui/setup_view.hpp"

#include "core/entry.hpp"

namespace tess {

std::string setup_window_title() {
    return "Tessavo Setup";
}

std::string setup_header_line() {
    return "Faster PC in one click  \u00B7  version " + std::string(kVersion);
}

std::string installs_to_line(std::string_view folder) {
    return "Installs to " + std::string(folder);
}

std::optional<std::string> installed_version_line(const std::optional<std::string>& installed) {
    if (!installed) return std::nullopt;
    if (*installed != kVersion)
        return "Version " + *installed + " is installed and will be updated to " +
               std::string(kVersion) + ".";
    return "Version " + *installed + " is already installed. Installing again repairs it.";
}

std::string setup_failed_line(std::string_view error) {
    return "Setup didn't finish: " + std::string(error);
}

std::string main_button_caption(const SetupModel& m) {
    switch (m.state) {
        case SetupState::Installing:
            return "Installing\u2026";
        case SetupState::Installed:
            return "Open Tessavo";
        case SetupState::Options:
        case SetupState::Failed:
            break;
    }
    if (!m.installed_version) return "Install";
    if (*m.installed_version == kVersion) return "Repair install";
    return "Update to " + std::string(kVersion);
}

std::string link_caption(SetupState state) {
    return state == SetupState::Installed ? "Close" : "Just run it without installing";
}

std::string option_card_caption(std::string_view title, bool on) {
    return std::string(title) + (on ? ": on" : ": off");
}

std::vector<InstalledRow> installed_rows(bool desktop, bool tray) {
    std::vector<InstalledRow> rows;
    rows.push_back({"Start menu", "search for \u201CTessavo\u201D"});
    if (desktop) rows.push_back({"Desktop", "the Tessavo icon"});
    if (tray) rows.push_back({"Tray", "the icon next to the clock, starts with Windows"});
    rows.push_back({"To remove it", "Settings \u2192 Apps \u2192 Installed apps"});
    return rows;
}

MainButtonAction press_main_button(SetupModel& m) {
    switch (m.state) {
        case SetupState::Installing:
            return MainButtonAction::Nothing;
        case SetupState::Installed:
            return MainButtonAction::OpenAndClose;
        case SetupState::Options:
        case SetupState::Failed:
            break;
    }
    m.state = SetupState::Installing;
    m.error.clear();
    return MainButtonAction::StartInstall;
}

bool press_link(SetupModel& m) {
    if (m.state != SetupState::Installed) m.run_without_installing = true;
    return true;
}

void finish_install(SetupModel& m, const std::optional<std::optional<std::string>>& result) {
    if (!result) {
        m.state = SetupState::Failed;
        m.error = std::string(kUnknownError);
        return;
    }
    if (*result) {
        m.state = SetupState::Failed;
        m.error = **result;
        return;
    }
    m.state = SetupState::Installed;
    m.error.clear();
}

}  // namespace tess
