#include "changes/executor.hpp"

#include <atomic>

#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/settings.hpp"
#include "core/win.hpp"
#include "sys/services_win.hpp"

namespace tess {

namespace {

ServiceConfig read_service(std::string_view name) {
    win::unique_schandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return ServiceConfig{static_cast<std::uint32_t>(::GetLastError())};
    return query_service(manager.get(), name);
}

std::string image_name(std::uint32_t pid) {
    win::unique_handle h(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!h) return {};
    return std::string(path_name(win::process_image_path(h.get())));
}

}  // namespace

bool process_elevated() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    win::unique_handle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size))
        return false;
    return elevation.TokenIsElevated != 0;
}

ExecutorSystem executor_system() {
    ExecutorSystem sys;
    sys.own_pid = ::GetCurrentProcessId();
    sys.now = win::filetime_now;
    sys.end_process = [](std::uint32_t pid, std::uint64_t created) {
        return end_process(pid, created);
    };
    sys.process_image_name = image_name;
    sys.read_startup_approved = [](StartupLocation location, std::string_view name) {
        return read_startup_approved(location, name);
    };
    sys.write_startup_approved = [](StartupLocation location, std::string_view name,
                                    std::span<const unsigned char> bytes) {
        return write_startup_approved(location, name, bytes);
    };
    sys.delete_startup_approved = [](StartupLocation location, std::string_view name) {
        return delete_startup_approved(location, name);
    };
    sys.query_service = read_service;
    sys.set_service_start = [](std::string_view name, std::uint32_t start) {
        return set_service_start(name, start);
    };
    sys.stop_service = [](std::string_view name) { return stop_service(name); };
    sys.clean_junk_category = [](std::string_view id, const std::string& keep) {
        return clean_junk_category(id, {data_dir(), keep});
    };
    sys.check_dev_folder = [](const std::string& path) { return check_dev_folder(path); };
    sys.delete_folder_tree = [](const std::string& path) { return delete_folder_tree(path); };
    sys.load_journal = [](const std::string& path) { return load_journal(path); };
    sys.update_journal = [](Journal& journal, const std::function<bool(Journal&)>& change) {
        return update_journal(journal, change);
    };
    sys.run = new_run_id();
    sys.log = [](std::string_view line) { log_line(line); };
    return sys;
}

std::string new_run_id() {
    static std::atomic<std::uint32_t> counter{0};
    return std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(win::filetime_now()) +
           "-" + std::to_string(++counter);
}

ExecutorRun apply_ops(const std::string& journal_path, const std::vector<Op>& ops,
                      bool in_admin_helper, const std::string& run) {
    return apply_ops_as(journal_path, ops, in_admin_helper || process_elevated(), run);
}

ExecutorRun apply_ops_as(const std::string& journal_path, const std::vector<Op>& ops, bool elevated,
                         const std::string& run) {
    ExecutorSystem sys = executor_system();
    if (!run.empty()) sys.run = run;
    return run_ops(journal_path, ops, elevated, sys);
}

}  // namespace tess
