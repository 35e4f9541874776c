// Windows path rules as plain text, so they are decided and tested without Windows.
// Paths are UTF-8; "\" and "/" both separate. A device prefix ("\\?\" or "\\.\") in front
// of a drive or "UNC\server\share" is read through.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tess {

bool is_path_separator(char c);

// A drive or UNC prefix and a root: "C:\x", "C:/x", "\\server\share", "\\?\C:\x".
// "C:x" (drive-relative) and "\x" (rooted, no drive) are not absolute.
bool is_absolute_path(std::string_view path);

// Joins with one backslash.
std::string join_path(std::string_view dir, std::string_view name);

// "/" becomes "\", repeated separators collapse (a leading "\\" stays), trailing
// separators go, except the one of a drive root ("C:\").
std::string normalize_folder_path(std::string_view path);

// The last component ("" for a root), and everything before it (without the separator;
// the parent of "C:\x" is "C:\").
std::string_view path_name(std::string_view path);
std::string_view parent_path(std::string_view path);

// Components counting the drive prefix and the root: "C:\" 2, "C:\Temp" 3; a
// "\\server\share" prefix counts as a drive, a device prefix is read through. 0 when
// not absolute or when the device prefix names no drive or share.
std::size_t path_component_count(std::string_view path);

// A "." or ".." component anywhere after a device prefix.
bool has_dot_component(std::string_view path);

// An absolute path naming a folder or file below its drive or share root, with no "." or
// "..": what the cleaners may ever be asked to delete.
bool is_below_root(std::string_view path);

// "\\?\C:\x" -> "C:\x", "\\?\UNC\s\x" -> "\\s\x"; separators normalized as above.
std::string plain_final_path(std::string_view final_path);

// Equal after ASCII lower-casing and normalizing separators.
bool same_path(std::string_view a, std::string_view b);

// Equal, or `path` lies inside `folder`.
bool path_within(std::string_view path, std::string_view folder);

}  // namespace tess
