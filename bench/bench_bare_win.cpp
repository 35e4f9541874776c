// The baseline of the tray benchmark: a bare Win32 program with a hidden window, a
// notification icon and a timer that does nothing, at the period given (default 50 ms).
//   tess_bench_bare.exe [TICK_MS] [thread]
// With "thread" it first runs one short thread to its end, as the tray watch runs its
// start-up clean-up: Wine keeps the stack of a process's last finished thread committed
// until another thread ends, so this is the fair baseline for private bytes under Wine.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>

namespace {

LRESULT CALLBACK bare_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_DESTROY) {
        NOTIFYICONDATAW d{};
        d.cbSize = sizeof d;
        d.hWnd = w;
        d.uID = 1;
        ::Shell_NotifyIconW(NIM_DELETE, &d);
        ::PostQuitMessage(0);
        return 0;
    }
    if (m == WM_TIMER) return 0;
    return ::DefWindowProcW(w, m, wp, lp);
}

int run_bare(UINT tick_ms) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = bare_proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TessBenchBare";
    ::RegisterClassExW(&wc);
    const HWND w = ::CreateWindowExW(0, wc.lpszClassName, L"bare", 0, 0, 0, 0, 0, nullptr, nullptr,
                                     wc.hInstance, nullptr);
    NOTIFYICONDATAW d{};
    d.cbSize = sizeof d;
    d.hWnd = w;
    d.uID = 1;
    d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    d.uCallbackMessage = WM_APP + 10;
    d.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wcscpy(d.szTip, L"bare");
    ::Shell_NotifyIconW(NIM_ADD, &d);
    ::SetTimer(w, 1, tick_ms, nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&msg);
    return 0;
}

}  // namespace

DWORD WINAPI short_work(void*) {
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wcscmp(argv[2], L"thread") == 0) {
        const HANDLE thread = ::CreateThread(nullptr, 0, short_work, nullptr, 0, nullptr);
        if (thread) {
            ::WaitForSingleObject(thread, INFINITE);
            ::CloseHandle(thread);
        }
    }
    return run_bare(argc >= 2 ? static_cast<UINT>(std::wcstoul(argv[1], nullptr, 10)) : 50);
}
