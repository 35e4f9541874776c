// Startup entries: the declarations that need Win32 types.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "sys/startup.hpp"

namespace tess {

// (name, command) of the text values of an open key; other types and values too large
// for the buffers are skipped.
std::vector<std::pair<std::string, std::string>> read_run_values(HKEY key);

}  // namespace tess
