#include "core/crypto.hpp"
#include "core/win.hpp"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/paths.hpp"
#include "core/roles.hpp"
#include "core/settings.hpp"
#include "core/text.hpp"
#include "setup/setup.hpp"
#include "sys/procs.hpp"
#include "sys/startup.hpp"
#include "updates/update.hpp"

namespace tess {

namespace {

std::string uninstall_key_path(const std::string& entry_name) {
    return join_path(kUninstallKey, entry_name);
}

bool same_file(const std::string& a, const std::string& b) {
    const auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        win::unique_hfile h(::CreateFileW(win::widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr));
        return h && ::GetFileInformationByHandle(h.get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!identity(a, ia) || !identity(b, ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

std::uint32_t last_error_unless(BOOL ok) {
    return ok ? 0 : static_cast<std::uint32_t>(::GetLastError());
}

std::optional<std::uint64_t> file_size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(win::widen(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::string notices_resource() {
    HRSRC res = ::FindResourceW(nullptr, L"NOTICES", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!res) return {};
    HGLOBAL loaded = ::LoadResource(nullptr, res);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return {};
    return std::string(static_cast<const char*>(data), ::SizeofResource(nullptr, res));
}

std::uint32_t write_uninstall_entry(const std::string& entry_name,
                                    const std::vector<RegValue>& values) {
    win::unique_hkey key;
    const LONG r =
        ::RegCreateKeyExW(HKEY_CURRENT_USER, win::widen(uninstall_key_path(entry_name)).c_str(), 0,
                          nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (r != ERROR_SUCCESS) return static_cast<std::uint32_t>(r);
    for (const RegValue& v : values) {
        const std::wstring name = win::widen(v.name);
        if (v.type == RegValue::Type::Dword) {
            const DWORD d = v.dword;
            ::RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&d), sizeof d);
        } else {
            const std::wstring text = win::widen(v.text);
            ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        }
    }
    return 0;
}

bool start_process(const std::string& exe, const std::string& args, DWORD flags,
                   const wchar_t* work_dir, DWORD* error) {
    std::wstring cmd = L"\"" + win::widen(exe) + L"\"";
    if (!args.empty()) cmd += L" " + win::widen(args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(win::widen(exe).c_str(), cmd.data(), nullptr, nullptr, FALSE, flags,
                          nullptr, work_dir, &si, &pi)) {
        if (error) *error = ::GetLastError();
        return false;
    }
    // Detached: nobody waits for it.
    const win::unique_handle thread(pi.hThread), process(pi.hProcess);
    return true;
}

std::string system_dir();

// A copy of this program in the temporary folder waits on an inherited handle of this
// process, so it starts deleting exactly when the uninstall has ended: no guessed delay
// and no command shell.
std::uint32_t start_later_removal(const std::string& folder,
                                  const std::vector<std::string>& files) {
    const std::string exe = win::exe_path();
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (exe.empty() || n == 0 || n > MAX_PATH) return ::GetLastError();
    const std::string copy = join_path(
        win::narrow(temp, n), "Tessavo-remove-" + std::to_string(::GetCurrentProcessId()) + ".exe");
    if (!::CopyFileW(win::widen(exe).c_str(), win::widen(copy).c_str(), FALSE))
        return ::GetLastError();
    HANDLE self = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(),
                           &self, SYNCHRONIZE, TRUE, 0))
        return ::GetLastError();
    const win::unique_handle own(self);
    const LaterRemoval removal{reinterpret_cast<std::uintptr_t>(self), folder, files};
    std::wstring cmd = L"\"" + win::widen(copy) + L"\" " + win::widen(later_removal_args(removal));
    // Started in the system folder: a working directory inside the install folder would
    // keep that folder from being removed.
    const std::wstring dir = win::widen(system_dir());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(win::widen(copy).c_str(), cmd.data(), nullptr, nullptr, TRUE,
                          CREATE_NO_WINDOW, nullptr, dir.c_str(), &si, &pi)) {
        const DWORD e = ::GetLastError();
        ::DeleteFileW(win::widen(copy).c_str());
        return e != 0 ? e : ERROR_FILE_NOT_FOUND;
    }
    const win::unique_handle thread(pi.hThread), process(pi.hProcess);
    return 0;
}

// Deletes with retries (a scanner may hold a file for a moment); true once it is gone.
bool delete_with_retries(const std::wstring& path, bool folder) {
    for (int i = 0; i < kLaterRemovalTries; ++i) {
        if (folder ? ::RemoveDirectoryW(path.c_str()) : ::DeleteFileW(path.c_str())) return true;
        const DWORD e = ::GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return true;
        ::Sleep(kLaterRemovalRetryMs);
    }
    return false;
}

std::string system_dir() {
    wchar_t buf[MAX_PATH + 1];
    const UINT n = ::GetSystemDirectoryW(buf, MAX_PATH + 1);
    return n > 0 && n <= MAX_PATH ? win::narrow(buf, n) : std::string("C:\\Windows\\System32");
}

int message_box(const std::string& text, UINT flags) {
    return ::MessageBoxW(nullptr, win::widen(text).c_str(), L"Tessavo", flags);
}

void set_dpi_awareness() {
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

}  // namespace

std::optional<std::string> installed_version(const InstallPaths& paths) {
    win::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, win::widen(uninstall_key_path(paths.entry_name)).c_str(),
                        0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key.get(), L"DisplayVersion", nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    // Read whole (another program may have written anything there), then cut.
    std::vector<wchar_t> buf(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), L"DisplayVersion", nullptr, &type,
                           reinterpret_cast<BYTE*>(buf.data()), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::size_t units = std::min<std::size_t>(bytes / sizeof(wchar_t), 1024);
    for (std::size_t i = 0; i < units; ++i)
        if (buf[i] == 0) {
            units = i;
            break;
        }
    return win::narrow(buf.data(), units);
}

std::optional<std::string> create_shortcut(const std::string& link, const std::string& target) {
    win::ComInit com;
    win::com_ptr<IShellLinkW> shell_link;
    const HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IShellLinkW, shell_link.put());
    if (FAILED(hr)) {
        char text[64];
        std::snprintf(text, sizeof text, "couldn't create a shortcut (0x%08lX)",
                      static_cast<unsigned long>(hr));
        return std::string(text);
    }
    const std::wstring wtarget = win::widen(target);
    shell_link->SetPath(wtarget.c_str());
    shell_link->SetArguments(L"");
    shell_link->SetDescription(win::widen(kShortcutDescription).c_str());
    shell_link->SetWorkingDirectory(win::widen(parent_path(target)).c_str());
    shell_link->SetIconLocation(wtarget.c_str(), 0);
    win::com_ptr<IPersistFile> file;
    if (FAILED(shell_link->QueryInterface(IID_IPersistFile, file.put())))
        return std::string("couldn't save the shortcut");
    if (link.empty()) return std::string("couldn't save the shortcut");
    win::create_dirs(std::string(parent_path(link)));
    if (FAILED(file->Save(win::widen(link).c_str(), TRUE)))
        return std::string("couldn't save the shortcut");
    return std::nullopt;
}

SetupSystem setup_system() {
    SetupSystem s;
    s.own_pid = ::GetCurrentProcessId();
    s.create_dirs = [](const std::string& folder) -> std::uint32_t {
        if (win::create_dirs(folder)) return 0;
        const DWORD e = ::GetLastError();
        return e != 0 ? e : ERROR_PATH_NOT_FOUND;
    };
    s.same_file = same_file;
    s.copy_file = [](const std::string& from, const std::string& to) {
        return last_error_unless(
            ::CopyFileW(win::widen(from).c_str(), win::widen(to).c_str(), FALSE));
    };
    s.move_file = [](const std::string& from, const std::string& to) {
        return last_error_unless(::MoveFileExW(win::widen(from).c_str(), win::widen(to).c_str(),
                                               MOVEFILE_REPLACE_EXISTING));
    };
    s.file_exists = [](const std::string& path) {
        return ::GetFileAttributesW(win::widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    s.delete_file = [](const std::string& path) {
        return last_error_unless(::DeleteFileW(win::widen(path).c_str()));
    };
    s.file_size = file_size;
    s.sha256_file = [](const std::string& path) -> std::optional<std::string> {
        const auto bytes = win::read_file(path);
        if (!bytes) return std::nullopt;
        return sha256_hex(*bytes);
    };
    s.write_file = [](const std::string& path, std::string_view bytes) {
        return win::write_file(path, bytes);
    };
    s.notices = notices_resource;
    s.create_shortcut = create_shortcut;
    s.write_uninstall_entry = write_uninstall_entry;
    s.delete_uninstall_entry = [](const std::string& entry_name) {
        return static_cast<std::uint32_t>(::RegDeleteTreeW(
            HKEY_CURRENT_USER, win::widen(uninstall_key_path(entry_name)).c_str()));
    };
    s.set_run_value = [](bool on, const std::string& exe) { return tess::set_run_value(on, exe); };
    s.run_value_present = [] { return tess::run_value_present(); };
    s.post_close_to_windows = [] {
        for (const wchar_t* cls : {L"TessavoWindow", L"TessavoTray"})
            if (HWND w = ::FindWindowW(cls, nullptr)) ::PostMessageW(w, WM_CLOSE, 0, 0);
    };
    s.tray_running = [] { return ::FindWindowW(L"TessavoTray", nullptr) != nullptr; };
    s.running_images = [] {
        std::vector<RunningImage> out;
        for (ProcessInfo& p : list_processes(0, true))
            out.push_back({p.pid, p.created, std::move(p.image_path)});
        return out;
    };
    s.end_process = [](std::uint32_t pid, std::uint64_t created) { end_process(pid, created); };
    s.sleep_ms = [](std::uint32_t ms) { ::Sleep(ms); };
    s.start_detached = [](const std::string& exe, const std::string& args) {
        return start_process(exe, args, 0, nullptr, nullptr);
    };
    s.start_later_removal = start_later_removal;
    s.exe_path = [](std::string& error) -> std::optional<std::string> {
        std::string p = win::exe_path();
        if (p.empty()) {
            error = win::error_text(::GetLastError());
            return std::nullopt;
        }
        return p;
    };
    s.today = [] {
        SYSTEMTIME t{};
        ::GetLocalTime(&t);
        return LocalDate{t.wYear, t.wMonth, t.wDay};
    };
    s.error_text = [](std::uint32_t code) { return win::error_text(code); };
    s.data_dir = [] { return data_dir(); };
    s.ask_yes_no = [](const std::string& text) {
        return message_box(text, MB_ICONQUESTION | MB_YESNO) == IDYES;
    };
    s.show_info = [](const std::string& text) { message_box(text, MB_ICONINFORMATION); };
    s.show_error = [](const std::string& text) { message_box(text, MB_ICONERROR); };
    s.offscreen = win::get_env("TESS_OFFSCREEN").has_value();
    s.fs = system_file_ops();
    return s;
}

// Setups on one install folder take turns (two setup windows, a window and an update,
// an uninstall), so one never copies over or deletes a file the other is halfway through.
SetupError install_locked(const std::string& exe, const InstallPaths& paths, bool desktop,
                          bool tray, const SetupSystem& sys) {
    const win::NamedLock turn("install", to_lower_ascii(paths.folder), 120'000);
    return install_from(exe, paths, desktop, tray, sys);
}

int run_update_handover(const std::string& companion, const std::string& companion_sha256) {
    set_dpi_awareness();
    const InstallPaths paths = install_paths();
    const win::NamedLock turn("install", to_lower_ascii(paths.folder), 120'000);
    std::optional<VerifiedFile> verified;
    if (!companion.empty()) verified = VerifiedFile{companion, companion_sha256};
    return update_handover(paths, verified, setup_system());
}

int run_later_removal(const std::vector<std::string>& args) {
    const std::optional<LaterRemoval> removal = parse_later_removal(args);
    if (!removal) return 2;
    {
        const win::unique_handle uninstall(
            reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(removal->handle)));
        ::WaitForSingleObject(uninstall.get(), kLaterRemovalWaitMs);
    }
    bool all_gone = true;
    // What stays is deleted at the next restart, files before their folder.
    for (const std::string& f : removal->files) {
        const std::wstring path = win::widen(f);
        if (delete_with_retries(path, false)) continue;
        all_gone = false;
        ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    const std::wstring folder = win::widen(removal->folder);
    if (!delete_with_retries(folder, true)) {
        all_gone = false;
        ::MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    // This copy's own image cannot go while it runs.
    ::MoveFileExW(win::widen(win::exe_path()).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return all_gone ? 0 : 2;
}

int run_uninstall(bool quiet) {
    set_dpi_awareness();
    const InstallPaths paths = install_paths();
    const win::NamedLock turn("install", to_lower_ascii(paths.folder), 120'000);
    return uninstall(paths, quiet, setup_system());
}

}  // namespace tess
