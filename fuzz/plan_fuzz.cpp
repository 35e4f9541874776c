// The admin helper reads its plan from an elevated command line: hex, then JSON.
// Whatever the reader accepts must write back and read again as the same plan.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "changes/plan.hpp"

namespace {

void round_trip(const tess::Plan& plan) {
    auto written = tess::serialize_plan(plan);
    if (!written) std::abort();  // parsed text is valid UTF-8, so it always writes
    auto again = tess::parse_plan(*written);
    if (!again || !(*again == plan)) std::abort();
    auto hex = tess::helper_parameters(plan);
    if (!hex || hex->rfind("apply-plan ", 0) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto plan = tess::parse_plan(text)) round_trip(*plan);
    const tess::PlanArgument arg = tess::read_plan_argument(text);
    if (arg.exit_code == tess::kHelperDone) {
        round_trip(arg.plan);
    } else if (arg.exit_code != tess::kHelperBadHex && arg.exit_code != tess::kHelperBadPlan) {
        std::abort();
    }
    return 0;
}
