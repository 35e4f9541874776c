// Roles whose windows are not built yet. Each moves to its own module when it lands.
#include "core/roles.hpp"
#include "core/win.hpp"

namespace tess {

int run_tray_watch() {
    return 0;
}

}  // namespace tess
