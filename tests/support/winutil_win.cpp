#include "support/winutil.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>

#include "core/paths.hpp"
#include "support/child.hpp"

namespace tess::test {

namespace {
// Test folders live outside every folder a junk clean looks in (the temp folder above
// all): an Optimise run by a test would otherwise delete its own old fixture files.
std::string temp_root() {
    if (const auto profile = win::get_env("USERPROFILE"); profile && !profile->empty()) {
        const std::string root = *profile + "\\tess-tests";
        if (win::create_dirs(root)) return root;
    }
    wchar_t buf[MAX_PATH + 1];
    DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
    std::string p = win::narrow(buf, n);
    while (!p.empty() && p.back() == '\\')
        p.pop_back();
    return p;
}
}  // namespace

TempDir::TempDir(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    char name[96];
    std::snprintf(name, sizeof name, "\\tess-%s-%lu-%u-%lu", tag.c_str(), ::GetCurrentProcessId(),
                  counter++, ::GetTickCount());
    path_ = temp_root() + name;
    win::create_dirs(path_);
}

TempDir::~TempDir() {
    remove_tree(path_);
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)), old_(win::get_env(name_)) {
    ::SetEnvironmentVariableW(win::widen(name_).c_str(),
                              value ? win::widen(*value).c_str() : nullptr);
}

ScopedEnv::~ScopedEnv() {
    ::SetEnvironmentVariableW(win::widen(name_).c_str(),
                              old_ ? win::widen(*old_).c_str() : nullptr);
}

std::string quote_arg(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            out.append(backslashes + 1, '\\');  // double the run and escape the quote
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, '\\');
    out += '"';
    return out;
}

bool create_process(const std::string& command_line, bool inherit_handles, DWORD flags,
                    void* environment, STARTUPINFOW& si, PROCESS_INFORMATION& pi) {
    std::wstring cmd = win::widen(command_line);
    const auto create = [&] {
        return ::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, inherit_handles, flags,
                                environment, nullptr, &si, &pi) != FALSE;
    };
    if (create()) return true;
    std::fprintf(stderr, "could not start %s (Windows error %lu); trying once more\n",
                 command_line.c_str(), ::GetLastError());
    ::Sleep(500);
    if (create()) return true;
    std::fprintf(stderr, "could not start %s (Windows error %lu)\n", command_line.c_str(),
                 ::GetLastError());
    return false;
}

namespace {
win::unique_handle spawn(const std::string& command_line) {
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (!create_process(command_line, false, 0, nullptr, si, pi)) return {};
    ::CloseHandle(pi.hThread);
    return win::unique_handle(pi.hProcess);
}
}  // namespace

win::unique_handle start_child(const std::string& name, const std::vector<std::string>& args) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on a chain of operator+.
    std::string cmd = quote_arg(win::exe_path());
    cmd += " --child ";
    cmd += name;
    for (const auto& a : args) {
        cmd += ' ';
        cmd += quote_arg(a);
    }
    return spawn(cmd);
}

int wait_exit(const win::unique_handle& process, std::uint32_t timeout_ms) {
    if (!process) return -1;
    if (::WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.get(), &code)) return -1;
    return static_cast<int>(code);
}

int run_command(const std::string& command_line, std::uint32_t timeout_ms) {
    auto p = spawn(command_line);
    return wait_exit(p, timeout_ms);
}

CommandOutput run_capture(const std::string& command_line, std::uint32_t timeout_ms) {
    CommandOutput result;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    win::unique_handle read_end, write_end;
    if (!::CreatePipe(read_end.put(), write_end.put(), &sa, 0)) return result;
    ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{sizeof si};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = write_end.get();
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!create_process(command_line, true, 0, nullptr, si, pi)) return result;
    ::CloseHandle(pi.hThread);
    win::unique_handle process(pi.hProcess);
    write_end.reset();  // the child holds the only writer now, so its exit ends the pipe
    // Polled rather than a blocking read, so a child that hangs cannot hang the test.
    const ULONGLONG end = ::GetTickCount64() + timeout_ms;
    char buf[4096];
    for (;;) {
        DWORD avail = 0;
        const bool open = ::PeekNamedPipe(read_end.get(), nullptr, 0, nullptr, &avail, nullptr);
        if (avail) {
            DWORD got = 0;
            if (::ReadFile(read_end.get(), buf, sizeof buf, &got, nullptr))
                result.out.append(buf, got);
            continue;
        }
        if (!open) break;  // the child exited and everything was read
        if (::GetTickCount64() >= end) {
            ::TerminateProcess(process.get(), 1);
            ::WaitForSingleObject(process.get(), 5'000);
            return result;
        }
        ::Sleep(5);
    }
    result.code = wait_exit(process, 5'000);
    return result;
}

std::string built_exe(const std::string& file_name) {
    return join_path(parent_path(win::exe_path()), file_name);
}

namespace {
// This process's environment block with `env` applied, in the form CreateProcessW takes.
std::wstring environment_with(const std::vector<EnvVar>& env) {
    std::vector<std::wstring> vars;
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p; p += std::wcslen(p) + 1)
            vars.emplace_back(p);
        ::FreeEnvironmentStringsW(block);
    }
    for (const auto& e : env) {
        const std::wstring prefix = win::widen(e.name) + L"=";
        std::erase_if(vars, [&](const std::wstring& v) {
            return v.size() >= prefix.size() &&
                   ::CompareStringOrdinal(v.c_str(), static_cast<int>(prefix.size()),
                                          prefix.c_str(), static_cast<int>(prefix.size()),
                                          TRUE) == CSTR_EQUAL;
        });
        if (e.value) vars.push_back(prefix + win::widen(*e.value));
    }
    std::wstring out;
    for (const auto& v : vars) {
        out += v;
        out += L'\0';
    }
    out += L'\0';
    return out;
}

BOOL CALLBACK close_window_of(HWND h, LPARAM pid) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(h, &owner);
    if (owner == static_cast<DWORD>(pid)) ::PostMessageW(h, WM_CLOSE, 0, 0);
    return TRUE;
}
}  // namespace

std::uint32_t RunningProgram::pid() const {
    return process_ ? ::GetProcessId(process_.get()) : 0;
}

bool RunningProgram::running() const {
    return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

int RunningProgram::end(std::uint32_t timeout_ms) {
    if (!process_) return -1;
    if (running()) {
        ::EnumWindows(close_window_of, static_cast<LPARAM>(pid()));
        if (::WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) {
            ::TerminateProcess(process_.get(), 1);
            ::WaitForSingleObject(process_.get(), 5'000);
            process_.reset();
            return -1;
        }
    }
    const int code = wait_exit(process_, 0);
    process_.reset();
    return code;
}

std::string command_line_of(const std::string& exe, const std::vector<std::string>& args) {
    std::string cmd = quote_arg(exe);
    for (const auto& a : args) {
        cmd += ' ';
        cmd += quote_arg(a);
    }
    return cmd;
}

RunningProgram start_program(const std::string& exe, const std::vector<std::string>& args,
                             const std::vector<EnvVar>& env) {
    const std::string cmd = command_line_of(exe, args);
    std::wstring block = environment_with(env);
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (!create_process(cmd, false, CREATE_UNICODE_ENVIRONMENT, block.data(), si, pi)) return {};
    ::CloseHandle(pi.hThread);
    return RunningProgram(win::unique_handle(pi.hProcess));
}

RunningProgram start_tessavo(const std::vector<std::string>& args, const std::vector<EnvVar>& env) {
    return start_program(built_exe("Tessavo.exe"), args, env);
}

void press(HWND button) {
    ::SendMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
}

void write_text(const std::string& path, const std::string& text) {
    win::write_file(path, text);
}

std::optional<std::string> read_text(const std::string& path) {
    return win::read_file(path);
}

bool exists(const std::string& path) {
    return ::GetFileAttributesW(win::widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void remove_tree(const std::string& path) {
    const std::wstring w = win::widen(path);
    const DWORD attrs = ::GetFileAttributesW(w.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return;
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(w.c_str());
        return;
    }
    if (!(attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW fd{};
        win::unique_hfind find(::FindFirstFileW((w + L"\\*").c_str(), &fd));
        if (find) {
            do {
                const std::wstring name = fd.cFileName;
                if (name == L"." || name == L"..") continue;
                remove_tree(path + "\\" + win::narrow(name));
            } while (::FindNextFileW(find.get(), &fd));
        }
    }
    ::RemoveDirectoryW(w.c_str());
}

}  // namespace tess::test

namespace tess::test {
std::string link_fixture(const std::string& relative) {
    std::string path = std::string("Z:") + TESS_LINK_FIXTURES + "/" + relative;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}
}  // namespace tess::test

// A program that never shows a window, for the tests of every test program that need one.
TESS_CHILD(windowless_sleeper) {
    ::Sleep(60'000);
    return 0;
}
