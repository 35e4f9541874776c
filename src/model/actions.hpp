// The changes the program makes to the computer, described before they are made:
// the action records, what a change replaced (kept for undo), their JSON form
// (shared by the journal and the admin helper's plan) and one-line descriptions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/json.hpp"
#include "sys/startup.hpp"  // StartupLocation and its texts

namespace tess {

// One process to end. (pid, created) identifies it; created 0 skips the check.
struct ProcTarget {
    std::uint32_t pid = 0;
    std::string name;
    std::uint64_t created = 0;  // FILETIME

    bool operator==(const ProcTarget&) const = default;
};

struct KillProcesses {
    std::string label;
    std::vector<ProcTarget> targets;

    bool operator==(const KillProcesses&) const = default;
};

struct SetServiceStart {
    std::string name;
    std::string display;
    std::uint32_t start = 0;  // Windows start type
    bool stop = false;

    bool operator==(const SetServiceStart&) const = default;
};

struct SetStartupEnabled {
    StartupLocation location = StartupLocation::HkcuRun;
    std::string value_name;
    bool enabled = false;

    bool operator==(const SetStartupEnabled&) const = default;
};

struct CleanJunk {
    std::string id;
    std::string label;

    bool operator==(const CleanJunk&) const = default;
};

struct DeleteDevFolder {
    std::string path;
    std::string label;

    bool operator==(const DeleteDevFolder&) const = default;
};

using Action =
    std::variant<KillProcesses, SetServiceStart, SetStartupEnabled, CleanJunk, DeleteDevFolder>;

// What was there before a change.
struct Nothing {
    bool operator==(const Nothing&) const = default;
};

struct ServiceStart {
    std::uint32_t start = 0;

    bool operator==(const ServiceStart&) const = default;
};

struct StartupApproved {
    // nullopt: there was no StartupApproved value; an empty vector is a value of length 0.
    std::optional<std::vector<std::uint8_t>> bytes;

    bool operator==(const StartupApproved&) const = default;
};

using Previous = std::variant<Nothing, ServiceStart, StartupApproved>;

// The JSON `kind` of each variant: "kill_processes", ..., "nothing", ...
std::string_view action_kind(const Action& action);
std::string_view previous_kind(const Previous& previous);

// Writing: tagged objects, `kind` first, then the fields in their fixed order.
json::Out write_proc_target(const ProcTarget& target);
json::Out write_action(const Action& action);
json::Out write_previous(const Previous& previous);

// Reading for a strict parse_document: every field required, unknown keys ignored;
// an unknown `kind`, a wrong type or an out-of-range number throws json::JsonInvalid.
ProcTarget read_proc_target(const json::Value& v);
Action read_action(const json::Value& v);
Previous read_previous(const json::Value& v);

// One line for change lists and History: "End Chrome (3 processes)", ...
std::string describe(const Action& action);

}  // namespace tess
