// Autopilot on this PC: the entry points the tray watch and the Autopilot & Focus page
// call, and the real AutopilotSystem.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "autopilot/autopilot.hpp"

namespace tess {

// data_dir\cpu-history.json; anything missing, unreadable or invalid is empty.
std::vector<CpuSample> load_cpu_history();
// One snapshot appended to the history, which keeps the last two hours. `now` in
// Unix seconds. A failed write is ignored.
void record_cpu_sample(std::uint64_t now);
// SHQueryUserNotificationState's answer; none when it fails.
std::optional<std::uint32_t> notification_state();
// The due test the tray watch makes once a minute.
bool autopilot_due(std::uint64_t now);

// The real calls: the two-second sample with paths, the junk scan, the executor
// unelevated, data_dir's journal and settings; `dry_run` as the entry read it.
AutopilotSystem autopilot_system(bool dry_run);
// One whole run; blocks for a few seconds: call it on a worker thread.
AutopilotRun run_autopilot();

}  // namespace tess
