#include "changes/plan.hpp"
#include "core/roles.hpp"

namespace tess {

int run_admin_helper(std::string_view plan_hex) {
    const auto bytes = decode_hex(plan_hex);
    if (!bytes) return 3;
    // No plan parser yet: nothing decoded is a valid plan.
    return 4;
}

}  // namespace tess
