// The full scan on this PC, as a window starts it.
#pragma once

#include <windows.h>

#include <functional>

#include "scan/scan.hpp"

namespace tess {

// The real readings of this PC.
ScanProbes system_scan_probes();

// The scan worker: runs full_scan, reporting each step to `progress`, stores the result in
// `slot` and calls `done`. The window that starts it turns both into posts.
void run_full_scan(ScanSlot& slot, const ScanProbes& probes,
                   const std::function<void(int step)>& progress,
                   const std::function<void()>& done);

}  // namespace tess
