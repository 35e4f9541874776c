// The checksum list comes from the network. A checksum found for a name is always 64
// characters without upper-case letters.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "updates/update.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::string_view name : {"Tessavo.exe", "Tessavo-Setup.exe"}) {
        const auto sum = tess::updates::checksum_from_list(text, name);
        if (!sum) continue;
        if (sum->size() != 64) std::abort();
        for (char c : *sum)
            if (c >= 'A' && c <= 'Z') std::abort();
    }
    return 0;
}
