#include "changes/executor.hpp"
#include "changes/plan.hpp"
#include "core/roles.hpp"

namespace tess {

// Shows no window and writes nothing but the plan's journal. An invalid plan changes
// nothing.
int run_admin_helper(std::string_view plan_hex) {
    const PlanArgument argument = read_plan_argument(plan_hex);
    if (argument.exit_code != kHelperDone) return argument.exit_code;
    const ExecutorRun run =
        apply_ops(argument.plan.journal, argument.plan.ops, /*in_agent=*/true, argument.plan.run);
    // The caller finds the saved entries by the plan's run; one that could not be saved
    // leaves no trace there, so the exit code tells of it.
    for (const JournalEntry& e : run.entries)
        if (!entry_saved(e)) return kHelperUnsaved;
    return run.deferred.empty() ? kHelperDone : kHelperDeferred;
}

}  // namespace tess
