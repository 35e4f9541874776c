// The UI driver against a small window of its own, run as a child process, so every call
// crosses a process boundary as it does with Tessavo.exe.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>

#include "support/child.hpp"
#include "support/uidriver.hpp"
#include "support/winutil.hpp"

namespace tess::uidriver {
namespace {

constexpr wchar_t kClass[] = L"TessDriverTest";
constexpr std::uint32_t kBackground = 0x123456;  // 0xRRGGBB
constexpr std::uint32_t kCorner = 0xFF8000;
constexpr int kWidth = 420, kHeight = 300;
constexpr int kMinWidth = 360, kMinHeight = 250;  // frame included
constexpr char kQuestion[] = "Delete 3 files?\nThey can\u2019t be restored.";
// Not "Tessavo", so that no window test takes this box for one of its own.
constexpr char kBoxTitle[] = "Driver test box";

enum : int {
    kAlpha = 10,   // push button
    kBeta = 11,    // owner-drawn button
    kAsk = 12,     // opens a message box
    kOff = 13,     // disabled
    kHidden = 14,  // shown only by kLater
    kLater = 15,   // shows kHidden after a while, then turns itself off
    kLastEvent = 20,
    kTickCount = 21,
    kList = 103,
};

struct ChildWindow {
    HWND last_event = nullptr;
    HWND tick_count = nullptr;
    int ticks = 0;
};
ChildWindow g_child;

void set_text(HWND h, const std::string& text) {
    ::SetWindowTextW(h, win::widen(text).c_str());
}

HWND add_control(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x,
                 int y, int w, int h) {
    return ::CreateWindowExW(0, cls, text, WS_CHILD | style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

void fill(HDC dc, const RECT& r, std::uint32_t rrggbb) {
    HBRUSH b = ::CreateSolidBrush(RGB(rrggbb >> 16, (rrggbb >> 8) & 0xFF, rrggbb & 0xFF));
    ::FillRect(dc, &r, b);
    ::DeleteObject(b);
}

void create_controls(HWND w) {
    const DWORD tab = WS_VISIBLE | WS_TABSTOP;
    add_control(w, L"BUTTON", L"Alpha", tab | BS_PUSHBUTTON, kAlpha, 10, 10, 80, 24);
    add_control(w, L"BUTTON", L"Beta", tab | BS_OWNERDRAW, kBeta, 100, 10, 80, 24);
    add_control(w, L"BUTTON", L"Ask", tab | BS_PUSHBUTTON, kAsk, 190, 10, 80, 24);
    add_control(w, L"BUTTON", L"Off", tab | WS_DISABLED | BS_PUSHBUTTON, kOff, 280, 10, 60, 24);
    add_control(w, L"BUTTON", L"Hidden", WS_TABSTOP | BS_PUSHBUTTON, kHidden, 350, 10, 60, 24);
    add_control(w, L"BUTTON", L"Later", WS_VISIBLE | BS_PUSHBUTTON, kLater, 10, 200, 80, 24);
    g_child.last_event =
        add_control(w, L"STATIC", L"ready", WS_VISIBLE, kLastEvent, 10, 40, 150, 20);
    g_child.tick_count =
        add_control(w, L"STATIC", L"ticks 0", WS_VISIBLE, kTickCount, 170, 40, 150, 20);
    HWND list = add_control(w, WC_LISTVIEWW, L"", tab | LVS_REPORT | LVS_SINGLESEL, kList, 10, 70,
                            300, 120);
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
    const std::pair<const wchar_t*, int> cols[] = {{L"Name", 120}, {L"Size", 80}};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH;
        c.pszText = const_cast<LPWSTR>(cols[i].first);
        c.cx = cols[i].second;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
    }
    const std::pair<std::string, std::string> rows[] = {
        {"Cache", "1 MB"}, {"Logs", "20 KB"}, {"Temp \u2013 old", "3 GB"}};
    for (int i = 0; i < 3; ++i) {
        std::wstring name = win::widen(rows[i].first), size = win::widen(rows[i].second);
        LVITEMW it{};
        it.mask = LVIF_TEXT;
        it.iItem = i;
        it.pszText = name.data();
        ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it));
        it.iSubItem = 1;
        it.pszText = size.data();
        ::SendMessageW(list, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&it));
    }
    ListView_SetCheckState(list, 0, TRUE);
}

LRESULT CALLBACK child_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            create_controls(w);
            g_child.ticks = 0;  // the first tick above is not the user's
            set_text(g_child.tick_count, "ticks 0");
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(w, &ps);
            RECT r;
            ::GetClientRect(w, &r);
            fill(dc, r, kBackground);
            fill(dc, RECT{0, 0, 8, 8}, kCorner);  // tells a picture's rows from upside down
            ::EndPaint(w, &ps);
            return 0;
        }
        case WM_DRAWITEM: {
            auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
            fill(di->hDC, di->rcItem, 0x00A000);
            return TRUE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wp);
            if (id == kLater) {
                ::SetTimer(w, 1, 300, nullptr);
            } else if (id == kAsk) {
                const int answer =
                    ::MessageBoxW(w, win::widen(kQuestion).c_str(), win::widen(kBoxTitle).c_str(),
                                  MB_YESNO | MB_ICONQUESTION);
                set_text(g_child.last_event, "answer " + std::to_string(answer));
            } else if (HIWORD(wp) == BN_CLICKED) {
                set_text(g_child.last_event, "clicked " + std::to_string(id));
            }
            return 0;
        }
        case WM_NOTIFY: {
            auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
            if (nm->hdr.idFrom == kList && nm->hdr.code == LVN_ITEMCHANGED &&
                (nm->uChanged & LVIF_STATE) &&
                ((nm->uOldState ^ nm->uNewState) & LVIS_STATEIMAGEMASK)) {
                set_text(g_child.tick_count, "ticks " + std::to_string(++g_child.ticks));
            }
            return 0;
        }
        case WM_GETMINMAXINFO: {
            auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
            mm->ptMinTrackSize = {kMinWidth, kMinHeight};
            return 0;
        }
        case WM_TIMER: {
            ::KillTimer(w, 1);
            HWND hidden = ::GetDlgItem(w, kHidden);
            ::SetWindowTextW(hidden, L"Shown");
            ::ShowWindow(hidden, SW_SHOW);
            ::EnableWindow(::GetDlgItem(w, kLater), FALSE);
            return 0;
        }
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
    }
    return ::DefWindowProcW(w, msg, wp, lp);
}

// A window with buttons, a check-box list and a message box, until WM_CLOSE.
// args: "offscreen" places it at (-10000, -10000) as TESS_OFFSCREEN does.
TESS_CHILD(driver_window) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    WNDCLASSW wc{};
    wc.lpfnWndProc = child_proc;
    wc.lpszClassName = kClass;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    ::RegisterClassW(&wc);
    const bool offscreen = !args.empty() && args[0] == "offscreen";
    RECT r{0, 0, kWidth, kHeight};
    ::AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND w = ::CreateWindowExW(0, kClass, L"Driver test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                               offscreen ? -10000 : 40, offscreen ? -10000 : 40, r.right - r.left,
                               r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
    // Not activated, as Tessavo's windows under TESS_OFFSCREEN.
    ::ShowWindow(w, SW_SHOWNOACTIVATE);
    ::UpdateWindow(w);
    MSG m;
    while (::GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (::IsDialogMessageW(w, &m)) continue;
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
    return 0;
}

class UiDriver : public ::testing::Test {
protected:
    void start(const std::vector<std::string>& args = {}) {
        child_ = test::RunningProgram(test::start_child("driver_window", args));
        ASSERT_TRUE(child_);
        auto w = wait_window({"TessDriverTest", std::nullopt, child_.pid(), true});
        ASSERT_TRUE(w) << w.error();
        top_ = *w;
        ASSERT_TRUE(settle(top_));
    }
    void SetUp() override { start(); }
    void TearDown() override { EXPECT_EQ(child_.end(), 0) << "the window did not close"; }
    std::string text_of(int id) {
        auto c = find_control(top_, id);
        return c ? c->caption : "(" + c.error() + ")";
    }
    Window list() {
        auto l = find_list(top_);
        EXPECT_TRUE(l) << l.error();
        return l ? *l : 0;
    }

    test::RunningProgram child_;
    Window top_ = 0;
};

using Clock = std::chrono::steady_clock;

TEST_F(UiDriver, FindsTheWindowOfOneProcessAndTimesOutOnAnother) {
    EXPECT_EQ(window_pid(top_), child_.pid());
    EXPECT_EQ(window_class(top_), "TessDriverTest");
    EXPECT_EQ(window_text(top_), "Driver test");
    // With the pid: only this child's window, whatever else has this class.
    EXPECT_EQ(find_window({"TessDriverTest", "Driver test", child_.pid(), true}), top_);
    EXPECT_EQ(find_window({"TessDriverTest", "Other title", child_.pid(), false}), 0u);

    const auto t0 = Clock::now();
    auto other =
        wait_window({"TessDriverTest", std::nullopt, 0xFFFFFFF0u, false}, 300);  // no such process
    const auto waited = Clock::now() - t0;
    ASSERT_FALSE(other);
    EXPECT_NE(other.error().find("in process"), std::string::npos) << other.error();
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_LT(waited, std::chrono::seconds(3));
}

TEST_F(UiDriver, ResizesWithinTheWindowsOwnLimits) {
    const Rect before = window_rect(top_);
    ASSERT_TRUE(resize(top_, before.width() + 40, before.height() + 30));
    EXPECT_EQ(client_rect(top_), (Rect{0, 0, kWidth + 40, kHeight + 30}));
    EXPECT_EQ(window_rect(top_).left, before.left);  // the position stays

    // Smaller than the window allows: held at its minimum, as a dragged border is.
    ASSERT_TRUE(resize(top_, 100, 80));
    EXPECT_EQ(window_rect(top_).width(), kMinWidth);
    EXPECT_EQ(window_rect(top_).height(), kMinHeight);
    EXPECT_FALSE(resize(0, 100, 100));
}

TEST_F(UiDriver, ListsEveryControlWithItsState) {
    struct Want {
        int id;
        const char* cls;
        bool visible, enabled;
        const char* caption;
    };
    const Want wants[] = {
        {kAlpha, "Button", true, true, "Alpha"},     {kBeta, "Button", true, true, "Beta"},
        {kOff, "Button", true, false, "Off"},        {kHidden, "Button", false, true, "Hidden"},
        {kLastEvent, "Static", true, true, "ready"}, {kList, "SysListView32", true, true, ""},
    };
    const auto controls = list_controls(top_);
    for (const auto& w : wants) {
        auto c = find_control(top_, w.id);
        ASSERT_TRUE(c) << c.error();
        EXPECT_EQ(c->class_name, w.cls) << w.id;
        EXPECT_EQ(c->visible, w.visible) << w.id;
        EXPECT_EQ(c->enabled, w.enabled) << w.id;
        EXPECT_EQ(c->caption, w.caption) << w.id;
    }
    // Rectangles are in the top window's client coordinates.
    EXPECT_EQ(find_control(top_, kBeta)->rect, (Rect{100, 10, 180, 34}));
    EXPECT_EQ(client_rect(top_), (Rect{0, 0, kWidth, kHeight}));
    auto missing = find_control(top_, 999);
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("999"), std::string::npos);
}

TEST_F(UiDriver, ClicksReachTheHandlerAndRespectDisabledControls) {
    struct Case {
        int id;
        ClickHow how;
        bool works;
        const char* event;
    };
    const Case cases[] = {
        {kAlpha, ClickHow::button, true, "clicked 10"},
        {kBeta, ClickHow::button, true, "clicked 11"},  // owner-drawn
        {kAlpha, ClickHow::command, true, "clicked 10"},
        {kOff, ClickHow::button, false, "ready"},  // a user cannot click it either
        {kHidden, ClickHow::button, false, "ready"},
        {kOff, ClickHow::command, true, "clicked 13"},  // the command goes to the parent anyway
        {999, ClickHow::button, false, "ready"},
    };
    for (const auto& c : cases) {
        set_text(reinterpret_cast<HWND>(find_control(top_, kLastEvent)->window), "ready");
        auto r = click(top_, c.id, c.how);
        EXPECT_EQ(static_cast<bool>(r), c.works) << c.id << (r ? "" : ": " + r.error());
        // click() returns only once the handler ran, so no waiting here.
        EXPECT_EQ(text_of(kLastEvent), c.event) << c.id;
    }
}

TEST_F(UiDriver, WaitsUntilAControlChanges) {
    auto early = wait_control(top_, kHidden, {}, 100);
    ASSERT_FALSE(early);
    EXPECT_NE(early.error().find("14\tButton\thidden"), std::string::npos) << early.error();

    ASSERT_TRUE(click(top_, kLater));  // the change comes later, from a timer
    auto shown = wait_control(top_, kHidden);
    ASSERT_TRUE(shown) << shown.error();
    EXPECT_EQ(shown->caption, "Shown");
    auto off = wait_control(top_, kLater, [](const Control& c) { return !c.enabled; });
    EXPECT_TRUE(off) << off.error();
    EXPECT_FALSE(wait_control(top_, 999, {}, 50));
}

TEST_F(UiDriver, KeysMoveTheFocusAndPressButtons) {
    ASSERT_TRUE(set_focus(top_, kAlpha));
    EXPECT_EQ(focused(top_), find_control(top_, kAlpha)->window);

    // Tab follows the creation order and skips the disabled and the hidden button.
    const int order[] = {kBeta, kAsk, kList, kAlpha};
    for (int id : order) {
        auto r = send_key(top_, *parse_key("tab"));
        ASSERT_TRUE(r) << r.error();
        EXPECT_EQ(focused(top_), find_control(top_, id)->window) << "after Tab, want " << id;
    }
    auto r = send_key(top_, *parse_key("space"));
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(text_of(kLastEvent), "clicked 10");

    // Back with Shift+Tab, posted and through SendInput.
    r = send_key(top_, *parse_key("shift+tab"));
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(focused(top_), find_control(top_, kList)->window);
    r = send_key(top_, *parse_key("shift+tab"), KeyHow::input);
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(focused(top_), find_control(top_, kAsk)->window);
    // The modifier was only held for that key: Tab goes forward again.
    ASSERT_TRUE(send_key(top_, *parse_key("tab")));
    EXPECT_EQ(focused(top_), find_control(top_, kList)->window);
}

TEST_F(UiDriver, ReadsAndTicksListRowsAcrossTheProcessBoundary) {
    const Window lv = list();
    EXPECT_EQ(*lv_count(lv), 3);
    auto cols = lv_columns(lv);
    ASSERT_TRUE(cols) << cols.error();
    ASSERT_EQ(cols->size(), 2u);
    EXPECT_EQ((*cols)[0].text, "Name");
    EXPECT_EQ((*cols)[0].width, 120);
    EXPECT_EQ((*cols)[1].text, "Size");
    auto rows = lv_rows(lv);
    ASSERT_TRUE(rows) << rows.error();
    const std::vector<std::vector<std::string>> want = {
        {"Cache", "1 MB"}, {"Logs", "20 KB"}, {"Temp \u2013 old", "3 GB"}};
    EXPECT_EQ(*rows, want);
    EXPECT_EQ(*lv_text(lv, 2, 1), "3 GB");

    EXPECT_TRUE(*lv_checked(lv, 0));
    EXPECT_FALSE(*lv_checked(lv, 1));
    ASSERT_TRUE(lv_set_checked(lv, 1, true));
    EXPECT_TRUE(*lv_checked(lv, 1));
    EXPECT_EQ(text_of(kTickCount), "ticks 1");  // the window was told, as for a mouse tick
    ASSERT_TRUE(lv_set_checked(lv, 0, false));
    EXPECT_FALSE(*lv_checked(lv, 0));

    // Every row in one message: each row whose tick changed is notified.
    ASSERT_TRUE(lv_set_checked(lv, -1, true));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(*lv_checked(lv, i)) << i;
    EXPECT_EQ(text_of(kTickCount), "ticks 4");

    EXPECT_EQ(*lv_selected(lv), -1);
    ASSERT_TRUE(lv_select(lv, 2));
    EXPECT_EQ(*lv_selected(lv), 2);

    EXPECT_FALSE(lv_set_checked(lv, 7, true));  // no such row
    EXPECT_FALSE(lv_text(lv, 3, 0));
    EXPECT_FALSE(lv_text(lv, -1, 0));
    EXPECT_FALSE(lv_count(top_));  // not a list view
}

TEST_F(UiDriver, ReadsAndAnswersAMessageBox) {
    // The click opens a modal box; it must come back without an answer.
    ASSERT_TRUE(click(top_, kAsk));
    auto box = wait_message_box(child_.pid(), 10'000, kBoxTitle);
    ASSERT_TRUE(box) << box.error();
    EXPECT_EQ(message_box_text(*box), kQuestion);
    EXPECT_FALSE(answer_message_box(*box, Answer::ok));  // a Yes/No box has no OK
    auto r = answer_message_box(*box, Answer::no);
    ASSERT_TRUE(r) << r.error();
    ASSERT_TRUE(settle(top_));
    EXPECT_EQ(text_of(kLastEvent), "answer 7");

    auto none = wait_message_box(child_.pid(), 200, kBoxTitle);
    EXPECT_FALSE(none);
}

TEST_F(UiDriver, CapturesWhatTheWindowShows) {
    auto img = capture(top_);
    ASSERT_TRUE(img) << img.error();
    ASSERT_EQ(img->width, kWidth);
    ASSERT_EQ(img->height, kHeight);
    EXPECT_EQ(rgb(img->at(2, 2)), kCorner);
    EXPECT_EQ(rgb(img->at(kWidth - 5, kHeight - 5)), kBackground);
    EXPECT_EQ(rgb(img->at(140, 20)), 0x00A000u);  // the owner-drawn button, a child window

    test::TempDir dir("shot");
    const std::string png = dir.file("w.png");
    ASSERT_TRUE(save_png(*img, png));
    auto back = load_png(png);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back->width, kWidth);
    EXPECT_EQ(back->height, kHeight);
    EXPECT_EQ(back->pixels, img->pixels);

    EXPECT_FALSE(load_png(dir.file("missing.png")));
    EXPECT_FALSE(save_png(Image{}, dir.file("empty.png")));
}

TEST_F(UiDriver, CapturesAWindowPlacedOffScreen) {
    ASSERT_EQ(child_.end(), 0);
    start({"offscreen"});
    EXPECT_EQ(window_rect(top_).left < -9000, true);
    auto img = capture(top_);
    ASSERT_TRUE(img) << img.error();
    EXPECT_EQ(rgb(img->at(2, 2)), kCorner);
    EXPECT_EQ(rgb(img->at(kWidth - 5, kHeight - 5)), kBackground);
}

TEST_F(UiDriver, CommandLineProgramForScripts) {
    const std::string exe = test::quote_arg(test::built_exe("tess-uidriver.exe")) + " ";
    const std::string pid = " --pid " + std::to_string(child_.pid());
    test::TempDir dir("cli");
    const std::string png = dir.file("c.png");
    struct Case {
        std::string args;
        int code;
        std::string out;  // exact standard output; for "list", one line of it
    };
    const Case cases[] = {
        {"list TessDriverTest" + pid, 0, "11\tButton\tvisible\tenabled\t100,10,180,34\tBeta\n"},
        {"lv-columns TessDriverTest" + pid, 0, "120\tName\n80\tSize\n"},
        {"lv-text TessDriverTest" + pid, 0, "Cache\t1 MB\nLogs\t20 KB\nTemp \u2013 old\t3 GB\n"},
        {"lv-check TessDriverTest 1 on" + pid, 0, ""},
        {"lv-check TessDriverTest 1" + pid, 0, "on\n"},
        {"click TessDriverTest 10" + pid, 0, ""},
        {"click TessDriverTest 13" + pid, 1, ""},  // disabled
        {"capture TessDriverTest " + test::quote_arg(png) + pid, 0, ""},
        {"wait-window NoSuchWindowClass --timeout 100", 1, ""},
        {"wait-control TessDriverTest 13 --disabled --caption Off" + pid, 0,
         "13\tButton\tvisible\tdisabled\t280,10,340,34\tOff\n"},
        {"wait-control TessDriverTest 14 --timeout 100" + pid, 1, ""},  // stays hidden
        {"click TessDriverTest ten" + pid, 2, ""},
        {"resize TessDriverTest 500" + pid, 2, ""},  // no height
        {"list TessDriverTest --frobnicate" + pid, 2, ""},
    };
    for (const auto& c : cases) {
        const auto r = test::run_capture(exe + c.args);
        EXPECT_EQ(r.code, c.code) << c.args;
        if (c.args.rfind("list ", 0) == 0) {
            EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
            EXPECT_EQ(r.out.find('\r'), std::string::npos);  // bare line feeds for the shell
        } else {
            EXPECT_EQ(r.out, c.out) << c.args;
        }
    }
    auto img = load_png(png);
    ASSERT_TRUE(img) << img.error();
    EXPECT_EQ(img->width, kWidth);
    EXPECT_EQ(rgb(img->at(2, 2)), kCorner);
}

// Reports through its exit code what environment it was given.
TESS_CHILD(env_probe) {
    const bool probe = win::get_env("TESS_PROBE") == std::optional<std::string>("yes");
    const bool gone = !win::get_env("TESS_GONE");
    return (probe ? 1 : 0) + (gone ? 2 : 0);
}

TEST(StartProgram, AppliesTheEnvironmentChangesAndEndsAProgramThatIgnoresClose) {
    test::ScopedEnv gone("TESS_GONE", "set in the test");
    const std::string self = win::exe_path();
    struct Case {
        std::vector<test::EnvVar> env;
        int code;
    };
    const Case cases[] = {
        {{}, 0},
        {{{"TESS_PROBE", "yes"}}, 1},
        {{{"TESS_GONE", std::nullopt}}, 2},
        {{{"tess_probe", "yes"}, {"TESS_GONE", std::nullopt}}, 3},  // names ignore case
    };
    for (const auto& c : cases) {
        auto p = test::start_program(self, {"--child", "env_probe"}, c.env);
        ASSERT_TRUE(p);
        EXPECT_EQ(p.wait(30'000), c.code);
    }

    auto sleeper = test::start_program(self, {"--child", "windowless_sleeper"});
    ASSERT_TRUE(sleeper.running());
    const auto t0 = Clock::now();
    EXPECT_EQ(sleeper.end(200), -1);  // no window to close: terminated
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(10));
    EXPECT_FALSE(sleeper.running());
}

}  // namespace
}  // namespace tess::uidriver
