// The admin helper's plan arrives hex-encoded on an elevated command line.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "changes/plan.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto bytes = tess::decode_hex(text);
    if (!bytes) return 0;
    if (bytes->size() * 2 != text.size()) std::abort();
    if (auto back = tess::decode_hex(tess::encode_hex(*bytes)); !back || *back != *bytes)
        std::abort();
    return 0;
}
