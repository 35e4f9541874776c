#include "setup/setup_view.hpp"

#include <algorithm>

#include "core/entry.hpp"
#include "core/text.hpp"

namespace tess {

std::string setup_window_title() {
    return "Tessavo Setup";
}

std::string setup_header_line() {
    return "Faster PC in one click  \u00B7  version " + std::string(kVersion);
}

std::string setup_header_note(std::uint64_t install_bytes) {
    std::string text = "Installs just for you: no admin needed";
    if (install_bytes > 0) text += ", " + size_text(install_bytes);
    return text + ".";
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

SetupLayout setup_layout(int w, int h, int dpi, const SetupModel& m) {
    const auto s = [dpi](int v) { return ui::scale(v, dpi); };
    const int left = s(28);
    const int right = w - s(28);
    SetupLayout l;
    l.header = {0, 0, w, s(176)};
    l.icon = {s(30), s(38), s(30) + s(64), s(38) + s(64)};
    l.brand = {s(112), s(40), right, s(82)};
    l.header_line = {s(112), s(84), right, s(108)};
    l.header_note = {s(30), s(128), right, s(156)};
    l.main_button = {left, h - s(128), right, h - s(68)};
    l.link = {left, h - s(60), right, h - s(22)};
    if (m.state == SetupState::Installed) {
        l.check = {left, s(206), left + s(40), s(240)};
        l.installed_title = {left + s(48), s(204), right, s(242)};
        l.where_heading = {s(30), s(258), right, s(282)};
        const auto rows = installed_rows(m.desktop, m.tray);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const int top = s(286) + static_cast<int>(i) * s(30);
            l.row_labels.push_back({s(30), top, s(150), top + s(26)});
            l.row_texts.push_back({s(150), top, right, top + s(26)});
        }
        return l;
    }
    l.options_heading = {left, s(196), right, s(226)};
    l.desktop_card = {left, s(236), right, s(302)};
    l.tray_card = {left, s(312), right, s(378)};
    l.installs_to = {left, s(392), right, s(414)};
    int below = s(414);
    if (installed_version_line(m.installed_version)) {
        l.version_line = {left, s(414), right, s(436)};
        l.closed_line = {left, s(436), right, s(458)};
        below = s(458);
    }
    if (m.state == SetupState::Failed)
        l.failed_text = {left, below + s(8), right,
                         std::max(below + s(8), l.main_button.top - s(8))};
    return l;
}

CardLayout card_layout(ui::Rect card, int dpi) {
    const auto s = [dpi](int v) { return ui::scale(v, dpi); };
    const int text_right = card.right - s(16) - s(40) - s(16);  // clear of the switch
    return {
        {card.left + s(16), card.top + s(10), text_right, card.top + s(32)},
        {card.left + s(16), card.top + s(32), text_right, card.bottom - s(8)},
        {card.right - s(16) - s(40), card.top, card.right - s(16), card.bottom},
    };
}

}  // namespace tess
