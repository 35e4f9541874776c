#include "ui/history_text.hpp"

#include <algorithm>
#include <variant>

#include "scan/analyze.hpp"
#include "ui/rows.hpp"

namespace tess::ui {

std::optional<KeptProgram> kept_program(const JournalEntry& entry) {
    const auto* kill = std::get_if<KillProcesses>(&entry.action);
    if (!kill) return std::nullopt;
    return KeptProgram{keep_key(kill->label), keep_name(kill->label)};
}

bool is_kept(const std::vector<std::string>& keep_running, std::string_view key) {
    return std::find(keep_running.begin(), keep_running.end(), key) != keep_running.end();
}

std::string keep_button_caption(std::string_view name, bool kept) {
    return kept ? "Let Optimise close " + std::string(name) + " again"
                : "Never close " + std::string(name) + " automatically";
}

bool toggle_kept(std::vector<std::string>& keep_running, std::string_view key) {
    const auto before = keep_running.size();
    std::erase(keep_running, key);
    if (keep_running.size() != before) return false;
    keep_running.emplace_back(key);
    return true;
}

std::string keep_status_text(std::string_view name, bool kept) {
    if (kept)
        return std::string(name) +
               " will be left running: one-click Optimise won't tick it and Autopilot won't "
               "close it. Undo this on the Autopilot & Focus page.";
    return std::string(name) + " can be closed by Optimise and Autopilot again when it sits idle.";
}

}  // namespace tess::ui
