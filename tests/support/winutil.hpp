// Helpers for tests that touch the real system under Wine.
#pragma once

#ifdef _WIN32
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/win.hpp"

namespace tess::test {

// A fresh empty folder under the temp folder, removed with its contents on destruction.
class TempDir {
public:
    explicit TempDir(const std::string& tag = "t");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Sets an environment variable for the life of the object, restoring the old value.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    // A copy would restore the old value twice, the first time too early.
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// This test program run as "--child NAME ARGS..."; returns the process handle.
win::unique_handle start_child(const std::string& name, const std::vector<std::string>& args);
// Runs a command line (quoted as given) and waits; returns its exit code or -1.
int run_command(const std::string& command_line, std::uint32_t timeout_ms = 120'000);
int wait_exit(const win::unique_handle& process, std::uint32_t timeout_ms = 120'000);
// Runs a command line and collects its standard output; code -1 when it did not end in
// time (it is then terminated).
struct CommandOutput {
    int code = -1;
    std::string out;
};
CommandOutput run_capture(const std::string& command_line, std::uint32_t timeout_ms = 60'000);
std::string quote_arg(const std::string& arg);
// `exe` and `args`, each quoted, as one command line.
std::string command_line_of(const std::string& exe, const std::vector<std::string>& args);
// Path of a program built beside the test program (Tessavo.exe, ...).
std::string built_exe(const std::string& file_name);

// An environment change for a program a test starts; a value of nullopt removes the variable.
struct EnvVar {
    std::string name;
    std::optional<std::string> value;
};

// A program a test started (Tessavo.exe for the window tests). Ended on destruction.
class RunningProgram {
public:
    RunningProgram() = default;
    explicit RunningProgram(win::unique_handle process) : process_(std::move(process)) {}
    RunningProgram(RunningProgram&&) noexcept = default;
    RunningProgram& operator=(RunningProgram&& o) noexcept {
        if (this != &o) {
            end();
            process_ = std::move(o.process_);
        }
        return *this;
    }
    ~RunningProgram() { end(); }

    explicit operator bool() const { return static_cast<bool>(process_); }
    std::uint32_t pid() const;
    bool running() const;
    // Posts WM_CLOSE to each of its top-level windows, waits up to `timeout_ms` for it to
    // exit, then terminates it. Returns its exit code, or -1 when it had to be terminated
    // or was never started.
    int end(std::uint32_t timeout_ms = 5'000);
    int wait(std::uint32_t timeout_ms = 120'000) const { return wait_exit(process_, timeout_ms); }

private:
    win::unique_handle process_;
};

// CreateProcessW of `command_line`. Wine now and then fails to bring up a new process at all
// (its start-up, not the program's): that gets one more try, said on stderr with the
// Windows error. A second failure is the caller's.
bool create_process(const std::string& command_line, bool inherit_handles, DWORD flags,
                    void* environment, STARTUPINFOW& si, PROCESS_INFORMATION& pi);

// Starts `exe` with `args`, its environment this process's with `env` applied.
RunningProgram start_program(const std::string& exe, const std::vector<std::string>& args,
                             const std::vector<EnvVar>& env = {});
// Tessavo.exe beside the test program.
RunningProgram start_tessavo(const std::vector<std::string>& args,
                             const std::vector<EnvVar>& env = {});

// Sends `button`'s window what a click on it sends (WM_COMMAND with BN_CLICKED), without the
// focus and mouse capture a BM_CLICK takes on the way.
void press(HWND button);

void write_text(const std::string& path, const std::string& text);
std::optional<std::string> read_text(const std::string& path);
bool exists(const std::string& path);
// Recursive delete that never follows links (links are removed as links).
void remove_tree(const std::string& path);

}  // namespace tess::test
#endif

#ifdef _WIN32
namespace tess::test {
// The Windows path of a folder prepared by link-fixtures.sh on the Linux side.
std::string link_fixture(const std::string& relative);
}  // namespace tess::test
#endif
