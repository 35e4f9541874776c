#include "tray/panel_runs_win.hpp"

#include "core/log.hpp"
#include "core/roles.hpp"
#include "core/text.hpp"
#include "tray/panel_messages.hpp"

namespace tess {

void quick_optimise(const std::vector<Action>& actions, std::uint64_t junk_estimate, HWND panel,
                    const std::function<void(OptimiseResult)>& store) {
    RunSystem sys = run_system(panel, test_run_requested());
    tell_while_approving(sys, [panel](bool approving) {
        ::PostMessageW(panel, kPanelApproval, approving ? 1 : 0, 0);
    });
    quick_optimise(actions, junk_estimate, panel, store, sys);
}

void quick_optimise(const std::vector<Action>& actions, std::uint64_t junk_estimate, HWND panel,
                    const std::function<void(OptimiseResult)>& store, const RunSystem& sys) {
    OptimiseResult result = phased_run(
        actions, junk_estimate,
        [&](ApplyPhase phase) { ::PostMessageW(panel, kPanelStep, static_cast<WPARAM>(phase), 0); },
        sys);
    log_line("quick panel: done. " + join(result_lines(result), "; "));
    store(std::move(result));
    ::PostMessageW(panel, kPanelApplyDone, 0, 0);
}

}  // namespace tess
