// The thin Win32 layer every module shares: owned handles and scoped pairs, UTF-16 at
// the call, error texts, whole-file reads and atomic replacement, per-user named locks.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace tess::win {

// ---- owned handles ----------------------------------------------------------
template <class H, auto Close, std::intptr_t Invalid = 0>
class unique_any {
public:
    unique_any() = default;
    explicit unique_any(H h) : h_(h) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& o) noexcept : h_(std::exchange(o.h_, invalid())) {}
    unique_any& operator=(unique_any&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, invalid()));
        return *this;
    }
    ~unique_any() { reset(); }

    static H invalid() { return reinterpret_cast<H>(Invalid); }
    H get() const { return h_; }
    explicit operator bool() const { return h_ != invalid(); }
    H release() { return std::exchange(h_, invalid()); }
    void reset(H h = invalid()) {
        if (h_ != invalid()) Close(h_);
        h_ = h;
    }
    H* put() {
        reset();
        return &h_;
    }

private:
    H h_ = invalid();
};

// The close function goes straight in: a Win32 function taking the handle type (or one
// it converts to, as HFONT to HGDIOBJ).
using unique_handle = unique_any<HANDLE, ::CloseHandle>;     // null is invalid
using unique_hfile = unique_any<HANDLE, ::CloseHandle, -1>;  // INVALID_HANDLE_VALUE
using unique_hfind = unique_any<HANDLE, ::FindClose, -1>;
using unique_hkey = unique_any<HKEY, ::RegCloseKey>;
using unique_schandle = unique_any<SC_HANDLE, ::CloseServiceHandle>;
using unique_hmodule = unique_any<HMODULE, ::FreeLibrary>;
using unique_gdiobj = unique_any<HGDIOBJ, ::DeleteObject>;
template <class T>
using unique_gdi = unique_any<T, ::DeleteObject>;
using unique_hfont = unique_gdi<HFONT>;
using unique_hbitmap = unique_gdi<HBITMAP>;
using unique_hbrush = unique_gdi<HBRUSH>;
using unique_hpen = unique_gdi<HPEN>;
using unique_hrgn = unique_gdi<HRGN>;
using unique_hicon = unique_any<HICON, ::DestroyIcon>;
using unique_hmenu = unique_any<HMENU, ::DestroyMenu>;  // a menu not attached to a window
using unique_hdc = unique_any<HDC, ::DeleteDC>;         // from CreateCompatibleDC
using unique_hlocal = unique_any<HLOCAL, ::LocalFree>;
// Memory a Win32 call allocated for us with LocalAlloc (FormatMessageW,
// CommandLineToArgvW, ConvertSidToStringSidW, security descriptors).
template <class T>
using unique_local_ptr = unique_any<T*, ::LocalFree>;
// ... and with CoTaskMemAlloc (SHGetKnownFolderPath and other shell calls).
template <class T>
using unique_cotaskmem_ptr = unique_any<T*, ::CoTaskMemFree>;
namespace detail {
void close_internet(void* h);  // InternetCloseHandle, without <wininet.h> here
}  // namespace detail
using unique_hinternet = unique_any<void*, detail::close_internet>;  // HINTERNET

// ---- scoped pairs ---------------------------------------------------------------
// GetDC / ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint / EndPaint, for WM_PAINT.
class PaintDC {
public:
    explicit PaintDC(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    ~PaintDC() {
        if (dc_) ::EndPaint(window_, &paint_);
    }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }
    const RECT& area() const { return paint_.rcPaint; }  // what needs painting

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// SelectObject, and the previous object back at the end of the scope, so an object is
// never deleted while a DC still holds it. A null object selects nothing.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
    ~Selected() {
        if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A COM interface pointer, released when it goes out of scope. put() hands its address to
// CoCreateInstance or QueryInterface.
template <class T>
class com_ptr {
public:
    com_ptr() = default;
    ~com_ptr() { reset(); }
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void** put() {
        reset();
        return reinterpret_cast<void**>(&p_);
    }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// CoInitializeEx / CoUninitialize on this thread. A thread already initialized in the
// same model counts (S_FALSE); another model (RPC_E_CHANGED_MODE) does not, and then
// nothing is undone.
class ComInit {
public:
    explicit ComInit(DWORD model = COINIT_APARTMENTTHREADED)
        : hr_(::CoInitializeEx(nullptr, model)) {}
    ~ComInit() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    bool ok() const { return SUCCEEDED(hr_); }
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

// ---- text at the boundary -----------------------------------------------------
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
std::string narrow(const wchar_t* utf16, std::size_t units);

// "The system cannot find the file specified" style text for a Win32 error,
// without the trailing full stop and line break; "error {code}" when Windows has none.
std::string error_text(DWORD code);
std::string ntstatus_text(std::int32_t status);
std::string hresult_text(HRESULT hr);

// ---- environment and paths ----------------------------------------------------
std::optional<std::string> get_env(std::string_view name);
// The running executable's full path; empty on failure.
std::string exe_path();
// The user's temp folder without a trailing separator; "C:\Windows\Temp" when Windows
// gives none.
std::string temp_folder();
// This process's command line split as Windows splits it, the program first; empty
// when it cannot be split.
std::vector<std::string> command_line_args();

// ---- time, processes, memory -------------------------------------------------------
// Now as FILETIME ticks (100 ns since 1601-01-01 UTC), as precise as the system gives.
std::uint64_t filetime_now();
// The full image path of a process opened with PROCESS_QUERY_LIMITED_INFORMATION;
// empty on failure.
std::string process_image_path(HANDLE process);
// GlobalMemoryStatusEx; nullopt when it fails.
std::optional<MEMORYSTATUSEX> memory_status_ex();

// ---- files ----------------------------------------------------------------------
// Reads the whole file, sharing it for read, write and delete; nullopt on any error.
std::optional<std::string> read_file(const std::string& path);
// Creates or truncates `path` and writes `bytes` in one call.
bool write_file(const std::string& path, std::string_view bytes);
// Writes `tmp` then renames it over `path`, so readers see the old or the new file and
// never half of one. A failed write leaves `path` untouched. While another process holds
// `path` open the rename waits for it, up to about 4.5 s.
bool replace_file_atomic(const std::string& path, const std::string& tmp, std::string_view bytes);
bool create_dirs(const std::string& path);

// This process's user as an "S-1-5-..." string; empty when the token cannot be read.
std::wstring current_user_sid();

// ---- per-user named lock ----------------------------------------------------------
// A mutex in the session namespace ("Local\Tessavo.Lock.{name}.{hash of scope}"),
// shared by every process of this user that works on the same `scope` (usually
// the data directory). Re-entrant on one thread. Waits at most `timeout_ms`;
// an abandoned owner counts as released. A lock this process makes admits its own
// account and `also_sid` (the user an admin helper works for, when it runs as another).
// The kernel object name a NamedLock uses.
std::wstring named_lock_name(std::string_view name, std::string_view scope);

inline constexpr DWORD kLockWaitMs = 30'000;

class NamedLock {
public:
    NamedLock(std::string_view name, std::string_view scope, DWORD timeout_ms = kLockWaitMs,
              std::string_view also_sid = {});
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;
    bool held() const { return held_; }

private:
    unique_handle mutex_;
    bool held_ = false;
};

}  // namespace tess::win
