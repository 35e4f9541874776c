#include <vector>

#include "core/paths.hpp"
#include "core/win.hpp"
#include "sys/fsops.hpp"

namespace tess {

namespace {

// FileDispositionInfoEx; some SDK headers hide it behind a version test they cannot pass.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

// "\\?\" form, so deep trees (node_modules) past MAX_PATH can still be listed and deleted.
std::wstring long_path(const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '/') c = '\\';
    if (p.rfind("\\\\?\\", 0) == 0) return win::widen(p);
    if (p.rfind("\\\\", 0) == 0) return L"\\\\?\\UNC\\" + win::widen(std::string_view(p).substr(2));
    return L"\\\\?\\" + win::widen(p);
}

DWORD access_for(OpenMode mode) {
    switch (mode) {
        case OpenMode::Inspect:
            return FILE_READ_ATTRIBUTES;
        case OpenMode::List:
            return FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
        case OpenMode::Remove:
            return DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
        case OpenMode::RemoveAndAttributes:
            return DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
    }
    return FILE_READ_ATTRIBUTES;
}

std::string final_path_of(HANDLE h) {
    std::vector<wchar_t> buf(512);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD n = ::GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()),
                                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return {};
        if (n < buf.size()) return win::narrow(buf.data(), n);
        buf.resize(n + 1);
    }
    return {};
}

FileOps::Handle open_item(const std::string& path, OpenMode mode, bool want_final_path,
                          OpenedItem& item, std::uint32_t& error) {
    if (!is_absolute_path(path)) {
        error = ERROR_INVALID_NAME;
        return nullptr;
    }
    // Opening the reparse point itself is what keeps every walk on this side of a link.
    HANDLE h = ::CreateFileW(long_path(path).c_str(), access_for(mode),
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return nullptr;
    }
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
        error = ::GetLastError();
        ::CloseHandle(h);
        return nullptr;
    }
    item.attributes = basic.FileAttributes;
    item.final_path = want_final_path ? final_path_of(h) : std::string();
    error = 0;
    return h;
}

bool list_items(FileOps::Handle folder, std::vector<DirEntry>& out, std::uint32_t& error) {
    // One call returns as many entries as fit: far fewer calls than FindNextFileW.
    constexpr std::size_t kBufferBytes = 64 * 1024;
    thread_local std::vector<std::uint64_t> buffer(kBufferBytes / sizeof(std::uint64_t));
    for (;;) {
        if (!::GetFileInformationByHandleEx(static_cast<HANDLE>(folder), FileFullDirectoryInfo,
                                            buffer.data(), kBufferBytes)) {
            const DWORD e = ::GetLastError();
            if (e == ERROR_NO_MORE_FILES) return true;
            error = e;
            return false;
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (std::size_t offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_FULL_DIR_INFO*>(bytes + offset);
            const std::size_t units = info->FileNameLength / sizeof(wchar_t);
            const wchar_t* name = info->FileName;
            const bool dots = (units == 1 && name[0] == L'.') ||
                              (units == 2 && name[0] == L'.' && name[1] == L'.');
            if (!dots) {
                DirEntry e;
                e.name = win::narrow(name, units);
                e.attributes = info->FileAttributes;
                e.size = info->EndOfFile.QuadPart < 0
                             ? 0
                             : static_cast<std::uint64_t>(info->EndOfFile.QuadPart);
                e.write_time = info->LastWriteTime.QuadPart < 0
                                   ? 0
                                   : static_cast<std::uint64_t>(info->LastWriteTime.QuadPart);
                out.push_back(std::move(e));
            }
            if (info->NextEntryOffset == 0) break;
            offset += info->NextEntryOffset;
        }
    }
}

std::uint32_t set_item_attributes(FileOps::Handle item, std::uint32_t attributes) {
    FILE_BASIC_INFO basic{};  // zero times: leave them as they are
    basic.FileAttributes = attributes;
    if (!::SetFileInformationByHandle(static_cast<HANDLE>(item), FileBasicInfo, &basic,
                                      sizeof basic))
        return ::GetLastError();
    return 0;
}

std::uint32_t remove_item(FileOps::Handle item) {
    // POSIX semantics (Windows 10 1709+, NTFS) take the name away at once, so a file
    // another program still holds with delete sharing does not keep its folder from
    // being removed. Older systems, other file systems and Wine refuse the request.
    FILE_DISPOSITION_INFO_EX ex{};
    ex.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS;
    if (::SetFileInformationByHandle(static_cast<HANDLE>(item), kFileDispositionInfoEx, &ex,
                                     sizeof ex))
        return 0;
    const DWORD e = ::GetLastError();
    if (e != ERROR_INVALID_PARAMETER && e != ERROR_NOT_SUPPORTED && e != ERROR_INVALID_FUNCTION &&
        e != ERROR_CALL_NOT_IMPLEMENTED)
        return e;
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!::SetFileInformationByHandle(static_cast<HANDLE>(item), FileDispositionInfo, &disposition,
                                      sizeof disposition))
        return ::GetLastError();
    return 0;
}

}  // namespace

std::optional<std::string> resolved_path(const std::string& path) {
    if (!is_absolute_path(path)) return std::nullopt;
    // Links are followed here on purpose: this names where a folder really is.
    win::unique_hfile h(::CreateFileW(long_path(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h) return std::nullopt;
    std::string final_path = final_path_of(h.get());
    if (final_path.empty()) return std::nullopt;
    return plain_final_path(final_path);
}

const FileOps& system_file_ops() {
    static const FileOps ops{
        open_item,
        list_items,
        set_item_attributes,
        remove_item,
        [](FileOps::Handle item) { ::CloseHandle(static_cast<HANDLE>(item)); },
        [](std::uint32_t error) { return win::error_text(error); },
    };
    return ops;
}

}  // namespace tess
