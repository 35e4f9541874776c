// A copy of a test program named like a build tool (java.exe), running as one of its
// daemons: "{java} --child {child} {daemon args}". The child entry only sleeps; the
// command line is what the Autopilot rules read. Ended when the test leaves.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/win.hpp"
#include "support/winutil.hpp"

namespace tess::test {

struct Daemon {
    win::unique_handle process;
    std::uint32_t pid = 0;

    Daemon(const std::string& java, const std::string& child, const std::string& daemon_args) {
        STARTUPINFOW si{sizeof si};
        PROCESS_INFORMATION pi{};
        if (!create_process(quote_arg(java) + " --child " + child + " " + daemon_args, false, 0,
                            nullptr, si, pi))
            return;
        ::CloseHandle(pi.hThread);
        process.reset(pi.hProcess);
        pid = pi.dwProcessId;
    }
    ~Daemon() {
        if (running()) {
            ::TerminateProcess(process.get(), 9);
            ::WaitForSingleObject(process.get(), 5'000);
        }
    }
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;
    bool running() const {
        return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
    }
};

}  // namespace tess::test
