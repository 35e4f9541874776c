// Focus mode on this PC: the entry points the tray watch and the Autopilot & Focus page
// call (each blocks: call it on a worker thread), and the real FocusSystem.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "autopilot/focus.hpp"

namespace tess {

// SetProcessInformation(ProcessPowerThrottling) on an open process handle: execution
// speed throttling on, or back to Windows' own choice. True when Windows accepted it.
using SetThrottling = std::function<bool(void* process, bool on)>;
bool set_power_throttling(void* process, bool on);

// powrprof.dll's "PowerGetActualOverlayScheme" and "PowerSetActiveOverlayScheme".
PowerOverlay system_power_overlay();

// The pids of the top-level windows on screen (visible, not minimised, titled, not
// cloaked).
std::vector<std::uint32_t> on_screen_pids();

// Efficiency mode on and a normal priority lowered, after checking the creation time.
std::optional<std::uint32_t> slow_process(const ProcessInfo& process,
                                          const SetThrottling& throttle);
bool put_back_process(const Slowed& slowed, const SetThrottling& throttle);

// The real calls and data_dir's focus.json under the per-user lock; `dry_run` as the
// entry read it. Efficiency mode and the power overlay are parameters because Wine has
// neither: its tests record those calls while priorities and everything else stay real.
FocusSystem focus_system(bool dry_run, const SetThrottling& throttle = set_power_throttling,
                         const PowerOverlay& power = system_power_overlay());

bool focus_is_on();
std::optional<FocusState> focus_load_state();
FocusState focus_enter();
std::uint64_t focus_leave();
void focus_refresh();
void focus_clear_stale();
std::string focus_page_toggle();
std::string focus_tray_toggle();

}  // namespace tess
