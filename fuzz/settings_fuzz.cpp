// settings.json is written by us, by crashes and by anything else on the machine.
// Whatever the reader accepts must write back and read again as the same record.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = tess::parse_settings(text);
    if (!parsed) return 0;
    const std::string written = tess::serialize_settings(*parsed);
    auto again = tess::parse_settings(written);
    if (!again) std::abort();
    // Invalid UTF-8 is written as U+FFFD, so compare the second generation exactly.
    if (tess::serialize_settings(*again) != written) std::abort();
    return 0;
}
