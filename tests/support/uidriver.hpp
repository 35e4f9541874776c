// Drives the windows of another process as a person or a screen reader would: finds a
// window, lists and clicks its controls, types keys, reads and ticks list-view rows,
// answers message boxes and takes pictures. Used by the Wine tests and by tess-uidriver.exe.
// Everything goes through messages and cross-process memory, never through the target's code,
// so what passes here passes for a user too.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"

namespace tess::uidriver {

// A window handle as a number, so this header stays free of <windows.h>.
using Window = std::uintptr_t;

struct Done {};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

struct Control {
    Window window = 0;
    int id = 0;
    std::string class_name;
    bool visible = false;  // the control and every parent up to the top-level window
    bool enabled = false;
    std::string caption;
    Rect rect;  // in the client coordinates of the top-level window
};

// "0x1a2b": how scripts name a window.
std::string window_id(Window w);

// One line of a control listing: id, class, visible, enabled, rectangle and caption,
// separated by tabs; tabs, line breaks and backslashes in the caption are escaped.
std::string format_control(const Control& c);

// A key as typed: a virtual-key code and its modifiers.
struct KeyStroke {
    std::uint16_t vk = 0;
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool operator==(const KeyStroke&) const = default;
};

// "tab", "shift+tab", "space", "enter", "escape", "up", "down", "left", "right", "home",
// "end", "pageup", "pagedown", "delete", "f1".."f12", a letter or a digit, with "shift+",
// "ctrl+" and "alt+" in front (any order, any case); nullopt for anything else.
std::optional<KeyStroke> parse_key(std::string_view name);

// A picture, one 0xAARRGGBB value per pixel, rows top to bottom.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// The smallest rectangle holding every pixel whose 0xRRGGBB `ink` accepts; nullopt when
// none does. How far drawn text reaches, read from a picture.
std::optional<Rect> ink_bounds(const Image& image, const std::function<bool(std::uint32_t)>& ink);

// A message-box button (the value is its command id).
enum class Answer : std::uint8_t { ok = 1, cancel = 2, yes = 6, no = 7 };
std::optional<Answer> parse_answer(std::string_view word);  // "yes", "no", "ok", "cancel"

// 0xRRGGBB of a pixel, alpha dropped.
inline std::uint32_t rgb(std::uint32_t argb) {
    return argb & 0xFFFFFFu;
}

#ifdef _WIN32
// ---- windows ------------------------------------------------------------------------
struct WindowQuery {
    std::string class_name;            // required
    std::optional<std::string> title;  // exact caption, when given
    std::uint32_t pid = 0;             // owning process, 0 for any
    bool visible = false;              // only a visible window counts
};

// The first matching top-level or message-only window, or 0.
Window find_window(const WindowQuery& q);
// Polls find_window until it answers or `timeout_ms` passes.
Result<Window> wait_window(const WindowQuery& q, std::uint32_t timeout_ms = 10'000);
// Waits until `w` no longer exists.
bool wait_gone(Window w, std::uint32_t timeout_ms = 10'000);

std::uint32_t window_pid(Window w);
std::string window_class(Window w);
std::string window_text(Window w);  // WM_GETTEXT across the process boundary
Rect window_rect(Window w);         // screen coordinates, frame included
Rect client_rect(Window w);         // (0, 0, width, height)
bool is_visible(Window w);
bool is_enabled(Window w);
// Sizes the window (frame included) as dragging its border would: the window's own limits
// (WM_GETMINMAXINFO) apply. Returns once it has handled the change.
Result<Done> resize(Window w, int width, int height);

// Runs this thread's message loop for `ms`: the windows it owns (a toast, a panel shown by
// the caller itself) paint and handle their timers meanwhile.
void pump_messages(std::uint32_t ms);

// Waits (at most `timeout_ms`) until the thread owning `w` has handled what was sent and
// posted to it so far and has painted: two round trips through its message queue.
bool settle(Window w, std::uint32_t timeout_ms = 5'000);

// ---- win events ----------------------------------------------------------------------
struct WinEvent {
    std::uint32_t event = 0;
    Window window = 0;
    long object = 0;
    long child = 0;
    int control_id = 0;  // of `window` (0 for a top-level window)
    std::string text;    // the window's text when the event was handled here
};

// Records the win events from `first` to `last` that process `pid` raises, as a screen
// reader hears them: an out-of-context hook on a thread of its own, which pumps messages.
class WinEventLog {
public:
    WinEventLog(std::uint32_t pid, std::uint32_t first, std::uint32_t last);
    ~WinEventLog();
    WinEventLog(const WinEventLog&) = delete;
    WinEventLog& operator=(const WinEventLog&) = delete;
    bool ok() const;  // the hook is set
    std::vector<WinEvent> events() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// ---- controls -----------------------------------------------------------------------
// Every descendant of `top`, in Z order (the order Tab follows for WS_TABSTOP controls).
std::vector<Control> list_controls(Window top);
Result<Control> find_control(Window top, int id);
// Polls the control until `until` holds for it (by default: it exists and is visible);
// on time-out the error says what the control looked like last.
Result<Control> wait_control(Window top, int id,
                             const std::function<bool(const Control&)>& until = {},
                             std::uint32_t timeout_ms = 10'000);

enum class ClickHow : std::uint8_t {
    button = 0,   // BM_CLICK to the control: refused when it is hidden or disabled
    command = 1,  // WM_COMMAND (id, BN_CLICKED) to its parent, whatever its state
};
// Clicks and returns once the target has handled the click or entered a modal loop (a
// message box, a menu), so a click that opens a message box does not block the driver.
Result<Done> click(Window top, int id, ClickHow how = ClickHow::button);

enum class KeyHow : std::uint8_t {
    // WM_KEYDOWN/WM_KEYUP posted to the focused control, modifiers held in the window
    // thread's key state meanwhile: needs neither the foreground nor a quiet desktop.
    post = 0,
    // SendInput after bringing the window to the front, as a keyboard would; another
    // window that takes the foreground meanwhile gets the key.
    input = 1,
};
Result<Done> send_key(Window top, const KeyStroke& key, KeyHow how = KeyHow::post);
// Opens the menu of a notification icon as a right click on the icon does (`icon_message`
// with WM_CONTEXTMENU to the icon's window), presses Up `ups` times from no selection (1 = the
// last item) and Return, then waits up to `wait_ms` for `done`.
Result<Done> choose_tray_menu_item(Window icon_window, unsigned icon_message, int ups,
                                   const std::function<bool()>& done,
                                   std::uint32_t wait_ms = 15'000);

// Brings the window to the front and makes it active, as a click on its title bar would.
// Keys and the focus belong to the active window only, so the two calls below do this first.
Result<Done> activate(Window top);
// The control that has the keyboard focus in the thread owning `top`; 0 when none, as
// when another window is active.
Window focused(Window top);
Result<Done> set_focus(Window top, int id);

// ---- list views (across the process boundary) -----------------------------------------
struct Column {
    std::string text;
    int width = 0;
};
Result<int> lv_count(Window list);
Result<std::vector<Column>> lv_columns(Window list);
Result<std::string> lv_text(Window list, int row, int column);
// Every cell of every row.
Result<std::vector<std::vector<std::string>>> lv_rows(Window list);
Result<bool> lv_checked(Window list, int row);
// row -1 ticks or unticks every row in one message, as "Select all" does.
Result<Done> lv_set_checked(Window list, int row, bool checked);
// The selected row, or -1.
Result<int> lv_selected(Window list);
Result<Done> lv_select(Window list, int row);
// The first list view among the descendants of `top` (or the one with `id` when not 0).
Result<Window> find_list(Window top, int id = 0);

// ---- message boxes ------------------------------------------------------------------
// A visible dialog box (#32770) with the caption `title`, owned by `pid` when not 0.
Result<Window> wait_message_box(std::uint32_t pid = 0, std::uint32_t timeout_ms = 10'000,
                                const std::string& title = "Tessavo");
// The message of a box (its static text, not the icon).
std::string message_box_text(Window box);
// Presses the button and waits for the box to close.
Result<Done> answer_message_box(Window box, Answer a, std::uint32_t timeout_ms = 10'000);

// ---- pictures -----------------------------------------------------------------------
enum class CaptureArea : std::uint8_t { client = 0, window = 1 };
// What the window shows now, read from its own device context, so a window off-screen
// (TESS_OFFSCREEN) or covered by another can still be captured.
Result<Image> capture(Window w, CaptureArea area = CaptureArea::client);
Result<Done> save_png(const Image& image, const std::string& path);
Result<Image> load_png(const std::string& path);
#endif

}  // namespace tess::uidriver
