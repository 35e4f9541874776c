// tess-uidriver.exe: the UI driver for scripts (see "UI driver" in docs/testing.md).
// Exit codes: 0 done, 1 failed (the reason on standard error), 2 bad command line.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/win.hpp"
#include "support/uidriver.hpp"

namespace ui = tess::uidriver;

namespace {

constexpr const char* kUsage =
    "usage: tess-uidriver COMMAND ARGS... [OPTIONS]\n"
    "  windows                          visible top-level windows: handle, pid, class, title\n"
    "  wait-window CLASS                wait for a window; prints its handle and pid\n"
    "  list WINDOW                      child controls: id, class, visible, enabled, rect, "
    "caption\n"
    "  wait-control WINDOW ID           wait until a control is visible (--hidden: hidden;\n"
    "                                   --enabled, --disabled, --caption TEXT: also that)\n"
    "  click WINDOW ID [--command]      BM_CLICK (or WM_COMMAND to the parent)\n"
    "  key WINDOW KEY... [--input]      tab, space, enter, ... (posted, or SendInput)\n"
    "  focus WINDOW                     the focused control: id, class, caption\n"
    "  lv-count WINDOW                  rows of the list view\n"
    "  lv-columns WINDOW                column headers and widths\n"
    "  lv-text WINDOW [ROW [COLUMN]]    cells (every row, tab-separated, without ROW)\n"
    "  lv-check WINDOW ROW [on|off]     read or set a tick (ROW all: every row at once)\n"
    "  lv-select WINDOW ROW             select a row\n"
    "  msgbox-text                      wait for a message box; prints its text\n"
    "  msgbox-answer yes|no|ok|cancel   press a message box button\n"
    "  capture WINDOW OUT.png [--whole] picture of the client area (or the whole window)\n"
    "  close WINDOW                     WM_CLOSE, then wait until the window is gone\n"
    "  rect WINDOW                      window and client rectangles (screen coordinates)\n"
    "  resize WINDOW WIDTH HEIGHT       size the window, its own limits applying\n"
    "WINDOW is a class name (waited for) or a handle 0x...\n"
    "options: --pid N  --title TEXT  --timeout MS (10000)  --list ID (list view id)\n";

struct Args {
    std::vector<std::string> pos;
    std::map<std::string, std::string> opt;
    bool has(const std::string& k) const { return opt.count(k) != 0; }
};

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int failed(const std::string& why) {
    std::fprintf(stderr, "tess-uidriver: %s\n", why.c_str());
    return 1;
}

void out(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

bool to_int(const std::string& s, long long& v, int base = 10) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtoll(s.c_str(), &end, base);
    return *end == '\0';
}

std::uint32_t timeout_of(const Args& a) {
    long long v = 10'000;
    if (a.has("--timeout") && (!to_int(a.opt.at("--timeout"), v) || v < 0)) v = 10'000;
    return static_cast<std::uint32_t>(v);
}

std::uint32_t pid_of(const Args& a) {
    long long v = 0;
    if (a.has("--pid") && to_int(a.opt.at("--pid"), v) && v > 0)
        return static_cast<std::uint32_t>(v);
    return 0;
}

tess::Result<ui::Window> window_of(const Args& a, const std::string& spec) {
    if (spec.rfind("0x", 0) == 0) {
        long long v = 0;
        if (!to_int(spec.substr(2), v, 16)) return tess::Error{"not a window handle: " + spec};
        const auto w = static_cast<ui::Window>(v);
        if (!::IsWindow(reinterpret_cast<HWND>(w))) return tess::Error{"no window " + spec};
        return w;
    }
    ui::WindowQuery q{spec, std::nullopt, pid_of(a), false};
    if (a.has("--title")) q.title = a.opt.at("--title");
    return ui::wait_window(q, timeout_of(a));
}

tess::Result<ui::Window> list_of(const Args& a, ui::Window top) {
    long long id = 0;
    if (a.has("--list") && !to_int(a.opt.at("--list"), id))
        return tess::Error{"--list takes a control id"};
    return ui::find_list(top, static_cast<int>(id));
}

BOOL CALLBACK print_top(HWND h, LPARAM pid) {
    if (!::IsWindowVisible(h)) return TRUE;
    const auto w = reinterpret_cast<ui::Window>(h);
    if (pid && ui::window_pid(w) != static_cast<std::uint32_t>(pid)) return TRUE;
    const ui::Rect r = ui::window_rect(w);
    char head[160];
    std::snprintf(head, sizeof head, "%s\t%u\t%d,%d,%d,%d\t", ui::window_id(w).c_str(),
                  ui::window_pid(w), r.left, r.top, r.right, r.bottom);
    out(head + ui::window_class(w) + "\t" + ui::window_text(w));
    return TRUE;
}

int run(const std::string& cmd, const Args& a) {
    const auto& p = a.pos;
    auto need = [&](std::size_t n) { return p.size() >= n; };

    if (cmd == "windows") {
        ::EnumWindows(print_top, static_cast<LPARAM>(pid_of(a)));
        return 0;
    }
    if (cmd == "wait-window") {
        if (!need(1)) return usage();
        ui::WindowQuery q{p[0], std::nullopt, pid_of(a), a.has("--visible")};
        if (a.has("--title")) q.title = a.opt.at("--title");
        auto w = ui::wait_window(q, timeout_of(a));
        if (!w) return failed(w.error());
        out(ui::window_id(*w) + "\t" + std::to_string(ui::window_pid(*w)));
        return 0;
    }
    if (cmd == "msgbox-text" || cmd == "msgbox-answer") {
        std::optional<ui::Answer> answer;
        if (cmd == "msgbox-answer") {
            if (!need(1) || !(answer = ui::parse_answer(p[0]))) return usage();
        }
        const std::string title = a.has("--title") ? a.opt.at("--title") : "Tessavo";
        auto box = ui::wait_message_box(pid_of(a), timeout_of(a), title);
        if (!box) return failed(box.error());
        if (!answer) {
            out(ui::message_box_text(*box));
            return 0;
        }
        auto r = ui::answer_message_box(*box, *answer, timeout_of(a));
        return r ? 0 : failed(r.error());
    }

    // Every other command works on a window.
    if (!need(1)) return usage();
    auto top = window_of(a, p[0]);
    if (!top) return failed(top.error());

    if (cmd == "list") {
        for (const auto& c : ui::list_controls(*top))
            out(ui::format_control(c));
        return 0;
    }
    if (cmd == "wait-control") {
        long long id = 0;
        if (!need(2) || !to_int(p[1], id)) return usage();
        const bool hidden = a.has("--hidden"), enabled = a.has("--enabled"),
                   disabled = a.has("--disabled");
        const std::optional<std::string> caption =
            a.has("--caption") ? std::optional<std::string>(a.opt.at("--caption")) : std::nullopt;
        auto c = ui::wait_control(
            *top, static_cast<int>(id),
            [&](const ui::Control& c) {
                return c.visible == !hidden && (!enabled || c.enabled) &&
                       (!disabled || !c.enabled) && (!caption || c.caption == *caption);
            },
            timeout_of(a));
        if (!c) return failed(c.error());
        out(ui::format_control(*c));
        return 0;
    }
    if (cmd == "click") {
        long long id = 0;
        if (!need(2) || !to_int(p[1], id)) return usage();
        auto r = ui::click(*top, static_cast<int>(id),
                           a.has("--command") ? ui::ClickHow::command : ui::ClickHow::button);
        return r ? 0 : failed(r.error());
    }
    if (cmd == "key") {
        if (!need(2)) return usage();
        for (std::size_t i = 1; i < p.size(); ++i) {
            auto k = ui::parse_key(p[i]);
            if (!k) return failed("not a key: " + p[i]);
            auto r =
                ui::send_key(*top, *k, a.has("--input") ? ui::KeyHow::input : ui::KeyHow::post);
            if (!r) return failed(r.error());
        }
        return 0;
    }
    if (cmd == "focus") {
        const ui::Window f = ui::focused(*top);
        if (!f) return failed("no control has the focus");
        out(std::to_string(::GetDlgCtrlID(reinterpret_cast<HWND>(f))) + "\t" + ui::window_class(f) +
            "\t" + ui::window_text(f));
        return 0;
    }
    if (cmd == "rect") {
        const ui::Rect r = ui::window_rect(*top);
        POINT origin{0, 0};
        ::ClientToScreen(reinterpret_cast<HWND>(*top), &origin);
        const ui::Rect c = ui::client_rect(*top);
        char line[160];
        std::snprintf(line, sizeof line, "%d,%d,%d,%d\t%ld,%ld,%ld,%ld", r.left, r.top, r.right,
                      r.bottom, origin.x, origin.y, origin.x + c.width(), origin.y + c.height());
        out(line);
        return 0;
    }
    if (cmd == "resize") {
        long long w = 0, h = 0;
        if (!need(3) || !to_int(p[1], w) || !to_int(p[2], h)) return usage();
        auto r = ui::resize(*top, static_cast<int>(w), static_cast<int>(h));
        return r ? 0 : failed(r.error());
    }
    if (cmd == "close") {
        ::PostMessageW(reinterpret_cast<HWND>(*top), WM_CLOSE, 0, 0);
        return ui::wait_gone(*top, timeout_of(a)) ? 0 : failed("the window is still open");
    }
    if (cmd == "capture") {
        if (!need(2)) return usage();
        auto img =
            ui::capture(*top, a.has("--whole") ? ui::CaptureArea::window : ui::CaptureArea::client);
        if (!img) return failed(img.error());
        auto r = ui::save_png(*img, p[1]);
        return r ? 0 : failed(r.error());
    }

    // List-view commands.
    if (cmd.rfind("lv-", 0) != 0) return usage();
    auto list = list_of(a, *top);
    if (!list) return failed(list.error());
    long long row = 0;
    if (cmd == "lv-count") {
        auto n = ui::lv_count(*list);
        if (!n) return failed(n.error());
        out(std::to_string(*n));
        return 0;
    }
    if (cmd == "lv-columns") {
        auto cols = ui::lv_columns(*list);
        if (!cols) return failed(cols.error());
        for (const auto& c : *cols)
            out(std::to_string(c.width) + "\t" + c.text);
        return 0;
    }
    if (cmd == "lv-text") {
        if (!need(2)) {
            auto rows = ui::lv_rows(*list);
            if (!rows) return failed(rows.error());
            for (const auto& r : *rows) {
                std::string line;
                for (std::size_t i = 0; i < r.size(); ++i)
                    line += (i ? "\t" : "") + r[i];
                out(line);
            }
            return 0;
        }
        long long col = 0;
        if (!to_int(p[1], row) || (need(3) && !to_int(p[2], col))) return usage();
        auto t = ui::lv_text(*list, static_cast<int>(row), static_cast<int>(col));
        if (!t) return failed(t.error());
        out(*t);
        return 0;
    }
    if (cmd == "lv-check") {
        if (!need(2)) return usage();
        const bool all = p[1] == "all";
        if (!all && !to_int(p[1], row)) return usage();
        if (all) row = -1;
        if (!need(3)) {
            if (row < 0) return usage();
            auto on = ui::lv_checked(*list, static_cast<int>(row));
            if (!on) return failed(on.error());
            out(*on ? "on" : "off");
            return 0;
        }
        if (p[2] != "on" && p[2] != "off") return usage();
        auto r = ui::lv_set_checked(*list, static_cast<int>(row), p[2] == "on");
        return r ? 0 : failed(r.error());
    }
    if (cmd == "lv-select") {
        if (!need(2) || !to_int(p[1], row)) return usage();
        auto r = ui::lv_select(*list, static_cast<int>(row));
        return r ? 0 : failed(r.error());
    }
    return usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // UTF-8 bytes and bare line feeds, for the shell scripts that read this.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2) return usage();
    const std::string cmd = tess::win::narrow(argv[1]);
    Args a;
    static const char* const kValued[] = {"--pid", "--title", "--timeout", "--list", "--caption"};
    for (int i = 2; i < argc; ++i) {
        const std::string s = tess::win::narrow(argv[i]);
        bool valued = false;
        for (const char* k : kValued)
            valued = valued || s == k;
        if (valued) {
            if (i + 1 >= argc) return usage();
            a.opt[s] = tess::win::narrow(argv[++i]);
        } else if (s == "--visible" || s == "--command" || s == "--input" || s == "--whole" ||
                   s == "--hidden" || s == "--enabled" || s == "--disabled") {
            a.opt[s] = "";
        } else if (s.rfind("--", 0) == 0) {
            return usage();
        } else {
            a.pos.push_back(s);
        }
    }
    return run(cmd, a);
}
