#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/memory.hpp"
#include "core/text.hpp"
#include "core/timeutil.hpp"

namespace tess {
namespace {

TEST(SizeText, Boundaries) {
    const struct {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "1 KB"},
        {1023, "1 KB"},
        {1024, "1 KB"},
        {2047, "1 KB"},
        {1'048'575, "1023 KB"},
        {1'048'576, "1 MB"},
        {1'073'741'823, "1023 MB"},
        {1'073'741'824, "1.0 GB"},
        {1'610'612'736, "1.5 GB"},
        {~0ull, "17179869184.0 GB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(size_text(c.bytes), c.text) << c.bytes;
}

TEST(MemoryLevel, Thresholds) {
    const std::uint64_t t = 1000;
    const struct {
        std::uint64_t total, avail, committed;
        MemoryLevel level;
    } cases[] = {
        {0, 0, 99999, MemoryLevel::Normal},
        {t, 500, 500, MemoryLevel::Normal},
        {t, 120, 999, MemoryLevel::Normal},   // 12% available is not below 12%
        {t, 119, 500, MemoryLevel::High},     // below 12% available
        {t, 500, 1000, MemoryLevel::High},    // committed = total
        {t, 50, 500, MemoryLevel::High},      // 5% is not below 5%
        {t, 49, 500, MemoryLevel::Critical},  // below 5%
        {t, 500, 1499, MemoryLevel::High},
        {t, 500, 1500, MemoryLevel::Critical},  // committed 1.5x total
    };
    for (const auto& c : cases)
        EXPECT_EQ(memory_level(c.total, c.avail, c.committed), c.level)
            << c.total << " " << c.avail << " " << c.committed;
    EXPECT_EQ(memory_level_text(MemoryLevel::Normal), "Normal");
    EXPECT_EQ(memory_level_text(MemoryLevel::High), "High");
    EXPECT_EQ(memory_level_text(MemoryLevel::Critical), "Critical");
}

TEST(Text, LowerCasesAsciiOnly) {
    EXPECT_EQ(to_lower_ascii("CHROME.EXE"), "chrome.exe");
    // "ÄÖ" in UTF-8 and other bytes stay as they are.
    EXPECT_EQ(to_lower_ascii("\xC3\x84Z@[`{\xC3\x96"), "\xC3\x84z@[`{\xC3\x96");
}

TEST(Text, ParseDecimal) {
    const struct {
        const char* text;
        std::optional<std::uint64_t> n;
    } cases[] = {
        {"0", 0u},
        {"007", 7u},
        {"18446744073709551615", UINT64_MAX},
        {"18446744073709551616", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"+1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"12x", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse_decimal(c.text), c.n) << c.text;
}

TEST(Text, Utf8Utf16RoundTrip) {
    const std::string s = "a\xC3\xA9\xE2\x86\x92\xF0\x9F\x98\x80";  // a é → 😀
    const std::u16string u = utf8_to_utf16(s);
    EXPECT_EQ(u, (std::u16string{u'a', 0xE9, 0x2192, 0xD83D, 0xDE00}));
    EXPECT_EQ(utf16_to_utf8(u), s);
}

TEST(Text, InvalidSequencesBecomeReplacement) {
    const std::string fffd = "\xEF\xBF\xBD";
    const struct {
        std::string in;
        std::string out;
    } utf8_cases[] = {
        {"\x80", fffd},                                   // lone continuation byte
        {"a\xC3", "a" + fffd},                            // truncated at the end
        {"\xC0\xAF", fffd + fffd},                        // overlong
        {"\xED\xA0\x80", fffd + fffd + fffd},             // encoded surrogate
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // beyond U+10FFFF
        {"\xE2\x86x", fffd + "x"},
    };
    for (const auto& c : utf8_cases)
        EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(c.in)), c.out);
    EXPECT_EQ(utf16_to_utf8(std::u16string{0xD800}), fffd);              // lone high
    EXPECT_EQ(utf16_to_utf8(std::u16string{0xDC00, u'x'}), fffd + "x");  // lone low
    EXPECT_EQ(utf16_to_utf8(std::u16string{0xD800, 0xD800, 0xDC00}), fffd + "\xF0\x90\x80\x80");
}

// The two percentages the windows showed came from two formatters, one with the sign and
// one whose callers added it; both read the same committed share.
TEST(Text, PercentOfCommittedMemory) {
    constexpr std::uint64_t kGiB = 1ull << 30;
    const struct {
        MemoryStatus memory;
        const char* text;
    } cases[] = {
        {{16 * kGiB, 0, 8 * kGiB, 0}, "50%"},
        {{16 * kGiB, 0, 24 * kGiB, 0}, "150%"},  // the page file in use
        {{16 * kGiB, 0, 0, 0}, "0%"},
        {{0, 0, 5 * kGiB, 0}, "0%"},  // the figures could not be read
        {{1000, 0, 996, 0}, "100%"},  // 99.6 rounds up
        {{1000, 0, 4, 0}, "0%"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(percent_text(committed_percent(c.memory)), c.text) << c.memory.commit_charge;
}

TEST(Text, TrimJoinHexAndCat) {
    EXPECT_EQ(trim(" \t\r\n\f\va b\v\f\n\r\t "), "a b");
    EXPECT_EQ(trim(""), "");
    EXPECT_EQ(trim("  \n"), "");
    EXPECT_EQ(trim("\xC2\xA0x"), "\xC2\xA0x");  // only ASCII white space

    EXPECT_EQ(join({}, ", "), "");
    EXPECT_EQ(join({"a"}, ", "), "a");
    EXPECT_EQ(join({"a", "b", "c"}, "|"), "a|b|c");
    // Empty parts keep their places, so a key built from them stays distinct.
    EXPECT_EQ(join({"", "b"}, "|"), "|b");
    EXPECT_EQ(join({"a", "", ""}, "|"), "a||");

    const std::string digits = "09afAF";
    const int values[] = {0, 9, 10, 15, 10, 15};
    for (std::size_t i = 0; i < digits.size(); ++i)
        EXPECT_EQ(hex_value(digits[i]), values[i]) << digits[i];
    for (char c : std::string("gG/:@`\0\xFF", 8))
        EXPECT_EQ(hex_value(c), -1) << int(c);

    EXPECT_EQ(
        cat("a", std::string("b"), std::string_view("c"), num(0), num(18446744073709551615ull)),
        "abc018446744073709551615");
}

TEST(Time, FiletimeAndUnix) {
    EXPECT_EQ(unix_to_filetime(0), 116'444'736'000'000'000ull);
    EXPECT_EQ(filetime_to_unix(unix_to_filetime(1'700'000'000)), 1'700'000'000u);
    EXPECT_EQ(filetime_to_unix(5), 0u);
    // The clock reads after 2024 and agrees with itself.
    const std::uint64_t now = unix_now();
    EXPECT_GT(now, 1'700'000'000u);
    EXPECT_LE(now, unix_now());
}

}  // namespace
}  // namespace tess
