#include "updates/install.hpp"

#include <algorithm>

#include "core/paths.hpp"
#include "core/text.hpp"

namespace tess {

namespace {

bool is_set(const std::optional<std::string>& v) {
    return v && !v->empty();
}

}  // namespace

InstallPaths install_paths_for(const InstallEnv& env) {
    InstallPaths p;
    if (is_set(env.install_root) && is_absolute_path(*env.install_root)) {
        const std::string& root = *env.install_root;
        p.folder = join_path(root, "Programs\\Tessavo");
        p.start_menu_link = join_path(root, "StartMenu\\Tessavo.lnk");
        p.desktop_link = join_path(root, "Desktop\\Tessavo.lnk");
        p.entry_name = "Tessavo-Test";
        p.real = false;
        return p;
    }
    const std::string base = is_set(env.local_app_data) ? *env.local_app_data : env.temp_folder;
    p.folder = join_path(base, "Programs\\Tessavo");
    // With neither the known folder nor the variable there is no place for the link;
    // an empty path makes creating it fail with the shortcut's own message.
    std::string programs;
    if (is_set(env.programs_folder))
        programs = *env.programs_folder;
    else if (is_set(env.app_data))
        programs = join_path(*env.app_data, "Microsoft\\Windows\\Start Menu\\Programs");
    std::string desktop;
    if (is_set(env.desktop_folder))
        desktop = *env.desktop_folder;
    else if (is_set(env.user_profile))
        desktop = join_path(*env.user_profile, "Desktop");
    p.start_menu_link = programs.empty() ? std::string() : join_path(programs, "Tessavo.lnk");
    p.desktop_link = desktop.empty() ? std::string() : join_path(desktop, "Tessavo.lnk");
    p.entry_name = "Tessavo";
    p.real = true;
    return p;
}

std::string installed_exe(const InstallPaths& paths) {
    return join_path(paths.folder, kExeName);
}

bool is_installed_copy_at(std::string_view running_exe, const InstallPaths& paths) {
    if (running_exe.empty() || paths.folder.empty()) return false;
    return same_path(parent_path(running_exe), paths.folder);
}

std::string moved_aside_name(std::string_view to, std::uint32_t pid) {
    const std::string_view name = path_name(to);
    const std::string_view dir = to.substr(0, to.size() - name.size());
    std::string_view stem = name;
    // The extension is what follows the last "." of the name, unless that "." leads it.
    if (const auto dot = name.rfind('.'); dot != std::string_view::npos && dot != 0)
        stem = name.substr(0, dot);
    std::string out(dir);
    out += stem;
    out += '.';
    out += std::to_string(pid);
    out += ".old";
    return out;
}

bool install_folder_is_safe(std::string_view folder) {
    if (!is_absolute_path(folder) || has_dot_component(folder)) return false;
    const std::string lower = to_lower_ascii(folder);
    return ends_with(lower, "\\programs\\tessavo") || contains(lower, "tess-install-test");
}

AsideReplace replace_moving_aside(const FileStep& move, const FileStep& copy,
                                  const std::string& from, const std::string& to,
                                  const std::string& aside) {
    AsideReplace r;
    if ((r.move_error = move(to, aside))) return r;
    if ((r.copy_error = copy(from, to))) r.restored = !move(aside, to);
    return r;
}

}  // namespace tess
