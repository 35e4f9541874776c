#include "sys/procs.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>

#include "core/text.hpp"

namespace tess {

namespace {

// Little-endian reads that answer 0 for anything not wholly inside the buffer.
template <class T>
T read_at(std::span<const unsigned char> buf, std::uint64_t offset) {
    if (offset > buf.size() || buf.size() - offset < sizeof(T)) return T{0};
    T v;
    std::memcpy(&v, buf.data() + offset, sizeof(T));
    return v;
}

std::uint64_t clamp_non_negative(std::int64_t v) {
    return v < 0 ? 0 : static_cast<std::uint64_t>(v);
}

// User + kernel time without signed overflow; a negative sum reads as 0.
std::uint64_t sum_times(std::int64_t user, std::int64_t kernel) {
    if (user >= 0 && kernel >= 0)
        return static_cast<std::uint64_t>(user) + static_cast<std::uint64_t>(kernel);
    if (user < 0 && kernel < 0) return 0;
    return clamp_non_negative(user + kernel);  // opposite signs cannot overflow
}

}  // namespace

std::uint64_t snapshot_next_size(int calls_made, std::uint64_t current, std::uint64_t need) {
    if (calls_made <= 1) return need <= kSnapshotFirstSize ? 589'824 : need + 65'536;
    return std::max(need, current) + 65'536;
}

std::uint64_t tcp_next_size(int, std::uint64_t, std::uint64_t need) {
    return need + 1024;
}

std::string counted_text_in(std::span<const unsigned char> buffer, std::uint64_t base_address,
                            std::uint64_t pointer, std::uint64_t length_bytes) {
    if (pointer == 0 || length_bytes == 0 || pointer < base_address) return {};
    const std::uint64_t offset = pointer - base_address;
    if (offset > buffer.size() || buffer.size() - offset < length_bytes) return {};
    std::u16string units(static_cast<std::size_t>(length_bytes / 2), u'\0');
    if (!units.empty()) std::memcpy(units.data(), buffer.data() + offset, units.size() * 2);
    return utf16_to_utf8(units);
}

CountedString counted_string_at(std::span<const unsigned char> buffer, std::size_t offset) {
    CountedString s;
    s.length = read_at<std::uint16_t>(buffer, offset);
    s.pointer = read_at<std::uint64_t>(buffer, static_cast<std::uint64_t>(offset) + 8);
    return s;
}

std::vector<ProcessRow> parse_process_snapshot(std::span<const unsigned char> buffer,
                                               std::uint64_t base_address) {
    std::vector<ProcessRow> rows;
    if (buffer.empty()) return rows;
    std::uint64_t at = 0;
    for (;;) {
        const auto field = [&](std::size_t offset) { return at + offset; };
        ProcessRow r;
        r.created = clamp_non_negative(read_at<std::int64_t>(buffer, field(spi::kCreateTime)));
        r.cpu_time = sum_times(read_at<std::int64_t>(buffer, field(spi::kUserTime)),
                               read_at<std::int64_t>(buffer, field(spi::kKernelTime)));
        r.pid = static_cast<std::uint32_t>(
            read_at<std::uint64_t>(buffer, field(spi::kUniqueProcessId)));
        r.parent_pid = static_cast<std::uint32_t>(
            read_at<std::uint64_t>(buffer, field(spi::kParentProcessId)));
        r.handles = read_at<std::uint32_t>(buffer, field(spi::kHandleCount));
        r.working_set = read_at<std::uint64_t>(buffer, field(spi::kWorkingSetSize));
        r.private_bytes = read_at<std::uint64_t>(buffer, field(spi::kPrivatePageCount));
        // A length or pointer outside the buffer reads as 0, which leaves the name empty.
        const CountedString name =
            counted_string_at(buffer, static_cast<std::size_t>(field(spi::kImageNameLength)));
        r.name = counted_text_in(buffer, base_address, name.pointer, name.length);
        if (r.name.empty() && r.pid == 4) r.name = "System";
        rows.push_back(std::move(r));

        const std::uint32_t next = read_at<std::uint32_t>(buffer, field(spi::kNextEntryOffset));
        // Records never overlap: a shorter step is a corrupt chain (and would let a small
        // buffer expand into a huge list). Steps only go forward, so the chain cannot loop.
        if (next < spi::kMinRecord) break;
        at += next;
        if (at > buffer.size() || buffer.size() - at < spi::kMinRecord) break;
    }
    return rows;
}

std::string command_line_from_buffer(std::span<const unsigned char> buffer,
                                     std::uint64_t base_address) {
    if (buffer.size() < kCountedStringSize) return {};
    const CountedString s = counted_string_at(buffer, 0);
    return counted_text_in(buffer, base_address, s.pointer, s.length);
}

std::vector<ProcessInfo> processes_from_rows(const std::vector<ProcessRow>& rows) {
    std::vector<ProcessInfo> list;
    list.reserve(rows.size());
    for (const ProcessRow& r : rows) {
        if (r.pid == 0) continue;
        ProcessInfo p;
        p.name = r.name;
        p.private_bytes = r.private_bytes;
        p.working_set = r.working_set;
        p.created = r.created;
        p.pid = r.pid;
        p.parent_pid = r.parent_pid;
        p.handles = r.handles;
        list.push_back(std::move(p));
    }
    return list;
}

float cpu_share(std::uint64_t cpu_delta, std::uint32_t processors, std::uint64_t elapsed_ticks) {
    if (elapsed_ticks == 0) return 0;
    const double capacity =
        static_cast<double>(std::max<std::uint32_t>(processors, 1)) * elapsed_ticks;
    return static_cast<float>(static_cast<double>(cpu_delta) / capacity * 100.0);
}

bool is_busy(float cpu_percent, float threshold) {
    return !std::isnan(cpu_percent) && cpu_percent >= threshold;
}

void apply_cpu_sample(std::vector<ProcessInfo>& list, const std::vector<ProcessRow>& first,
                      const std::vector<ProcessRow>& second, std::uint32_t processors,
                      std::uint64_t elapsed_ticks) {
    using Key = std::pair<std::uint32_t, std::uint64_t>;
    const auto index = [](const std::vector<ProcessRow>& rows) {
        std::map<Key, const ProcessRow*> m;
        for (const ProcessRow& r : rows)
            m.emplace(Key{r.pid, r.created}, &r);
        return m;
    };
    const auto before = index(first);
    const auto after = index(second);
    for (ProcessInfo& p : list) {
        const auto a = before.find({p.pid, p.created});
        const auto b = after.find({p.pid, p.created});
        if (a == before.end() || b == after.end()) continue;
        const ProcessRow& r1 = *a->second;
        const ProcessRow& r2 = *b->second;
        const std::uint64_t delta = r2.cpu_time > r1.cpu_time ? r2.cpu_time - r1.cpu_time : 0;
        p.cpu_percent = cpu_share(delta, processors, elapsed_ticks);
        // Two's-complement difference: exact for any realistic byte counts.
        p.private_growth = static_cast<std::int64_t>(r2.private_bytes - r1.private_bytes);
        p.private_bytes = r2.private_bytes;
        p.working_set = r2.working_set;
        p.handles = r2.handles;
    }
}

namespace {

struct TcpLayout {
    std::size_t row_size, local_port, state, pid;
};

constexpr TcpLayout tcp_layout(IpFamily family) {
    // MIB_TCPROW_OWNER_PID: state, local addr, local port, remote addr, remote port, pid.
    // MIB_TCP6ROW_OWNER_PID: local addr[16], scope, local port, remote addr[16], scope,
    // remote port, state, pid.
    return family == IpFamily::V4 ? TcpLayout{kTcp4RowSize, 8, 0, 20}
                                  : TcpLayout{kTcp6RowSize, 20, 48, 52};
}

// Calls `use(row offset)` for each row that lies wholly inside the table; rows start after
// the 4-byte dwNumEntries.
template <class Use>
void walk_tcp_rows(std::span<const unsigned char> table, IpFamily family, Use&& use) {
    if (table.size() < 4) return;
    const std::uint32_t count = read_at<std::uint32_t>(table, 0);
    const std::size_t row = tcp_layout(family).row_size;
    std::uint64_t at = 4;
    for (std::uint32_t i = 0; i < count; ++i, at += row) {
        if (table.size() - at < row) return;  // at <= size holds: it only grows while rows fit
        use(at);
    }
}

}  // namespace

std::vector<TcpPort> parse_tcp_listeners(std::span<const unsigned char> table, IpFamily family) {
    const TcpLayout l = tcp_layout(family);
    std::vector<TcpPort> out;
    walk_tcp_rows(table, family, [&](std::uint64_t at) {
        // dwLocalPort holds the port in network order in its first two bytes.
        const unsigned char hi = table[static_cast<std::size_t>(at + l.local_port)];
        const unsigned char lo = table[static_cast<std::size_t>(at + l.local_port + 1)];
        out.push_back({read_at<std::uint32_t>(table, at + l.pid),
                       static_cast<std::uint16_t>((hi << 8) | lo)});
    });
    return out;
}

std::vector<TcpState> parse_tcp_connections(std::span<const unsigned char> table, IpFamily family) {
    const TcpLayout l = tcp_layout(family);
    std::vector<TcpState> out;
    walk_tcp_rows(table, family, [&](std::uint64_t at) {
        out.push_back({read_at<std::uint32_t>(table, at + l.pid),
                       read_at<std::uint32_t>(table, at + l.state)});
    });
    return out;
}

}  // namespace tess
