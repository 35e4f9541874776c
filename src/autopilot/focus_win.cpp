#include "autopilot/focus_win.hpp"

#include <windows.h>

#include <dwmapi.h>

#include <algorithm>

#include "core/datafile_win.hpp"
#include "core/paths.hpp"
#include "core/roles.hpp"
#include "core/settings.hpp"
#include "core/timeutil.hpp"
#include "core/win.hpp"

namespace tess {

namespace {

// A focus.json beyond this is not one the program wrote (thousands of entries).
constexpr std::uint64_t kMaxStateBytes = 4 * 1024 * 1024;

// PROCESS_INFORMATION_CLASS ProcessPowerThrottling and its 12-byte state.
constexpr int kProcessPowerThrottling = 4;
struct PowerThrottlingState {
    ULONG version;
    ULONG control_mask;
    ULONG state_mask;
};
static_assert(sizeof(PowerThrottlingState) == 12);

std::uint64_t creation_time(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// Opened for the change, and still the running process that was meant: its creation
// time is readable and, when `created` is known, equal to it.
win::unique_handle open_same_process(std::uint32_t pid, std::uint64_t created) {
    win::unique_handle h(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_SET_INFORMATION, FALSE, pid));
    if (!h) return {};
    const std::uint64_t actual = creation_time(h.get());
    if (actual == 0 || (created != 0 && actual != created)) return {};
    // An exited process stays openable while anyone holds a handle to it.
    DWORD code = 0;
    if (!::GetExitCodeProcess(h.get(), &code) || code != STILL_ACTIVE) return {};
    return h;
}

// powrprof.dll from the system folder, with both overlay functions.
struct Powrprof {
    using GetOverlay = DWORD(WINAPI*)(GUID*);
    using SetOverlay = DWORD(WINAPI*)(GUID);
    win::unique_hmodule module;
    GetOverlay get = nullptr;
    SetOverlay set = nullptr;

    Powrprof() {
        module.reset(::LoadLibraryExW(L"powrprof.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (!module) return;
        get = reinterpret_cast<GetOverlay>(
            reinterpret_cast<void*>(::GetProcAddress(module.get(), "PowerGetActualOverlayScheme")));
        set = reinterpret_cast<SetOverlay>(
            reinterpret_cast<void*>(::GetProcAddress(module.get(), "PowerSetActiveOverlayScheme")));
    }
    bool usable() const { return get && set; }
};

GUID to_win(const Guid& g) {
    GUID w{};
    w.Data1 = g.data1;
    w.Data2 = g.data2;
    w.Data3 = g.data3;
    for (int i = 0; i < 8; ++i)
        w.Data4[i] = g.data4[i];
    return w;
}

Guid from_win(const GUID& w) {
    Guid g;
    g.data1 = w.Data1;
    g.data2 = w.Data2;
    g.data3 = w.Data3;
    for (int i = 0; i < 8; ++i)
        g.data4[i] = w.Data4[i];
    return g;
}

BOOL CALLBACK collect_window(HWND hwnd, LPARAM param) {
    auto& pids = *reinterpret_cast<std::vector<std::uint32_t>*>(param);
    TopWindow w;
    w.visible = ::IsWindowVisible(hwnd) != FALSE;
    w.minimised = ::IsIconic(hwnd) != FALSE;
    w.title_length = static_cast<std::size_t>(std::max(::GetWindowTextLengthW(hwnd), 0));
    if (w.visible && !w.minimised && w.title_length > 0) {
        DWORD cloaked = 0;
        if (FAILED(::DwmGetWindowAttribute(hwnd, DWMWA_CLOAKED, &cloaked, sizeof cloaked)))
            cloaked = 0;
        w.cloaked = cloaked;
    }
    if (window_on_screen(w)) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        pids.push_back(pid);
    }
    return TRUE;  // always look at every window
}

}  // namespace

bool set_power_throttling(void* process, bool on) {
    // Windows 10 1709 and later; resolved at run time so an older system, or Wine,
    // simply refuses.
    using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    static const auto fn = reinterpret_cast<SetProcessInformationFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation")));
    if (!fn) return false;
    PowerThrottlingState state{1, on ? 1u : 0u, on ? 1u : 0u};
    return fn(process, kProcessPowerThrottling, &state, sizeof state) != FALSE;
}

PowerOverlay system_power_overlay() {
    PowerOverlay p;
    p.available = [] { return Powrprof().usable(); };
    p.active = []() -> std::optional<Guid> {
        const Powrprof lib;
        if (!lib.usable()) return std::nullopt;
        GUID g{};
        if (lib.get(&g) != 0) return std::nullopt;
        return from_win(g);
    };
    p.set_active = [](const Guid& g) {
        const Powrprof lib;
        return lib.usable() && lib.set(to_win(g)) == 0;
    };
    return p;
}

std::vector<std::uint32_t> on_screen_pids() {
    std::vector<std::uint32_t> pids;
    ::EnumWindows(collect_window, reinterpret_cast<LPARAM>(&pids));
    return pids;
}

std::optional<std::uint32_t> slow_process(const ProcessInfo& process,
                                          const SetThrottling& throttle) {
    const win::unique_handle h = open_same_process(process.pid, process.created);
    if (!h || !throttle(h.get(), true)) return std::nullopt;
    if (::GetPriorityClass(h.get()) != NORMAL_PRIORITY_CLASS) return 0u;
    return ::SetPriorityClass(h.get(), BELOW_NORMAL_PRIORITY_CLASS) ? kNormalPriority : 0u;
}

bool put_back_process(const Slowed& slowed, const SetThrottling& throttle) {
    const win::unique_handle h = open_same_process(slowed.pid, slowed.created);
    if (!h) return false;
    throttle(h.get(), false);  // Windows decides again; a refusal changes nothing
    if (slowed.priority != 0) ::SetPriorityClass(h.get(), slowed.priority);
    return true;
}

FocusSystem focus_system(bool dry_run, const SetThrottling& throttle, const PowerOverlay& power) {
    const std::string dir = data_dir();
    const std::string path = join_path(dir, "focus.json");
    FocusSystem sys;
    sys.dry_run = dry_run;
    sys.own_pid = ::GetCurrentProcessId();
    sys.now = unix_now;
    sys.uptime_ms = [] { return static_cast<std::uint64_t>(::GetTickCount64()); };
    sys.sample = [] { return list_processes(1000, false); };
    sys.on_screen = on_screen_pids;
    sys.slow = [throttle](const ProcessInfo& p) { return slow_process(p, throttle); };
    sys.put_back = [throttle](const Slowed& s) { return put_back_process(s, throttle); };
    sys.power = power;
    sys.state_exists = [path] { return path_exists(path); };
    sys.read_state = [path] { return read_data_file(path, kMaxStateBytes); };
    sys.write_state = [dir, path](const std::string& text) {
        win::replace_file_atomic(path, join_path(dir, "focus.tmp"), text);
    };
    sys.delete_state = [path] { ::DeleteFileW(win::widen(path).c_str()); };
    sys.locked = [dir](const std::function<void()>& work) {
        // After half a minute without the lock its owner is hung, not writing: go ahead.
        const win::NamedLock lock("focus", dir);
        work();
    };
    return sys;
}

bool focus_is_on() {
    return focus_is_on(focus_system(test_run_requested()));
}

std::optional<FocusState> focus_load_state() {
    return focus_load_state(focus_system(test_run_requested()));
}

FocusState focus_enter() {
    return focus_enter(focus_system(test_run_requested()));
}

std::uint64_t focus_leave() {
    return focus_leave(focus_system(test_run_requested()));
}

void focus_refresh() {
    focus_refresh(focus_system(test_run_requested()));
}

void focus_clear_stale() {
    focus_clear_stale(focus_system(test_run_requested()));
}

std::string focus_page_toggle() {
    return focus_page_toggle(focus_system(test_run_requested()));
}

std::string focus_tray_toggle() {
    return focus_tray_toggle(focus_system(test_run_requested()));
}

}  // namespace tess
