#include "model/journal.hpp"

#include <utility>
#include <vector>

#include "core/paths.hpp"
#include "core/settings.hpp"
#include "core/win.hpp"

namespace tess {

namespace {

using FileState = JournalFileState;

struct FileRead {
    FileState state = FileState::Missing;
    std::string bytes;
};

// Tells a missing file (nothing to lose) from one that is there but cannot be read
// right now (a scanner holding it, a permissions problem), which must not be
// replaced by a journal that lacks its entries.
FileRead read_journal_file(const std::string& path) {
    const std::wstring wpath = win::widen(path);
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (auto bytes = win::read_file(path)) return {FileState::Read, std::move(*bytes)};
        const DWORD attrs = ::GetFileAttributesW(wpath.c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES) {
            const DWORD err = ::GetLastError();
            if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return {};
        } else if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
            break;
        }
        ::Sleep(20);
    }
    return {FileState::Unreadable, {}};
}

// Every process that works on the same journal folder meets on this lock; the folder
// is made absolute so "C:\x\" and "c:/x" name the same lock.
std::string lock_scope(const std::string& path) {
    const std::wstring wpath = win::widen(path);
    std::vector<wchar_t> buf(MAX_PATH);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD n =
            ::GetFullPathNameW(wpath.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
        if (n == 0) break;
        if (n < buf.size()) return std::string(parent_path(win::narrow(buf.data(), n)));
        buf.resize(n + 1);
    }
    return std::string(parent_path(path));
}

struct JournalLock {
    explicit JournalLock(const std::string& path, std::string_view also_sid = {})
        : lock("journal", lock_scope(path), win::kLockWaitMs, also_sid) {}
    // Not held after the wait timed out (an owner hung for half a minute) or when the
    // mutex could not be opened: the write goes ahead, since dropping the entry would
    // lose it for certain and a hung owner is not writing.
    win::NamedLock lock;
};

void move_aside(const std::string& path) {
    ::MoveFileExW(win::widen(path).c_str(),
                  win::widen(journal_sibling(path, "corrupt.json")).c_str(),
                  MOVEFILE_REPLACE_EXISTING);
}

bool save_entries(const std::string& path, const std::vector<JournalEntry>& entries) {
    const std::string folder(parent_path(path));
    if (!folder.empty() && !win::create_dirs(folder)) return false;
    return win::replace_file_atomic(path, journal_sibling(path, "tmp"), serialize_journal(entries));
}

}  // namespace

std::string journal_path() {
    return join_path(data_dir(), "journal.json");
}

Journal load_journal(const std::string& path, std::string_view also_sid) {
    Journal journal{path, {}};
    FileRead file = read_journal_file(path);
    if (file.state != FileState::Read) return journal;
    JournalLoad load = decide_journal_load(file.bytes);
    if (!load.move_aside) {
        journal.entries = std::move(load.entries);
        return journal;
    }
    // Moving aside is a write: a writer may have replaced the bad file with a good one
    // since it was read, so look again under the writers' lock before renaming.
    JournalLock lock(path, also_sid);
    file = read_journal_file(path);
    if (file.state == FileState::Read && decide_journal_load(file.bytes).move_aside)
        move_aside(path);
    return journal;
}

void save_journal(const Journal& journal) {
    JournalLock lock(journal.path);
    save_entries(journal.path, journal.entries);
}

bool update_journal(Journal& journal, const std::function<bool(Journal&)>& change,
                    std::string_view also_sid) {
    JournalLock lock(journal.path, also_sid);
    const FileRead file = read_journal_file(journal.path);
    JournalUpdateBase base = journal_update_base(journal, file.state, file.bytes);
    if (base.move_aside) move_aside(journal.path);
    Journal fresh{journal.path, std::move(base.entries)};
    const bool changed = change(fresh);
    const bool saved = changed && base.may_save && save_entries(fresh.path, fresh.entries);
    journal = std::move(fresh);
    return saved;
}

JournalEntry append_journal_entry(Journal& journal, JournalEntry entry) {
    JournalEntry appended;
    update_journal(journal, [&](Journal& fresh) {
        appended = push_entry(fresh, std::move(entry), win::filetime_now());
        return true;
    });
    return appended;
}

}  // namespace tess
