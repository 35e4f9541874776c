#include "autopilot/autopilot_win.hpp"
#include <windows.h>

#include <windows.h>

#include <shellapi.h>

#include "autopilot/focus_win.hpp"
#include "changes/executor.hpp"
#include "core/datafile_win.hpp"
#include "core/paths.hpp"
#include "core/policy.hpp"
#include "core/roles.hpp"
#include "core/timeutil.hpp"
#include "core/win.hpp"
#include "sys/hw.hpp"

namespace tess {

namespace {

// Two hours of samples of a few hundred processes take well under a megabyte; a file
// far beyond that is not one the program wrote.
constexpr std::uint64_t kMaxHistoryBytes = 16 * 1024 * 1024;

std::string history_path(const std::string& dir) {
    return join_path(dir, "cpu-history.json");
}

std::vector<CpuSample> read_history(const std::string& dir) {
    return cpu_history_from(read_data_file(history_path(dir), kMaxHistoryBytes));
}

std::optional<PowerStatus> power_status() {
    SYSTEM_POWER_STATUS ps{};
    if (!::GetSystemPowerStatus(&ps)) return std::nullopt;
    PowerStatus p;
    p.ac_line = ps.ACLineStatus;
    p.battery_flag = ps.BatteryFlag;
    p.battery_percent = ps.BatteryLifePercent;
    // SystemStatusFlag (battery saver), the byte after BatteryLifePercent; older SDK
    // headers call it Reserved1.
    p.saver_on = reinterpret_cast<const BYTE*>(&ps)[3];
    return p;
}

}  // namespace

std::optional<std::uint32_t> notification_state() {
    QUERY_USER_NOTIFICATION_STATE state{};
    if (FAILED(::SHQueryUserNotificationState(&state))) return std::nullopt;
    return static_cast<std::uint32_t>(state);
}

std::vector<CpuSample> load_cpu_history() {
    return read_history(data_dir());
}

void record_cpu_sample(std::uint64_t now) {
    CpuSample sample = cpu_sample_from(process_snapshot(), now);
    const std::string dir = data_dir();
    const win::NamedLock lock("cpu-history", dir);
    const auto history = extend_cpu_history(read_history(dir), std::move(sample), now);
    win::replace_file_atomic(history_path(dir), join_path(dir, "cpu-history.tmp"),
                             serialize_cpu_history(history));
}

bool autopilot_due(std::uint64_t now) {
    DueFacts facts;
    facts.schedule = load_settings_in_force().autopilot;
    if (!facts.schedule.enabled) return false;  // the usual answer, without the readings
    facts.now = now;
    facts.idle_seconds = idle_seconds();
    facts.power = power_status();
    facts.notification_state = notification_state();
    facts.focus_on = focus_is_on();
    facts.history = load_cpu_history();
    return autopilot_is_due(facts);
}

AutopilotSystem autopilot_system(bool dry_run) {
    AutopilotSystem sys;
    sys.dry_run = dry_run;
    sys.journal_path = journal_path();
    sys.own_pid = ::GetCurrentProcessId();
    sys.now = unix_now;
    sys.scan_junk = [] { return scan_junk(); };
    sys.processes = [] { return list_processes(2000, true); };
    sys.snapshot = [] { return process_snapshot(); };
    sys.connections = [](IpFamily family) { return tcp_connections(family); };
    sys.cpu_history = [] { return load_cpu_history(); };
    sys.load_settings = [] { return load_settings_in_force(); };
    sys.update_settings = [](const std::function<void(Settings&)>& change) {
        update_settings(change);
    };
    sys.apply = [](const std::string& path, const std::vector<Op>& ops) {
        return apply_ops(path, ops, /*in_admin_helper=*/false);
    };
    return sys;
}

AutopilotRun run_autopilot() {
    return run_autopilot(autopilot_system(test_run_requested()));
}

}  // namespace tess
