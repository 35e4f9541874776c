#include "changes/executor.hpp"
#include "changes/plan.hpp"
#include "core/crypto.hpp"
#include "core/roles.hpp"
#include "core/win.hpp"

namespace tess {

namespace {

// Far more than any plan; the bound keeps a planted huge file from filling memory.
constexpr LONGLONG kMaxPlanBytes = 16LL << 20;

// The whole file, read through one handle that lets nobody write to it meanwhile, so the
// bytes hashed are the bytes parsed. A link or a folder in its place is no plan.
std::optional<std::string> read_plan_bytes(const std::string& path) {
    win::unique_hfile file(::CreateFileW(win::widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
    if (!file) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxPlanBytes) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size()))
        return std::nullopt;
    return bytes;
}

}  // namespace

// Shows no window and writes nothing but the plan's journal. An invalid plan changes
// nothing, its file included.
int run_admin_helper(const std::string& plan_file, std::string_view plan_sha256) {
    if (const int code = check_plan_arguments(plan_file, plan_sha256); code != kHelperDone)
        return code;
    const auto bytes = read_plan_bytes(plan_file);
    const std::string actual = bytes ? sha256_hex(*bytes).value_or("") : std::string();
    const PlanArgument argument = read_plan_file(plan_file, plan_sha256, bytes, actual);
    if (argument.exit_code != kHelperDone) return argument.exit_code;
    // Read and checked: the plan is used once.
    ::DeleteFileW(win::widen(plan_file).c_str());
    const ExecutorRun run = apply_ops(argument.plan.journal, argument.plan.ops,
                                      /*in_admin_helper=*/true, argument.plan.run);
    // The caller finds the saved entries by the plan's run; one that could not be saved
    // leaves no trace there, so the exit code tells of it.
    for (const JournalEntry& e : run.entries)
        if (!entry_saved(e)) return kHelperUnsaved;
    return run.deferred.empty() ? kHelperDone : kHelperDeferred;
}

}  // namespace tess
