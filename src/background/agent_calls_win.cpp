// The tray watch's calls into Autopilot and Focus mode on this PC.
#include "background/agent_win.hpp"
#include "background/autopilot.hpp"
#include "background/autopilot_win.hpp"
#include "background/focus.hpp"
#include "background/focus_win.hpp"
#include "core/policy.hpp"

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
