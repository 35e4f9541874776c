// Focus mode: while it is on, busy background programs run in Windows' efficiency mode
// (and at below-normal priority when they were at normal), and the power mode overlay
// is Best performance. Programs on screen, everything they started and a list of
// programs that must never stutter keep full speed. The whole state is focus.json in
// the data directory: Focus mode is on exactly when that file exists.
//
// The records, their JSON, the choice of programs, the texts and the flows are
// portable; the flows act through a FocusSystem, whose real calls are in focus_win.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/result.hpp"
#include "sys/procs.hpp"

namespace tess {

// Windows priority classes Focus mode reads and sets.
inline constexpr std::uint32_t kNormalPriority = 0x20;
inline constexpr std::uint32_t kBelowNormalPriority = 0x4000;

// One program Focus mode slowed.
struct Slowed {
    std::uint32_t pid = 0;
    std::uint64_t created = 0;  // FILETIME; with pid, the process identity
    std::string name;           // image name as the process list reports it
    // The priority class to put back: kNormalPriority when Focus mode lowered it, 0
    // when it left the priority alone.
    std::uint32_t priority = 0;

    bool operator==(const Slowed&) const = default;
};

// The root of focus.json.
struct FocusState {
    std::uint64_t since = 0;  // Unix seconds when Focus mode was turned on
    std::optional<std::string>
        power_prev;              // the overlay before, 32 hex digits; null = not switched
    std::vector<Slowed> slowed;  // in the order they were slowed

    bool operator==(const FocusState&) const = default;
};

// Two-space pretty JSON, keys in their fixed order.
std::string serialize_focus_state(const FocusState& state);
// Strict: every key required, nothing but white space around the object.
Result<FocusState> parse_focus_state(std::string_view text);

// A GUID in its parts, without <windows.h>.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    bool operator==(const Guid&) const = default;
};

// The Best performance power mode overlay.
inline constexpr Guid kBestPerformanceOverlay{
    0xded574b5, 0x45a0, 0x4f42, {0x87, 0x37, 0x46, 0x34, 0x5c, 0x09, 0xc2, 0x38}};

// The 32 hexadecimal digits in canonical order, lower case, no dashes or braces.
std::string guid_text(const Guid& guid);
// An optional "+" and hexadecimal digits (either case) whose value fits 128 bits, read
// as that number in canonical order; nothing for any other text.
std::optional<Guid> parse_guid_text(std::string_view text);

// Calls, music, video, browsers, anti-cheat and a few system programs: never slowed.
std::span<const std::string_view> never_slow_names();
bool is_never_slow(std::string_view image_name);

// A top-level window as the on-screen test sees it.
struct TopWindow {
    std::uint32_t pid = 0;
    bool visible = false;
    bool minimised = false;
    std::size_t title_length = 0;
    std::uint32_t cloaked = 0;  // DWMWA_CLOAKED; 0 when the query failed
};
// Visible, not minimised, titled and not cloaked.
bool window_on_screen(const TopWindow& window);

// Who must keep full speed: the on-screen processes and all their descendants, and any
// process with the image name of an on-screen one (a windowless second copy).
struct Protection {
    std::unordered_set<std::uint32_t> pids;
    std::unordered_set<std::string> names;  // lower-cased
};
Protection build_protection(const std::vector<ProcessInfo>& snapshot,
                            const std::vector<std::uint32_t>& on_screen);
bool is_shielded(const Protection& protection, const ProcessInfo& process);

// A process is busy from this share of the whole machine over the sample.
inline constexpr float kFocusBusyPercent = 0.1f;

// The busy background processes to slow, in snapshot order: not pid 0-4, not this
// program, not shielded, not a protected system process, not on the never-slow list,
// busy, and not already slowed (same pid and creation time).
std::vector<ProcessInfo> busy_background_candidates(const std::vector<ProcessInfo>& snapshot,
                                                    const std::vector<std::uint32_t>& on_screen,
                                                    std::uint32_t own_pid,
                                                    const std::vector<Slowed>& slowed);

// "no busy background programs right now", "1 background program in efficiency mode",
// "{} background programs in efficiency mode", wrapped as "{} · power mode: Best
// performance" when the overlay was switched.
std::string focus_summary(std::size_t slowed, bool power_switched);
std::string focus_summary(const FocusState& state);
// What the Autopilot & Focus page's toggle reports.
std::string focus_page_on_text(const FocusState& state);
std::string focus_page_off_text(std::uint64_t put_back);
// What the tray menu's and the quick panel's toggle reports.
std::string focus_tray_on_text(const FocusState& state);
std::string focus_tray_off_text(std::uint64_t put_back);

// Now minus the time since boot, in Unix seconds, floored at 0.
std::uint64_t boot_time(std::uint64_t now_unix, std::uint64_t uptime_ms);

// The power mode overlay functions of powrprof.dll, looked up at run time.
struct PowerOverlay {
    // powrprof.dll loads and has both functions.
    std::function<bool()> available;
    // The active overlay; nothing when the call fails or the functions are missing.
    std::function<std::optional<Guid>()> active;
    // True when the overlay was switched.
    std::function<bool(const Guid&)> set_active;
};

// Everything the flows read and change, so that they are decided and tested without
// Windows; focus_system() (focus_win.hpp) gives the real calls.
struct FocusSystem {
    bool dry_run = false;  // TESS_DRY_RUN: go through the steps, change nothing
    std::uint32_t own_pid = 0;
    std::function<std::uint64_t()> now;        // Unix seconds
    std::function<std::uint64_t()> uptime_ms;  // since boot
    // The process list with a one-second CPU sample, without paths.
    std::function<std::vector<ProcessInfo>()> sample;
    std::function<std::vector<std::uint32_t>()> on_screen;
    // Puts the process into efficiency mode (and lowers a normal priority): the
    // priority to record, or nothing when it was skipped (gone, reused pid, refused).
    std::function<std::optional<std::uint32_t>(const ProcessInfo&)> slow;
    // Puts the process back; false when it is gone or its pid belongs to another now.
    std::function<bool(const Slowed&)> put_back;
    PowerOverlay power;
    // focus.json.
    std::function<bool()> state_exists;
    std::function<std::optional<std::string>()> read_state;  // nothing when unreadable
    std::function<void(const std::string&)> write_state;     // whole, errors ignored
    std::function<void()> delete_state;                      // errors ignored
    // Runs `work` holding the per-user Focus lock; re-entrant on one thread. Every
    // change of focus.json happens under it, so two toggles from different processes
    // never lose a slowed program.
    std::function<void(const std::function<void()>& work)> locked;
};

bool focus_is_on(const FocusSystem& sys);
// Nothing when focus.json is missing or invalid.
std::optional<FocusState> focus_load_state(const FocusSystem& sys);
// Turns Focus mode on, or returns the current state unchanged when it is already on.
FocusState focus_enter(const FocusSystem& sys);
// Turns it off; the number of programs put back to full speed.
std::uint64_t focus_leave(const FocusSystem& sys);
// While on: puts back what came on screen or was started by it, drops what exited,
// slows what became busy.
void focus_refresh(const FocusSystem& sys);
// Removes a state from before the last restart, restoring the power mode; the
// processes it names no longer exist and are not touched.
void focus_clear_stale(const FocusSystem& sys);
// The toggles: leave when on, enter when off; the text to show.
std::string focus_page_toggle(const FocusSystem& sys);
std::string focus_tray_toggle(const FocusSystem& sys);

}  // namespace tess
