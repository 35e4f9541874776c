#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/win.hpp"
#include "support/child.hpp"
#include "support/winutil.hpp"
#include "sys/services.hpp"

namespace tess {
namespace {

// This test program doubles as a service: "--child probe_service" runs the dispatcher,
// reports running and stops when asked.
SERVICE_STATUS_HANDLE g_status_handle = nullptr;
HANDLE g_stop = nullptr;

void report(DWORD state) {
    SERVICE_STATUS st{};
    st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    st.dwCurrentState = state;
    st.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    ::SetServiceStatus(g_status_handle, &st);
}

DWORD WINAPI service_control(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        report(SERVICE_STOP_PENDING);
        ::SetEvent(g_stop);
    }
    return NO_ERROR;
}

void WINAPI service_main(DWORD, wchar_t**) {
    g_status_handle = ::RegisterServiceCtrlHandlerExW(L"", service_control, nullptr);
    if (!g_status_handle) return;
    report(SERVICE_RUNNING);
    ::WaitForSingleObject(g_stop, 60'000);
    report(SERVICE_STOPPED);
}

TESS_CHILD(probe_service) {
    g_stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, service_main}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}

// A service of our own, stopped and deleted when the test ends.
struct TestService {
    std::string name = "TessavoProbeSvc" + std::to_string(::GetCurrentProcessId());
    std::string command = test::quote_arg(win::exe_path()) + " --child probe_service";
    win::unique_schandle scm{::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    win::unique_schandle svc;

    TestService() {
        if (!scm) return;
        svc.reset(::CreateServiceW(
            scm.get(), win::widen(name).c_str(), L"Tessavo probe test", SERVICE_ALL_ACCESS,
            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
            win::widen(command).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    }
    ~TestService() {
        if (!svc) return;
        SERVICE_STATUS st{};
        ::ControlService(svc.get(), SERVICE_CONTROL_STOP, &st);
        wait_for(SERVICE_STOPPED);
        ::DeleteService(svc.get());
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
};

const ServiceInfo* find_service(const std::vector<ServiceInfo>& list, const std::string& name) {
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const ServiceInfo& s) { return s.name == name; });
    return it == list.end() ? nullptr : &*it;
}

TEST(ServicesWin, ListsEachServiceOnceWhenTheFirstBufferIsTooSmall) {
    const auto normal = list_services();
    ASSERT_FALSE(normal.empty());
    // Wine answers a short buffer with no entries and no resume point; the restart rule
    // still lists everything once.
    for (std::uint64_t first : {0ull, 64ull, 1024ull}) {
        const auto restarted = list_services(first);
        std::vector<std::string> a, b;
        for (const auto& s : normal)
            a.push_back(s.name);
        for (const auto& s : restarted)
            b.push_back(s.name);
        EXPECT_EQ(a, b) << first;
        EXPECT_EQ(std::set<std::string>(b.begin(), b.end()).size(), b.size()) << first;
    }
}

TEST(ServicesWin, OwnServiceListedChangedStartedAndStopped) {
    TestService t;
    ASSERT_TRUE(t.svc) << ::GetLastError();

    auto list = list_services();
    const ServiceInfo* s = find_service(list, t.name);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->display, "Tessavo probe test");
    EXPECT_EQ(s->binary_path, t.command);
    EXPECT_EQ(s->start_type, 3u);
    EXPECT_FALSE(s->running);
    EXPECT_EQ(s->pid, 0u);

    const ServiceConfig cfg = query_service(t.scm.get(), t.name);
    EXPECT_EQ(cfg.code, 0u);
    EXPECT_EQ(cfg.start_type, 3u);
    EXPECT_EQ(cfg.binary_path, t.command);
    EXPECT_EQ(query_service(t.scm.get(), "TessavoNoSuchService").code, 1060u);

    // Change and restore the start type.
    ASSERT_EQ(set_service_start(t.name, 4), 0u);
    EXPECT_EQ(query_service(t.scm.get(), t.name).start_type, 4u);
    list = list_services();
    ASSERT_NE(find_service(list, t.name), nullptr);
    EXPECT_EQ(find_service(list, t.name)->start_type, 4u);
    ASSERT_EQ(set_service_start(t.name, 3), 0u);
    EXPECT_EQ(query_service(t.scm.get(), t.name).start_type, 3u);

    // Stopping a stopped service is success.
    EXPECT_EQ(stop_service(t.name), 0u);

    ASSERT_TRUE(::StartServiceW(t.svc.get(), 0, nullptr)) << ::GetLastError();
    ASSERT_TRUE(t.wait_for(SERVICE_RUNNING));
    list = list_services();
    s = find_service(list, t.name);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->running);
    EXPECT_NE(s->pid, 0u);

    EXPECT_EQ(stop_service(t.name), 0u);
    EXPECT_TRUE(t.wait_for(SERVICE_STOPPED));
    EXPECT_EQ(stop_service(t.name), 0u);
}

TEST(ServicesWin, MissingServiceGives1060) {
    const std::uint32_t code = set_service_start("TessavoNoSuchService", 3);
    EXPECT_EQ(code, 1060u);
    EXPECT_EQ(service_error_words(code), "service does not exist");
    EXPECT_EQ(stop_service("TessavoNoSuchService"), 1060u);
}

}  // namespace
}  // namespace tess
