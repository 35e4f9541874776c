// Running processes: the raw snapshot, the richer list with paths, command lines and a
// CPU sample, the TCP tables (who listens, who holds connections) and ending a process
// safely. Keeps no state between calls.
//
// The kernel's buffers are parsed by the portable functions below, which trust nothing
// in them: they are tested natively on crafted and malicious buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sys/retry.hpp"

namespace tess {

// One record of the raw snapshot.
struct ProcessRow {
    std::string name;
    std::uint64_t private_bytes = 0;
    std::uint64_t working_set = 0;
    std::uint64_t created = 0;   // FILETIME ticks; with pid, the process identity
    std::uint64_t cpu_time = 0;  // user + kernel, 100-ns ticks
    std::uint32_t pid = 0;
    std::uint32_t parent_pid = 0;
    std::uint32_t handles = 0;
};

struct ProcessInfo {
    std::string name;
    std::string image_path;            // empty when not asked for or not available
    std::string command_line;          // likewise
    std::vector<std::uint16_t> ports;  // listening TCP ports; filled by the full scan
    std::uint64_t private_bytes = 0;
    std::uint64_t working_set = 0;
    std::uint64_t created = 0;
    std::int64_t private_growth = 0;  // after a CPU sample: second private bytes - first
    std::uint32_t pid = 0;
    std::uint32_t parent_pid = 0;  // may name an exited process or a reused id
    float cpu_percent = 0;         // share of the whole machine during the sample, 0-100
    std::uint32_t handles = 0;
};

enum class IpFamily : std::uint8_t { V4 = 0, V6 = 1 };

struct TcpPort {
    std::uint32_t pid = 0;
    std::uint16_t port = 0;  // host byte order
};

struct TcpState {
    std::uint32_t pid = 0;
    std::uint32_t state = 0;  // MIB_TCP_STATE
};

enum class EndOutcome : std::uint8_t { Ended = 0, Gone = 1, Failed = 2 };

struct EndResult {
    EndOutcome outcome = EndOutcome::Failed;
    std::uint32_t code = 0;  // the Windows error code when Failed
};

// ---- the snapshot buffer ---------------------------------------------------------------
// SYSTEM_PROCESS_INFORMATION on x64, the fields read from it.
namespace spi {
inline constexpr std::size_t kNextEntryOffset = 0x00;   // u32
inline constexpr std::size_t kCreateTime = 0x20;        // i64
inline constexpr std::size_t kUserTime = 0x28;          // i64
inline constexpr std::size_t kKernelTime = 0x30;        // i64
inline constexpr std::size_t kImageNameLength = 0x38;   // u16, bytes
inline constexpr std::size_t kImageNameBuffer = 0x40;   // pointer in the caller's space
inline constexpr std::size_t kUniqueProcessId = 0x50;   // pointer-sized
inline constexpr std::size_t kParentProcessId = 0x58;   // pointer-sized
inline constexpr std::size_t kHandleCount = 0x60;       // u32
inline constexpr std::size_t kWorkingSetSize = 0x90;    // u64
inline constexpr std::size_t kPrivatePageCount = 0xC8;  // u64, bytes
// A following record is walked only when this much of it lies in the buffer
// (everything up to and including PrivatePageCount).
inline constexpr std::size_t kMinRecord = 208;
}  // namespace spi

inline constexpr std::uint64_t kSnapshotFirstSize = 524'288;
inline constexpr int kSnapshotMaxCalls = 6;
// 576 KiB after the first short answer (or need + 64 KiB when more was asked for),
// then the larger of need and current size, plus 64 KiB.
std::uint64_t snapshot_next_size(int calls_made, std::uint64_t current, std::uint64_t need);
inline constexpr GrowRule kSnapshotGrowRule{kSnapshotFirstSize, kSnapshotMaxCalls,
                                            &snapshot_next_size};

// Walks the record chain in `buffer`, the bytes the call returned. Name pointers are
// absolute addresses in the caller's space: `base_address` is where `buffer` starts there.
// A field outside the buffer reads as 0, a name outside it as empty.
std::vector<ProcessRow> parse_process_snapshot(std::span<const unsigned char> buffer,
                                               std::uint64_t base_address);

// The UTF-16 text a counted string (length in bytes, absolute pointer) names, when it lies
// wholly inside `buffer` mapped at `base_address`; empty otherwise. Lossy conversion.
std::string counted_text_in(std::span<const unsigned char> buffer, std::uint64_t base_address,
                            std::uint64_t pointer, std::uint64_t length_bytes);

// A UNICODE_STRING (x64: u16 length in bytes at 0, pointer at 8) read from `buffer` at `offset`.
struct CountedString {
    std::uint16_t length = 0;
    std::uint64_t pointer = 0;
};
inline constexpr std::size_t kCountedStringSize = 16;
CountedString counted_string_at(std::span<const unsigned char> buffer, std::size_t offset);

// The answer of the command-line information class: a UNICODE_STRING at the start whose
// text follows it in the same buffer.
std::string command_line_from_buffer(std::span<const unsigned char> buffer,
                                     std::uint64_t base_address);
// Sizes the command-line query accepts; outside them the command line stays empty.
inline constexpr std::uint64_t kCommandLineMinSize = 16;
inline constexpr std::uint64_t kCommandLineMaxSize = 1'048'576;

// ---- building the list ---------------------------------------------------------------------
// One ProcessInfo per row, without process id 0; no paths, no CPU, no growth.
std::vector<ProcessInfo> processes_from_rows(const std::vector<ProcessRow>& rows);

// Share of the whole machine: cpu delta / (processors x elapsed ticks) x 100.
float cpu_share(std::uint64_t cpu_delta, std::uint32_t processors, std::uint64_t elapsed_ticks);
// Whether a sampled share reaches `threshold` (each caller has its own: the suggestions
// call a daemon busy from 1 %, Focus mode a background program from 0.1 %); NaN never does.
bool is_busy(float cpu_percent, float threshold);

// Matches processes by (pid, created) in both snapshots and fills cpu_percent,
// private_growth and the second snapshot's memory and handle counts; a process missing
// from either keeps its first values and 0 CPU and growth.
void apply_cpu_sample(std::vector<ProcessInfo>& list, const std::vector<ProcessRow>& first,
                      const std::vector<ProcessRow>& second, std::uint32_t processors,
                      std::uint64_t elapsed_ticks);

// ---- TCP tables -------------------------------------------------------------------------------
inline constexpr std::size_t kTcp4RowSize = 24;
inline constexpr std::size_t kTcp6RowSize = 56;
inline constexpr int kTcpMaxCalls = 4;  // the sizing call and at most three sized calls
std::uint64_t tcp_next_size(int calls_made, std::uint64_t current, std::uint64_t need);
inline constexpr GrowRule kTcpGrowRule{0, kTcpMaxCalls, &tcp_next_size};

// Rows of a MIB_TCP(6)TABLE_OWNER_PID; the walk ends at the first row outside the buffer.
std::vector<TcpPort> parse_tcp_listeners(std::span<const unsigned char> table, IpFamily family);
std::vector<TcpState> parse_tcp_connections(std::span<const unsigned char> table, IpFamily family);

#ifdef _WIN32
// Every process, ids 0 and 4 included; empty when the snapshot fails.
std::vector<ProcessRow> process_snapshot();
// In snapshot order, without id 0. `sample_ms` = 0 takes no CPU sample.
std::vector<ProcessInfo> list_processes(std::uint64_t sample_ms, bool with_paths);
std::vector<TcpPort> tcp_ports(IpFamily family);
std::vector<TcpState> tcp_connections(IpFamily family);
// Ends the process unless it has exited or `pid` now belongs to another process
// (`created` = 0 skips that check).
EndResult end_process(std::uint32_t pid, std::uint64_t created);
#endif

}  // namespace tess
