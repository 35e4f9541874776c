// What a screen reader gets from the main window. MSAA objects are read in this process
// (Wine serves them only to the process that owns the window); the live-region events are
// recorded out of context, as a screen reader listens, from the real Tessavo.exe too.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "autopilot/autopilot.hpp"
#include "core/settings.hpp"
#include "ui/home_text.hpp"
#include "ui/main_window_winutil.hpp"
#include "ui/ui_messages.hpp"
#include "ui/ui_win.hpp"

namespace tess::ui {
namespace {

using namespace wintest;

// The accessible object of a window's client, as a screen reader in this process gets it.
struct Acc {
    win::ComInit com;
    IAccessible* acc = nullptr;
    explicit Acc(HWND h) {
        if (FAILED(::AccessibleObjectFromWindow(h, static_cast<DWORD>(OBJID_CLIENT),
                                                __uuidof(IAccessible),
                                                reinterpret_cast<void**>(&acc))))
            acc = nullptr;
    }
    ~Acc() {
        if (acc) acc->Release();
    }
    Acc(const Acc&) = delete;
    Acc& operator=(const Acc&) = delete;
    static VARIANT self() {
        VARIANT v;
        ::VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = CHILDID_SELF;
        return v;
    }
    std::optional<std::string> name() const {
        BSTR b = nullptr;
        if (!acc || FAILED(acc->get_accName(self(), &b))) return std::nullopt;
        std::string text = b ? win::narrow(b, ::SysStringLen(b)) : std::string();
        ::SysFreeString(b);
        return text;
    }
    long variant_long(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*)) const {
        VARIANT v;
        ::VariantInit(&v);
        if (!acc || FAILED((acc->*get)(self(), &v)) || v.vt != VT_I4) return -1;
        return v.lVal;
    }
    long role() const { return variant_long(&IAccessible::get_accRole); }
    long state() const { return variant_long(&IAccessible::get_accState); }
};

std::string acc_name(HWND window, int id) {
    const HWND c = ::GetDlgItem(window, id);
    if (!c) return "<no control " + std::to_string(id) + ">";
    return Acc(c).name().value_or("<no accessible name>");
}

// Live-region events of this process, recorded from a thread of its own, with the text the
// control held when each came.
struct LiveLog {
    ud::WinEventLog log{::GetCurrentProcessId(), EVENT_OBJECT_LIVEREGIONCHANGED,
                        EVENT_OBJECT_LIVEREGIONCHANGED};
    // Under Wine a hook set in this process after the first accessible object was read here
    // hears nothing more: each test starts its log before reading any.
    LiveLog() { pump(); }
    std::vector<std::string> texts_of(int id) {
        std::vector<std::string> texts;
        for (const ud::WinEvent& e : log.events())
            if (e.control_id == id && e.object == OBJID_CLIENT) texts.push_back(e.text);
        return texts;
    }
};

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

struct Here {
    test::TempDir dir{"a11y"};
    test::ScopedEnv data{"TESS_DATA_DIR", dir.file("Data")};
    test::ScopedEnv roots{"TESS_DEV_ROOTS", dir.file("empty")};
    test::ScopedEnv real{"TESS_DRY_RUN", std::nullopt};
    HWND hwnd = nullptr;
    UiState* s = nullptr;
    Here() {
        win::create_dirs(dir.file("empty"));
        win::create_dirs(dir.file("Data"));
        hwnd = create_main_window({}, true);
        s = hwnd ? state_of(hwnd) : nullptr;
        if (s) s->start_tray = [] { return std::optional<std::string>(); };
        pump();
    }
    ~Here() {
        if (hwnd) ::DestroyWindow(hwnd);
        pump();
        SharedState& shared = shared_state();
        std::lock_guard lock(shared.mutex);
        shared.scan.reset();
        shared.dev.reset();
        shared.optimise.reset();
        shared.score_before.reset();
        shared.pending_statuses.clear();
    }
    void command(int id) {
        ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        pump();
    }
};

// A scan whose app has ended and whose service is deleted, with a health score of 64.
void store_scan() {
    ScanResult scan = scan_of_gone_items();
    scan.report.health_score = 64;
    std::lock_guard lock(shared_state().mutex);
    shared_state().scan = std::move(scan);
}

// Ticks the page's only row, applies it and waits for the result after the rescan.
void apply_only_row(Here& h, Page page) {
    store_scan();
    set_page(*h.s, page);
    pump();
    ASSERT_EQ(h.s->list_model.rows.size(), 1u);
    if (!h.s->all_ticked) h.command(id::kSelectAll);
    std::thread answerer([] {
        const auto box = ud::wait_message_box(::GetCurrentProcessId(), 10'000);
        if (box.ok()) ud::answer_message_box(box.value(), ud::Answer::yes);
    });
    ::SendMessageW(h.hwnd, WM_COMMAND, MAKEWPARAM(id::kPageAction, BN_CLICKED), 0);
    answerer.join();
    pump_until(
        [&] {
            return !h.s->busy && !h.s->status.starts_with("Applying") &&
                   !h.s->status.starts_with("Rescanning") &&
                   ::IsWindowEnabled(::GetDlgItem(h.hwnd, id::kRescan));
        },
        60'000);
}

// A page apply's result and a failing apply's error are the status control's accessible
// name, announced as a live region when they came.
TEST(AccessibilityHere, StatusLineIsReadAndAnnounced) {
    // As with a screen reader running: the controls are also marked as live regions.
    BOOL reader = FALSE;
    ::SystemParametersInfoW(SPI_GETSCREENREADER, 0, &reader, 0);
    ::SystemParametersInfoW(SPI_SETSCREENREADER, TRUE, nullptr, 0);
    struct Restore {
        BOOL was;
        ~Restore() { ::SystemParametersInfoW(SPI_SETSCREENREADER, was, nullptr, 0); }
    } restore{reader};
    Here h;
    ASSERT_TRUE(h.s);
    LiveLog live;
    ASSERT_TRUE(live.log.ok());

    // Each result stays until the next apply: the log has its text by then.
    apply_only_row(h, Page::Apps);
    const std::string done = "\xE2\x9C\x94 Done: 1 change(s) applied.";
    ASSERT_EQ(h.s->status, done);
    EXPECT_EQ(acc_name(h.hwnd, id::kStatusText), done);
    EXPECT_TRUE(pump_until([&] { return contains(live.texts_of(id::kStatusText), done); }, 5'000));

    apply_only_row(h, Page::Services);
    ASSERT_EQ(h.s->status_kind, StatusKind::Problem);
    EXPECT_TRUE(h.s->status.starts_with("0 change(s) applied, 1 didn't work")) << h.s->status;
    EXPECT_EQ(acc_name(h.hwnd, id::kStatusText), h.s->status);
    EXPECT_TRUE(
        pump_until([&] { return contains(live.texts_of(id::kStatusText), h.s->status); }, 5'000));
}

// The proposal's headline and score, the progress step and the Done screen's lines.
TEST(AccessibilityHere, HomeTextsAreRead) {
    Here h;
    ASSERT_TRUE(h.s);
    UiState& s = *h.s;
    LiveLog live;
    // Before a scan nothing of them shows, so nothing is read.
    EXPECT_EQ(acc_name(h.hwnd, id::kHeadlineText), "");

    store_scan();
    s.phase = HomePhase::Proposal;
    layout_controls(s);
    pump();
    {
        std::lock_guard lock(shared_state().mutex);
        EXPECT_EQ(acc_name(h.hwnd, id::kHeadlineText),
                  proposal_headline(shared_state().scan->report).text);
    }
    EXPECT_EQ(acc_name(h.hwnd, id::kScoreText), "Health 64/100");

    s.phase = HomePhase::Optimising;
    ::SendMessageW(h.hwnd, kMainProgress, 1, 0);
    const std::string step = "Optimising\xE2\x80\xA6 2/4: Cleaning junk files";
    EXPECT_EQ(acc_name(h.hwnd, id::kStepText), step);
    EXPECT_EQ(acc_name(h.hwnd, id::kHeadlineText), "");  // the proposal no longer shows
    EXPECT_TRUE(pump_until([&] { return contains(live.texts_of(id::kStepText), step); }, 5'000));
    OptimiseResult result;
    result.applied = 2;
    result.closed = 1;
    result.failures = {"Closing tess-a11y-app didn't work: access denied"};
    {
        std::lock_guard lock(shared_state().mutex);
        shared_state().optimise = result;
        shared_state().score_before = 50;
    }
    s.phase = HomePhase::Done;
    s.busy = false;
    layout_controls(s);
    const DoneView view = done_view(result);
    ASSERT_FALSE(view.lines.empty());
    std::string expected = "Done, with problems\nHealth score: 50 \xE2\x86\x92 64";
    for (const std::string& line : view.lines)
        expected += "\n" + line;
    EXPECT_EQ(acc_name(h.hwnd, id::kDoneText), expected);
    EXPECT_NE(expected.find("access denied"), std::string::npos);
    EXPECT_TRUE(
        pump_until([&] { return contains(live.texts_of(id::kDoneText), expected); }, 5'000));
}

// Every toggle and choice button says whether it is on.
TEST(AccessibilityHere, TogglesExposeTheirState) {
    Here h;
    ASSERT_TRUE(h.s);
    set_page(*h.s, Page::Autopilot);
    pump();
    const auto on = [&](int id) {
        const long state = Acc(::GetDlgItem(h.hwnd, id)).state();
        const bool checked = state >= 0 && (state & STATE_SYSTEM_CHECKED) != 0;
        // BM_GETCHECK answers the same, for clients that ask the button itself.
        EXPECT_EQ(checked, ::SendDlgItemMessageW(h.hwnd, id, BM_GETCHECK, 0, 0) == BST_CHECKED)
            << id;
        return checked;
    };
    const auto role = [&](int id) { return Acc(::GetDlgItem(h.hwnd, id)).role(); };
    const struct {
        int id;
        long role;
    } toggles[] = {{id::kAutopilotSwitch, ROLE_SYSTEM_CHECKBUTTON},
                   {id::kEveryDay, ROLE_SYSTEM_RADIOBUTTON},
                   {id::kEveryWeek, ROLE_SYSTEM_RADIOBUTTON},
                   {id::kDevServers, ROLE_SYSTEM_CHECKBUTTON},
                   {id::kTrayCard, ROLE_SYSTEM_CHECKBUTTON}};
    for (const auto& t : toggles)
        EXPECT_EQ(role(t.id), t.role) << t.id;
    // A plain button is no toggle.
    EXPECT_NE(role(id::kRunNow), ROLE_SYSTEM_CHECKBUTTON);
    EXPECT_EQ(::SendDlgItemMessageW(h.hwnd, id::kRunNow, BM_GETCHECK, 0, 0), BST_UNCHECKED);

    const Settings& st = h.s->settings;
    EXPECT_EQ(on(id::kAutopilotSwitch), st.autopilot.enabled);
    EXPECT_EQ(on(id::kDevServers), st.autopilot.close_dev_servers);
    EXPECT_FALSE(on(id::kTrayCard));  // no tray watch runs here
    EXPECT_NE(on(id::kEveryDay), on(id::kEveryWeek));

    // Each click flips what is read.
    const bool day = on(id::kEveryDay);
    h.command(day ? id::kEveryWeek : id::kEveryDay);
    EXPECT_EQ(on(id::kEveryDay), !day);
    EXPECT_EQ(on(id::kEveryWeek), day);
    const bool dev = on(id::kDevServers);
    h.command(id::kDevServers);
    EXPECT_EQ(on(id::kDevServers), !dev);
}

// Tab goes through the visible controls of every page and Home phase in the order they are
// drawn: the sidebar top to bottom, then the content row by row, left to right in a row.
TEST(AccessibilityHere, TabOrderFollowsWhatIsDrawn) {
    Here h;
    ASSERT_TRUE(h.s);
    UiState& s = *h.s;
    store_scan();
    {
        std::lock_guard lock(shared_state().mutex);
        shared_state().optimise = OptimiseResult{};
    }
    const auto check = [&](const std::string& where) {
        const int content_left = content_rect(frame_of(s)).left;
        std::vector<std::pair<int, RECT>> stops;  // content controls in Tab order
        for (HWND c = ::GetWindow(h.hwnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
            const LONG style = ::GetWindowLongW(c, GWL_STYLE);
            if (!(style & WS_VISIBLE) || !(style & WS_TABSTOP)) continue;
            RECT r{};
            ::GetWindowRect(c, &r);
            ::MapWindowPoints(nullptr, h.hwnd, reinterpret_cast<POINT*>(&r), 2);
            if (r.left >= content_left) stops.emplace_back(::GetDlgCtrlID(c), r);
        }
        for (std::size_t i = 1; i < stops.size(); ++i) {
            const RECT& a = stops[i - 1].second;
            const RECT& b = stops[i].second;
            const bool same_row = b.top < a.bottom && a.top < b.bottom;
            EXPECT_TRUE(same_row ? b.left >= a.right : b.top >= a.bottom)
                << where << ": " << stops[i - 1].first << " comes before " << stops[i].first;
        }
        return stops.size();
    };
    s.phase = HomePhase::Proposal;
    set_page(s, Page::Home);
    pump();
    EXPECT_GE(check("Home with a scan"), 7u);  // Optimise, four cards, Rescan, the list
    s.phase = HomePhase::Done;
    layout_controls(s);
    EXPECT_EQ(check("Home when done"), 2u);
    for (Page page : {Page::Junk, Page::DevJunk, Page::Apps, Page::Startup, Page::Services,
                      Page::Autopilot, Page::History}) {
        set_page(s, page);
        pump();
        EXPECT_GE(check(std::string(page_info(page).title)), 2u);
    }
}

// Client-area animations off: the progress ring's spinner stands still (the step list says
// where the work is); switched on while the screen shows, it turns again, and off, it stops.
TEST(AccessibilityHere, SpinnerStandsStillWithoutAnimations) {
    BOOL before = TRUE;
    ::SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &before, 0);
    const auto set = [](BOOL on) {
        return ::SystemParametersInfoW(SPI_SETCLIENTAREAANIMATION, 0,
                                       reinterpret_cast<void*>(static_cast<INT_PTR>(on)), 0);
    };
    struct Restore {
        std::function<void()> undo;
        ~Restore() { undo(); }
    } restore{[&] { set(before); }};
    ASSERT_TRUE(set(FALSE));
    ASSERT_FALSE(animations_on());

    Here h;
    ASSERT_TRUE(h.s);
    UiState& s = *h.s;
    s.phase = HomePhase::Optimising;
    layout_controls(s);
    start_spinner(s);
    pump_until([] { return false; }, 300);
    EXPECT_FALSE(s.spinning);
    EXPECT_EQ(s.spinner_angle, 0.0f);
    EXPECT_EQ(acc_name(h.hwnd, id::kStepText), "Optimising\xE2\x80\xA6 1/4: Closing idle programs");

    ASSERT_TRUE(set(TRUE));
    ::SendMessageW(h.hwnd, WM_SETTINGCHANGE, SPI_SETCLIENTAREAANIMATION, 0);
    pump_until([&] { return s.spinner_angle != 0.0f; }, 2'000);
    EXPECT_TRUE(s.spinning);
    EXPECT_NE(s.spinner_angle, 0.0f);

    ASSERT_TRUE(set(FALSE));
    ::SendMessageW(h.hwnd, WM_SETTINGCHANGE, SPI_SETCLIENTAREAANIMATION, 0);
    const float stopped = s.spinner_angle;
    pump_until([] { return false; }, 300);
    EXPECT_FALSE(s.spinning);
    EXPECT_EQ(s.spinner_angle, stopped);
    stop_spinner(s);
}

// ---- the real Tessavo.exe ------------------------------------------------------------------

// Another process hears a page apply's result and a failing apply's error as live-region
// changes of the status control, with the text the window paints.
TEST(Accessibility, PageAppliesAreAnnouncedToOtherProcesses) {
    PagesFixture fx;
    test::RunningProgram program;
    const ud::Window main = open_main(program, {"--scan"}, fx.env(false));
    ASSERT_TRUE(main);
    const std::uint32_t pid = program.pid();
    ud::WinEventLog log(pid, EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED);
    ASSERT_TRUE(log.ok());
    ASSERT_TRUE(wait_for([&] { return visible(main, id::kList); }, 60'000));
    const auto announced = [&](const std::string& text) {
        return wait_for([&] {
            for (const ud::WinEvent& e : log.events())
                if (e.control_id == id::kStatusText && e.object == OBJID_CLIENT && e.text == text)
                    return true;
            return false;
        });
    };

    // A page apply: the old temp file is cleaned.
    ASSERT_GE(pick(main, 1, "Temporary files", "Clean 2 KB"), 0);
    ASSERT_TRUE(click_and_answer(main, pid, id::kPageAction, ud::Answer::yes));
    ASSERT_TRUE(wait_applied(main));
    const std::string done = caption(main, id::kStatusText);
    EXPECT_TRUE(done.starts_with("\xE2\x9C\x94 Done: 1 change(s) applied")) << done;
    EXPECT_TRUE(announced(done)) << done;

    // A failing apply: the folder is gone by the time it is deleted.
    ASSERT_GE(pick(main, 2, "proj \xE2\x80\x94 node_modules", "Delete 1 folder (1 KB)"), 0);
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(win::widen(fx.modules)), ec);
    ASSERT_FALSE(ec) << ec.message();
    ASSERT_TRUE(click_and_answer(main, pid, id::kPageAction, ud::Answer::yes));
    ASSERT_TRUE(wait_applied(main));
    const std::string error = caption(main, id::kStatusText);
    EXPECT_TRUE(error.starts_with("0 change(s) applied, 1 didn't work")) << error;
    EXPECT_TRUE(announced(error)) << error;
    for (const ud::WinEvent& e : log.events())
        EXPECT_EQ(ud::window_pid(e.window), pid);
}

}  // namespace
}  // namespace tess::ui
