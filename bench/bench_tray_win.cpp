// Benchmark of the tray watch's cost, side by side with tess_bench_bare.exe, a bare Win32
// program with only a hidden window, a notification icon and a timer at the same period.
// Prints memory after 200 ticks, growth from tick 200 to the last tick (private bytes,
// working set, GDI and USER objects, handles) and CPU time per tick.
//   tess_bench_tray.exe [TICK_MS] [TICKS]      defaults 50 and 2000
//
// Wine answers GetProcessMemoryInfo's private usage, GetGuiResources, GetProcessHandleCount
// and GetProcessTimes for another process with zeros or stale values, so private bytes are
// summed from the committed private regions (VirtualQueryEx) and CPU time and handles come
// from the process list (NtQuerySystemInformation), which Wine keeps current.
#include <windows.h>

#include <psapi.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "core/win.hpp"
#include "sys/procs.hpp"

namespace {

// ---- measuring -----------------------------------------------------------------------
struct Figures {
    double private_mb = 0;
    double working_mb = 0;
    DWORD gdi = 0;
    DWORD user = 0;
    DWORD handles = 0;
    double cpu_ms = 0;  // user + kernel
};

constexpr double kMiB = 1024.0 * 1024.0;

// Committed private memory, region by region.
std::uint64_t private_committed(HANDLE process) {
    std::uint64_t total = 0;
    MEMORY_BASIC_INFORMATION mbi{};
    for (auto* at = static_cast<unsigned char*>(nullptr);
         ::VirtualQueryEx(process, at, &mbi, sizeof mbi) == sizeof mbi;
         at = static_cast<unsigned char*>(mbi.BaseAddress) + mbi.RegionSize) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) total += mbi.RegionSize;
        if (mbi.RegionSize == 0) break;
    }
    return total;
}

Figures measure(HANDLE process, DWORD pid) {
    Figures f;
    PROCESS_MEMORY_COUNTERS_EX m{};
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m)) {
        f.private_mb = static_cast<double>(m.PrivateUsage) / kMiB;
        f.working_mb = static_cast<double>(m.WorkingSetSize) / kMiB;
    }
    if (f.private_mb == 0) f.private_mb = static_cast<double>(private_committed(process)) / kMiB;
    f.gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
    f.user = ::GetGuiResources(process, GR_USEROBJECTS);
    ::GetProcessHandleCount(process, &f.handles);
    for (const tess::ProcessRow& row : tess::process_snapshot()) {
        if (row.pid != pid) continue;
        f.cpu_ms = static_cast<double>(row.cpu_time) / 10'000.0;
        if (f.handles == 0) f.handles = row.handles;
        if (f.working_mb == 0) f.working_mb = static_cast<double>(row.working_set) / kMiB;
    }
    return f;
}

struct Started {
    tess::win::unique_handle process;
    DWORD pid = 0;
};

Started start(std::wstring command) {
    Started s;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                         &pi)) {
        s.process.reset(pi.hProcess);
        const tess::win::unique_handle thread(pi.hThread);
        s.pid = pi.dwProcessId;
    }
    return s;
}

struct FindArgs {
    DWORD pid;
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK find_proc(HWND w, LPARAM lp) {
    auto* a = reinterpret_cast<FindArgs*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    wchar_t cls[64] = {};
    ::GetClassNameW(w, cls, 64);
    if (pid == a->pid && std::wcscmp(cls, a->cls) == 0) {
        a->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND wait_window(DWORD pid, const wchar_t* cls) {
    for (int i = 0; i < 1000; ++i) {
        FindArgs a{pid, cls, nullptr};
        ::EnumWindows(find_proc, reinterpret_cast<LPARAM>(&a));
        if (a.found) return a.found;
        ::Sleep(10);
    }
    return nullptr;
}

std::wstring folder_of(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L"\\/"));
}

void row(const char* name, double tray, double bare, const char* unit) {
    std::printf("%-34s %12.2f %12.2f %s   ratio %.2f\n", name, tray, bare, unit,
                bare > 0 ? tray / bare : 0.0);
}

void count_row(const char* name, DWORD tray, DWORD bare) {
    std::printf("%-34s %12lu %12lu\n", name, static_cast<unsigned long>(tray),
                static_cast<unsigned long>(bare));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const UINT tick_ms = argc >= 2 ? static_cast<UINT>(std::wcstoul(argv[1], nullptr, 10)) : 50;
    const unsigned ticks =
        argc >= 3 ? static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 10)) : 2000;
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring dir = folder_of(self);

    // A throwaway data folder, so the watch's files and log stay out of the user's.
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring data =
        std::wstring(temp) + L"tess-bench-tray-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(data.c_str(), nullptr);
    ::SetEnvironmentVariableW(L"TESS_DATA_DIR", data.c_str());
    ::SetEnvironmentVariableW(L"TESS_TICK_MS", std::to_wstring(tick_ms).c_str());
    ::SetEnvironmentVariableW(L"TESS_NO_UPDATE_CHECK", L"1");  // the network is not measured

    Started tray = start(L"\"" + dir + L"\\Tessavo.exe\" agent");
    Started bare = start(L"\"" + dir + L"\\tess_bench_bare.exe\" " + std::to_wstring(tick_ms));
    Started bare_thread =
        start(L"\"" + dir + L"\\tess_bench_bare.exe\" " + std::to_wstring(tick_ms) + L" thread");
    if (!tray.process || !bare.process || !bare_thread.process) {
        std::fprintf(stderr, "bench: could not start Tessavo.exe agent or the bare program\n");
        return 1;
    }
    const HWND tray_window = wait_window(tray.pid, L"TessavoTray");
    const HWND bare_window = wait_window(bare.pid, L"TessBenchBare");
    const HWND bare_thread_window = wait_window(bare_thread.pid, L"TessBenchBare");
    if (!tray_window || !bare_window || !bare_thread_window) {
        std::fprintf(stderr, "bench: no window\n");
        return 1;
    }
    std::printf("tick %u ms, %u ticks (%.0f s); figures: tray watch, bare program\n", tick_ms,
                ticks, ticks * tick_ms / 1000.0);

    ::Sleep(200 * tick_ms);
    const Figures tray200 = measure(tray.process.get(), tray.pid);
    const Figures bare200 = measure(bare.process.get(), bare.pid);
    const Figures thread200 = measure(bare_thread.process.get(), bare_thread.pid);
    std::printf("\nafter 200 ticks\n");
    row("private bytes", tray200.private_mb, bare200.private_mb, "MB");
    row("working set", tray200.working_mb, bare200.working_mb, "MB");
    count_row("GDI objects", tray200.gdi, bare200.gdi);
    count_row("USER objects", tray200.user, bare200.user);
    count_row("handles", tray200.handles, bare200.handles);
    // Wine keeps the stack of the last finished thread (about 3 MB) committed until another
    // thread ends; Windows frees it. The tray watch has run one (its start-up clean-up).
    row("private bytes, bare after one thread", tray200.private_mb, thread200.private_mb, "MB");

    ::Sleep((ticks - 200) * tick_ms);
    const Figures trayN = measure(tray.process.get(), tray.pid);
    const Figures bareN = measure(bare.process.get(), bare.pid);
    std::printf("\nafter %u ticks (growth since tick 200 in brackets)\n", ticks);
    std::printf("%-34s %12.2f (%+.2f) %12.2f (%+.2f) MB\n", "private bytes", trayN.private_mb,
                trayN.private_mb - tray200.private_mb, bareN.private_mb,
                bareN.private_mb - bare200.private_mb);
    std::printf("%-34s %12.2f (%+.2f) %12.2f (%+.2f) MB\n", "working set", trayN.working_mb,
                trayN.working_mb - tray200.working_mb, bareN.working_mb,
                bareN.working_mb - bare200.working_mb);
    const auto grow = [](const char* name, DWORD a0, DWORD a1, DWORD b0, DWORD b1) {
        std::printf("%-34s %12lu (%+ld) %12lu (%+ld)\n", name, static_cast<unsigned long>(a1),
                    static_cast<long>(a1) - static_cast<long>(a0), static_cast<unsigned long>(b1),
                    static_cast<long>(b1) - static_cast<long>(b0));
    };
    grow("GDI objects", tray200.gdi, trayN.gdi, bare200.gdi, bareN.gdi);
    grow("USER objects", tray200.user, trayN.user, bare200.user, bareN.user);
    grow("handles", tray200.handles, trayN.handles, bare200.handles, bareN.handles);

    std::printf("\nCPU time\n");
    row("total over the run", trayN.cpu_ms, bareN.cpu_ms, "ms");
    row("per tick (total / ticks)", trayN.cpu_ms / ticks, bareN.cpu_ms / ticks, "ms");
    row("per tick, ticks 200 to end", (trayN.cpu_ms - tray200.cpu_ms) / (ticks - 200),
        (bareN.cpu_ms - bare200.cpu_ms) / (ticks - 200), "ms");
    std::printf("goals: memory within 1.25 x the bare program, no growth, under 1 ms a tick\n");

    ::PostMessageW(tray_window, WM_CLOSE, 0, 0);
    ::PostMessageW(bare_window, WM_CLOSE, 0, 0);
    ::PostMessageW(bare_thread_window, WM_CLOSE, 0, 0);
    ::WaitForSingleObject(tray.process.get(), 10'000);
    ::WaitForSingleObject(bare.process.get(), 10'000);
    ::WaitForSingleObject(bare_thread.process.get(), 10'000);
    return 0;
}
