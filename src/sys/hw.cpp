#include "sys/hw.hpp"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <limits>

#include "core/text.hpp"

namespace tess {

namespace {

constexpr std::size_t kRawHeader = 8;
constexpr unsigned char kTypeMemoryArray = 16;
constexpr unsigned char kTypeMemoryDevice = 17;
constexpr unsigned char kTypeEnd = 127;
constexpr unsigned char kUseSystemMemory = 3;
constexpr unsigned char kFormBuiltIn = 0x0B;

// Little-endian reads; callers have checked that the bytes lie inside `s`.
std::uint64_t le(std::span<const unsigned char> s, std::size_t at, std::size_t bytes) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        v |= static_cast<std::uint64_t>(s[at + i]) << (8 * i);
    return v;
}

std::uint64_t add_saturating(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

// String number `n` (from 1) of the string set `strings`; empty for 0 or past its end.
// Vendors pad names with spaces, so the ends are trimmed.
std::string smbios_string(std::span<const unsigned char> strings, unsigned n) {
    if (n == 0) return {};
    std::size_t at = 0;
    for (unsigned i = 1; at < strings.size() && strings[at] != 0; ++i) {
        std::size_t end = at;
        while (end < strings.size() && strings[end] != 0)
            ++end;
        if (i == n) {
            std::size_t b = at, e = end;
            while (b < e && (strings[b] == ' ' || strings[b] == '\t'))
                ++b;
            while (e > b && (strings[e - 1] == ' ' || strings[e - 1] == '\t'))
                --e;
            return std::string(reinterpret_cast<const char*>(strings.data() + b), e - b);
        }
        at = end + 1;
    }
    return {};
}

std::string_view memory_type_label(unsigned type) {
    switch (type) {
        case 0x18:
            return "DDR3";
        case 0x1A:
            return "DDR4";
        case 0x1B:
            return "LPDDR";
        case 0x1C:
            return "LPDDR2";
        case 0x1D:
            return "LPDDR3";
        case 0x1E:
            return "LPDDR4";
        case 0x22:
            return "DDR5";
        case 0x23:
            return "LPDDR5";
        default:
            return "RAM";
    }
}

std::string_view form_factor_label(unsigned form) {
    switch (form) {
        case 0x09:
            return "DIMM";
        case 0x0B:
            return "Built-in chips";
        case 0x0D:
            return "SO-DIMM (laptop stick)";
        case 0x0F:
            return "FB-DIMM";
        default:
            return "Other";
    }
}

void read_memory_array(std::span<const unsigned char> f, RamInfo& info) {
    const std::size_t length = f.size();
    if (length <= 5 || f[5] != kUseSystemMemory || length < 11) return;
    const std::uint64_t max_kb = le(f, 7, 4);
    if (max_kb != 0x80000000u) {
        info.max_capacity_mb = add_saturating(info.max_capacity_mb, max_kb / 1024);
    } else if (length > 22) {
        info.max_capacity_mb = add_saturating(info.max_capacity_mb, le(f, 15, 8) >> 20);
    }
}

void read_memory_device(std::span<const unsigned char> f, std::span<const unsigned char> strings,
                        RamInfo& info) {
    const std::size_t length = f.size();
    if (length <= 20) return;
    const std::uint64_t size = le(f, 12, 2);
    std::uint64_t mb = 0;
    if (size == 0 || size == 0xFFFF) {
        mb = 0;
    } else if (size == 0x7FFF) {
        mb = length > 31 ? (le(f, 28, 4) & 0x7FFFFFFFu) : 0;
    } else if (size & 0x8000) {
        mb = (size >> 10) & 0x1F;  // given in KB
    } else {
        mb = size;
    }
    if (mb == 0) {
        if (info.empty_slots < std::numeric_limits<std::uint32_t>::max()) ++info.empty_slots;
        return;
    }
    MemoryModule m;
    m.size_mb = mb;
    m.locator = smbios_string(strings, f[16]);
    m.type_label = memory_type_label(f[18]);
    m.form_factor = form_factor_label(f[14]);
    if (length > 22) m.speed_mts = static_cast<std::uint32_t>(le(f, 21, 2));
    if (length >= 27) m.part_number = smbios_string(strings, f[26]);
    const std::string lower = to_lower_ascii(m.locator);
    m.built_in = f[14] == kFormBuiltIn || (!contains(lower, "dimm") && !contains(lower, "slot"));
    info.modules.push_back(std::move(m));
}

}  // namespace

std::optional<RamInfo> parse_ram_info(std::span<const unsigned char> table) {
    if (table.size() < kRawHeader) return std::nullopt;
    const std::uint64_t declared = le(table, 4, 4);
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(declared, table.size() - kRawHeader));
    const std::span<const unsigned char> data = table.subspan(kRawHeader, length);

    RamInfo info;
    std::size_t at = 0;
    while (data.size() - at >= 6) {
        const unsigned char type = data[at];
        const std::size_t formatted = data[at + 1];
        if (formatted < 4 || type == kTypeEnd) break;
        if (formatted > data.size() - at) break;  // the formatted part is cut off
        const auto fields = data.subspan(at, formatted);
        // The string set ends with two zero bytes; a set that runs off the end is used
        // as far as it goes, and ends the walk.
        const std::size_t strings_at = at + formatted;
        std::size_t end = strings_at;
        while (end + 1 < data.size() && !(data[end] == 0 && data[end + 1] == 0))
            ++end;
        const bool terminated = end + 1 < data.size();
        const auto strings =
            data.subspan(strings_at, (terminated ? end : data.size()) - strings_at);

        if (type == kTypeMemoryArray) read_memory_array(fields, info);
        if (type == kTypeMemoryDevice) read_memory_device(fields, strings, info);

        if (!terminated) break;
        at = end + 2;
    }
    return info;
}

std::optional<std::uint64_t> parse_idle_override(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::uint64_t idle_seconds_between(std::uint32_t now_tick, std::uint32_t last_input_tick) {
    return static_cast<std::uint32_t>(now_tick - last_input_tick) / 1000;
}

}  // namespace tess
