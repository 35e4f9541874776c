// Threads. The program starts a handful at a time, so a thread that cannot start is a
// programming error (or a machine out of everything) and ends the process: no caller
// has to think of a fallback.
#pragma once

#include <functional>
#include <thread>

namespace tess {

// `work` on a thread of its own, joined when the returned handle goes (or by join()).
std::jthread start_thread(std::function<void()> work);

// `work` on a thread nobody waits for: a window's worker, which hands its result over and
// posts a message. It ends with the process at the latest. On Windows its stack reserve is
// kWorkerStack: Wine commits a thread's whole stack and keeps the last finished one, so the
// tray watch's short checks would otherwise cost megabytes all day.
void start_worker(std::function<void()> work);
inline constexpr unsigned kWorkerStack = 512 * 1024;

// Says why on stderr and ends the process.
[[noreturn]] void thread_cannot_start(const char* why);

}  // namespace tess
