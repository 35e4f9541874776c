#include <gtest/gtest.h>

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
