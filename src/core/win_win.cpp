#include "core/win.hpp"

#include <sddl.h>
#include <shellapi.h>
#include <wininet.h>

#include <algorithm>
#include <vector>

#include "core/account.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"

namespace tess::win {

void detail::close_internet(void* h) {
    ::InternetCloseHandle(h);
}

std::wstring widen(std::string_view utf8) {
    const std::u16string u = utf8_to_utf16(utf8);
    return std::wstring(u.begin(), u.end());
}

std::string narrow(const wchar_t* utf16, std::size_t units) {
    return utf16_to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(utf16), units));
}

std::string narrow(std::wstring_view utf16) {
    return narrow(utf16.data(), utf16.size());
}

namespace {

std::string format_message(DWORD flags, HMODULE module, DWORD code) {
    const auto format = [&](DWORD language, unique_local_ptr<wchar_t>& buf) {
        return ::FormatMessageW(
                   flags | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, module,
                   code, language, reinterpret_cast<wchar_t*>(buf.put()), 0, nullptr) != 0 &&
               buf;
    };
    unique_local_ptr<wchar_t> buf;
    // No English table installed: take the user's language rather than nothing.
    if (!format(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buf) && !format(0, buf)) return {};
    std::string text = narrow(buf.get(), wcslen(buf.get()));
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

std::string or_code(std::string text, unsigned long long code, bool hex) {
    if (!text.empty()) return text;
    char buf[40];
    std::snprintf(buf, sizeof buf, hex ? "error 0x%08llX" : "error %llu", code);
    return buf;
}

}  // namespace

std::string error_text(DWORD code) {
    return or_code(format_message(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code), code, false);
}

std::string ntstatus_text(std::int32_t status) {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return or_code(format_message(FORMAT_MESSAGE_FROM_HMODULE, ntdll, static_cast<DWORD>(status)),
                   static_cast<std::uint32_t>(status), true);
}

std::string hresult_text(HRESULT hr) {
    return or_code(format_message(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(hr)),
                   static_cast<std::uint32_t>(hr), true);
}

std::optional<std::string> get_env(std::string_view name) {
    const std::wstring wname = widen(name);
    std::vector<wchar_t> buf(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD n =
            ::GetEnvironmentVariableW(wname.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();  // set but empty
        }
        if (n < buf.size()) return narrow(buf.data(), n);
        buf.resize(n + 1);
    }
    return std::nullopt;
}

std::string exe_path() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (int attempt = 0; attempt < 6; ++attempt) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return narrow(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
    return {};
}

std::vector<std::string> command_line_args() {
    std::vector<std::string> args;
    int argc = 0;
    const unique_local_ptr<wchar_t*> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    if (!argv) return args;
    for (int i = 0; i < argc; ++i)
        args.push_back(narrow(argv.get()[i], wcslen(argv.get()[i])));
    return args;
}

std::string temp_folder() {
    using GetTempPath2W_t = DWORD(WINAPI*)(DWORD, LPWSTR);
    wchar_t buf[MAX_PATH + 2];
    DWORD n = 0;
    // GetTempPath2W exists from Windows 11 / Server 2022 builds on; resolve it at run time.
    if (auto fn = reinterpret_cast<GetTempPath2W_t>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W"))))
        n = fn(MAX_PATH + 1, buf);
    if (n == 0) n = ::GetTempPathW(MAX_PATH + 1, buf);
    if (n == 0 || n > MAX_PATH + 1) return "C:\\Windows\\Temp";
    std::string path = narrow(buf, n);
    while (path.size() > 3 && is_path_separator(path.back()))
        path.pop_back();
    return path;
}

std::uint64_t filetime_now() {
    // Windows 8 and later; the coarse clock before that.
    using PreciseFn = void(WINAPI*)(LPFILETIME);
    static const auto precise = reinterpret_cast<PreciseFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
    FILETIME ft{};
    if (precise)
        precise(&ft);
    else
        ::GetSystemTimeAsFileTime(&ft);
    return (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

std::string process_image_path(HANDLE process) {
    std::vector<wchar_t> path(1024);
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD units = static_cast<DWORD>(path.size());
        if (::QueryFullProcessImageNameW(process, 0, path.data(), &units))
            return narrow(path.data(), units);
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        path.resize(path.size() * 8);  // long paths reach 32,767 units
    }
    return {};
}

std::optional<MEMORYSTATUSEX> memory_status_ex() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!::GlobalMemoryStatusEx(&status)) return std::nullopt;
    return status;
}

std::optional<std::string> read_file(const std::string& path) {
    unique_hfile file(::CreateFileW(widen(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        size.QuadPart > 256ll * 1024 * 1024)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!::ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) return std::nullopt;
        if (got == 0) break;  // shrank under us: what we have is what there is
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

bool write_file(const std::string& path, std::string_view bytes) {
    unique_hfile file(::CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (bytes.size() > 0xFFFFFFFFu) return false;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size())
        return false;
    return true;
}

bool replace_file_atomic(const std::string& path, const std::string& tmp, std::string_view bytes) {
    if (!write_file(tmp, bytes)) {
        ::DeleteFileW(widen(tmp).c_str());
        return false;
    }
    const std::wstring wtmp = widen(tmp), wpath = widen(path);
    // Any process holding the target open (a reader, a virus scanner, a backup tool) makes
    // the rename fail until it lets go; on a busy machine that can be seconds, and giving up
    // loses what was to be written (a journal entry, say). Keep trying for about 4.5 s.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (::MoveFileExW(wtmp.c_str(), wpath.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD err = ::GetLastError();
        if (err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) break;
        ::Sleep(std::min<DWORD>(10 * static_cast<DWORD>(attempt + 1), 100));
    }
    ::DeleteFileW(wtmp.c_str());
    return false;
}

bool create_dirs(const std::string& path) {
    std::wstring w = widen(path);
    while (!w.empty() && (w.back() == L'\\' || w.back() == L'/'))
        w.pop_back();
    if (w.empty()) return false;
    const DWORD attrs = ::GetFileAttributesW(w.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES) return (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const auto pos = w.find_last_of(L"\\/");
    if (pos != std::wstring::npos && pos > 0 && w[pos - 1] != L':' && w[pos - 1] != L'\\')
        create_dirs(narrow(w.substr(0, pos)));
    else if (pos != std::wstring::npos && pos > 0)
        create_dirs(narrow(w.substr(0, pos + 1)));
    return ::CreateDirectoryW(w.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring current_user_sid() {
    unique_handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<unsigned char> buf(size);
    if (!::GetTokenInformation(token.get(), TokenUser, buf.data(), size, &size)) return {};
    unique_local_ptr<wchar_t> text;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, text.put()))
        return {};
    return text.get();
}

namespace {

// FNV-1a of the lower-cased scope: mutex names cannot hold backslashes and
// paths differ only in case on Windows.
std::uint64_t scope_hash(std::string_view scope) {
    std::uint64_t h = 1469598103934665603ull;
    for (char c : scope) {
        char l = to_lower_ascii(c);
        if (l == '/') l = '\\';
        h ^= static_cast<unsigned char>(l);
        h *= 1099511628211ull;
    }
    return h;
}

// The elevated admin helper and the user's ordinary processes take the same locks. An
// object an elevated process creates gets a default DACL that admits only
// administrators and SYSTEM, so an ordinary process could not open it and both sides
// would write unlocked. Grant the user explicitly (and the account the helper works
// for, when it was approved as another one) and label the mutex medium.
HANDLE create_shared_mutex(const std::wstring& name, std::string_view also_sid) {
    const std::string sid = narrow(current_user_sid());
    if (!sid.empty()) {
        const std::wstring sddl = widen(shared_lock_sddl(sid, also_sid));
        unique_hlocal sd;
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                   sd.put(), nullptr)) {
            SECURITY_ATTRIBUTES sa{sizeof sa, sd.get(), FALSE};
            if (HANDLE h = ::CreateMutexW(&sa, FALSE, name.c_str())) return h;
        }
    }
    if (HANDLE h = ::CreateMutexW(nullptr, FALSE, name.c_str())) return h;
    // Made by another process with stricter rights than creation needs: open it for waiting.
    return ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
}

}  // namespace

std::wstring named_lock_name(std::string_view name, std::string_view scope) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx",
                  static_cast<unsigned long long>(scope_hash(scope)));
    return L"Local\\Tessavo.Lock." + widen(name) + widen(suffix);
}

NamedLock::NamedLock(std::string_view name, std::string_view scope, DWORD timeout_ms,
                     std::string_view also_sid) {
    mutex_.reset(create_shared_mutex(named_lock_name(name, scope), also_sid));
    if (!mutex_) return;
    const DWORD r = ::WaitForSingleObject(mutex_.get(), timeout_ms);
    held_ = (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED);
}

NamedLock::~NamedLock() {
    if (held_) ::ReleaseMutex(mutex_.get());
}

}  // namespace tess::win
