// Programs that start at sign-in (the three Run keys) and their on/off state, which
// Windows keeps in a parallel StartupApproved value; and the program's own Run value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tess {

enum class StartupLocation : std::uint8_t { HkcuRun = 0, HklmRun = 1, HklmRun32 = 2 };
inline constexpr StartupLocation kStartupLocations[] = {
    StartupLocation::HkcuRun, StartupLocation::HklmRun, StartupLocation::HklmRun32};

// "hkcu_run", "hklm_run", "hklm_run32".
std::string_view startup_location_text(StartupLocation location);
// The exact texts above only; anything else (other case included) is nothing.
std::optional<StartupLocation> startup_location_from_text(std::string_view text);

struct StartupKeys {
    bool machine = false;       // HKEY_LOCAL_MACHINE, else HKEY_CURRENT_USER
    std::string_view run;       // the Run key
    std::string_view approved;  // its StartupApproved key (same root)
};
StartupKeys startup_keys(StartupLocation location);

struct StartupEntry {
    std::string name;     // the Run value's name
    std::string command;  // its data, unexpanded
    StartupLocation location = StartupLocation::HkcuRun;
    bool enabled = true;
};

// Registry text data (REG_SZ / REG_EXPAND_SZ bytes as stored): up to the first NUL unit, or
// all whole units when there is none; invalid UTF-16 becomes U+FFFD.
std::string registry_text(std::span<const unsigned char> data);

// A StartupApproved value's state: bit 0 of byte 0 set means disabled; a missing or
// empty value means enabled.
bool startup_approved_enabled(std::span<const unsigned char> value);

// The value to write when switching an entry: a copy of the current value when it has at
// least 12 bytes (else 12 zero bytes), byte 0 = 2 (enable) or 3 (disable), bytes 4-11 = 0
// or `now` (FILETIME, little-endian) for a disable.
std::vector<unsigned char> build_startup_approved(
    const std::optional<std::vector<unsigned char>>& current, bool enable, std::uint64_t now);

enum class ApprovedState : std::uint8_t { Present = 0, Absent = 1, Error = 2 };
struct ApprovedValue {
    ApprovedState state = ApprovedState::Absent;
    std::vector<unsigned char> bytes;  // Present
    std::uint32_t code = 0;            // Error: the Windows code
};

inline constexpr std::string_view kOwnRunValue = "Tessavo";
// The data of the program's own Run value: "\"{exe}\" agent".
std::string own_run_command(std::string_view executable);

#ifdef _WIN32
// Every entry of hkcu_run, then hklm_run, then hklm_run32, in enumeration order.
std::vector<StartupEntry> list_startup_entries();
ApprovedValue read_startup_approved(StartupLocation location, std::string_view value_name);
// 0 on success, else the Windows code.
std::uint32_t write_startup_approved(StartupLocation location, std::string_view value_name,
                                     std::span<const unsigned char> bytes);
// An absent key or value counts as success.
std::uint32_t delete_startup_approved(StartupLocation location, std::string_view value_name);

// Writes (on) or deletes (off) the program's own per-user Run value; 0 or the Windows code.
std::uint32_t set_run_value(bool on, std::string_view executable);
bool run_value_present();
#endif

}  // namespace tess
