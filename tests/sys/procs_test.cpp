#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include "sys/procs.hpp"

namespace tess {
namespace {

// Builds SYSTEM_PROCESS_INFORMATION chains as the kernel lays them out on x64, with name
// pointers that are absolute addresses as if the buffer sat at `base`.
struct SnapshotBuilder {
    static constexpr std::uint64_t base = 0x7FF6'0000'0000;
    static constexpr std::size_t record = 256;
    std::vector<unsigned char> bytes;
    std::size_t last = SIZE_MAX;

    template <class T>
    void put(std::size_t at, T v) {
        if (bytes.size() < at + sizeof v) bytes.resize(at + sizeof v);
        std::memcpy(bytes.data() + at, &v, sizeof v);
    }

    struct Rec {
        std::uint64_t pid = 0, parent = 0;
        std::int64_t created = 0, user = 0, kernel = 0;
        std::uint32_t handles = 0;
        std::uint64_t working_set = 0, private_bytes = 0;
        std::u16string name;
    };

    // Appends a record (and its name right after it) and links the previous one to it.
    std::size_t add(const Rec& r) {
        const std::size_t at = (bytes.size() + 7) / 8 * 8;
        bytes.resize(at + record, 0);
        if (last != SIZE_MAX) put<std::uint32_t>(last, static_cast<std::uint32_t>(at - last));
        put(at + spi::kCreateTime, r.created);
        put(at + spi::kUserTime, r.user);
        put(at + spi::kKernelTime, r.kernel);
        put(at + spi::kUniqueProcessId, r.pid);
        put(at + spi::kParentProcessId, r.parent);
        put(at + spi::kHandleCount, r.handles);
        put(at + spi::kWorkingSetSize, r.working_set);
        put(at + spi::kPrivatePageCount, r.private_bytes);
        if (!r.name.empty()) {
            const std::size_t name_at = at + record;
            bytes.resize(name_at + r.name.size() * 2 + 8, 0);
            std::memcpy(bytes.data() + name_at, r.name.data(), r.name.size() * 2);
            put(at + spi::kImageNameLength, static_cast<std::uint16_t>(r.name.size() * 2));
            put(at + spi::kImageNameLength + 2, static_cast<std::uint16_t>(r.name.size() * 2 + 2));
            put(at + spi::kImageNameBuffer, base + name_at);
        }
        last = at;
        return at;
    }

    std::vector<ProcessRow> parse(std::size_t length = SIZE_MAX) const {
        return parse_process_snapshot(
            std::span<const unsigned char>(bytes.data(), std::min(length, bytes.size())), base);
    }
};

TEST(ProcessSnapshot, ReadsEveryFieldOfAChain) {
    SnapshotBuilder b;
    b.add({0, 0, 0, 0, 0, 0, 0, 0, u""});  // the idle process
    b.add({4, 0, 0, 0, 0, 10, 0, 0, u""});
    b.add({0x1'0000'1234, 4, 132'000'000'000'000'000, 30, 12, 77, 4096, 8192, u"caf\u00e9.exe"});
    const auto rows = b.parse();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].pid, 0u);
    EXPECT_EQ(rows[1].name, "System");  // pid 4 without a name
    EXPECT_EQ(rows[1].handles, 10u);
    const ProcessRow& r = rows[2];
    EXPECT_EQ(r.name, "caf\xC3\xA9.exe");
    EXPECT_EQ(r.pid, 0x1234u);  // low 32 bits
    EXPECT_EQ(r.parent_pid, 4u);
    EXPECT_EQ(r.created, 132'000'000'000'000'000u);
    EXPECT_EQ(r.cpu_time, 42u);
    EXPECT_EQ(r.handles, 77u);
    EXPECT_EQ(r.working_set, 4096u);
    EXPECT_EQ(r.private_bytes, 8192u);
}

TEST(ProcessSnapshot, ClampsNegativeTimes) {
    const struct {
        std::int64_t created, user, kernel;
        std::uint64_t want_created, want_cpu;
    } cases[] = {
        {-1, 5, 6, 0, 11},
        {7, -10, 3, 7, 0},
        {7, 10, -3, 7, 7},
        {7, INT64_MIN, INT64_MIN, 7, 0},
        {7, INT64_MAX, INT64_MAX, 7, 2 * static_cast<std::uint64_t>(INT64_MAX)},
    };
    for (const auto& c : cases) {
        SnapshotBuilder b;
        b.add({9, 0, c.created, c.user, c.kernel, 0, 0, 0, u""});
        const auto rows = b.parse();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].created, c.want_created) << c.created;
        EXPECT_EQ(rows[0].cpu_time, c.want_cpu) << c.user << " " << c.kernel;
    }
}

TEST(ProcessSnapshot, FieldsPastTheReturnedLengthReadAsZero) {
    SnapshotBuilder b;
    b.add({1234, 8, 55, 1, 2, 33, 4096, 8192, u"a.exe"});
    // Only up to the handle count: the pid and times are inside, memory counters and the
    // name (which follows the record) are not.
    const auto rows = b.parse(spi::kHandleCount + 4);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].pid, 1234u);
    EXPECT_EQ(rows[0].created, 55u);
    EXPECT_EQ(rows[0].handles, 33u);
    EXPECT_EQ(rows[0].working_set, 0u);
    EXPECT_EQ(rows[0].private_bytes, 0u);
    EXPECT_EQ(rows[0].name, "");
    // Cut in the middle of the pid: it reads as 0 rather than as half a value.
    const auto cut = b.parse(spi::kUniqueProcessId + 3);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].pid, 0u);
    EXPECT_TRUE(b.parse(0).empty());
}

TEST(ProcessSnapshot, NameOnlyWhenWhollyInsideTheBuffer) {
    SnapshotBuilder b;
    const std::size_t at = b.add({4, 0, 0, 0, 0, 0, 0, 0, u"Sys"});
    const auto name_ptr = [&] {
        std::uint64_t p;
        std::memcpy(&p, b.bytes.data() + at + spi::kImageNameBuffer, 8);
        return p;
    }();
    const struct {
        std::uint64_t pointer;
        std::uint16_t length;
        const char* want;
    } cases[] = {
        {name_ptr, 6, "Sys"},
        {name_ptr, 5, "Sy"},  // whole units only
        {0, 6, "System"},     // null pointer: no name, and pid 4 is the System process
        {SnapshotBuilder::base - 2, 6, "System"},               // starts before the buffer
        {SnapshotBuilder::base + b.bytes.size(), 2, "System"},  // starts at the end
        {name_ptr, 0xFFFE, "System"},                           // runs past the end
        {~0ull, 2, "System"},                                   // wraps around the address space
        {name_ptr, 0, "System"},
    };
    for (const auto& c : cases) {
        b.put(at + spi::kImageNameBuffer, c.pointer);
        b.put(at + spi::kImageNameLength, c.length);
        const auto rows = b.parse();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].name, c.want) << std::hex << c.pointer << " " << c.length;
    }
}

TEST(ProcessSnapshot, InvalidUtf16BecomesReplacementCharacter) {
    SnapshotBuilder b;
    b.add({8, 0, 0, 0, 0, 0, 0, 0, std::u16string(u"a") + char16_t(0xD800) + u"b"});
    EXPECT_EQ(b.parse()[0].name,
              "a\xEF\xBF\xBD"
              "b");
}

TEST(ProcessSnapshot, StopsWhereTheNextRecordWouldNotFit) {
    SnapshotBuilder b;
    const std::size_t first = b.add({100, 0, 0, 0, 0, 0, 0, 0, u""});
    b.add({200, 0, 0, 0, 0, 0, 0, 0, u""});
    const std::size_t second = SnapshotBuilder::record;
    // Exactly 208 bytes of the second record returned: walked.
    auto rows = b.parse(second + spi::kMinRecord);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].pid, 200u);
    // One byte fewer: the chain ends after the first record.
    EXPECT_EQ(b.parse(second + spi::kMinRecord - 1).size(), 1u);

    const std::uint32_t offsets[] = {0, 1, 8, spi::kMinRecord - 1, 0x7FFFFFFF, 0xFFFFFFFF};
    for (std::uint32_t next : offsets) {
        b.put<std::uint32_t>(first, next);
        EXPECT_EQ(b.parse().size(), 1u) << next;
    }
}

TEST(ProcessSnapshot, SurvivesMutatedAndTruncatedBuffers) {
    SnapshotBuilder b;
    b.add({4, 0, 1, 2, 3, 4, 5, 6, u""});
    b.add({500, 4, 7, 8, 9, 10, 11, 12, u"svchost.exe"});
    b.add({600, 500, 13, 14, 15, 16, 17, 18, u"a-much-longer-process-name.exe"});
    std::mt19937 rng(12345);
    for (int round = 0; round < 4000; ++round) {
        std::vector<unsigned char> m = b.bytes;
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < flips; ++i) {
            const std::size_t at = rng() % m.size();
            switch (rng() % 3) {
                case 0:
                    m[at] = static_cast<unsigned char>(rng());
                    break;
                case 1:  // a plausible pointer somewhere near or inside the buffer
                    if (at + 8 <= m.size()) {
                        const std::uint64_t p =
                            SnapshotBuilder::base + (rng() % (m.size() + 64)) - 32;
                        std::memcpy(m.data() + at, &p, 8);
                    }
                    break;
                default:
                    m[at] = 0xFF;
            }
        }
        const std::size_t length = rng() % (m.size() + 1);
        m.resize(length);  // the sanitizers see any read past the returned bytes
        m.shrink_to_fit();
        const auto rows = parse_process_snapshot(m, SnapshotBuilder::base);
        EXPECT_LE(rows.size(), 1 + length / spi::kMinRecord);
    }
}

TEST(CommandLineBuffer, TextFollowsTheCountedString) {
    const std::uint64_t base = 0x5000;
    std::vector<unsigned char> buf(16 + 8, 0);
    const std::u16string text = u"a b";
    std::memcpy(buf.data() + 16, text.data(), 6);
    const auto set = [&](std::uint16_t length, std::uint64_t pointer) {
        std::memcpy(buf.data(), &length, 2);
        std::memcpy(buf.data() + 8, &pointer, 8);
    };
    set(6, base + 16);
    EXPECT_EQ(command_line_from_buffer(buf, base), "a b");
    set(0, base + 16);
    EXPECT_EQ(command_line_from_buffer(buf, base), "");
    set(6, 0);
    EXPECT_EQ(command_line_from_buffer(buf, base), "");
    set(6, base + 20);  // would run past the end
    EXPECT_EQ(command_line_from_buffer(buf, base), "");
    set(6, 0x1000);  // elsewhere in the address space
    EXPECT_EQ(command_line_from_buffer(buf, base), "");
    EXPECT_EQ(command_line_from_buffer(std::span(buf).first(15), base), "");
}

// A fake "buffer too small" call: answers TooSmall with the next need from the list, then
// Done; records the sizes it was given.
struct FakeCall {
    std::vector<std::uint64_t> needs;
    std::vector<std::uint64_t> sizes;
    bool fail_at_end = false;
    Attempt operator()(std::vector<unsigned char>& b) {
        sizes.push_back(b.size());
        if (sizes.size() <= needs.size()) return {AttemptStatus::TooSmall, needs[sizes.size() - 1]};
        if (fail_at_end) return {};
        return {AttemptStatus::Done, b.size() / 2};
    }
};

TEST(GrowAndRetry, SnapshotRule) {
    const struct {
        std::vector<std::uint64_t> needs;
        std::vector<std::uint64_t> sizes;
    } cases[] = {
        {{}, {524'288}},
        {{100'000}, {524'288, 589'824}},
        {{524'288}, {524'288, 589'824}},
        {{524'289}, {524'288, 589'825}},
        {{2'000'000}, {524'288, 2'065'536}},
        // later rounds: the larger of need and current size, plus 64 KiB
        {{0, 600'000, 100}, {524'288, 589'824, 665'536, 731'072}},
        {{0, 0, 0, 0, 0}, {524'288, 589'824, 655'360, 720'896, 786'432, 851'968}},
    };
    for (const auto& c : cases) {
        FakeCall call{c.needs};
        const auto buf = grow_and_retry(kSnapshotGrowRule, std::ref(call));
        ASSERT_TRUE(buf.has_value());
        EXPECT_EQ(call.sizes, c.sizes);
        EXPECT_EQ(buf->size(), c.sizes.back() / 2);  // cut to the returned length
    }
    // A sixth "too small": empty, not partial.
    FakeCall six{{1, 1, 1, 1, 1, 1}};
    EXPECT_FALSE(grow_and_retry(kSnapshotGrowRule, std::ref(six)).has_value());
    EXPECT_EQ(six.sizes.size(), 6u);
    FakeCall fails{{1}, {}, true};
    EXPECT_FALSE(grow_and_retry(kSnapshotGrowRule, std::ref(fails)).has_value());
    // An absurd need fails instead of exhausting memory.
    FakeCall absurd{{1ull << 40}};
    EXPECT_FALSE(grow_and_retry(kSnapshotGrowRule, std::ref(absurd)).has_value());
    EXPECT_EQ(absurd.sizes.size(), 1u);
}

TEST(GrowAndRetry, TcpRule) {
    FakeCall call{{3000, 5000, 7000}};
    ASSERT_TRUE(grow_and_retry(kTcpGrowRule, std::ref(call)).has_value());
    EXPECT_EQ(call.sizes, (std::vector<std::uint64_t>{0, 4024, 6024, 8024}));
    FakeCall four{{3000, 5000, 7000, 9000}};  // the sizing call and three sized calls
    EXPECT_FALSE(grow_and_retry(kTcpGrowRule, std::ref(four)).has_value());
    EXPECT_EQ(four.sizes.size(), 4u);
    // The sizing call itself succeeding means an empty table.
    FakeCall none{{}};
    const auto empty = grow_and_retry(kTcpGrowRule, std::ref(none));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(parse_tcp_listeners(*empty, IpFamily::V4).empty());
}

TEST(ProcessList, DropsTheIdleProcessAndKeepsOrder) {
    std::vector<ProcessRow> rows(3);
    rows[0].pid = 0;
    rows[1].pid = 8;
    rows[1].name = "x.exe";
    rows[1].private_bytes = 10;
    rows[1].handles = 3;
    rows[2].pid = 4;
    const auto list = processes_from_rows(rows);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].pid, 8u);
    EXPECT_EQ(list[0].name, "x.exe");
    EXPECT_EQ(list[0].private_bytes, 10u);
    EXPECT_EQ(list[0].handles, 3u);
    EXPECT_EQ(list[0].cpu_percent, 0.0f);
    EXPECT_EQ(list[0].private_growth, 0);
    EXPECT_EQ(list[1].pid, 4u);
}

TEST(CpuSample, ShareOfTheWholeMachine) {
    const std::uint64_t second = 10'000'000;
    EXPECT_NEAR(cpu_share(2 * second, 16, 2 * second), 6.25, 1e-4);  // one of 16 fully busy
    EXPECT_NEAR(cpu_share(2 * second, 1, 2 * second), 100.0, 1e-4);
    EXPECT_NEAR(cpu_share(second, 0, second), 100.0, 1e-4);  // at least one processor
    EXPECT_EQ(cpu_share(second, 4, 0), 0.0f);
}

// One busy test with each caller's threshold: the suggestions' 1 % and Focus mode's 0.1 %.
TEST(CpuSample, BusyFromTheThresholdAndNeverWhenNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float cpu, threshold;
        bool busy;
    } cases[] = {
        {0.1f, 0.1f, true}, {0.09f, 0.1f, false}, {0.5f, 1.0f, false}, {0.99f, 1.0f, false},
        {1.0f, 1.0f, true}, {100.0f, 1.0f, true}, {0.0f, 0.1f, false}, {nan, 0.1f, false},
        {nan, 1.0f, false}, {inf, 1.0f, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_busy(c.cpu, c.threshold), c.busy) << c.cpu << " at " << c.threshold;
}

TEST(CpuSample, MatchesProcessesByIdAndCreationTime) {
    const auto row = [](std::uint32_t pid, std::uint64_t created, std::uint64_t cpu,
                        std::uint64_t priv, std::uint64_t ws, std::uint32_t handles) {
        ProcessRow r;
        r.pid = pid;
        r.created = created;
        r.cpu_time = cpu;
        r.private_bytes = priv;
        r.working_set = ws;
        r.handles = handles;
        return r;
    };
    const std::vector<ProcessRow> first = {
        row(10, 100, 1'000, 5'000, 50, 5),  // runs on
        row(11, 100, 1'000, 5'000, 50, 5),  // exits during the sample
        row(12, 100, 1'000, 5'000, 50, 5),  // exits and its id is reused
        row(13, 100, 9'000, 5'000, 50, 5),  // counter goes backwards
    };
    const std::vector<ProcessRow> second = {
        row(10, 100, 5'000'000 + 1'000, 4'000, 70, 9),
        row(12, 200, 3'000'000, 9'000, 90, 9),
        row(13, 100, 1'000, 5'000, 50, 5),
        row(14, 300, 8'000'000, 1, 1, 1),
    };
    auto list = processes_from_rows(first);
    apply_cpu_sample(list, first, second, 2, 10'000'000);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_NEAR(list[0].cpu_percent, 25.0, 1e-4);
    EXPECT_EQ(list[0].private_growth, -1'000);
    EXPECT_EQ(list[0].private_bytes, 4'000u);
    EXPECT_EQ(list[0].working_set, 70u);
    EXPECT_EQ(list[0].handles, 9u);
    for (int i : {1, 2}) {
        EXPECT_EQ(list[i].cpu_percent, 0.0f) << i;
        EXPECT_EQ(list[i].private_growth, 0) << i;
        EXPECT_EQ(list[i].private_bytes, 5'000u) << i;
        EXPECT_EQ(list[i].handles, 5u) << i;
    }
    EXPECT_EQ(list[3].cpu_percent, 0.0f);
}

// ---- TCP tables ---------------------------------------------------------------------------
std::vector<unsigned char> tcp_table(IpFamily family, std::uint32_t declared,
                                     const std::vector<std::array<std::uint32_t, 3>>& rows) {
    // each row: pid, port in host order, state
    const bool v4 = family == IpFamily::V4;
    const std::size_t size = v4 ? kTcp4RowSize : kTcp6RowSize;
    std::vector<unsigned char> t(4 + rows.size() * size, 0xAB);
    std::memcpy(t.data(), &declared, 4);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        unsigned char* r = t.data() + 4 + i * size;
        const std::size_t port_at = v4 ? 8 : 20, state_at = v4 ? 0 : 48, pid_at = v4 ? 20 : 52;
        const std::uint32_t port = rows[i][1];
        r[port_at] = static_cast<unsigned char>(port >> 8);  // network order
        r[port_at + 1] = static_cast<unsigned char>(port);
        std::memcpy(r + pid_at, &rows[i][0], 4);
        std::memcpy(r + state_at, &rows[i][2], 4);
    }
    return t;
}

TEST(TcpTable, ReadsListenersAndConnectionsOfBothFamilies) {
    for (IpFamily f : {IpFamily::V4, IpFamily::V6}) {
        const auto t = tcp_table(f, 3, {{1200, 80, 2}, {1300, 0xC350, 5}, {0, 443, 12}});
        const auto ports = parse_tcp_listeners(t, f);
        ASSERT_EQ(ports.size(), 3u);
        EXPECT_EQ(ports[0].pid, 1200u);
        EXPECT_EQ(ports[0].port, 80);
        EXPECT_EQ(ports[1].port, 50000);
        EXPECT_EQ(ports[2].port, 443);
        const auto conns = parse_tcp_connections(t, f);
        ASSERT_EQ(conns.size(), 3u);
        EXPECT_EQ(conns[1].pid, 1300u);
        EXPECT_EQ(conns[1].state, 5u);
        EXPECT_EQ(conns[2].state, 12u);
    }
    // Port bytes 0x00 0x50 are port 80.
    std::vector<unsigned char> t(4 + kTcp4RowSize, 0);
    t[0] = 1;
    t[4 + 8] = 0x00;
    t[4 + 9] = 0x50;
    EXPECT_EQ(parse_tcp_listeners(t, IpFamily::V4).at(0).port, 80);
}

TEST(TcpTable, RowsThatDoNotFitEndTheWalk) {
    for (IpFamily f : {IpFamily::V4, IpFamily::V6}) {
        auto t = tcp_table(f, 0xFFFFFFFF, {{1, 1, 1}, {2, 2, 2}});
        EXPECT_EQ(parse_tcp_listeners(t, f).size(), 2u);
        t.pop_back();  // the second row is one byte short
        EXPECT_EQ(parse_tcp_listeners(t, f).size(), 1u);
        EXPECT_EQ(parse_tcp_connections(t, f).size(), 1u);
        EXPECT_TRUE(parse_tcp_listeners(std::span(t).first(3), f).empty());
        EXPECT_TRUE(parse_tcp_connections({}, f).empty());
    }
    // Fewer rows declared than present: only those.
    const auto t = tcp_table(IpFamily::V4, 1, {{1, 1, 1}, {2, 2, 2}});
    EXPECT_EQ(parse_tcp_listeners(t, IpFamily::V4).size(), 1u);
}

TEST(TcpTable, SurvivesRandomBuffers) {
    std::mt19937 rng(99);
    for (int round = 0; round < 3000; ++round) {
        std::vector<unsigned char> t(rng() % 400);
        for (auto& c : t)
            c = static_cast<unsigned char>(rng());
        const IpFamily f = round % 2 ? IpFamily::V4 : IpFamily::V6;
        const std::size_t row = f == IpFamily::V4 ? kTcp4RowSize : kTcp6RowSize;
        const std::size_t max_rows = t.size() < 4 ? 0 : (t.size() - 4) / row;
        EXPECT_LE(parse_tcp_listeners(t, f).size(), max_rows);
        EXPECT_LE(parse_tcp_connections(t, f).size(), max_rows);
    }
}

}  // namespace
}  // namespace tess
