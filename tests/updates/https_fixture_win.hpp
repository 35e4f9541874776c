// The loopback HTTPS server that CTest starts before the update tests
// (https-fixture.sh): its address and the folder it serves under /files/.
#pragma once

#include <string>

#include "support/winutil.hpp"

namespace tess::test {

inline std::string https_fixture_path(const std::string& relative) {
    std::string path = std::string("Z:") + TESS_HTTPS_FIXTURE + "/" + relative;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// "https://localhost:{port}"; empty when the fixture is not running.
inline std::string https_base() {
    const auto port = read_text(https_fixture_path("port"));
    return port ? "https://localhost:" + *port : std::string();
}

}  // namespace tess::test
