#include "core/paths.hpp"

#include "core/text.hpp"

namespace tess {

namespace {

bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_drive_prefix(std::string_view p) {
    return p.size() >= 2 && p[1] == ':' && is_letter(p[0]);
}

// "\\?\" or "\\.\" (either separator): 4, else 0.
std::size_t device_prefix_size(std::string_view p) {
    return p.size() >= 4 && is_path_separator(p[0]) && is_path_separator(p[1]) &&
                   (p[2] == '?' || p[2] == '.') && is_path_separator(p[3])
               ? 4
               : 0;
}

// Strips a device prefix, turning "\\?\UNC\" back into "\\"; separators already
// normalized.
std::string strip_device_prefix(std::string p) {
    if (device_prefix_size(p) == 0) return p;
    if (p.size() >= 8 && to_lower_ascii(std::string_view(p).substr(4, 4)) == "unc\\")
        return "\\\\" + p.substr(8);
    return p.substr(4);
}

}  // namespace

bool is_path_separator(char c) {
    return c == '\\' || c == '/';
}

bool is_absolute_path(std::string_view p) {
    if (p.size() >= 3 && is_drive_prefix(p) && is_path_separator(p[2])) return true;
    // UNC and device paths: two separators then a non-empty server or "?"/"." name.
    if (p.size() >= 3 && is_path_separator(p[0]) && is_path_separator(p[1]) &&
        !is_path_separator(p[2]))
        return true;
    return false;
}

std::string join_path(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && !is_path_separator(out.back())) out += '\\';
    out += name;
    return out;
}

std::string normalize_folder_path(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = is_path_separator(path[i]) ? '\\' : path[i];
        // Keep the two separators of a UNC or device prefix; collapse every other run.
        if (c == '\\' && !out.empty() && out.back() == '\\' && i != 1) continue;
        out += c;
    }
    while (out.size() > 1 && out.back() == '\\') {
        if (out.size() == 3 && is_drive_prefix(out)) break;  // "C:\"
        if (out == "\\\\") break;
        out.pop_back();
    }
    return out;
}

std::string_view path_name(std::string_view path) {
    while (!path.empty() && is_path_separator(path.back()))
        path.remove_suffix(1);
    const auto pos = path.find_last_of("\\/");
    if (pos == std::string_view::npos) return is_drive_prefix(path) && path.size() == 2 ? "" : path;
    return path.substr(pos + 1);
}

std::string_view parent_path(std::string_view path) {
    while (!path.empty() && is_path_separator(path.back()))
        path.remove_suffix(1);
    const auto pos = path.find_last_of("\\/");
    if (pos == std::string_view::npos) return {};
    // The parent of "C:\x" is the drive root "C:\", separator included.
    if (pos == 2 && is_drive_prefix(path)) return path.substr(0, 3);
    std::string_view parent = path.substr(0, pos);
    while (!parent.empty() && is_path_separator(parent.back()))
        parent.remove_suffix(1);
    return parent;
}

std::size_t path_component_count(std::string_view path) {
    if (!is_absolute_path(path)) return 0;
    std::string p = strip_device_prefix(normalize_folder_path(path));
    std::string_view rest;
    if (is_drive_prefix(p)) {
        if (p.size() < 3 || p[2] != '\\') return 0;
        rest = std::string_view(p).substr(3);
    } else if (starts_with(p, "\\\\")) {
        // "\\server\share" is the prefix; what follows its separator are names.
        std::string_view unc = std::string_view(p).substr(2);
        const auto server_end = unc.find('\\');
        if (server_end == std::string_view::npos || server_end == 0) return 0;
        const auto share_end = unc.find('\\', server_end + 1);
        if (share_end == server_end + 1) return 0;
        if (share_end == std::string_view::npos) return 2;
        rest = unc.substr(share_end + 1);
    } else {
        return 0;
    }
    std::size_t count = 2;
    std::size_t start = 0;
    while (start < rest.size()) {
        auto end = rest.find('\\', start);
        if (end == std::string_view::npos) end = rest.size();
        if (end > start) ++count;
        start = end + 1;
    }
    return count;
}

bool has_dot_component(std::string_view path) {
    std::size_t start = device_prefix_size(path);
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !is_path_separator(path[end]))
            ++end;
        const std::string_view part = path.substr(start, end - start);
        if (part == "." || part == "..") return true;
        start = end + 1;
    }
    return false;
}

bool is_below_root(std::string_view path) {
    return path_component_count(path) >= 3 && !has_dot_component(path);
}

std::string plain_final_path(std::string_view final_path) {
    return normalize_folder_path(strip_device_prefix(normalize_folder_path(final_path)));
}

bool same_path(std::string_view a, std::string_view b) {
    return to_lower_ascii(normalize_folder_path(a)) == to_lower_ascii(normalize_folder_path(b));
}

bool path_within(std::string_view path, std::string_view folder) {
    const std::string p = to_lower_ascii(normalize_folder_path(path));
    std::string f = to_lower_ascii(normalize_folder_path(folder));
    if (p == f) return true;
    if (f.empty()) return false;
    if (f.back() != '\\') f += '\\';
    return starts_with(p, f);
}

}  // namespace tess
