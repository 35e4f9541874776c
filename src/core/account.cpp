#include "core/account.hpp"

#include <cstdint>

#include "core/text.hpp"

namespace tess {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Decimal below 2^32, one spelling only ("0", never "007").
bool is_u32_text(std::string_view part) {
    if (part.empty() || part.size() > 10 || (part.size() > 1 && part[0] == '0')) return false;
    const auto value = parse_decimal(part);
    return value && *value <= 0xFFFFFFFFu;
}

bool is_authority_text(std::string_view part) {
    if (part.size() == 14 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        for (char c : part.substr(2))
            if (!is_hex_digit(c)) return false;
        return true;
    }
    return is_u32_text(part);
}

constexpr std::string_view kMutexAll = "0x001F0001";  // MUTEX_ALL_ACCESS

std::string allow(std::string_view rights, std::string_view flags, std::string_view who) {
    return "(A;" + std::string(flags) + ";" + std::string(rights) + ";;;" + std::string(who) + ")";
}

}  // namespace

bool is_sid_text(std::string_view text) {
    constexpr std::string_view kPrefix = "S-1-";
    if (!text.starts_with(kPrefix)) return false;
    text.remove_prefix(kPrefix.size());
    int parts = 0;
    for (;;) {
        const std::size_t dash = text.find('-');
        const std::string_view part = text.substr(0, dash);
        if (!(parts == 0 ? is_authority_text(part) : is_u32_text(part))) return false;
        ++parts;
        if (dash == std::string_view::npos) break;
        text.remove_prefix(dash + 1);
    }
    return parts >= 2 && parts <= 16;  // the authority and 1-15 sub-authorities
}

bool same_account(std::string_view a, std::string_view b) {
    return is_sid_text(a) && is_sid_text(b) && to_lower_ascii(a) == to_lower_ascii(b);
}

std::string shared_lock_sddl(std::string_view own_sid, std::string_view also_sid) {
    std::string sddl = "D:" + allow(kMutexAll, "", own_sid);
    if (is_sid_text(also_sid) && !same_account(own_sid, also_sid))
        sddl += allow(kMutexAll, "", also_sid);
    return sddl + allow(kMutexAll, "", "SY") + allow(kMutexAll, "", "BA") + "S:(ML;;NW;;;ME)";
}

std::string private_folder_sddl(std::string_view sid) {
    return "D:P" + allow("FA", "OICI", sid) + allow("FA", "OICI", "BA") + allow("FA", "OICI", "SY");
}

}  // namespace tess
