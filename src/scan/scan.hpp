// The full scan behind "Scan now": processes with their listening ports, services,
// startup apps, memory, junk sizes, the Optimise proposal, the health checks and score,
// handed to a window as one result. Every reading goes through a probe, so a probe
// that fails (or a test that replaces it) only empties its part of the report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/json.hpp"
#include "model/journal.hpp"
#include "model/junk.hpp"
#include "scan/analyze.hpp"
#include "scan/health.hpp"
#include "sys/hw.hpp"
#include "sys/procs.hpp"
#include "sys/services.hpp"
#include "sys/startup.hpp"

namespace tess {

struct ScanReport {
    DiskSpace disk;
    std::optional<RamInfo> ram;
    std::uint64_t uptime_seconds = 0;
    std::vector<ProcessInfo> processes;  // with their listening ports
    std::vector<ServiceInfo> services;
    std::vector<StartupEntry> startup;
    MemoryStatus memory;
    std::uint64_t scan_time = 0;  // FILETIME
    std::uint32_t own_pid = 0;
    std::vector<Suggestion> suggestions;  // the Optimise proposal, after the keep list
    std::vector<JunkRow> junk;            // the seven categories in their order
    std::vector<HealthItem> health;
    std::uint8_t health_score = 100;
    std::uint8_t score_after = 100;
};

// What a window keeps from one scan.
struct ScanResult {
    ScanReport report;
    std::vector<AppGroup> apps;
    std::vector<std::size_t> services_shown;  // indices into report.services
    std::vector<JournalEntry> journal;        // read at the end of the scan, for History
};

// Every reading the scan makes. An empty probe, or one that throws, reads as nothing.
struct ScanProbes {
    std::function<std::vector<JunkRow>()> junk;
    std::function<std::vector<ServiceInfo>()> services;
    std::function<std::vector<StartupEntry>()> startup;
    std::function<std::vector<ProcessInfo>()> processes;  // with the 2-second CPU sample
    std::function<std::vector<TcpPort>(IpFamily)> listeners;
    std::function<MemoryStatus()> memory;
    std::function<std::uint64_t()> now;  // FILETIME
    std::function<std::uint32_t()> own_pid;
    std::function<std::vector<std::string>()> keep_running;
    std::function<std::uint64_t()> uptime_ms;
    std::function<DiskSpace()> disk;
    std::function<std::optional<RamInfo>()> ram;
    std::function<std::vector<JournalEntry>()> journal;
};

// The progress steps: 0 memory and running programs, 1 junk files, 2 startup apps and
// services, 3 health checks.
inline constexpr int kScanSteps = 4;
std::string_view scan_step_label(int step);

// IPv4 then IPv6 listeners: every distinct (pid, port) gives its port to the process with
// that pid, once; each process's ports end up sorted.
void merge_listening_ports(std::vector<ProcessInfo>& processes, const std::vector<TcpPort>& v4,
                           const std::vector<TcpPort>& v6);

// Runs the whole scan on the calling thread: the junk measurement on a thread of its own
// from the start, services, startup entries and listening ports on another while the
// process sample runs. `progress` is called with each step.
ScanResult full_scan(const ScanProbes& probes, const std::function<void(int step)>& progress);

// Where a window keeps the last scan. Workers store under the mutex; the window reads
// under it. `running` keeps to one scan at a time.
struct ScanSlot {
    std::mutex mutex;
    std::optional<ScanResult> result;
    bool running = false;
};

// Marks a scan as started; false when one is already running.
bool begin_scan(ScanSlot& slot);
// Replaces the previous result in one step and ends the running mark.
void store_scan(ScanSlot& slot, ScanResult result);

// One junk row as JSON, keys in a fixed order; the scan document leaves out the
// description, which the junk listing carries.
json::Out junk_row_json(const JunkRow& row, bool with_description);
// The whole result as JSON, and as lines for a person to read.
json::Out scan_result_json(const ScanResult& result);
std::string scan_summary(const ScanResult& result);

}  // namespace tess
