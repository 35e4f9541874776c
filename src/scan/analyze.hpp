// From one sample of the machine to what the user acts on: the apps using memory,
// biggest first, and the Optimise proposal - idle build daemons, forgotten dev servers,
// background helpers, services that need not start with Windows and startup apps -
// each with a ready-made action and a default tick. Pure functions of their inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/memory.hpp"
#include "model/actions.hpp"
#include "sys/procs.hpp"
#include "sys/services.hpp"
#include "sys/startup.hpp"

namespace tess {

// One per distinct image name.
struct AppGroup {
    std::string display_name;         // the image name without one trailing ".exe"
    std::string friendly_name;        // may be empty
    std::vector<ProcTarget> targets;  // the processes that may be ended
    std::uint64_t process_count = 0;
    std::uint64_t private_bytes = 0;  // "uses"
    std::uint64_t working_set = 0;    // "in fast RAM"
    bool is_protected = false;

    bool operator==(const AppGroup&) const = default;
};

enum class SuggestionSection : std::uint8_t {
    DevTool = 0,  // build daemons and dev servers
    BackgroundApp = 1,
    Service = 2,
    StartupApp = 3,
};

// "dev_tool", "background_app", "service", "startup_app".
std::string_view suggestion_section_text(SuggestionSection section);

struct Suggestion {
    std::string title;
    std::string detail;
    Action action;
    std::uint64_t bytes = 0;  // estimate of the private bytes the change frees
    bool ticked = false;      // the default tick
    SuggestionSection section = SuggestionSection::DevTool;

    bool operator==(const Suggestion&) const = default;
};

struct Snapshot {
    std::vector<ProcessInfo> processes;
    std::vector<ServiceInfo> services;
    std::vector<StartupEntry> startup;
    MemoryStatus memory;
    std::uint64_t now = 0;  // FILETIME
    std::uint32_t own_pid = 0;
};

// Without pid 0; by private bytes, largest first, ties in byte order of the lower-cased
// image name. This program and protected processes are counted, never targets.
std::vector<AppGroup> group_apps(const std::vector<ProcessInfo>& processes, std::uint32_t own_pid);

// Whole seconds from `created` to `now` (FILETIMEs); 0 when created is unknown or later.
std::uint64_t process_age(std::uint64_t created, std::uint64_t now);

// "2d 3h", "4h 5m", "12m", "under a minute".
std::string format_duration(std::uint64_t seconds);

// The folder name just above the first "\node_modules\" of the command line, or
// "unknown project".
std::string dev_server_project(std::string_view command_line);

// The lower-cased program path a startup command runs: the quoted part, else up to the
// first ".exe", else the first word.
std::string startup_program_path(std::string_view command);

// " (port 5173)", " (ports 3000, 5173)" or empty; `ports` sorted and unique.
std::string port_text(const std::vector<std::uint16_t>& ports);

// The whole proposal, by bytes, largest first; equal bytes keep the section order.
std::vector<Suggestion> build_suggestions(const Snapshot& snapshot);

// The form in which "keep it running" choices are stored: lower-case, without a leading
// count, "daemons"/"servers" made singular ("2 Gradle daemons" -> "gradle daemon").
std::string keep_key(std::string_view label);

// Unticks the kill suggestions whose label's key is in `keep_running`, and says why.
void apply_keep_list(std::vector<Suggestion>& suggestions,
                     const std::vector<std::string>& keep_running);

// The services worth listing on the Services page: running first, then by display name.
std::vector<std::size_t> services_to_show(const std::vector<ServiceInfo>& services);

}  // namespace tess
