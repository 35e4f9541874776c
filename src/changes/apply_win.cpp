#include "changes/apply_win.hpp"

#include "changes/executor.hpp"
#include "changes/plan_win.hpp"
#include "core/memory.hpp"
#include "core/roles.hpp"
#include "core/win.hpp"

namespace tess {

RunSystem run_system(HWND owner, bool dry_run) {
    RunSystem sys;
    sys.journal_path = journal_path();
    sys.dry_run = dry_run;
    sys.run = new_run_id();
    sys.apply = [run = sys.run](const std::string& path, const std::vector<Op>& ops) {
        return apply_ops(path, ops, /*in_admin_helper=*/false, run);
    };
    sys.elevate = [owner](const Plan& plan) { return run_elevated(plan, owner); };
    sys.load_journal = [](const std::string& path) { return load_journal(path); };
    sys.committed_memory = committed_memory;
    sys.sleep = [](std::uint32_t ms) { ::Sleep(ms); };
    return sys;
}

void tell_while_approving(RunSystem& sys, std::function<void(bool approving)> approving) {
    sys.elevate = [approving = std::move(approving),
                   elevate = std::move(sys.elevate)](const Plan& plan) {
        approving(true);
        ElevationResult r = elevate(plan);
        approving(false);
        return r;
    };
}

}  // namespace tess
