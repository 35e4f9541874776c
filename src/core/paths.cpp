#include "core/paths.hpp"

namespace tess {

namespace {
bool is_sep(char c) {
    return c == '\\' || c == '/';
}
bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
}  // namespace

bool is_absolute_path(std::string_view p) {
    if (p.size() >= 3 && is_letter(p[0]) && p[1] == ':' && is_sep(p[2])) return true;
    // UNC and device paths: two separators then a non-empty server or "?"/"." name.
    if (p.size() >= 3 && is_sep(p[0]) && is_sep(p[1]) && !is_sep(p[2])) return true;
    return false;
}

std::string join_path(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && !is_sep(out.back())) out += '\\';
    out += name;
    return out;
}

}  // namespace tess
