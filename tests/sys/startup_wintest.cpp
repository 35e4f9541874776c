#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "core/win.hpp"
#include "sys/startup_win.hpp"

// These tests write to the Run and StartupApproved keys of the test prefix's registry,
// under value names of their own, and remove what they wrote.

namespace tess {
namespace {

HKEY root_of(StartupLocation l) {
    return startup_keys(l).machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

win::unique_hkey create_key(HKEY root, std::string_view path) {
    win::unique_hkey key;
    ::RegCreateKeyExW(root, win::widen(path).c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, key.put(), nullptr);
    return key;
}

void set_raw(HKEY key, std::string_view name, DWORD type, const void* data, std::size_t bytes) {
    ASSERT_EQ(::RegSetValueExW(key, win::widen(name).c_str(), 0, type,
                               static_cast<const BYTE*>(data), static_cast<DWORD>(bytes)),
              ERROR_SUCCESS);
}

void set_text(HKEY key, std::string_view name, std::string_view text, DWORD type = REG_SZ) {
    const std::wstring w = win::widen(text);
    set_raw(key, name, type, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
}

void delete_value(HKEY root, std::string_view path, std::string_view name) {
    win::unique_hkey key;
    if (::RegOpenKeyExW(root, win::widen(path).c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                        key.put()) == ERROR_SUCCESS)
        ::RegDeleteValueW(key.get(), win::widen(name).c_str());
}

std::optional<std::vector<unsigned char>> raw_value(HKEY root, std::string_view path,
                                                    std::string_view name, DWORD* type = nullptr) {
    win::unique_hkey key;
    if (::RegOpenKeyExW(root, win::widen(path).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::vector<unsigned char> buf(4096);
    DWORD size = static_cast<DWORD>(buf.size());
    if (::RegQueryValueExW(key.get(), win::widen(name).c_str(), nullptr, type, buf.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    buf.resize(size);
    return buf;
}

std::string unique_name(const char* tag) {
    return "TessavoProbe." + std::string(tag) + "." + std::to_string(::GetCurrentProcessId());
}

// Removes the named Run and StartupApproved values of every location when the test ends.
struct Cleanup {
    std::vector<std::string> names;
    ~Cleanup() {
        for (StartupLocation l : kStartupLocations)
            for (const auto& n : names) {
                delete_value(root_of(l), startup_keys(l).run, n);
                delete_value(root_of(l), startup_keys(l).approved, n);
            }
    }
};

TEST(StartupWin, ReadsOnlyTextValuesUpToTheirFirstNul) {
    const std::string path =
        "Software\\TessavoProbeTest\\" + std::to_string(::GetCurrentProcessId());
    win::unique_hkey key = create_key(HKEY_CURRENT_USER, path);
    ASSERT_TRUE(key);
    set_text(key.get(), "plain", "C:\\Apps\\a.exe --min");
    set_text(key.get(), "expand", "%ProgramFiles%\\b.exe", REG_EXPAND_SZ);
    const DWORD number = 7;
    set_raw(key.get(), "number", REG_DWORD, &number, sizeof number);
    const wchar_t unterminated[] = {L'n', L'o', L' ', L'n', L'u', L'l'};
    set_raw(key.get(), "unterminated", REG_SZ, unterminated, sizeof unterminated);
    const wchar_t two[] = L"one\0two";
    set_raw(key.get(), "embedded", REG_SZ, two, sizeof two);
    const std::wstring huge(40'000, L'x');  // 80,000 bytes: too large for the data buffer
    set_raw(key.get(), "huge", REG_SZ, huge.c_str(), (huge.size() + 1) * 2);
    set_text(key.get(), "multi", "a", REG_MULTI_SZ);
    set_text(key.get(),
             "\xC3\xBC"
             "ber",
             "after the huge one");

    auto values = read_run_values(key.get());
    std::sort(values.begin(), values.end());
    const std::vector<std::pair<std::string, std::string>> want = {
        {"embedded", "one"},
        {"expand", "%ProgramFiles%\\b.exe"},
        {"plain", "C:\\Apps\\a.exe --min"},
        {"unterminated", "no nul"},
        {"\xC3\xBC"
         "ber",
         "after the huge one"},
    };
    EXPECT_EQ(values, want);
    key.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, win::widen("Software\\TessavoProbeTest").c_str());
}

TEST(StartupWin, ListsAllThreeLocationsInOrderWithTheirStates) {
    Cleanup cleanup;
    const std::string user = unique_name("user"), machine = unique_name("machine"),
                      wow = unique_name("wow"), number = unique_name("number");
    cleanup.names = {user, machine, wow, number};
    for (auto [l, name] :
         {std::pair{StartupLocation::HkcuRun, user}, std::pair{StartupLocation::HklmRun, machine},
          std::pair{StartupLocation::HklmRun32, wow}}) {
        win::unique_hkey run = create_key(root_of(l), startup_keys(l).run);
        ASSERT_TRUE(run) << startup_keys(l).run;
        set_text(run.get(), name, "\"C:\\" + name + ".exe\"");
    }
    {
        win::unique_hkey run =
            create_key(HKEY_CURRENT_USER, startup_keys(StartupLocation::HkcuRun).run);
        const DWORD one = 1;
        set_raw(run.get(), number, REG_DWORD, &one, sizeof one);
    }
    const std::vector<unsigned char> off = {3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    const std::vector<unsigned char> on = {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(write_startup_approved(StartupLocation::HkcuRun, user, off), 0u);
    ASSERT_EQ(write_startup_approved(StartupLocation::HklmRun, machine, on), 0u);
    // The 32-bit entry's state lives under "Run32": a "Run" value of the same name is not it.
    ASSERT_EQ(write_startup_approved(StartupLocation::HklmRun, wow, on), 0u);
    ASSERT_EQ(write_startup_approved(StartupLocation::HklmRun32, wow, off), 0u);

    const auto entries = list_startup_entries();
    const auto at = [&](const std::string& name) {
        return std::find_if(entries.begin(), entries.end(),
                            [&](const StartupEntry& e) { return e.name == name; });
    };
    const auto u = at(user), m = at(machine), w = at(wow);
    ASSERT_TRUE(u != entries.end() && m != entries.end() && w != entries.end());
    EXPECT_LT(u, m);
    EXPECT_LT(m, w);
    EXPECT_EQ(u->location, StartupLocation::HkcuRun);
    EXPECT_EQ(m->location, StartupLocation::HklmRun);
    EXPECT_EQ(w->location, StartupLocation::HklmRun32);
    EXPECT_EQ(u->command, "\"C:\\" + user + ".exe\"");
    EXPECT_FALSE(u->enabled);
    EXPECT_TRUE(m->enabled);
    EXPECT_FALSE(w->enabled);
    EXPECT_EQ(at(number), entries.end());  // REG_DWORD is not a startup command

    // States as Windows writes them: 06 enabled, 07 disabled, empty enabled.
    const struct {
        std::vector<unsigned char> value;
        bool enabled;
    } states[] = {{{6, 0, 0, 0}, true}, {{7, 0, 0, 0}, false}, {{}, true}, {{2}, true}};
    for (const auto& s : states) {
        ASSERT_EQ(write_startup_approved(StartupLocation::HkcuRun, user, s.value), 0u);
        const auto again = list_startup_entries();
        const auto e = std::find_if(again.begin(), again.end(),
                                    [&](const StartupEntry& x) { return x.name == user; });
        ASSERT_NE(e, again.end());
        EXPECT_EQ(e->enabled, s.enabled) << int(s.value.empty() ? -1 : s.value[0]);
    }
}

TEST(StartupWin, ApprovedValuesReadWriteAndDelete) {
    Cleanup cleanup;
    const std::string name = unique_name("approved");
    cleanup.names = {name};
    for (StartupLocation l : kStartupLocations) {
        SCOPED_TRACE(std::string(startup_location_text(l)));
        EXPECT_EQ(read_startup_approved(l, name).state, ApprovedState::Absent);
        EXPECT_EQ(delete_startup_approved(l, name), 0u);  // already gone

        // Disabling an entry without a value writes 12 fresh bytes.
        const std::uint64_t now = 0x01DA'0000'1111'2222ull;
        auto value = build_startup_approved(std::nullopt, false, now);
        ASSERT_EQ(write_startup_approved(l, name, value), 0u);
        ApprovedValue read = read_startup_approved(l, name);
        ASSERT_EQ(read.state, ApprovedState::Present);
        EXPECT_EQ(read.bytes, value);
        DWORD type = 0;
        EXPECT_EQ(raw_value(root_of(l), startup_keys(l).approved, name, &type), value);
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));

        // 16 bytes are kept; only the state and the time change.
        std::vector<unsigned char> sixteen(16, 0x5A);
        ASSERT_EQ(write_startup_approved(l, name, sixteen), 0u);
        read = read_startup_approved(l, name);
        ASSERT_EQ(read.bytes.size(), 16u);
        const auto off = build_startup_approved(read.bytes, false, now);
        ASSERT_EQ(write_startup_approved(l, name, off), 0u);
        read = read_startup_approved(l, name);
        ASSERT_EQ(read.bytes.size(), 16u);
        EXPECT_EQ(read.bytes[0], 3);
        EXPECT_EQ(read.bytes[1], 0x5A);
        EXPECT_EQ(read.bytes[15], 0x5A);
        // 8 bytes are replaced by a fresh 12-byte value.
        ASSERT_EQ(write_startup_approved(l, name, std::vector<unsigned char>(8, 0x5A)), 0u);
        read = read_startup_approved(l, name);
        ASSERT_EQ(write_startup_approved(l, name, build_startup_approved(read.bytes, true, now)),
                  0u);
        EXPECT_EQ(read_startup_approved(l, name).bytes,
                  std::vector<unsigned char>({2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

        EXPECT_EQ(delete_startup_approved(l, name), 0u);
        EXPECT_EQ(read_startup_approved(l, name).state, ApprovedState::Absent);
        EXPECT_EQ(delete_startup_approved(l, name), 0u);
    }
    // hklm_run32 writes under "Run32" and nowhere else.
    ASSERT_EQ(
        write_startup_approved(StartupLocation::HklmRun32, name, std::vector<unsigned char>{2}),
        0u);
    const std::string approved_run = std::string(startup_keys(StartupLocation::HklmRun).approved);
    EXPECT_FALSE(raw_value(HKEY_LOCAL_MACHINE, approved_run, name).has_value());
    EXPECT_TRUE(raw_value(HKEY_LOCAL_MACHINE, approved_run + "32", name).has_value());
}

TEST(StartupWin, DeleteUnderAMissingKeySucceeds) {
    // Needs the location's approvals key to be missing: it is removed only when empty
    // (earlier tests leave it so), never when it holds other programs' values.
    const std::string name = unique_name("nokey");
    const StartupKeys keys = startup_keys(StartupLocation::HklmRun32);
    win::unique_hkey probe;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, win::widen(keys.approved).c_str(), 0,
                        KEY_READ | KEY_WOW64_64KEY, probe.put()) != ERROR_SUCCESS) {
        EXPECT_EQ(delete_startup_approved(StartupLocation::HklmRun32, name), 0u);
        EXPECT_EQ(read_startup_approved(StartupLocation::HklmRun32, name).state,
                  ApprovedState::Absent);
        return;
    }
    DWORD values = 0, subkeys = 0;
    ::RegQueryInfoKeyW(probe.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                       nullptr, nullptr, nullptr, nullptr);
    probe.reset();
    if (values != 0 || subkeys != 0) GTEST_SKIP() << "the Run32 approvals key is in use";
    ASSERT_EQ(::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, win::widen(keys.approved).c_str(),
                                KEY_WOW64_64KEY, 0),
              ERROR_SUCCESS);
    EXPECT_EQ(delete_startup_approved(StartupLocation::HklmRun32, name), 0u);
    EXPECT_EQ(read_startup_approved(StartupLocation::HklmRun32, name).state, ApprovedState::Absent);
}

TEST(StartupWin, OwnRunValueOnAndOff) {
    const StartupKeys keys = startup_keys(StartupLocation::HkcuRun);
    DWORD old_type = 0;
    const auto old = raw_value(HKEY_CURRENT_USER, keys.run, "Tessavo", &old_type);
    struct Restore {
        std::optional<std::vector<unsigned char>> old;
        DWORD type;
        std::string_view run;
        ~Restore() {
            win::unique_hkey key = create_key(HKEY_CURRENT_USER, run);
            if (old)
                ::RegSetValueExW(key.get(), L"Tessavo", 0, type, old->data(),
                                 static_cast<DWORD>(old->size()));
            else
                ::RegDeleteValueW(key.get(), L"Tessavo");
            ::RegDeleteValueW(key.get(), L"tessavo");
        }
    } restore{old, old_type, keys.run};

    const std::string exe = "C:\\Users\\A B\\AppData\\Local\\Programs\\Tessavo\\Tessavo.exe";
    ASSERT_EQ(set_run_value(true, exe), 0u);
    EXPECT_TRUE(run_value_present());
    DWORD type = 0;
    const auto data = raw_value(HKEY_CURRENT_USER, keys.run, "Tessavo", &type);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(registry_text(*data), "\"" + exe + "\" agent");
    EXPECT_EQ(data->size(), (own_run_command(exe).size() + 1) * 2);  // stored with its NUL

    ASSERT_EQ(set_run_value(false, exe), 0u);
    EXPECT_FALSE(run_value_present());
    EXPECT_EQ(set_run_value(false, exe), 0u);  // already off

    // Only a text value named exactly "Tessavo" counts.
    win::unique_hkey run = create_key(HKEY_CURRENT_USER, keys.run);
    set_text(run.get(), "tessavo", "x");
    EXPECT_FALSE(run_value_present());
    const DWORD one = 1;
    set_raw(run.get(), "Tessavo", REG_DWORD, &one, sizeof one);
    EXPECT_FALSE(run_value_present());
}

}  // namespace
}  // namespace tess
