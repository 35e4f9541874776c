// The History page's keep-running button: which program a selected journal row offers to
// keep running, the button's caption, the change to the keep list and the status it shows.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/journal.hpp"

namespace tess::ui {

// The program a journal entry closed, when it is a kill_processes entry.
struct KeptProgram {
    std::string key;   // as stored in keep_running
    std::string name;  // as shown
    bool operator==(const KeptProgram&) const = default;
};
std::optional<KeptProgram> kept_program(const JournalEntry& entry);

bool is_kept(const std::vector<std::string>& keep_running, std::string_view key);
// "Never close {} automatically" or "Let Optimise close {} again".
std::string keep_button_caption(std::string_view name, bool kept);
// Adds the key when it is not in the list, else removes it; whether it is kept now.
bool toggle_kept(std::vector<std::string>& keep_running, std::string_view key);
// What the status line says after the click; kept: a success, else neutral.
std::string keep_status_text(std::string_view name, bool kept);

}  // namespace tess::ui
