// How full memory is, as the tray icon, the quick panel and the main window show it.
#pragma once

#include <cstdint>
#include <string_view>

namespace tess {

enum class MemoryLevel : std::uint8_t { Normal = 0, High = 1, Critical = 2 };

std::string_view memory_level_text(MemoryLevel level);

// GlobalMemoryStatusEx's figures; all 0 when the call failed.
struct MemoryStatus {
    std::uint64_t total_physical = 0;
    std::uint64_t available_physical = 0;
    std::uint64_t commit_charge = 0;  // total page file - available page file, floored at 0
    std::uint64_t commit_limit = 0;   // total page file

    bool operator==(const MemoryStatus&) const = default;
};

MemoryStatus memory_status_from(std::uint64_t total_physical, std::uint64_t available_physical,
                                std::uint64_t total_page_file, std::uint64_t available_page_file);

// committed = total page file - available page file (floored at 0).
MemoryLevel memory_level(std::uint64_t total_physical, std::uint64_t available_physical,
                         std::uint64_t committed);

// Committed memory as a percentage of physical memory (above 100 when the page file
// is in use); 0 when the total is unknown.
double committed_percent(const MemoryStatus& memory);

#ifdef _WIN32
// This PC's figures now.
MemoryStatus memory_status();
// Committed memory: total page file - available page file of GlobalMemoryStatusEx;
// 0 when that is negative or the call fails.
std::uint64_t committed_memory();
#endif

}  // namespace tess
