// How full memory is, as the tray icon, the quick panel and the main window show it.
#pragma once

#include <cstdint>
#include <string_view>

namespace tess {

enum class MemoryLevel : std::uint8_t { Normal = 0, High = 1, Critical = 2 };

std::string_view memory_level_name(MemoryLevel level);

// committed = total page file - available page file (floored at 0).
MemoryLevel memory_level(std::uint64_t total_physical, std::uint64_t available_physical,
                         std::uint64_t committed);

#ifdef _WIN32
// Committed memory: total page file - available page file of GlobalMemoryStatusEx;
// 0 when that is negative or the call fails.
std::uint64_t committed_memory();
#endif

}  // namespace tess
