#include "core/memory.hpp"

namespace tess {

double committed_percent(const MemoryStatus& memory) {
    if (memory.total_physical == 0) return 0.0;
    return static_cast<double>(memory.commit_charge) / static_cast<double>(memory.total_physical) *
           100.0;
}

std::string_view memory_level_text(MemoryLevel level) {
    switch (level) {
        case MemoryLevel::High:
            return "High";
        case MemoryLevel::Critical:
            return "Critical";
        case MemoryLevel::Normal:
            break;
    }
    return "Normal";
}

MemoryStatus memory_status_from(std::uint64_t total_physical, std::uint64_t available_physical,
                                std::uint64_t total_page_file, std::uint64_t available_page_file) {
    return {total_physical, available_physical,
            total_page_file > available_page_file ? total_page_file - available_page_file : 0,
            total_page_file};
}

MemoryLevel memory_level(std::uint64_t total, std::uint64_t available, std::uint64_t committed) {
    if (total == 0) return MemoryLevel::Normal;
    const double t = static_cast<double>(total);
    const double avail = static_cast<double>(available) / t;
    const double commit = static_cast<double>(committed) / t;
    if (avail < 0.05 || commit >= 1.5) return MemoryLevel::Critical;
    if (commit >= 1.0 || avail < 0.12) return MemoryLevel::High;
    return MemoryLevel::Normal;
}

}  // namespace tess
