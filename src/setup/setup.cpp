#include "setup/setup.hpp"

#include <cstdio>

#include "core/entry.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"
#include "model/devclean.hpp"

namespace tess {

std::vector<RegValue> uninstall_entry_values(const InstallPaths& paths,
                                             std::optional<std::uint64_t> exe_size,
                                             LocalDate date) {
    const std::string exe = installed_exe(paths);
    char day[16];
    std::snprintf(day, sizeof day, "%04d%02d%02d", date.year % 10000, date.month % 100,
                  date.day % 100);
    const auto sz = [](std::string name, std::string text) {
        return RegValue{std::move(name), RegValue::Type::Sz, std::move(text), 0};
    };
    const auto dword = [](std::string name, std::uint32_t v) {
        return RegValue{std::move(name), RegValue::Type::Dword, {}, v};
    };
    const std::uint64_t kib = exe_size ? *exe_size / 1024 : 0;
    return {
        sz("DisplayName", "Tessavo"),
        sz("DisplayVersion", std::string(kVersion)),
        sz("Publisher", "Tessavo"),
        sz("DisplayIcon", exe + ",0"),
        sz("InstallLocation", paths.folder),
        sz("UninstallString", "\"" + exe + "\" --uninstall"),
        sz("QuietUninstallString", "\"" + exe + "\" --uninstall --quiet"),
        sz("InstallDate", day),
        dword("EstimatedSize", kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kib)),
        dword("NoModify", 1),
        dword("NoRepair", 1),
    };
}

SetupError copy_or_replace(const std::string& from, const std::string& to, const SetupSystem& sys) {
    if (sys.same_file(from, to)) return std::nullopt;
    if (sys.copy_file(from, to) == 0) return std::nullopt;
    const auto step = [&sys](std::uint32_t e) -> std::optional<std::string> {
        if (e == 0) return std::nullopt;
        return sys.error_text(e);
    };
    if (!sys.file_exists(to)) {
        if (auto e = step(sys.copy_file(from, to))) return "couldn't copy to " + to + ": " + *e;
        return std::nullopt;
    }
    // A running program's image can be renamed but not overwritten; the leftover is
    // deleted by the next start of the program beside it.
    const std::string aside = moved_aside_name(to, sys.own_pid);
    const AsideReplace r = replace_moving_aside(
        [&](const std::string& a, const std::string& b) { return step(sys.move_file(a, b)); },
        [&](const std::string& a, const std::string& b) { return step(sys.copy_file(a, b)); }, from,
        to, aside);
    if (r.move_error) return "couldn't replace " + to + ": " + *r.move_error;
    if (!r.copy_error) return std::nullopt;
    std::string error = "couldn't copy to " + to + ": " + *r.copy_error;
    if (!r.restored) error += " (the previous copy is " + aside + ")";
    return error;
}

std::uint64_t install_size(const std::string& exe, const SetupSystem& sys) {
    const auto program = sys.file_size(exe);
    if (!program) return 0;
    const auto cli = sys.file_size(join_path(parent_path(exe), kCliName));
    return *program + cli.value_or(0) + sys.notices().size();
}

void close_running_copies(const InstallPaths& paths, const SetupSystem& sys) {
    if (!paths.real) return;
    sys.post_close_to_windows();
    const std::string target = to_lower_ascii(installed_exe(paths));
    std::vector<RunningImage> left;
    for (int attempt = 0; attempt < 30; ++attempt) {
        left.clear();
        for (RunningImage& r : sys.running_images())
            if (r.pid != sys.own_pid && to_lower_ascii(r.image_path) == target)
                left.push_back(std::move(r));
        if (left.empty()) return;
        sys.sleep_ms(100);
    }
    for (const RunningImage& r : left)
        sys.end_process(r.pid, r.created);
}

SetupError install_from(const std::string& exe, const InstallPaths& paths, bool desktop, bool tray,
                        const SetupSystem& sys) {
    const std::string cli = join_path(parent_path(exe), kCliName);
    return install_files(exe, sys.file_exists(cli) ? std::optional(cli) : std::nullopt, paths,
                         desktop, tray, sys);
}

SetupError install_files(const std::string& exe, const std::optional<std::string>& companion,
                         const InstallPaths& paths, bool desktop, bool tray,
                         const SetupSystem& sys) {
    if (const std::uint32_t e = sys.create_dirs(paths.folder); e != 0)
        return "couldn't create " + paths.folder + ": " + sys.error_text(e);
    close_running_copies(paths, sys);
    const std::string target = installed_exe(paths);
    if (auto e = copy_or_replace(exe, target, sys)) return e;
    if (companion) copy_or_replace(*companion, join_path(paths.folder, kCliName), sys);
    sys.write_file(join_path(paths.folder, kNoticesName), sys.notices());
    if (auto e = sys.create_shortcut(paths.start_menu_link, target)) return e;
    if (desktop) {
        if (auto e = sys.create_shortcut(paths.desktop_link, target)) return e;
    } else if (!paths.desktop_link.empty()) {
        sys.delete_file(paths.desktop_link);
    }
    const auto values = uninstall_entry_values(paths, sys.file_size(target), sys.today());
    if (const std::uint32_t e = sys.write_uninstall_entry(paths.entry_name, values); e != 0)
        return "couldn't write the registry (error " + std::to_string(e) + ")";
    if (paths.real) {
        if (const std::uint32_t e = sys.set_run_value(tray, target); e != 0)
            return "couldn't set up the tray watch (error " + std::to_string(e) + ")";
    }
    return std::nullopt;
}

std::string update_failed_text(std::string_view error, bool still_works) {
    std::string text = "The update didn't finish: " + std::string(error) + "\n\n";
    if (still_works) return text + "Your current version still works.";
    return text + "Download Tessavo again from " + std::string(kReleasesPage) + ".";
}

std::string updated_text() {
    return "Tessavo was updated to version " + std::string(kVersion) + ".";
}

std::string uninstall_failed_text(std::string_view error) {
    return "Uninstall didn't finish: " + std::string(error);
}

int update_handover(const InstallPaths& paths, const std::optional<VerifiedFile>& companion,
                    const SetupSystem& sys) {
    const bool tray_was_running = sys.tray_running();
    sys.sleep_ms(800);  // lets the old processes exit
    const bool desktop = !paths.desktop_link.empty() && sys.file_exists(paths.desktop_link);
    const bool run_value = paths.real && sys.run_value_present();
    std::string error;
    SetupError failed;
    // Checked again here: the file waited in the temporary folder, where anything may
    // have replaced it since the download was verified.
    std::optional<std::string> cli;
    if (companion && sys.sha256_file(companion->path) == to_lower_ascii(companion->sha256))
        cli = companion->path;
    if (const auto exe = sys.exe_path(error))
        failed = install_files(*exe, cli, paths, desktop, run_value, sys);
    else
        failed = error;
    if (failed) {
        // Only a program in its place still works: a replace that could not put the old
        // file back leaves the shortcuts pointing at nothing.
        const bool still_works = sys.file_exists(installed_exe(paths));
        if (!sys.offscreen) sys.show_error(update_failed_text(*failed, still_works));
        return 2;
    }
    if (paths.real) {
        const std::string target = installed_exe(paths);
        if (tray_was_running || run_value) sys.start_detached(target, "agent");
        sys.start_detached(target, "");
    }
    if (!sys.offscreen) sys.show_info(updated_text());
    return 0;
}

FolderRemoval remove_folder_tree(const std::string& raw_folder, const FileOps& fs) {
    FolderRemoval r;
    const std::string folder = normalize_folder_path(raw_folder);
    std::uint32_t code = 0;
    const auto final_path = real_folder_final_path(fs, folder, &code);
    if (!final_path) {
        // Missing is done; a link (code 0) is left alone rather than followed.
        r.removed = is_missing_error(code);
        r.error = code;
        return r;
    }
    delete_folder_tree(folder, fs);
    std::vector<DirEntry> left;
    std::uint32_t list_error = 0;
    if (!list_folder(fs, folder, *final_path, left, &list_error)) {
        r.removed = is_missing_error(list_error);
        r.error = list_error;
        return r;
    }
    for (const DirEntry& e : left)
        if (!is_directory(e.attributes) && !is_link(e.attributes))
            r.files_left.push_back(join_path(folder, e.name));
    r.error = left.empty() ? kErrAccessDenied : kErrDirNotEmpty;
    return r;
}

std::string later_removal_args(const LaterRemoval& removal) {
    // Windows paths hold no quotes, and an install folder never ends in a backslash.
    std::string args = std::string(kRemoveAfterArg) + " " + std::to_string(removal.handle) + " \"" +
                       removal.folder + "\"";
    for (const std::string& f : removal.files)
        args += " \"" + f + "\"";
    return args;
}

std::optional<LaterRemoval> parse_later_removal(const std::vector<std::string>& args) {
    if (args.size() < 2) return std::nullopt;
    const std::optional<std::uint64_t> handle = parse_decimal(args[0]);
    if (!handle) return std::nullopt;
    LaterRemoval r;
    r.handle = *handle;
    r.folder = args[1];
    if (!install_folder_is_safe(r.folder)) return std::nullopt;
    // Only named files and the empty folder are removed: a recursive removal may follow links.
    const std::string prefix = to_lower_ascii(r.folder) + "\\";
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& f = args[i];
        if (!starts_with(to_lower_ascii(f), prefix)) return std::nullopt;
        const std::string_view name = std::string_view(f).substr(prefix.size());
        if (name.empty() || name == "." || name == ".." ||
            name.find_first_of("\\/:") != std::string_view::npos)
            return std::nullopt;
        r.files.push_back(f);
    }
    return r;
}

SetupError remove_install(const InstallPaths& paths, const SetupSystem& sys) {
    // Checked before anything is removed, so a refused folder leaves the whole install.
    if (!install_folder_is_safe(paths.folder))
        return "refusing to delete unexpected folder " + paths.folder;
    close_running_copies(paths, sys);
    if (paths.real) sys.set_run_value(false, installed_exe(paths));
    if (!paths.start_menu_link.empty()) sys.delete_file(paths.start_menu_link);
    if (!paths.desktop_link.empty()) sys.delete_file(paths.desktop_link);
    if (const std::uint32_t e = sys.delete_uninstall_entry(paths.entry_name);
        e != 0 && e != kErrFileNotFound)
        return "couldn't remove the Settings entry (error " + std::to_string(e) + ")";
    if (paths.real) {
        const std::string data = sys.data_dir();
        if (!data.empty()) remove_folder_tree(data, sys.fs);
    }
    const FolderRemoval removal = remove_folder_tree(paths.folder, sys.fs);
    if (removal.removed) return std::nullopt;
    std::string error;
    const auto running = sys.exe_path(error);
    if (running && is_installed_copy_at(*running, paths) && removal.error != 0) {
        // This program's own image cannot go while it runs: the rest waits for its end.
        if (const std::uint32_t e = sys.start_later_removal(paths.folder, removal.files_left);
            e != 0)
            return "couldn't schedule folder removal: " + sys.error_text(e);
        return std::nullopt;
    }
    const std::string why = removal.error != 0 ? sys.error_text(removal.error)
                                               : std::string("it is a link, so it was left alone");
    return "couldn't remove " + paths.folder + ": " + why;
}

int uninstall(const InstallPaths& paths, bool quiet, const SetupSystem& sys) {
    if (!quiet && !sys.ask_yes_no(std::string(kUninstallQuestion))) return 1;
    const SetupError failed = remove_install(paths, sys);
    if (quiet) return failed ? 2 : 0;
    if (failed) {
        sys.show_error(uninstall_failed_text(*failed));
        return 2;
    }
    sys.show_info(std::string(kUninstalled));
    return 0;
}

}  // namespace tess
