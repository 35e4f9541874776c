#include <iphlpapi.h>
#include <windows.h>
#include <winsock2.h>
#include <winternl.h>

#include <chrono>
#include <cstddef>
#include <thread>

#include "core/win.hpp"
#include "sys/procs.hpp"

namespace tess {

namespace {

#ifdef __MINGW32__
// The offsets the portable walker uses, checked against this toolchain's declaration.
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, CreateTime) == spi::kCreateTime);
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, ImageName) == spi::kImageNameLength);
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, UniqueProcessId) == spi::kUniqueProcessId);
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, HandleCount) == spi::kHandleCount);
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, VirtualMemoryCounters) +
                  offsetof(VM_COUNTERS, WorkingSetSize) ==
              spi::kWorkingSetSize);
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, PrivatePageCount) == spi::kPrivatePageCount);
#endif
static_assert(sizeof(MIB_TCPROW_OWNER_PID) == kTcp4RowSize);
static_assert(sizeof(MIB_TCP6ROW_OWNER_PID) == kTcp6RowSize);

constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023);
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr ULONG kSystemProcessInformation = 5;
constexpr ULONG kProcessBasicInformation = 0;
constexpr ULONG kProcessCommandLineInformation = 60;
// x64 PEB.ProcessParameters and RTL_USER_PROCESS_PARAMETERS.CommandLine.
constexpr std::uint64_t kPebProcessParameters = 0x20;
constexpr std::uint64_t kParamsCommandLine = 0x70;

using NtQuerySystemInformationFn = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
using NtQueryInformationProcessFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

template <class F>
F ntdll_function(const char* name) {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, name)));
}

std::uint64_t address_of(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

bool read_remote(HANDLE process, std::uint64_t address, void* out, std::size_t bytes) {
    SIZE_T got = 0;
    return ::ReadProcessMemory(process, reinterpret_cast<const void*>(address), out, bytes, &got) &&
           got == bytes;
}

// The command line from the process's own parameters block, for systems that refuse the
// command-line information class (older Windows, Wine).
std::string command_line_from_peb(std::uint32_t pid, NtQueryInformationProcessFn query) {
    win::unique_handle h(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!h) return {};
    PROCESS_BASIC_INFORMATION basic{};
    ULONG got = 0;
    if (query(h.get(), kProcessBasicInformation, &basic, sizeof basic, &got) < 0 ||
        !basic.PebBaseAddress)
        return {};
    std::uint64_t params = 0;
    if (!read_remote(h.get(), address_of(basic.PebBaseAddress) + kPebProcessParameters, &params,
                     sizeof params) ||
        params == 0)
        return {};
    unsigned char header[kCountedStringSize];
    if (!read_remote(h.get(), params + kParamsCommandLine, header, sizeof header)) return {};
    const CountedString s = counted_string_at(header, 0);
    if (s.pointer == 0 || s.length == 0 || kCountedStringSize + s.length > kCommandLineMaxSize)
        return {};
    std::vector<unsigned char> text(s.length);
    if (!read_remote(h.get(), s.pointer, text.data(), text.size())) return {};
    return counted_text_in(text, s.pointer, s.pointer, s.length);
}

std::string command_line_of(HANDLE process, std::uint32_t pid) {
    const auto query = ntdll_function<NtQueryInformationProcessFn>("NtQueryInformationProcess");
    if (!query) return {};
    ULONG need = 0;
    const LONG st = query(process, kProcessCommandLineInformation, nullptr, 0, &need);
    if (st != kStatusInfoLengthMismatch && st != kStatusBufferTooSmall &&
        st != kStatusBufferOverflow) {
        if (st < 0) return command_line_from_peb(pid, query);
        return {};
    }
    if (need < kCommandLineMinSize || need > kCommandLineMaxSize) return {};
    std::vector<unsigned char> buf((need + 7) / 8 * 8);
    ULONG got = 0;
    if (query(process, kProcessCommandLineInformation, buf.data(), static_cast<ULONG>(buf.size()),
              &got) < 0)
        return {};
    return command_line_from_buffer(buf, address_of(buf.data()));
}

void fill_paths(ProcessInfo& p) {
    win::unique_handle h(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, p.pid));
    if (!h) return;
    p.image_path = win::process_image_path(h.get());
    p.command_line = command_line_of(h.get(), p.pid);
}

template <class Parse>
auto tcp_table(IpFamily family, TCP_TABLE_CLASS table_class, Parse parse)
    -> decltype(parse(std::span<const unsigned char>{}, family)) {
    const ULONG af = family == IpFamily::V4 ? AF_INET : AF_INET6;
    const auto table = grow_and_retry(kTcpGrowRule, [&](std::vector<unsigned char>& b) -> Attempt {
        if (b.size() > MAXDWORD) return {};
        DWORD size = static_cast<DWORD>(b.size());
        const DWORD r =
            ::GetExtendedTcpTable(b.empty() ? nullptr : b.data(), &size, FALSE, af, table_class, 0);
        if (r == ERROR_INSUFFICIENT_BUFFER) return {AttemptStatus::TooSmall, size};
        if (r != NO_ERROR) return {};
        return {AttemptStatus::Done, b.size()};
    });
    if (!table) return {};
    return parse(*table, family);
}

}  // namespace

std::vector<ProcessRow> process_snapshot() {
    const auto query = ntdll_function<NtQuerySystemInformationFn>("NtQuerySystemInformation");
    if (!query) return {};
    const auto buf =
        grow_and_retry(kSnapshotGrowRule, [&](std::vector<unsigned char>& b) -> Attempt {
            if (b.size() > MAXDWORD) return {};
            ULONG returned = 0;
            const LONG st =
                query(kSystemProcessInformation, b.data(), static_cast<ULONG>(b.size()), &returned);
            if (st == kStatusInfoLengthMismatch) return {AttemptStatus::TooSmall, returned};
            if (st < 0) return {};
            return {AttemptStatus::Done, returned};
        });
    if (!buf) return {};
    // Cutting the vector to the returned length kept its storage where the call wrote it.
    return parse_process_snapshot(*buf, address_of(buf->data()));
}

std::vector<ProcessInfo> list_processes(std::uint64_t sample_ms, bool with_paths) {
    const std::vector<ProcessRow> first = process_snapshot();
    // The clock runs from snapshot to snapshot, the same span as the CPU counters: with
    // paths asked for, the lookups fall inside it, and timing the sleep alone would count
    // their CPU time against too short an interval (a busy process could exceed 100%).
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<ProcessInfo> list = processes_from_rows(first);
    if (with_paths)
        for (ProcessInfo& p : list)
            fill_paths(p);
    if (sample_ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(sample_ms));
        const auto t1 = std::chrono::steady_clock::now();
        using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
        const std::int64_t elapsed = std::chrono::duration_cast<Ticks>(t1 - t0).count();
        SYSTEM_INFO si{};
        ::GetSystemInfo(&si);
        const std::vector<ProcessRow> second = process_snapshot();
        apply_cpu_sample(list, first, second, si.dwNumberOfProcessors,
                         elapsed > 0 ? static_cast<std::uint64_t>(elapsed) : 0);
    }
    return list;
}

std::vector<TcpPort> tcp_ports(IpFamily family) {
    return tcp_table(family, TCP_TABLE_OWNER_PID_LISTENER, parse_tcp_listeners);
}

std::vector<TcpState> tcp_connections(IpFamily family) {
    return tcp_table(family, TCP_TABLE_OWNER_PID_CONNECTIONS, parse_tcp_connections);
}

EndResult end_process(std::uint32_t pid, std::uint64_t created) {
    win::unique_handle h(
        ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!h) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_INVALID_PARAMETER) return {EndOutcome::Gone, 0};
        return {EndOutcome::Failed, e};
    }
    if (created != 0) {
        FILETIME c{}, x{}, k{}, u{};
        if (!::GetProcessTimes(h.get(), &c, &x, &k, &u)) return {EndOutcome::Gone, 0};
        const std::uint64_t actual =
            (static_cast<std::uint64_t>(c.dwHighDateTime) << 32) | c.dwLowDateTime;
        if (actual != created) return {EndOutcome::Gone, 0};
    }
    DWORD code = 0;
    if (::GetExitCodeProcess(h.get(), &code) && code != STILL_ACTIVE) return {EndOutcome::Gone, 0};
    if (::TerminateProcess(h.get(), 1)) return {EndOutcome::Ended, 0};
    const DWORD e = ::GetLastError();
    if (::GetExitCodeProcess(h.get(), &code) && code != STILL_ACTIVE) return {EndOutcome::Gone, 0};
    return {EndOutcome::Failed, e};
}

}  // namespace tess
