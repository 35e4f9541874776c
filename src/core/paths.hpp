// Windows path rules as plain text, so they are decided and tested without Windows.
#pragma once

#include <string>
#include <string_view>

namespace tess {

// A drive or UNC prefix and a root: "C:\x", "C:/x", "\\server\share", "\\?\C:\x".
// "C:x" (drive-relative) and "\x" (rooted, no drive) are not absolute.
bool is_absolute_path(std::string_view path);

// Joins with one backslash.
std::string join_path(std::string_view dir, std::string_view name);

}  // namespace tess
