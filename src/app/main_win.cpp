#include <windows.h>

#include "core/roles.hpp"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return tess::run_mode();
}
