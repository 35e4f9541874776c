#include "sys/services.hpp"

#include <cstring>

#include "core/text.hpp"

namespace tess {

std::uint64_t services_next_size(int, std::uint64_t current, std::uint64_t need) {
    return current + (need + 7) / 8 * 8 + 4096;
}

std::string terminated_text_in(std::span<const unsigned char> buffer, std::uint64_t base_address,
                               std::uint64_t pointer) {
    if (pointer == 0 || pointer < base_address || pointer - base_address >= buffer.size())
        return {};
    const std::size_t offset = static_cast<std::size_t>(pointer - base_address);
    std::u16string units;
    for (std::size_t at = offset; buffer.size() - at >= 2; at += 2) {
        char16_t u;
        std::memcpy(&u, buffer.data() + at, 2);
        if (u == 0) break;
        units.push_back(u);
    }
    return utf16_to_utf8(units);
}

std::string_view start_type_word(std::uint32_t start_type) {
    switch (start_type) {
        case 0:
            return "Boot";
        case 1:
            return "System";
        case 2:
            return "Automatic";
        case 3:
            return "Manual";
        case 4:
            return "Disabled";
        default:
            return "Unknown";
    }
}

std::string_view services_page_word(std::uint32_t start_type) {
    switch (start_type) {
        case 2:
            return "Always";
        case 3:
            return "When needed";
        case 4:
            return "Never";
        default:
            return "By Windows";
    }
}

std::string service_error_words(std::uint32_t code) {
    switch (code) {
        case 2:
            return "not found";
        case 5:
            return "access denied (needs admin)";
        case 1052:
        case 1061:
            return "service cannot accept that request right now";
        case 1060:
            return "service does not exist";
        default:
            return "Windows error " + std::to_string(code);
    }
}

}  // namespace tess
