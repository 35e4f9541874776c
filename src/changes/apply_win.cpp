#include "changes/apply_win.hpp"

#include "background/panel_messages.hpp"

#include "changes/executor.hpp"
#include "changes/plan_win.hpp"
#include "core/log.hpp"
#include "core/memory.hpp"
#include "core/roles.hpp"
#include "core/win.hpp"
#include "ui/ui_messages.hpp"

namespace tess {

RunSystem run_system(HWND owner, bool dry_run) {
    RunSystem sys;
    sys.journal_path = journal_path();
    sys.dry_run = dry_run;
    sys.run = new_run_id();
    sys.apply = [run = sys.run](const std::string& path, const std::vector<Op>& ops) {
        return apply_ops(path, ops, /*in_agent=*/false, run);
    };
    sys.elevate = [owner](const Plan& plan) { return run_elevated(plan, owner); };
    sys.load_journal = [](const std::string& path) { return load_journal(path); };
    sys.committed_memory = committed_memory;
    sys.sleep = [](std::uint32_t ms) { ::Sleep(ms); };
    return sys;
}

void tell_while_approving(RunSystem& sys, HWND window, UINT message) {
    sys.elevate = [window, message, elevate = std::move(sys.elevate)](const Plan& plan) {
        ::PostMessageW(window, message, 1, 0);
        ElevationResult r = elevate(plan);
        ::PostMessageW(window, message, 0, 0);
        return r;
    };
}

void apply_run(HWND window, const std::vector<Action>& actions, std::uint64_t junk_estimate,
               const StoreOptimiseResult& store) {
    RunSystem sys = run_system(window, test_run_requested());
    tell_while_approving(sys, window, kMainApproval);
    apply_run(window, actions, junk_estimate, store, sys);
}

void apply_run(HWND window, const std::vector<Action>& actions, std::uint64_t junk_estimate,
               const StoreOptimiseResult& store, const RunSystem& sys) {
    OptimiseResult result = phased_run(
        actions, junk_estimate,
        [&](ApplyPhase phase) {
            ::PostMessageW(window, kMainProgress, static_cast<WPARAM>(phase), 0);
        },
        sys);
    store(std::move(result));
    ::PostMessageW(window, kMainApplyDone, 0, 0);
}

void apply_changes(const std::vector<Op>& ops, HWND window, const StoreChangesStatus& store) {
    apply_changes(ops, window, store, run_system(window, test_run_requested()));
}

void apply_changes(const std::vector<Op>& ops, HWND window, const StoreChangesStatus& store,
                   const RunSystem& sys) {
    store(changes_run(ops, sys));
    ::PostMessageW(window, kMainChangesDone, 0, 0);
}

void quick_optimise(const std::vector<Action>& actions, std::uint64_t junk_estimate, HWND panel,
                    const StoreOptimiseResult& store) {
    RunSystem sys = run_system(panel, test_run_requested());
    tell_while_approving(sys, panel, kPanelApproval);
    quick_optimise(actions, junk_estimate, panel, store, sys);
}

void quick_optimise(const std::vector<Action>& actions, std::uint64_t junk_estimate, HWND panel,
                    const StoreOptimiseResult& store, const RunSystem& sys) {
    OptimiseResult result = phased_run(
        actions, junk_estimate,
        [&](ApplyPhase phase) { ::PostMessageW(panel, kPanelStep, static_cast<WPARAM>(phase), 0); },
        sys);
    std::string joined;
    for (const auto& line : result_lines(result)) {
        if (!joined.empty()) joined += "; ";
        joined += line;
    }
    log_line("quick panel: done. " + joined);
    store(std::move(result));
    ::PostMessageW(panel, kPanelApplyDone, 0, 0);
}

}  // namespace tess
