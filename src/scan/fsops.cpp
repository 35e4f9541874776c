#include "scan/fsops.hpp"

#include "core/paths.hpp"
#include "core/text.hpp"

namespace tess {

namespace {

bool is_sep(char c) {
    return c == '\\' || c == '/';
}

bool is_drive_prefix(std::string_view p) {
    return p.size() >= 2 && p[1] == ':' &&
           ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

// Strips "\\?\" (and turns "\\?\UNC\" back into "\\"); separators already normalised.
std::string strip_device_prefix(std::string p) {
    if (starts_with(p, "\\\\?\\")) {
        if (p.size() >= 8 && to_lower_ascii(std::string_view(p).substr(4, 4)) == "unc\\")
            return "\\\\" + p.substr(8);
        return p.substr(4);
    }
    return p;
}

class Opened {
public:
    Opened(const FileOps& fs, FileOps::Handle h) : fs_(fs), h_(h) {}
    ~Opened() {
        if (h_) fs_.close(h_);
    }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    FileOps::Handle get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    const FileOps& fs_;
    FileOps::Handle h_;
};

// Whether the opened item is where the walk expects it.
bool in_place(const OpenedItem& item, const std::string& expect) {
    return !expect.empty() && !item.final_path.empty() &&
           same_path(plain_final_path(item.final_path), expect);
}

enum class Want : std::uint8_t { File, RealFolder, Link };

bool is_wanted(std::uint32_t attributes, Want want) {
    switch (want) {
        case Want::File:
            return !is_directory(attributes) && !is_link(attributes);
        case Want::RealFolder:
            return is_real_directory(attributes);
        case Want::Link:
            return is_link(attributes);
    }
    return false;
}

// Opens `path` for removal and checks it is the wanted kind of item, in place.
FsOutcome open_checked(const FileOps& fs, const std::string& path, const std::string& expect,
                       Want want, OpenMode mode, FileOps::Handle& out, OpenedItem& item) {
    std::uint32_t error = 0;
    out = fs.open(path, mode, true, item, error);
    if (!out) return is_missing_error(error) ? FsOutcome::Missing : FsOutcome::Failed;
    if (!is_wanted(item.attributes, want) || !in_place(item, expect)) {
        fs.close(out);
        out = nullptr;
        return FsOutcome::Refused;
    }
    return FsOutcome::Done;
}

FsOutcome remove_checked(const FileOps& fs, const std::string& path, const std::string& expect,
                         Want want) {
    FileOps::Handle h = nullptr;
    OpenedItem item;
    const FsOutcome opened = open_checked(fs, path, expect, want, OpenMode::Remove, h, item);
    if (opened != FsOutcome::Done) return opened;
    Opened guard(fs, h);
    return fs.remove(h) == 0 ? FsOutcome::Done : FsOutcome::Failed;
}

}  // namespace

std::string normalize_folder_path(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = is_sep(path[i]) ? '\\' : path[i];
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
    while (!path.empty() && is_sep(path.back()))
        path.remove_suffix(1);
    const auto pos = path.find_last_of("\\/");
    if (pos == std::string_view::npos) return is_drive_prefix(path) && path.size() == 2 ? "" : path;
    return path.substr(pos + 1);
}

std::string_view parent_path(std::string_view path) {
    while (!path.empty() && is_sep(path.back()))
        path.remove_suffix(1);
    const auto pos = path.find_last_of("\\/");
    if (pos == std::string_view::npos) return {};
    // The parent of "C:\x" is the drive root "C:\", separator included.
    if (pos == 2 && is_drive_prefix(path)) return path.substr(0, 3);
    std::string_view parent = path.substr(0, pos);
    while (!parent.empty() && is_sep(parent.back()))
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
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !is_sep(path[end]))
            ++end;
        const std::string_view part = path.substr(start, end - start);
        if (part == "." || part == "..") return true;
        start = end + 1;
    }
    return false;
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

bool is_missing_error(std::uint32_t error) {
    return error == kErrFileNotFound || error == kErrPathNotFound;
}

std::optional<std::uint32_t> item_attributes(const FileOps& fs, const std::string& path) {
    OpenedItem item;
    std::uint32_t error = 0;
    Opened h(fs, fs.open(path, OpenMode::Inspect, false, item, error));
    if (!h) return std::nullopt;
    return item.attributes;
}

std::optional<std::string> real_folder_final_path(const FileOps& fs, const std::string& path,
                                                  std::uint32_t* error) {
    OpenedItem item;
    std::uint32_t code = 0;
    Opened h(fs, fs.open(path, OpenMode::Inspect, true, item, code));
    if (error) *error = code;
    if (!h || !is_real_directory(item.attributes) || item.final_path.empty()) return std::nullopt;
    std::string final_path = plain_final_path(item.final_path);
    if (to_lower_ascii(path_name(final_path)) != to_lower_ascii(path_name(path)))
        return std::nullopt;
    return final_path;
}

bool list_folder(const FileOps& fs, const std::string& path, const std::string& expect,
                 std::vector<DirEntry>& out, std::uint32_t* error) {
    OpenedItem item;
    std::uint32_t code = 0;
    Opened h(fs, fs.open(path, OpenMode::List, !expect.empty(), item, code));
    if (error) *error = code;
    if (!h) return false;
    // Checked on the open handle, so a folder replaced by a link after its parent was
    // listed is refused rather than followed.
    if (!is_real_directory(item.attributes) || (!expect.empty() && !in_place(item, expect))) {
        if (error) *error = 0;
        return false;
    }
    if (!fs.list(h.get(), out, code)) {
        if (error) *error = code;
        return false;
    }
    return true;
}

FsOutcome delete_file_at(const FileOps& fs, const std::string& path, const std::string& expect,
                         bool clear_read_only) {
    std::uint32_t attributes = 0;
    {
        FileOps::Handle h = nullptr;
        OpenedItem item;
        const FsOutcome opened =
            open_checked(fs, path, expect, Want::File, OpenMode::Remove, h, item);
        if (opened != FsOutcome::Done) return opened;
        Opened guard(fs, h);
        const std::uint32_t error = fs.remove(h);
        if (error == 0) return FsOutcome::Done;
        if (!clear_read_only || !(item.attributes & kAttrReadOnly) || error != kErrAccessDenied)
            return FsOutcome::Failed;
        attributes = item.attributes;
    }
    FileOps::Handle h = nullptr;
    OpenedItem item;
    const FsOutcome opened =
        open_checked(fs, path, expect, Want::File, OpenMode::RemoveAndAttributes, h, item);
    if (opened != FsOutcome::Done) return opened;
    Opened guard(fs, h);
    std::uint32_t cleared =
        (item.attributes | attributes) & ~(kAttrReadOnly | kAttrDirectory | kAttrReparsePoint);
    if (cleared == 0) cleared = kAttrNormal;  // 0 would mean "leave as they are"
    if (fs.set_attributes(h, cleared) != 0) return FsOutcome::Failed;
    return fs.remove(h) == 0 ? FsOutcome::Done : FsOutcome::Failed;
}

FsOutcome remove_folder_at(const FileOps& fs, const std::string& path, const std::string& expect) {
    return remove_checked(fs, path, expect, Want::RealFolder);
}

FsOutcome remove_link_at(const FileOps& fs, const std::string& path, const std::string& expect) {
    return remove_checked(fs, path, expect, Want::Link);
}

}  // namespace tess
