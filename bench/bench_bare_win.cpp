// The baseline of the tray benchmark: a bare Win32 program with a hidden window, a
// notification icon and a timer that does nothing, at the period given (default 50 ms).
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

int wmain(int argc, wchar_t** argv) {
    return run_bare(argc >= 2 ? static_cast<UINT>(std::wcstoul(argv[1], nullptr, 10)) : 50);
}
