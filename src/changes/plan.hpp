// The admin helper's plan travels hex-encoded on an elevated command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tess {

// Lower-case hexadecimal, two digits per byte.
std::string encode_hex(std::string_view bytes);
// Either case accepted; nullopt for an odd length or a non-hex character.
std::optional<std::string> decode_hex(std::string_view hex);

}  // namespace tess
