// Real files for the junk and developer-folder tests under Wine: sizes, last-write
// times, files held open, and folder links made from the Linux side.
#pragma once

#include <cstdint>
#include <string>

#include "core/paths.hpp"
#include "core/win.hpp"
#include "support/winutil.hpp"

namespace tess::test {

inline constexpr std::uint64_t kTick = 1;
inline constexpr std::uint64_t kMinute = 60 * 10'000'000ull;
inline constexpr std::uint64_t kHourTicks = 60 * kMinute;
inline constexpr std::uint64_t kDayTicks = 24 * kHourTicks;

inline bool set_write_time(const std::string& path, std::uint64_t filetime) {
    win::unique_hfile h(::CreateFileW(
        win::widen(path).c_str(), FILE_WRITE_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h) return false;
    FILETIME ft{static_cast<DWORD>(filetime), static_cast<DWORD>(filetime >> 32)};
    return ::SetFileTime(h.get(), nullptr, nullptr, &ft) != 0;
}

// A file of `size` bytes last written `age` ticks before `now` (after it, when `future`).
inline void make_file(const std::string& path, std::size_t size, std::uint64_t now,
                      std::uint64_t age, bool future = false) {
    win::create_dirs(std::string(parent_path(path)));
    write_text(path, std::string(size, 'x'));
    set_write_time(path, future ? now + age : now - age);
}

inline void make_dir(const std::string& path, std::uint64_t now, std::uint64_t age) {
    win::create_dirs(path);
    set_write_time(path, now - age);
}

// Opened the way a running program holds a file it works on: no delete sharing.
inline win::unique_hfile hold_open(const std::string& path) {
    return win::unique_hfile(::CreateFileW(win::widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
}

// The Linux path of a Windows path, under Wine; "" elsewhere.
inline std::string unix_path(const std::string& path) {
    using Fn = char*(CDECL*)(LPCWSTR);
    static const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn) return {};
    char* p = fn(win::widen(path).c_str());
    if (!p) return {};
    std::string out = p;
    ::HeapFree(::GetProcessHeap(), 0, p);
    return out;
}

// A folder symbolic link at `link` to the folder `target`. Wine cannot make one
// itself (CreateSymbolicLinkW does nothing, junctions fail), so under Wine it runs the
// Linux ln; the link shows up as a reparse point in listings. False when no link
// could be made.
inline bool make_folder_link(const std::string& target, const std::string& link) {
    const std::string target_unix = unix_path(target);
    const std::string parent_unix = unix_path(std::string(parent_path(link)));
    if (!target_unix.empty() && !parent_unix.empty()) {
        const std::string name = link.substr(link.find_last_of('\\') + 1);
        run_command("cmd /c start /wait /unix /bin/ln -s " + quote_arg(target_unix) + " " +
                    quote_arg(parent_unix + "/" + name));
    } else {
        ::CreateSymbolicLinkW(
            win::widen(link).c_str(), win::widen(target).c_str(),
            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    }
    // ln may still be running when start returns.
    for (int i = 0; i < 100; ++i) {
        const DWORD a = ::GetFileAttributesW(win::widen(link).c_str());
        if (a != INVALID_FILE_ATTRIBUTES) return (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        ::Sleep(50);
    }
    return false;
}

// Removes a link made by make_folder_link as a link (under Wine, with the Linux rm:
// RemoveDirectoryW there would empty-delete the target and leave the link).
inline void remove_folder_link(const std::string& link) {
    const std::string link_unix = unix_path(link);
    if (!link_unix.empty()) {
        run_command("cmd /c start /wait /unix /bin/rm -f " + quote_arg(link_unix));
        for (int i = 0; i < 100 && exists(link); ++i)
            ::Sleep(50);
    } else {
        ::RemoveDirectoryW(win::widen(link).c_str());
    }
}

// Made on construction; removed, as a link, before the temporary folder goes.
class FolderLink {
public:
    FolderLink(std::string target, std::string link) : link_(std::move(link)) {
        made_ = make_folder_link(target, link_);
    }
    ~FolderLink() {
        if (exists(link_)) remove_folder_link(link_);
    }
    FolderLink(const FolderLink&) = delete;
    FolderLink& operator=(const FolderLink&) = delete;
    bool made() const { return made_; }

private:
    std::string link_;
    bool made_ = false;
};

}  // namespace tess::test
