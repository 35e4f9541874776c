#include <gtest/gtest.h>

#include "sys/startup.hpp"

namespace tess {
namespace {

std::vector<unsigned char> bytes_of(std::u16string_view units, std::size_t extra_bytes = 0) {
    std::vector<unsigned char> b(units.size() * 2 + extra_bytes, 0);
    for (std::size_t i = 0; i < units.size(); ++i) {
        b[2 * i] = static_cast<unsigned char>(units[i]);
        b[2 * i + 1] = static_cast<unsigned char>(units[i] >> 8);
    }
    return b;
}

TEST(RegistryText, StopsAtTheFirstNulAndTakesWholeUnits) {
    const struct {
        std::vector<unsigned char> data;
        const char* text;
    } cases[] = {
        {bytes_of(u"C:\\a.exe /x", 2), "C:\\a.exe /x"},                 // terminated
        {bytes_of(u"no terminator"), "no terminator"},                  // listed whole
        {bytes_of(u"odd", 1), "odd"},                                   // a stray byte is dropped
        {bytes_of(std::u16string(u"one\0two", 7)), "one"},              // cut at the first NUL
        {bytes_of(u"%ProgramFiles%\\x.exe"), "%ProgramFiles%\\x.exe"},  // never expanded
        {bytes_of(std::u16string(u"a") + char16_t(0xDC00)), "a\xEF\xBF\xBD"},
        {{}, ""},
        {{0x41}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(registry_text(c.data), c.text) << c.text;
}

TEST(StartupApproved, EnabledWhenBitZeroOfByteZeroIsClear) {
    const struct {
        std::vector<unsigned char> value;
        bool enabled;
    } cases[] = {
        {{0x03, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}, false},
        {{0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
        {{0x06, 0, 0, 0}, true},
        {{0x07, 0xFF}, false},
        {{0x01}, false},
        {{}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(startup_approved_enabled(c.value), c.enabled)
            << int(c.value.empty() ? -1 : c.value[0]);
}

TEST(StartupApproved, BuildsTheSwitchedValue) {
    const std::uint64_t now = 0x01D9'1234'5678'9ABCull;
    const std::vector<unsigned char> disabled_fresh = {3,    0,    0,    0,    0xBC, 0x9A,
                                                       0x78, 0x56, 0x34, 0x12, 0xD9, 0x01};
    EXPECT_EQ(build_startup_approved(std::nullopt, false, now), disabled_fresh);
    // An 8-byte value is too short to keep: a fresh 12-byte value replaces it.
    EXPECT_EQ(build_startup_approved(std::vector<unsigned char>(8, 0xEE), false, now),
              disabled_fresh);
    EXPECT_EQ(build_startup_approved(std::vector<unsigned char>{}, true, now),
              std::vector<unsigned char>({2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // A 16-byte value keeps bytes 1-3 and 12-15.
    std::vector<unsigned char> long_value(16);
    for (int i = 0; i < 16; ++i)
        long_value[i] = static_cast<unsigned char>(0x10 + i);
    const auto off = build_startup_approved(long_value, false, now);
    EXPECT_EQ(off, std::vector<unsigned char>({3, 0x11, 0x12, 0x13, 0xBC, 0x9A, 0x78, 0x56, 0x34,
                                               0x12, 0xD9, 0x01, 0x1C, 0x1D, 0x1E, 0x1F}));
    const auto on = build_startup_approved(off, true, now);
    EXPECT_EQ(on, std::vector<unsigned char>(
                      {2, 0x11, 0x12, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0x1C, 0x1D, 0x1E, 0x1F}));
}

TEST(StartupLocation, TextsAndKeys) {
    EXPECT_EQ(startup_location_text(StartupLocation::HkcuRun), "hkcu_run");
    EXPECT_EQ(startup_location_text(StartupLocation::HklmRun), "hklm_run");
    EXPECT_EQ(startup_location_text(StartupLocation::HklmRun32), "hklm_run32");
    for (StartupLocation l : kStartupLocations)
        EXPECT_EQ(startup_location_from_text(startup_location_text(l)), l);
    EXPECT_FALSE(startup_location_from_text("HKCU_RUN").has_value());
    EXPECT_FALSE(startup_location_from_text("hkcu_run ").has_value());
    EXPECT_FALSE(startup_location_from_text("").has_value());

    const StartupKeys user = startup_keys(StartupLocation::HkcuRun);
    EXPECT_FALSE(user.machine);
    EXPECT_EQ(user.run, "Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(user.approved,
              "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run");
    const StartupKeys machine = startup_keys(StartupLocation::HklmRun);
    EXPECT_TRUE(machine.machine);
    EXPECT_EQ(machine.run, user.run);
    EXPECT_EQ(machine.approved, user.approved);
    // The 32-bit Run key is paired with the "Run32" approvals, not "Run".
    const StartupKeys wow = startup_keys(StartupLocation::HklmRun32);
    EXPECT_TRUE(wow.machine);
    EXPECT_EQ(wow.run, "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(wow.approved,
              "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32");
}

TEST(OwnRunValue, QuotesTheExecutable) {
    EXPECT_EQ(kOwnRunValue, "Tessavo");
    EXPECT_EQ(own_run_command("C:\\Users\\a b\\Tessavo.exe"),
              "\"C:\\Users\\a b\\Tessavo.exe\" agent");
}

}  // namespace
}  // namespace tess
