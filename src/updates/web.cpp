#include "updates/web.hpp"

#include <algorithm>

#include "core/text.hpp"

namespace tess::updates {

std::string web_error_text(WebFailure failure, std::uint32_t status) {
    switch (failure) {
        case WebFailure::NotHttps:
            return "only HTTPS is allowed";
        case WebFailure::NoInternet:
            return "no internet connection";
        case WebFailure::CantConnect:
            return "couldn't connect (check your internet connection)";
        case WebFailure::BadStatus:
            return "the server answered with HTTP " + std::to_string(status);
        case WebFailure::Interrupted:
            return "download interrupted";
        case WebFailure::TooLarge:
            return "response is larger than expected";
        case WebFailure::RevocationOffline:
            return "couldn't check whether the server's certificate was revoked (the check "
                   "needs the internet; is the connection offline or blocked?)";
        case WebFailure::TlsInspected:
            return "a proxy or security program on this network intercepts secure "
                   "connections, and Windows doesn't trust its certificate";
        case WebFailure::ProxyLogin:
            return "the proxy server on this network wants a sign-in (HTTP 407)";
        case WebFailure::RateLimited:
            return "GitHub's limit on update checks from this network is used up";
    }
    return "download interrupted";
}

WebFailure connect_failure(std::uint32_t wininet_error) {
    switch (wininet_error) {
        case 12056:  // ERROR_INTERNET_SEC_CERT_NO_REV
        case 12057:  // ERROR_INTERNET_SEC_CERT_REV_FAILED
            return WebFailure::RevocationOffline;
        case 12045:  // ERROR_INTERNET_INVALID_CA
            return WebFailure::TlsInspected;
        default:
            return WebFailure::CantConnect;
    }
}

namespace {

std::optional<std::uint64_t> whole_number(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    std::string_view t = *text;
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() &&
           (t.back() == ' ' || t.back() == '\t' || t.back() == '\r' || t.back() == '\n'))
        t.remove_suffix(1);
    return parse_decimal(t);
}

}  // namespace

WebFailure status_failure(std::uint32_t status, const RateHeaders& headers) {
    if (status == 407) return WebFailure::ProxyLogin;
    if (status == 429) return WebFailure::RateLimited;
    if (status == 403 &&
        (whole_number(headers.remaining) == std::uint64_t{0} || whole_number(headers.retry_after)))
        return WebFailure::RateLimited;
    return WebFailure::BadStatus;
}

std::uint64_t rate_limit_until(const RateHeaders& headers, std::uint64_t now_unix) {
    std::uint64_t wait = kRateLimitDefaultWaitSeconds;
    if (const auto after = whole_number(headers.retry_after))
        wait = *after;
    else if (const auto reset = whole_number(headers.reset))
        wait = *reset > now_unix ? *reset - now_unix : 0;
    return now_unix + std::clamp<std::uint64_t>(wait, 1, kRateLimitMaxWaitSeconds);
}

std::string rate_limit_text(std::uint64_t until_unix, std::uint64_t now_unix) {
    const std::uint64_t left = until_unix > now_unix ? until_unix - now_unix : 0;
    const std::uint64_t minutes = std::max<std::uint64_t>(1, (left + 59) / 60);
    return web_error_text(WebFailure::RateLimited) + "; try again in " + std::to_string(minutes) +
           (minutes == 1 ? " minute" : " minutes");
}

std::optional<std::uint64_t> remembered_limit(std::string_view file_text, std::uint64_t now_unix) {
    const auto until = whole_number(std::string(file_text));
    if (!until || *until <= now_unix || *until - now_unix > kRateLimitMaxWaitSeconds)
        return std::nullopt;
    return until;
}

bool is_https_url(std::string_view url) {
    return url.size() >= 8 && url.substr(0, 8) == "https://";
}

std::optional<std::string> add_chunk(BodyReader& reader, std::string_view chunk) {
    reader.body.append(chunk);
    if (reader.progress) reader.progress(reader.body.size());
    if (reader.body.size() > reader.limit) return web_error_text(WebFailure::TooLarge);
    return std::nullopt;
}

std::optional<std::string> finish_body(const BodyReader& reader,
                                       std::optional<std::uint64_t> announced_length) {
    if (announced_length && *announced_length != reader.body.size())
        return web_error_text(WebFailure::Interrupted);
    return std::nullopt;
}

}  // namespace tess::updates
