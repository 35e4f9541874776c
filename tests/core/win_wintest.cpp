// The Win32 kit: scoped pairs undo exactly what they did, and the shared helpers agree
// with the calls they stand for.
#include <gtest/gtest.h>

#include <atomic>

#include "core/memory.hpp"
#include "core/win.hpp"
#include "core/worker.hpp"
#include "support/winutil.hpp"

namespace tess {
namespace {

TEST(WinKit, OwnedGdiObjectsAreDeletedAndSelectionsPutBack) {
    win::unique_hdc dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ original = ::GetCurrentObject(dc.get(), OBJ_BITMAP);
    HBITMAP raw = nullptr;
    {
        win::unique_hbitmap bitmap(::CreateCompatibleBitmap(dc.get(), 4, 4));
        ASSERT_TRUE(bitmap);
        raw = bitmap.get();
        {
            win::Selected selected(dc.get(), bitmap.get());
            EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), bitmap.get());
        }
        // Put back before the bitmap goes, so the delete below can succeed.
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), original);
    }
    EXPECT_EQ(::GetObjectType(raw), 0u);  // deleted with its owner

    win::unique_hmenu menu(::CreatePopupMenu());
    ASSERT_TRUE(menu);
    const HMENU raw_menu = menu.get();
    menu.reset();
    EXPECT_FALSE(::IsMenu(raw_menu));
}

TEST(WinKit, WindowDcIsReleasedAndComInitNests) {
    {
        win::WindowDC screen(nullptr);
        ASSERT_TRUE(screen);
        EXPECT_GT(::GetDeviceCaps(screen.get(), BITSPIXEL), 0);
    }
    win::ComInit outer;
    ASSERT_TRUE(outer.ok());
    {
        win::ComInit inner;  // same model again: S_FALSE, still to be undone once
        EXPECT_EQ(inner.result(), S_FALSE);
        EXPECT_TRUE(inner.ok());
    }
    win::ComInit other(COINIT_MULTITHREADED);
    EXPECT_EQ(other.result(), RPC_E_CHANGED_MODE);
    EXPECT_FALSE(other.ok());
}

TEST(WinKit, HelpersAgreeWithTheCallsTheyStandFor) {
    FILETIME before{};
    ::GetSystemTimeAsFileTime(&before);
    const std::uint64_t now = win::filetime_now();
    const std::uint64_t low = (std::uint64_t{before.dwHighDateTime} << 32) | before.dwLowDateTime;
    EXPECT_GE(now + 160'000, low);  // the coarse clock may lag by a tick or two
    EXPECT_LT(now, low + 10'000'000);

    const auto args = win::command_line_args();
    ASSERT_FALSE(args.empty());
    EXPECT_NE(args[0].find("tess_core_tests"), std::string::npos) << args[0];

    EXPECT_EQ(win::process_image_path(::GetCurrentProcess()), win::exe_path());
    EXPECT_EQ(win::process_image_path(nullptr), "");

    const MemoryStatus m = memory_status();
    EXPECT_GT(m.total_physical, 0u);
    EXPECT_LE(m.available_physical, m.total_physical);
    EXPECT_LE(m.commit_charge, m.commit_limit);
    EXPECT_GT(committed_memory(), 0u);
}

TEST(Worker, StartedThreadsRunAndAreJoined) {
    std::atomic<int> ran{0};
    {
        std::jthread a = start_thread([&] { ++ran; });
        std::jthread b = start_thread([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 2);
    std::atomic<bool> done{false};
    start_worker([&] { done = true; });
    for (int i = 0; i < 500 && !done; ++i)
        ::Sleep(10);
    EXPECT_TRUE(done.load());
}

// A reader holding the file open (here without delete sharing, as a virus scanner might)
// for longer than a moment: the replacement waits for it instead of dropping the write.
TEST(WinKit, ReplaceWaitsForAReaderThatHoldsTheFile) {
    test::TempDir dir("replace");
    const std::string path = dir.file("journal.json"), tmp = dir.file("journal.tmp");
    ASSERT_TRUE(win::write_file(path, "old"));
    win::unique_hfile held(::CreateFileW(win::widen(path).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    std::jthread reader([&] {
        ::Sleep(1'000);
        held.reset();
    });
    EXPECT_TRUE(win::replace_file_atomic(path, tmp, "new"));
    reader.join();
    EXPECT_EQ(win::read_file(path), std::optional<std::string>("new"));
    EXPECT_FALSE(test::exists(tmp));
}

}  // namespace
}  // namespace tess
