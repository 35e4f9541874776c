// The SMBIOS table comes from the firmware, which vendors fill in by hand. Whatever it
// holds, the walk must stay inside the buffer and describe only what it could read.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "sys/hw.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto info = tess::parse_ram_info(std::span<const unsigned char>(data, size));
    if (size < 8) {
        if (info) std::abort();
        return 0;
    }
    if (!info) std::abort();
    // Every module and empty slot needs a device record of more than 20 bytes.
    if ((info->modules.size() + info->empty_slots) * 21 > size - 8) std::abort();
    for (const tess::MemoryModule& m : info->modules)
        if (m.size_mb == 0 || m.type_label.empty() || m.form_factor.empty()) std::abort();
    return 0;
}
