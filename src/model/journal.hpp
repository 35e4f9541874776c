// journal.json: every attempt to make or undo a change, in append order. The History
// page, undo and the apply runs read it; only the executor writes it, always through
// update_journal, so writers in different processes never lose each other's entries.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/json.hpp"
#include "core/result.hpp"
#include "model/actions.hpp"

namespace tess {

struct JournalEntry {
    std::uint64_t id = 0;
    std::uint64_t time = 0;  // FILETIME when recorded
    Action action;           // for an undo entry, the action of the entry undone
    Previous previous;
    bool ok = false;
    std::string message;  // an undo entry's starts with "Undo: "
    bool undone = false;
    std::optional<std::uint64_t> undo_of;
    std::uint64_t freed_bytes = 0;
    // The run that wrote it, so a run tells its own entries (and its admin helper's)
    // from those other processes append at the same time. Written only when set.
    std::string run;

    bool operator==(const JournalEntry&) const = default;
};

struct Journal {
    std::string path;
    std::vector<JournalEntry> entries;  // file order
};

json::Out write_entry(const JournalEntry& entry);
// `undone`, `undo_of`, `freed_bytes` and `run` may be absent; everything else is required.
JournalEntry read_entry(const json::Value& v);

// Two-space pretty JSON array; an empty journal is "[]".
std::string serialize_journal(const std::vector<JournalEntry>& entries);
// Strict: one array of entries, nothing but white space around it.
Result<std::vector<JournalEntry>> parse_journal(std::string_view text);

// What loading does with the bytes read: nullopt (missing or unreadable) loads empty
// and leaves the file alone; bytes that do not parse load empty and are moved aside.
struct JournalLoad {
    std::vector<JournalEntry> entries;
    bool move_aside = false;
};
JournalLoad decide_journal_load(const std::optional<std::string>& bytes);

// What reading the journal file found.
enum class JournalFileState : std::uint8_t { Missing = 0, Unreadable = 1, Read = 2 };

// What a change of the journal starts from. The file as it is now, so other
// processes' entries are kept; an invalid file is moved aside and starts afresh. When
// the file has vanished since the writer last saw it (a run that deleted it along
// with other files), the writer's own copy, so an append never shortens the history.
// When it is there but unreadable, the writer's copy too, and nothing may be saved.
struct JournalUpdateBase {
    std::vector<JournalEntry> entries;
    bool move_aside = false;
    bool may_save = true;
};
JournalUpdateBase journal_update_base(const Journal& ours, JournalFileState state,
                                      const std::string& bytes);

// The largest id plus one, 1 for an empty journal. Ids stay unique even when a
// tampered file already holds the largest possible id: then the smallest unused one.
std::uint64_t next_entry_id(const Journal& journal);

// Appends in memory: the next id, the given time, not undone. Returns the entry as stored.
const JournalEntry& push_entry(Journal& journal, JournalEntry entry, std::uint64_t now_filetime);

// The journal path with its extension replaced: journal.json -> journal.tmp,
// journal.corrupt.json. Never the path itself.
std::string journal_sibling(std::string_view path, std::string_view extension);

#ifdef _WIN32
// data_dir()\journal.json.
std::string journal_path();

// Lock-free read. A missing or unreadable file loads empty; an invalid one is moved to
// journal.corrupt.json (replacing an older copy) and loads empty. Never fails.
// `also_sid`, here and in update_journal: the account of the user an admin helper works
// for, which the journal's lock then admits too (see win::NamedLock).
Journal load_journal(const std::string& path, std::string_view also_sid = {});

// Writes journal.tmp and renames it over journal.json, creating the folder first. A
// failed write leaves the old file untouched. Errors are ignored. This replaces the
// file with `journal` as it is: writers use update_journal instead.
void save_journal(const Journal& journal);

// The one way to change the journal on disk: under a per-user lock on the journal's
// folder, re-reads the file, runs `change` on it and, when `change` returns true,
// saves. On return `journal` holds the result (including other processes' entries).
// Returns whether the change was saved. A file that exists but cannot be read is never
// overwritten: `change` then runs on the caller's own copy, which is not saved.
bool update_journal(Journal& journal, const std::function<bool(Journal&)>& change,
                    std::string_view also_sid = {});

// update_journal with push_entry stamped with the current time. Returns the entry as
// appended (its id assigned), whether or not the save worked.
JournalEntry append_journal_entry(Journal& journal, JournalEntry entry);
#endif

}  // namespace tess
