// The tray watch's calls into Autopilot and Focus mode on this PC.
#include "autopilot/autopilot.hpp"
#include "autopilot/autopilot_win.hpp"
#include "autopilot/focus.hpp"
#include "autopilot/focus_win.hpp"
#include "core/policy.hpp"
#include "tray/tray_win.hpp"

namespace tess {

TrayCalls tray_calls() {
    TrayCalls c;
    c.record_cpu_sample = [](std::uint64_t now) { record_cpu_sample(now); };
    c.autopilot_due = [](std::uint64_t now) { return autopilot_due(now); };
    c.run_autopilot = [] {
        const AutopilotRun run = run_autopilot();
        return AutopilotOutcome{run.junk_freed + run.memory_freed, run.failed,
                                autopilot_summary(run), run.test_run};
    };
    c.focus_is_on = [] { return focus_is_on(); };
    c.focus_refresh = [] { focus_refresh(); };
    c.focus_clear_stale = [] { focus_clear_stale(); };
    c.focus_toggle = [] {
        // Focus mode that is on can always be switched off.
        if (load_policy().focus_allowed == false && !focus_is_on())
            return "Focus mode: " + std::string(kSetByOrganisation);
        return focus_tray_toggle();
    };
    c.focus_summary = [] {
        const auto state = focus_load_state();
        return state ? focus_summary(*state) : std::string();
    };
    return c;
}

}  // namespace tess
