// Test programs can run themselves as a child process ("--child NAME ARGS..."),
// which is how tests show behaviour across processes (locks, races, exit codes).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tess::test {

using ChildMain = std::function<int(const std::vector<std::string>& args)>;

// Registers a child entry; returns true so it can initialise a static.
bool register_child(const std::string& name, ChildMain fn);

int run_registered_child(const std::string& name, const std::vector<std::string>& args);

}  // namespace tess::test

#define TESS_CHILD_CAT2(a, b) a##b
#define TESS_CHILD_CAT(a, b) TESS_CHILD_CAT2(a, b)
// TESS_CHILD(name) { ... return code; }  with `args` in scope.
#define TESS_CHILD(name)                                                                \
    static int TESS_CHILD_CAT(tess_child_, name)(const std::vector<std::string>& args); \
    static const bool TESS_CHILD_CAT(tess_child_reg_, name) =                           \
        ::tess::test::register_child(#name, &TESS_CHILD_CAT(tess_child_, name));        \
    static int TESS_CHILD_CAT(tess_child_,                                              \
                              name)([[maybe_unused]] const std::vector<std::string>& args)
