// tessavo-cli.exe, the console companion of Tessavo.exe: the same modules, driven from
// a command line, with results on standard output and progress on standard error.
#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "core/json.hpp"
#include "core/win.hpp"
#include "scan/scan.hpp"

namespace tess {
namespace {

constexpr std::string_view kUsage =
    "usage: tessavo-cli scan [--json | --bench]\n"
    "  scan           run the full scan and print a summary\n"
    "  scan --json    print the whole report as JSON\n"
    "  scan --bench   print the scan's wall time beside its 2-second sample\n";

std::vector<std::string> arguments() {
    std::vector<std::string> args;
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) return args;
    for (int i = 1; i < argc; ++i)
        args.push_back(win::narrow(argv[i], wcslen(argv[i])));
    ::LocalFree(argv);
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

int scan_command(const std::vector<std::string>& args) {
    bool json_out = false, bench = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json_out = true;
        } else if (args[i] == "--bench") {
            bench = true;
        } else {
            err("unknown option " + args[i] + "\n" + std::string(kUsage));
            return 2;
        }
    }
    if (json_out && bench) {
        err(std::string(kUsage));
        return 2;
    }
    if (bench) return scan_benchmark();
    const ScanResult result = full_scan(system_scan_probes(), print_step);
    out(json_out ? json::dump_pretty(scan_result_json(result)) + "\n" : scan_summary(result));
    return 0;
}

int run_cli() {
    const std::vector<std::string> args = arguments();
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out)(kUsage);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "scan") return scan_command(args);
    err("unknown command " + args[0] + "\n" + std::string(kUsage));
    return 2;
}

}  // namespace
}  // namespace tess

int main() {
    return tess::run_cli();
}
