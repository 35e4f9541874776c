// Small data files of the background modules: a read that refuses a file too large
// for what it can hold, so a huge file costs a stat rather than its size in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tess {

// Nothing when the file is missing, unreadable or larger than `max_bytes`.
std::optional<std::string> read_data_file(const std::string& path, std::uint64_t max_bytes);
// A file or anything else by that name exists.
bool path_exists(const std::string& path);

}  // namespace tess
