#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/child.hpp"

namespace tess::test {

namespace {
std::map<std::string, ChildMain>& registry() {
    static std::map<std::string, ChildMain> r;
    return r;
}
}  // namespace

bool register_child(const std::string& name, ChildMain fn) {
    registry()[name] = std::move(fn);
    return true;
}

int run_registered_child(const std::string& name, const std::vector<std::string>& args) {
    auto it = registry().find(name);
    if (it == registry().end()) {
        std::fprintf(stderr, "unknown child %s\n", name.c_str());
        return 99;
    }
    return it->second(args);
}

}  // namespace tess::test

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--child") {
        std::vector<std::string> args(argv + 3, argv + argc);
        return tess::test::run_registered_child(argv[2], args);
    }
#ifdef _WIN32
    // Tests never ask GitHub: a window a test opens (in this process or a child) makes
    // the automatic update check at start-up. The tests of the check itself unset this.
    if (!std::getenv("TESS_NO_UPDATE_CHECK")) _putenv_s("TESS_NO_UPDATE_CHECK", "1");
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
