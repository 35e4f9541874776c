#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/settings.hpp"
#include "core/win.hpp"

namespace tess {

std::string local_stamp(std::uint64_t filetime) {
    FILETIME utc{static_cast<DWORD>(filetime), static_cast<DWORD>(filetime >> 32)};
    FILETIME local{};
    SYSTEMTIME st{};
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &st))
        return "?";
    return format_stamp(st.wDay, st.wMonth, st.wHour, st.wMinute);
}

void log_line(std::string_view message) {
    log_line_in(data_dir(), message);
}

void log_line_in(const std::string& dir, std::string_view message, std::string_view also_sid) {
    const std::string path = join_path(dir, "agent.log");
    const std::wstring wpath = win::widen(path);
    // Without the lock, two writers that both see a full log rotate twice and the
    // second rename throws away the lines the first one had just started.
    win::NamedLock lock("log", dir, 5'000, also_sid);
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (::GetFileAttributesExW(wpath.c_str(), GetFileExInfoStandard, &info)) {
        const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
        if (size > kLogRotateBytes)
            ::MoveFileExW(wpath.c_str(), win::widen(join_path(dir, "agent.old.log")).c_str(),
                          MOVEFILE_REPLACE_EXISTING);
    }
    win::unique_hfile file(::CreateFileW(wpath.c_str(), FILE_APPEND_DATA,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    const std::string line = log_text(local_stamp(win::filetime_now()), message);
    DWORD written = 0;
    ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace tess
