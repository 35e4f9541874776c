#include "changes/plan_win.hpp"

#include "core/win.hpp"

namespace tess {

// The launch structure's size is part of the contract with the shell.
static_assert(sizeof(SHELLEXECUTEINFOW) == 112);

namespace {

constexpr std::size_t kMaxCommandLine = 32'767;

std::string choose_helper_executable() {
    const std::string running = win::exe_path();
    const std::string beside = helper_beside(running);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!running.empty() &&
        ::GetFileAttributesExW(win::widen(beside).c_str(), GetFileExInfoStandard, &data))
        return beside;
    return running;
}

}  // namespace

ElevationResult run_elevated(const Plan& plan) {
    return run_elevated(plan, [](SHELLEXECUTEINFOW* info) { return ::ShellExecuteExW(info); });
}

ElevationResult run_elevated(const Plan& plan, const ShellExecuteFn& shell_execute) {
    auto parameters = helper_parameters(plan);
    if (!parameters) return {ElevationKind::Failed, 0, parameters.error()};
    const std::wstring file = win::widen(choose_helper_executable());
    const std::wstring params = win::widen(*parameters);
    // Windows refuses a command line ("file" params) beyond 32,767 characters with the
    // terminating NUL; Wine starts the helper with the plan cut short instead, and the
    // caller would then see a finished run with its changes silently missing.
    if (file.size() + 3 + params.size() + 1 > kMaxCommandLine)
        return {ElevationKind::Failed, 0, helper_start_failed_text(ERROR_FILENAME_EXCED_RANGE)};

    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);  // 112 on x64
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
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
