#include "core/win.hpp"

#include "core/entry.hpp"
#include "core/paths.hpp"
#include "core/roles.hpp"
#include "core/text.hpp"

namespace tess {

namespace {}  // namespace

bool test_run_requested() {
    return win::get_env("TESS_DRY_RUN").has_value();
}

void clean_old_files() {
    const std::string exe = win::exe_path();
    if (exe.empty()) return;
    const std::string dir = std::string(parent_path(exe));
    const std::string stem = to_lower_ascii(file_stem(path_name(exe)));
    WIN32_FIND_DATAW fd{};
    win::unique_hfind find(::FindFirstFileExW(win::widen(join_path(dir, "*")).c_str(),
                                              FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                              0));
    if (!find) return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::string name = win::narrow(fd.cFileName, wcslen(fd.cFileName));
        if (is_old_leftover(stem, name)) ::DeleteFileW(win::widen(join_path(dir, name)).c_str());
    } while (::FindNextFileW(find.get(), &fd));
}

int run_mode() {
    clean_old_files();
    const std::vector<std::string> args = win::command_line_args();
    std::optional<std::string> stem;
    if (const std::string exe = win::exe_path(); !exe.empty()) stem = file_stem(path_name(exe));
    const Dispatch d = choose_role(args, stem);
    switch (d.role) {
        case Role::AdminHelper:
            return run_admin_helper(d.plan_file, d.plan_sha256);
        case Role::TrayWatch:
            return run_tray_watch();
        case Role::Setup:
            run_setup_window();
            return 0;
        case Role::UpdateHandOver:
            return run_update_handover(d.companion, d.companion_sha256);
        case Role::Uninstall:
            return run_uninstall(d.quiet);
        case Role::LaterRemoval:
            return run_later_removal(d.later_removal);
        case Role::QuietInstall:
            return run_quiet_install(d);
        case Role::MainWindow:
            break;
    }
    run_main_window();
    return 0;
}

}  // namespace tess
