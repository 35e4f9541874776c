#include <chrono>

#include "core/win.hpp"
#include "model/devclean.hpp"

namespace tess {

namespace {

EnvLookup process_env() {
    return [](std::string_view name) { return win::get_env(name); };
}

std::vector<char> fixed_drives() {
    std::vector<char> drives;
    const DWORD mask = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i))) continue;
        const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
        if (::GetDriveTypeW(root) == DRIVE_FIXED) drives.push_back(static_cast<char>('A' + i));
    }
    return drives;
}

}  // namespace

std::vector<DevFolder> scan_dev_junk() {
    return scan_dev_junk({});
}

std::vector<DevFolder> scan_dev_junk(const std::vector<std::string>& roots) {
    const EnvLookup env = process_env();
    DevScanSetup setup;
    setup.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    // Roots named by the caller replace the drives, as TESS_DEV_ROOTS does.
    const bool overridden = !roots.empty() || env("TESS_DEV_ROOTS").has_value();
    setup.roots = !roots.empty()
                      ? roots
                      : dev_scan_roots(env, overridden ? std::vector<char>{} : fixed_drives());
    if (!overridden) setup.caches = package_caches(env, system_file_ops());
    setup.system = system_paths(env);
    setup.now = win::filetime_now();
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    setup.processors = info.dwNumberOfProcessors;
    return scan_dev_folders(setup, system_file_ops());
}

std::optional<DevFolderKind> dev_folder_kind(std::string_view name,
                                             const std::vector<std::string>& names_beside,
                                             const std::string& path) {
    return dev_folder_kind(name, names_beside, path, system_file_ops());
}

std::vector<PackageCache> package_caches() {
    return package_caches(process_env(), system_file_ops());
}

bool is_system_path(std::string_view path) {
    return is_system_path(path, system_paths(process_env()));
}

Status check_dev_folder(const std::string& path) {
    return check_dev_folder(path, process_env(), system_file_ops());
}

TreeDeleteResult delete_folder_tree(const std::string& path) {
    return delete_folder_tree(path, system_file_ops());
}

}  // namespace tess
