#include "support/uidriver.hpp"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstring>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

#include "core/win.hpp"

namespace tess::uidriver {

namespace {

// Long enough for a busy Wine process to answer, short enough that a hung one fails a test.
constexpr UINT kSendTimeoutMs = 5'000;

HWND to_hwnd(Window w) {
    return reinterpret_cast<HWND>(w);
}
Window from_hwnd(HWND h) {
    return reinterpret_cast<Window>(h);
}

Error fail(const std::string& what) {
    return Error{what};
}

// SendMessageTimeoutW that gives up on a hung or dead target instead of blocking the driver.
std::optional<LRESULT> send(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT timeout = kSendTimeoutMs) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(h, msg, wp, lp, SMTO_NORMAL | SMTO_ABORTIFHUNG, timeout, &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

std::string class_of(HWND h) {
    wchar_t buf[256];
    const int n = ::GetClassNameW(h, buf, 256);
    return n > 0 ? win::narrow(buf, static_cast<std::size_t>(n)) : std::string();
}

bool matches(HWND h, const WindowQuery& q) {
    if (class_of(h) != q.class_name) return false;
    if (q.pid != 0 && window_pid(from_hwnd(h)) != q.pid) return false;
    if (q.visible && !::IsWindowVisible(h)) return false;
    if (q.title && window_text(from_hwnd(h)) != *q.title) return false;
    return true;
}

struct FindState {
    const WindowQuery* query;
    HWND found;
};

BOOL CALLBACK find_top(HWND h, LPARAM lp) {
    auto* st = reinterpret_cast<FindState*>(lp);
    if (!matches(h, *st->query)) return TRUE;
    st->found = h;
    return FALSE;
}

// Memory in another process, freed on destruction. The records written there (LVITEMW, ...)
// have this program's layout, so driver and target must both be 64-bit, as Tessavo is.
class RemoteBuffer {
public:
    RemoteBuffer(HWND owner, std::size_t size) : size_(size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(owner, &pid);
        process_.reset(::OpenProcess(
            PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
            FALSE, pid));
        if (process_)
            addr_ = ::VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                     PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (addr_) ::VirtualFreeEx(process_.get(), addr_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    explicit operator bool() const { return addr_ != nullptr; }
    char* addr() const { return static_cast<char*>(addr_); }
    bool write(std::size_t offset, const void* data, std::size_t n) const {
        SIZE_T done = 0;
        return offset + n <= size_ &&
               ::WriteProcessMemory(process_.get(), addr() + offset, data, n, &done) && done == n;
    }
    bool read(std::size_t offset, void* data, std::size_t n) const {
        SIZE_T done = 0;
        return offset + n <= size_ &&
               ::ReadProcessMemory(process_.get(), addr() + offset, data, n, &done) && done == n;
    }

private:
    win::unique_handle process_;
    void* addr_ = nullptr;
    std::size_t size_ = 0;
};

constexpr int kTextUnits = 1024;

// A record (LVITEMW, LVCOLUMNW) followed by a text buffer its pszText points at.
template <class Record>
struct RemoteRecord {
    RemoteBuffer buf;
    explicit RemoteRecord(HWND list) : buf(list, sizeof(Record) + kTextUnits * sizeof(wchar_t)) {}
    LPWSTR text_addr() const { return reinterpret_cast<LPWSTR>(buf.addr() + sizeof(Record)); }
    LPARAM record_addr() const { return reinterpret_cast<LPARAM>(buf.addr()); }
    std::string read_text(std::size_t units) const {
        if (units > kTextUnits - 1) units = kTextUnits - 1;
        std::wstring w(units, L'\0');
        if (units && !buf.read(sizeof(Record), w.data(), units * sizeof(wchar_t))) return {};
        return win::narrow(w);
    }
};

Result<HWND> list_handle(Window list) {
    HWND h = to_hwnd(list);
    if (!::IsWindow(h)) return fail("no window " + window_id(list));
    if (class_of(h) != "SysListView32") return fail(window_id(list) + " is not a list view");
    return h;
}

// WIC (the platform's image codecs) is reached through COM, which must be started on the
// calling thread; a thread that already started it in another mode keeps that.
Result<Microsoft::WRL::ComPtr<IWICImagingFactory>> wic_factory() {
    thread_local const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)init;
    Microsoft::WRL::ComPtr<IWICImagingFactory> f;
    const HRESULT hr = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_PPV_ARGS(f.GetAddressOf()));
    if (FAILED(hr)) return fail("no image codecs: " + win::hresult_text(hr));
    return f;
}

class WindowDc {
public:
    WindowDc(HWND h, bool whole) : h_(h), dc_(whole ? ::GetWindowDC(h) : ::GetDC(h)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(h_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND h_;
    HDC dc_;
};

using unique_memdc = win::unique_any<HDC, &::DeleteDC>;

}  // namespace

// ---- windows ----------------------------------------------------------------------------

Window find_window(const WindowQuery& q) {
    FindState st{&q, nullptr};
    ::EnumWindows(find_top, reinterpret_cast<LPARAM>(&st));
    if (st.found) return from_hwnd(st.found);
    // Message-only windows (a tray watch's hidden window) are not top-level windows.
    const std::wstring cls = win::widen(q.class_name);
    HWND h = nullptr;
    while ((h = ::FindWindowExW(HWND_MESSAGE, h, cls.c_str(), nullptr)) != nullptr)
        if (matches(h, q)) return from_hwnd(h);
    return 0;
}

Result<Window> wait_window(const WindowQuery& q, std::uint32_t timeout_ms) {
    const ULONGLONG end = ::GetTickCount64() + timeout_ms;
    for (;;) {
        if (Window w = find_window(q)) return w;
        if (::GetTickCount64() >= end) break;
        ::Sleep(20);
    }
    std::string what = "no window of class " + q.class_name;
    if (q.title) what += " titled \"" + *q.title + "\"";
    if (q.pid) what += " in process " + std::to_string(q.pid);
    return fail(what + " after " + std::to_string(timeout_ms) + " ms");
}

bool wait_gone(Window w, std::uint32_t timeout_ms) {
    const ULONGLONG end = ::GetTickCount64() + timeout_ms;
    while (::IsWindow(to_hwnd(w))) {
        if (::GetTickCount64() >= end) return false;
        ::Sleep(20);
    }
    return true;
}

std::uint32_t window_pid(Window w) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(to_hwnd(w), &pid);
    return pid;
}

std::string window_class(Window w) {
    return class_of(to_hwnd(w));
}

std::string window_text(Window w) {
    HWND h = to_hwnd(w);
    const auto len = send(h, WM_GETTEXTLENGTH, 0, 0);
    if (!len || *len <= 0) return {};
    // WM_GETTEXT is marshalled across processes by the system itself.
    std::wstring buf(static_cast<std::size_t>(*len) + 1, L'\0');
    const auto got = send(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
    if (!got) return {};
    buf.resize(static_cast<std::size_t>(*got));
    return win::narrow(buf);
}

Rect window_rect(Window w) {
    RECT r{};
    ::GetWindowRect(to_hwnd(w), &r);
    return {r.left, r.top, r.right, r.bottom};
}

Rect client_rect(Window w) {
    RECT r{};
    ::GetClientRect(to_hwnd(w), &r);
    return {r.left, r.top, r.right, r.bottom};
}

bool is_visible(Window w) {
    return ::IsWindowVisible(to_hwnd(w)) != FALSE;
}

bool is_enabled(Window w) {
    return ::IsWindowEnabled(to_hwnd(w)) != FALSE;
}

Result<Done> resize(Window w, int width, int height) {
    HWND h = to_hwnd(w);
    if (!::IsWindow(h)) return fail("no window " + window_id(w));
    // SetWindowPos on another thread's window is carried out by that thread, whose default
    // handling of the size change applies the minimum and maximum it reports.
    if (!::SetWindowPos(h, nullptr, 0, 0, width, height,
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER))
        return fail("cannot resize: " + win::error_text(::GetLastError()));
    if (!settle(w)) return fail("the window did not answer after the resize");
    return Done{};
}

void pump_messages(std::uint32_t ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    while (::GetTickCount64() < end) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(10);
    }
}

struct WinEventLog::Impl {
    std::mutex mutex;
    std::vector<WinEvent> events;
    std::thread thread;
    DWORD thread_id = 0;
    bool hooked = false;
};

namespace {
// The logs by hook: Wine may call the procedure on the thread that raised the event when that
// thread is in this process.
std::mutex g_logs_mutex;
std::vector<std::pair<HWINEVENTHOOK, WinEventLog::Impl*>> g_logs;

void CALLBACK on_win_event(HWINEVENTHOOK hook, DWORD event, HWND hwnd, LONG object, LONG child,
                           DWORD, DWORD) {
    WinEvent e{event,
               from_hwnd(hwnd),
               object,
               child,
               hwnd ? ::GetDlgCtrlID(hwnd) : 0,
               hwnd ? window_text(from_hwnd(hwnd)) : std::string()};
    std::lock_guard logs(g_logs_mutex);
    for (const auto& [h, log] : g_logs) {
        if (h != hook) continue;
        std::lock_guard lock(log->mutex);
        log->events.push_back(std::move(e));
        return;
    }
}
}  // namespace

WinEventLog::WinEventLog(std::uint32_t pid, std::uint32_t first, std::uint32_t last)
    : impl_(std::make_unique<Impl>()) {
    std::promise<std::pair<DWORD, bool>> started;
    auto ready = started.get_future();
    Impl* impl = impl_.get();
    impl_->thread = std::thread([impl, pid, first, last, started = std::move(started)]() mutable {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue, before anyone posts
        HWINEVENTHOOK hook = nullptr;
        {
            // Registered before the first event can come.
            std::lock_guard logs(g_logs_mutex);
            hook = ::SetWinEventHook(first, last, nullptr, on_win_event, pid, 0,
                                     WINEVENT_OUTOFCONTEXT);
            if (hook) g_logs.emplace_back(hook, impl);
        }
        started.set_value({::GetCurrentThreadId(), hook != nullptr});
        while (hook && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (!hook) return;
        ::UnhookWinEvent(hook);
        std::lock_guard logs(g_logs_mutex);
        std::erase_if(g_logs, [&](const auto& l) { return l.first == hook; });
    });
    const auto [id, hooked] = ready.get();
    impl_->thread_id = id;
    impl_->hooked = hooked;
}

WinEventLog::~WinEventLog() {
    if (impl_->hooked) ::PostThreadMessageW(impl_->thread_id, WM_QUIT, 0, 0);
    impl_->thread.join();
}

bool WinEventLog::ok() const {
    return impl_->hooked;
}

std::vector<WinEvent> WinEventLog::events() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->events;
}

bool settle(Window w, std::uint32_t timeout_ms) {
    // A sent message is handled at the thread's next GetMessage, before posted ones and
    // WM_PAINT; the second round trip comes after whatever the first one's turn let run.
    HWND h = to_hwnd(w);
    for (int i = 0; i < 2; ++i) {
        if (!send(h, WM_NULL, 0, 0, timeout_ms)) return false;
        ::Sleep(15);
    }
    return true;
}

// ---- controls ---------------------------------------------------------------------------

namespace {
struct ListState {
    HWND top;
    std::vector<Control>* out;
};

BOOL CALLBACK collect_child(HWND h, LPARAM lp) {
    auto* st = reinterpret_cast<ListState*>(lp);
    Control c;
    c.window = from_hwnd(h);
    c.id = static_cast<int>(::GetDlgCtrlID(h));
    c.class_name = class_of(h);
    c.visible = ::IsWindowVisible(h) != FALSE;
    c.enabled = ::IsWindowEnabled(h) != FALSE;
    c.caption = window_text(c.window);
    RECT r{};
    ::GetWindowRect(h, &r);
    ::MapWindowPoints(HWND_DESKTOP, st->top, reinterpret_cast<POINT*>(&r), 2);
    c.rect = {r.left, r.top, r.right, r.bottom};
    st->out->push_back(std::move(c));
    return TRUE;
}
}  // namespace

std::vector<Control> list_controls(Window top) {
    std::vector<Control> out;
    ListState st{to_hwnd(top), &out};
    ::EnumChildWindows(to_hwnd(top), collect_child, reinterpret_cast<LPARAM>(&st));
    return out;
}

Result<Control> find_control(Window top, int id) {
    if (!::IsWindow(to_hwnd(top))) return fail("no window " + window_id(top));
    for (auto& c : list_controls(top))
        if (c.id == id) return c;
    return fail("no control " + std::to_string(id) + " in " + window_class(top));
}

Result<Control> wait_control(Window top, int id, const std::function<bool(const Control&)>& until,
                             std::uint32_t timeout_ms) {
    const ULONGLONG end = ::GetTickCount64() + timeout_ms;
    std::string last = "no control " + std::to_string(id);
    for (;;) {
        if (!::IsWindow(to_hwnd(top))) return fail("no window " + window_id(top));
        auto c = find_control(top, id);
        if (c && (until ? until(*c) : c->visible)) return c;
        if (c) last = "control " + std::to_string(id) + " still " + format_control(*c);
        if (::GetTickCount64() >= end)
            return fail(last + " after " + std::to_string(timeout_ms) + " ms");
        ::Sleep(20);
    }
}

Result<Done> click(Window top, int id, ClickHow how) {
    auto c = find_control(top, id);
    if (!c) return Error{c.error()};
    HWND h = to_hwnd(c->window);
    BOOL sent = FALSE;
    if (how == ClickHow::button) {
        if (!c->visible) return fail("control " + std::to_string(id) + " is hidden");
        if (!c->enabled) return fail("control " + std::to_string(id) + " is disabled");
        // Not SendMessage: a click that opens a message box would block the driver until
        // someone answers it. SendNotifyMessage comes back at once.
        sent = ::SendNotifyMessageW(h, BM_CLICK, 0, 0);
    } else {
        HWND parent = ::GetParent(h);
        sent = ::SendNotifyMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                    reinterpret_cast<LPARAM>(h));
    }
    if (!sent) return fail("cannot send the click: " + win::error_text(::GetLastError()));
    // Handled once this round trip returns: either the click is done or it opened a modal
    // loop, which answers sent messages too. A click that closed the window is done too.
    if (!settle(top) && ::IsWindow(to_hwnd(top)))
        return fail("the window did not answer after the click");
    return Done{};
}

Window focused(Window top) {
    GUITHREADINFO gti{sizeof gti};
    const DWORD tid = ::GetWindowThreadProcessId(to_hwnd(top), nullptr);
    if (!tid || !::GetGUIThreadInfo(tid, &gti)) return 0;
    return from_hwnd(gti.hwndFocus);
}

namespace {
// Shares the input state (focus, key state) of the thread owning a window with this thread
// while it lives, so SetFocus and SetKeyboardState act on that thread.
class InputShare {
public:
    explicit InputShare(HWND w)
        : self_(::GetCurrentThreadId()), target_(::GetWindowThreadProcessId(w, nullptr)) {
        attached_ = target_ && target_ != self_ && ::AttachThreadInput(self_, target_, TRUE);
    }
    ~InputShare() {
        if (attached_) ::AttachThreadInput(self_, target_, FALSE);
    }
    InputShare(const InputShare&) = delete;
    InputShare& operator=(const InputShare&) = delete;
    bool attached() const { return attached_; }

private:
    DWORD self_, target_;
    bool attached_ = false;
};
}  // namespace

Result<Done> choose_tray_menu_item(Window icon_window, unsigned icon_message, int ups,
                                   const std::function<bool()>& done, std::uint32_t wait_ms) {
    const std::uint32_t pid = window_pid(icon_window);
    if (!::PostMessageW(to_hwnd(icon_window), icon_message, 1, WM_CONTEXTMENU))
        return fail("no icon window " + window_id(icon_window));
    const auto menu = wait_window({"#32768", std::nullopt, pid, true}, 10'000);
    if (!menu) return Error{menu.error()};
    for (int i = 0; i < ups; ++i)
        ::PostMessageW(to_hwnd(*menu), WM_KEYDOWN, VK_UP, 0);
    ::PostMessageW(to_hwnd(*menu), WM_KEYDOWN, VK_RETURN, 0);
    const ULONGLONG end = ::GetTickCount64() + wait_ms;
    for (;;) {
        if (done()) return Done{};
        if (::GetTickCount64() >= end) break;
        ::Sleep(50);
    }
    return fail("the menu's choice took no effect in " + std::to_string(wait_ms) + " ms");
}

Result<Done> activate(Window top) {
    HWND h = to_hwnd(top);
    if (!::IsWindow(h)) return fail("no window " + window_id(top));
    // The activation reaches the window thread asynchronously; look again after it settles.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (::GetForegroundWindow() == h) return Done{};
        ::SetForegroundWindow(h);
        settle(top);
    }
    return ::GetForegroundWindow() == h ? Result<Done>(Done{})
                                        : fail("the window does not come to the front");
}

Result<Done> set_focus(Window top, int id) {
    auto c = find_control(top, id);
    if (!c) return Error{c.error()};
    if (auto a = activate(top); !a) return a;
    // SetFocus acts only on the caller's own input state; sharing the window thread's state
    // for the call lets it move that thread's focus, as a mouse click on the control would.
    {
        InputShare share(to_hwnd(top));
        if (!share.attached()) return fail("cannot share the window's input state");
        ::SetFocus(to_hwnd(c->window));
    }
    settle(top);
    if (focused(top) != c->window) return fail("control " + std::to_string(id) + " took no focus");
    return Done{};
}

namespace {
INPUT key_input(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}
}  // namespace

Result<Done> send_key(Window top, const KeyStroke& key, KeyHow how) {
    HWND h = to_hwnd(top);
    if (auto a = activate(top); !a) return a;
    if (how == KeyHow::post) {
        HWND target = to_hwnd(focused(top));
        if (!target) target = h;
        const UINT scan = ::MapVirtualKeyW(key.vk, MAPVK_VK_TO_VSC);
        const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
        const LPARAM up = down | (LPARAM{1} << 30) | (LPARAM{1} << 31);
        // A posted key does not change the key state the target reads (GetKeyState), so
        // modifiers are set in that state for the time the key is handled.
        std::optional<InputShare> share;
        BYTE old_state[256] = {};
        const bool mods = key.shift || key.ctrl || key.alt;
        if (mods) {
            share.emplace(h);
            if (!share->attached()) return fail("cannot share the window's input state");
            ::GetKeyboardState(old_state);
            BYTE state[256];
            std::memcpy(state, old_state, sizeof state);
            const std::pair<bool, int> keys[] = {{key.shift, VK_SHIFT},  {key.shift, VK_LSHIFT},
                                                 {key.ctrl, VK_CONTROL}, {key.ctrl, VK_LCONTROL},
                                                 {key.alt, VK_MENU},     {key.alt, VK_LMENU}};
            for (auto [on, vk] : keys)
                if (on) state[vk] = 0x80;
            ::SetKeyboardState(state);
        }
        const UINT msg_down = key.alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
        const UINT msg_up = key.alt ? WM_SYSKEYUP : WM_KEYUP;
        const bool posted = ::PostMessageW(target, msg_down, key.vk, down) &&
                            ::PostMessageW(target, msg_up, key.vk, up);
        const DWORD err = ::GetLastError();
        if (mods) {
            settle(top);
            ::SetKeyboardState(old_state);
        }
        if (!posted) return fail("cannot post the key: " + win::error_text(err));
    } else {
        std::vector<INPUT> in;
        const std::pair<bool, WORD> mods[] = {
            {key.ctrl, VK_CONTROL}, {key.alt, VK_MENU}, {key.shift, VK_SHIFT}};
        for (auto [on, vk] : mods)
            if (on) in.push_back(key_input(vk, false));
        in.push_back(key_input(key.vk, false));
        in.push_back(key_input(key.vk, true));
        for (auto it = std::rbegin(mods); it != std::rend(mods); ++it)
            if (it->first) in.push_back(key_input(it->second, true));
        if (::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)) != in.size())
            return fail("SendInput failed: " + win::error_text(::GetLastError()));
    }
    if (!settle(top)) return fail("the window did not answer after the key");
    return Done{};
}

// ---- list views -------------------------------------------------------------------------

Result<Window> find_list(Window top, int id) {
    for (auto& c : list_controls(top))
        if (c.class_name == "SysListView32" && (id == 0 || c.id == id)) return c.window;
    return fail(id ? "no list view " + std::to_string(id) : std::string("no list view"));
}

Result<int> lv_count(Window list) {
    auto h = list_handle(list);
    if (!h) return Error{h.error()};
    const auto n = send(*h, LVM_GETITEMCOUNT, 0, 0);
    if (!n) return fail("the list did not answer");
    return static_cast<int>(*n);
}

Result<std::vector<Column>> lv_columns(Window list) {
    auto h = list_handle(list);
    if (!h) return Error{h.error()};
    const auto header = send(*h, LVM_GETHEADER, 0, 0);
    const auto count =
        header ? send(reinterpret_cast<HWND>(*header), HDM_GETITEMCOUNT, 0, 0) : std::nullopt;
    if (!count) return fail("the list did not answer");
    RemoteRecord<LVCOLUMNW> remote(*h);
    if (!remote.buf) return fail("cannot reach the list's memory");
    std::vector<Column> out;
    for (int i = 0; i < static_cast<int>(*count); ++i) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = remote.text_addr();
        col.cchTextMax = kTextUnits;
        const wchar_t nul = 0;
        if (!remote.buf.write(0, &col, sizeof col) ||
            !remote.buf.write(sizeof col, &nul, sizeof nul))
            return fail("cannot write to the list's memory");
        const auto ok = send(*h, LVM_GETCOLUMNW, static_cast<WPARAM>(i), remote.record_addr());
        if (!ok || !*ok) return fail("cannot read column " + std::to_string(i));
        LVCOLUMNW back{};
        if (!remote.buf.read(0, &back, sizeof back)) return fail("cannot read the list's memory");
        std::wstring text(kTextUnits, L'\0');
        if (!remote.buf.read(sizeof back, text.data(), (kTextUnits - 1) * sizeof(wchar_t)))
            return fail("cannot read the list's memory");
        text.resize(std::wcslen(text.c_str()));
        Column c{win::narrow(text), back.cx};
        out.push_back(std::move(c));
    }
    return out;
}

Result<std::string> lv_text(Window list, int row, int column) {
    auto h = list_handle(list);
    if (!h) return Error{h.error()};
    // The list answers a row it does not have with an empty text; that is no cell.
    const auto count = send(*h, LVM_GETITEMCOUNT, 0, 0);
    if (!count) return fail("the list did not answer");
    if (row < 0 || row >= static_cast<int>(*count))
        return fail("no row " + std::to_string(row) + " (" + std::to_string(*count) + " rows)");
    RemoteRecord<LVITEMW> remote(*h);
    if (!remote.buf) return fail("cannot reach the list's memory");
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = remote.text_addr();
    item.cchTextMax = kTextUnits;
    if (!remote.buf.write(0, &item, sizeof item)) return fail("cannot write to the list's memory");
    const auto n = send(*h, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), remote.record_addr());
    if (!n) return fail("the list did not answer");
    return remote.read_text(static_cast<std::size_t>(*n));
}

Result<std::vector<std::vector<std::string>>> lv_rows(Window list) {
    auto count = lv_count(list);
    if (!count) return Error{count.error()};
    auto cols = lv_columns(list);
    if (!cols) return Error{cols.error()};
    const int ncols = cols->empty() ? 1 : static_cast<int>(cols->size());
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < *count; ++r) {
        std::vector<std::string> row;
        for (int c = 0; c < ncols; ++c) {
            auto t = lv_text(list, r, c);
            if (!t) return Error{t.error()};
            row.push_back(std::move(*t));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

Result<bool> lv_checked(Window list, int row) {
    auto h = list_handle(list);
    if (!h) return Error{h.error()};
    const auto state = send(*h, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
    if (!state) return fail("the list did not answer");
    // State image 2 is the ticked box, 1 the empty one.
    return ((static_cast<UINT>(*state) & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

namespace {
Result<Done> set_item_state(HWND list, int row, UINT state, UINT mask) {
    RemoteBuffer remote(list, sizeof(LVITEMW));
    if (!remote) return fail("cannot reach the list's memory");
    LVITEMW item{};
    item.stateMask = mask;
    item.state = state;
    if (!remote.write(0, &item, sizeof item)) return fail("cannot write to the list's memory");
    const auto ok = send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(remote.addr()));
    if (!ok || !*ok) return fail("cannot change row " + std::to_string(row));
    return Done{};
}
}  // namespace

Result<Done> lv_set_checked(Window list, int row, bool checked) {
    auto h = list_handle(list);
    if (!h) return Error{h.error()};
    auto r = set_item_state(*h, row, INDEXTOSTATEIMAGEMASK(checked ? 2u : 1u), LVIS_STATEIMAGEMASK);
    if (r) settle(list);
    return r;
}

Result<int> lv_selected(Window list) {
    auto h = list_handle(list);
    if (!h) return Error{h.error()};
    const auto i = send(*h, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (!i) return fail("the list did not answer");
    return static_cast<int>(*i);
}

Result<Done> lv_select(Window list, int row) {
    auto h = list_handle(list);
    if (!h) return Error{h.error()};
    const UINT bits = LVIS_SELECTED | LVIS_FOCUSED;
    auto r = set_item_state(*h, row, bits, bits);
    if (r) {
        send(*h, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
        settle(list);
    }
    return r;
}

// ---- message boxes ----------------------------------------------------------------------

Result<Window> wait_message_box(std::uint32_t pid, std::uint32_t timeout_ms,
                                const std::string& title) {
    WindowQuery q{"#32770", title, pid, true};
    auto w = wait_window(q, timeout_ms);
    if (!w)
        return fail("no message box \"" + title + "\" after " + std::to_string(timeout_ms) + " ms");
    settle(*w);
    return w;
}

std::string message_box_text(Window box) {
    // The message is the longest static text; the icon is a static too, without text.
    std::string best;
    for (auto& c : list_controls(box)) {
        if (c.class_name != "Static") continue;
        const LONG_PTR style = ::GetWindowLongPtrW(to_hwnd(c.window), GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) continue;
        if (c.caption.size() > best.size()) best = c.caption;
    }
    return best;
}

Result<Done> answer_message_box(Window box, Answer a, std::uint32_t timeout_ms) {
    HWND h = to_hwnd(box);
    if (!::IsWindow(h)) return fail("no message box " + window_id(box));
    const int id = static_cast<int>(a);
    HWND button = ::GetDlgItem(h, id);
    if (!button) return fail("the message box has no button " + std::to_string(id));
    if (!::SendNotifyMessageW(button, BM_CLICK, 0, 0))
        return fail("cannot press the button: " + win::error_text(::GetLastError()));
    if (!wait_gone(box, timeout_ms)) return fail("the message box is still open");
    return Done{};
}

// ---- pictures ---------------------------------------------------------------------------

namespace {
Rect screen_rect() {
    const int x = ::GetSystemMetrics(SM_XVIRTUALSCREEN), y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {x, y, x + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
            y + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

bool inside(const Rect& inner, const Rect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Moves a window so that `area` (in screen coordinates) starts at the screen's top-left corner,
// and back when done. Only the part of a window on the screen has pixels (Wine keeps none
// for the rest), so a window off-screen (TESS_OFFSCREEN) is brought in to be captured.
class OnScreen {
public:
    OnScreen(HWND h, const Rect& area, const Rect& screen) : h_(h) {
        RECT r{};
        ::GetWindowRect(h, &r);
        old_ = {r.left, r.top};
        const int x = r.left + screen.left - area.left, y = r.top + screen.top - area.top;
        move(x, y);
    }
    ~OnScreen() { move(old_.x, old_.y); }
    OnScreen(const OnScreen&) = delete;
    OnScreen& operator=(const OnScreen&) = delete;

private:
    void move(int x, int y) {
        ::SetWindowPos(h_, nullptr, x, y, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }
    HWND h_;
    POINT old_{};
};
// Puts a window above all others while it lives: a window only has pixels where nothing
// covers it, and tests running side by side open windows on the same display.
class OnTop {
public:
    explicit OnTop(HWND h)
        : h_(h), was_topmost_((::GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0) {
        place(HWND_TOPMOST);
    }
    ~OnTop() {
        if (!was_topmost_) place(HWND_NOTOPMOST);
    }
    OnTop(const OnTop&) = delete;
    OnTop& operator=(const OnTop&) = delete;

private:
    void place(HWND after) {
        ::SetWindowPos(h_, after, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }
    HWND h_;
    bool was_topmost_;
};
}  // namespace

Result<Image> capture(Window w, CaptureArea area) {
    HWND h = to_hwnd(w);
    if (!::IsWindow(h)) return fail("no window " + window_id(w));
    if (!::IsWindowVisible(h)) return fail("the window is hidden");
    settle(w);
    const bool whole = area == CaptureArea::window;
    Rect on_screen = window_rect(w);
    if (!whole) {
        POINT origin{0, 0};
        ::ClientToScreen(h, &origin);
        const Rect c = client_rect(w);
        on_screen = {origin.x, origin.y, origin.x + c.width(), origin.y + c.height()};
    }
    const int width = on_screen.width(), height = on_screen.height();
    if (width <= 0 || height <= 0) return fail("the window has no area to capture");
    const Rect screen = screen_rect();
    if (width > screen.width() || height > screen.height())
        return fail("the window (" + std::to_string(width) + " x " + std::to_string(height) +
                    ") is larger than the screen");
    std::optional<OnScreen> moved;
    if (!inside(on_screen, screen)) moved.emplace(h, on_screen, screen);
    OnTop on_top(h);
    // Whatever was covered or off screen until now has never been painted.
    ::RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    settle(w);

    WindowDc src(h, whole);
    if (!src.get()) return fail("no device context for the window");
    unique_memdc mem(::CreateCompatibleDC(src.get()));
    win::unique_gdiobj bmp(::CreateCompatibleBitmap(src.get(), width, height));
    if (!mem || !bmp)
        return fail("cannot make a bitmap of " + std::to_string(width) + " x " +
                    std::to_string(height));
    HGDIOBJ old = ::SelectObject(mem.get(), bmp.get());
    const BOOL blitted = ::BitBlt(mem.get(), 0, 0, width, height, src.get(), 0, 0, SRCCOPY);
    ::SelectObject(mem.get(), old);
    if (!blitted) return fail("BitBlt failed: " + win::error_text(::GetLastError()));

    Image img;
    img.width = width;
    img.height = height;
    img.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    if (::GetDIBits(mem.get(), static_cast<HBITMAP>(bmp.get()), 0, static_cast<UINT>(height),
                    img.pixels.data(), &bi, DIB_RGB_COLORS) != height)
        return fail("cannot read the bitmap");
    for (auto& p : img.pixels)
        p |= 0xFF000000u;  // a screen has no transparency
    return img;
}

Result<Done> save_png(const Image& image, const std::string& path) {
    using Microsoft::WRL::ComPtr;
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() !=
            static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
        return fail("an empty or malformed image");
    auto factory = wic_factory();
    if (!factory) return Error{factory.error()};
    // A screen has no transparency: three bytes a pixel keep the files small.
    const UINT stride = static_cast<UINT>(image.width) * 3;
    std::vector<BYTE> bgr(static_cast<std::size_t>(stride) *
                          static_cast<std::size_t>(image.height));
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const std::uint32_t p = image.pixels[i];
        bgr[i * 3] = static_cast<BYTE>(p);
        bgr[i * 3 + 1] = static_cast<BYTE>(p >> 8);
        bgr[i * 3 + 2] = static_cast<BYTE>(p >> 16);
    }
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    HRESULT hr = (*factory)->CreateStream(&stream);
    if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(win::widen(path).c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr)) hr = (*factory)->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, nullptr);
    if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr))
        hr = frame->SetSize(static_cast<UINT>(image.width), static_cast<UINT>(image.height));
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && format != GUID_WICPixelFormat24bppBGR) hr = E_UNEXPECTED;
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(static_cast<UINT>(image.height), stride,
                                static_cast<UINT>(bgr.size()), bgr.data());
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    if (FAILED(hr)) return fail("cannot write " + path + ": " + win::hresult_text(hr));
    return Done{};
}

Result<Image> load_png(const std::string& path) {
    using Microsoft::WRL::ComPtr;
    auto factory = wic_factory();
    if (!factory) return Error{factory.error()};
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    UINT width = 0, height = 0;
    HRESULT hr = (*factory)->CreateDecoderFromFilename(
        win::widen(path).c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, &decoder);
    if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
    if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
    if (SUCCEEDED(hr) && (width == 0 || height == 0 || width > 32768 || height > 32768))
        hr = E_INVALIDARG;
    if (SUCCEEDED(hr)) hr = (*factory)->CreateFormatConverter(&converter);
    if (SUCCEEDED(hr))
        hr = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom);
    Image img;
    if (SUCCEEDED(hr)) {
        img.width = static_cast<int>(width);
        img.height = static_cast<int>(height);
        img.pixels.resize(static_cast<std::size_t>(width) * height);
        // BGRA bytes in memory are 0xAARRGGBB values on a little-endian machine.
        hr = converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(img.pixels.size() * 4),
                                   reinterpret_cast<BYTE*>(img.pixels.data()));
    }
    if (FAILED(hr)) return fail("cannot read " + path + ": " + win::hresult_text(hr));
    return img;
}

}  // namespace tess::uidriver
