#include "core/worker.hpp"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

namespace tess {

namespace {

DWORD WINAPI run_worker(void* param) noexcept {
    const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(param));
    (*work)();
    return 0;
}

}  // namespace

void start_worker(std::function<void()> work) {
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    const HANDLE thread = ::CreateThread(nullptr, kWorkerStack, run_worker, owned.get(),
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        const std::string why = "Windows error " + std::to_string(::GetLastError());
        thread_cannot_start(why.c_str());
    }
    owned.release();  // the thread owns it now
    ::CloseHandle(thread);
}

}  // namespace tess
