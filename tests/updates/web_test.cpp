#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "updates/web.hpp"

namespace tess::updates {
namespace {

TEST(Web, OnlyLowerCaseHttpsUrlsReachTheNetwork) {
    const struct {
        const char* url;
        bool ok;
    } cases[] = {
        {"https://api.github.com/x", true},
        {"https://", true},  // 8 bytes: the scheme check passes, connecting fails later
        {"https:/", false},
        {"http://api.github.com/x", false},
        {"HTTPS://api.github.com/x", false},
        {"Https://api.github.com/x", false},
        {" https://api.github.com/x", false},
        {"ftp://x", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_https_url(c.url), c.ok) << c.url;
}

TEST(Web, ErrorTexts) {
    EXPECT_EQ(web_error_text(WebFailure::NotHttps), "only HTTPS is allowed");
    EXPECT_EQ(web_error_text(WebFailure::NoInternet), "no internet connection");
    EXPECT_EQ(web_error_text(WebFailure::CantConnect),
              "couldn't connect (check your internet connection)");
    EXPECT_EQ(web_error_text(WebFailure::BadStatus, 404), "the server answered with HTTP 404");
    EXPECT_EQ(web_error_text(WebFailure::BadStatus, 0), "the server answered with HTTP 0");
    EXPECT_EQ(web_error_text(WebFailure::Interrupted), "download interrupted");
    EXPECT_EQ(web_error_text(WebFailure::TooLarge), "response is larger than expected");
}

// Each network failure that needs its own advice gets its own short text.
TEST(Web, FailuresInWords) {
    const struct {
        std::uint32_t error;
        WebFailure failure;
    } errors[] = {
        {12057, WebFailure::RevocationOffline}, {12056, WebFailure::RevocationOffline},
        {12045, WebFailure::TlsInspected},      {12029, WebFailure::CantConnect},
        {12007, WebFailure::CantConnect},       {12002, WebFailure::CantConnect},
    };
    for (const auto& c : errors)
        EXPECT_EQ(connect_failure(c.error), c.failure) << c.error;

    using H = RateHeaders;
    const struct {
        std::uint32_t status;
        RateHeaders headers;
        WebFailure failure;
    } answers[] = {
        {407, H{}, WebFailure::ProxyLogin},
        {429, H{}, WebFailure::RateLimited},
        {403, H{"0", "1700000000", std::nullopt}, WebFailure::RateLimited},
        {403, H{" 0\r\n", std::nullopt, std::nullopt}, WebFailure::RateLimited},
        {403, H{std::nullopt, std::nullopt, "60"}, WebFailure::RateLimited},  // secondary limit
        {403, H{"12", "1700000000", std::nullopt}, WebFailure::BadStatus},
        {403, H{}, WebFailure::BadStatus},
        {403, H{"none", std::nullopt, "soon"}, WebFailure::BadStatus},
        {404, H{"0", std::nullopt, "60"}, WebFailure::BadStatus},
        {500, H{}, WebFailure::BadStatus},
    };
    for (const auto& c : answers)
        EXPECT_EQ(status_failure(c.status, c.headers), c.failure) << c.status;

    EXPECT_EQ(web_error_text(WebFailure::RevocationOffline),
              "couldn't check whether the server's certificate was revoked (the check needs the "
              "internet; is the connection offline or blocked?)");
    EXPECT_EQ(web_error_text(WebFailure::TlsInspected),
              "a proxy or security program on this network intercepts secure connections, and "
              "Windows doesn't trust its certificate");
    EXPECT_EQ(web_error_text(WebFailure::ProxyLogin),
              "the proxy server on this network wants a sign-in (HTTP 407)");
}

TEST(Web, RateLimitWaitsUntilTheResetAndAtMostAnHour) {
    constexpr std::uint64_t kNow = 1'700'000'000;
    using H = RateHeaders;
    const struct {
        RateHeaders headers;
        std::uint64_t until;
        const char* again;
    } cases[] = {
        {H{"0", "1700001500", std::nullopt}, kNow + 1500, "try again in 25 minutes"},
        {H{"0", "1700000001", std::nullopt}, kNow + 1, "try again in 1 minute"},
        {H{"0", "1700000061", std::nullopt}, kNow + 61, "try again in 2 minutes"},
        {H{"0", "1699999000", std::nullopt}, kNow + 1, "try again in 1 minute"},  // past reset
        {H{"0", "1800000000", std::nullopt}, kNow + 3600, "try again in 60 minutes"},
        {H{"0", "1700001500", "120"}, kNow + 120, "try again in 2 minutes"},  // Retry-After first
        {H{std::nullopt, std::nullopt, "0"}, kNow + 1, "try again in 1 minute"},
        {H{std::nullopt, std::nullopt, "99999999999999999999"}, kNow + 60, "try again in 1 minute"},
        {H{}, kNow + 60, "try again in 1 minute"},
        {H{"0", "soon", "later"}, kNow + 60, "try again in 1 minute"},
    };
    for (const auto& c : cases) {
        const std::uint64_t until = rate_limit_until(c.headers, kNow);
        EXPECT_EQ(until, c.until) << c.again;
        EXPECT_EQ(rate_limit_text(until, kNow),
                  "GitHub's limit on update checks from this network is used up; " +
                      std::string(c.again));
    }

    // The remembered reset holds only while it is ahead and within the hour.
    const struct {
        const char* file;
        std::optional<std::uint64_t> held;
    } files[] = {
        {"1700000600", kNow + 600},   {"1700003600", kNow + 3600},  {"1700003601", std::nullopt},
        {"1700000000", std::nullopt}, {"1699999999", std::nullopt}, {"", std::nullopt},
        {"garbage", std::nullopt},    {"-5", std::nullopt},         {"1700000600\n", kNow + 600},
    };
    for (const auto& c : files)
        EXPECT_EQ(remembered_limit(c.file, kNow), c.held) << c.file;
}

TEST(Web, BodyUpToTheLimitIsKeptAndOneByteMoreStopsTheRead) {
    std::vector<std::uint64_t> seen;
    BodyReader reader{10, [&](std::uint64_t n) { seen.push_back(n); }, {}};
    EXPECT_FALSE(add_chunk(reader, "0123"));
    EXPECT_FALSE(add_chunk(reader, "456789"));  // exactly the limit
    EXPECT_FALSE(finish_body(reader, 10));
    EXPECT_EQ(reader.body, "0123456789");
    EXPECT_EQ(add_chunk(reader, "x"), "response is larger than expected");
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{4, 10, 11}));
}

TEST(Web, EndOfBody) {
    BodyReader empty{0, nullptr, {}};
    EXPECT_FALSE(finish_body(empty, std::nullopt));
    EXPECT_FALSE(finish_body(empty, 0));
    BodyReader some{100, nullptr, {}};
    ASSERT_FALSE(add_chunk(some, "abc"));
    EXPECT_FALSE(finish_body(some, std::nullopt));  // no length announced: the end is the end
    EXPECT_FALSE(finish_body(some, 3));
    EXPECT_EQ(finish_body(some, 6), "download interrupted");  // closed before the announced end
    EXPECT_EQ(finish_body(some, 2), "download interrupted");
}

TEST(Web, TimeOutsAndChunk) {
    EXPECT_EQ(kWebTimeoutMs, 20'000u);
    EXPECT_EQ(kReadChunkBytes, 65'536u);
}

}  // namespace
}  // namespace tess::updates
