#include "scan/scan_win.hpp"

#include "core/memory.hpp"
#include "core/policy.hpp"
#include "core/settings.hpp"
#include "core/win.hpp"
#include "model/journal.hpp"

namespace tess {

namespace {

constexpr std::uint64_t kSampleMs = 2000;

DiskSpace drive_c() {
    ULARGE_INTEGER available{}, total{};
    if (!::GetDiskFreeSpaceExW(L"C:\\", &available, &total, nullptr)) return {};
    return {true, available.QuadPart, total.QuadPart};
}

}  // namespace

ScanProbes system_scan_probes() {
    ScanProbes p;
    p.junk = [] { return scan_junk(); };
    p.services = [] { return list_services(); };
    p.startup = [] { return list_startup_entries(); };
    p.processes = [] { return list_processes(kSampleMs, true); };
    p.listeners = [](IpFamily family) { return tcp_ports(family); };
    p.memory = memory_status;
    p.now = win::filetime_now;
    p.own_pid = [] { return static_cast<std::uint32_t>(::GetCurrentProcessId()); };
    p.keep_running = [] { return load_settings_in_force().keep_running; };
    p.uptime_ms = [] { return static_cast<std::uint64_t>(::GetTickCount64()); };
    p.disk = drive_c;
    p.ram = read_ram_info;
    p.journal = [] { return load_journal(journal_path()).entries; };
    return p;
}

void run_full_scan(ScanSlot& slot, const ScanProbes& probes,
                   const std::function<void(int step)>& progress,
                   const std::function<void()>& done) {
    store_scan(slot, full_scan(probes, progress));
    done();
}

}  // namespace tess
