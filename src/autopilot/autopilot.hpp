// Autopilot, the unattended clean-up: deletes old junk of the categories safe to clean
// without asking, and closes developer tools that sat idle for half an hour with
// nothing connected to them. It judges "idle" from cpu-history.json, the per-process
// CPU times the tray watch records every few minutes, which this module owns.
//
// The history, the due test, the idle judgement, the run and its summary are
// portable; the run acts through an AutopilotSystem, whose real calls are in
// autopilot_win.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "changes/executor.hpp"
#include "changes/plan.hpp"
#include "core/result.hpp"
#include "core/settings.hpp"
#include "model/actions.hpp"
#include "model/journal.hpp"
#include "model/junk.hpp"
#include "scan/analyze.hpp"
#include "sys/procs.hpp"

namespace tess {

// ---- cpu-history.json ----------------------------------------------------------------
struct CpuProc {
    std::uint32_t pid = 0;
    std::uint64_t created = 0;   // FILETIME
    std::uint64_t cpu_time = 0;  // user + kernel, 100-ns ticks

    bool operator==(const CpuProc&) const = default;
};

struct CpuSample {
    std::uint64_t time = 0;  // Unix seconds
    std::vector<CpuProc> procs;

    bool operator==(const CpuSample&) const = default;
};

// A sample stays while 0 <= now - time <= this.
inline constexpr std::uint64_t kCpuHistorySeconds = 7200;
// How long a tool must have been watched, and idle, before Autopilot closes it.
inline constexpr std::uint64_t kIdleWatchSeconds = 1800;
// CPU time a tool may use over that half hour and still count as idle (2 s).
inline constexpr std::uint64_t kIdleCpuTicks = 20'000'000;

// Compact JSON, oldest first: [{"time":T,"procs":[[pid,created,cpu],...]},...].
std::string serialize_cpu_history(const std::vector<CpuSample>& samples);
// Strict: one array of samples, every key present, each process exactly three
// unsigned numbers, nothing but white space around it.
Result<std::vector<CpuSample>> parse_cpu_history(std::string_view text);
// The history as it loads: anything invalid is empty.
std::vector<CpuSample> cpu_history_from(const std::optional<std::string>& bytes);

// Every row with pid > 4.
CpuSample cpu_sample_from(const std::vector<ProcessRow>& rows, std::uint64_t now);
// Drops samples from the future and older than two hours, then appends `sample`.
std::vector<CpuSample> extend_cpu_history(std::vector<CpuSample> history, CpuSample sample,
                                          std::uint64_t now);

// ---- the due test ----------------------------------------------------------------------
// GetSystemPowerStatus's answer.
struct PowerStatus {
    std::uint8_t ac_line = 255;
    std::uint8_t battery_flag = 255;
    std::uint8_t battery_percent = 255;
    std::uint8_t saver_on = 0;  // SystemStatusFlag
};

struct DueFacts {
    Schedule schedule;
    std::uint64_t now = 0;  // Unix seconds
    std::uint64_t idle_seconds = 0;
    std::optional<PowerStatus> power;                 // nothing when the call failed
    std::optional<std::uint32_t> notification_state;  // SHQueryUserNotificationState
    bool focus_on = false;
    std::vector<CpuSample> history;
};

// On mains, without a system battery, or with 30 % or more and battery saver off.
bool power_allows_run(const std::optional<PowerStatus>& power);
// Not busy, not full-screen Direct3D, not presenting, not quiet time.
bool user_allows_run(const std::optional<std::uint32_t>& notification_state);
bool autopilot_is_due(const DueFacts& facts);

// ---- one run -----------------------------------------------------------------------------
enum class KeptReason : std::uint8_t { InUse = 0, UsedRecently = 1, WatchedTooShort = 2 };
// "in use", "used in the last 30 minutes", "watched for less than 30 minutes".
std::string_view kept_reason_text(KeptReason reason);

struct AutopilotRun {
    std::vector<std::string> closed;  // labels (test run: would have been closed)
    std::vector<std::pair<std::string, KeptReason>> left_running;
    std::uint64_t junk_freed = 0;    // test run: bytes found
    std::uint64_t memory_freed = 0;  // bytes the closed items held
    std::uint64_t failed = 0;        // journal entries of this run that did not work
    bool test_run = false;

    bool operator==(const AutopilotRun&) const = default;
};

// "Deleted 312 MB of junk files; closed Gradle daemon (1.2 GB); left ... running" or
// "Nothing needed cleaning", after the failure count when a step failed, with the test-run
// note; a test run's "Would delete ..." and "would close ...".
std::string autopilot_summary(const AutopilotRun& run);

// A ticked dev-tool suggestion Autopilot may close.
struct CloseItem {
    KillProcesses action;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> procs;  // (pid, created)
    std::uint64_t bytes = 0;
    // Every process is in the list and is a Gradle or Kotlin build daemon.
    bool daemon = false;
};

// The ticked DevTool suggestions, in proposal order.
std::vector<CloseItem> close_items(const std::vector<Suggestion>& suggestions,
                                   const std::vector<ProcessInfo>& processes);

// What happens to one item: skipped silently, left running with a reason, or closed.
struct Verdict {
    enum Kind : std::uint8_t { Skip = 0, Keep = 1, Close = 2 };
    Kind kind = Skip;
    KeptReason reason = KeptReason::InUse;

    bool operator==(const Verdict&) const = default;
};

using CpuTimes = std::map<std::pair<std::uint32_t, std::uint64_t>, std::uint64_t>;

// ESTABLISHED rows' pids above 4.
std::set<std::uint32_t> connected_pids(const std::vector<TcpState>& v4,
                                       const std::vector<TcpState>& v6);
CpuTimes cpu_times_from(const std::vector<ProcessRow>& rows);
// The newest sample at least half an hour old (on equal times the later in the file).
const CpuSample* reference_sample(const std::vector<CpuSample>& history, std::uint64_t now);

// The idle judgement of one item.
Verdict judge_item(const CloseItem& item, bool close_dev_servers,
                   const std::set<std::uint32_t>& connected, const CpuTimes& cpu_now,
                   const std::vector<CpuSample>& history, std::uint64_t now);

// Everything a run reads and changes, so that it is decided and tested without
// Windows; autopilot_system() (autopilot_win.hpp) gives the real calls.
struct AutopilotSystem {
    bool dry_run = false;  // TESS_DRY_RUN
    std::string journal_path;
    std::uint32_t own_pid = 0;
    std::function<std::uint64_t()> now;  // Unix seconds
    // The seven junk rows; the run calls it on a thread of its own.
    std::function<std::vector<JunkRow>()> scan_junk;
    // The process list with a two-second CPU sample and paths.
    std::function<std::vector<ProcessInfo>()> processes;
    std::function<std::vector<ProcessRow>()> snapshot;
    std::function<std::vector<TcpState>(IpFamily)> connections;
    std::function<std::vector<CpuSample>()> cpu_history;
    std::function<Settings()> load_settings;
    // The locked load-change-save of settings.json.
    std::function<void(const std::function<void(Settings&)>&)> update_settings;
    // The executor, unelevated: its entries, and what would need administrator rights.
    std::function<ExecutorRun(const std::string&, const std::vector<Op>&)> apply;
};

// One whole run; saves last_run and last_result. Blocks for the CPU sample and the
// junk scan.
AutopilotRun run_autopilot(const AutopilotSystem& sys);

}  // namespace tess
