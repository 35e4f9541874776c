// Hardware readings: the RAM modules the firmware describes (SMBIOS) and how long the
// user has been away from keyboard and mouse.
//
// The firmware table is untrusted bytes: its walker is a portable function that checks
// every offset against the buffer, tested natively and fuzzed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

struct MemoryModule {
    std::string locator;      // "DIMM A", "ChannelA-DIMM0", "Controller0-ChannelA"...
    std::string type_label;   // "DDR4", "LPDDR5", ... or "RAM"
    std::string form_factor;  // "DIMM", "SO-DIMM (laptop stick)", ... or "Other"
    std::string part_number;  // may be empty
    std::uint64_t size_mb = 0;
    std::uint32_t speed_mts = 0;  // 0 when unknown
    bool built_in = false;

    bool operator==(const MemoryModule&) const = default;
};

struct RamInfo {
    std::vector<MemoryModule> modules;
    std::uint32_t empty_slots = 0;
    std::uint64_t max_capacity_mb = 0;  // over every system-memory array

    bool operator==(const RamInfo&) const = default;
};

// The raw-SMBIOS provider ('RSMB') of GetSystemFirmwareTable.
inline constexpr std::uint32_t kRawSmbiosSignature = 0x52534D42;

// Reads the RAM description from what GetSystemFirmwareTable returned: the 8-byte raw
// header (table length at byte 4) and the structures after it. Nothing when the buffer
// is 7 bytes or shorter. A structure cut short or malformed ends the walk; what was read
// before it stands.
std::optional<RamInfo> parse_ram_info(std::span<const unsigned char> firmware_table);

// TESS_IDLE_SECS: decimal digits with an optional leading "+", fitting 64 bits.
std::optional<std::uint64_t> parse_idle_override(std::string_view text);
// Tick counts are 32-bit and wrap after 49.7 days; the difference wraps with them.
std::uint64_t idle_seconds_between(std::uint32_t now_tick, std::uint32_t last_input_tick);

#ifdef _WIN32
// Nothing when the firmware table cannot be read.
std::optional<RamInfo> read_ram_info();
// Seconds since the last keyboard or mouse input (TESS_IDLE_SECS replaces it); 0 when
// Windows cannot say.
std::uint64_t idle_seconds();
#endif

}  // namespace tess
