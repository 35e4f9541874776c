#include "updates/web.hpp"

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
    }
    return "download interrupted";
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
