// The entry of each role. Each runs its role to the end and yields the exit code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tess {

int run_mode();  // picks the role from the process command line; Tessavo.exe's whole main

// TESS_DRY_RUN set at all, even empty: the apply runs, Autopilot and Focus mode go
// through their steps and change nothing.
bool test_run_requested();

// 0, 2, 3, 4 or 5
int run_admin_helper(const std::string& plan_file, std::string_view plan_sha256);
int run_tray_watch();  // 0
void run_setup_window();
// 0 or 2; `companion` and its SHA-256 as the update passed them (empty: none).
int run_update_handover(const std::string& companion, const std::string& companion_sha256);
int run_uninstall(bool quiet);  // 0 removed, 1 cancelled, 2 failed
// The uninstall's temporary copy: 0 all removed, 2 something stays until the next restart.
int run_later_removal(const std::vector<std::string>& args);
struct Dispatch;
int run_quiet_install(const Dispatch& d);  // 0 installed, 1 failed, 2 bad option
void run_main_window();

// Deletes "{stem}*.old" files beside the executable (update leftovers); ignores errors.
void clean_old_files();

}  // namespace tess
