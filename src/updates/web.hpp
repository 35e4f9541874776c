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
};

// The user-facing text of a failure; `status` fills "HTTP {}".
std::string web_error_text(WebFailure failure, std::uint32_t status = 0);

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
Result<std::string> http_get(const std::string& url, const std::string& accept, std::uint64_t limit,
                             const Progress& progress, std::uint32_t timeout_ms = kWebTimeoutMs);
#endif

}  // namespace tess::updates
