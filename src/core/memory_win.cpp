#include "core/memory.hpp"
#include "core/win.hpp"

namespace tess {

MemoryStatus memory_status() {
    const auto m = win::memory_status_ex();
    if (!m) return {};
    return memory_status_from(m->ullTotalPhys, m->ullAvailPhys, m->ullTotalPageFile,
                              m->ullAvailPageFile);
}

std::uint64_t committed_memory() {
    return memory_status().commit_charge;
}

}  // namespace tess
