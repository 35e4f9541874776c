#include "model/journal.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "core/text.hpp"

namespace tess {

json::Out write_entry(const JournalEntry& e) {
    json::Out o = json::Out::object();
    o["id"] = e.id;
    o["time"] = e.time;
    o["action"] = write_action(e.action);
    o["previous"] = write_previous(e.previous);
    o["ok"] = e.ok;
    o["message"] = e.message;
    o["undone"] = e.undone;
    o["undo_of"] = e.undo_of ? json::Out(*e.undo_of) : json::Out(nullptr);
    o["freed_bytes"] = e.freed_bytes;
    if (!e.run.empty()) o["run"] = e.run;
    return o;
}

JournalEntry read_entry(const json::Value& v) {
    json::expect_object(v, "entry");
    JournalEntry e;
    e.id = json::req_u64(v, "id");
    e.time = json::req_u64(v, "time");
    e.action = read_action(json::require(v, "action"));
    e.previous = read_previous(json::require(v, "previous"));
    e.ok = json::req_bool(v, "ok");
    e.message = json::req_string(v, "message");
    e.undone = json::opt_bool(v, "undone", false);
    if (const json::Value* u = json::find(v, "undo_of"); u && !u->is_null())
        e.undo_of = json::get_u64(*u, "undo_of");
    e.freed_bytes = json::opt_u64(v, "freed_bytes", 0);
    e.run = json::opt_string(v, "run");
    return e;
}

std::string serialize_journal(const std::vector<JournalEntry>& entries) {
    json::Out root = json::Out::array();
    for (const auto& e : entries)
        root.push_back(write_entry(e));
    return json::dump_pretty(root);
}

Result<std::vector<JournalEntry>> parse_journal(std::string_view text) {
    return json::parse_document<std::vector<JournalEntry>>(text, [](const json::Value& root) {
        std::vector<JournalEntry> entries;
        entries.reserve(json::expect_array(root, "journal").size());
        for (const auto& item : root)
            entries.push_back(read_entry(item));
        return entries;
    });
}

JournalLoad decide_journal_load(const std::optional<std::string>& bytes) {
    if (!bytes) return {};
    auto parsed = parse_journal(*bytes);
    if (!parsed) return {{}, true};
    return {std::move(*parsed), false};
}

JournalUpdateBase journal_update_base(const Journal& ours, JournalFileState state,
                                      const std::string& bytes) {
    switch (state) {
        case JournalFileState::Missing:
            return {ours.entries, false, true};
        case JournalFileState::Unreadable:
            return {ours.entries, false, false};
        case JournalFileState::Read:
            break;
    }
    JournalLoad load = decide_journal_load(bytes);
    return {std::move(load.entries), load.move_aside, true};
}

std::uint64_t next_entry_id(const Journal& journal) {
    std::uint64_t largest = 0;
    for (const auto& e : journal.entries)
        largest = std::max(largest, e.id);
    if (largest < std::numeric_limits<std::uint64_t>::max()) return largest + 1;
    // Only a hand-edited file gets here; wrapping to 0 would repeat ids forever.
    std::vector<std::uint64_t> ids;
    ids.reserve(journal.entries.size());
    for (const auto& e : journal.entries)
        ids.push_back(e.id);
    std::sort(ids.begin(), ids.end());
    std::uint64_t candidate = 1;
    for (std::uint64_t id : ids) {
        if (id > candidate) break;
        if (id == candidate) ++candidate;
    }
    return candidate;
}

const JournalEntry& push_entry(Journal& journal, JournalEntry entry, std::uint64_t now_filetime) {
    entry.id = next_entry_id(journal);
    entry.time = now_filetime;
    entry.undone = false;
    journal.entries.push_back(std::move(entry));
    return journal.entries.back();
}

std::string journal_sibling(std::string_view path, std::string_view extension) {
    const auto slash = path.find_last_of("\\/");
    const auto name_start = slash == std::string_view::npos ? 0 : slash + 1;
    const auto dot = path.find_last_of('.');
    const bool has_ext = dot != std::string_view::npos && dot >= name_start;
    std::string out(path.substr(0, has_ext ? dot : path.size()));
    out += '.';
    out += extension;
    // A journal named like its own temporary or corrupt copy must not be written over.
    if (to_lower_ascii(out) == to_lower_ascii(path)) {
        out = std::string(path) + ".";
        out += extension;
    }
    return out;
}

}  // namespace tess
