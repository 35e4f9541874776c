// Win32 services: listing, start types, stopping, and the words every change
// message uses for start types and Windows error codes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sys/retry.hpp"

namespace tess {

inline constexpr std::uint32_t kStartTypeUnknown = 0xFFFFFFFF;

struct ServiceInfo {
    std::string name;         // the key name
    std::string display;      // empty when the manager gives none
    std::string binary_path;  // empty when the configuration cannot be read
    std::uint32_t start_type = kStartTypeUnknown;
    std::uint32_t pid = 0;  // 0 when not running
    bool running = false;
};

// What query_service answers: code 0 and the configuration, or the Windows code.
struct ServiceConfig {
    std::uint32_t code = 0;
    std::uint32_t start_type = kStartTypeUnknown;
    std::string binary_path;
};

inline constexpr std::uint64_t kServicesFirstBuffer = 65'536;
inline constexpr int kServicesMaxCalls = 5;
// After ERROR_MORE_DATA the enumeration starts again with the current size plus the
// reported need rounded up to 8, plus 4 KiB.
std::uint64_t services_next_size(int calls_made, std::uint64_t current, std::uint64_t need);

// The NUL-terminated UTF-16 text at an absolute `pointer` into `buffer` (mapped at
// `base_address`), cut at the buffer's end; empty when the pointer is null or outside.
std::string terminated_text_in(std::span<const unsigned char> buffer, std::uint64_t base_address,
                               std::uint64_t pointer);

// "Boot", "System", "Automatic", "Manual", "Disabled", else "Unknown".
std::string_view start_type_word(std::uint32_t start_type);
// The Services page's words: "By Windows", "Always", "When needed", "Never".
std::string_view services_page_word(std::uint32_t start_type);
// Short words for a Windows error code, for service, registry and file operations alike.
std::string service_error_words(std::uint32_t code);

#ifdef _WIN32
// Every Win32 service in the manager's order; empty on failure. `first_buffer` is the size of
// the first enumeration buffer (tests pass a tiny one to force the restart).
std::vector<ServiceInfo> list_services(std::uint64_t first_buffer = kServicesFirstBuffer);
// 0 on success, else the Windows code.
std::uint32_t set_service_start(std::string_view name, std::uint32_t start_type);
// Asks the service to stop without waiting; one that is not running counts as stopped.
std::uint32_t stop_service(std::string_view name);
#endif

}  // namespace tess
