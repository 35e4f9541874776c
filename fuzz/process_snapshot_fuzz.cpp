// The kernel's process snapshot and a process's command-line answer are walked as
// untrusted buffers: no offset, length or pointer in them may lead a read outside.
#include <cstdint>
#include <span>

#include "sys/procs.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A fixed base lets crafted name pointers land inside the buffer.
    constexpr std::uint64_t kBase = 0x10000;
    const std::span<const unsigned char> buffer(data, size);
    auto rows = tess::parse_process_snapshot(buffer, kBase);
    auto list = tess::processes_from_rows(rows);
    tess::apply_cpu_sample(list, rows, rows, 4, 20'000'000);
    (void)tess::command_line_from_buffer(buffer, kBase);
    return 0;
}
