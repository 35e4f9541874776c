#include "core/worker.hpp"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace tess {

void thread_cannot_start(const char* why) {
    std::fprintf(stderr, "Tessavo: a thread could not start (%s)\n", why);
    std::abort();
}

std::jthread start_thread(std::function<void()> work) {
    try {
        return std::jthread(std::move(work));
    } catch (const std::system_error& e) {
        thread_cannot_start(e.what());
    }
}

#ifndef _WIN32
void start_worker(std::function<void()> work) {
    start_thread(std::move(work)).detach();
}
#endif

}  // namespace tess
