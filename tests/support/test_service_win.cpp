#include "support/test_service.hpp"

#include "support/child.hpp"
#include "support/winutil.hpp"
#include "sys/services_win.hpp"

namespace tess::test {

namespace {

// The service side: the dispatcher reports running and stops when asked.
SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;

void report(DWORD state) {
    SERVICE_STATUS st{};
    st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    st.dwCurrentState = state;
    st.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    ::SetServiceStatus(g_status, &st);
}

DWORD WINAPI service_control(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        report(SERVICE_STOP_PENDING);
        ::SetEvent(g_stop);
    }
    return NO_ERROR;
}

void WINAPI service_main(DWORD, wchar_t**) {
    g_status = ::RegisterServiceCtrlHandlerExW(L"", service_control, nullptr);
    if (!g_status) return;
    report(SERVICE_RUNNING);
    ::WaitForSingleObject(g_stop, 60'000);
    report(SERVICE_STOPPED);
}

}  // namespace

TESS_CHILD(test_service) {
    g_stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, service_main}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}

TestService::TestService(const std::string& tag, DWORD start_type)
    : name("TessavoTest" + tag + std::to_string(::GetCurrentProcessId())),
      display("Tessavo test " + tag),
      command(quote_arg(win::exe_path()) + " --child test_service"),
      scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
    if (!scm) {
        create_error = ::GetLastError();
        return;
    }
    svc.reset(::CreateServiceW(scm.get(), win::widen(name).c_str(), win::widen(display).c_str(),
                               SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, start_type,
                               SERVICE_ERROR_IGNORE, win::widen(command).c_str(), nullptr, nullptr,
                               nullptr, nullptr, nullptr));
    if (!svc) create_error = ::GetLastError();
}

TestService::~TestService() {
    if (!svc) return;
    SERVICE_STATUS st{};
    ::ControlService(svc.get(), SERVICE_CONTROL_STOP, &st);
    wait_for(SERVICE_STOPPED);
    ::DeleteService(svc.get());
}

bool TestService::start() {
    return svc && ::StartServiceW(svc.get(), 0, nullptr) && wait_for(SERVICE_RUNNING);
}

DWORD TestService::state() const {
    SERVICE_STATUS st{};
    return ::QueryServiceStatus(svc.get(), &st) ? st.dwCurrentState : 0;
}

bool TestService::wait_for(DWORD want) const {
    for (int i = 0; i < 200; ++i) {
        if (state() == want) return true;
        ::Sleep(50);
    }
    return false;
}

std::uint32_t TestService::start_type() const {
    win::unique_schandle m(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    return query_service(m.get(), name).start_type;
}

}  // namespace tess::test
