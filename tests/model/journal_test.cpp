#include "model/journal.hpp"

#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

namespace tess {
namespace {

std::string read_fixture(const std::string& name) {
    std::ifstream in(std::string(TESS_SOURCE_DIR) + "/tests/changes/data/" + name,
                     std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

JournalEntry entry(std::uint64_t id, std::uint64_t time, Action action, Previous previous, bool ok,
                   std::string message) {
    JournalEntry e;
    e.id = id;
    e.time = time;
    e.action = std::move(action);
    e.previous = std::move(previous);
    e.ok = ok;
    e.message = std::move(message);
    return e;
}

// The records behind data/every-kind.json, which was written by hand.
std::vector<JournalEntry> every_kind() {
    const SetServiceStart diag{"DiagTrack", "Connected User Experiences and Telemetry", 3, true};
    std::vector<JournalEntry> v;
    v.push_back(entry(
        1, 133512345678901234,
        KillProcesses{"Google Chrome",
                      {{4242, "chrome.exe", 133512300000000000}, {4294967295u, "chrome.exe", 0}}},
        Nothing{}, true, "ended 1, 1 had already exited"));
    v.push_back(entry(2, 133512345678901300, diag, ServiceStart{2}, true,
                      "Automatic \u2192 Manual, stopped"));
    v.back().undone = true;
    v.push_back(
        entry(3, 133512345678901400,
              SetStartupEnabled{StartupLocation::HklmRun32, "Steam \"Client\" \\ Helper", false},
              StartupApproved{std::vector<std::uint8_t>{2, 0, 0, 0, 255, 17, 0, 0, 0, 0, 0, 0}},
              true, "disabled"));
    v.push_back(entry(4, 133512345678901500,
                      SetStartupEnabled{StartupLocation::HkcuRun, "OneDrive", false},
                      StartupApproved{}, true, "disabled"));
    v.push_back(entry(5, 133512345678901600,
                      SetStartupEnabled{StartupLocation::HklmRun, "SecurityHealth", true},
                      StartupApproved{std::vector<std::uint8_t>{}}, true, "enabled"));
    v.push_back(entry(6, 133512345678901700, CleanJunk{"temp", "Temporary files"}, Nothing{}, true,
                      "removed 12 file(s), 1 MB; 2 in use were left alone"));
    v.back().freed_bytes = 1048576;
    v.push_back(
        entry(7, 133512345678901800,
              DeleteDevFolder{"C:\\Users\\Zo\u00eb\\src\\shop\\node_modules", "shop\\node_modules"},
              Nothing{}, true, "removed 3 file(s), 4.7 GB"));
    v.back().freed_bytes = 5000000000;
    v.push_back(entry(9, std::numeric_limits<std::uint64_t>::max(), diag, Nothing{}, true,
                      "Undo: restored to Automatic"));
    v.back().undo_of = 2;
    v.push_back(entry(10, 133512345678902000,
                      KillProcesses{"Tab\tand\x01"
                                    "control",
                                    {}},
                      Nothing{}, false, "ended 0, 1 access denied"));
    return v;
}

TEST(JournalJson, WritesTheHandWrittenFileByteForByte) {
    const std::string expected = read_fixture("every-kind.json");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(serialize_journal(every_kind()), expected);
}

TEST(JournalJson, RoundTripIsIdenticalAndStable) {
    const std::string file = read_fixture("every-kind.json");
    auto parsed = parse_journal(file);
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    EXPECT_EQ(*parsed, every_kind());
    const std::string again = serialize_journal(*parsed);
    EXPECT_EQ(again, file);
    auto reparsed = parse_journal(again);
    ASSERT_TRUE(reparsed.ok());
    EXPECT_EQ(serialize_journal(*reparsed), again);
}

// The run that wrote an entry is kept, after the listed keys, only when there is one.
TEST(JournalJson, RunTagIsWrittenLastAndOnlyWhenSet) {
    std::vector<JournalEntry> entries = every_kind();
    entries[0].run = "4242-1-1";
    const std::string text = serialize_journal(entries);
    EXPECT_NE(text.find("\"freed_bytes\": " + std::to_string(entries[0].freed_bytes) +
                        ",\n    \"run\": \"4242-1-1\"\n"),
              std::string::npos);
    EXPECT_EQ(text.find("\"run\""), text.rfind("\"run\""));
    auto back = parse_journal(text);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(*back, entries);
}

TEST(JournalJson, EmptyJournalIsBrackets) {
    EXPECT_EQ(serialize_journal({}), "[]");
}

TEST(JournalJson, OptionalKeysTakeTheirDefaults) {
    auto parsed =
        parse_journal(R"([{"id":4,"time":5,"action":{"kind":"clean_junk","id":"t","label":"T"},
        "previous":{"kind":"nothing"},"ok":false,"message":"m","unknown":{"a":[1,2]}}])");
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    ASSERT_EQ(parsed->size(), 1u);
    const JournalEntry& e = parsed->front();
    EXPECT_FALSE(e.undone);
    EXPECT_FALSE(e.undo_of.has_value());
    EXPECT_EQ(e.freed_bytes, 0u);
    EXPECT_EQ(e.id, 4u);
    EXPECT_EQ(e.message, "m");

    auto explicit_null = parse_journal(R"([{"id":4,"time":5,"action":{"kind":"clean_junk","id":"t",
        "label":"T"},"previous":{"kind":"nothing"},"ok":false,"message":"m","undo_of":null}])");
    ASSERT_TRUE(explicit_null.ok());
    EXPECT_FALSE(explicit_null->front().undo_of.has_value());
}

constexpr const char* kValidEntry =
    R"({"id":1,"time":2,"action":{"kind":"set_startup_enabled","location":"hkcu_run","value_name":"A","enabled":false},"previous":{"kind":"nothing"},"ok":true,"message":"disabled"})";

TEST(JournalLoadDecision, InvalidFilesAreMovedAsideAndLoadEmpty) {
    const std::string valid = kValidEntry;
    auto without = [&](const std::string& key_and_value) {
        std::string s = valid;
        s.erase(s.find(key_and_value), key_and_value.size());
        return "[" + s + "]";
    };
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"missing message", without(R"(,"message":"disabled")")},
        {"missing previous", without(R"(,"previous":{"kind":"nothing"})")},
        {"empty file", ""},
        {"white space only", " \r\n"},
        {"wrong-case location",
         "[" + std::string(valid).replace(valid.find("hkcu_run"), 8, "HKCU_RUN") + "]"},
        {"duplicated key", "[" + valid.substr(0, valid.size() - 1) + R"(,"ok":false})" + "]"},
        {"duplicated key in action",
         "[" + std::string(valid).replace(valid.find(R"("enabled")"), 0, R"("value_name":"B",)") +
             "]"},
        {"trailing text", "[" + valid + "]x"},
        {"second document", "[" + valid + "] []"},
        {"truncated", "[" + valid},
        {"unknown action kind", "[" +
                                    std::string(valid).replace(valid.find("set_startup_enabled"),
                                                               19, "set_startup_enable") +
                                    "]"},
        {"object instead of array", valid},
        {"entry not an object", "[1]"},
        {"negative id",
         "[" + std::string(valid).replace(valid.find(R"("id":1)"), 6, R"("id":-1)") + "]"},
        {"fractional time",
         "[" + std::string(valid).replace(valid.find(R"("time":2)"), 8, R"("time":2.5)") + "]"},
        {"undone as text", "[" + valid.substr(0, valid.size() - 1) + R"(,"undone":"no"})" + "]"},
        {"undo_of negative", "[" + valid.substr(0, valid.size() - 1) + R"(,"undo_of":-3})" + "]"},
        {"freed_bytes null",
         "[" + valid.substr(0, valid.size() - 1) + R"(,"freed_bytes":null})" + "]"},
        {"comment", "/* x */[]"},
        {"NUL after the array", std::string("[]\0[1]", 6)},
    };
    for (const auto& c : cases) {
        const JournalLoad load = decide_journal_load(c.text);
        EXPECT_TRUE(load.move_aside) << c.what;
        EXPECT_TRUE(load.entries.empty()) << c.what;
    }
    // The case table's base entry itself is valid.
    EXPECT_FALSE(decide_journal_load("[" + valid + "]").move_aside);
}

TEST(JournalLoadDecision, EmptyArrayAndUnreadableAreNotMoved) {
    for (const char* text : {"[]", " [ ]\r\n", "\t[\n]\n"}) {
        const JournalLoad load = decide_journal_load(std::string(text));
        EXPECT_FALSE(load.move_aside) << text;
        EXPECT_TRUE(load.entries.empty());
    }
    const JournalLoad unreadable = decide_journal_load(std::nullopt);
    EXPECT_FALSE(unreadable.move_aside);
    EXPECT_TRUE(unreadable.entries.empty());
}

// No content may crash the reader, and whatever it accepts must save back to a file
// that loads identically: every prefix of a real journal and single-byte damage.
TEST(JournalLoadDecision, DamagedFilesNeverCrashAndAcceptedOnesRoundTrip) {
    const std::string file = read_fixture("every-kind.json");
    auto check = [](const std::string& text) {
        const JournalLoad load = decide_journal_load(text);
        if (load.move_aside) return;
        const std::string saved = serialize_journal(load.entries);
        auto again = parse_journal(saved);
        ASSERT_TRUE(again.ok()) << text;
        EXPECT_EQ(*again, load.entries);
        EXPECT_EQ(serialize_journal(*again), saved);
    };
    // Strides keep this quick under the sanitizers; the fuzz target goes further.
    for (std::size_t n = 0; n < file.size(); n += 13)
        check(file.substr(0, n));
    for (std::size_t i = 0; i < file.size(); i += 31) {
        for (char c : {'\0', '"', '9', '-', '}', '\xFF'}) {
            std::string damaged = file;
            damaged[i] = c;
            check(damaged);
        }
    }
}

// What a change of the journal starts from. The file as it is now wins, so another
// process's entries survive; a file that vanished since the writer last saw it must
// not shorten the writer's history.
TEST(JournalUpdateBase, FromTheFileOrTheWritersOwnCopy) {
    const std::vector<JournalEntry> all = every_kind();
    const Journal ours{"C:\\d\\journal.json", {all[0], all[1]}};
    const std::vector<JournalEntry> on_disk = {all[0], all[1], all[2]};
    const struct {
        const char* what;
        JournalFileState state;
        std::string bytes;
        std::vector<JournalEntry> entries;
        bool move_aside, may_save;
    } cases[] = {
        {"read", JournalFileState::Read, serialize_journal(on_disk), on_disk, false, true},
        {"read, empty array", JournalFileState::Read, "[]", {}, false, true},
        {"vanished meanwhile", JournalFileState::Missing, "", ours.entries, false, true},
        {"there but unreadable", JournalFileState::Unreadable, "", ours.entries, false, false},
        {"invalid", JournalFileState::Read, "[{", {}, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const JournalUpdateBase base = journal_update_base(ours, c.state, c.bytes);
        EXPECT_EQ(base.entries, c.entries);
        EXPECT_EQ(base.move_aside, c.move_aside);
        EXPECT_EQ(base.may_save, c.may_save);
    }
}

TEST(JournalIds, NextIdIsLargestPlusOne) {
    auto with_ids = [](std::initializer_list<std::uint64_t> ids) {
        Journal j;
        for (auto id : ids)
            j.entries.push_back(entry(id, 0, CleanJunk{}, Nothing{}, true, "m"));
        return j;
    };
    EXPECT_EQ(next_entry_id(with_ids({})), 1u);
    EXPECT_EQ(next_entry_id(with_ids({1, 2, 7})), 8u);
    EXPECT_EQ(next_entry_id(with_ids({7, 2, 1})), 8u);
    EXPECT_EQ(next_entry_id(with_ids({0})), 1u);
    // A file that already holds the largest id must not make every new entry id 0.
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(next_entry_id(with_ids({max})), 1u);
    EXPECT_EQ(next_entry_id(with_ids({1, max, 3, 2})), 4u);
}

TEST(JournalIds, PushEntryNumbersStampsAndClearsUndone) {
    Journal j;
    JournalEntry e = entry(55, 0, CleanJunk{"temp", "Temp"}, Nothing{}, true, "removed");
    e.undone = true;
    e.undo_of = 3;
    const JournalEntry& first = push_entry(j, e, 1000);
    EXPECT_EQ(first.id, 1u);
    EXPECT_EQ(first.time, 1000u);
    EXPECT_FALSE(first.undone);
    EXPECT_EQ(first.undo_of, std::optional<std::uint64_t>(3));
    push_entry(j, e, 2000);
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    j.entries.push_back(entry(max, 0, CleanJunk{}, Nothing{}, true, "m"));
    push_entry(j, e, 3000);
    std::set<std::uint64_t> ids;
    for (const auto& x : j.entries)
        ids.insert(x.id);
    EXPECT_EQ(ids.size(), j.entries.size());
}

TEST(JournalPaths, SiblingReplacesTheExtension) {
    const struct {
        const char* path;
        const char* ext;
        const char* expected;
    } cases[] = {
        {"C:\\data\\journal.json", "tmp", "C:\\data\\journal.tmp"},
        {"C:\\data\\journal.json", "corrupt.json", "C:\\data\\journal.corrupt.json"},
        {"C:\\da.ta\\journal", "tmp", "C:\\da.ta\\journal.tmp"},
        {"C:/data/journal.JSON", "tmp", "C:/data/journal.tmp"},
        {"journal.json", "tmp", "journal.tmp"},
        // Never the journal itself.
        {"C:\\data\\journal.tmp", "tmp", "C:\\data\\journal.tmp.tmp"},
        {"C:\\data\\journal.TMP", "tmp", "C:\\data\\journal.TMP.tmp"},
        {"C:\\data\\journal.corrupt.json", "corrupt.json",
         "C:\\data\\journal.corrupt.corrupt.json"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(journal_sibling(c.path, c.ext), c.expected) << c.path;
}

}  // namespace
}  // namespace tess
