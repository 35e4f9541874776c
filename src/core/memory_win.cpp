#include "core/memory.hpp"
#include "core/win.hpp"

namespace tess {

std::uint64_t committed_memory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!::GlobalMemoryStatusEx(&status)) return 0;
    if (status.ullAvailPageFile > status.ullTotalPageFile) return 0;
    return status.ullTotalPageFile - status.ullAvailPageFile;
}

}  // namespace tess
