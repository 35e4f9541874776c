// The admin helper reads its plan from a file that an elevated command line names, with
// the file's SHA-256. Whatever the readers accept must write back and read again as the
// same plan, and every refusal is one of the helper's exit codes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "changes/plan.hpp"

namespace {

void round_trip(const tess::Plan& plan) {
    auto written = tess::serialize_plan(plan);
    if (!written) std::abort();  // parsed text is valid UTF-8, so it always writes
    auto again = tess::parse_plan(*written);
    if (!again || !(*again == plan)) std::abort();
}

void check(const tess::PlanArgument& arg) {
    if (arg.exit_code == tess::kHelperDone)
        round_trip(arg.plan);
    else if (arg.exit_code != tess::kHelperBadHex && arg.exit_code != tess::kHelperBadPlan)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto plan = tess::parse_plan(text)) round_trip(*plan);
    check(tess::read_plan_text(text));
    // A first line is the file's path and the rest its hash; the file holds the whole text.
    if (const auto nl = text.find('\n'); nl != std::string_view::npos) {
        const std::string_view file = text.substr(0, nl), sha = text.substr(nl + 1);
        const int code = tess::check_plan_arguments(file, sha);
        if (code != tess::kHelperDone && code != tess::kHelperBadHex &&
            code != tess::kHelperBadPlan)
            std::abort();
        check(tess::read_plan_file(file, sha, std::string(text), sha));
    }
    return 0;
}
