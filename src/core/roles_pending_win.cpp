// Roles whose windows are not built yet. Each moves to its own module when it lands.
#include "core/roles.hpp"
#include "core/win.hpp"

namespace tess {

int run_tray_watch() {
    return 0;
}
void run_setup_window() {}
int run_update_handover() {
    return 2;
}
int run_uninstall(bool /*quiet*/) {
    return 2;
}
void run_main_window() {}

}  // namespace tess
