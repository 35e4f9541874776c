// A minimal blocking HTTPS GET for the update check and the download: HTTPS only,
// status 200 only, the body read into memory up to a hard limit.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace tess::updates {

inline constexpr std::uint32_t kWebTimeoutMs = 20'000;  // connect, send and receive
inline constexpr std::uint32_t kReadChunkBytes = 65'536;

// Receives the number of body bytes read so far; runs on the calling worker thread.
using Progress = std::function<void(std::uint64_t bytes_so_far)>;

enum class WebFailure : std::uint8_t {
    NotHttps = 0,
    NoInternet = 1,
    CantConnect = 2,
    BadStatus = 3,
    Interrupted = 4,
    TooLarge = 5,
    RevocationOffline = 6,  // the certificate's revocation check could not be made
    TlsInspected = 7,       // a certificate from an authority Windows does not trust
    ProxyLogin = 8,         // HTTP 407
    RateLimited = 9,        // GitHub's 403 or 429 with its rate-limit headers
};

// The user-facing text of a failure; `status` fills "HTTP {}". A rate limit has its own
// text with the time left (rate_limit_text).
std::string web_error_text(WebFailure failure, std::uint32_t status = 0);

// WinINet's error of a request that got no answer at all.
WebFailure connect_failure(std::uint32_t wininet_error);

// The headers that tell a rate limit from any other refusal, as the server sent them.
struct RateHeaders {
    std::optional<std::string> remaining;    // x-ratelimit-remaining
    std::optional<std::string> reset;        // x-ratelimit-reset, Unix seconds
    std::optional<std::string> retry_after;  // Retry-After, seconds
};
// The failure of an answer other than 200. A 403 is a rate limit only when the headers
// say so (none remaining, or a Retry-After); any 429 is one.
WebFailure status_failure(std::uint32_t status, const RateHeaders& headers);
// GitHub allows 60 requests an hour for every PC behind one address.
inline constexpr std::uint64_t kRateLimitMaxWaitSeconds = 3600;
inline constexpr std::uint64_t kRateLimitDefaultWaitSeconds = 60;
// When the next request may go: Retry-After, else the reset time, else a minute; never
// more than an hour away, so a wrong header cannot stop update checks for good.
std::uint64_t rate_limit_until(const RateHeaders& headers, std::uint64_t now_unix);
// "…; try again in N minutes", rounded up.
std::string rate_limit_text(std::uint64_t until_unix, std::uint64_t now_unix);
// The remembered limit (the file holds the Unix time of the reset): the reset time while
// it is still ahead and within the longest wait, else nothing.
std::optional<std::uint64_t> remembered_limit(std::string_view file_text, std::uint64_t now_unix);

// At least 8 bytes and exactly "https://" in lower case; anything else never reaches
// the network.
bool is_https_url(std::string_view url);

// The body as it streams in: each chunk is appended and reported, and the read stops
// as soon as the total passes the limit (a body of exactly the limit is accepted).
struct BodyReader {
    std::uint64_t limit = 0;
    Progress progress;
    std::string body;
};
// The failure text once the body is over the limit; nullopt while it may go on.
std::optional<std::string> add_chunk(BodyReader& reader, std::string_view chunk);
// The end of the body: a server that announced a length and closed early cut the
// download short, which a plain end of data would otherwise hide.
std::optional<std::string> finish_body(const BodyReader& reader,
                                       std::optional<std::uint64_t> announced_length);

#ifdef _WIN32
// GET `url` with "Accept: {accept}", never cached; the body, or one of the texts of
// web_error_text. `timeout_ms` is the connect, send and receive time-out (tests
// shorten it so a silent server ends quickly).
// `limited_until` receives the time of a rate limit's reset, when the answer was one.
Result<std::string> http_get(const std::string& url, const std::string& accept, std::uint64_t limit,
                             const Progress& progress, std::uint32_t timeout_ms = kWebTimeoutMs,
                             std::optional<std::uint64_t>* limited_until = nullptr);
#endif

}  // namespace tess::updates
