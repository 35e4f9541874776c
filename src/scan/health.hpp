// Problems closing apps cannot fix by itself - a full disk, no page file, too little
// RAM, a leaking program, a long uptime - and the health score out of 100 with the
// score the PC would reach after Optimise. Pure functions of the scan's figures.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/junk.hpp"
#include "scan/analyze.hpp"
#include "sys/hw.hpp"
#include "sys/procs.hpp"

namespace tess {

enum class Severity : std::uint8_t { Tip = 0, Warning = 1, Problem = 2 };

// "Tip", "Warning", "Problem".
std::string_view severity_text(Severity severity);

struct HealthItem {
    std::string title;
    std::string text;
    Severity severity = Severity::Tip;

    bool operator==(const HealthItem&) const = default;
};

struct DiskSpace {
    bool ok = false;         // the query of C:\ succeeded
    std::uint64_t free = 0;  // available to this user
    std::uint64_t total = 0;

    bool operator==(const DiskSpace&) const = default;
};

// What the checks read; the lists are borrowed from the scan for the call.
struct HealthInput {
    MemoryStatus memory;
    std::uint64_t uptime_ms = 0;
    DiskSpace disk;
    std::span<const ProcessInfo> processes;
    std::span<const AppGroup> apps;
    std::optional<RamInfo> ram;
};

// In the order the checks run: uptime, disk, page file, handle leaks, fast growth,
// terminals, browser, RAM.
std::vector<HealthItem> run_health_checks(const HealthInput& input);

struct HealthScore {
    std::uint8_t score = 100;
    std::uint8_t after_optimise = 100;  // never below score

    bool operator==(const HealthScore&) const = default;
};

// `suggestions` after the keep list; `junk` ticks are the default ticks.
HealthScore health_score(const HealthInput& input, std::span<const Suggestion> suggestions,
                         std::span<const JunkRow> junk, std::span<const HealthItem> items);

}  // namespace tess
