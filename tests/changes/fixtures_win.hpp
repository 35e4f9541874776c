// Real things for the executor to change under Wine: a sleeping child process, a
// service of our own and HKCU StartupApproved values, each removed when the test ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/win.hpp"
#include "support/winutil.hpp"
#include "sys/services.hpp"
#include "sys/startup.hpp"

namespace tess::test {

// Children registered in executor_wintest.cpp.
inline constexpr const char* kSleeperChild = "changes_sleeper";  // sleeps a minute
inline constexpr const char* kServiceChild = "changes_service";  // runs as a service

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

// A service of our own (this test program as its binary), started, then stopped and
// deleted when the test ends.
struct TestService {
    std::string name;
    win::unique_schandle scm{::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    win::unique_schandle svc;
    DWORD create_error = 0;

    TestService(const std::string& tag, DWORD start_type) {
        name = "TessavoChanges" + tag + std::to_string(::GetCurrentProcessId());
        const std::string command = quote_arg(win::exe_path()) + " --child " + kServiceChild;
        if (!scm) return;
        svc.reset(::CreateServiceW(scm.get(), win::widen(name).c_str(), win::widen(name).c_str(),
                                   SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, start_type,
                                   SERVICE_ERROR_IGNORE, win::widen(command).c_str(), nullptr,
                                   nullptr, nullptr, nullptr, nullptr));
        if (!svc) create_error = ::GetLastError();
    }
    ~TestService() {
        if (!svc) return;
        SERVICE_STATUS st{};
        ::ControlService(svc.get(), SERVICE_CONTROL_STOP, &st);
        wait_for(SERVICE_STOPPED);
        ::DeleteService(svc.get());
    }
    bool start() {
        return svc && ::StartServiceW(svc.get(), 0, nullptr) && wait_for(SERVICE_RUNNING);
    }
    DWORD state() const {
        SERVICE_STATUS st{};
        return ::QueryServiceStatus(svc.get(), &st) ? st.dwCurrentState : 0;
    }
    bool wait_for(DWORD want) const {
        for (int i = 0; i < 200; ++i) {
            if (state() == want) return true;
            ::Sleep(50);
        }
        return false;
    }
    std::uint32_t start_type() const {
        win::unique_schandle m(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        return query_service(m.get(), name).start_type;
    }
};

// An HKCU StartupApproved value name of our own, removed when the test ends.
struct ApprovedName {
    std::string name;
    explicit ApprovedName(const std::string& tag)
        : name("TessavoChanges" + tag + std::to_string(::GetCurrentProcessId())) {
        delete_startup_approved(StartupLocation::HkcuRun, name);
    }
    ~ApprovedName() { delete_startup_approved(StartupLocation::HkcuRun, name); }
    ApprovedValue read() const { return read_startup_approved(StartupLocation::HkcuRun, name); }
};

}  // namespace tess::test
