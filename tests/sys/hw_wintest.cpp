#include <windows.h>

#include <gtest/gtest.h>

#include "support/winutil.hpp"
#include "sys/hw.hpp"

namespace tess {
namespace {

// Wine's firmware table is an SMBIOS 2.4 table without memory devices, so this shows the
// call and the walk of a real table; the modules themselves are tested on crafted tables.
TEST(HardwareWin, FirmwareTableReads) {
    const auto ram = read_ram_info();
    ASSERT_TRUE(ram);
    for (const MemoryModule& m : ram->modules) {
        EXPECT_GT(m.size_mb, 0u);
        EXPECT_FALSE(m.type_label.empty());
    }
}

TEST(HardwareWin, IdleSecondsAndTheirOverride) {
    {
        test::ScopedEnv idle("TESS_IDLE_SECS", "+4200");
        EXPECT_EQ(idle_seconds(), 4200u);
    }
    {
        test::ScopedEnv idle("TESS_IDLE_SECS", "soon");  // not a number: the real reading
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = MOUSEEVENTF_MOVE;
        ASSERT_EQ(::SendInput(1, &input, sizeof input), 1u);
        EXPECT_LE(idle_seconds(), 5u);
    }
}

}  // namespace
}  // namespace tess
