// tessavo-cli.exe, the console companion of Tessavo.exe: the same modules, driven from
// a command line, with results on standard output and progress on standard error.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "autopilot/autopilot_win.hpp"
#include "autopilot/focus_win.hpp"
#include "changes/apply_win.hpp"
#include "cli/cli.hpp"
#include "core/json.hpp"
#include "core/log.hpp"
#include "core/policy.hpp"
#include "core/roles.hpp"
#include "core/settings.hpp"
#include "core/text.hpp"
#include "core/timeutil.hpp"
#include "core/win.hpp"
#include "model/devclean.hpp"
#include "model/journal.hpp"
#include "model/junk.hpp"
#include "scan/scan_win.hpp"

namespace tess {
namespace {

std::vector<std::string> arguments() {
    std::vector<std::string> args = win::command_line_args();
    if (!args.empty()) args.erase(args.begin());  // the program
    return args;
}

// A console gets UTF-16 (so any name prints whatever its code page); a pipe or file
// gets the UTF-8 bytes.
void write_to(DWORD which, std::string_view text) {
    const HANDLE h = ::GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD mode = 0;
    DWORD done = 0;
    if (::GetConsoleMode(h, &mode)) {
        const std::wstring wide = win::widen(text);
        ::WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
        return;
    }
    while (!text.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1 << 20));
        if (!::WriteFile(h, text.data(), chunk, &done, nullptr) || done == 0) return;
        text.remove_prefix(done);
    }
}

void out(std::string_view text) {
    write_to(STD_OUTPUT_HANDLE, text);
}

void err(std::string_view text) {
    write_to(STD_ERROR_HANDLE, text);
}

void print_step(int step) {
    err("Step " + std::to_string(step + 1) + "/" + std::to_string(kScanSteps) + ": " +
        std::string(scan_step_label(step)) + "\n");
}

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Every probe timed, so the figures say where the time beyond the sample goes.
struct Timings {
    std::mutex mutex;
    std::vector<std::pair<std::string, double>> probes;
    double sample_ms = 0;

    void add(std::string name, double ms) {
        std::lock_guard<std::mutex> lock(mutex);
        if (name == "processes") sample_ms = ms;
        probes.emplace_back(std::move(name), ms);
    }
};

template <class R, class... A>
std::function<R(A...)> timed(Timings& t, std::string name, std::function<R(A...)> probe) {
    return [&t, name = std::move(name), probe = std::move(probe)](A... args) -> R {
        const auto start = Clock::now();
        R result = probe(args...);
        t.add(name, ms_since(start));
        return result;
    };
}

std::string figure(double ms) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%8.1f ms", ms);
    return buf;
}

int scan_benchmark() {
    Timings t;
    ScanProbes p = system_scan_probes();
    p.junk = timed(t, "junk (own thread)", p.junk);
    p.services = timed(t, "services", p.services);
    p.startup = timed(t, "startup entries", p.startup);
    p.processes = timed(t, "processes", p.processes);
    p.listeners = timed(t, "listening ports", p.listeners);
    p.keep_running = timed(t, "settings", p.keep_running);
    p.disk = timed(t, "disk", p.disk);
    p.ram = timed(t, "firmware table", p.ram);
    p.journal = timed(t, "journal", p.journal);

    const auto start = Clock::now();
    const ScanResult result = full_scan(p, print_step);
    const double total = ms_since(start);

    std::string text = "full scan, wall time:                   " + figure(total) + "\n";
    text += "process list with its 2000 ms CPU sample:" + figure(t.sample_ms) + "\n";
    char ratio[96];
    std::snprintf(ratio, sizeof ratio, "scan / sample: %.3f (target <= 1.150)\n",
                  t.sample_ms > 0 ? total / t.sample_ms : 0.0);
    text += ratio;
    text += "probes:\n";
    for (const auto& [name, ms] : t.probes)
        text += "  " + name + std::string(name.size() < 22 ? 22 - name.size() : 0, ' ') +
                figure(ms) + "\n";
    text += std::to_string(result.report.processes.size()) + " processes, " +
            std::to_string(result.report.services.size()) + " services, " +
            std::to_string(result.report.startup.size()) + " startup entries, " +
            std::to_string(result.report.junk.size()) + " junk categories\n";
    out(text);
    return 0;
}

int scan_command(const cli::Request& request) {
    if (request.bench) return scan_benchmark();
    const ScanResult result = full_scan(system_scan_probes(), print_step);
    out(request.json ? json::dump_pretty(cli::scan_json(result)) + "\n" : scan_summary(result));
    return cli::kExitDone;
}

int junk_command(const cli::Request& request) {
    err("Measuring the junk categories\n");
    const std::vector<JunkRow> rows = scan_junk();
    out(request.json ? json::dump_pretty(cli::junk_json(rows)) + "\n" : cli::junk_text(rows));
    return cli::kExitDone;
}

// The prompt belongs to the console's window; while it is open the console says so.
RunSystem cli_run_system(bool dry_run) {
    RunSystem sys = run_system(::GetConsoleWindow(), dry_run);
    sys.elevate = [elevate = std::move(sys.elevate)](const Plan& plan) {
        err(std::string(kWaitingForApproval) + "\n");
        return elevate(plan);
    };
    return sys;
}

// The same run as a page apply: the executor, one hand-over for what needs admin rights,
// the journal the window writes.
int changes_command(const std::vector<Op>& ops, bool dry_run) {
    const RunSystem sys = cli_run_system(dry_run);
    err("Applying " + std::to_string(ops.size()) + " change(s)\n");
    const ChangesRun run = run_changes(ops, sys);
    out(cli::changes_text(run));
    return cli::changes_exit_code(run);
}

int clean_command(const cli::Request& request, bool dry_run) {
    auto ops = cli::clean_ops(request.operands);
    if (!ops) {
        err(ops.error() + "\n" + std::string(cli::usage_text()));
        return cli::kExitUsage;
    }
    return changes_command(*ops, dry_run);
}

int dev_command(const cli::Request& request) {
    err("Looking for developer folders (up to half a minute)\n");
    const std::vector<DevFolder> folders = scan_dev_junk(request.operands);
    out(request.json ? json::dump_pretty(cli::dev_json(folders)) + "\n" : cli::dev_text(folders));
    return cli::kExitDone;
}

std::string full_path(const std::string& path) {
    const std::wstring wide = win::widen(path);
    std::vector<wchar_t> buf(MAX_PATH);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD n =
            ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
        if (n == 0) break;
        if (n < buf.size()) return win::narrow(buf.data(), n);
        buf.resize(n + 1);
    }
    return path;
}

int dev_clean_command(const cli::Request& request, bool dry_run) {
    std::vector<std::string> paths;
    for (const auto& p : request.operands)
        paths.push_back(full_path(p));
    return changes_command(cli::dev_clean_ops(paths, package_caches()), dry_run);
}

bool stdin_is_console() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

std::string read_console_line() {
    wchar_t buf[256];
    DWORD read = 0;
    if (!::ReadConsoleW(::GetStdHandle(STD_INPUT_HANDLE), buf, 255, &read, nullptr)) return {};
    return win::narrow(buf, read);
}

int optimise_command(const cli::Request& request, bool dry_run) {
    const ScanResult scan = full_scan(system_scan_probes(), print_step);
    const cli::OptimisePlan plan = cli::optimise_plan(scan);
    if (plan.actions.empty()) {
        out(request.json ? json::dump_pretty(cli::optimise_json(plan, nullptr)) + "\n"
                         : std::string("Nothing needed changing.\n"));
        return cli::kExitDone;
    }
    if (!request.yes) {
        const std::string question = cli::optimise_question(plan, scan.journal);
        // Without a console nobody can answer: a script must say --yes.
        if (!stdin_is_console()) {
            err(question + "\nRefused: standard input is not a console; add --yes to go ahead.\n");
            return cli::kExitRefused;
        }
        err(question + " [y/N] ");
        if (!cli::is_yes(read_console_line())) {
            err("Nothing was changed.\n");
            return cli::kExitRefused;
        }
    }
    const RunSystem sys = cli_run_system(dry_run);
    const OptimiseResult result = phased_run(
        plan.actions, plan.junk_estimate,
        [](ApplyPhase phase) {
            const int step = static_cast<int>(phase) + 1;
            err("Step " + std::to_string(step) + "/4: " + std::string(cli::phase_label(phase)) +
                "\n");
        },
        sys);
    out(request.json ? json::dump_pretty(cli::optimise_json(plan, &result)) + "\n"
                     : cli::optimise_text(result));
    return cli::optimise_exit_code(result);
}

int focus_command(const cli::Request& request, bool dry_run) {
    const FocusSystem sys = focus_system(dry_run);
    const std::string& word = request.operands[0];
    if (word == "status") {
        const bool on = focus_is_on(sys);
        out(cli::focus_status_text(on, on ? focus_load_state(sys) : std::nullopt) + "\n");
    } else if (word == "on") {
        if (load_policy().focus_allowed == false) {
            err(cli::set_by_organisation_text("Focus mode") + "\n");
            return cli::kExitRefused;
        }
        if (focus_is_on(sys))
            out("Focus mode is already on\n");
        else
            out(focus_page_on_text(focus_enter(sys)) + "\n");
    } else if (!focus_is_on(sys)) {
        out("Focus mode is already off\n");
    } else {
        out(focus_page_off_text(focus_leave(sys)) + "\n");
    }
    return cli::kExitDone;
}

int autopilot_command(const cli::Request& request, bool dry_run) {
    const Policy policy = load_policy();
    if (request.operands[0] == "status") {
        out(cli::autopilot_status_text(settings_in_force(load_settings(), policy).autopilot,
                                       [](std::uint64_t unix_seconds) {
                                           return local_stamp(unix_to_filetime(unix_seconds));
                                       }) +
            (policy.autopilot ? " (" + std::string(kSetByOrganisation) + ")\n" : "\n"));
        return cli::kExitDone;
    }
    // An organisation that switched Autopilot off does not want it run by hand either.
    if (policy.autopilot == false) {
        err(cli::set_by_organisation_text("Autopilot") + "\n");
        return cli::kExitRefused;
    }
    const AutopilotSystem sys = autopilot_system(dry_run);
    err("Running Autopilot\n");
    const AutopilotRun run = run_autopilot(sys);
    out(autopilot_summary(run) + "\n");
    return cli::autopilot_exit_code(run);
}

std::string local_time(std::uint64_t filetime) {
    return local_stamp(filetime);
}

int history_command(const cli::Request& request) {
    const Journal journal = load_journal(journal_path());
    out(request.json ? json::dump_pretty(cli::history_json(journal.entries, local_time)) + "\n"
                     : cli::history_text(journal.entries, local_time));
    return cli::kExitDone;
}

int undo_command(const cli::Request& request, bool dry_run) {
    const auto ids = cli::parse_ids(request.operands);
    if (!ids) {
        err(ids.error() + "\n" + std::string(cli::usage_text()));
        return cli::kExitUsage;
    }
    const ui::Changes changes = cli::undo_changes(*ids, load_journal(journal_path()).entries);
    int code = cli::kExitDone;
    if (!changes.ops.empty()) code = changes_command(changes.ops, dry_run);
    if (!changes.skip_notes.empty()) {
        out(changes.ops.empty() ? ui::nothing_to_do_text(changes.skip_notes) + "\n"
                                : "Skipped: " + join(changes.skip_notes, ", ") + "\n");
        if (code == cli::kExitDone) code = cli::kExitSomeFailed;
    }
    return code;
}

int run_cli() {
    const auto request = cli::parse_request(arguments());
    if (!request) {
        err(request.error() + "\n" + std::string(cli::usage_text()));
        return cli::kExitUsage;
    }
    // Read here once; every run below is told explicitly.
    const bool dry_run = test_run_requested() || request->dry_run;
    switch (request->command) {
        case cli::Command::Help:
            out(cli::usage_text());
            return cli::kExitDone;
        case cli::Command::Scan:
            return scan_command(*request);
        case cli::Command::Junk:
            return junk_command(*request);
        case cli::Command::Clean:
            return clean_command(*request, dry_run);
        case cli::Command::Dev:
            return dev_command(*request);
        case cli::Command::DevClean:
            return dev_clean_command(*request, dry_run);
        case cli::Command::Optimise:
            return optimise_command(*request, dry_run);
        case cli::Command::Focus:
            return focus_command(*request, dry_run);
        case cli::Command::Autopilot:
            return autopilot_command(*request, dry_run);
        case cli::Command::History:
            return history_command(*request);
        case cli::Command::Undo:
            return undo_command(*request, dry_run);
    }
    return cli::kExitUsage;
}

}  // namespace
}  // namespace tess

int main() {
    return tess::run_cli();
}
