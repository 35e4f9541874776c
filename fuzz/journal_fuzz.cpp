// journal.json may be left in any state by crashes and other programs. Whatever the
// reader accepts must save and load again to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/journal.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = tess::parse_journal(text);
    if (!parsed) return 0;
    const std::string saved = tess::serialize_journal(*parsed);
    auto again = tess::parse_journal(saved);
    if (!again) std::abort();
    if (tess::serialize_journal(*again) != saved) std::abort();
    (void)tess::next_entry_id(tess::Journal{"", *again});
    return 0;
}
