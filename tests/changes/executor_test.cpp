// The executor's order of work, deferral, wording and journalling, on a stand-in
// system that records every call. The Win32 paths are shown for real under Wine
// (executor_wintest.cpp).
#include "changes/executor.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tess {
namespace {

constexpr std::uint32_t kOwnPid = 4242;
constexpr std::uint64_t kNow = 133'000'000'000'000'000ull;
const std::string kJournal = "C:\\data\\journal.json";

struct Fake {
    // Processes by pid: the outcome end_process reports.
    std::map<std::uint32_t, EndResult> processes;
    // Services: start type; a missing one reads 1060.
    std::map<std::string, std::uint32_t> services;
    std::uint32_t query_code = 0, set_code = 0, stop_code = 0;
    // StartupApproved values by name.
    std::map<std::string, std::vector<unsigned char>> approved;
    std::uint32_t read_code = 0, write_code = 0;
    Result<JunkCleanResult> junk = JunkCleanResult{};
    Status dev_check;
    TreeDeleteResult tree;
    std::vector<Journal> stored{Journal{kJournal, {}}};
    // The journal file has vanished (until the next save); a clean can make it vanish.
    bool journal_missing = false;
    bool clean_deletes_journal = false;
    std::vector<std::string> kept;  // the folder each clean was told to keep
    std::vector<std::string> calls;
    std::map<std::uint32_t, std::string> images;  // running image names; others unreadable
    // Saves from this one on (0 = the first) fail, as on a full disk or a read-only file.
    std::size_t fail_saves_from = SIZE_MAX;
    std::size_t saves = 0;
    // What the run loads at its start, when not the file as it is.
    std::optional<Journal> loaded;
    std::vector<std::string> logged;
    ExecutorRun last;  // what the latest run() returned
    bool other_account = false;

    std::vector<JournalEntry>& entries() { return stored.front().entries; }

    ExecutorSystem system() {
        ExecutorSystem s;
        s.own_pid = kOwnPid;
        s.now = [] { return kNow; };
        s.end_process = [this](std::uint32_t pid, std::uint64_t created) {
            calls.push_back("end " + std::to_string(pid) + " " + std::to_string(created));
            auto it = processes.find(pid);
            return it == processes.end() ? EndResult{EndOutcome::Gone, 0} : it->second;
        };
        s.process_image_name = [this](std::uint32_t pid) {
            auto it = images.find(pid);
            return it == images.end() ? std::string() : it->second;
        };
        s.read_startup_approved = [this](StartupLocation, std::string_view name) {
            calls.push_back("read " + std::string(name));
            if (read_code) return ApprovedValue{ApprovedState::Error, {}, read_code};
            auto it = approved.find(std::string(name));
            if (it == approved.end()) return ApprovedValue{ApprovedState::Absent, {}, 0};
            return ApprovedValue{ApprovedState::Present, it->second, 0};
        };
        s.write_startup_approved = [this](StartupLocation, std::string_view name,
                                          std::span<const unsigned char> bytes) {
            calls.push_back("write " + std::string(name));
            if (write_code) return write_code;
            approved[std::string(name)].assign(bytes.begin(), bytes.end());
            return 0u;
        };
        s.delete_startup_approved = [this](StartupLocation, std::string_view name) {
            calls.push_back("delete " + std::string(name));
            if (write_code) return write_code;
            approved.erase(std::string(name));
            return 0u;
        };
        s.query_service = [this](std::string_view name) {
            calls.push_back("query " + std::string(name));
            if (query_code) return ServiceConfig{query_code};
            auto it = services.find(std::string(name));
            if (it == services.end()) return ServiceConfig{1060};
            return ServiceConfig{0, it->second, "C:\\svc.exe"};
        };
        s.set_service_start = [this](std::string_view name, std::uint32_t start) {
            calls.push_back("set " + std::string(name) + " " + std::to_string(start));
            if (set_code) return set_code;
            services[std::string(name)] = start;
            return 0u;
        };
        s.stop_service = [this](std::string_view name) {
            calls.push_back("stop " + std::string(name));
            return stop_code;
        };
        s.clean_junk_category = [this](std::string_view id, const std::string& keep) {
            calls.push_back("clean " + std::string(id));
            kept.push_back(keep);
            if (clean_deletes_journal) journal_missing = true;
            return junk;
        };
        s.check_dev_folder = [this](const std::string& path) {
            calls.push_back("check " + path);
            return dev_check;
        };
        s.delete_folder_tree = [this](const std::string& path) {
            calls.push_back("delete tree " + path);
            return tree;
        };
        s.load_journal = [this](const std::string& path) {
            EXPECT_EQ(path, kJournal);
            return loaded ? *loaded : stored.front();
        };
        // As the real one: from the file as it is now, by the same rule.
        s.update_journal = [this](Journal& journal, const std::function<bool(Journal&)>& change) {
            const auto state = journal_missing ? JournalFileState::Missing : JournalFileState::Read;
            Journal fresh{kJournal, journal_update_base(journal, state,
                                                        serialize_journal(stored.front().entries))
                                        .entries};
            const bool changed = change(fresh);
            journal = fresh;
            if (!changed || saves++ >= fail_saves_from) return false;
            journal_missing = false;
            stored.front() = fresh;
            return true;
        };
        s.run = "run-1";
        s.log = [this](std::string_view line) { logged.emplace_back(line); };
        s.other_account = other_account;
        return s;
    }

    std::vector<Op> run(const std::vector<Op>& ops, bool elevated) {
        last = run_ops(kJournal, ops, elevated, system());
        return last.deferred;
    }
};

Op kill_op(std::vector<ProcTarget> targets) {
    return ApplyOp{KillProcesses{"App", std::move(targets)}};
}
Action startup_action(const std::string& name, bool enabled) {
    return SetStartupEnabled{StartupLocation::HkcuRun, name, enabled};
}
Op startup_op(StartupLocation where, const std::string& name, bool enabled) {
    return ApplyOp{SetStartupEnabled{where, name, enabled}};
}
Op service_op(const std::string& name, std::uint32_t start, bool stop) {
    return ApplyOp{SetServiceStart{name, name + " display", start, stop}};
}

TEST(Executor, UnelevatedRunsWhatItCanAndDefersTheRestInOrder) {
    Fake f;
    f.processes[10] = {EndOutcome::Ended, 0};
    f.services["Svc"] = 2;
    const std::vector<Op> ops = {
        kill_op({{10, "app.exe", 5}}),
        startup_op(StartupLocation::HkcuRun, "Mine", false),
        startup_op(StartupLocation::HklmRun, "Theirs", false),
        service_op("Svc", 3, true),
    };
    const auto deferred = f.run(ops, /*elevated=*/false);
    ASSERT_EQ(deferred.size(), 2u);
    EXPECT_EQ(deferred[0], ops[2]);
    EXPECT_EQ(deferred[1], ops[3]);
    // The deferred ones were never attempted.
    EXPECT_EQ(f.calls, (std::vector<std::string>{"end 10 5", "read Mine", "write Mine"}));
    ASSERT_EQ(f.entries().size(), 2u);
    EXPECT_EQ(f.entries()[0].message, "ended 1");
    EXPECT_EQ(f.entries()[0].id, 1u);
    EXPECT_EQ(f.entries()[0].time, kNow);
    EXPECT_EQ(f.entries()[1].message, "disabled");
    EXPECT_EQ(f.entries()[1].id, 2u);
    EXPECT_EQ(f.entries()[1].action, std::get<ApplyOp>(ops[1]).action);
}

TEST(Executor, ElevatedRunsEverythingEvenWhatFails) {
    Fake f;
    f.processes[10] = {EndOutcome::Failed, 5};
    f.query_code = 5;
    const std::vector<Op> ops = {
        kill_op({{10, "app.exe", 5}}),
        startup_op(StartupLocation::HkcuRun, "Mine", false),
        startup_op(StartupLocation::HklmRun32, "Theirs", true),
        service_op("Svc", 3, true),
    };
    EXPECT_TRUE(f.run(ops, /*elevated=*/true).empty());
    ASSERT_EQ(f.entries().size(), 4u);
    EXPECT_EQ(f.entries()[0].message, "ended 0, 1 access denied");
    EXPECT_FALSE(f.entries()[0].ok);
    EXPECT_EQ(f.entries()[1].message, "disabled");
    EXPECT_EQ(f.entries()[2].message, "enabled");
    EXPECT_EQ(f.entries()[3].message, "Reading service failed: access denied (needs admin)");
    EXPECT_FALSE(f.entries()[3].ok);
    EXPECT_EQ(f.entries()[3].previous, Previous{Nothing{}});
}

TEST(Executor, KillMessages) {
    const struct {
        const char* what;
        std::vector<ProcTarget> targets;
        std::map<std::uint32_t, EndResult> processes;
        const char* message;
        bool ok;
    } cases[] = {
        {"own process", {{kOwnPid, "tessavo.exe", 0}}, {}, "ended 0, 1 protected, skipped", true},
        {"protected name", {{20, "CSRSS.EXE", 0}}, {}, "ended 0, 1 protected, skipped", true},
        {"protected running image",
         {{21, "notepad.exe", 0}},
         {{21, {EndOutcome::Ended, 0}}},
         "ended 0, 1 protected, skipped",
         true},
        {"one gone, one ended",
         {{10, "a.exe", 1}, {11, "a.exe", 2}},
         {{11, {EndOutcome::Ended, 0}}},
         "ended 1, 1 had already exited",
         true},
        {"every count",
         {{10, "a.exe", 0},
          {11, "a.exe", 0},
          {12, "a.exe", 0},
          {kOwnPid, "a.exe", 0},
          {13, "a.exe", 0},
          {14, "a.exe", 0},
          {15, "a.exe", 0}},
         {{10, {EndOutcome::Ended, 0}},
          {11, {EndOutcome::Ended, 0}},
          {13, {EndOutcome::Failed, 5}},
          {14, {EndOutcome::Failed, 31}},
          {15, {EndOutcome::Failed, 31}}},
         "ended 2, 1 had already exited, 1 protected, skipped, 1 access denied, 2 failed",
         false},
        {"no targets", {}, {}, "ended 0", true},
    };
    for (const auto& c : cases) {
        Fake f;
        f.processes = c.processes;
        f.images[21] = "wininit.exe";
        f.images[10] = "a.exe";
        EXPECT_TRUE(f.run({kill_op(c.targets)}, true).empty());
        ASSERT_EQ(f.entries().size(), 1u) << c.what;
        EXPECT_EQ(f.entries()[0].message, c.message) << c.what;
        EXPECT_EQ(f.entries()[0].ok, c.ok) << c.what;
        for (const auto& call : f.calls) {
            EXPECT_NE(call, "end " + std::to_string(kOwnPid) + " 0") << c.what;
            EXPECT_NE(call, "end 21 0") << c.what;
        }
    }
}

// Unelevated, a refusal leaves no trace: the admin helper's attempt is the only entry.
TEST(Executor, AccessDeniedUnelevatedIsDeferredWithoutAnEntry) {
    Fake f;
    f.processes[10] = {EndOutcome::Ended, 0};
    f.processes[11] = {EndOutcome::Failed, 5};
    f.write_code = 5;
    const std::vector<Op> ops = {
        kill_op({{10, "a.exe", 0}, {11, "b.exe", 0}}),
        startup_op(StartupLocation::HkcuRun, "Mine", false),
        kill_op({{12, "c.exe", 0}}),
    };
    const auto deferred = f.run(ops, false);
    EXPECT_EQ(deferred, (std::vector<Op>{ops[0], ops[1]}));
    ASSERT_EQ(f.entries().size(), 1u);
    EXPECT_EQ(f.entries()[0].message, "ended 0, 1 had already exited");
    EXPECT_EQ(f.entries()[0].id, 1u);
}

TEST(Executor, OtherFailuresUnelevatedAreJournalled) {
    Fake f;
    f.processes[10] = {EndOutcome::Failed, 31};
    f.write_code = 1016;
    EXPECT_TRUE(
        f.run({kill_op({{10, "a.exe", 0}}), startup_op(StartupLocation::HkcuRun, "M", true)}, false)
            .empty());
    ASSERT_EQ(f.entries().size(), 2u);
    EXPECT_EQ(f.entries()[0].message, "ended 0, 1 failed");
    EXPECT_EQ(f.entries()[1].message, "Changing startup state failed: Windows error 1016");
    EXPECT_EQ(f.entries()[1].previous, Previous{Nothing{}});
}

TEST(Executor, ServiceChangeWithStopAndItsUndo) {
    Fake f;
    f.services["Svc"] = 2;
    f.run({service_op("Svc", 3, true)}, true);
    ASSERT_EQ(f.entries().size(), 1u);
    const JournalEntry first = f.entries()[0];
    EXPECT_EQ(first.message, "Automatic \xE2\x86\x92 Manual, stopped");
    EXPECT_TRUE(first.ok);
    EXPECT_EQ(first.previous, Previous{ServiceStart{2}});
    EXPECT_EQ(f.services["Svc"], 3u);
    EXPECT_EQ(f.calls, (std::vector<std::string>{"query Svc", "set Svc 3", "stop Svc"}));

    // Unelevated, the undo of a service change goes to the helper.
    EXPECT_EQ(f.run({UndoOp{first.id}}, false), std::vector<Op>{UndoOp{first.id}});
    EXPECT_EQ(f.entries().size(), 1u);

    EXPECT_TRUE(f.run({UndoOp{first.id}, UndoOp{first.id}}, true).empty());
    ASSERT_EQ(f.entries().size(), 2u);
    const JournalEntry& undo = f.entries()[1];
    EXPECT_EQ(undo.message, "Undo: restored to Automatic");
    EXPECT_TRUE(undo.ok);
    EXPECT_EQ(undo.undo_of, first.id);
    EXPECT_EQ(undo.action, first.action);
    EXPECT_EQ(undo.previous, Previous{Nothing{}});
    EXPECT_TRUE(f.entries()[0].undone);
    EXPECT_FALSE(undo.undone);
    EXPECT_EQ(f.services["Svc"], 2u);

    // A later undo of the same id, or of an id not in the journal, does nothing.
    f.calls.clear();
    EXPECT_TRUE(f.run({UndoOp{first.id}, UndoOp{99}}, true).empty());
    EXPECT_EQ(f.entries().size(), 2u);
    EXPECT_TRUE(f.calls.empty());
}

TEST(Executor, ServiceMessages) {
    const struct {
        const char* what;
        std::uint32_t before, start;
        bool stop;
        std::uint32_t query_code, set_code, stop_code;
        const char* message;
        bool ok;
    } cases[] = {
        {"no stop", 3, 4, false, 0, 0, 0, "Manual \xE2\x86\x92 Disabled", true},
        {"stop failed", 2, 3, true, 0, 0, 1052,
         "Automatic \xE2\x86\x92 Manual, could not stop it now (service cannot accept that request "
         "right now); it won't start at next boot",
         true},
        {"missing service", 0, 3, true, 1060, 0, 0,
         "Reading service failed: service does not exist", false},
        {"change refused", 2, 3, true, 0, 5, 0,
         "Changing start type failed: access denied (needs admin)", false},
        {"unknown type before", 9, 2, false, 0, 0, 0, "Unknown \xE2\x86\x92 Automatic", true},
    };
    for (const auto& c : cases) {
        Fake f;
        f.services["S"] = c.before;
        f.query_code = c.query_code;
        f.set_code = c.set_code;
        f.stop_code = c.stop_code;
        f.run({service_op("S", c.start, c.stop)}, true);
        ASSERT_EQ(f.entries().size(), 1u) << c.what;
        EXPECT_EQ(f.entries()[0].message, c.message) << c.what;
        EXPECT_EQ(f.entries()[0].ok, c.ok) << c.what;
        EXPECT_EQ(f.entries()[0].previous,
                  c.ok ? Previous{ServiceStart{c.before}} : Previous{Nothing{}})
            << c.what;
    }
}

TEST(Executor, DisablingWithoutAnApprovedValueAndItsUndo) {
    Fake f;
    f.run({startup_op(StartupLocation::HkcuRun, "Mine", false)}, false);
    ASSERT_EQ(f.entries().size(), 1u);
    EXPECT_EQ(f.entries()[0].previous, Previous{StartupApproved{std::nullopt}});
    // 12 bytes: 3 (disabled), then the time of the change at bytes 4-11.
    ASSERT_EQ(f.approved["Mine"].size(), 12u);
    EXPECT_EQ(f.approved["Mine"][0], 3);
    EXPECT_EQ(f.approved["Mine"], build_startup_approved(std::nullopt, /*enable=*/false, kNow));

    f.run({UndoOp{1}}, false);
    ASSERT_EQ(f.entries().size(), 2u);
    EXPECT_EQ(f.entries()[1].message, "Undo: startup setting restored");
    EXPECT_TRUE(f.entries()[0].undone);
    EXPECT_EQ(f.approved.count("Mine"), 0u);
    EXPECT_EQ(f.calls.back(), "delete Mine");
}

TEST(Executor, EnablingKeepsTheEarlierValueForUndo) {
    Fake f;
    const std::vector<unsigned char> before = {3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    f.approved["Mine"] = before;
    f.run({startup_op(StartupLocation::HkcuRun, "Mine", true)}, false);
    EXPECT_EQ(f.entries()[0].previous, Previous{StartupApproved{before}});
    EXPECT_EQ(f.approved["Mine"][0], 2);
    f.run({UndoOp{1}}, false);
    EXPECT_EQ(f.approved["Mine"], before);
}

TEST(Executor, StartupFailures) {
    Fake f;
    f.read_code = 1010;
    f.run({startup_op(StartupLocation::HkcuRun, "M", false)}, false);
    EXPECT_EQ(f.entries()[0].message, "Reading startup state failed: Windows error 1010");

    // A restore refused unelevated is deferred; elevated it is journalled.
    Fake g;
    g.run({startup_op(StartupLocation::HkcuRun, "M", false)}, false);
    g.write_code = 5;
    EXPECT_EQ(g.run({UndoOp{1}}, false).size(), 1u);
    EXPECT_EQ(g.entries().size(), 1u);
    g.run({UndoOp{1}}, true);
    ASSERT_EQ(g.entries().size(), 2u);
    EXPECT_EQ(g.entries()[1].message,
              "Undo: Restoring startup setting failed: access denied (needs admin)");
    EXPECT_FALSE(g.entries()[0].undone);
}

TEST(Executor, WhatCannotBeUndone) {
    Fake f;
    f.entries() = {
        {1, 1, CleanJunk{"user_temp", "Temporary files"}, Nothing{}, true,
         "removed 1 file(s), 1 KB", false, std::nullopt, 1024},
        {2, 1, SetServiceStart{"S", "S", 3, false}, Nothing{}, false,
         "Changing start type failed: Windows error 1"},
        {3, 1, KillProcesses{"A", {}}, Nothing{}, true, "ended 0"},
        {4, 1, DeleteDevFolder{"C:\\p\\node_modules", "p"}, Nothing{}, true, "removed"},
    };
    f.run({UndoOp{1}, UndoOp{2}, UndoOp{3}, UndoOp{4}}, true);
    ASSERT_EQ(f.entries().size(), 8u);
    for (std::size_t i = 4; i < 8; ++i) {
        EXPECT_EQ(f.entries()[i].message,
                  "Undo: this change cannot be undone (closed apps start again when you open "
                  "them; deleted files are gone)");
        EXPECT_FALSE(f.entries()[i].ok);
        EXPECT_EQ(f.entries()[i].undo_of, i - 3);
        EXPECT_EQ(f.entries()[i].freed_bytes, 0u);
        EXPECT_FALSE(f.entries()[i - 4].undone);
    }
    EXPECT_TRUE(f.calls.empty());
}

TEST(Executor, CleanJunk) {
    Fake f;
    f.junk = JunkCleanResult{12, 3 * 1048576 + 5, 0};
    f.run({ApplyOp{CleanJunk{"user_temp", "Temporary files"}}}, false);
    f.junk = JunkCleanResult{1, 10, 2};
    f.run({ApplyOp{CleanJunk{"crash_dumps", "Crash dumps"}}}, false);
    f.junk = Error{"unknown junk category x"};
    f.run({ApplyOp{CleanJunk{"x", "X"}}}, false);
    ASSERT_EQ(f.entries().size(), 3u);
    EXPECT_EQ(f.entries()[0].message, "removed 12 file(s), 3 MB");
    EXPECT_EQ(f.entries()[0].freed_bytes, 3u * 1048576 + 5);
    EXPECT_EQ(f.entries()[1].message, "removed 1 file(s), 1 KB; 2 in use were left alone");
    EXPECT_TRUE(f.entries()[1].ok);
    EXPECT_EQ(f.entries()[2].message, "unknown junk category x");
    EXPECT_FALSE(f.entries()[2].ok);

    // Categories that say so need administrator rights.
    const auto deferred = f.run({ApplyOp{CleanJunk{"windows_temp", "W"}}}, false);
    EXPECT_EQ(deferred.size(), 1u);
}

// Without LOCALAPPDATA the journal lives in the temp folder a clean works on. The
// clean is told to keep the journal's folder, and should the file vanish all the same,
// the next entry is appended to the history the run started with, not to nothing.
TEST(Executor, AJournalThatVanishesDuringARunKeepsItsHistory) {
    Fake f;
    f.entries() = {{1, 1, CleanJunk{"a", "b"}, Nothing{}, true, "earlier"},
                   {2, 1, CleanJunk{"a", "b"}, Nothing{}, true, "earlier"}};
    f.clean_deletes_journal = true;
    f.junk = JunkCleanResult{3, 300, 0};
    f.run({ApplyOp{CleanJunk{"user_temp", "Temporary files"}}, kill_op({})}, false);
    EXPECT_EQ(f.kept, std::vector<std::string>{"C:\\data"});
    ASSERT_EQ(f.entries().size(), 4u);
    for (std::uint64_t i = 0; i < 4; ++i)
        EXPECT_EQ(f.entries()[i].id, i + 1);
    EXPECT_EQ(f.entries()[0].message, "earlier");
    EXPECT_EQ(f.entries()[2].message, "removed 3 file(s), 1 KB");
    EXPECT_EQ(f.entries()[3].message, "ended 0");
}

TEST(Executor, DeveloperFolders) {
    Fake f;
    f.tree = TreeDeleteResult{40, 2048, 0};
    f.run({ApplyOp{DeleteDevFolder{"C:\\src\\app\\node_modules", "app"}}}, false);
    f.tree = TreeDeleteResult{40, 2048, 3};
    f.run({ApplyOp{DeleteDevFolder{"C:\\src\\app\\target", "app"}}}, false);
    f.dev_check = Error{std::string(kDevFolderGone)};
    f.run({ApplyOp{DeleteDevFolder{"C:\\src\\gone\\node_modules", "gone"}}}, false);
    f.run({ApplyOp{DeleteDevFolder{"C:\\", "root"}}}, false);
    ASSERT_EQ(f.entries().size(), 4u);
    EXPECT_EQ(f.entries()[0].message, "removed 40 file(s), 2 KB");
    EXPECT_EQ(f.entries()[0].freed_bytes, 2048u);
    EXPECT_EQ(f.entries()[1].message, "removed 40 file(s), 2 KB; 3 in use were left alone");
    EXPECT_EQ(f.entries()[2].message, "the folder is already gone");
    EXPECT_FALSE(f.entries()[2].ok);
    EXPECT_EQ(f.entries()[3].message, "not a developer folder");
    EXPECT_FALSE(f.entries()[3].ok);
    // The root was never checked or walked.
    for (const auto& call : f.calls)
        EXPECT_EQ(call.find("C:\\ "), std::string::npos);
    EXPECT_EQ(f.calls.back(), "check C:\\src\\gone\\node_modules");
}

TEST(Executor, NeedsAdmin) {
    Journal j{kJournal,
              {{1, 1, SetServiceStart{"S", "S", 3, false}, ServiceStart{2}, true, "m"},
               {2, 1, SetStartupEnabled{StartupLocation::HkcuRun, "A", false},
                StartupApproved{std::nullopt}, true, "m"},
               {3, 1, SetStartupEnabled{StartupLocation::HklmRun, "A", false},
                StartupApproved{std::nullopt}, true, "m"}}};
    const struct {
        Op op;
        bool admin;
    } cases[] = {
        {service_op("S", 3, false), true},
        {startup_op(StartupLocation::HkcuRun, "A", true), false},
        {startup_op(StartupLocation::HklmRun, "A", true), true},
        {startup_op(StartupLocation::HklmRun32, "A", true), true},
        {ApplyOp{CleanJunk{"update_cache", "U"}}, true},
        {ApplyOp{CleanJunk{"user_temp", "T"}}, false},
        {ApplyOp{CleanJunk{"nope", "N"}}, false},
        {kill_op({{1, "a.exe", 0}}), false},
        {ApplyOp{DeleteDevFolder{"C:\\a\\b", "b"}}, false},
        {UndoOp{1}, true},
        {UndoOp{2}, false},
        {UndoOp{3}, true},
        {UndoOp{4}, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(needs_admin(cases[i].op, j.entries), cases[i].admin) << i;
}

// Entries other writers saved in between are kept; ids continue after theirs.
TEST(Executor, AppendsOnTopOfWhatOthersWrote) {
    Fake f;
    ExecutorSystem sys = f.system();
    auto inner = sys.update_journal;
    sys.update_journal = [&](Journal& j, const std::function<bool(Journal&)>& change) {
        f.entries().push_back(
            {f.entries().size() + 100, 1, CleanJunk{"a", "b"}, Nothing{}, true, "someone else"});
        return inner(j, change);
    };
    const ExecutorRun run = run_ops(kJournal, {kill_op({}), kill_op({})}, true, sys);
    // Each op saves twice: once before it acts, once with its entry.
    ASSERT_EQ(f.entries().size(), 6u);
    EXPECT_EQ(f.entries()[0].id, 100u);
    EXPECT_EQ(f.entries()[1].id, 101u);
    EXPECT_EQ(f.entries()[2].id, 102u);
    EXPECT_EQ(f.entries()[2].message, "ended 0");
    EXPECT_EQ(f.entries()[3].id, 103u);
    EXPECT_EQ(f.entries()[4].id, 104u);
    EXPECT_EQ(f.entries()[5].id, 105u);
    EXPECT_EQ(f.entries()[5].message, "ended 0");
    // What the run returns is its own two entries, as saved.
    ASSERT_EQ(run.entries.size(), 2u);
    EXPECT_EQ(run.entries[0], f.entries()[2]);
    EXPECT_EQ(run.entries[1], f.entries()[5]);
    EXPECT_EQ(run.entries[1].run, "run-1");
}

// A journal that cannot be written (full disk, read-only or locked file) stops each
// change before it is made: nothing changes that History would not show.
TEST(Executor, AJournalThatCannotBeWrittenStopsEveryChangeBeforeItIsMade) {
    Fake f;
    f.entries() = {{1, 1, startup_action("M", false), StartupApproved{}, true, "disabled"}};
    f.services["Svc"] = 2;
    f.fail_saves_from = 0;
    f.run({kill_op({{10, "a.exe", 0}}), ApplyOp{CleanJunk{"user_temp", "Temporary files"}},
           ApplyOp{DeleteDevFolder{"C:\\src\\app\\node_modules", "app"}},
           service_op("Svc", 3, false), UndoOp{1}, UndoOp{7}},
          true);
    EXPECT_TRUE(f.calls.empty());
    EXPECT_EQ(f.entries().size(), 1u);
    EXPECT_FALSE(f.entries()[0].undone);
    ASSERT_EQ(f.last.entries.size(), 5u);
    for (const JournalEntry& e : f.last.entries) {
        EXPECT_FALSE(entry_saved(e));
        EXPECT_FALSE(e.ok);
        EXPECT_FALSE(made_unsaved(e));
    }
    EXPECT_EQ(f.last.entries[0].message, kNotChangedUnsaved);
    EXPECT_EQ(f.last.entries[4].message, "Undo: " + std::string(kNotChangedUnsaved));
    EXPECT_EQ(f.last.entries[4].undo_of, 1u);
    EXPECT_EQ(f.last.skip_notes, std::vector<std::string>{"#7 (not in the history)"});
    EXPECT_EQ(f.logged.size(), 5u);
    EXPECT_EQ(f.logged[0], "End App (1 process): " + std::string(kNotChangedUnsaved));
}

// A write that fails after the change was made: the change is reported as made but not
// recorded, a failure, and logged.
TEST(Executor, AChangeMadeButNotSavedIsAFailureThatSaysSo) {
    Fake f;
    f.entries() = {{1, 1, startup_action("M", false), StartupApproved{}, true, "disabled"}};
    f.fail_saves_from = 1;  // the save before the change works, the entry's does not
    f.run({kill_op({{10, "a.exe", 0}})}, true);
    EXPECT_EQ(f.calls, std::vector<std::string>{"end 10 0"});
    ASSERT_EQ(f.last.entries.size(), 1u);
    const JournalEntry& e = f.last.entries[0];
    EXPECT_FALSE(entry_saved(e));
    EXPECT_FALSE(e.ok);
    EXPECT_TRUE(made_unsaved(e));
    EXPECT_EQ(e.message,
              "ended 0, 1 had already exited, but couldn't be saved to History, so it "
              "can't be undone");
    EXPECT_EQ(f.logged, std::vector<std::string>{"End App (1 process): " + e.message});
    EXPECT_EQ(f.entries().size(), 1u);

    // An undo made but not recorded leaves its entry undoable in the file and says so.
    Fake g;
    g.approved["M"] = {2, 0, 0, 0};
    g.entries() = {{1, 1, startup_action("M", false),
                    StartupApproved{std::vector<unsigned char>{2, 0, 0, 0}}, true, "disabled"}};
    g.fail_saves_from = 1;
    g.run({UndoOp{1}}, true);
    ASSERT_EQ(g.last.entries.size(), 1u);
    EXPECT_EQ(g.last.entries[0].message,
              "Undo: startup setting restored, but couldn't be saved "
              "to History, so it can't be undone");
    EXPECT_FALSE(g.entries()[0].undone);
}

// Another process replaces the journal with a copy mid-run: the entries this run had
// saved and the copy lacks become failures, never successes. A deleted journal is
// written again from the run's own copy, so nothing is lost then.
TEST(Executor, EntriesAReplacedJournalDroppedAreFailures) {
    Fake f;
    f.entries() = {{1, 1, startup_action("M", false), StartupApproved{}, true, "earlier"}};
    const Journal copy = f.stored.front();
    ExecutorSystem sys = f.system();
    auto inner = sys.clean_junk_category;
    sys.clean_junk_category = [&](std::string_view id, const std::string& keep) {
        f.stored.front() = copy;  // the kill's entry is gone
        return inner(id, keep);
    };
    const ExecutorRun run = run_ops(
        kJournal, {kill_op({}), ApplyOp{CleanJunk{"user_temp", "Temporary files"}}}, true, sys);
    ASSERT_EQ(run.entries.size(), 2u);
    EXPECT_FALSE(run.entries[0].ok);
    EXPECT_FALSE(entry_saved(run.entries[0]));
    EXPECT_EQ(run.entries[0].message,
              "ended 0, but couldn't be saved to History, so it can't be undone");
    EXPECT_TRUE(run.entries[1].ok);
    EXPECT_EQ(run.entries[1].id, 2u);
    ASSERT_EQ(f.entries().size(), 2u);
    EXPECT_EQ(f.entries()[1], run.entries[1]);

    Fake g;
    g.clean_deletes_journal = true;
    g.run({kill_op({}), ApplyOp{CleanJunk{"user_temp", "Temporary files"}}, kill_op({})}, true);
    ASSERT_EQ(g.last.entries.size(), 3u);
    for (const JournalEntry& e : g.last.entries)
        EXPECT_TRUE(e.ok && entry_saved(e)) << e.message;
    EXPECT_EQ(g.entries().size(), 3u);
}

// Whether an entry is still undoable is decided from the file under the lock, not from
// the journal the run loaded: another process may have undone it in between.
TEST(Executor, UndoIsDecidedFromTheFileUnderTheLock) {
    Fake f;
    f.approved["M"] = {3, 0, 0, 0};
    f.entries() = {{1, 1, startup_action("M", false), StartupApproved{}, true, "disabled"}};
    f.loaded = f.stored.front();  // not undone, as the run saw it at its start
    f.entries()[0].undone = true;
    f.entries().push_back({2, 1, startup_action("M", false), Nothing{}, true,
                           "Undo: startup setting restored", false, 1});
    f.run({UndoOp{1}, UndoOp{9}, UndoOp{1}}, true);
    EXPECT_TRUE(f.calls.empty());
    EXPECT_TRUE(f.last.entries.empty());
    EXPECT_EQ(f.last.skip_notes,
              (std::vector<std::string>{"#1 (already undone)", "#9 (not in the history)",
                                        "#1 (already undone)"}));
    EXPECT_EQ(f.entries().size(), 2u);
}

// An admin helper approved with another account's credentials has that account's HKCU
// and profile folders: a step on them is refused before anything is read, and says so,
// while the machine's steps in the same run go ahead. Run as the user, all of it applies.
TEST(Executor, AnotherAccountRefusesStepsOnItsOwnProfile) {
    const std::string refused_mine =
        "changing \"Mine\" at startup needs to be done while signed in as you";
    const struct {
        bool other_account;
        std::vector<std::string> messages;
        std::vector<std::string> calls;
    } cases[] = {
        {true,
         {refused_mine, "disabled", "Automatic \xE2\x86\x92 Manual, stopped",
          "cleaning Temporary files needs to be done while signed in as you",
          "removed 1 file(s), 1 KB",
          "Undo: changing \"Old\" at startup needs to be done while signed in as you",
          "Undo: startup setting restored"},
         {"read Theirs", "write Theirs", "query Svc", "set Svc 3", "stop Svc", "clean windows_temp",
          "delete OldMachine"}},
        {false,
         {"disabled", "disabled", "Automatic \xE2\x86\x92 Manual, stopped",
          "removed 1 file(s), 1 KB", "removed 1 file(s), 1 KB", "Undo: startup setting restored",
          "Undo: startup setting restored"},
         {"read Mine", "write Mine", "read Theirs", "write Theirs", "query Svc", "set Svc 3",
          "stop Svc", "clean user_temp", "clean windows_temp", "delete Old", "delete OldMachine"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.other_account ? "another account" : "the user's own");
        Fake f;
        f.other_account = c.other_account;
        f.services["Svc"] = 2;
        f.junk = JunkCleanResult{1, 700, 0};
        f.entries() = {
            {1, 1, startup_action("Old", false), StartupApproved{}, true, "disabled"},
            {2, 1, SetStartupEnabled{StartupLocation::HklmRun, "OldMachine", false},
             StartupApproved{}, true, "disabled"},
        };
        EXPECT_TRUE(
            f.run({startup_op(StartupLocation::HkcuRun, "Mine", false),
                   startup_op(StartupLocation::HklmRun, "Theirs", false),
                   service_op("Svc", 3, true), ApplyOp{CleanJunk{"user_temp", "Temporary files"}},
                   ApplyOp{CleanJunk{"windows_temp", "Windows temporary files"}}, UndoOp{1},
                   UndoOp{2}},
                  /*elevated=*/true)
                .empty());
        EXPECT_EQ(f.calls, c.calls);
        ASSERT_EQ(f.entries().size(), 2 + c.messages.size());
        for (std::size_t i = 0; i < c.messages.size(); ++i) {
            const JournalEntry& e = f.entries()[2 + i];
            EXPECT_EQ(e.message, c.messages[i]) << i;
            const bool refused = e.message.ends_with(kSignedInAsYou);
            EXPECT_EQ(e.ok, !refused) << i;
            if (refused) {
                EXPECT_EQ(e.previous, Previous{Nothing{}}) << i;
            }
        }
        // A refused undo leaves its entry to be undone by the user.
        EXPECT_EQ(f.entries()[0].undone, !c.other_account);
        EXPECT_TRUE(f.entries()[1].undone);
    }
}

TEST(Executor, OwnProfileSteps) {
    const struct {
        Action action;
        std::optional<std::string> step;
    } cases[] = {
        {startup_action("A \"b\"", true), "changing \"A \"b\"\" at startup"},
        {SetStartupEnabled{StartupLocation::HklmRun, "A", true}, std::nullopt},
        {SetStartupEnabled{StartupLocation::HklmRun32, "A", false}, std::nullopt},
        {CleanJunk{"user_temp", "Temporary files"}, "cleaning Temporary files"},
        {CleanJunk{"browser_cache", "Browser cache"}, "cleaning Browser cache"},
        {CleanJunk{"dev_cache", "Caches"}, "cleaning Caches"},
        {CleanJunk{"recycle_bin", "Recycle Bin"}, "cleaning Recycle Bin"},
        {CleanJunk{"windows_temp", "Windows temporary files"}, std::nullopt},
        {CleanJunk{"update_cache", "Windows Update downloads"}, std::nullopt},
        {CleanJunk{"nope", "Unknown"}, std::nullopt},  // fails as unknown instead
        {SetServiceStart{"S", "S", 3, true}, std::nullopt},
        {KillProcesses{"App", {{1, "a.exe", 0}}}, std::nullopt},
        {DeleteDevFolder{"C:\\src\\node_modules", "src"}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(own_profile_step(c.action), c.step) << describe(c.action);
}

}  // namespace
}  // namespace tess
