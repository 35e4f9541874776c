// cpu-history.json may be left in any state by crashes and other programs. Whatever
// the reader accepts must write back and read again as the same samples, and keeping
// two hours of it never grows it by more than the new sample.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "autopilot/autopilot.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = tess::parse_cpu_history(text);
    if (!parsed) return 0;
    const std::string written = tess::serialize_cpu_history(*parsed);
    auto again = tess::parse_cpu_history(written);
    if (!again || *again != *parsed) std::abort();
    if (tess::serialize_cpu_history(*again) != written) std::abort();
    const std::uint64_t now = parsed->empty() ? 0 : parsed->back().time;
    const auto kept = tess::extend_cpu_history(*parsed, {now, {}}, now);
    if (kept.size() > parsed->size() + 1 || kept.back().time != now) std::abort();
    (void)tess::reference_sample(*parsed, now);
    return 0;
}
