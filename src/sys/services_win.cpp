#include "sys/services_win.hpp"

#include "core/win.hpp"

namespace tess {

namespace {

std::uint64_t address_of(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

// GetLastError after a failed call, never 0, so a code always means failure.
std::uint32_t last_error() {
    const DWORD e = ::GetLastError();
    return e ? e : ERROR_INVALID_DATA;
}

}  // namespace

ServiceConfig query_service(SC_HANDLE manager, std::string_view name) {
    win::unique_schandle svc(
        ::OpenServiceW(manager, win::widen(name).c_str(), SERVICE_QUERY_CONFIG));
    if (!svc) return {last_error()};
    DWORD need = 0;
    ::QueryServiceConfigW(svc.get(), nullptr, 0, &need);
    if (need == 0) return {last_error()};
    std::vector<unsigned char> buf((static_cast<std::size_t>(need) + 7) / 8 * 8);
    if (buf.size() < sizeof(QUERY_SERVICE_CONFIGW)) buf.resize(sizeof(QUERY_SERVICE_CONFIGW));
    auto* cfg = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buf.data());
    if (!::QueryServiceConfigW(svc.get(), cfg, static_cast<DWORD>(buf.size()), &need))
        return {last_error()};
    return {0, cfg->dwStartType,
            terminated_text_in(buf, address_of(buf.data()), address_of(cfg->lpBinaryPathName))};
}

std::vector<ServiceInfo> list_services(std::uint64_t first_buffer) {
    win::unique_schandle scm(
        ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (!scm) return {};
    DWORD count = 0;
    const GrowRule rule{first_buffer, kServicesMaxCalls, &services_next_size};
    // A short buffer may come back with no entries and no usable resume point, so every
    // call starts the enumeration from the beginning.
    const auto buf = grow_and_retry(rule, [&](std::vector<unsigned char>& b) -> Attempt {
        if (b.size() > MAXDWORD) return {};
        DWORD need = 0, resume = 0;
        count = 0;
        if (::EnumServicesStatusExW(scm.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32,
                                    SERVICE_STATE_ALL, b.empty() ? nullptr : b.data(),
                                    static_cast<DWORD>(b.size()), &need, &count, &resume, nullptr))
            return {AttemptStatus::Done, b.size()};
        if (::GetLastError() == ERROR_MORE_DATA) return {AttemptStatus::TooSmall, need};
        return {};
    });
    if (!buf) return {};

    const std::size_t fit = buf->size() / sizeof(ENUM_SERVICE_STATUS_PROCESSW);
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buf->data());
    const std::uint64_t base = address_of(buf->data());
    std::vector<ServiceInfo> list;
    list.reserve(count);
    for (std::size_t i = 0; i < count && i < fit; ++i) {
        const ENUM_SERVICE_STATUS_PROCESSW& e = entries[i];
        ServiceInfo s;
        s.name = terminated_text_in(*buf, base, address_of(e.lpServiceName));
        s.display = terminated_text_in(*buf, base, address_of(e.lpDisplayName));
        ServiceConfig cfg = query_service(scm.get(), s.name);
        if (cfg.code == 0) {
            s.start_type = cfg.start_type;
            s.binary_path = std::move(cfg.binary_path);
        }
        s.pid = e.ServiceStatusProcess.dwProcessId;
        s.running = e.ServiceStatusProcess.dwCurrentState == SERVICE_RUNNING;
        list.push_back(std::move(s));
    }
    return list;
}

std::uint32_t set_service_start(std::string_view name, std::uint32_t start_type) {
    win::unique_schandle scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm) return last_error();
    win::unique_schandle svc(
        ::OpenServiceW(scm.get(), win::widen(name).c_str(), SERVICE_CHANGE_CONFIG));
    if (!svc) return last_error();
    if (!::ChangeServiceConfigW(svc.get(), SERVICE_NO_CHANGE, start_type, SERVICE_NO_CHANGE,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        return last_error();
    return 0;
}

std::uint32_t stop_service(std::string_view name) {
    win::unique_schandle scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm) return last_error();
    win::unique_schandle svc(
        ::OpenServiceW(scm.get(), win::widen(name).c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!svc) return last_error();
    SERVICE_STATUS status{};
    if (!::ControlService(svc.get(), SERVICE_CONTROL_STOP, &status)) {
        const std::uint32_t e = last_error();
        if (e != ERROR_SERVICE_NOT_ACTIVE) return e;
    }
    return 0;
}

}  // namespace tess
