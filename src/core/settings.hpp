// settings.json: the user's choices, read fresh at every use.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"

namespace tess {

struct Schedule {
    bool enabled = false;
    std::uint32_t every_days = 7;
    std::uint64_t last_run = 0;  // Unix seconds of the end of the last run; 0 = never
    std::string last_result;
    bool close_dev_servers = false;

    bool operator==(const Schedule&) const = default;
};

struct Settings {
    std::optional<std::string> skip_version;
    Schedule autopilot;
    std::vector<std::string> keep_running;

    bool operator==(const Settings&) const = default;
};

// Strict: a duplicated key, a wrong type, a negative or out-of-range number or
// trailing text is an error. Unknown keys are ignored.
Result<Settings> parse_settings(std::string_view text);
// Two-space pretty JSON, keys in their fixed order.
std::string serialize_settings(const Settings& settings);

#ifdef _WIN32
// The per-user data directory: TESS_DATA_DIR when absolute, else
// %LOCALAPPDATA%\Tessavo (or the temp folder's), migrating the earlier "Memvane"
// folder once. Always returns a path; creates the folder when it can.
std::string data_dir();

// Defaults on any problem; an invalid file is left as it is.
Settings load_settings();
// Written through settings.tmp and a rename, so a crash never leaves half a file.
// Errors are ignored.
void save_settings(const Settings& settings);
// The one way to change settings: load, modify and save under a per-user lock, so
// two processes changing different fields keep both changes.
void update_settings(const std::function<void(Settings&)>& change);
#endif

}  // namespace tess
