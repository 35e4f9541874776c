#include "ui/runs_win.hpp"

#include "core/roles.hpp"
#include "ui/ui_messages.hpp"

namespace tess {

void apply_run(HWND window, const std::vector<Action>& actions, std::uint64_t junk_estimate,
               const StoreOptimiseResult& store) {
    RunSystem sys = run_system(window, test_run_requested());
    tell_while_approving(sys, [window](bool approving) {
        ::PostMessageW(window, kMainApproval, approving ? 1 : 0, 0);
    });
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

}  // namespace tess
