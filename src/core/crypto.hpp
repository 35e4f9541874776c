// SHA-256 through the system's cryptography (CNG): the plan hand-over and the update
// checks both trust a file only by its digest.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tess {

// False when the system cannot hash (or the data is 4 GiB or more).
bool sha256_digest(std::string_view data, unsigned char (&digest)[32]);
// 64 lower-case hex digits.
std::optional<std::string> sha256_hex(std::string_view data);

}  // namespace tess
