#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/journal.hpp"
#include "support/child.hpp"
#include "support/winutil.hpp"

namespace tess {
namespace {

using test::exists;
using test::read_text;
using test::TempDir;
using test::write_text;

JournalEntry junk_entry(const std::string& id, const std::string& label) {
    JournalEntry e;
    e.action = CleanJunk{id, label};
    e.ok = true;
    e.message = "removed 1 file(s), 1 KB";
    e.freed_bytes = 10;
    return e;
}

TEST(JournalFile, MissingLoadsEmptyAndCreatesNothing) {
    TempDir dir("journal");
    const std::string path = dir.file("journal.json");
    const Journal j = load_journal(path);
    EXPECT_EQ(j.path, path);
    EXPECT_TRUE(j.entries.empty());
    EXPECT_FALSE(exists(path));
    EXPECT_FALSE(exists(dir.file("journal.corrupt.json")));
}

TEST(JournalFile, DefaultPathIsInTheDataDirectory) {
    TempDir dir("journal");
    test::ScopedEnv env("TESS_DATA_DIR", dir.path());
    EXPECT_EQ(journal_path(), dir.file("journal.json"));
}

TEST(JournalFile, SaveCreatesFoldersAndLoadsBackIdentical) {
    TempDir dir("journal");
    Journal j{dir.path() + "\\a\\b\\journal.json", {}};
    push_entry(j, junk_entry("temp", "Temporary files"), 133512345678901234);
    JournalEntry undo;
    undo.action = SetServiceStart{"Svc", "Some service", 3, true};
    undo.message = "Undo: restored to Automatic";
    undo.ok = true;
    undo.undo_of = 1;
    push_entry(j, undo, 133512345678901235);
    j.entries.back().previous = StartupApproved{std::vector<std::uint8_t>{3, 0, 0}};
    save_journal(j);

    EXPECT_EQ(read_text(j.path), serialize_journal(j.entries));
    EXPECT_FALSE(exists(dir.path() + "\\a\\b\\journal.tmp"));
    const Journal back = load_journal(j.path);
    EXPECT_EQ(back.entries, j.entries);
}

// Every kind of invalid content is moved aside once, keeping its bytes; the history
// starts afresh at id 1 and the copy is not touched by later loads and saves.
TEST(JournalFile, InvalidFilesAreMovedAsideOnceAndNumberingRestarts) {
    const std::string entry =
        R"({"id":5,"time":2,"action":{"kind":"set_startup_enabled","location":"hkcu_run","value_name":"A","enabled":false},"previous":{"kind":"nothing"},"ok":true})";
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"missing message", "[" + entry + "]"},
        {"empty file", ""},
        {"wrong-case location",
         R"([{"id":5,"time":2,"action":{"kind":"set_startup_enabled","location":"Hkcu_Run","value_name":"A","enabled":false},"previous":{"kind":"nothing"},"ok":true,"message":"m"}])"},
        {"duplicated key", R"([{"id":5,"id":6}])"},
        {"trailing text", "[]\r\n]"},
    };
    for (const auto& c : cases) {
        TempDir dir("journal");
        const std::string path = dir.file("journal.json");
        const std::string corrupt = dir.file("journal.corrupt.json");
        write_text(path, c.text);

        Journal j = load_journal(path);
        EXPECT_TRUE(j.entries.empty()) << c.what;
        EXPECT_FALSE(exists(path)) << c.what;
        EXPECT_EQ(read_text(corrupt), c.text) << c.what;

        const JournalEntry first = append_journal_entry(j, junk_entry("temp", "Temp"));
        EXPECT_EQ(first.id, 1u) << c.what;
        append_journal_entry(j, junk_entry("temp", "Temp"));
        const Journal again = load_journal(path);
        ASSERT_EQ(again.entries.size(), 2u) << c.what;
        EXPECT_EQ(again.entries[1].id, 2u);
        EXPECT_EQ(read_text(corrupt), c.text) << c.what;
    }
}

TEST(JournalFile, AWriterMovesAnInvalidFileAsideToo) {
    TempDir dir("journal");
    const std::string path = dir.file("journal.json");
    write_text(path, "[{\"id\":1}]");
    Journal j{path, {}};  // loaded before the file went bad
    push_entry(j, junk_entry("x", "X"), 1);
    const JournalEntry e = append_journal_entry(j, junk_entry("temp", "Temp"));
    EXPECT_EQ(e.id, 1u);
    EXPECT_EQ(read_text(dir.file("journal.corrupt.json")), "[{\"id\":1}]");
    EXPECT_EQ(load_journal(path).entries.size(), 1u);
}

TEST(JournalFile, ALaterCorruptionReplacesTheOlderCopy) {
    TempDir dir("journal");
    const std::string path = dir.file("journal.json");
    write_text(path, "first");
    load_journal(path);
    write_text(path, "second");
    load_journal(path);
    EXPECT_EQ(read_text(dir.file("journal.corrupt.json")), "second");
    EXPECT_FALSE(exists(path));
}

TEST(JournalFile, EmptyArrayIsNotMoved) {
    TempDir dir("journal");
    const std::string path = dir.file("journal.json");
    write_text(path, "[]");
    EXPECT_TRUE(load_journal(path).entries.empty());
    EXPECT_EQ(read_text(path), "[]");
    EXPECT_FALSE(exists(dir.file("journal.corrupt.json")));
}

TEST(JournalFile, AFailedWriteLeavesTheOldJournal) {
    TempDir dir("journal");
    Journal j{dir.file("journal.json"), {}};
    append_journal_entry(j, junk_entry("temp", "Temp"));
    const auto before = read_text(j.path);
    ASSERT_TRUE(before.has_value());
    // A folder where journal.tmp should go makes the write fail.
    ASSERT_TRUE(win::create_dirs(dir.file("journal.tmp")));

    push_entry(j, junk_entry("other", "Other"), 5);
    save_journal(j);
    EXPECT_EQ(read_text(j.path), before);
    const JournalEntry e = append_journal_entry(j, junk_entry("third", "Third"));
    EXPECT_EQ(e.id, 2u);  // the unsaved entry was never in the file
    EXPECT_EQ(read_text(j.path), before);
    EXPECT_EQ(load_journal(j.path).entries.size(), 1u);
}

// A journal that is there but cannot be read (held without sharing by another
// program) must not be replaced by one holding only the new entry.
TEST(JournalFile, AnUnreadableJournalIsNeverOverwritten) {
    TempDir dir("journal");
    Journal j{dir.file("journal.json"), {}};
    for (int i = 0; i < 3; ++i)
        append_journal_entry(j, junk_entry("temp", "Temp"));
    const auto before = read_text(j.path);
    {
        win::unique_hfile held(::CreateFileW(win::widen(j.path).c_str(), GENERIC_READ, 0, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        EXPECT_TRUE(load_journal(j.path).entries.empty());
        const JournalEntry e = append_journal_entry(j, junk_entry("lost", "Lost"));
        EXPECT_EQ(e.id, 4u);  // numbered from the caller's own copy, kept in memory
        EXPECT_EQ(j.entries.size(), 4u);
        EXPECT_FALSE(exists(dir.file("journal.corrupt.json")));
    }
    EXPECT_EQ(read_text(j.path), before);
    EXPECT_EQ(append_journal_entry(j, junk_entry("temp", "Temp")).id, 4u);
    EXPECT_EQ(load_journal(j.path).entries.size(), 4u);
}

TEST(JournalFile, UpdateMarksUndoneAndAppendsInOneWrite) {
    TempDir dir("journal");
    Journal j{dir.file("journal.json"), {}};
    JournalEntry change;
    change.action = SetServiceStart{"Svc", "Svc", 3, false};
    change.previous = ServiceStart{2};
    change.ok = true;
    change.message = "Automatic \u2192 Manual";
    append_journal_entry(j, change);

    // Another process appends meanwhile; this caller's copy does not know about it.
    Journal other = load_journal(j.path);
    append_journal_entry(other, junk_entry("temp", "Temp"));

    const bool saved = update_journal(j, [](Journal& fresh) {
        EXPECT_EQ(fresh.entries.size(), 2u);
        JournalEntry& target = fresh.entries.front();
        if (target.undone) return false;
        target.undone = true;
        JournalEntry undo;
        undo.action = target.action;
        undo.ok = true;
        undo.message = "Undo: restored to Automatic";
        undo.undo_of = target.id;
        push_entry(fresh, undo, 7);
        return true;
    });
    EXPECT_TRUE(saved);
    const Journal back = load_journal(j.path);
    EXPECT_EQ(back.entries, j.entries);
    ASSERT_EQ(back.entries.size(), 3u);
    EXPECT_TRUE(back.entries[0].undone);
    EXPECT_EQ(back.entries[2].id, 3u);
    EXPECT_EQ(back.entries[2].undo_of, std::optional<std::uint64_t>(1));

    // A change that decides not to write leaves the file as it is.
    const auto before = read_text(j.path);
    EXPECT_FALSE(update_journal(j, [](Journal&) { return false; }));
    EXPECT_EQ(read_text(j.path), before);
}

// ---- three processes on one journal ----------------------------------------------

constexpr int kPerWriter = 200;

// args: journal path, tag, name of the start event.
TESS_CHILD(journal_writer) {
    win::unique_handle go(::OpenEventW(SYNCHRONIZE, FALSE, win::widen(args.at(2)).c_str()));
    if (!go || ::WaitForSingleObject(go.get(), 60'000) != WAIT_OBJECT_0) return 10;
    Journal j = load_journal(args.at(0));
    for (int i = 0; i < kPerWriter; ++i)
        append_journal_entry(j, junk_entry(args.at(1), std::to_string(i)));
    return 0;
}

// args: journal path, stop file. Reads until the stop file appears; every read of an
// existing journal must parse and hold at least as many entries as the one before.
TESS_CHILD(journal_reader) {
    const std::string& path = args.at(0);
    int reads = 0, parse_failures = 0, unreadable = 0, shrank = 0;
    std::size_t last = 0;
    bool seen = false;
    while (!exists(args.at(1))) {
        const auto bytes = win::read_file(path);
        if (!bytes) {
            if (seen) ++unreadable;
            continue;
        }
        seen = true;
        auto parsed = parse_journal(*bytes);
        if (!parsed) {
            ++parse_failures;
            continue;
        }
        ++reads;
        if (parsed->size() < last) ++shrank;
        last = parsed->size();
    }
    std::fprintf(stderr, "reader: %d reads, %d parse failures, %d unreadable, %d shrank\n", reads,
                 parse_failures, unreadable, shrank);
    if (parse_failures) return 1;
    if (shrank) return 2;
    if (unreadable) return 3;
    return reads > 0 ? 0 : 4;
}

TEST(JournalConcurrency, TwoWritersLoseNothingAndReadersAlwaysParse) {
    TempDir dir("journal");
    const std::string path = dir.file("journal.json");
    const std::string stop = dir.file("stop");
    const std::string event_name =
        "Local\\tess-journal-go-" + std::to_string(::GetCurrentProcessId());
    win::unique_handle go(::CreateEventW(nullptr, TRUE, FALSE, win::widen(event_name).c_str()));
    ASSERT_TRUE(go);

    auto reader = test::start_child("journal_reader", {path, stop});
    auto a = test::start_child("journal_writer", {path, "a", event_name});
    auto b = test::start_child("journal_writer", {path, "b", event_name});
    ASSERT_TRUE(reader && a && b);
    ::Sleep(500);  // let both writers reach the start line
    ::SetEvent(go.get());
    EXPECT_EQ(test::wait_exit(a, 300'000), 0);
    EXPECT_EQ(test::wait_exit(b, 300'000), 0);
    write_text(stop, "");
    EXPECT_EQ(test::wait_exit(reader, 60'000), 0);

    const Journal j = load_journal(path);
    ASSERT_EQ(j.entries.size(), 2u * kPerWriter);
    std::set<std::uint64_t> ids;
    int next[2] = {0, 0};
    for (const auto& e : j.entries) {
        ids.insert(e.id);
        const auto& junk = std::get<CleanJunk>(e.action);
        const int w = junk.id == "a" ? 0 : 1;
        EXPECT_EQ(junk.label, std::to_string(next[w]++));  // each writer's own order kept
    }
    EXPECT_EQ(ids.size(), 2u * kPerWriter);
    EXPECT_EQ(*ids.begin(), 1u);
    EXPECT_EQ(*ids.rbegin(), 2u * kPerWriter);
    EXPECT_FALSE(exists(dir.file("journal.corrupt.json")));
    EXPECT_FALSE(exists(dir.file("journal.tmp")));
}

}  // namespace
}  // namespace tess
