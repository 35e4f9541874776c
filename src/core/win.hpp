// The thin Win32 layer every module shares: owned handles, UTF-16 at the call,
// error texts, whole-file reads and atomic replacement, per-user named locks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

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

namespace detail {
inline void close_handle(HANDLE h) {
    ::CloseHandle(h);
}
inline void close_key(HKEY h) {
    ::RegCloseKey(h);
}
inline void close_find(HANDLE h) {
    ::FindClose(h);
}
inline void close_sc(SC_HANDLE h) {
    ::CloseServiceHandle(h);
}
inline void free_library(HMODULE h) {
    ::FreeLibrary(h);
}
inline void delete_object(HGDIOBJ h) {
    ::DeleteObject(h);
}
inline void local_free(HLOCAL h) {
    ::LocalFree(h);
}
void close_internet(void* h);  // InternetCloseHandle; WinINet's HINTERNET is a void*
}  // namespace detail

using unique_handle = unique_any<HANDLE, detail::close_handle>;     // null is invalid
using unique_hfile = unique_any<HANDLE, detail::close_handle, -1>;  // INVALID_HANDLE_VALUE
using unique_hfind = unique_any<HANDLE, detail::close_find, -1>;
using unique_hkey = unique_any<HKEY, detail::close_key>;
using unique_schandle = unique_any<SC_HANDLE, detail::close_sc>;
using unique_hmodule = unique_any<HMODULE, detail::free_library>;
using unique_gdiobj = unique_any<HGDIOBJ, detail::delete_object>;
using unique_hinternet = unique_any<void*, detail::close_internet>;

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
// The folder part of a path (up to the last \ or /), without the separator.
std::string parent_dir(std::string_view path);

// ---- files ----------------------------------------------------------------------
// Reads the whole file, sharing it for read, write and delete; nullopt on any error.
std::optional<std::string> read_file(const std::string& path);
// Creates or truncates `path` and writes `bytes` in one call.
bool write_file(const std::string& path, std::string_view bytes);
// Writes `tmp` then renames it over `path`, so readers see the old or the new file and
// never half of one. A failed write leaves `path` untouched.
bool replace_file_atomic(const std::string& path, const std::string& tmp, std::string_view bytes);
bool create_dirs(const std::string& path);

// ---- per-user named lock ----------------------------------------------------------
// A mutex in the session namespace ("Local\Tessavo.Lock.{name}.{hash of scope}"),
// shared by every process of this user that works on the same `scope` (usually
// the data directory). Re-entrant on one thread. Waits at most `timeout_ms`;
// an abandoned owner counts as released.
// The kernel object name a NamedLock uses.
std::wstring named_lock_name(std::string_view name, std::string_view scope);

class NamedLock {
public:
    NamedLock(std::string_view name, std::string_view scope, DWORD timeout_ms = 30'000);
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;
    bool held() const { return held_; }

private:
    unique_handle mutex_;
    bool held_ = false;
};

}  // namespace tess::win
