#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sys/hw.hpp"

namespace tess {
namespace {

// Raw SMBIOS tables as GetSystemFirmwareTable returns them: the 8-byte header, then
// structures (formatted part, string set ending in two zero bytes).
struct Table {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(8, 0);

    void put(std::vector<unsigned char>& v, std::size_t at, std::uint64_t value, int n) {
        for (int i = 0; i < n; ++i)
            v[at + i] = static_cast<unsigned char>(value >> (8 * i));
    }

    // `fields` is the formatted part with type and length filled in here.
    void add(unsigned char type, std::vector<unsigned char> fields,
             const std::vector<std::string>& strings) {
        fields[0] = type;
        fields[1] = static_cast<unsigned char>(fields.size());
        bytes.insert(bytes.end(), fields.begin(), fields.end());
        for (const std::string& s : strings) {
            bytes.insert(bytes.end(), s.begin(), s.end());
            bytes.push_back(0);
        }
        if (strings.empty()) bytes.push_back(0);
        bytes.push_back(0);
    }

    // Type 17 of `length` bytes; locator is string 1, part number string 2.
    void device(std::uint16_t size, unsigned char form, unsigned char type, std::uint16_t speed,
                std::vector<std::string> strings = {"DIMM A", "M378A2G43AB3"},
                std::size_t length = 40, std::uint32_t extended = 0) {
        std::vector<unsigned char> f(length, 0);
        put(f, 12, size, 2);
        if (length > 14) f[14] = form;
        if (length > 16) f[16] = 1;
        if (length > 18) f[18] = type;
        if (length > 22) put(f, 21, speed, 2);
        if (length > 26) f[26] = 2;
        if (length > 31) put(f, 28, extended, 4);
        add(17, f, strings);
    }

    void array(unsigned char use, std::uint32_t max_kb, std::uint64_t extended_bytes = 0,
               std::size_t length = 23) {
        std::vector<unsigned char> f(length, 0);
        f[5] = use;
        if (length >= 11) put(f, 7, max_kb, 4);
        if (length >= 23) put(f, 15, extended_bytes, 8);
        add(16, f, {});
    }

    std::vector<unsigned char> done(std::uint32_t declared = 0xFFFFFFFF) {
        std::vector<unsigned char> out = bytes;
        put(out, 4, declared == 0xFFFFFFFF ? out.size() - 8 : declared, 4);
        return out;
    }
};

TEST(SmbiosRam, ReadsModulesSlotsAndCapacity) {
    Table t;
    t.add(0, std::vector<unsigned char>(24, 0), {"BIOS vendor", "1.0"});  // ignored type
    t.array(3, 64 * 1024 * 1024);                                         // 64 GB in KB
    t.array(1, 8 * 1024 * 1024);                                          // not system memory
    t.device(16384, 0x09, 0x1A, 3200, {"DIMM A", "M378A2G43AB3   "});
    t.device(0, 0x09, 0x1A, 0);
    t.device(0xFFFF, 0x09, 0x1A, 0);
    const auto info = parse_ram_info(t.done());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->max_capacity_mb, 65536u);
    EXPECT_EQ(info->empty_slots, 2u);
    ASSERT_EQ(info->modules.size(), 1u);
    const MemoryModule& m = info->modules[0];
    EXPECT_EQ(m.locator, "DIMM A");
    EXPECT_EQ(m.type_label, "DDR4");
    EXPECT_EQ(m.form_factor, "DIMM");
    EXPECT_EQ(m.part_number, "M378A2G43AB3");  // padding trimmed
    EXPECT_EQ(m.size_mb, 16384u);
    EXPECT_EQ(m.speed_mts, 3200u);
    EXPECT_FALSE(m.built_in);
}

TEST(SmbiosRam, SizeEncodingsAndLabels) {
    struct Case {
        std::uint16_t size;
        std::size_t length;
        std::uint32_t extended;
        std::uint64_t want_mb;  // 0 = counted as an empty slot
    } cases[] = {
        {0x7FFF, 40, 0x8002'0000, 0x2'0000},  // extended size, top bit cleared: 128 GB
        {0x7FFF, 31, 0, 0},                   // extended size not present
        {0x8000 | 0x0800, 40, 0, 2},          // 2048 KB
        {0x8000 | 0x03FF, 40, 0, 0},          // under 1 MB given in KB
        {8192, 21, 0, 8192},                  // shortest device record read
    };
    for (const Case& c : cases) {
        Table t;
        t.device(c.size, 0x0D, 0x22, 4800, {"Bottom-Slot 1(left)", "PN"}, c.length, c.extended);
        const auto info = parse_ram_info(t.done());
        ASSERT_TRUE(info);
        if (c.want_mb == 0) {
            EXPECT_TRUE(info->modules.empty()) << c.size;
            EXPECT_EQ(info->empty_slots, 1u) << c.size;
        } else {
            ASSERT_EQ(info->modules.size(), 1u) << c.size;
            EXPECT_EQ(info->modules[0].size_mb, c.want_mb) << c.size;
            EXPECT_EQ(info->modules[0].speed_mts, c.length > 22 ? 4800u : 0u);
            EXPECT_EQ(info->modules[0].part_number, c.length >= 27 ? "PN" : "");
        }
    }
    Table small;  // a device record of 20 bytes is not read at all
    small.device(8192, 0x09, 0x1A, 0, {"DIMM"}, 20);
    EXPECT_EQ(parse_ram_info(small.done()), RamInfo{});

    struct Label {
        unsigned char type, form;
        const char* locator;
        const char* type_label;
        const char* form_label;
        bool built_in;
    } labels[] = {
        {0x18, 0x09, "DIMM0", "DDR3", "DIMM", false},
        {0x1B, 0x0B, "DIMM0", "LPDDR", "Built-in chips", true},  // form factor decides
        {0x1C, 0x0F, "Slot 2", "LPDDR2", "FB-DIMM", false},
        {0x1D, 0x01, "Controller0-ChannelA", "LPDDR3", "Other", true},
        {0x1E, 0x0D, "ChannelB-DIMM0", "LPDDR4", "SO-DIMM (laptop stick)", false},
        {0x23, 0x0B, "", "LPDDR5", "Built-in chips", true},
        {0x99, 0x02, "BANK 0", "RAM", "Other", true},
    };
    for (const Label& l : labels) {
        Table t;
        t.device(4096, l.form, l.type, 0, {l.locator, "x"});
        const auto info = parse_ram_info(t.done());
        ASSERT_TRUE(info && info->modules.size() == 1) << l.locator;
        EXPECT_EQ(info->modules[0].type_label, l.type_label);
        EXPECT_EQ(info->modules[0].form_factor, l.form_label);
        EXPECT_EQ(info->modules[0].built_in, l.built_in) << l.locator;
    }
}

TEST(SmbiosRam, ArrayCapacityForms) {
    Table t;
    t.array(3, 0x80000000u, 2ull << 40);      // extended: 2 TB
    t.array(3, 0x80000000u, 1ull << 40, 22);  // extended field cut off: nothing
    t.array(3, 16 * 1024 * 1024, 0, 11);      // shortest with a capacity
    t.array(3, 16 * 1024 * 1024, 0, 10);      // too short
    const auto info = parse_ram_info(t.done());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->max_capacity_mb, (2ull << 20) + 16384u);
}

TEST(SmbiosRam, StringLessAndMissingStrings) {
    Table t;
    t.device(8192, 0x09, 0x1A, 2666, {});          // no strings at all: "00 00"
    t.device(8192, 0x09, 0x1A, 2666, {"DIMM B"});  // part number string 2 is absent
    const auto info = parse_ram_info(t.done());
    ASSERT_TRUE(info);
    ASSERT_EQ(info->modules.size(), 2u);
    EXPECT_EQ(info->modules[0].locator, "");
    EXPECT_TRUE(info->modules[0].built_in);  // no "dimm" or "slot" in an empty locator
    EXPECT_EQ(info->modules[1].locator, "DIMM B");
    EXPECT_EQ(info->modules[1].part_number, "");
}

TEST(SmbiosRam, MalformedTablesEndTheWalk) {
    EXPECT_FALSE(parse_ram_info({}));
    EXPECT_FALSE(parse_ram_info(std::vector<unsigned char>(7, 0)));
    EXPECT_EQ(parse_ram_info(std::vector<unsigned char>(8, 0)), RamInfo{});

    Table good;
    good.device(4096, 0x09, 0x1A, 0);
    const std::size_t first_end = good.bytes.size();
    good.device(8192, 0x09, 0x1A, 0);
    const std::vector<unsigned char> full = good.done();

    // Cut anywhere: never more than the whole, and the first module survives once complete.
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        std::vector<unsigned char> part(full.begin(), full.begin() + cut);
        const auto info = parse_ram_info(part);
        if (cut < 8) {
            EXPECT_FALSE(info);
            continue;
        }
        ASSERT_TRUE(info);
        EXPECT_LE(info->modules.size(), 2u);
        if (cut >= first_end) {
            EXPECT_GE(info->modules.size(), 1u) << cut;
        }
    }
    // The declared length wins when it is shorter than the buffer.
    auto declared = good.done(static_cast<std::uint32_t>(first_end - 8));
    EXPECT_EQ(parse_ram_info(declared)->modules.size(), 1u);

    // A formatted length below 4 or the end-of-table type stops the walk.
    for (unsigned char stop : {0, 3}) {
        Table t;
        t.device(4096, 0x09, 0x1A, 0);
        t.bytes.insert(t.bytes.end(), {1, stop, 0, 0, 0, 0});
        t.device(4096, 0x09, 0x1A, 0);
        EXPECT_EQ(parse_ram_info(t.done())->modules.size(), 1u);
    }
    Table end;
    end.device(4096, 0x09, 0x1A, 0);
    end.add(127, std::vector<unsigned char>(4, 0), {});
    end.device(4096, 0x09, 0x1A, 0);
    EXPECT_EQ(parse_ram_info(end.done())->modules.size(), 1u);

    // A formatted length past the end of the table.
    Table past;
    past.device(4096, 0x09, 0x1A, 0);
    past.bytes.insert(past.bytes.end(), {17, 200, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(parse_ram_info(past.done())->modules.size(), 1u);

    // A string set without its terminator at the end: strings read up to the end.
    Table open;
    open.device(4096, 0x09, 0x1A, 0, {"DIMM C"});
    open.bytes.resize(open.bytes.size() - 2);  // drop the last NUL and the set's final zero
    const auto info = parse_ram_info(open.done());
    ASSERT_EQ(info->modules.size(), 1u);
    EXPECT_EQ(info->modules[0].locator, "DIMM C");
}

TEST(SmbiosRam, RandomBytesNeverCrash) {
    Table t;
    t.array(3, 0x80000000u, 1ull << 40);
    t.device(16384, 0x09, 0x1A, 3200);
    t.device(0x7FFF, 0x0B, 0x22, 4800, {"A", "B"}, 40, 0xFFFFFFFF);
    const auto base = t.done();
    std::mt19937 rng(17);
    for (int i = 0; i < 3000; ++i) {
        auto b = base;
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int k = 0; k < flips; ++k)
            b[rng() % b.size()] = static_cast<unsigned char>(rng());
        b.resize(rng() % (b.size() + 1));
        (void)parse_ram_info(b);
    }
}

TEST(IdleSeconds, OverrideAndWrap) {
    EXPECT_EQ(parse_idle_override("300"), 300u);
    EXPECT_EQ(parse_idle_override("+7"), 7u);
    EXPECT_EQ(parse_idle_override("18446744073709551615"), 18446744073709551615ull);
    for (const char* bad : {"", "+", "-1", "++1", " 1", "1 ", "1e3", "18446744073709551616", "x"})
        EXPECT_FALSE(parse_idle_override(bad)) << bad;
    EXPECT_EQ(idle_seconds_between(10'000, 4'000), 6u);
    EXPECT_EQ(idle_seconds_between(1'000, 0xFFFFFFFFu - 999), 2u);  // across the wrap
}

}  // namespace
}  // namespace tess
