// Real things for the executor to change under Wine: a sleeping child process, a
// service of our own and StartupApproved values, each removed when the test ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/win.hpp"
#include "support/test_service.hpp"
#include "support/winutil.hpp"
#include "sys/services.hpp"
#include "sys/startup.hpp"

namespace tess::test {

// Children registered in executor_wintest.cpp.
inline constexpr const char* kSleeperChild = "changes_sleeper";  // sleeps a minute

inline std::uint64_t process_created(HANDLE process) {
    FILETIME c{}, x{}, k{}, u{};
    if (!::GetProcessTimes(process, &c, &x, &k, &u)) return 0;
    return (static_cast<std::uint64_t>(c.dwHighDateTime) << 32) | c.dwLowDateTime;
}

struct Sleeper {
    win::unique_handle process = start_child(kSleeperChild, {});
    std::uint32_t pid = process ? ::GetProcessId(process.get()) : 0;
    std::uint64_t created = process ? process_created(process.get()) : 0;

    ~Sleeper() {
        if (running()) ::TerminateProcess(process.get(), 9);
    }
    bool running() const {
        return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
    }
    // Exit code once it has ended (the executor ends it with 1), -1 if still running.
    int exit_code(std::uint32_t wait_ms = 5000) const { return wait_exit(process, wait_ms); }
};

// A StartupApproved value name of our own (HKCU unless told), removed when the test ends.
struct ApprovedName {
    std::string name;
    StartupLocation where;
    explicit ApprovedName(const std::string& tag, StartupLocation at = StartupLocation::HkcuRun)
        : name("TessavoChanges" + tag + std::to_string(::GetCurrentProcessId())), where(at) {
        delete_startup_approved(where, name);
    }
    ~ApprovedName() { delete_startup_approved(where, name); }
    ApprovedValue read() const { return read_startup_approved(where, name); }
};

}  // namespace tess::test
