#include "support/uidriver.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <utility>

namespace tess::uidriver {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Virtual-key codes, spelled out so this file needs no <windows.h>.
constexpr std::array<std::pair<std::string_view, std::uint16_t>, 14> kNamedKeys{{
    {"tab", 0x09},
    {"enter", 0x0D},
    {"return", 0x0D},
    {"escape", 0x1B},
    {"esc", 0x1B},
    {"space", 0x20},
    {"pageup", 0x21},
    {"pagedown", 0x22},
    {"end", 0x23},
    {"home", 0x24},
    {"left", 0x25},
    {"up", 0x26},
    {"right", 0x27},
    {"down", 0x28},
}};
constexpr std::uint16_t kDelete = 0x2E;
constexpr std::uint16_t kF1 = 0x70;

std::optional<std::uint16_t> key_code(const std::string& name) {
    for (const auto& [n, vk] : kNamedKeys)
        if (n == name) return vk;
    if (name == "delete" || name == "del") return kDelete;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
        return static_cast<std::uint16_t>(std::toupper(static_cast<unsigned char>(name[0])));
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'f') {
        int n = 0;
        for (std::size_t i = 1; i < name.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
            n = n * 10 + (name[i] - '0');
        }
        if (n >= 1 && n <= 12) return static_cast<std::uint16_t>(kF1 + n - 1);
    }
    return std::nullopt;
}

void escape_into(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
}

}  // namespace

std::string window_id(Window w) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(w));
    return buf;
}

std::string format_control(const Control& c) {
    char head[160];
    std::snprintf(head, sizeof head, "%d\t%s\t%s\t%s\t%d,%d,%d,%d\t", c.id, c.class_name.c_str(),
                  c.visible ? "visible" : "hidden", c.enabled ? "enabled" : "disabled", c.rect.left,
                  c.rect.top, c.rect.right, c.rect.bottom);
    std::string out = head;
    escape_into(out, c.caption);
    return out;
}

std::optional<KeyStroke> parse_key(std::string_view name) {
    KeyStroke k;
    std::string rest = lower(name);
    for (;;) {
        const auto plus = rest.find('+');
        // A trailing "+" is the key itself only when nothing else is left ("shift++" is not a key).
        if (plus == std::string::npos || plus + 1 == rest.size()) break;
        const std::string mod = rest.substr(0, plus);
        bool* flag = mod == "shift"  ? &k.shift
                     : mod == "ctrl" ? &k.ctrl
                     : mod == "alt"  ? &k.alt
                                     : nullptr;
        if (!flag || *flag) return std::nullopt;  // unknown or repeated modifier
        *flag = true;
        rest.erase(0, plus + 1);
    }
    const auto vk = key_code(rest);
    if (!vk) return std::nullopt;
    k.vk = *vk;
    return k;
}

std::optional<Answer> parse_answer(std::string_view word) {
    const std::string w = lower(word);
    if (w == "ok") return Answer::ok;
    if (w == "cancel") return Answer::cancel;
    if (w == "yes") return Answer::yes;
    if (w == "no") return Answer::no;
    return std::nullopt;
}

std::optional<Rect> ink_bounds(const Image& image, const std::function<bool(std::uint32_t)>& ink) {
    std::optional<Rect> r;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            if (!ink(rgb(image.at(x, y)))) continue;
            if (!r) r = Rect{x, y, x + 1, y + 1};
            r->left = std::min(r->left, x);
            r->top = std::min(r->top, y);
            r->right = std::max(r->right, x + 1);
            r->bottom = std::max(r->bottom, y + 1);
        }
    return r;
}

}  // namespace tess::uidriver
