#include "changes/executor.hpp"
#include "changes/plan.hpp"
#include "changes/plan_win.hpp"
#include "core/account.hpp"
#include "core/crypto.hpp"
#include "core/log.hpp"
#include "core/roles.hpp"
#include "core/settings.hpp"
#include "core/win.hpp"
#include "model/journal.hpp"
#include "model/junk.hpp"

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

ExecutorSystem helper_system(const Plan& plan, std::string_view own_sid) {
    ExecutorSystem sys = executor_system();
    if (!plan.run.empty()) sys.run = plan.run;
    // An unreadable own account counts as another: nothing of the user's is risked.
    sys.other_account = !same_account(own_sid, plan.sid);
    const std::string folder = plan_data_folder(plan);
    const std::string user = plan.sid;
    sys.log = [folder, user](std::string_view line) { log_line_in(folder, line, user); };
    sys.load_journal = [user](const std::string& path) { return load_journal(path, user); };
    sys.update_journal = [user](Journal& journal, const std::function<bool(Journal&)>& change) {
        return update_journal(journal, change, user);
    };
    sys.clean_junk_category = [folder, other = sys.other_account](std::string_view id,
                                                                  const std::string& keep) {
        std::vector<std::string> kept{folder, keep};
        // Run as the user, its data directory is the user's too, wherever the journal is.
        if (!other) kept.push_back(data_dir());
        return clean_junk_category(id, kept);
    };
    return sys;
}

// Shows no window and writes nothing but the plan's journal and log. An invalid plan
// changes nothing, its file included.
int run_admin_helper(const std::string& plan_file, std::string_view plan_sha256,
                     std::string_view own_sid) {
    if (const int code = check_plan_arguments(plan_file, plan_sha256); code != kHelperDone)
        return code;
    const auto bytes = read_plan_bytes(plan_file);
    const std::string actual = bytes ? sha256_hex(*bytes).value_or("") : std::string();
    const PlanArgument argument = read_plan_file(plan_file, plan_sha256, bytes, actual);
    if (argument.exit_code != kHelperDone) return argument.exit_code;
    // Read and checked: the plan is used once.
    ::DeleteFileW(win::widen(plan_file).c_str());
    const Plan& plan = argument.plan;
    const ExecutorSystem sys = helper_system(plan, own_sid);
    const ExecutorRun run = run_ops(plan.journal, plan.ops, /*elevated=*/true, sys);
    if (sys.other_account) {
        std::size_t refused = 0;
        for (const JournalEntry& e : run.entries)
            refused += e.message.ends_with(kSignedInAsYou) ? 1 : 0;
        sys.log("admin helper: approved as another account; " + std::to_string(refused) +
                " change(s) need you signed in and were not made");
    }
    // The caller finds the saved entries by the plan's run; one that could not be saved
    // leaves no trace there, so the exit code tells of it.
    for (const JournalEntry& e : run.entries)
        if (!entry_saved(e)) return kHelperUnsaved;
    return run.deferred.empty() ? kHelperDone : kHelperDeferred;
}

int run_admin_helper(const std::string& plan_file, std::string_view plan_sha256) {
    return run_admin_helper(plan_file, plan_sha256, win::narrow(win::current_user_sid()));
}

}  // namespace tess
