#include "core/text.hpp"

#include <cstdio>

namespace tess {

std::string size_text(std::uint64_t bytes) {
    constexpr std::uint64_t kMiB = 1024ull * 1024;
    constexpr std::uint64_t kGiB = kMiB * 1024;
    char buf[64];
    if (bytes < kMiB) {
        std::uint64_t kb = bytes / 1024;
        if (kb == 0) kb = 1;
        std::snprintf(buf, sizeof buf, "%llu KB", static_cast<unsigned long long>(kb));
    } else if (bytes < kGiB) {
        std::snprintf(buf, sizeof buf, "%llu MB", static_cast<unsigned long long>(bytes / kMiB));
    } else {
        std::snprintf(buf, sizeof buf, "%.1f GB",
                      static_cast<double>(bytes) / static_cast<double>(kGiB));
    }
    return buf;
}

std::string percent_text(double percent) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f%%", percent);
    return buf;
}

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += separator;
        out += parts[i];
    }
    return out;
}

bool is_ascii_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_ascii_space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_ascii_space(text.back()))
        text.remove_suffix(1);
    return text;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char to_lower_ascii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string to_lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = to_lower_ascii(c);
    return out;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void append_utf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// Decodes one code point at text[i], advancing i; a malformed sequence consumes
// its longest valid prefix (at least one byte) and yields U+FFFD.
char32_t next_utf8(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra;
    char32_t cp;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    std::size_t j = i + 1;
    for (int k = 0; k < extra; ++k, ++j) {
        if (j >= text.size()) {
            i = j;
            return kReplacement;
        }
        const auto b = static_cast<unsigned char>(text[j]);
        if ((b & 0xC0) != 0x80) {
            i = j;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
        // Reject overlong forms and surrogates as soon as the second byte tells.
        if (k == 0) {
            if ((b0 == 0xE0 && b < 0xA0) || (b0 == 0xED && b > 0x9F) || (b0 == 0xF0 && b < 0x90) ||
                (b0 == 0xF4 && b > 0x8F)) {
                i = j;
                return kReplacement;
            }
        }
    }
    i = j;
    if (cp < min || cp > 0x10FFFF) return kReplacement;
    return cp;
}

}  // namespace

std::u16string utf8_to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
        append_utf16(out, next_utf8(text, i));
    return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            } else {
                cp = kReplacement;
            }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        append_utf8(out, cp);
    }
    return out;
}

std::optional<std::uint64_t> parse_decimal(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (n > (UINT64_MAX - digit) / 10) return std::nullopt;
        n = n * 10 + digit;
    }
    return n;
}

}  // namespace tess
