// focus.json may be left in any state by crashes and other programs. Whatever the
// reader accepts must write back and read again as the same record, and a power
// overlay text it holds either is rejected or reads back as the same GUID.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "autopilot/focus.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto guid = tess::parse_guid_text(text))
        if (tess::parse_guid_text(tess::guid_text(*guid)) != guid) std::abort();
    auto parsed = tess::parse_focus_state(text);
    if (!parsed) return 0;
    const std::string written = tess::serialize_focus_state(*parsed);
    auto again = tess::parse_focus_state(written);
    if (!again) std::abort();
    // Invalid UTF-8 is written as U+FFFD, so compare the second generation exactly.
    if (tess::serialize_focus_state(*again) != written) std::abort();
    if (again->power_prev)
        if (const auto guid = tess::parse_guid_text(*again->power_prev))
            if (tess::parse_guid_text(tess::guid_text(*guid)) != guid) std::abort();
    (void)tess::focus_summary(*again);
    return 0;
}
