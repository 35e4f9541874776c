// What the tray watch calls in Autopilot and Focus mode. The real calls come from
// tray_calls(); the fields are plain functions so the tray's flow does not depend on how
// those modules gather their facts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "scan/analyze.hpp"

namespace tess {

struct AutopilotOutcome {
    std::uint64_t freed_bytes = 0;  // junk and memory together
    std::uint64_t failed = 0;
    std::string summary;
    bool test_run = false;
};

struct TrayCalls {
    std::function<void(std::uint64_t now_unix)> record_cpu_sample;
    std::function<bool(std::uint64_t now_unix)> autopilot_due;
    std::function<AutopilotOutcome()> run_autopilot;  // on a worker
    std::function<bool()> focus_is_on;
    std::function<void()> focus_refresh;         // on a worker
    std::function<void()> focus_clear_stale;     // on a worker, once at start
    std::function<std::string()> focus_toggle;   // the tray's toggle: its text; on a worker
    std::function<std::string()> focus_summary;  // the quick panel's Focus row while on
};

TrayCalls tray_calls();

// Starts this executable with `args` (empty: the main window); nobody waits for it.
void start_own_exe(const std::string& args);

}  // namespace tess
