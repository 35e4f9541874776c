// Focus mode against real processes under Wine.
//
// Wine has neither efficiency mode (SetProcessInformation with ProcessPowerThrottling
// fails) nor the power overlay functions of powrprof.dll. These tests therefore pass
// focus_system() a throttling call and an overlay that record what they are asked;
// the throttling call accepts only this test's own children (as Windows would), so
// other busy processes are skipped exactly as the real call under Wine skips them. Processes, their
// creation times and priority classes, focus.json and its lock are all real.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "autopilot/focus_win.hpp"
#include "core/win.hpp"
#include "support/child.hpp"
#include "support/winutil.hpp"

namespace tess {
namespace {

using test::ScopedEnv;
using test::TempDir;

TESS_CHILD(focus_spinner) {
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(args.empty() ? 60'000 : std::stoul(args[0]));
    volatile unsigned long long n = 0;
    while (std::chrono::steady_clock::now() < until)
        n = n + 1;
    return 0;
}

std::uint64_t created_of(HANDLE process) {
    FILETIME c{}, x{}, k{}, u{};
    if (!::GetProcessTimes(process, &c, &x, &k, &u)) return 0;
    return (static_cast<std::uint64_t>(c.dwHighDateTime) << 32) | c.dwLowDateTime;
}

// A busy child, ended when the test leaves.
struct Spinner {
    win::unique_handle process = test::start_child("focus_spinner", {"120000"});
    std::uint32_t pid = process ? ::GetProcessId(process.get()) : 0;
    std::uint64_t created = process ? created_of(process.get()) : 0;

    ~Spinner() { end(); }
    void end() {
        if (process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process.get(), 9);
            ::WaitForSingleObject(process.get(), 5'000);
        }
    }
    DWORD priority() const { return ::GetPriorityClass(process.get()); }
};

const Guid kBalanced{0x381b4222, 0xf694, 0x4f5b, {0xa8, 0xa3, 0x0d, 0x6b, 0x6f, 0xa4, 0xc0, 0xbf}};

// The seam: efficiency mode and the overlay, recorded.
struct Recorder {
    std::mutex mutex;
    std::set<std::uint32_t> ours;
    std::vector<std::pair<std::uint32_t, bool>> throttled;  // (pid, on)
    Guid overlay = kBalanced;
    std::vector<Guid> overlays_set;

    SetThrottling throttle() {
        return [this](void* process, bool on) {
            const std::uint32_t pid = ::GetProcessId(static_cast<HANDLE>(process));
            std::lock_guard<std::mutex> hold(mutex);
            if (!ours.count(pid)) return false;
            throttled.emplace_back(pid, on);
            return true;
        };
    }
    PowerOverlay power() {
        PowerOverlay p;
        p.available = [] { return true; };
        p.active = [this]() -> std::optional<Guid> { return overlay; };
        p.set_active = [this](const Guid& g) {
            overlay = g;
            overlays_set.push_back(g);
            return true;
        };
        return p;
    }
    bool dry_run = false;  // a test run: through the steps, changing nothing
    FocusSystem sys() { return focus_system(dry_run, throttle(), power()); }
    bool touched(std::uint32_t pid) {
        return std::any_of(throttled.begin(), throttled.end(),
                           [&](const auto& c) { return c.first == pid; });
    }
};

// Waits until the child uses CPU, so that it is busy in the one-second sample.
void wait_busy(const Spinner& s) {
    for (int i = 0; i < 100; ++i) {
        FILETIME c{}, x{}, k{}, u{};
        ::GetProcessTimes(s.process.get(), &c, &x, &k, &u);
        if (u.dwLowDateTime > 500'000 || u.dwHighDateTime) return;
        ::Sleep(20);
    }
}

const Slowed* find_slowed(const FocusState& state, std::uint32_t pid) {
    const auto it = std::find_if(state.slowed.begin(), state.slowed.end(),
                                 [&](const Slowed& s) { return s.pid == pid; });
    return it == state.slowed.end() ? nullptr : &*it;
}

struct DataDir {
    TempDir dir{"focus"};
    ScopedEnv data{"TESS_DATA_DIR", dir.path()};
    std::string focus_json() const { return dir.file("focus.json"); }
};

TEST(FocusWin, BusyChildSlowedAndPutBackHighPriorityKept) {
    DataDir data;
    Spinner normal, high;
    ASSERT_TRUE(::SetPriorityClass(high.process.get(), HIGH_PRIORITY_CLASS));
    Recorder rec;
    rec.ours = {normal.pid, high.pid};
    wait_busy(normal);
    wait_busy(high);

    const FocusState on = focus_enter(rec.sys());
    const Slowed* n = find_slowed(on, normal.pid);
    const Slowed* h = find_slowed(on, high.pid);
    ASSERT_TRUE(n && h);
    EXPECT_EQ(n->created, normal.created);
    EXPECT_EQ(n->priority, kNormalPriority);
    EXPECT_EQ(normal.priority(), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(h->priority, 0u);
    EXPECT_EQ(high.priority(), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    EXPECT_EQ(on.power_prev, guid_text(kBalanced));
    EXPECT_EQ(rec.overlay, kBestPerformanceOverlay);
    // Nothing but this test's children took efficiency mode; this program never.
    for (const auto& [pid, state] : rec.throttled)
        EXPECT_TRUE(rec.ours.count(pid) && state) << pid;
    EXPECT_FALSE(find_slowed(on, ::GetCurrentProcessId()));
    EXPECT_TRUE(focus_is_on());
    EXPECT_EQ(focus_load_state(), on);

    rec.throttled.clear();
    EXPECT_EQ(focus_tray_toggle(rec.sys()), "Focus mode is off. " +
                                                std::to_string(on.slowed.size()) +
                                                " program(s) are back to full speed.");
    EXPECT_EQ(normal.priority(), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(high.priority(), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    EXPECT_TRUE(
        std::count(rec.throttled.begin(), rec.throttled.end(), std::make_pair(normal.pid, false)));
    EXPECT_EQ(rec.overlay, kBalanced);
    EXPECT_FALSE(test::exists(data.focus_json()));
    EXPECT_FALSE(focus_is_on());
}

TEST(FocusWin, ReusedPidIsNeverTouched) {
    DataDir data;
    Spinner s;
    ASSERT_TRUE(::SetPriorityClass(s.process.get(), BELOW_NORMAL_PRIORITY_CLASS));
    Recorder rec;
    rec.ours = {s.pid};
    // A record of an earlier process that had this pid.
    test::write_text(
        data.focus_json(),
        serialize_focus_state({1, std::nullopt, {{s.pid, s.created + 1, "x.exe", 32}}}));
    EXPECT_EQ(focus_leave(rec.sys()), 0u);
    EXPECT_EQ(s.priority(), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
    EXPECT_FALSE(rec.touched(s.pid));
    EXPECT_FALSE(test::exists(data.focus_json()));

    // Slowing checks the creation time the same way.
    ASSERT_TRUE(::SetPriorityClass(s.process.get(), NORMAL_PRIORITY_CLASS));
    ProcessInfo other;
    other.pid = s.pid;
    other.created = s.created - 1;
    EXPECT_FALSE(slow_process(other, rec.throttle()).has_value());
    EXPECT_EQ(s.priority(), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_FALSE(rec.touched(s.pid));
}

TEST(FocusWin, StateFromBeforeTheRestartIsRemovedWithoutTouchingProcesses) {
    DataDir data;
    Spinner s;
    ASSERT_TRUE(::SetPriorityClass(s.process.get(), BELOW_NORMAL_PRIORITY_CLASS));
    Recorder rec;
    rec.ours = {s.pid};
    rec.overlay = kBestPerformanceOverlay;
    const FocusState stale{1000, guid_text(kBalanced), {{s.pid, s.created, "x.exe", 32}}};
    test::write_text(data.focus_json(), serialize_focus_state(stale));
    focus_clear_stale(rec.sys());
    EXPECT_FALSE(test::exists(data.focus_json()));
    EXPECT_EQ(s.priority(), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
    EXPECT_TRUE(rec.throttled.empty());
    EXPECT_EQ(rec.overlays_set, std::vector<Guid>{kBalanced});

    // Turned on since the boot: stays.
    FocusState fresh = stale;
    fresh.since = static_cast<std::uint64_t>(std::time(nullptr));
    test::write_text(data.focus_json(), serialize_focus_state(fresh));
    focus_clear_stale(rec.sys());
    EXPECT_EQ(focus_load_state(), fresh);
}

TEST(FocusWin, RefreshDropsExitedProgramsAndSlowsNewlyBusyOnes) {
    DataDir data;
    Spinner first;
    Recorder rec;
    rec.ours = {first.pid};
    wait_busy(first);
    ASSERT_TRUE(find_slowed(focus_enter(rec.sys()), first.pid));
    first.end();
    Spinner second;
    {
        std::lock_guard<std::mutex> hold(rec.mutex);
        rec.ours.insert(second.pid);
    }
    wait_busy(second);
    focus_refresh(rec.sys());
    const auto state = focus_load_state();
    ASSERT_TRUE(state);
    EXPECT_FALSE(find_slowed(*state, first.pid));
    ASSERT_TRUE(find_slowed(*state, second.pid));
    EXPECT_EQ(second.priority(), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
    focus_leave(rec.sys());
    EXPECT_EQ(second.priority(), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

TEST(FocusWin, TestRunTouchesNothing) {
    DataDir data;
    Spinner s;
    Recorder rec;
    rec.dry_run = true;
    rec.ours = {s.pid};
    wait_busy(s);
    const FocusState on = focus_enter(rec.sys());
    const Slowed* e = find_slowed(on, s.pid);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->priority, 0u);
    EXPECT_EQ(on.power_prev, std::string(32, '0'));
    EXPECT_EQ(s.priority(), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    const std::uint64_t count = on.slowed.size();
    EXPECT_EQ(focus_leave(rec.sys()), count);
    EXPECT_TRUE(rec.throttled.empty());
    EXPECT_TRUE(rec.overlays_set.empty());
    EXPECT_FALSE(test::exists(data.focus_json()));
}

// A busy program with a window on screen, which starts a busy helper: the program at
// args[0] (the test program itself, so under another name than this copy).
TESS_CHILD(focus_windowed) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TessavoFocusTestWindow";
    ::RegisterClassW(&wc);
    // Visible, but far off the desktop and never active, so that it takes neither the
    // keyboard nor a place in the pictures of window tests running meanwhile.
    HWND w =
        ::CreateWindowExW(WS_EX_NOACTIVATE, wc.lpszClassName, L"Focus test", WS_OVERLAPPEDWINDOW,
                          -10000, -10000, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
    if (!w) return 2;
    ::ShowWindow(w, SW_SHOWNOACTIVATE);
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (!test::create_process(test::quote_arg(args.at(0)) + " --child focus_spinner 120000", false,
                              0, nullptr, si, pi))
        return 3;
    ::CloseHandle(pi.hThread);
    win::unique_handle helper(pi.hProcess);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < until) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    return 0;
}

TEST(FocusWin, ProgramsOnScreenAndWhatTheyStartedKeepFullSpeed) {
    DataDir data;
    Spinner background;
    // A copy under another name: every copy of an on-screen program keeps full speed.
    const std::string copy = data.dir.file("windowed.exe");
    ASSERT_TRUE(::CopyFileW(win::widen(win::exe_path()).c_str(), win::widen(copy).c_str(), TRUE));
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(test::create_process(
        test::quote_arg(copy) + " --child focus_windowed " + test::quote_arg(win::exe_path()),
        false, 0, nullptr, si, pi));
    ::CloseHandle(pi.hThread);
    win::unique_handle windowed(pi.hProcess);
    const std::uint32_t windowed_pid = pi.dwProcessId;
    std::uint32_t helper_pid = 0;
    bool shown = false;
    for (int i = 0; i < 200 && !(shown && helper_pid); ++i) {
        const auto screen = on_screen_pids();
        shown = std::count(screen.begin(), screen.end(), windowed_pid) > 0;
        for (const ProcessRow& r : process_snapshot())
            if (r.parent_pid == windowed_pid) helper_pid = r.pid;
        ::Sleep(50);
    }
    ASSERT_TRUE(shown);
    ASSERT_NE(helper_pid, 0u);
    win::unique_handle helper(::OpenProcess(PROCESS_TERMINATE, FALSE, helper_pid));
    Recorder rec;
    rec.ours = {background.pid, windowed_pid, helper_pid};
    wait_busy(background);

    const FocusState on = focus_enter(rec.sys());
    EXPECT_TRUE(find_slowed(on, background.pid));
    EXPECT_FALSE(find_slowed(on, windowed_pid));
    EXPECT_FALSE(find_slowed(on, helper_pid));
    EXPECT_FALSE(rec.touched(windowed_pid) || rec.touched(helper_pid));
    focus_leave(rec.sys());
    ::TerminateProcess(windowed.get(), 9);
    if (helper) ::TerminateProcess(helper.get(), 9);
    ::WaitForSingleObject(windowed.get(), 5'000);
}

// Between the list and the change the program exits: skipped, and nothing recorded.
TEST(FocusWin, AProgramThatExitedIsSkipped) {
    DataDir data;
    Spinner s;
    ProcessInfo info;
    info.pid = s.pid;
    info.created = s.created;
    s.end();
    Recorder rec;
    rec.ours = {s.pid};
    EXPECT_FALSE(slow_process(info, rec.throttle()).has_value());
    EXPECT_FALSE(put_back_process({s.pid, s.created, "x.exe", 32}, rec.throttle()));
    EXPECT_TRUE(rec.throttled.empty());
}

// Wine's own calls: SetProcessInformation refuses and powrprof.dll lacks both overlay
// functions, so Focus mode turns on with nothing slowed and the power mode left alone.
TEST(FocusWin, WithWinesOwnCallsNothingIsSlowedAndThePowerModeIsLeftAlone) {
    DataDir data;
    Spinner s;
    wait_busy(s);
    EXPECT_FALSE(system_power_overlay().available());
    const FocusState on = focus_enter();
    EXPECT_FALSE(find_slowed(on, s.pid));
    EXPECT_FALSE(on.power_prev.has_value());
    EXPECT_EQ(s.priority(), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(focus_leave(), on.slowed.size());
}

TEST(FocusWin, AFileTooLargeOrBrokenMeansOnAndTurningOffRemovesIt) {
    DataDir data;
    for (const std::string& bad :
         {std::string(5 * 1024 * 1024, ' '), std::string("{\"since\": 1, \"power_prev\"")}) {
        test::write_text(data.focus_json(), bad);
        EXPECT_TRUE(focus_is_on());
        EXPECT_FALSE(focus_load_state().has_value());
        EXPECT_EQ(focus_page_toggle(), "Focus mode is off.");
        EXPECT_FALSE(test::exists(data.focus_json()));
    }
}

// ---- two toggles at once ----------------------------------------------------------------

// Invariant checked under the Focus lock after each toggle: while the spinner runs at
// below-normal priority, focus.json holds it with the normal priority to put back.
bool spinner_recorded_if_slowed(const FocusSystem& sys, std::uint32_t pid) {
    bool ok = true;
    sys.locked([&] {
        win::unique_handle h(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        if (!h || ::GetPriorityClass(h.get()) != BELOW_NORMAL_PRIORITY_CLASS) return;
        const auto state = focus_load_state(sys);
        const Slowed* e = state ? find_slowed(*state, pid) : nullptr;
        ok = e && e->priority == kNormalPriority;
    });
    return ok;
}

// args: the spinner's pid, rounds. Exits 1 when a slowed spinner was left unrecorded.
TESS_CHILD(focus_toggler) {
    const auto pid = static_cast<std::uint32_t>(std::stoul(args.at(0)));
    const int rounds = std::stoi(args.at(1));
    Recorder rec;
    rec.ours = {pid};
    PowerOverlay none;
    none.available = [] { return false; };
    none.active = []() -> std::optional<Guid> { return std::nullopt; };
    none.set_active = [](const Guid&) { return false; };
    FocusSystem sys = focus_system(false, rec.throttle(), none);
    sys.sample = [] { return list_processes(100, false); };  // a shorter sample for many rounds
    for (int i = 0; i < rounds; ++i) {
        focus_tray_toggle(sys);
        if (!spinner_recorded_if_slowed(sys, pid)) return 1;
    }
    return 0;
}

TEST(FocusWin, TwoTogglersNeverLeaveASlowedProgramUnrecorded) {
    DataDir data;
    Spinner s;
    wait_busy(s);
    const std::vector<std::string> args = {std::to_string(s.pid), "20"};
    win::unique_handle a = test::start_child("focus_toggler", args);
    win::unique_handle b = test::start_child("focus_toggler", args);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(test::wait_exit(a), 0);
    EXPECT_EQ(test::wait_exit(b), 0);
    // Whatever state they left, turning off puts the spinner back.
    Recorder rec;
    rec.ours = {s.pid};
    focus_leave(rec.sys());
    EXPECT_EQ(s.priority(), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_FALSE(test::exists(data.focus_json()));
}

}  // namespace
}  // namespace tess
