// Win32 services: listing, start types, stopping, and the words every change
// message uses for start types and Windows error codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tess {

inline constexpr std::uint32_t kStartTypeUnknown = 0xFFFFFFFF;

// "Boot", "System", "Automatic", "Manual", "Disabled", else "Unknown".
std::string_view start_type_word(std::uint32_t start_type);
// The Services page's words: "By Windows", "Always", "When needed", "Never".
std::string_view services_page_word(std::uint32_t start_type);
// Short words for a Windows error code, for service, registry and file operations alike.
std::string service_error_words(std::uint32_t code);

}  // namespace tess
