// What the setup window (class TessavoSetup) receives besides the usual messages.
#pragma once

#include "core/wm_app.hpp"

namespace tess {

// Install worker: the result is in the shared slot.
inline constexpr unsigned kSetupInstallDone = kWmApp + 1;

}  // namespace tess
