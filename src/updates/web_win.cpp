#include "updates/web.hpp"

#include "core/win.hpp"

#include <wininet.h>

#include <vector>

#include "core/entry.hpp"
#include "core/timeutil.hpp"

namespace tess::updates {

namespace {

void set_timeouts(HINTERNET h, DWORD ms) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(h, option, &ms, sizeof ms);
}

std::optional<std::uint64_t> query_number(HINTERNET request, DWORD what) {
    wchar_t buf[32] = {};
    DWORD len = sizeof buf;
    if (!::HttpQueryInfoW(request, what, buf, &len, nullptr)) return std::nullopt;
    std::uint64_t n = 0;
    for (const wchar_t* p = buf; *p; ++p) {
        if (*p < L'0' || *p > L'9' || n > (~0ull - 9) / 10) return std::nullopt;
        n = n * 10 + static_cast<std::uint64_t>(*p - L'0');
    }
    return n;
}

// A header by name, as the server sent it; nothing when it is missing.
std::optional<std::string> query_header(HINTERNET request, const wchar_t* name) {
    wchar_t buf[64] = {};
    wcsncpy(buf, name, 63);
    DWORD len = sizeof buf - sizeof(wchar_t);
    if (!::HttpQueryInfoW(request, HTTP_QUERY_CUSTOM, buf, &len, nullptr)) return std::nullopt;
    return win::narrow(buf, len / sizeof(wchar_t));
}

// The address the request ended at, after any redirects.
std::string final_url(HINTERNET request) {
    DWORD len = 0;
    ::InternetQueryOptionW(request, INTERNET_OPTION_URL, nullptr, &len);
    if (len == 0) return {};
    std::vector<wchar_t> buf(len / sizeof(wchar_t) + 1);
    if (!::InternetQueryOptionW(request, INTERNET_OPTION_URL, buf.data(), &len)) return {};
    return win::narrow(buf.data(), wcsnlen(buf.data(), buf.size()));
}

}  // namespace

Result<std::string> http_get(const std::string& url, const std::string& accept, std::uint64_t limit,
                             const Progress& progress, std::uint32_t timeout_ms,
                             std::optional<std::uint64_t>* limited_until) {
    if (!is_https_url(url)) return Error{web_error_text(WebFailure::NotHttps)};
    const auto cant_connect = [] { return Error{web_error_text(WebFailure::CantConnect)}; };

    const std::wstring agent = win::widen("Tessavo/" + std::string(kVersion));
    win::unique_hinternet net(
        ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!net) return Error{web_error_text(WebFailure::NoInternet)};
    set_timeouts(net.get(), timeout_ms);

    // Split the address ourselves so that the time-outs can be set on the request
    // handle before anything is sent: WinINet ignores them on the session handle.
    std::wstring wurl = win::widen(url);
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!::InternetCrackUrlW(wurl.c_str(), static_cast<DWORD>(wurl.size()), 0, &parts) ||
        parts.nScheme != INTERNET_SCHEME_HTTPS || parts.dwHostNameLength == 0)
        return cant_connect();
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty()) object = L"/";

    win::unique_hinternet connection(::InternetConnectW(
        net.get(), host.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return cant_connect();
    // Always from the network, never cached, never any UI. Certificate errors are
    // never ignored.
    const DWORD flags = INTERNET_FLAG_SECURE | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_NO_UI;
    win::unique_hinternet request(::HttpOpenRequestW(connection.get(), L"GET", object.c_str(),
                                                     nullptr, nullptr, nullptr, flags, 0));
    if (!request) return cant_connect();
    set_timeouts(request.get(), timeout_ms);
    const std::wstring headers = win::widen("Accept: " + accept + "\r\n");
    if (!::HttpSendRequestW(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                            nullptr, 0))
        return Error{web_error_text(connect_failure(::GetLastError()))};
    // Redirects are followed by WinINet; one that left HTTPS is refused all the same.
    if (!is_https_url(final_url(request.get()))) return Error{web_error_text(WebFailure::NotHttps)};

    const std::uint64_t status = query_number(request.get(), HTTP_QUERY_STATUS_CODE).value_or(0);
    if (status != 200) {
        const RateHeaders rate{query_header(request.get(), L"X-RateLimit-Remaining"),
                               query_header(request.get(), L"X-RateLimit-Reset"),
                               query_header(request.get(), L"Retry-After")};
        const WebFailure failure = status_failure(static_cast<std::uint32_t>(status), rate);
        if (failure == WebFailure::RateLimited) {
            const std::uint64_t now = filetime_to_unix(win::filetime_now());
            const std::uint64_t until = rate_limit_until(rate, now);
            if (limited_until) *limited_until = until;
            return Error{rate_limit_text(until, now)};
        }
        return Error{web_error_text(failure, static_cast<std::uint32_t>(status))};
    }
    const std::optional<std::uint64_t> announced =
        query_number(request.get(), HTTP_QUERY_CONTENT_LENGTH);

    BodyReader reader{limit, progress, {}};
    std::vector<char> chunk(kReadChunkBytes);
    for (;;) {
        DWORD got = 0;
        if (!::InternetReadFile(request.get(), chunk.data(), kReadChunkBytes, &got))
            return Error{web_error_text(WebFailure::Interrupted)};
        if (got == 0) break;
        if (auto failed = add_chunk(reader, std::string_view(chunk.data(), got)))
            return Error{*failed};
    }
    if (auto failed = finish_body(reader, announced)) return Error{*failed};
    return std::move(reader.body);
}

}  // namespace tess::updates
