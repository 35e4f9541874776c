#include "updates/install.hpp"

#include "core/win.hpp"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

namespace tess {

namespace {

std::optional<std::string> known_folder(REFKNOWNFOLDERID id) {
    win::unique_cotaskmem_ptr<wchar_t> path;
    const HRESULT hr = ::SHGetKnownFolderPath(id, 0, nullptr, path.put());
    if (FAILED(hr) || !path) return std::nullopt;
    return win::narrow(path.get(), wcslen(path.get()));
}

}  // namespace

InstallPaths install_paths() {
    InstallEnv env;
    env.install_root = win::get_env("TESS_INSTALL_ROOT");
    env.local_app_data = win::get_env("LOCALAPPDATA");
    env.temp_folder = win::temp_folder();
    env.app_data = win::get_env("APPDATA");
    env.user_profile = win::get_env("USERPROFILE");
    env.programs_folder = known_folder(FOLDERID_Programs);
    env.desktop_folder = known_folder(FOLDERID_Desktop);
    return install_paths_for(env);
}

bool is_installed_copy(const InstallPaths& paths) {
    return is_installed_copy_at(win::exe_path(), paths);
}

}  // namespace tess
