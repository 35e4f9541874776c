#include <gtest/gtest.h>

#include <cstring>

#include "sys/services.hpp"

namespace tess {
namespace {

TEST(ServiceWords, StartTypes) {
    const struct {
        std::uint32_t type;
        const char* word;
        const char* page;
    } cases[] = {
        {0, "Boot", "By Windows"},
        {1, "System", "By Windows"},
        {2, "Automatic", "Always"},
        {3, "Manual", "When needed"},
        {4, "Disabled", "Never"},
        {5, "Unknown", "By Windows"},
        {kStartTypeUnknown, "Unknown", "By Windows"},  // configuration not readable
    };
    for (const auto& c : cases) {
        EXPECT_EQ(start_type_word(c.type), c.word) << c.type;
        EXPECT_EQ(services_page_word(c.type), c.page) << c.type;
    }
}

TEST(ServiceWords, ErrorCodes) {
    const struct {
        std::uint32_t code;
        const char* words;
    } cases[] = {
        {2, "not found"},
        {5, "access denied (needs admin)"},
        {1052, "service cannot accept that request right now"},
        {1061, "service cannot accept that request right now"},
        {1060, "service does not exist"},
        {1058, "Windows error 1058"},
        {0xFFFFFFFF, "Windows error 4294967295"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(service_error_words(c.code), c.words) << c.code;
}

TEST(ServiceList, RestartRule) {
    EXPECT_EQ(services_next_size(1, 65'536, 1), 65'536u + 8 + 4096);
    EXPECT_EQ(services_next_size(1, 65'536, 16), 65'536u + 16 + 4096);
    EXPECT_EQ(services_next_size(3, 100, 0), 100u + 4096);
    std::vector<std::uint64_t> sizes;
    const GrowRule rule{kServicesFirstBuffer, kServicesMaxCalls, &services_next_size};
    const auto buf = grow_and_retry(rule, [&](std::vector<unsigned char>& b) -> Attempt {
        sizes.push_back(b.size());
        return {AttemptStatus::TooSmall, 10};
    });
    EXPECT_FALSE(buf.has_value());  // the fifth "more data" gives up
    EXPECT_EQ(sizes, (std::vector<std::uint64_t>{65'536, 69'648, 73'760, 77'872, 81'984}));
}

TEST(ServiceList, TerminatedTextStaysInsideTheBuffer) {
    const std::uint64_t base = 0x9000;
    std::vector<unsigned char> buf(12, 0);
    const char16_t text[] = u"svc";
    std::memcpy(buf.data() + 2, text, 8);  // "svc" and its NUL at 2..9
    EXPECT_EQ(terminated_text_in(buf, base, base + 2), "svc");
    EXPECT_EQ(terminated_text_in(buf, base, base + 4), "vc");
    EXPECT_EQ(terminated_text_in(buf, base, 0), "");
    EXPECT_EQ(terminated_text_in(buf, base, base - 2), "");
    EXPECT_EQ(terminated_text_in(buf, base, base + 12), "");
    // No NUL before the end: cut there, whole units only.
    buf.assign({'a', 0, 'b', 0, 'c'});
    EXPECT_EQ(terminated_text_in(buf, base, base), "ab");
}

}  // namespace
}  // namespace tess
