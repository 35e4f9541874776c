// The full scan on this PC, as a window starts it.
#pragma once

#include <windows.h>

#include "scan/scan.hpp"

namespace tess {

// The real readings of this PC.
ScanProbes system_scan_probes();

// The scan worker: runs full_scan, posting each step to `window` (kMainProgress), stores
// the result in `slot` and posts kMainScanDone with `quiet`. The window never waits for it.
void run_full_scan(HWND window, bool quiet, ScanSlot& slot,
                   const ScanProbes& probes = system_scan_probes());

}  // namespace tess
