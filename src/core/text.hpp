// Text helpers shared by every module: byte counts as the user reads them,
// ASCII-only case folding and UTF-8 <-> UTF-16 conversion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tess {

// "{} KB" / "{} MB" / "{:.1} GB"; every byte count shown or written in a message uses it.
std::string size_text(std::uint64_t bytes);

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
