// Services: the declarations that need Win32 types.
#pragma once

#include <windows.h>

#include <string_view>

#include "sys/services.hpp"

namespace tess {

// The start type and binary path of `name` through an open service manager.
ServiceConfig query_service(SC_HANDLE manager, std::string_view name);

}  // namespace tess
