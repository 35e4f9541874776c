#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <aclapi.h>

#include "core/log.hpp"
#include "core/settings.hpp"
#include "core/text.hpp"
#include "support/child.hpp"
#include "support/winutil.hpp"

namespace tess {
namespace {

using test::exists;
using test::read_text;
using test::TempDir;
using test::write_text;

std::string tessavo_copy(const TempDir& dir, const std::string& name) {
    const std::string dst = dir.file(name);
    EXPECT_TRUE(::CopyFileW(win::widen(test::built_exe("Tessavo.exe")).c_str(),
                            win::widen(dst).c_str(), FALSE));
    return dst;
}

TEST(EntryWin, AdminHelperExitCodesThroughTheExe) {
    const std::string exe = test::quote_arg(test::built_exe("Tessavo.exe"));
    TempDir data("data");
    test::ScopedEnv env("TESS_DATA_DIR", data.path());
    // A plan file's path, then its SHA-256 in hex.
    const std::string file = test::quote_arg(data.file("plans\\p.json"));
    EXPECT_EQ(test::run_command(exe + " apply-plan abc"), 3);              // no hash
    EXPECT_EQ(test::run_command(exe + " apply-plan " + file + " zz"), 3);  // not hex
    EXPECT_EQ(test::run_command(exe + " apply-plan " + file + " 7g"), 3);
    EXPECT_EQ(test::run_command(exe + " apply-plan"), 4);  // empty is no plan
    EXPECT_EQ(test::run_command(exe + " apply-plan " + file + " " + std::string(64, '7')),
              4);  // no such file

    // An argument that is not valid UTF-16 (a lone surrogate) is read lossily: U+FFFD
    // is not a hex digit.
    std::wstring cmd = win::widen(exe) + L" apply-plan C:\\p.json a";
    cmd += wchar_t(0xD800);
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &si, &pi));
    ::CloseHandle(pi.hThread);
    EXPECT_EQ(test::wait_exit(win::unique_handle(pi.hProcess)), 3);
}

TEST(EntryWin, OldLeftoversBesideTheExeAreDeletedAtStart) {
    TempDir dir("old");
    const std::string exe = tessavo_copy(dir, "Tessavo.exe");
    const char* deleted[] = {"Tessavo.exe.old", "TESSAVO.EXE.old", "tessavo-1.old"};
    const char* kept[] = {"Tessavo.old.txt", "Other.exe.old", "notes.txt"};
    for (const char* n : deleted)
        write_text(dir.file(n), "x");
    for (const char* n : kept)
        write_text(dir.file(n), "x");
    win::create_dirs(dir.file("Tessavo.dir.old"));  // folders are never deleted

    TempDir data("data");
    test::ScopedEnv env("TESS_DATA_DIR", data.path());
    EXPECT_EQ(test::run_command(test::quote_arg(exe) + " apply-plan zz"), 3);
    for (const char* n : deleted)
        EXPECT_FALSE(exists(dir.file(n))) << n;
    for (const char* n : kept)
        EXPECT_TRUE(exists(dir.file(n))) << n;
    EXPECT_TRUE(exists(dir.file("Tessavo.dir.old")));
    EXPECT_TRUE(exists(exe));
}

TEST(DataDir, OverrideOnlyWhenAbsolute) {
    TempDir base("base");
    test::ScopedEnv local("LOCALAPPDATA", base.path());
    {
        const std::string wanted = base.file("deep\\er\\data");
        test::ScopedEnv env("TESS_DATA_DIR", wanted);
        EXPECT_EQ(data_dir(), wanted);
        EXPECT_TRUE(exists(wanted));
    }
    for (const char* relative : {"rel\\dir", "", "\\rooted", "C:nodrive"}) {
        test::ScopedEnv env("TESS_DATA_DIR", std::string(relative));
        EXPECT_EQ(data_dir(), base.file("Tessavo")) << relative;
    }
}

TEST(DataDir, TempFolderWhenNoLocalAppData) {
    TempDir tmp("tmp");
    test::ScopedEnv over("TESS_DATA_DIR", std::nullopt);
    test::ScopedEnv local("LOCALAPPDATA", std::nullopt);
    test::ScopedEnv t1("TMP", tmp.path());
    test::ScopedEnv t2("TEMP", tmp.path());
    EXPECT_EQ(data_dir(), tmp.file("Tessavo"));
    EXPECT_TRUE(exists(tmp.file("Tessavo")));
}

TEST(DataDir, MigratesTheEarlierFolderOnce) {
    TempDir base("base");
    test::ScopedEnv over("TESS_DATA_DIR", std::nullopt);
    test::ScopedEnv local("LOCALAPPDATA", base.path());
    win::create_dirs(base.file("Memvane"));
    write_text(base.file("Memvane\\journal.json"), "[]");
    EXPECT_EQ(data_dir(), base.file("Tessavo"));
    EXPECT_EQ(read_text(base.file("Tessavo\\journal.json")), "[]");
    EXPECT_FALSE(exists(base.file("Memvane")));

    // Both exist: nothing moves.
    win::create_dirs(base.file("Memvane"));
    write_text(base.file("Memvane\\other.txt"), "x");
    data_dir();
    EXPECT_TRUE(exists(base.file("Memvane\\other.txt")));
    EXPECT_FALSE(exists(base.file("Tessavo\\other.txt")));
}

TEST(DataDir, NoMigrationOfAFileOrALink) {
    {
        TempDir base("base");
        test::ScopedEnv over("TESS_DATA_DIR", std::nullopt);
        test::ScopedEnv local("LOCALAPPDATA", base.path());
        write_text(base.file("Memvane"), "a file");
        data_dir();
        EXPECT_EQ(read_text(base.file("Memvane")), "a file");
        const DWORD attrs = ::GetFileAttributesW(win::widen(base.file("Tessavo")).c_str());
        EXPECT_TRUE(attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY));
    }
    {
        // Memvane is a symbolic link to a folder (made on the Linux side: Wine can make
        // neither junctions nor links). It must stay a link; its target keeps its file.
        const std::string base = test::link_fixture("memvane-link");
        test::ScopedEnv over("TESS_DATA_DIR", std::nullopt);
        test::ScopedEnv local("LOCALAPPDATA", base);
        const DWORD attrs = ::GetFileAttributesW(win::widen(base + "\\Memvane").c_str());
        ASSERT_NE(attrs, INVALID_FILE_ATTRIBUTES);
        ASSERT_TRUE(attrs & FILE_ATTRIBUTE_REPARSE_POINT) << "fixture link not seen as a link";
        EXPECT_EQ(data_dir(), base + "\\Tessavo");
        EXPECT_TRUE(exists(base + "\\Memvane\\keep.txt"));
        EXPECT_FALSE(exists(base + "\\Tessavo\\keep.txt"));
        EXPECT_TRUE(exists(test::link_fixture("decoy-memvane\\keep.txt")));
    }
}

TEST(SettingsWin, SaveLoadAndInvalidFiles) {
    TempDir data("data");
    test::ScopedEnv env("TESS_DATA_DIR", data.path());
    EXPECT_EQ(load_settings(), Settings{});  // missing file

    Settings s;
    s.autopilot.enabled = true;
    s.keep_running = {"node"};
    save_settings(s);
    EXPECT_EQ(load_settings(), s);
    EXPECT_EQ(read_text(data.file("settings.json")), serialize_settings(s));
    EXPECT_FALSE(exists(data.file("settings.tmp")));

    const std::string bad = R"({"keep_running": [], "keep_running": []})";
    write_text(data.file("settings.json"), bad);
    EXPECT_EQ(load_settings(), Settings{});
    EXPECT_EQ(read_text(data.file("settings.json")), bad);  // not moved or changed

    // Unknown keys are dropped at the next save.
    write_text(data.file("settings.json"), R"({"skip_version": null, "zoom": 2})");
    update_settings([](Settings& st) { st.autopilot.every_days = 3; });
    const std::string text = *read_text(data.file("settings.json"));
    EXPECT_EQ(text.find("zoom"), std::string::npos);
    EXPECT_EQ(load_settings().autopilot.every_days, 3u);
}

// Adds "{tag}{i}" to keep_running N times, each through the locked update.
TESS_CHILD(settings_adder) {
    const int n = std::stoi(args.at(1));
    for (int i = 0; i < n; ++i)
        update_settings(
            [&](Settings& s) { s.keep_running.push_back(args.at(0) + std::to_string(i)); });
    return 0;
}

// Saves large settings over and over.
TESS_CHILD(settings_saver) {
    Settings s;
    for (int i = 0; i < 2000; ++i)
        s.keep_running.push_back("entry number " + std::to_string(i));
    for (int i = 0; i < std::stoi(args.at(0)); ++i) {
        s.autopilot.last_run = i;
        save_settings(s);
    }
    return 0;
}

TEST(SettingsWin, TwoProcessesChangingAtOnceKeepBothChanges) {
    TempDir data("data");
    test::ScopedEnv env("TESS_DATA_DIR", data.path());
    auto a = test::start_child("settings_adder", {"a", "300"});
    auto b = test::start_child("settings_adder", {"b", "300"});
    EXPECT_EQ(test::wait_exit(a), 0);
    EXPECT_EQ(test::wait_exit(b), 0);
    const Settings s = load_settings();
    std::set<std::string> seen(s.keep_running.begin(), s.keep_running.end());
    EXPECT_EQ(s.keep_running.size(), 600u);
    EXPECT_EQ(seen.size(), 600u);
}

TEST(SettingsWin, ReadersNeverSeeAPartialFile) {
    TempDir data("data");
    test::ScopedEnv env("TESS_DATA_DIR", data.path());
    save_settings(Settings{});
    auto saver = test::start_child("settings_saver", {"150"});
    int reads = 0, bad = 0;
    while (::WaitForSingleObject(saver.get(), 0) == WAIT_TIMEOUT) {
        auto bytes = read_text(data.file("settings.json"));
        ++reads;
        if (!bytes || !parse_settings(*bytes).ok()) ++bad;
    }
    EXPECT_EQ(test::wait_exit(saver), 0);
    EXPECT_GT(reads, 10);
    EXPECT_EQ(bad, 0) << "of " << reads << " reads";
}

TEST(LogWin, RotatesOnlyPastTheLimit) {
    TempDir data("data");
    test::ScopedEnv env("TESS_DATA_DIR", data.path());
    const std::string log = data.file("agent.log"), old = data.file("agent.old.log");
    write_text(log, std::string(65'536, 'x'));
    log_line("kept");
    auto text = read_text(log);
    ASSERT_TRUE(text);
    EXPECT_TRUE(ends_with(*text, "  kept\n"));
    EXPECT_EQ(text->substr(0, 65'536), std::string(65'536, 'x'));
    EXPECT_FALSE(exists(old));

    write_text(old, "older generation");
    write_text(log, std::string(65'537, 'y'));
    log_line("first of the new file");
    EXPECT_EQ(read_text(old), std::string(65'537, 'y'));
    text = read_text(log);
    ASSERT_TRUE(text);
    EXPECT_TRUE(ends_with(*text, "  first of the new file\n")) << *text;
    EXPECT_EQ(std::count(text->begin(), text->end(), '\n'), 1);
}

TEST(LogWin, StampOfNowAndOfAnImpossibleTime) {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    FILETIME local{};
    SYSTEMTIME st{};
    ::FileTimeToLocalFileTime(&now, &local);
    ::FileTimeToSystemTime(&local, &st);
    const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    EXPECT_EQ(local_stamp(ticks), format_stamp(st.wDay, st.wMonth, st.wHour, st.wMinute));
    EXPECT_EQ(local_stamp(0xFFFFFFFFFFFFFFFFull), "?");
}

TESS_CHILD(log_writer) {
    for (int i = 0; i < std::stoi(args.at(1)); ++i)
        log_line(args.at(0) + " line " + std::to_string(i) + " " + std::string(40, 'z'));
    return 0;
}

TEST(LogWin, TwoProcessesLoggingAcrossARotationLoseNoLine) {
    TempDir data("data");
    test::ScopedEnv env("TESS_DATA_DIR", data.path());
    // 300 lines of about 70 bytes from each writer: one rotation happens mid-run.
    write_text(data.file("agent.log"), std::string(40'000, '#') + "\n");
    auto a = test::start_child("log_writer", {"A", "300"});
    auto b = test::start_child("log_writer", {"B", "300"});
    EXPECT_EQ(test::wait_exit(a), 0);
    EXPECT_EQ(test::wait_exit(b), 0);
    const std::string all = read_text(data.file("agent.old.log")).value_or("") +
                            read_text(data.file("agent.log")).value_or("");
    std::set<std::string> lines;
    std::size_t start = 0;
    int malformed = 0;
    while (start < all.size()) {
        const std::size_t end = all.find('\n', start);
        const std::string line = all.substr(start, end - start);
        start = end == std::string::npos ? all.size() : end + 1;
        if (line.find(" line ") == std::string::npos) continue;
        const auto sep = line.find("  ");
        if (sep == std::string::npos || !ends_with(line, std::string(40, 'z')))
            ++malformed;
        else
            lines.insert(line.substr(sep + 2));
    }
    EXPECT_EQ(malformed, 0);
    EXPECT_EQ(lines.size(), 600u);
    EXPECT_TRUE(exists(data.file("agent.old.log")));
}

}  // namespace
}  // namespace tess

namespace tess {
namespace {

// Wine runs everything elevated, so an ordinary process cannot be shown failing to open
// an elevated helper's lock; check instead that the lock names the user in its DACL.
TEST(NamedLockWin, GrantsTheUserNotOnlyAdministrators) {
    win::NamedLock lock("acl-test", "scope");
    ASSERT_TRUE(lock.held());
    win::unique_handle h(
        ::OpenMutexW(READ_CONTROL, FALSE, win::named_lock_name("acl-test", "scope").c_str()));
    ASSERT_TRUE(h);
    PACL dacl = nullptr;
    win::unique_hlocal sd;
    ASSERT_EQ(::GetSecurityInfo(h.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &dacl, nullptr, sd.put()),
              static_cast<DWORD>(ERROR_SUCCESS));
    win::unique_handle token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    unsigned char buf[256];
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token.get(), TokenUser, buf, sizeof buf, &size));
    PSID user = reinterpret_cast<TOKEN_USER*>(buf)->User.Sid;
    bool granted = false;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace))) continue;
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            ::EqualSid(reinterpret_cast<PSID>(&ace->SidStart), user) &&
            (ace->Mask & (SYNCHRONIZE | MUTEX_MODIFY_STATE)) == (SYNCHRONIZE | MUTEX_MODIFY_STATE))
            granted = true;
    }
    EXPECT_TRUE(granted);
}

}  // namespace
}  // namespace tess
