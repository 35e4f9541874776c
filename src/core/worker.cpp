#include "core/worker.hpp"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace tess {

namespace {

[[noreturn]] void cannot_start(const std::system_error& e) {
    std::fprintf(stderr, "Tessavo: a thread could not start (%s)\n", e.what());
    std::abort();
}

}  // namespace

std::jthread start_thread(std::function<void()> work) {
    try {
        return std::jthread(std::move(work));
    } catch (const std::system_error& e) {
        cannot_start(e);
    }
}

void start_worker(std::function<void()> work) {
    start_thread(std::move(work)).detach();
}

}  // namespace tess
