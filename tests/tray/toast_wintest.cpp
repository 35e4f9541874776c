// The toast window in this process: its size, its buttons and what they tell the owner.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <thread>

#include "core/win.hpp"
#include "support/winutil.hpp"
#include "tray/toast.hpp"
#include "tray/toast_win.hpp"
#include "tray/tray_messages.hpp"

namespace tess {
namespace {

// A hidden owner that records the toast's button message.
struct Owner {
    HWND window = nullptr;
    static inline WPARAM pressed = 0xFFFF;

    static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m == kTrayToastButton) pressed = wp;
        return ::DefWindowProcW(w, m, wp, lp);
    }
    Owner() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TessToastOwner";
        ::RegisterClassW(&wc);
        window = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                   wc.hInstance, nullptr);
        pressed = 0xFFFF;
    }
    ~Owner() { ::DestroyWindow(window); }
};

void pump(std::chrono::milliseconds for_how_long) {
    const auto end = std::chrono::steady_clock::now() + for_how_long;
    while (std::chrono::steady_clock::now() < end) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::wstring text_of(HWND w) {
    wchar_t buf[128] = {};
    ::GetWindowTextW(w, buf, 128);
    return buf;
}

TEST(ToastWindow, ButtonTellsTheOwnerAndCloses) {
    test::ScopedEnv offscreen("TESS_OFFSCREEN", "1");
    Owner owner;
    for (const ToastKind kind :
         {ToastKind::OpenPanel, ToastKind::OpenUpdate, ToastKind::OpenHistory}) {
        Owner::pressed = 0xFFFF;
        show_toast(owner.window, {"Title", "Body", "Act", kind});
        const HWND toast = toast_window();
        ASSERT_TRUE(toast);
        EXPECT_EQ(text_of(toast), L"Tessavo");
        EXPECT_EQ(text_of(::GetDlgItem(toast, 102)), L"Act");
        EXPECT_EQ(text_of(::GetDlgItem(toast, 103)), L"Title\nBody");  // read by screen readers
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(toast, 102)));
        RECT r{};
        ::GetWindowRect(toast, &r);
        EXPECT_EQ(r.left, -10000);
        test::press(::GetDlgItem(toast, 102));
        pump(std::chrono::milliseconds(100));
        EXPECT_EQ(Owner::pressed, static_cast<WPARAM>(kind));
        EXPECT_FALSE(::IsWindow(toast));
        EXPECT_EQ(toast_window(), nullptr);
    }
}

TEST(ToastWindow, OneAtATimeAndNoButtonRow) {
    test::ScopedEnv offscreen("TESS_OFFSCREEN", "1");
    Owner owner;
    show_toast(owner.window, {"First", "Body", "Act", ToastKind::OpenPanel});
    const HWND first = toast_window();
    RECT with{};
    ::GetWindowRect(first, &with);
    show_toast(owner.window, {"Second", "Body", "", ToastKind::None});
    const HWND second = toast_window();
    EXPECT_FALSE(::IsWindow(first));  // replaced
    RECT without{};
    ::GetWindowRect(second, &without);
    EXPECT_EQ((with.bottom - with.top) - (without.bottom - without.top),
              popup_px(48, ::GetDpiForSystem()));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(second, 102)));
    // Off screen it does not close by itself, and the close button closes it without a message.
    pump(std::chrono::milliseconds(1200));
    EXPECT_TRUE(::IsWindow(second));
    test::press(::GetDlgItem(second, 101));
    pump(std::chrono::milliseconds(50));
    EXPECT_FALSE(::IsWindow(second));
    EXPECT_EQ(Owner::pressed, 0xFFFFu);
}

}  // namespace
}  // namespace tess
