// A service of our own for tests under Wine: this test program, run as
// "--child test_service", is its binary. Stopped and deleted when the test ends.
#pragma once

#ifdef _WIN32
#include <cstdint>
#include <string>

#include "core/win.hpp"

namespace tess::test {

struct TestService {
    std::string name;
    std::string display;
    std::string command;  // the binary path the service was created with
    win::unique_schandle scm;
    win::unique_schandle svc;
    DWORD create_error = 0;

    explicit TestService(const std::string& tag, DWORD start_type = SERVICE_DEMAND_START);
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    bool start();
    DWORD state() const;
    bool wait_for(DWORD want) const;
    std::uint32_t start_type() const;
};

}  // namespace tess::test
#endif
