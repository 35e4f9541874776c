// http_get against a real HTTPS server on this machine (see https-fixture.sh).
#include <gtest/gtest.h>

#include "core/win.hpp"

#include <wincrypt.h>

#include <chrono>
#include <vector>

#include "core/timeutil.hpp"
#include "support/child.hpp"
#include "updates/https_fixture_win.hpp"
#include "updates/web.hpp"

namespace tess::updates {
namespace {

using test::https_base;

// Adds or removes the per-run test CA in this prefix's current-user root store, so
// WinINet trusts the fixture's certificate without touching the host's trust store.
TESS_CHILD(trust_test_ca) {
    if (args.size() != 2) return 2;
    const auto der = test::read_text(args[1]);
    if (!der) return 3;
    win::unique_any<const CERT_CONTEXT*, ::CertFreeCertificateContext> cert(
        ::CertCreateCertificateContext(X509_ASN_ENCODING,
                                       reinterpret_cast<const BYTE*>(der->data()),
                                       static_cast<DWORD>(der->size())));
    if (!cert) return 4;
    HCERTSTORE store =
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!store) return 5;
    bool ok = false;
    if (args[0] == "add") {
        ok = ::CertAddCertificateContextToStore(store, cert.get(), CERT_STORE_ADD_REPLACE_EXISTING,
                                                nullptr);
    } else {
        const CERT_CONTEXT* found = ::CertFindCertificateInStore(
            store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert.get(), nullptr);
        ok = !found || ::CertDeleteCertificateFromStore(found);  // deleting frees `found`
    }
    ::CertCloseStore(store, 0);
    return ok ? 0 : 6;
}

Result<std::string> get(const std::string& path, std::uint64_t limit = 1 << 20,
                        std::uint32_t timeout_ms = kWebTimeoutMs) {
    return http_get(https_base() + path, "application/octet-stream", limit, nullptr, timeout_ms);
}

std::string pattern(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += "0123456789abcdef"[i % 16];
    return s;
}

class WebHttps : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(https_base().empty()) << "the HTTPS fixture is not running";
    }
};

TEST_F(WebHttps, BodiesArriveWhole) {
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{200'000}}) {
        auto r = get("/bytes/" + std::to_string(n));
        ASSERT_TRUE(r) << n << ": " << r.error();
        EXPECT_EQ(*r, pattern(n));
    }
}

TEST_F(WebHttps, ProgressReportsTheTotalAfterEachChunk) {
    std::vector<std::uint64_t> seen;
    auto r = http_get(https_base() + "/bytes/150000", "*/*", 1 << 20,
                      [&](std::uint64_t n) { seen.push_back(n); });
    ASSERT_TRUE(r) << r.error();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 150'000u);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_GT(seen[i], seen[i - 1]);
}

TEST_F(WebHttps, LimitIsInclusive) {
    auto exact = get("/bytes/100000", 100'000);
    ASSERT_TRUE(exact) << exact.error();
    EXPECT_EQ(exact->size(), 100'000u);
    auto over = get("/bytes/100001", 100'000);
    ASSERT_FALSE(over);
    EXPECT_EQ(over.error(), "response is larger than expected");
}

TEST_F(WebHttps, RedirectToA200IsFollowed) {
    auto r = get("/redirect/bytes/5");
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(*r, "01234");
}

TEST_F(WebHttps, FailuresHaveTheirTexts) {
    const std::string base = https_base();
    const std::string port = base.substr(base.rfind(':') + 1);
    const struct {
        std::string url;
        const char* text;
    } cases[] = {
        {"http://localhost:" + port + "/bytes/5", "only HTTPS is allowed"},
        {"HTTPS://localhost:" + port + "/bytes/5", "only HTTPS is allowed"},
        {base + "/status/404", "the server answered with HTTP 404"},
        {base + "/status/500", "the server answered with HTTP 500"},
        {base + "/status/407", "the proxy server on this network wants a sign-in (HTTP 407)"},
        // A 403 without GitHub's rate-limit headers is a plain refusal.
        {base + "/limited/403?remaining=12", "the server answered with HTTP 403"},
        {base + "/cut/5000", "download interrupted"},
        // The discard port: nobody listens there.
        {"https://localhost:9/x", "couldn't connect (check your internet connection)"},
        // The certificate names localhost, not the address.
        {"https://127.0.0.1:" + port + "/bytes/5",
         "couldn't connect (check your internet connection)"},
    };
    for (const auto& c : cases) {
        auto r = http_get(c.url, "*/*", 1 << 20, nullptr);
        ASSERT_FALSE(r) << c.url;
        EXPECT_EQ(r.error(), c.text) << c.url;
    }
}

// GitHub's rate limit: its own text with the time left, and the reset time for the caller.
TEST_F(WebHttps, RateLimitAnswersSayWhenToTryAgain) {
    const std::string base = https_base();
    const struct {
        std::string path;
        std::uint64_t wait;  // seconds from now to the reset
        const char* again;
    } cases[] = {
        {"/limited/429?retry_after=120", 120, "try again in 2 minutes"},
        {"/limited/429", 60, "try again in 1 minute"},
        {"/limited/403?remaining=0&reset_in=1500", 1500, "try again in 25 minutes"},
        {"/limited/403?retry_after=30", 30, "try again in 1 minute"},
        // A reset a day away is held to the hour GitHub's window lasts.
        {"/limited/403?remaining=0&reset_in=86400", 3600, "try again in 60 minutes"},
    };
    for (const auto& c : cases) {
        const std::uint64_t before = filetime_to_unix(win::filetime_now());
        std::optional<std::uint64_t> until;
        auto r = http_get(base + c.path, "*/*", 1 << 20, nullptr, kWebTimeoutMs, &until);
        const std::uint64_t after = filetime_to_unix(win::filetime_now());
        ASSERT_FALSE(r) << c.path;
        EXPECT_EQ(r.error(), "GitHub's limit on update checks from this network is used up; " +
                                 std::string(c.again))
            << c.path;
        ASSERT_TRUE(until) << c.path;
        EXPECT_GE(*until + 1, before + c.wait) << c.path;
        EXPECT_LE(*until, after + c.wait) << c.path;
    }
    std::optional<std::uint64_t> until;
    EXPECT_FALSE(http_get(base + "/status/404", "*/*", 1 << 20, nullptr, kWebTimeoutMs, &until));
    EXPECT_FALSE(until);
}

TEST_F(WebHttps, SilentServerIsEndedByTheReceiveTimeOut) {
    // The time-out is shortened from 20 s so the test stays quick; what is shown is
    // that it is honoured at all, before the answer and in the middle of the body.
    for (const auto& [path, text] :
         {std::pair{"/silent", "couldn't connect (check your internet connection)"},
          std::pair{"/stall/5000", "download interrupted"}}) {
        const auto start = std::chrono::steady_clock::now();
        auto r = get(path, 1 << 20, 1500);
        const auto secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
        ASSERT_FALSE(r) << path;
        EXPECT_EQ(r.error(), text) << path;
        EXPECT_LT(secs.count(), 15.0) << path;  // far below the server's 60 s of silence
    }
}

TEST_F(WebHttps, SendsTheAcceptHeader) {
    auto r = http_get(https_base() + "/bytes/3", "application/vnd.github+json", 100, nullptr);
    ASSERT_TRUE(r) << r.error();
    const auto log = test::read_text(test::https_fixture_path("requests.log"));
    ASSERT_TRUE(log);
    EXPECT_NE(log->find("/bytes/3 application/vnd.github+json"), std::string::npos);
}

}  // namespace
}  // namespace tess::updates
