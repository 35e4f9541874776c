// Text helpers shared by every module: byte counts and percentages as the user reads
// them, ASCII-only case folding, trimming, joining and UTF-8 <-> UTF-16 conversion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// "{} KB" / "{} MB" / "{:.1} GB"; every byte count shown or written in a message uses it.
std::string size_text(std::uint64_t bytes);

// "{:.0}%": 49.6 gives "50%".
std::string percent_text(double percent);

// Appending piece by piece (GCC 12 warns falsely about chains of operator+).
template <class... T>
std::string cat(const T&... parts) {
    std::string out;
    (out.append(std::string_view(parts)), ...);
    return out;
}
inline std::string num(std::uint64_t n) {
    return std::to_string(n);
}
// `separator` between every two parts, empty ones included.
std::string join(const std::vector<std::string>& parts, std::string_view separator);

// Space, tab, CR, LF, form feed and vertical tab: the C locale's white space.
bool is_ascii_space(char c);
// Without ASCII white space at either end.
std::string_view trim(std::string_view text);
// 0-15 for a hex digit of either case, -1 for anything else.
int hex_value(char c);

// Lower-cases A-Z only; every other byte (non-ASCII UTF-8 included) is left alone,
// so name comparisons never depend on the locale.
std::string to_lower_ascii(std::string_view text);
char to_lower_ascii(char c);
bool starts_with(std::string_view text, std::string_view prefix);
bool ends_with(std::string_view text, std::string_view suffix);
bool contains(std::string_view text, std::string_view part);
// Only the digits 0-9 (no sign, no spaces), and nothing that overflows 64 bits.
std::optional<std::uint64_t> parse_decimal(std::string_view text);

// Invalid sequences (lone surrogates, bad or overlong UTF-8) become U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);

}  // namespace tess
