#include "sys/startup.hpp"

#include <cstring>

#include "core/text.hpp"

namespace tess {

std::string_view startup_location_text(StartupLocation location) {
    switch (location) {
        case StartupLocation::HkcuRun:
            return "hkcu_run";
        case StartupLocation::HklmRun:
            return "hklm_run";
        case StartupLocation::HklmRun32:
            return "hklm_run32";
    }
    return "hkcu_run";
}

std::optional<StartupLocation> startup_location_from_text(std::string_view text) {
    for (StartupLocation l : kStartupLocations)
        if (startup_location_text(l) == text) return l;
    return std::nullopt;
}

StartupKeys startup_keys(StartupLocation location) {
    constexpr std::string_view run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    constexpr std::string_view approved =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
    switch (location) {
        case StartupLocation::HkcuRun:
            return {false, run, approved};
        case StartupLocation::HklmRun:
            return {true, run, approved};
        case StartupLocation::HklmRun32:
            return {
                true, "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
                "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32"};
    }
    return {false, run, approved};
}

std::string registry_text(std::span<const unsigned char> data) {
    std::u16string units(data.size() / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), data.data(), units.size() * 2);
    const std::size_t nul = units.find(u'\0');
    if (nul != std::u16string::npos) units.resize(nul);
    return utf16_to_utf8(units);
}

bool startup_approved_enabled(std::span<const unsigned char> value) {
    return value.empty() || (value[0] & 1) == 0;
}

std::vector<unsigned char> build_startup_approved(
    const std::optional<std::vector<unsigned char>>& current, bool enable, std::uint64_t now) {
    std::vector<unsigned char> v =
        current && current->size() >= 12 ? *current : std::vector<unsigned char>(12, 0);
    v[0] = enable ? 2 : 3;
    const std::uint64_t when = enable ? 0 : now;
    for (int i = 0; i < 8; ++i)
        v[4 + i] = static_cast<unsigned char>(when >> (8 * i));
    return v;
}

std::string own_run_command(std::string_view executable) {
    std::string s = "\"";
    s += executable;
    s += "\" agent";
    return s;
}

}  // namespace tess
