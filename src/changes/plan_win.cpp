#include "changes/plan_win.hpp"

#include "core/win.hpp"

#include <sddl.h>

#include <atomic>

#include "core/account.hpp"
#include "core/crypto.hpp"
#include "core/paths.hpp"

namespace tess {

// The launch structure's size is part of the contract with the shell.
static_assert(sizeof(SHELLEXECUTEINFOW) == 112);

namespace {

std::string choose_helper_executable() {
    const std::string running = win::exe_path();
    const std::string beside = helper_beside(running);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!running.empty() &&
        ::GetFileAttributesExW(win::widen(beside).c_str(), GetFileExInfoStandard, &data))
        return beside;
    return running;
}

// Another user could otherwise swap the plan between its writing and the helper's
// reading (the data folder may sit in a shared temp folder); the hash catches a change,
// the ACL keeps anyone else from making one.
bool make_plan_folder(const std::string& folder, const std::string& sid) {
    if (!win::create_dirs(std::string(parent_path(folder)))) return false;
    const std::wstring sddl = win::widen(private_folder_sddl(sid));
    win::unique_hlocal sd;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                sd.put(), nullptr))
        return false;
    const std::wstring wfolder = win::widen(folder);
    SECURITY_ATTRIBUTES sa{sizeof sa, sd.get(), FALSE};
    if (::CreateDirectoryW(wfolder.c_str(), &sa)) return true;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    // Made earlier, perhaps by someone else: put our ACL back on it.
    return ::SetFileSecurityW(wfolder.c_str(), DACL_SECURITY_INFORMATION, sd.get()) != FALSE;
}

}  // namespace

Result<PlanFile> write_plan_file(const Plan& plan) {
    Plan named = plan;
    named.sid = win::narrow(win::current_user_sid());
    if (named.sid.empty()) return Error{"could not read which account you are signed in as"};
    auto text = serialize_plan(named);
    if (!text) return Error{text.error()};
    const auto sha = sha256_hex(*text);
    if (!sha) return Error{"could not hash the plan"};
    const std::string folder = plan_folder(plan.journal);
    if (!make_plan_folder(folder, named.sid))
        return Error{"could not make the plan folder (" + win::error_text(::GetLastError()) + ")"};
    // A new file of our own: CREATE_NEW never opens one planted in its place.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path =
            join_path(folder, "plan-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                  std::to_string(::GetTickCount64()) + "-" +
                                  std::to_string(counter++) + ".json");
        win::unique_hfile file(::CreateFileW(win::widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            if (::GetLastError() == ERROR_FILE_EXISTS) continue;
            return Error{"could not write the plan (" + win::error_text(::GetLastError()) + ")"};
        }
        DWORD written = 0;
        const bool ok = text->size() <= 0xFFFFFFFFu &&
                        ::WriteFile(file.get(), text->data(), static_cast<DWORD>(text->size()),
                                    &written, nullptr) &&
                        written == text->size();
        const DWORD err = ::GetLastError();
        file.reset();
        if (!ok) {
            ::DeleteFileW(win::widen(path).c_str());
            return Error{"could not write the plan (" + win::error_text(err) + ")"};
        }
        return PlanFile{path, *sha};
    }
    return Error{"could not write the plan (no free file name)"};
}

ElevationResult run_elevated(const Plan& plan, HWND owner) {
    return run_elevated(plan, owner,
                        [](SHELLEXECUTEINFOW* info) { return ::ShellExecuteExW(info); });
}

ElevationResult run_elevated(const Plan& plan, HWND owner, const ShellExecuteFn& shell_execute) {
    auto plan_file = write_plan_file(plan);
    if (!plan_file) return {ElevationKind::Failed, 0, plan_file.error()};
    // The helper deletes the file once read; one it refused, or never saw, goes here.
    struct Cleanup {
        std::wstring path;
        ~Cleanup() { ::DeleteFileW(path.c_str()); }
    } cleanup{win::widen(plan_file->path)};

    const std::wstring file = win::widen(choose_helper_executable());
    const std::wstring params = win::widen(helper_parameters(plan_file->path, plan_file->sha256));
    // "file" params: beyond this the shell refuses to start anything.
    if (file.size() + 3 + params.size() > kMaxShellCommandLine)
        return {ElevationKind::Failed, 0, helper_start_failed_text(ERROR_FILENAME_EXCED_RANGE)};

    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);  // 112 on x64
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    // Owned by the asking window, the prompt comes to the front instead of only flashing
    // on the taskbar.
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = file.c_str();
    info.lpParameters = params.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_HIDE;
    if (!shell_execute(&info)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_CANCELLED) return {ElevationKind::Cancelled, 0, {}};
        return {ElevationKind::Failed, 0, helper_start_failed_text(code)};
    }
    if (!info.hProcess) return {ElevationKind::Failed, 0, std::string(kHelperNoProcess)};
    win::unique_handle process(info.hProcess);
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD exit_code = 0;
    if (!::GetExitCodeProcess(process.get(), &exit_code)) exit_code = 1;
    return {ElevationKind::Finished, exit_code, {}};
}

}  // namespace tess
