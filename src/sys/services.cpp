#include "sys/services.hpp"

namespace tess {

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
