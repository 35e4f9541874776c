#include <windows.h>

#include <vector>

#include "core/win.hpp"
#include "sys/hw.hpp"

namespace tess {

std::optional<RamInfo> read_ram_info() {
    const UINT size = ::GetSystemFirmwareTable(kRawSmbiosSignature, 0, nullptr, 0);
    if (size <= 7) return std::nullopt;
    std::vector<unsigned char> table(size);
    // The table cannot change size between the calls; if it seems to, trust neither answer.
    if (::GetSystemFirmwareTable(kRawSmbiosSignature, 0, table.data(), size) != size)
        return std::nullopt;
    return parse_ram_info(table);
}

std::uint64_t idle_seconds() {
    if (const auto text = win::get_env("TESS_IDLE_SECS"))
        if (const auto value = parse_idle_override(*text)) return *value;
    LASTINPUTINFO info{};
    info.cbSize = sizeof info;
    if (!::GetLastInputInfo(&info)) return 0;
    return idle_seconds_between(::GetTickCount(), info.dwTime);
}

}  // namespace tess
